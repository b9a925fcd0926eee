#include "shell/main_menu.h"

#include <string>

#include "net/parse_int.h"
#include "shell/menu.h"

namespace tornello {

namespace {

enum ConnectItem {
  host_address_item = 1,
  port_item = 2,
  join_item = 3,
  back_item = 4,
  find_games_item = 5
};

// The main menu's layouts, by item position: older files have three items.
constexpr MainChoice older_layout[] = {MainChoice::host, MainChoice::join, MainChoice::exit};
constexpr MainChoice layout[] = {MainChoice::host,     MainChoice::join,
                                 MainChoice::practise, MainChoice::learn_sounds,
                                 MainChoice::settings, MainChoice::exit};

// A flow the game was built without shows the menu it came from again.
template <typename Result>
Result run_flow(const std::function<Result(Game&)>& flow, Game& game, Result otherwise) {
  return flow ? flow(game) : otherwise;
}

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
        return run_flow(flows.join_game, game, Next::main_menu);
      case back_item:
        return Next::main_menu;
      case find_games_item:
        if (std::optional<Next> next = run_flow(flows.find_games, game, std::optional<Next>{})) {
          return *next;
        }
        break;
      default:
        return Next::exit;
    }
  }
}

}  // namespace

MainChoice main_menu_choice(int item, int item_count) {
  const auto choose = [item](const auto& table) {
    const int count = static_cast<int>(std::size(table));
    return item >= 1 && item <= count ? table[item - 1] : MainChoice::exit;
  };
  return item_count == static_cast<int>(std::size(older_layout)) ? choose(older_layout)
                                                                 : choose(layout);
}

Next run_main_menu(Game& game, const MainMenuFlows& flows) {
  play_music(game, "Menu", true);
  const std::optional<MenuFile> menu = load_menu(game, "main");
  if (!menu) return Next::exit;
  const int item = run_menu(game, *menu);
  switch (main_menu_choice(item, static_cast<int>(menu->items.size()))) {
    case MainChoice::host:
      return run_flow(flows.host_game, game, Next::main_menu);
    case MainChoice::join:
      return run_connect_menu(game, flows);
    case MainChoice::practise:
      return run_flow(flows.practise, game, Next::main_menu);
    case MainChoice::learn_sounds:
      return run_flow(flows.learn_sounds, game, Next::main_menu);
    case MainChoice::settings:
      return run_flow(flows.settings, game, Next::main_menu);
    case MainChoice::exit:
      break;
  }
  return Next::exit;
}

void run_main_menu_loop(Game& game, const MainMenuFlows& flows) {
  while (run_main_menu(game, flows) == Next::main_menu) {
  }
}

}  // namespace tornello
