#pragma once
// The window system behind forms: top-level windows showing a framebuffer, their events, message
// boxes and screen metrics. Two backends: "sdl" (real windows) and "headless" (in memory, for tests
// and previews). The backend is chosen once per process, in WindowSystem.cpp's table.
//
// Every call is made on the GUI thread, except Wake(), which any thread may call.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A 32-bit image, one uint32_t per pixel laid out 0x00RRGGBB, rows top to bottom.
struct Framebuffer {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;

  void Resize(int32_t w, int32_t h);
  uint32_t At(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  // Writes the image as a PNG file; returns false (errno set or message on stderr) on failure.
  bool SavePng(const std::string& path) const;
};

struct PixelRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;  // right and bottom excluded
};

using WindowId = uint32_t;  // 0 is never a window

struct WindowEvent {
  enum Type { None, Close, Resize, Expose, Quit } type = None;
  WindowId window = 0;
  int32_t width = 0, height = 0;  // Resize: the new client size
};

class IWindowSystem {
 public:
  virtual ~IWindowSystem() = default;
  virtual const char* Name() const = 0;

  virtual int32_t ScreenWidth() const = 0;
  virtual int32_t ScreenHeight() const = 0;
  // 96 × the desktop's scale factor; 96 where the display does not say.
  virtual int32_t ScreenPixelsPerInch() const = 0;
  // Seconds between two display refreshes (presents are paced to it).
  virtual double RefreshInterval() const = 0;

  // Creates a hidden top-level window with the given client size; `centred` centres it on the
  // screen when shown, otherwise (x, y) is its outer position.
  virtual WindowId CreateWindow(const std::string& title, int32_t x, int32_t y, int32_t clientWidth,
                                int32_t clientHeight, bool centred) = 0;
  virtual void DestroyWindow(WindowId window) = 0;
  virtual void ShowWindow(WindowId window) = 0;
  virtual void SetTitle(WindowId window, const std::string& title) = 0;
  virtual void SetClientSize(WindowId window, int32_t width, int32_t height) = 0;
  // Outer position of the window on the screen.
  virtual void GetPosition(WindowId window, int32_t* x, int32_t* y) const = 0;

  // Shows the given rectangles of `frame` (the window's whole client area) on screen.
  virtual void Present(WindowId window, const Framebuffer& frame,
                       const std::vector<PixelRect>& changed) = 0;

  // Returns the next event, waiting at most `timeoutMs` (negative: no limit) for one. Returns an
  // event of type None on a time-out or when woken by Wake().
  virtual WindowEvent WaitEvent(int timeoutMs) = 0;
  // Makes a WaitEvent in progress (or the next one) return. Thread-safe, never blocks.
  virtual void Wake() = 0;

  // Shows a modal message box. Returns false when this window system cannot show one.
  virtual bool MessageBox(const std::string& title, const std::string& text) = 0;
};

// The window system of this process. The first call makes it: the backend named by
// SelectWindowSystem, else by the environment variable AS_WINDOW_SYSTEM, else "sdl".
IWindowSystem& WindowSystem();
// Chooses the backend by name ("sdl", "headless") before the first WindowSystem() call. Returns
// false for an unknown name or when one was already made.
bool SelectWindowSystem(const std::string& name);
