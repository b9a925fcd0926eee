#include "shell/start_up.h"

namespace tornello {

namespace {
constexpr int title_screen_entry = 20;
}  // namespace

void show_title_screen(Game& game) {
  speak_line(game, text(game, title_screen_entry));
  do {
    game.keyboard.examine(game.platform);
    game.platform.pump_events(1);
    game.platform.delay_ms(16);
  } while (!game.keyboard.key_released(key::enter));
}

int shut_down(Game& game) {
  game.platform.close();
  return 0;
}

int start_up(Game& game, const CommandLine& command_line) {
  // No result is tested: a missing device only silences what needs it.
  game.keyboard.init(game.platform);
  game.mouse.init(game.platform);
  game.joysticks.init(game.platform);

  game.platform.open_window("Tornello");

  if (command_line.language) game.settings.language = *command_line.language;
  if (!game.language.load(game.files, game.settings.language)) {
    speak_line(game, "Language file not found!");
    return shut_down(game);
  }

  show_title_screen(game);
  return shut_down(game);
}

}  // namespace tornello
