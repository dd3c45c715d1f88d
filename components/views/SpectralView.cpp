#include "SpectralView.h"

#include <limits>

#include "FrequencyLabel.h"

const TClassInfo& TSpectralView::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TSpectralView>("TSpectralView", &TGraphicControl::StaticClass())
          .Factory()
          .Republish("Align")
          .Object<TFFT>("Source", [](const TSpectralView& o) { return o.Source(); },
                        [](TSpectralView& o, TObject* v) { o.BindSource(static_cast<TFFT*>(v)); })
          .Republish("Color", clBlack)
          .Ordinal("Line", TypeColor, [](const TSpectralView& o) { return o.Line(); },
                   [](TSpectralView& o, int64_t v) { o.SetLineColor(static_cast<TColor>(v)); },
                   clGreen)
          .Integer("Bands", [](const TSpectralView& o) { return o.Bands(); },
                   [](TSpectralView& o, int64_t v) { o.SetBandCount(static_cast<int32_t>(v)); }, 10)
          .Integer("SkipFrames", [](const TSpectralView& o) { return o.SkipFrames(); },
                   [](TSpectralView& o, int64_t v) { o.SetSkipFrames(static_cast<int32_t>(v)); }, 0)
          .Build();
  return info;
}

TSpectralView::TSpectralView(TComponent* AOwner) : TSourceView<TFFT>(AOwner) {
  SetLineColor(0x00008000);
}

void TSpectralView::SetBandCount(int32_t value) {
  if (value == FBandCount) return;
  FBandCount = value;
  Invalidate();
}

void TSpectralView::Paint() {
  TCanvas* canvas = Canvas();
  canvas->Brush()->Color = Color();
  canvas->FillRect(canvas->ClipRect());
  if (!Designing()) return;
  canvas->Pen()->Color = FLineColor;
  canvas->Brush()->Color = FLineColor;
  canvas->Font()->Color = FLineColor;
  canvas->Font()->Height = 8;
  const int32_t w = ClientWidth(), h = ClientHeight();
  const int32_t n = FBandCount == 0 ? 10 : FBandCount;
  const int32_t bw = w / n;
  TFFT* source = Source();
  // More bands than N/2 leave a band no bin (and 2·n might not fit 32 bits).
  const int32_t step =
      source && n > 0 && n <= source->BufSize() / 2 ? source->BufSize() / (2 * n) : 0;
  int32_t b = 0;
  int32_t x = 0;
  for (int32_t i = 0; i < n; ++i) {
    // (Line + 10) * i wraps as a 32-bit signed product.
    const int32_t product = static_cast<int32_t>((static_cast<uint32_t>(FLineColor) + 10u) *
                                                 static_cast<uint32_t>(i));
    // (product mod n) * h wraps the same way for band counts beyond about 2^31 / h.
    const int32_t scaled = static_cast<int32_t>(static_cast<uint32_t>(product % n) *
                                                static_cast<uint32_t>(h));
    const int32_t t = scaled / (n + 2);
    const TRect bar = Rect(x, h - t, x + bw, h);
    if (source) {
      canvas->Brush()->Color = 0;
      canvas->TextOut(x, h - t - 16, FrequencyLabel(source->BinFrequency(step / 2 + b)));
      b += step;
      canvas->Brush()->Color = FLineColor;
    }
    canvas->FillRect(bar);
    x += bw;
  }
}

void TSpectralView::ShowData(TFFT* source) {
  const int32_t n = FBandCount;
  // A band needs at least one bin: more bands than N/2 draw nothing (and 2·n might not fit 32
  // bits); no bands at all draw nothing either.
  if (n <= 0 || n > source->BufSize() / 2) return;
  const int32_t step = source->BufSize() / (2 * n);
  const int32_t w = ClientWidth(), h = ClientHeight();
  const int32_t bw = w / n;
  TCanvas* canvas = Canvas();
  int32_t b = 0;
  int32_t x = 0;
  for (int32_t k = 0; k < n; ++k) {
    int32_t sum = 0;
    for (int32_t j = b; j < b + step; ++j) {
      const double next = static_cast<double>(sum) + source->Magnitude(j);
      sum = next < std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(next)
                                                       : std::numeric_limits<int32_t>::max();
    }
    int32_t level = sum / (32 * step);
    if (level > h) level = h;
    canvas->Brush()->Color = kBarColor;
    canvas->FillRect(Rect(x, h - level, x + bw, h));
    canvas->Brush()->Color = kBackColor;
    canvas->FillRect(Rect(x, 0, x + bw, h - level));
    b += step;
    x += bw;
  }
}
