#include "WaveInCaps.h"

namespace Sample {
namespace {

class TServiceCaps final : public IWaveInCaps {
 public:
  UINT GetNumDevs() override { return waveInGetNumDevs(); }
  MMRESULT GetDevCaps(UINT_PTR deviceId, WAVEINCAPSA* caps, UINT capsSize) override {
    return waveInGetDevCapsA(deviceId, caps, capsSize);
  }
};

TServiceCaps gService;
IWaveInCaps* gInstalled = nullptr;

}  // namespace

IWaveInCaps& WaveInCaps() { return gInstalled ? *gInstalled : gService; }

IWaveInCaps* SetWaveInCaps(IWaveInCaps* source) {
  IWaveInCaps* previous = gInstalled;
  gInstalled = source;
  return previous;
}

}  // namespace Sample
