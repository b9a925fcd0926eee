// The hub of the game: host a match, set the address and port and join one, or
// leave. Every flow that does not end the game comes back here by returning
// Next::main_menu to the loop that runs the menu, never by calling it again.
#pragma once

#include <functional>

#include "shell/game.h"

namespace tornello {

// Where hosting and joining are carried out. Injected so that start-up wires the
// real network flows and tests drive the menu with their own.
struct MainMenuFlows {
  std::function<Next(Game&)> host_game;
  std::function<Next(Game&)> join_game;
};

// One visit of the main menu: plays the "Menu" track (not restarted when it is
// already playing), runs "main" and, for item 2, the "connect" submenu with the
// host and port prompts. Returns where to go next: Next::main_menu to show it
// again, Next::exit to end the game (Exit, a missing menu file, or an item
// number beyond those the game knows).
Next run_main_menu(Game& game, const MainMenuFlows& flows);

// Shows the main menu again and again until a visit says Next::exit.
void run_main_menu_loop(Game& game, const MainMenuFlows& flows);

}  // namespace tornello
