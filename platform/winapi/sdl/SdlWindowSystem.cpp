#include "sdl/SdlWindowSystem.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "Windows.h"

namespace {

class SdlWindowSystem final : public IWindowSystem {
 public:
  SdlWindowSystem() {
    // Must be set before the first window exists: SDL then draws the window surface with plain
    // X11 (shared memory) images instead of loading an OpenGL stack, which here costs about five
    // times the CPU and eight times the memory for the same frames.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // SIGINT and SIGTERM are the application's (it closes the main form); SDL must not turn them
    // into quit events of its own.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Closing a window closes that form; whether the program ends is the application's call.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // A measuring tool left running must not keep the screen awake.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      FError = SDL_GetError();
      std::fprintf(stderr, "SDL video is unavailable: %s\n", FError.c_str());
      return;
    }
    // Without a reachable display SDL falls back to drivers that show nothing; a desktop program
    // must say it has no display instead of running unseen (unless that driver was asked for).
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* wanted = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0) &&
        !(wanted && *wanted)) {
      const char* display = std::getenv("DISPLAY");
      const char* wayland = std::getenv("WAYLAND_DISPLAY");
      FError = std::string("no display could be opened (DISPLAY=") + (display ? display : "") +
               ", WAYLAND_DISPLAY=" + (wayland ? wayland : "") + ")";
      std::fprintf(stderr, "SDL video is unavailable: %s\n", FError.c_str());
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
      return;
    }
    FReady = true;
    FWakeEvent = SDL_RegisterEvents(1);
  }

  ~SdlWindowSystem() override {
    if (FReady) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  const char* Name() const override { return "sdl"; }

  int32_t ScreenWidth() const override {
    SDL_DisplayMode mode;
    return FReady && SDL_GetDesktopDisplayMode(0, &mode) == 0 ? mode.w : 1280;
  }

  int32_t ScreenHeight() const override {
    SDL_DisplayMode mode;
    return FReady && SDL_GetDesktopDisplayMode(0, &mode) == 0 ? mode.h : 1024;
  }

  int32_t ScreenPixelsPerInch() const override {
    float diagonal = 0, horizontal = 0, vertical = 0;
    if (!FReady || SDL_GetDisplayDPI(0, &diagonal, &horizontal, &vertical) != 0 ||
        !(horizontal > 0))
      return 96;
    // The desktop's scale factor in quarter steps: monitors report slightly off physical sizes,
    // and forms scale by whole design steps (96, 120, 144, 192 ppi), never to 93 or 101.
    double scale = std::round(horizontal / 96.0 * 4.0) / 4.0;
    return static_cast<int32_t>(96.0 * std::max(scale, 1.0));
  }

  double RefreshInterval() const override {
    SDL_DisplayMode mode;
    if (FReady && SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.refresh_rate > 0)
      return 1.0 / mode.refresh_rate;
    return 1.0 / 60.0;
  }

  WindowId CreateWindow(const std::string& title, int32_t x, int32_t y, int32_t clientWidth,
                        int32_t clientHeight, bool centred) override {
    if (!FReady) throw std::runtime_error("Cannot open a window: " + FError);
    int px = centred ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : x;
    int py = centred ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : y;
    SDL_Window* window =
        SDL_CreateWindow(title.c_str(), px, py, std::max(clientWidth, 1), std::max(clientHeight, 1),
                         SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (!window) throw std::runtime_error(std::string("Cannot open a window: ") + SDL_GetError());
    return SDL_GetWindowID(window);
  }

  void DestroyWindow(WindowId window) override {
    if (SDL_Window* w = Find(window)) SDL_DestroyWindow(w);
  }

  void ShowWindow(WindowId window) override {
    if (SDL_Window* w = Find(window)) SDL_ShowWindow(w);
  }

  void SetTitle(WindowId window, const std::string& title) override {
    if (SDL_Window* w = Find(window)) SDL_SetWindowTitle(w, title.c_str());
  }

  void SetClientSize(WindowId window, int32_t width, int32_t height) override {
    if (SDL_Window* w = Find(window)) SDL_SetWindowSize(w, std::max(width, 1), std::max(height, 1));
  }

  void GetPosition(WindowId window, int32_t* x, int32_t* y) const override {
    *x = *y = 0;
    SDL_Window* w = Find(window);
    if (!w) return;
    int cx = 0, cy = 0, top = 0, left = 0;
    SDL_GetWindowPosition(w, &cx, &cy);
    if (SDL_GetWindowBordersSize(w, &top, &left, nullptr, nullptr) != 0) top = left = 0;
    *x = cx - left;
    *y = cy - top;
  }

  void Present(WindowId window, const Framebuffer& frame,
               const std::vector<PixelRect>& changed) override {
    SDL_Window* w = Find(window);
    if (!w || changed.empty()) return;
    // Valid until the window is resized; SDL makes a new one then.
    SDL_Surface* surface = SDL_GetWindowSurface(w);
    if (!surface) return;
    int32_t maxW = std::min(frame.width, surface->w);
    int32_t maxH = std::min(frame.height, surface->h);
    FRects.clear();
    if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
    const int bytes = surface->format->BytesPerPixel;
    for (const PixelRect& r : changed) {
      SDL_Rect c;
      c.x = std::max(r.left, 0);
      c.y = std::max(r.top, 0);
      c.w = std::min(r.right, maxW) - c.x;
      c.h = std::min(r.bottom, maxH) - c.y;
      if (c.w <= 0 || c.h <= 0) continue;
      const uint32_t* src = &frame.pixels[static_cast<size_t>(c.y) * frame.width + c.x];
      auto* dst = static_cast<uint8_t*>(surface->pixels) +
                  static_cast<size_t>(c.y) * surface->pitch + static_cast<size_t>(c.x) * bytes;
      // Same format (the usual X11 case) is a row copy inside SDL.
      SDL_ConvertPixels(c.w, c.h, SDL_PIXELFORMAT_RGB888, src, frame.width * 4,
                        surface->format->format, dst, surface->pitch);
      FRects.push_back(c);
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    if (!FRects.empty())
      SDL_UpdateWindowSurfaceRects(w, FRects.data(), static_cast<int>(FRects.size()));
  }

  WindowEvent WaitEvent(int timeoutMs) override {
    if (!FReady) {
      MessageQueue::Wait(timeoutMs);
      return WindowEvent{};
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
      SDL_Event e;
      int got;
      if (timeoutMs < 0) {
        got = SDL_WaitEvent(&e);
      } else {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        got = left.count() <= 0 ? SDL_PollEvent(&e)
                                : SDL_WaitEventTimeout(&e, static_cast<int>(left.count()));
      }
      if (!got) return WindowEvent{};
      if (e.type == FWakeEvent) {
        FWakePending.store(false);
        return WindowEvent{};
      }
      WindowEvent out;
      if (Translate(e, &out)) return out;
      // Input and other events are not ours: keep waiting for the rest of the time.
    }
  }

  void Wake() override {
    if (!FReady || FWakePending.exchange(true)) return;
    SDL_Event e{};
    e.type = FWakeEvent;
    if (SDL_PushEvent(&e) != 1) FWakePending.store(false);
  }

  bool MessageBox(const std::string& title, const std::string& text) override {
    return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), text.c_str(), nullptr) ==
           0;
  }

 private:
  static SDL_Window* Find(WindowId window) {
    return window ? SDL_GetWindowFromID(window) : nullptr;
  }

  static bool Translate(const SDL_Event& e, WindowEvent* out) {
    if (e.type == SDL_QUIT) {
      out->type = WindowEvent::Quit;
      return true;
    }
    if (e.type != SDL_WINDOWEVENT) return false;
    out->window = e.window.windowID;
    switch (e.window.event) {
      case SDL_WINDOWEVENT_CLOSE:
        out->type = WindowEvent::Close;
        return true;
      case SDL_WINDOWEVENT_SIZE_CHANGED:
        out->type = WindowEvent::Resize;
        out->width = e.window.data1;
        out->height = e.window.data2;
        return true;
      case SDL_WINDOWEVENT_EXPOSED:
        out->type = WindowEvent::Expose;
        return true;
      default:
        return false;
    }
  }

  bool FReady = false;
  std::string FError;
  uint32_t FWakeEvent = 0;
  std::atomic<bool> FWakePending{false};
  std::vector<SDL_Rect> FRects;
};

}  // namespace

std::unique_ptr<IWindowSystem> CreateSdlWindowSystem() {
  return std::make_unique<SdlWindowSystem>();
}
