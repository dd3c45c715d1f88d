#pragma once
// The "sdl" wave-in backend: real capture through SDL2 (PulseAudio, PipeWire, ALSA, ... whatever
// driver SDL picks or SDL_AUDIODRIVER names). Internal to the mmsystem library.
#include <memory>

#include "WaveInBackend.h"

namespace mmsystem {

std::unique_ptr<Backend> MakeSdlBackend();

}  // namespace mmsystem
