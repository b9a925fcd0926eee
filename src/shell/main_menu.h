// The hub of the game: host a match, join one (the connection settings and the
// games found on the network), practise against the computer, learn the sounds,
// change the settings, or leave. Every flow that does not end the game comes back
// here by returning Next::main_menu to the loop that runs the menu, never by
// calling it again.
#pragma once

#include <functional>
#include <optional>

#include "shell/game.h"

namespace tornello {

// Where the main menu's choices are carried out. Injected so that the top of the
// program wires the real flows and tests drive the menu with their own; a flow
// left empty makes its item show the menu again.
struct MainMenuFlows {
  std::function<Next(Game&)> host_game;
  std::function<Next(Game&)> join_game;
  // From the connect submenu: a game chosen among those found on the network is
  // joined (the flow's Next); nothing brings the connect submenu back.
  std::function<std::optional<Next>(Game&)> find_games;
  std::function<Next(Game&)> practise;
  std::function<Next(Game&)> learn_sounds;
  std::function<Next(Game&)> settings;
};

// What an item of the main menu means. An item's position is its meaning, and
// a menu file with three items (as older releases had) keeps theirs.
enum class MainChoice { host, join, practise, learn_sounds, settings, exit };
MainChoice main_menu_choice(int item, int item_count);

// One visit of the main menu: plays the "Menu" track (not restarted when it is
// already playing), runs "main" and, for joining, the "connect" submenu with the
// host and port prompts. Returns where to go next: Next::main_menu to show it
// again, Next::exit to end the game (Exit, a missing menu file, or an item
// number beyond those the game knows).
Next run_main_menu(Game& game, const MainMenuFlows& flows);

// Shows the main menu again and again until a visit says Next::exit.
void run_main_menu_loop(Game& game, const MainMenuFlows& flows);

}  // namespace tornello
