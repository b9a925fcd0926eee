#include "shell/settings_screen.h"

#include <algorithm>

#include "platform/file_lookup.h"
#include "platform/line_reader.h"
#include "shell/menu.h"
#include "shell/screen_keys.h"
#include "shell/text_entries.h"

namespace tornello {

namespace {

enum Item { sounds_item, music_item, speech_item, language_item, router_item, back_item, items };

constexpr std::string_view language_suffix = ".lng";

bool same_code(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// Line `entry` of a language file itself: a file too short to name its language
// must not borrow the built-in English name.
std::string line_of(const std::string& path, int entry) {
  std::unique_ptr<LineReader> reader = LineReader::open_for_reading(path);
  if (!reader) return "";
  for (int n = 1; n < entry && !reader->at_end(); ++n) reader->read_line();
  return reader->at_end() ? "" : reader->read_line();
}

struct SettingsScreen {
  Game& game;
  std::vector<LanguageChoice> languages;

  std::string on_off(bool on) const { return text(game, on ? entry::on : entry::off); }

  std::string language_name() const {
    for (const LanguageChoice& choice : languages) {
      if (same_code(choice.code, game.settings.language)) return choice.name;
    }
    return game.settings.language;
  }

  std::string line(int item) const {
    const GameSettings& settings = game.settings;
    switch (item) {
      case sounds_item:
        return level_line(game, entry::sounds, settings.sound_volume);
      case music_item:
        return level_line(game, entry::music, applied_music_level(settings.music_volume));
      case speech_item:
        return text(game, entry::speech) + ": " + on_off(settings.speech);
      case language_item:
        return text(game, entry::language) + ": " + language_name();
      case router_item:
        return text(game, entry::open_router_port) + ": " + on_off(settings.open_router_port);
      default:
        return text(game, entry::back);
    }
  }

  // The next language file in the list (or the one before) that loads, loaded
  // at once. From a language not in the list, Right goes to the first, Left to the last.
  bool step_language(bool up) {
    const int count = static_cast<int>(languages.size());
    int at = 0;
    while (at < count && !same_code(languages[at].code, game.settings.language)) ++at;
    for (int tried = 1; tried <= count; ++tried) {
      const int next = at == count ? (up ? tried - 1 : count - tried)
                                   : ((at + (up ? tried : -tried)) % count + count) % count;
      if (next == at) break;
      // Loaded aside: a file that fails to load leaves the table as it was.
      LanguageTable table;
      if (table.load(game.files, languages[next].code)) {
        game.language = std::move(table);
        game.settings.language = languages[next].code;
        game.settings_file.language_from_command_line = false;
        return true;
      }
    }
    return false;
  }

  // One step of the item; false when it has nothing to change.
  bool change(int item, bool up) {
    GameSettings& settings = game.settings;
    switch (item) {
      case sounds_item:
        settings.sound_volume = level_step(settings.sound_volume, up);
        return true;
      case music_item:
        settings.music_volume =
            static_cast<float>(level_step(applied_music_level(settings.music_volume), up));
        settings.music_level_chosen = true;
        return true;
      case speech_item:
        settings.speech = !settings.speech;
        game.settings_file.speech_from_command_line = false;
        return true;
      case language_item:
        return step_language(up);
      case router_item:
        settings.open_router_port = !settings.open_router_port;
        game.settings_file.router_from_command_line = false;
        return true;
      default:
        return false;
    }
  }

  // The new value is heard in the new language and by the speech service as it
  // is turned on; turned off, it is heard out before the service goes quiet.
  void tell_change(int item) {
    const bool heard_first = item == speech_item && !game.settings.speech;
    if (heard_first) speak_line(game, line(item), LineKind::answer);
    apply_settings(game);
    if (!heard_first) speak_line(game, line(item), LineKind::answer);
    save_settings(game);
  }
};

}  // namespace

std::vector<LanguageChoice> find_languages(Game& game) {
  std::vector<LanguageChoice> found;
  for (const std::string& name : game.files.names_in("lang")) {
    if (name.size() <= language_suffix.size()) continue;
    const std::string code = name.substr(0, name.size() - language_suffix.size());
    if (!same_code(name.substr(code.size()), std::string(language_suffix))) continue;
    std::string own_name;
    if (std::optional<std::string> path = game.files.resolve("lang/" + name)) {
      own_name = line_of(*path, entry::language_name);
    }
    found.push_back({code, own_name.empty() ? code : own_name});
  }
  return found;
}

void apply_settings(Game& game) {
  apply_levels(game);
  game.platform.set_speech(game.settings.speech);
  game.platform.set_speech_language(game.settings.language);
  game.platform.set_prompt_help(text(game, entry::help_prompt) + " " +
                                text(game, entry::help_common));
}

Next run_settings(Game& game) {
  MenuSounds sounds(game);
  SettingsScreen screen{game, find_languages(game)};
  speak_line(game, text(game, entry::settings));
  int item = sounds_item;
  speak_line(game, screen.line(item));
  for (;;) {
    game.keyboard.examine(game.platform);
    answer_common_keys(game, entry::help_settings);
    for (const bool forward : {true, false}) {
      if (!key_pressed_once(game, forward ? key::down : key::up)) continue;
      item = (item + (forward ? 1 : items - 1)) % items;
      game.sound.play(sounds.click);
      speak_line(game, screen.line(item), LineKind::answer);
    }
    for (const bool up : {true, false}) {
      if (key_pressed_once(game, up ? key::right : key::left) && screen.change(item, up)) {
        game.sound.play(sounds.click);
        screen.tell_change(item);
      }
    }
    const bool enter = game.keyboard.key_released(key::enter);
    if (key_pressed_once(game, key::escape) || (enter && item == back_item)) {
      game.sound.play(sounds.select);
      return Next::main_menu;
    }
    game.platform.wait_for_input(idle_wait_ms);
  }
}

}  // namespace tornello
