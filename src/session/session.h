// Hosting and joining: bringing two copies of the game together, the handshake
// that proves the guest is this game, character selection on both sides, and the
// way into the match. Each flow ends in the match or goes back to the main menu.
#pragma once

#include "shell/game.h"
#include "shell/main_menu.h"

namespace tornello {

class HostReach;

// Asks for a port and the game mode, opens the server and waits for a guest
// (Escape gives up), checks its handshake word, then character selection and the
// match. A port that cannot be opened is told, and the main menu comes back.
Next host_game(Game& game);

// The rest of hosting, once the server is open, the game mode chosen and the
// wait for a guest told: the guest's handshake, character selection and the
// match. `reach` (none for a match on this computer alone) answers searches and
// holds the router's port while the host waits. The server is closed when it
// returns.
Next play_hosted_match(Game& game, HostReach* reach);

// Connects to the host address and port of the settings, says hello, waits for
// the host's answer (Escape gives up; a host that hangs up is told), then
// character selection and the match.
Next join_game(Game& game);

// One pass of a waiting loop that also reads the network: waits for input for
// at most network_wait_ms, reads the keys (the keys every screen knows are
// answered) and tells whether the player pressed Escape.
bool escape_pressed(Game& game);

// The flows of the main menu: hosting, joining, practice, learning the sounds
// and the settings.
MainMenuFlows network_flows();

}  // namespace tornello
