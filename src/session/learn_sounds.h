// "Learn the sounds": a menu of the sounds that tell a player what happens in a
// match. Each item speaks its name; Enter plays its sound as a match would, at
// the same level and pan, placed by the match's own code (a ball is heard from
// the far end coming in, frame by frame). Moving to another item stops what is
// playing; Escape or "Back" returns to the main menu. It lives above the match
// because it plays the match's own sounds through the match's own placement.
#pragma once

#include "shell/game.h"

namespace tornello {

Next learn_sounds(Game& game);

}  // namespace tornello
