// The keys every screen that waits for the player answers beside its own: F1
// speaks the keys of the screen (its help entry, then the keys every screen
// knows), F2 says the last line again. Nothing they do reaches the other player.
#pragma once

#include "shell/game.h"

namespace tornello {

// Call once per pass, after the keyboard was examined.
void answer_common_keys(Game& game, int help_entry);

}  // namespace tornello
