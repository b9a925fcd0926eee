#include "session/bot.h"

#include <cstdio>
#include <string>

#include "session/autopilot.h"
#include "shell/start_up.h"
#include "shell/text_entries.h"

namespace tornello {

namespace {

// Good enough for a rally, beatable by a person.
constexpr int32_t bot_skill = 80;

enum MainItem { host_item = 1, connect_item = 2 };
enum ConnectItem { address_item = 1, port_item = 2, join_item = 3 };
constexpr int short_game_item = 1;

// What the bot does next, decided each time its script runs out: the title
// screen, a round of hosting or joining, the character, and leaving.
class BotPlan {
 public:
  BotPlan(Game& game, const BotOptions& options) : game_(game), options_(options) {}

  void hear(const std::string& line) {
    if (mentions_entry(game_, line, entry::cannot_open_port)) port_unavailable_ = true;
  }

  void next(Autopilot& pilot) {
    switch (phase_) {
      case Phase::title_screen:
        pilot.when_heard_entry(entry::title_screen).tap(key::enter);
        phase_ = Phase::main_menu;
        break;
      case Phase::main_menu:
        start_round(pilot);
        break;
      case Phase::connecting:
        if (game_.music.current_name == selection_track) {
          pilot.choose_any_character();
          // A joining bot plays one match; a hosting one waits for the next guest.
          if (options_.hosts) {
            phase_ = Phase::main_menu;
          } else {
            leave(pilot);
          }
        } else if (options_.hosts && !port_unavailable_) {
          start_round(pilot);  // a guest that failed the handshake: wait for the next
        } else {
          leave(pilot);  // nobody to play with
        }
        break;
      case Phase::leaving:
        break;
    }
  }

 private:
  enum class Phase { title_screen, main_menu, connecting, leaving };
  static constexpr const char* selection_track = "Charselect";
  static constexpr const char* menu_track = "Menu";

  void start_round(Autopilot& pilot) {
    const std::string port = std::to_string(options_.port);
    pilot.when_heard_menu("main");
    if (options_.hosts) {
      pilot.answer_with(port).choose(host_item);
      pilot.when_heard_menu("gamemode").choose(short_game_item);
    } else {
      // Only the menus read keys until the connection is tried, so the whole walk
      // follows one cue (the connect menu's title may also be a main menu item).
      pilot.choose(connect_item);
      pilot.answer_with(options_.host).choose(address_item);
      pilot.answer_with(port).choose(port_item);
      pilot.choose(join_item);
    }
    // The selection track starts (the other player is there), or the main menu's
    // comes back (the connection failed or the other player was turned away).
    pilot.when([this] {
      const std::string& track = game_.music.current_name;
      return track == selection_track || track == menu_track;
    });
    phase_ = Phase::connecting;
  }

  void leave(Autopilot& pilot) {
    pilot.when_heard_menu("main").choose_last();
    phase_ = Phase::leaving;
  }

  Game& game_;
  const BotOptions options_;
  Phase phase_ = Phase::title_screen;
  bool port_unavailable_ = false;
};

}  // namespace

int run_bot(const CommandLine& command_line) {
  const BotOptions& options = *command_line.bot;
  ListeningPlatform platform(HeadlessPlatform::Clock::real_time);
  platform.set_echo(true);
  // A hosting bot may run for days: keep no log of what it said.
  platform.keep_log = false;
  Game game(platform);
  Autopilot pilot(game, platform.seed_source(), bot_skill);
  BotPlan plan(game, options);
  pilot.attach(platform);
  platform.on_title = [&pilot, &plan](const std::string& line) {
    plan.hear(line);
    pilot.hear(line);
  };
  pilot.on_empty = [&plan](Autopilot& p) { plan.next(p); };

  if (options.hosts) {
    std::printf("Practice bot: hosting on port %d. Ctrl+C ends it.\n", options.port);
  } else {
    std::printf("Practice bot: joining %s on port %d.\n", options.host.c_str(), options.port);
  }
  std::fflush(stdout);
  return start_up(game, command_line);
}

}  // namespace tornello
