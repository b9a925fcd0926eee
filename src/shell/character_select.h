// The character carousel before a match: Left and Right step through the five
// characters, each step saying the character's name, and letting go of Enter
// confirms. The selection track is left playing for the caller to replace.
#pragma once

#include <cstdint>

#include "shell/game.h"

namespace tornello {

// Runs the screen until Enter is released and returns the character under the
// cursor: 1 to 5, or 0 when the player confirmed before choosing.
int32_t choose_character(Game& game);

}  // namespace tornello
