#include "shell/main_menu.h"

#include <string>

#include "net/parse_int.h"
#include "shell/menu.h"

namespace tornello {

namespace {

enum MainItem { host_item = 1, connect_item = 2, exit_item = 3 };
enum ConnectItem { host_address_item = 1, port_item = 2, join_item = 3, back_item = 4 };

// The connect submenu, until it leads somewhere else. The prompts' answers are
// kept as typed: a cancelled prompt leaves an empty host or a port of 0, and
// a bad value shows only when joining tries to use it.
Next run_connect_menu(Game& game, const MainMenuFlows& flows) {
  for (;;) {
    std::optional<int> item = run_menu(game, "connect");
    if (!item) return Next::exit;
    switch (*item) {
      case host_address_item:
        game.settings.host =
            game.platform.ask_text("Host", "Enter host address to connect to", game.settings.host);
        break;
      case port_item:
        // The low 32 bits, as a signed number; no range check here.
        game.settings.port = static_cast<int32_t>(parse_int(game.platform.ask_text(
            "Port", "Enter port to connect on", std::to_string(game.settings.port))));
        break;
      case join_item:
        return flows.join_game(game);
      case back_item:
        return Next::main_menu;
      default:
        return Next::exit;
    }
  }
}

}  // namespace

Next run_main_menu(Game& game, const MainMenuFlows& flows) {
  play_music(game, "Menu", true);
  std::optional<int> item = run_menu(game, "main");
  if (!item) return Next::exit;
  switch (*item) {
    case host_item:
      return flows.host_game(game);
    case connect_item:
      return run_connect_menu(game, flows);
    case exit_item:
    default:
      return Next::exit;
  }
}

void run_main_menu_loop(Game& game, const MainMenuFlows& flows) {
  while (run_main_menu(game, flows) == Next::main_menu) {
  }
}

}  // namespace tornello
