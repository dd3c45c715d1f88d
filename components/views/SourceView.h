#pragma once
// What the three views share: a graphic control that is a client of one source (a recorder or an
// FFT component) and draws each new block or spectrum straight onto its canvas.
//
//  - Source: writing it leaves the old source's slots, registers with the new one and asks to be
//    told of its destruction. Writing the same source again leaves and registers anew.
//  - SkipFrames k: of the data notices, every (k+1)-th is drawn (k <= 0: every one).
//  - Line: the line colour; a new value repaints, the same value does nothing.
//  - A removed source is forgotten; one that is destroyed first has already said evDestroying,
//    so the view never calls into it again.
//  - Paint only paints (background and, in the designer, a preview); the live picture comes from
//    ShowData, called inside the source's notice on the GUI thread.
#include "ClientSlots.h"
#include "Controls.h"

template <class TSource>
class TSourceView : public TGraphicControl {
 public:
  explicit TSourceView(TComponent* AOwner)
      : TGraphicControl(AOwner), FLink(MakeMethod<&TSourceView::SourceEvent>(this)) {
    SetBounds(Left(), Top(), 200, 100);
    SetColor(clBlack);
  }
  ~TSourceView() override { DetachSource(); }

  TSource* Source() const { return FLink.Source(); }
  // The writer of Source.
  void BindSource(TSource* value) {
    DetachSource();
    FLink.SetSource(value);
    AttachSource();
    if (value) value->FreeNotification(this);
  }

  TColor Line() const { return FLineColor; }
  virtual void SetLineColor(TColor value) {
    if (value == FLineColor) return;
    FLineColor = value;
    Invalidate();
  }

  int32_t SkipFrames() const { return FFramesToSkip; }
  void SetSkipFrames(int32_t value) { FFramesToSkip = value; }

  bool Attached() const { return FLink.Attached(); }

  // The handler registered with the source.
  virtual void SourceEvent(TObject*, uint8_t Code) {
    FLink.SourceNotice(Code);
    if (Code != evData) return;
    if (FFrameCount < FFramesToSkip) {
      ++FFrameCount;
      return;
    }
    if (TSource* source = Source()) ShowData(source);
    FFrameCount = 0;
  }

  // Draws one frame of the source's data.
  virtual void ShowData(TSource* source) = 0;

 protected:
  bool Designing() const { return ComponentState().Contains(csDesigning); }

  void AttachSource() {
    if (Source()) FLink.AttachSource();
  }
  void DetachSource() { FLink.DetachSource(); }

  void Notification(TComponent* AComponent, TOperation Operation) override {
    TGraphicControl::Notification(AComponent, Operation);
    if (Operation != opRemove || !AComponent || AComponent != Source()) return;
    // A source that only leaves its owner lives on: leave its slots before forgetting it. One that
    // is being destroyed said evDestroying first, so nothing is called on it here.
    DetachSource();
    FLink.ForgetSource();
  }

  TSourceLink<TSource> FLink;
  TColor FLineColor = clBlack;
  int32_t FFrameCount = 0;
  int32_t FFramesToSkip = 0;
};
