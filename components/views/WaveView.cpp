#include "WaveView.h"

#include <algorithm>

const TClassInfo& TWaveView::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TWaveView>("TWaveView", &TGraphicControl::StaticClass())
          .Factory()
          .Republish("Align")
          .Object<TRecorder>("Source", [](const TWaveView& o) { return o.Source(); },
                             [](TWaveView& o, TObject* v) { o.BindSource(static_cast<TRecorder*>(v)); })
          .Republish("Color", clBlack)
          .Ordinal("Line", TypeColor, [](const TWaveView& o) { return o.Line(); },
                   [](TWaveView& o, int64_t v) { o.SetLineColor(static_cast<TColor>(v)); }, clLime)
          .Integer("SkipFrames", [](const TWaveView& o) { return o.SkipFrames(); },
                   [](TWaveView& o, int64_t v) { o.SetSkipFrames(static_cast<int32_t>(v)); }, 0)
          .Build();
  return info;
}

TWaveView::TWaveView(TComponent* AOwner) : TSourceView<TRecorder>(AOwner) { SetLineColor(clLime); }

TWaveView::~TWaveView() {
  DetachSource();
  delete[] FPoints;
  FPoints = nullptr;
}

void TWaveView::Paint() {
  TCanvas* canvas = Canvas();
  canvas->Brush()->Color = Color();
  canvas->FillRect(canvas->ClipRect());
  if (!Designing()) return;
  const int32_t w = ClientWidth(), h = ClientHeight();
  const TPoint zigzag[4] = {
      {0, (h - 1) / 2}, {w / 4, h / 4}, {(3 * w) / 4, (3 * h) / 4}, {w - 1, (h - 1) / 2}};
  canvas->Pen()->Color = FLineColor;
  canvas->Polyline(zigzag, 4);
}

void TWaveView::ShowData(TRecorder* source) {
  const int32_t n = source->SampleCount();
  const int32_t h = ClientHeight(), w = ClientWidth();
  const int32_t m = std::min(n, w);
  if (n > 0 && m <= 0) return;  // no columns to draw into
  if (n > FPointCapacity) {
    delete[] FPoints;
    FPoints = new TPoint[n];
    FPointCapacity = n;
  }
  for (int32_t i = 0; i < n; ++i) {
    const int32_t x = (i * w) / m;
    const int32_t s = source->GetSample(i);
    const int32_t y = (s * h) / 16384 + h / 2;
    TPoint& p = FPoints[i];
    if (x >= w)
      p = {w - 1, (h - 1) / 2};
    else if (y < 0)
      p = {x, 0};
    else if (y >= h)
      p = {x, h - 1};
    else
      p = {x, y};
  }
  Paint();
  TCanvas* canvas = Canvas();
  canvas->Pen()->Color = FLineColor;
  canvas->Polyline(FPoints, n);
}
