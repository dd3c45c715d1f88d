#pragma once
// What the wave-in service offers beyond the calls of MMSystem.h: counters of what an open device
// delivered and dropped, the reason for the last failure, and the choice of backend.
//
// GUI thread only, like the rest of the service.
#include <cstdint>
#include <string>

#include "MMSystem.h"

struct WaveInStatistics {
  // Sample frames written into the caller's headers since the device was opened.
  uint64_t framesDelivered = 0;
  // Sample frames captured but thrown away since open: those that did not fit in the device's
  // ring because the GUI thread fell behind (about a second of audio), and those still waiting
  // for a header when the device was reset.
  uint64_t framesDropped = 0;
};

// Fills `statistics` for an open device. MMSYSERR_INVALHANDLE for a stale or null handle,
// MMSYSERR_INVALPARAM for a null `statistics`.
MMRESULT waveInGetStatistics(HWAVEIN handle, WaveInStatistics* statistics);

// The reason for the most recent failed wave-in call, as "<backend or service>: <reason>" (for the
// sdl backend this includes SDL's own error text). Empty until a call fails; a later successful
// call does not clear it.
std::string waveInGetLastError();

// Chooses the source of audio by name: "sdl" (real capture through SDL2; the default) or
// "scripted" (deterministic, driven by tests through ScriptedWaveIn.h). Without a call, the
// environment variable AS_WAVEIN_BACKEND names it, and "sdl" is used when that is unset or empty.
// Choosing again, even the same name, shuts the current backend down and starts a fresh one (for
// sdl: SDL's audio subsystem is initialised anew, so SDL_AUDIODRIVER is read again). Returns false,
// changing nothing, for an unknown name or while any device is open.
bool SelectWaveInBackend(const char* name);

// The sdl backend counts a capturing device as lost (unplugged, sound server gone) when SDL says it
// stopped, or when no audio has come from it for 3000 ms; the environment variable
// AS_WAVEIN_STALL_MS, read at each waveInOpen, changes that time (0: never).

// The name of the backend in use (choosing the default if none is chosen yet); empty when the one
// named by AS_WAVEIN_BACKEND is unknown, in which case every call fails with MMSYSERR_NODRIVER.
std::string WaveInBackendName();
