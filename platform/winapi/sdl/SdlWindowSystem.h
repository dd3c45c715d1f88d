#pragma once
// Real top-level windows through SDL2's video subsystem, drawn with SDL's software window surface
// (no OpenGL stack is loaded). SDL video starts when the backend is made.
#include <memory>

#include "WindowSystem.h"

std::unique_ptr<IWindowSystem> CreateSdlWindowSystem();
