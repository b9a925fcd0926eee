#include "session/practice.h"

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "match/match.h"
#include "session/autopilot.h"
#include "session/session.h"
#include "shell/menu.h"
#include "shell/text_entries.h"

namespace tornello {

namespace {

// The computer ends by itself when the player's game says goodbye or its own
// match ends. One still playing after this long (a goodbye lost with a
// connection reset, which the guest's side cannot tell from silence) is told to
// leave as a player would, with Escape.
constexpr int32_t opponent_grace_ms = 3000;
// A failure line stays up this long before the main menu replaces it.
constexpr int32_t failure_pause_ms = 1000;

MenuFile level_menu(const Game& game) {
  return MenuFile{text(game, entry::choose_level),
                  {text(game, entry::easy), text(game, entry::normal), text(game, entry::hard)}};
}

// What the computer's game takes from the player's: the port to join, the
// language (its autopilot hears the result of the match in it) and the
// handshake word.
struct OpponentTerms {
  uint16_t port = 0;
  PracticeSkill skill{};
  uint32_t seed = 0;        // its game's draws (bonuses, speeds)
  uint32_t pilot_seed = 0;  // its autopilot's (which balls it goes for)
  uint32_t start_ms = 0;    // its clock starts where the player's stands
  LanguageTable language;
  std::string language_code;
  std::string handshake_word;
};

// The computer's game on a thread of its own. It holds no sound: its engine is
// never opened, so nothing is loaded, and it keeps no log of its lines.
class PracticeOpponent {
 public:
  PracticeOpponent(OpponentTerms terms, const PracticeSetup& setup)
      : setup_(setup), thread_([this, terms = std::move(terms)] { run(terms); }) {}
  ~PracticeOpponent() {
    leave_ = true;
    if (thread_.joinable()) thread_.join();
  }
  PracticeOpponent(const PracticeOpponent&) = delete;
  PracticeOpponent& operator=(const PracticeOpponent&) = delete;

  // Serves the player's window until the computer's game has ended.
  void wait_for_end(Game& player) {
    const uint32_t since = player.platform.elapsed_ms();
    while (!ended_) {
      if (ms_between(since, player.platform.elapsed_ms()) > opponent_grace_ms) leave_ = true;
      player.platform.pump_events(1);
    }
    thread_.join();
  }

 private:
  void run(const OpponentTerms& terms) {
    ListeningPlatform platform(setup_.clock, terms.start_ms);
    platform.keep_log = false;
    Game game(platform);
    game.random.seed(terms.seed);
    game.language = terms.language;
    game.settings.language = terms.language_code;
    game.settings.handshake_word = terms.handshake_word;
    game.settings.host = "127.0.0.1";
    game.settings.port = terms.port;
    game.transport.net_start();
    game.keyboard.init(platform);
    game.mouse.init(platform);
    game.joysticks.init(platform);

    Autopilot pilot(game, terms.pilot_seed, terms.skill.skill, terms.skill.reaction_passes);
    pilot.attach(platform);
    pilot.when_music("Charselect").choose_any_character();
    pilot.on_empty = [this](Autopilot& keys) {
      if (leave_) keys.tap(key::escape);
    };
    if (setup_.opponent_starts) setup_.opponent_starts(platform, pilot);

    join_game(game);
    game.transport.net_stop();
    if (setup_.opponent_ended) setup_.opponent_ended();
    ended_ = true;
  }

  const PracticeSetup setup_;
  std::atomic<bool> leave_{false};
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

}  // namespace

PracticeSkill practice_skill(PracticeLevel level) {
  switch (level) {
    case PracticeLevel::easy:
      return {40, 45};
    case PracticeLevel::normal:
      return {70, 24};
    case PracticeLevel::hard:
      break;
  }
  return {85, Autopilot::person_reaction_passes};
}

Next practise(Game& game, const PracticeSetup& setup) {
  const std::optional<int> mode = run_menu(game, "gamemode");
  if (!mode) return Next::exit;  // a missing menu file ends the game, as hosting does
  const int level = run_menu(game, level_menu(game));

  MatchState& match = game.match;
  match.role = PeerRole::host;
  match.game_mode = *mode;
  play_music(game, "connection", true);
  if (!game.transport.open_server(host_server_id, 0, Transport::Reach::this_computer)) {
    speak_line(game, text(game, entry::cannot_open_port));
    game.platform.delay_ms(failure_pause_ms);
    return Next::main_menu;
  }

  OpponentTerms terms;
  terms.port = game.transport.server_port(host_server_id);
  terms.skill = practice_skill(static_cast<PracticeLevel>(level));
  terms.seed = game.random.step();
  terms.pilot_seed = game.random.step();
  terms.start_ms = game.platform.elapsed_ms();
  terms.language = game.language;
  terms.language_code = game.settings.language;
  terms.handshake_word = game.settings.handshake_word;
  PracticeOpponent opponent(std::move(terms), setup);
  // Nobody else is told where to find this game, nor asked to forward its port.
  speak_line(game, text(game, entry::waiting_for_guest));
  const Next next = play_hosted_match(game, nullptr);
  opponent.wait_for_end(game);
  return next;
}

}  // namespace tornello
