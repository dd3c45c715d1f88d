#pragma once
// TFingerprintView: a sweeping spectrogram. Each spectrum becomes a column two pixels wide, one
// pixel row per bin (bin 0 at the bottom), coloured by the bin's level (LevelColor); columns advance
// left to right and wrap, and a one-pixel cursor line in the Line colour marks the next column.
// Nothing scrolls and, at run time, Paint draws nothing: the picture is only what the frames drew.
// In the designer it shows the frequency scale: grid lines and labels every 30 rows.
#include "FFT.h"
#include "SourceView.h"

// The colour of a level (magnitude / 256): navy below 16, blue below 32, lime below 64, yellow
// below 128, orange below 256, red from 256.
TColor LevelColor(int32_t level);

class TFingerprintView : public TSourceView<TFFT> {
  VCL_CLASS(TFingerprintView)
  explicit TFingerprintView(TComponent* AOwner);

  void ShowData(TFFT* source) override;
  // The x of the column the next spectrum is drawn in.
  int32_t Column() const { return FColumn; }

  static constexpr TColor kScaleColor = 0x00008000;

 protected:
  void Paint() override;

 private:
  int32_t FColumn = 0;
};
