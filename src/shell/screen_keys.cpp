#include "shell/screen_keys.h"

#include <algorithm>
#include <string>

#include "shell/menu.h"
#include "shell/text_entries.h"

namespace tornello {

namespace {

enum class Edge { none, pressed, released };

// A level key steps when pressed and tells the level when let go.
Edge key_edge(Game& game, KeyCode code) {
  if (game.keyboard.key_released(code)) {
    game.key_latches[code] = 0;
    return Edge::released;
  }
  return key_pressed_once(game, code) ? Edge::pressed : Edge::none;
}

// One level's pair of keys. Returns whether a key of it was let go.
bool answer_level_keys(Game& game, KeyCode down, KeyCode up, void (*step)(Game&, bool)) {
  const Edge lower = key_edge(game, down);
  const Edge raise = key_edge(game, up);
  if (lower == Edge::pressed) step(game, false);
  if (raise == Edge::pressed) step(game, true);
  return lower == Edge::released || raise == Edge::released;
}

void step_sounds(Game& game, bool up) {
  game.settings.sound_volume = level_step(game.settings.sound_volume, up);
  apply_levels(game);
}

void step_music(Game& game, bool up) {
  GameSettings& settings = game.settings;
  const int32_t level = level_step(applied_music_level(settings.music_volume), up);
  settings.music_volume = static_cast<float>(level);
  settings.music_level_chosen = true;
  apply_levels(game);
}

}  // namespace

int32_t level_step(int32_t level, bool up) {
  level = std::clamp(level, 0, 100);
  // From the multiple of 10 at or past the level in the other direction.
  const int32_t from = up ? level / 10 * 10 : (level + 9) / 10 * 10;
  return std::clamp(from + (up ? 10 : -10), 0, 100);
}

void apply_levels(Game& game) {
  game.sound.set_sound_level(game.settings.sound_volume);
  if (game.settings.music_level_chosen) {
    game.sound.set_volume(game.music.current, applied_music_level(game.settings.music_volume));
  }
}

std::string level_line(const Game& game, int name_entry, int32_t level) {
  return text(game, name_entry) + " " + std::to_string(std::clamp(level, 0, 100)) + " " +
         text(game, entry::percent);
}

void answer_common_keys(Game& game, int help_entry) {
  if (key_pressed_once(game, key::f1)) {
    speak_line(game, text(game, help_entry) + " " + text(game, entry::help_common),
               LineKind::answer);
  }
  if (key_pressed_once(game, key::f2)) {
    // A copy: speaking it sets the last line again.
    const std::string line = game.last_line;
    speak_line(game, line, LineKind::answer);
  }
  if (answer_level_keys(game, key::f5, key::f6, step_sounds)) {
    speak_line(game, level_line(game, entry::sounds, game.settings.sound_volume), LineKind::answer);
    save_settings(game);
  }
  if (answer_level_keys(game, key::page_down, key::page_up, step_music)) {
    const int32_t level = applied_music_level(game.settings.music_volume);
    speak_line(game, level_line(game, entry::music, level), LineKind::answer);
    save_settings(game);
  }
}

}  // namespace tornello
