#pragma once
// Controls: rectangles on a form that paint themselves, laid out by alignment.
#include <vector>

#include "Graphics.h"

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
extern const TTypeInfo TypeAlign;

class TWinControl;
class TCustomForm;

// A visual component with a position and size inside its parent. Published: Left, Top, Width,
// Height. Declared for descendants to publish: Align, Color, Visible.
class TControl : public TComponent {
  VCL_CLASS(TControl)
  friend class TWinControl;

  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  int32_t Left() const { return FLeft; }
  int32_t Top() const { return FTop; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  void SetLeft(int32_t v) { SetBounds(v, FTop, FWidth, FHeight); }
  void SetTop(int32_t v) { SetBounds(FLeft, v, FWidth, FHeight); }
  void SetWidth(int32_t v) { SetBounds(FLeft, FTop, v, FHeight); }
  void SetHeight(int32_t v) { SetBounds(FLeft, FTop, FWidth, v); }
  // Moves and sizes the control (a parent then realigns its aligned controls) and repaints.
  virtual void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
  TRect BoundsRect() const { return Rect(FLeft, FTop, FLeft + FWidth, FTop + FHeight); }

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign value);
  TColor Color() const { return FColor; }
  void SetColor(TColor value);  // repaints on a change
  bool Visible() const { return FVisible; }
  void SetVisible(bool value);

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* value);

  virtual int32_t ClientWidth() const { return FWidth; }
  virtual int32_t ClientHeight() const { return FHeight; }
  TRect ClientRect() const { return Rect(0, 0, ClientWidth(), ClientHeight()); }

  // Marks the whole control for repainting; the form paints it when the loop is idle.
  virtual void Invalidate();
  // The form this control is on (through its parents), or null.
  TCustomForm* Form() const;
  // The control's top-left in its form's client area.
  TPoint FormOrigin() const;

  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* value) override;

  // Scales position and size by multiply/divide (rounded), as a form does when the screen's
  // pixels per inch differ from the design's.
  virtual void ChangeScale(int32_t multiply, int32_t divide);

 protected:
  int32_t FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TAlign FAlign = alNone;
  TColor FColor = clWindow;
  bool FVisible = true;
  TWinControl* FParent = nullptr;
};

// A control without a window of its own: it paints with a canvas on its form's framebuffer.
class TGraphicControl : public TControl {
  VCL_CLASS(TGraphicControl)
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;

  // The control's canvas: origin at the control's top-left, clipped to the control. Outside a
  // paint, what is drawn through it is shown at the next present; during a paint (called by the
  // form) it is clipped to the area being painted. Drawing does nothing while the control is on
  // no form.
  TCanvas* Canvas();

  // Called by the form with `area` (form coordinates) to paint; binds the canvas and calls Paint.
  void PaintArea(const TRect& area);

  // Also lets go of the canvas's binding to the old form's framebuffer.
  void SetParent(TWinControl* value) override;

 protected:
  // Paints the control; only paints. Called by the form when idle after Invalidate, and by
  // descendants that redraw themselves.
  virtual void Paint() {}

 private:
  TCanvas* FCanvas;
  bool FPainting = false;  // inside PaintArea: Canvas() keeps the paint's clip
};

// A control that holds other controls and lays out the aligned ones: top, bottom, left, right,
// then client.
class TWinControl : public TControl {
  VCL_CLASS(TWinControl)
  friend class TControl;

  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int index) const { return FControls.at(index); }
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  // Lays out the aligned child controls inside the client area.
  virtual void AlignControls();
  void ChangeScale(int32_t multiply, int32_t divide) override;
  // Aligns the children once the whole form resource is read (no aligning while loading).
  void Loaded() override;

 protected:
  std::vector<TControl*> FControls;
  bool FAligning = false;
};
