#include "Forms.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <thread>

#include "Resources.h"
#include "Streaming.h"
#include "Windows.h"

namespace {

// More separate areas than this are merged into their bounding rectangle: painting or presenting
// a little extra costs less than walking a long list for every small drawing call.
constexpr size_t kMaxAreas = 16;
// Posted messages handled in one pass of the loop before window events get their turn.
constexpr int kMessagesPerPass = 64;
constexpr int kEventsPerPass = 64;

bool IsEmpty(const TRect& r) { return r.Left >= r.Right || r.Top >= r.Bottom; }

TRect Intersect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
  return IsEmpty(r) ? TRect{} : r;
}

TRect Union(const TRect& a, const TRect& b) {
  return TRect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
               std::max(a.Bottom, b.Bottom)};
}

bool Contains(const TRect& outer, const TRect& inner) {
  return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right <= outer.Right &&
         inner.Bottom <= outer.Bottom;
}

// Adds `r` to a list of areas: overlapping areas are merged, so every pixel is painted or presented
// once; the list stays short.
void AddArea(std::vector<TRect>& list, TRect r) {
  for (const TRect& a : list)
    if (Contains(a, r)) return;
  for (bool grown = true; grown;) {
    grown = false;
    for (size_t i = 0; i < list.size();) {
      if (!IsEmpty(Intersect(list[i], r))) {
        r = Union(r, list[i]);
        list.erase(list.begin() + static_cast<ptrdiff_t>(i));
        grown = true;
      } else {
        ++i;
      }
    }
  }
  list.push_back(r);
  if (list.size() > kMaxAreas) {
    TRect all = list.front();
    for (const TRect& a : list) all = Union(all, a);
    list.assign(1, all);
  }
}

// number * multiply / divide, rounded half away from zero.
int32_t MulDiv(int32_t number, int32_t multiply, int32_t divide) {
  if (divide == 0) return number;
  const int64_t n = int64_t{number} * multiply, d = divide;
  const int64_t an = n < 0 ? -n : n, ad = d < 0 ? -d : d;
  const int64_t q = (2 * an + ad) / (2 * ad);
  return static_cast<int32_t>((n < 0) != (d < 0) ? -q : q);
}

// Forms with a window, in the order shown: the loop paints, presents and routes events to them.
// Never destroyed (forms may be destroyed from static destructors).
std::vector<TCustomForm*>& ShowingForms() {
  static auto* forms = new std::vector<TCustomForm*>;
  return *forms;
}

TCustomForm* FindShowing(WindowId window) {
  for (TCustomForm* f : ShowingForms())
    if (f->Window() == window) return f;
  return nullptr;
}

// Paints the visible graphic controls under `parent` that meet `area`, first to last, nested
// controls after their parent's earlier siblings.
void PaintControls(const TWinControl* parent, const TRect& area) {
  for (int i = 0; i < parent->ControlCount(); ++i) {
    TControl* c = parent->Controls(i);
    if (!c->Visible()) continue;
    if (auto* g = dynamic_cast<TGraphicControl*>(c))
      g->PaintArea(area);
    else if (auto* w = dynamic_cast<TWinControl*>(c))
      PaintControls(w, area);
  }
}

sigset_t CloseSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

bool gExitCleanupRegistered = false;

void DestroyApplication() {
  TApplication* app = Application;
  Application = nullptr;
  delete app;
}

}  // namespace

const TTypeInfo TypePosition =
    EnumType("TPosition", {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
                           "poScreenCenter", "poDesktopCenter", "poMainFormCenter",
                           "poOwnerFormCenter"});

// ---- TCustomForm ----

const TClassInfo& TCustomForm::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TCustomForm>("TCustomForm", &TWinControl::StaticClass())
          .String(
              "Caption", [](const TCustomForm& f) { return f.Caption(); },
              [](TCustomForm& f, const std::string& v) { f.SetCaption(v); })
          .Republish("Color", clBtnFace)
          .Object<TFont>(
              "Font", [](const TCustomForm& f) { return f.Font(); }, nullptr)
          .Ordinal(
              "Position", TypePosition, [](const TCustomForm& f) { return f.Position(); },
              [](TCustomForm& f, int64_t v) { f.SetPosition(static_cast<TPosition>(v)); },
              poDesigned)
          .Integer(
              "PixelsPerInch", [](const TCustomForm& f) { return f.PixelsPerInch(); },
              [](TCustomForm& f, int64_t v) { f.SetPixelsPerInch(static_cast<int32_t>(v)); })
          .Integer(
              "TextHeight", [](const TCustomForm& f) { return f.TextHeight(); },
              [](TCustomForm& f, int64_t v) { f.SetTextHeight(static_cast<int32_t>(v)); })
          .Boolean(
              "Scaled", [](const TCustomForm& f) { return f.Scaled(); },
              [](TCustomForm& f, int64_t v) { f.SetScaled(v != 0); }, true)
          .Build();
  return info;
}

TCustomForm::TCustomForm(TComponent* AOwner)
    : TWinControl(AOwner), FFont(new TFont), FCanvas(new TCanvas) {
  FColor = clBtnFace;
}

TCustomForm::~TCustomForm() {
  // The controls go first, while the framebuffer, window and font they may use still exist.
  Destroying();
  DestroyComponents();
  ReleaseWindow();
  delete FCanvas;
  FCanvas = nullptr;
  delete FFont;
  FFont = nullptr;
}

void TCustomForm::SetCaption(const std::string& value) {
  if (value == FCaption) return;
  FCaption = value;
  if (FWindow) WindowSystem().SetTitle(FWindow, FCaption);
}

int32_t TCustomForm::ClientWidth() const { return std::max(FWidth - kFrameWidth, 0); }

int32_t TCustomForm::ClientHeight() const { return std::max(FHeight - kFrameHeight, 0); }

void TCustomForm::SetClientSize(int32_t width, int32_t height) {
  SetBounds(FLeft, FTop, std::max(width, 0) + kFrameWidth, std::max(height, 0) + kFrameHeight);
}

void TCustomForm::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (left == FLeft && top == FTop && width == FWidth && height == FHeight) return;
  const bool resized = width != FWidth || height != FHeight;
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  if (!resized) return;
  ResizeSurface();
  if (FWindow) WindowSystem().SetClientSize(FWindow, ClientWidth(), ClientHeight());
  AlignControls();
  Invalidate();
}

void TCustomForm::ResizeSurface() { FSurface.Resize(ClientWidth(), ClientHeight()); }

void TCustomForm::Show() {
  if (!FWindow) {
    IWindowSystem& ws = WindowSystem();
    const bool centred = FPosition == poScreenCenter || FPosition == poDesktopCenter ||
                         FPosition == poMainFormCenter || FPosition == poOwnerFormCenter;
    try {
      FWindow = ws.CreateWindow(FCaption, FLeft, FTop, ClientWidth(), ClientHeight(), centred);
    } catch (const std::runtime_error& e) {
      throw EInvalidOperation(e.what());
    }
    ShowingForms().push_back(this);
    ResizeSurface();
    ws.ShowWindow(FWindow);
    if (centred) ws.GetPosition(FWindow, &FLeft, &FTop);
  }
  Invalidate();
}

void TCustomForm::ReleaseWindow() {
  auto& forms = ShowingForms();
  forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
  if (FWindow) WindowSystem().DestroyWindow(FWindow);
  FWindow = 0;
  FDamaged.clear();
}

void TCustomForm::Close() {
  ReleaseWindow();
  TApplication* app = dynamic_cast<TApplication*>(Owner());
  if (!app || app->MainForm() != this) app = Application;
  if (app && app->MainForm() == this) app->Terminate();
}

void TCustomForm::InvalidateRect(const TRect& area) {
  if (ComponentState().Contains(csDestroying)) return;
  const TRect r = Intersect(area, ClientRect());
  if (!IsEmpty(r)) AddArea(FInvalid, r);
}

void TCustomForm::Damage(const TRect& area) {
  const TRect r = Intersect(area, ClientRect());
  if (!IsEmpty(r)) AddArea(FDamaged, r);
}

void TCustomForm::Invalidate() { InvalidateRect(ClientRect()); }

void TCustomForm::PaintBackground(const TRect& area) {
  FCanvas->Bind(&FSurface, TPoint{}, area);
  FCanvas->Brush()->Color = FColor;
  FCanvas->FillRect(area);
}

bool TCustomForm::PaintPending() {
  if (FInvalid.empty()) return false;
  std::vector<TRect> areas;
  areas.swap(FInvalid);
  std::exception_ptr failure;
  for (const TRect& invalid : areas) {
    const TRect area = Intersect(invalid, ClientRect());
    if (IsEmpty(area)) continue;
    PaintBackground(area);
    // A control that fails to paint must not keep the others (or the present) from happening.
    try {
      PaintControls(this, area);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
    Damage(area);
  }
  if (failure) std::rethrow_exception(failure);
  return true;
}

bool TCustomForm::PresentPending() {
  if (FDamaged.empty()) return false;
  std::vector<PixelRect> rects;
  rects.reserve(FDamaged.size());
  const TRect bounds = Rect(0, 0, FSurface.width, FSurface.height);
  for (const TRect& d : FDamaged) {
    const TRect r = Intersect(d, bounds);
    if (!IsEmpty(r)) rects.push_back(PixelRect{r.Left, r.Top, r.Right, r.Bottom});
  }
  FDamaged.clear();
  if (!FWindow || rects.empty()) return false;
  WindowSystem().Present(FWindow, FSurface, rects);
  return true;
}

void TCustomForm::HandleResize(int32_t clientWidth, int32_t clientHeight) {
  clientWidth = std::max(clientWidth, 0);
  clientHeight = std::max(clientHeight, 0);
  if (clientWidth != ClientWidth() || clientHeight != ClientHeight()) {
    // The window already has this size: only the form follows.
    FWidth = clientWidth + kFrameWidth;
    FHeight = clientHeight + kFrameHeight;
    ResizeSurface();
    AlignControls();
  }
  Invalidate();
}

void TCustomForm::Loaded() {
  // The base part only: aligning waits until the form is scaled.
  TControl::Loaded();
  // In the designer a form keeps the sizes it was designed with, so that saving it writes them
  // back unchanged.
  const bool designing = ComponentState().Contains(csDesigning);
  const int32_t screen = designing ? FPixelsPerInch : WindowSystem().ScreenPixelsPerInch();
  if (FScaled && FPixelsPerInch > 0 && screen > 0 && screen != FPixelsPerInch) {
    const int32_t m = screen, d = FPixelsPerInch;
    FAligning = true;
    SetClientSize(MulDiv(ClientWidth(), m, d), MulDiv(ClientHeight(), m, d));
    const std::vector<TControl*> children = FControls;
    for (TControl* c : children) c->ChangeScale(m, d);
    FFont->Height = MulDiv(FFont->Height, m, d);
    FAligning = false;
    FPixelsPerInch = screen;
  }
  AlignControls();
  Invalidate();
}

const TClassInfo& TForm::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TForm>("TForm", &TCustomForm::StaticClass()).Factory().Build();
  return info;
}

TForm::TForm(TComponent* AOwner) : TCustomForm(AOwner) {}

// ---- TApplication ----

struct TApplication::TLoop {
  explicit TLoop(TApplication* owner) : app(owner) {}

  TApplication* app;
  HWND window = nullptr;  // receives WM_CLOSE from the signal watcher
  std::thread watcher;    // sigwait()s SIGTERM and SIGINT
  std::atomic<bool> stopping{false};
  bool signalsBlocked = false;  // on the GUI thread, by Initialize
  std::chrono::steady_clock::time_point lastPresent{};

  void WndProc(TMessage& message) {
    if (message.Msg == WM_CLOSE) CloseMainForm();
  }

  void CloseMainForm() {
    if (app->FMainForm)
      app->FMainForm->Close();
    else
      app->Terminate();
  }

  // A signal sent to the GUI thread itself (raise) stays pending there, out of the watcher's
  // reach: take it here.
  void TakeOwnSignals() {
    if (!signalsBlocked) return;
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) != 0) return;
    if (!sigismember(&pending, SIGTERM) && !sigismember(&pending, SIGINT)) return;
    const sigset_t set = CloseSignals();
    const timespec now{0, 0};
    if (sigtimedwait(&set, nullptr, &now) > 0) CloseMainForm();
  }
};

const TClassInfo& TApplication::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TApplication>("TApplication", &TComponent::StaticClass()).Build();
  return info;
}

TApplication::TApplication(TComponent* AOwner)
    : TComponent(AOwner), FLoop(std::make_unique<TLoop>(this)) {}

TApplication::~TApplication() {
  Destroying();
  DestroyComponents();
  if (FLoop->watcher.joinable()) {
    // The watcher only ever leaves sigwait through a signal.
    FLoop->stopping.store(true);
    pthread_kill(FLoop->watcher.native_handle(), SIGTERM);
    FLoop->watcher.join();
  }
  DeallocateHWnd(FLoop->window);
  if (Application == this) Application = nullptr;
}

void TApplication::Initialize() {
  TLoop& loop = *FLoop;
  if (loop.watcher.joinable()) return;
  // Blocked here, before any other thread exists, so every later thread inherits the mask and
  // only the watcher takes the signals.
  const sigset_t set = CloseSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  loop.signalsBlocked = true;
  if (!loop.window) loop.window = AllocateHWnd(MakeMethod<&TLoop::WndProc>(&loop));
  loop.watcher = std::thread([&loop, set] {
    for (;;) {
      int signal = 0;
      if (sigwait(&set, &signal) != 0) continue;
      if (loop.stopping.load()) return;
      // The GUI thread closes the main form; Run then returns normally.
      PostMessage(loop.window, WM_CLOSE, 0, signal);
    }
  });
}

void TApplication::CreateForm(const TClassInfo& formClass, void* reference) {
  if (!formClass.Create || !formClass.InheritsFrom(TCustomForm::StaticClass()))
    throw EInvalidOperation("Cannot create a form of class " + formClass.Name);
  auto* form = static_cast<TCustomForm*>(formClass.Create(this));
  try {
    if (auto text = FindResource(formClass.Name)) ReadComponentRes(std::string(*text), form);
  } catch (...) {
    delete form;
    throw;
  }
  // The reference is a pointer to a pointer of the form's own class, which starts with its
  // TCustomForm part (single inheritance).
  if (reference) *static_cast<TCustomForm**>(reference) = form;
  if (!FMainForm) FMainForm = form;
}

void TApplication::Run() {
  if (FMainForm && !FTerminated) {
    FMainForm->Show();
    while (!FTerminated && FMainForm) HandleMessage(-1);
  }
  // The forms are destroyed after main returns, but before the static objects their destructors
  // use (class information, the message queue), which all exist by now: exit handlers registered
  // later run earlier.
  if (this == Application && !gExitCleanupRegistered) {
    gExitCleanupRegistered = true;
    std::atexit(&DestroyApplication);
  }
}

void TApplication::ProcessMessages() {
  do {
    HandleMessage(0);
  } while (!FTerminated && MessageQueue::Pending());
}

void TApplication::HandleMessage(int timeoutMs) {
  TLoop& loop = *FLoop;
  loop.TakeOwnSignals();

  // (1) Posted messages, oldest first. A failing handler is reported and the loop goes on.
  for (int i = 0; i < kMessagesPerPass && !FTerminated; ++i) {
    try {
      if (!MessageQueue::DispatchOne()) break;
    } catch (const Exception& e) {
      ShowException(&e);
    }
  }

  IWindowSystem& ws = WindowSystem();
  auto deliver = [&](const WindowEvent& e) {
    TCustomForm* form = FindShowing(e.window);
    switch (e.type) {
      case WindowEvent::Close:
        if (form) form->Close();
        break;
      case WindowEvent::Quit:
        loop.CloseMainForm();
        break;
      case WindowEvent::Resize:
        if (form) form->HandleResize(e.width, e.height);
        break;
      case WindowEvent::Expose:
        if (form) form->Invalidate();
        break;
      case WindowEvent::None:
        break;
    }
  };

  // (2) Window events already waiting.
  for (int i = 0; i < kEventsPerPass && !FTerminated; ++i) {
    const WindowEvent e = ws.WaitEvent(0);
    if (e.type == WindowEvent::None) break;
    deliver(e);
  }
  if (FTerminated) return;

  // (3) Idle: paint what is invalid, then present what changed, once per display refresh.
  int wait = timeoutMs;
  if (MessageQueue::Pending()) {
    wait = 0;
  } else {
    const std::vector<TCustomForm*> forms = ShowingForms();
    bool presentDue = false;
    for (TCustomForm* form : forms) {
      try {
        form->PaintPending();
      } catch (const Exception& e) {
        ShowException(&e);
      }
    }
    for (TCustomForm* form : ShowingForms()) presentDue = presentDue || form->HasPendingPresent();
    if (presentDue) {
      using Clock = std::chrono::steady_clock;
      const auto now = Clock::now();
      const auto next = loop.lastPresent + std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double>(ws.RefreshInterval()));
      if (now >= next) {
        for (TCustomForm* form : std::vector<TCustomForm*>(ShowingForms())) form->PresentPending();
        loop.lastPresent = now;
      } else {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
        const int until = static_cast<int>(std::max<int64_t>(ms, 1));
        wait = wait < 0 ? until : std::min(wait, until);
      }
    }
  }
  // A handler or a paint may have raised a signal on this thread: nothing would wake us for it.
  loop.TakeOwnSignals();
  if (wait == 0 || FTerminated) return;

  // (4) Sleep until a window event, a posted message (through the wake-up) or the next present.
  deliver(ws.WaitEvent(wait));
}

void TApplication::Terminate() { FTerminated = true; }

void TApplication::ShowException(const Exception* E) {
  const std::string text = E ? E->Message : std::string("Unknown error");
  std::string line = text;
  std::replace(line.begin(), line.end(), '\n', ' ');
  std::replace(line.begin(), line.end(), '\r', ' ');
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  WindowSystem().MessageBox(FTitle, text);
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FMainForm) FMainForm = nullptr;
}

TApplication* Application = new TApplication(nullptr);
