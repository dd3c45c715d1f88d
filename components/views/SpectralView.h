#pragma once
// TSpectralView: the latest spectrum of an FFT component as a row of bars, one per band of bins.
// A bar's height is the band's mean magnitude (integer parts) / 32 pixels, clamped to the height;
// live bars are always green on black. In the designer it previews a fixed pattern of bars in the
// Line colour and, with a source, each band's centre frequency above its bar.
#include "FFT.h"
#include "SourceView.h"

class TSpectralView : public TSourceView<TFFT> {
  VCL_CLASS(TSpectralView)
  explicit TSpectralView(TComponent* AOwner);

  int32_t Bands() const { return FBandCount; }
  // A new value repaints; no range test (0 previews as 10 bars; live, a count that leaves no bins
  // per band, or none, draws nothing).
  virtual void SetBandCount(int32_t value);

  void ShowData(TFFT* source) override;

  static constexpr TColor kBarColor = 0x00008000;
  static constexpr TColor kBackColor = 0x00000000;

 protected:
  void Paint() override;

 private:
  int32_t FBandCount = 10;
};
