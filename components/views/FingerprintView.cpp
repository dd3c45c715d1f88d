#include "FingerprintView.h"

#include "FrequencyLabel.h"

TColor LevelColor(int32_t level) {
  if (level < 16) return 0x00800000;
  if (level < 32) return 0x00FF0000;
  if (level < 64) return 0x0000FF00;
  if (level < 128) return 0x0000FFFF;
  if (level < 256) return 0x000080FF;
  return 0x000000FF;
}

const TClassInfo& TFingerprintView::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TFingerprintView>("TFingerprintView", &TGraphicControl::StaticClass())
          .Factory()
          .Republish("Align")
          .Object<TFFT>("Source", [](const TFingerprintView& o) { return o.Source(); },
                        [](TFingerprintView& o, TObject* v) { o.BindSource(static_cast<TFFT*>(v)); })
          .Republish("Color", clBlack)
          .Ordinal("Line", TypeColor, [](const TFingerprintView& o) { return o.Line(); },
                   [](TFingerprintView& o, int64_t v) { o.SetLineColor(static_cast<TColor>(v)); },
                   clWhite)
          .Integer("SkipFrames", [](const TFingerprintView& o) { return o.SkipFrames(); },
                   [](TFingerprintView& o, int64_t v) { o.SetSkipFrames(static_cast<int32_t>(v)); },
                   0)
          .Build();
  return info;
}

TFingerprintView::TFingerprintView(TComponent* AOwner) : TSourceView<TFFT>(AOwner) {
  FLineColor = 0x00FFFFFF;
}

void TFingerprintView::ShowData(TFFT* source) {
  TCanvas* canvas = Canvas();
  const int32_t w = ClientWidth(), h = ClientHeight();
  const int32_t x = FColumn;
  canvas->Pen()->Color = Color();
  canvas->MoveTo(x, 0);
  canvas->LineTo(x, h);
  canvas->MoveTo(x + 1, 0);
  canvas->LineTo(x + 1, h);
  const int32_t bins = source->BufSize() / 2;
  for (int32_t i = 0; i < bins && i < h; ++i) {
    const double scaled = source->Magnitude(i) * 0.00390625;
    const int32_t level = scaled < 2147483647.0 ? static_cast<int32_t>(scaled) : 2147483647;
    if (level > 8) {
      const TColor c = LevelColor(level);
      canvas->SetPixel(x, h - i - 1, c);
      canvas->SetPixel(x + 1, h - i - 1, c);
    }
  }
  FColumn += 2;
  if (FColumn >= w) FColumn = 0;
  canvas->Pen()->Color = FLineColor;
  canvas->MoveTo(FColumn, 0);
  canvas->LineTo(FColumn, h);
}

void TFingerprintView::Paint() {
  if (!Designing()) return;
  TCanvas* canvas = Canvas();
  canvas->Brush()->Color = Color();
  canvas->FillRect(canvas->ClipRect());
  TFFT* source = Source();
  if (!source) return;
  canvas->Pen()->Color = kScaleColor;
  canvas->Font()->Color = kScaleColor;
  canvas->Font()->Height = 8;
  const int32_t w = ClientWidth(), h = ClientHeight();
  const int32_t bins = source->BufSize() / 2;
  for (int32_t y = 0; y < bins && y < h; y += 30)
    canvas->TextOut(15, h - y - 23, FrequencyLabel(source->BinFrequency(y)));
  for (int32_t y = 0; y < bins && y < h; y += 30) {
    canvas->MoveTo(0, h - y - 1);
    canvas->LineTo(w, h - y - 1);
  }
  canvas->Pen()->Color = FLineColor;
  canvas->MoveTo(5, 0);
  canvas->LineTo(5, h);
}
