#include "shell/start_up.h"

#include "session/session.h"
#include "shell/main_menu.h"
#include "shell/screen_keys.h"
#include "shell/settings_screen.h"
#include "shell/text_entries.h"

namespace tornello {

namespace {

constexpr const char* fallback_language = "EN";

// The settings kept from the last run, then what the command line says for this
// run only. Returns whether the kept settings had to be reset.
bool take_settings(Game& game, const CommandLine& command_line) {
  SettingsFile& file = game.settings_file;
  file.path = command_line.settings_path;
  const bool reset = read_settings(file, game.settings) == SettingsRead::reset;
  game.settings.host = game.settings.last_host;
  if (command_line.language) {
    game.settings.language = *command_line.language;
    file.language_from_command_line = true;
  }
  if (!command_line.speech) {
    game.settings.speech = false;
    file.speech_from_command_line = true;
  }
  if (command_line.upnp) {
    game.settings.open_router_port = true;
    file.router_from_command_line = true;
  }
  return reset;
}

// The language of the settings, or English when the one kept in the settings
// file is gone (a language typed on the command line is taken as it is).
bool load_language(Game& game, const CommandLine& command_line) {
  if (game.language.load(game.files, game.settings.language)) return true;
  if (command_line.language || game.settings.language == fallback_language) return false;
  game.settings.language = fallback_language;
  return game.language.load(game.files, game.settings.language);
}

}  // namespace

void show_title_screen(Game& game) {
  // At full level until the player has chosen a music level.
  play_music(game, "title", game.settings.music_level_chosen);
  speak_line(game, text(game, entry::title_screen));
  for (;;) {
    game.keyboard.examine(game.platform);
    answer_common_keys(game, entry::help_title);
    if (game.keyboard.key_released(key::enter)) break;
    game.platform.wait_for_input(idle_wait_ms);
  }
}

int shut_down(Game& game) {
  game.transport.net_stop();
  game.sound.free_all();
  game.platform.close();
  return 0;
}

int start_up(Game& game, const CommandLine& command_line) {
  return start_up(game, command_line, network_flows());
}

int start_up(Game& game, const CommandLine& command_line, const MainMenuFlows& flows) {
  // No result is tested: a missing device only silences what needs it.
  game.transport.net_start();
  game.sound.init(game.platform.audio());
  game.keyboard.init(game.platform);
  game.mouse.init(game.platform);
  game.joysticks.init(game.platform);

  game.platform.open_window("Tornello");

  const bool settings_reset = take_settings(game, command_line);
  if (!load_language(game, command_line)) {
    tell_fatal(game, "Language file not found!");
    return shut_down(game);
  }
  apply_settings(game);
  if (settings_reset) speak_line(game, text(game, entry::settings_reset));

  // Loading takes as long as the disk does; the player hears why first.
  speak_line(game, text(game, entry::loading));
  load_sound_bank(game.bank, game.sound, game.files, game.settings.goal_sound_count);

  show_title_screen(game);
  run_main_menu_loop(game, flows);
  return shut_down(game);
}

}  // namespace tornello
