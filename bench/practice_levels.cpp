// How the practice levels play: short games against the computer at each
// level, from the main menu to the result, on virtual clocks, by three
// simulated players: one in a first match, a new player who goes for fewer
// balls and reacts later than the computer at Normal, and a practised one as
// quick and as keen as the computer at Hard. Prints each one's share of
// matches won and of points won per level.
// TORNELLO_MATCHES sets the matches per pairing (default 20).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "session/autopilot.h"
#include "session/practice.h"
#include "shell/start_up.h"
#include "shell/text_entries.h"
#include "support/paced_clocks.h"
#include "support/temp_dir.h"

namespace tornello {
namespace {

struct SimulatedPlayer {
  const char* name;
  int32_t skill;
  int32_t reaction_passes;
};

struct Outcome {
  bool won = false;
  int points_won = 0;
  int points_lost = 0;
};

Outcome play_practice(const SimulatedPlayer& player, PracticeLevel level, uint32_t seed) {
  PacedClocks paced;
  ListeningPlatform platform;
  platform.set_seed(seed);
  Game game(platform);
  game.random.seed(seed);
  Autopilot pilot(game, seed * 7919u, player.skill, player.reaction_passes);
  pilot.attach(platform);
  platform.keep_log = false;
  platform.on_pump = [&] { paced.tick(0, platform.elapsed_ms()); };
  Outcome outcome;
  platform.on_title = [&](const std::string& line) {
    pilot.hear(line);
    if (line == text(game, entry::won)) outcome.won = true;
    if (line == text(game, entry::won) || line == text(game, entry::lost)) {
      outcome.points_won = game.match.me.score;
      outcome.points_lost = game.match.opponent.score;
    }
  };
  // The computer's game on a virtual clock of its own, kept in step with the player's.
  const PracticeSetup setup{HeadlessPlatform::Clock::virtual_time,
                            [&paced](ListeningPlatform& computer, Autopilot&) {
                              computer.on_pump = [&paced, &computer] {
                                paced.tick(1, computer.elapsed_ms());
                              };
                            },
                            [&paced] { paced.finished(1); }};
  MainMenuFlows flows;
  flows.practise = [&setup](Game& g) { return practise(g, setup); };
  pilot.when_heard_entry(entry::title_screen).tap(key::enter);
  pilot.when_heard_menu("main").choose(3);
  pilot.when_heard_menu("gamemode").choose(1);
  pilot.when_heard_entry(entry::choose_level).choose(static_cast<int>(level));
  pilot.when_music("Charselect").choose_any_character();
  pilot.when_heard_menu("main").choose_last();
  start_up(game, CommandLine{}, flows);
  return outcome;
}

}  // namespace
}  // namespace tornello

int main() {
  using namespace tornello;
  const char* count = std::getenv("TORNELLO_MATCHES");
  const int matches = count != nullptr ? std::max(1, std::atoi(count)) : 20;
  // The game's own language and menu files; without sounds, as the computer plays.
  WorkingDirectory data(std::string(TORNELLO_SOURCE_DIR) + "/data");
  const SimulatedPlayer players[] = {{"first match (goes for 45%, reacts after 40 frames)", 45, 40},
                                     {"new player (60%, 30 frames)", 60, 30},
                                     {"practised player (85%, 12 frames)", 85, 12}};
  const std::pair<PracticeLevel, const char*> levels[] = {{PracticeLevel::easy, "Easy"},
                                                          {PracticeLevel::normal, "Normal"},
                                                          {PracticeLevel::hard, "Hard"}};
  std::printf("Short games against the computer, %d per pairing:\n", matches);
  for (const SimulatedPlayer& player : players) {
    for (const auto& [level, name] : levels) {
      int won = 0, points_won = 0, points = 0;
      for (int match = 0; match < matches; ++match) {
        const Outcome outcome = play_practice(player, level, 1000u + static_cast<uint32_t>(match));
        won += outcome.won;
        points_won += outcome.points_won;
        points += outcome.points_won + outcome.points_lost;
      }
      std::printf("  %-52s %-6s matches won %3d%%, points won %3d%%\n", player.name, name,
                  100 * won / matches, points > 0 ? 100 * points_won / points : 0);
      std::fflush(stdout);
    }
  }
  return 0;
}
