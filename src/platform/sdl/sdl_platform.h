// The desktop backend: an SDL2 window that is never drawn on, SDL input mapped to
// the game's key codes, SDL audio, and speech through the desktop's speech service.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace tornello {

struct SdlOptions {
  bool speech = true;  // hand spoken lines to the speech service too
};

// Starts SDL (one platform at a time). Null, with a message on standard error,
// when there is no desktop to open a window on.
std::unique_ptr<Platform> create_sdl_platform(const SdlOptions& options);

}  // namespace tornello
