#pragma once
// Forms (top-level windows) and the application object with its message loop.
#include <memory>
#include <string>
#include <vector>

#include "Controls.h"

enum TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
extern const TTypeInfo TypePosition;

// A top-level window. Width and Height are outer sizes: the client area is 8 pixels narrower and
// 27 shorter (a 4-pixel frame and a 19-pixel caption). The form owns a framebuffer at its client
// size; its controls draw into it and the loop presents what changed.
//
// Published: Left, Top, Width, Height, Caption, Color (default clBtnFace), Font, Position
// (default poDesigned), PixelsPerInch, TextHeight, Scaled (default True).
class TCustomForm : public TWinControl {
  VCL_CLASS(TCustomForm)
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;

  static constexpr int32_t kFrameWidth = 8;
  static constexpr int32_t kFrameHeight = 27;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& value);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition value) { FPosition = value; }
  TFont* Font() const { return FFont; }
  int32_t PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int32_t value) { FPixelsPerInch = value; }
  int32_t TextHeight() const { return FTextHeight; }
  void SetTextHeight(int32_t value) { FTextHeight = value; }
  bool Scaled() const { return FScaled; }
  void SetScaled(bool value) { FScaled = value; }

  int32_t ClientWidth() const override;
  int32_t ClientHeight() const override;
  void SetClientSize(int32_t width, int32_t height);
  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;

  // Creates the window (if needed) and shows it; the loop paints it when idle.
  void Show();
  // Asks the form to close: a main form ends the application's loop.
  void Close();
  bool Showing() const { return FWindow != 0; }
  WindowId Window() const { return FWindow; }

  Framebuffer& Surface() { return FSurface; }
  const Framebuffer& Surface() const { return FSurface; }

  // Marks an area (client coordinates) to be repainted when idle / shown at the next present.
  void InvalidateRect(const TRect& area);
  void Damage(const TRect& area);
  void Invalidate() override;
  // Paints every invalidated area now (controls first-to-last over the form's own background).
  // Returns whether anything was painted.
  bool PaintPending();
  // Sends the damaged areas to the window system. Returns whether anything was presented.
  bool PresentPending();
  bool HasPendingPaint() const { return !FInvalid.empty(); }
  bool HasPendingPresent() const { return !FDamaged.empty(); }

  // Window-system events for this form's window.
  void HandleResize(int32_t clientWidth, int32_t clientHeight);

  void Loaded() override;

 protected:
  // Paints the form's own background (Color) in `area`.
  virtual void PaintBackground(const TRect& area);

 private:
  void ResizeSurface();
  // Destroys the window (if any) and stops taking part in the loop.
  void ReleaseWindow();

  std::string FCaption;
  TPosition FPosition = poDesigned;
  TFont* FFont;
  int32_t FPixelsPerInch = 96;
  int32_t FTextHeight = 13;
  bool FScaled = true;
  WindowId FWindow = 0;
  Framebuffer FSurface;
  TCanvas* FCanvas;
  std::vector<TRect> FInvalid;   // to paint
  std::vector<TRect> FDamaged;   // to present
};

class TForm : public TCustomForm {
  VCL_CLASS(TForm)
  explicit TForm(TComponent* AOwner);
};

// The application: creates forms, runs the message loop, shows exceptions.
class TApplication : public TComponent {
  VCL_CLASS(TApplication)
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  // Prepares the loop: SIGTERM and SIGINT will close the main form cleanly.
  void Initialize();
  // Constructs a form of class `formClass` owned by the application, reads its compiled-in form
  // resource (found by the class name) into it, stores it in *reference (a pointer to the form
  // pointer of that class) and, for the first form, makes it the main form.
  void CreateForm(const TClassInfo& formClass, void* reference);
  template <class T>
  void CreateForm(T** reference) {
    CreateForm(T::StaticClass(), static_cast<void*>(reference));
  }
  // Shows the main form and runs the loop until it closes or Terminate is called.
  void Run();
  // Handles everything waiting (posted messages, window events, painting) without blocking.
  void ProcessMessages();
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Writes the message to stderr and shows it in a message box where the window system can.
  void ShowException(const Exception* E);

  TCustomForm* MainForm() const { return FMainForm; }
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& value) { FTitle = value; }

 protected:
  // Forgets the main form when it is destroyed.
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  // One pass of the loop; waits up to `timeoutMs` for something to do when idle.
  void HandleMessage(int timeoutMs);

  // The loop's machinery (hidden window, signal watcher, present pacing); defined in Forms.cpp.
  struct TLoop;
  std::unique_ptr<TLoop> FLoop;

  TCustomForm* FMainForm = nullptr;
  bool FTerminated = false;
  std::string FTitle = "Audio Sampling";
};

extern TApplication* Application;
