#include "shell/start_up.h"

#include "session/session.h"
#include "shell/main_menu.h"
#include "shell/text_entries.h"

namespace tornello {

void show_title_screen(Game& game) {
  play_music(game, "title", false);
  speak_line(game, text(game, entry::title_screen));
  do {
    game.keyboard.examine(game.platform);
    game.platform.pump_events(1);
    game.platform.delay_ms(16);
  } while (!game.keyboard.key_released(key::enter));
}

int shut_down(Game& game) {
  game.transport.net_stop();
  game.sound.free_all();
  game.platform.close();
  return 0;
}

int start_up(Game& game, const CommandLine& command_line) {
  // No result is tested: a missing device only silences what needs it.
  game.transport.net_start();
  game.sound.init(game.platform.audio());
  game.keyboard.init(game.platform);
  game.mouse.init(game.platform);
  game.joysticks.init(game.platform);

  game.platform.open_window("Tornello");

  if (command_line.language) game.settings.language = *command_line.language;
  if (!game.language.load(game.files, game.settings.language)) {
    speak_line(game, "Language file not found!");
    return shut_down(game);
  }

  // Loading takes as long as the disk does; the player hears why first.
  speak_line(game, text(game, entry::loading));
  load_sound_bank(game.bank, game.sound, game.files, game.settings.goal_sound_count);

  show_title_screen(game);
  run_main_menu_loop(game, network_flows());
  return shut_down(game);
}

}  // namespace tornello
