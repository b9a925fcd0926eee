// The keys every screen that waits for the player answers beside its own: F1
// speaks the keys of the screen (its help entry, then the keys every screen
// knows), F2 says the last line again, F5 / F6 lower / raise the sounds level and
// Page Down / Page Up the music level, in steps of 10; the new level is spoken
// once the key is let go, and kept in the settings file. Nothing they do reaches
// the other player.
#pragma once

#include <cstdint>

#include "shell/game.h"

namespace tornello {

// Call once per pass, after the keyboard was examined.
void answer_common_keys(Game& game, int help_entry);

// The levels as the player changes them: one step of 10 up or down from the
// level now applied, to the next multiple of 10, within 0..100.
int32_t level_step(int32_t level, bool up);
// Applies the game's levels to the mixer: the sounds level to every sound, the
// music level to the track playing (once the player has chosen one).
void apply_levels(Game& game);
// "Music 40 percent": the entry's name, the level and the word for percent.
std::string level_line(const Game& game, int name_entry, int32_t level);

}  // namespace tornello
