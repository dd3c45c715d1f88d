#pragma once
// The "scripted" wave-in backend, driven by tests through ScriptedWaveIn.h. Internal to the
// mmsystem library.
#include <memory>

#include "WaveInBackend.h"

namespace mmsystem {

std::unique_ptr<Backend> MakeScriptedBackend();

}  // namespace mmsystem
