#include "headless/Headless.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "Windows.h"

namespace {

struct State {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<WindowEvent> events;
  bool woken = false;
  int32_t ppi = 96;
  WindowId nextWindow = 1;
  std::map<WindowId, HeadlessWindowState> windows;
  std::vector<std::string> boxes;
};

// Never destroyed: the backend may be used from static destructors.
State& TheState() {
  static State* state = new State;
  return *state;
}

class HeadlessWindowSystem final : public IWindowSystem {
 public:
  const char* Name() const override { return "headless"; }
  int32_t ScreenWidth() const override { return kHeadlessScreenWidth; }
  int32_t ScreenHeight() const override { return kHeadlessScreenHeight; }
  int32_t ScreenPixelsPerInch() const override {
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    return s.ppi;
  }
  double RefreshInterval() const override { return 1.0 / 60.0; }

  WindowId CreateWindow(const std::string& title, int32_t x, int32_t y, int32_t clientWidth,
                        int32_t clientHeight, bool centred) override {
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    WindowId id = s.nextWindow++;
    HeadlessWindowState& w = s.windows[id];
    w.exists = true;
    w.title = title;
    w.clientWidth = std::max(clientWidth, 0);
    w.clientHeight = std::max(clientHeight, 0);
    w.centred = centred;
    if (centred) {
      // The outer frame is centred, as a window manager would place it.
      w.x = (kHeadlessScreenWidth - w.clientWidth) / 2;
      w.y = (kHeadlessScreenHeight - w.clientHeight) / 2;
    } else {
      w.x = x;
      w.y = y;
    }
    w.screen.Resize(w.clientWidth, w.clientHeight);
    return id;
  }

  void DestroyWindow(WindowId window) override {
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    s.windows.erase(window);
  }

  void ShowWindow(WindowId window) override {
    WithWindow(window, [](HeadlessWindowState& w) { w.shown = true; });
  }

  void SetTitle(WindowId window, const std::string& title) override {
    WithWindow(window, [&](HeadlessWindowState& w) { w.title = title; });
  }

  void SetClientSize(WindowId window, int32_t width, int32_t height) override {
    WithWindow(window, [&](HeadlessWindowState& w) {
      w.clientWidth = std::max(width, 0);
      w.clientHeight = std::max(height, 0);
      Framebuffer resized;
      resized.Resize(w.clientWidth, w.clientHeight);
      CopyRect(w.screen, resized, PixelRect{0, 0, w.clientWidth, w.clientHeight});
      w.screen = std::move(resized);
    });
  }

  void GetPosition(WindowId window, int32_t* x, int32_t* y) const override {
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    auto it = s.windows.find(window);
    *x = it == s.windows.end() ? 0 : it->second.x;
    *y = it == s.windows.end() ? 0 : it->second.y;
  }

  void Present(WindowId window, const Framebuffer& frame,
               const std::vector<PixelRect>& changed) override {
    WithWindow(window, [&](HeadlessWindowState& w) {
      ++w.presents;
      for (const PixelRect& r : changed) CopyRect(frame, w.screen, r);
    });
  }

  WindowEvent WaitEvent(int timeoutMs) override {
    State& s = TheState();
    std::unique_lock lock(s.mutex);
    // Posted messages wake us through Wake() (the message queue's wake handler); the check of the
    // queue covers a message that was posted before this backend was made.
    auto ready = [&] { return !s.events.empty() || s.woken || MessageQueue::Pending(); };
    if (timeoutMs < 0)
      s.changed.wait(lock, ready);
    else
      s.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    s.woken = false;
    if (s.events.empty()) return WindowEvent{};
    WindowEvent e = s.events.front();
    s.events.pop_front();
    return e;
  }

  void Wake() override {
    State& s = TheState();
    {
      std::lock_guard lock(s.mutex);
      s.woken = true;
    }
    s.changed.notify_all();
  }

  bool MessageBox(const std::string&, const std::string& text) override {
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    s.boxes.push_back(text);
    return false;
  }

 private:
  template <class F>
  static void WithWindow(WindowId window, F f) {
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    auto it = s.windows.find(window);
    if (it != s.windows.end()) f(it->second);
  }

  static void CopyRect(const Framebuffer& from, Framebuffer& to, PixelRect r) {
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min({r.right, from.width, to.width});
    r.bottom = std::min({r.bottom, from.height, to.height});
    for (int32_t y = r.top; y < r.bottom; ++y)
      std::copy_n(&from.pixels[static_cast<size_t>(y) * from.width + r.left], r.right - r.left,
                  &to.pixels[static_cast<size_t>(y) * to.width + r.left]);
  }
};

}  // namespace

std::unique_ptr<IWindowSystem> CreateHeadlessWindowSystem() {
  return std::make_unique<HeadlessWindowSystem>();
}

void SetHeadlessPixelsPerInch(int32_t ppi) {
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  s.ppi = ppi;
}

void InjectHeadlessEvent(const WindowEvent& event) {
  State& s = TheState();
  {
    std::lock_guard lock(s.mutex);
    s.events.push_back(event);
  }
  s.changed.notify_all();
}

void InjectHeadlessClose(WindowId window) {
  WindowEvent e;
  e.type = WindowEvent::Close;
  e.window = window;
  InjectHeadlessEvent(e);
}

void InjectHeadlessResize(WindowId window, int32_t clientWidth, int32_t clientHeight) {
  WindowEvent e;
  e.type = WindowEvent::Resize;
  e.window = window;
  e.width = clientWidth;
  e.height = clientHeight;
  InjectHeadlessEvent(e);
}

HeadlessWindowState HeadlessWindow(WindowId window) {
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  auto it = s.windows.find(window);
  return it == s.windows.end() ? HeadlessWindowState{} : it->second;
}

std::vector<std::string> HeadlessMessageBoxes() {
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  return s.boxes;
}

void ClearHeadlessMessageBoxes() {
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  s.boxes.clear();
}
