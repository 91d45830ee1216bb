// The SDL back end on SDL's dummy video and audio drivers, for tests: no display and no
// sound device needed. The dummy window never has the focus, so joysticks and controllers
// are read in the background too.
#pragma once
#include <SDL.h>

#include <cstdlib>
#include <memory>

#include "engine/platform/sdl/SdlPlatform.h"

// The platform with its 800 x 600 window open; null when the window cannot be made.
inline std::unique_ptr<platform::SdlPlatform> OpenDummySdl() {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  auto sdl = std::make_unique<platform::SdlPlatform>();
  if (!sdl->OpenWindow("Zarovel", 800, 600)) return nullptr;
  return sdl;
}
