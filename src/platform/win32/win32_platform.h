// The Windows backend: a user32 window whose title is what the screen reader
// reads, DirectInput 7 and DirectSound loaded at run time, the Win32 text dialog.
// This header shows only the game's own types; windows.h stays behind it.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace tornello {

// Never null: every device that fails to start leaves only its own part of the
// game without effect (no sound, no controller).
std::unique_ptr<Platform> create_win32_platform();

}  // namespace tornello
