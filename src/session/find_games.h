// Finding a game on the local network instead of typing its address: a search,
// the games it heard as a menu, and the chosen one joined as "Connect" joins.
#pragma once

#include <optional>

#include "shell/game.h"

namespace tornello {

// Searches for a second (Escape gives up), tells how many games answered and
// offers them with "Back" after them. A chosen game's address and port become
// the host and port of the settings, and joining it is the flow's Next. Nothing
// found, Back or Escape: nothing, and the connect menu comes back.
std::optional<Next> find_games(Game& game);

}  // namespace tornello
