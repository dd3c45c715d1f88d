#pragma once
// TWaveView: the latest block of a recorder as an oscilloscope trace, one polyline across the
// client area. Sample 0 lies on the middle row; 16384 sample units span the full height (positive
// samples below the middle); samples beyond the edges are clamped to the top or bottom row.
#include "Recorder.h"
#include "SourceView.h"

class TWaveView : public TSourceView<TRecorder> {
  VCL_CLASS(TWaveView)
  explicit TWaveView(TComponent* AOwner);
  ~TWaveView() override;

  void ShowData(TRecorder* source) override;

  // The points of the last trace (capacity grows, never shrinks).
  const TPoint* Points() const { return FPoints; }
  int32_t PointCapacity() const { return FPointCapacity; }

 protected:
  void Paint() override;

 private:
  TPoint* FPoints = nullptr;
  int32_t FPointCapacity = 0;
};
