#include "session/find_games.h"

#include <random>
#include <string>
#include <vector>

#include "net/lan_discovery.h"
#include "session/session.h"
#include "shell/menu.h"
#include "shell/text_entries.h"

namespace tornello {

namespace {

// "192.168.1.20, port 3214, short game"
std::string game_item(const Game& game, const FoundGame& found) {
  return found.address + ", " + text(game, entry::port) + " " + std::to_string(found.port) + ", " +
         text(game, found.game_mode == 2 ? entry::long_game : entry::short_game);
}

}  // namespace

std::optional<Next> find_games(Game& game) {
  speak_line(game, text(game, entry::searching_games));
  std::vector<FoundGame> games;
  {
    GameSearch search(std::random_device{}(), GameSearch::window_ms);
    while (!search.done()) {
      if (escape_pressed(game)) return std::nullopt;
    }
    games = search.games();
  }
  if (games.empty()) {
    speak_line(game, text(game, entry::no_games_found));
    return std::nullopt;
  }
  const size_t count = games.size();
  speak_line(game, text(game, entry::found) + " " + std::to_string(count) + " " +
                       text(game, count == 1 ? entry::game_found : entry::games_found));

  MenuFile menu;
  menu.title = text(game, entry::games_on_network);
  for (const FoundGame& found : games) menu.items.push_back(game_item(game, found));
  menu.items.push_back(text(game, entry::back));
  const size_t item = static_cast<size_t>(run_menu(game, menu));
  if (item > count) return std::nullopt;
  game.settings.host = games[item - 1].address;
  game.settings.port = games[item - 1].port;
  return join_game(game);
}

}  // namespace tornello
