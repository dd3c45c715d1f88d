#pragma once
// The two wave-in queries the design-time editors make (device count and device capabilities),
// behind a replaceable source. By default they go to the wave-in service; a test may install its
// own source to script answers the service never gives, such as a capability query that fails
// for one device between two that answer. GUI thread only, like the editors.
#include "MMSystem.h"

namespace Sample {

class IWaveInCaps {
 public:
  virtual ~IWaveInCaps() = default;
  // As waveInGetNumDevs.
  virtual UINT GetNumDevs() = 0;
  // As waveInGetDevCapsA: 0 on success, and then `caps` is filled.
  virtual MMRESULT GetDevCaps(UINT_PTR deviceId, WAVEINCAPSA* caps, UINT capsSize) = 0;
};

// The source the editors query now.
IWaveInCaps& WaveInCaps();
// Installs `source` (not owned; it must outlive its use), or the service again for null. Returns
// the source installed before, null when that was the service.
IWaveInCaps* SetWaveInCaps(IWaveInCaps* source);

}  // namespace Sample
