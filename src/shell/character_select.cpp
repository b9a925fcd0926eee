#include "shell/character_select.h"

#include <string>

#include "shell/menu.h"
#include "shell/screen_keys.h"
#include "shell/text_entries.h"

namespace tornello {

namespace {

constexpr int32_t character_count = 5;
constexpr int32_t confirm_pause_ms = 1000;

// The screen's two voices: effects on one handle, speech on the other, each
// replaced (cutting the old one off) by the next sound of its kind.
struct SelectionSounds {
  explicit SelectionSounds(Game& game) : game(game) {}
  ~SelectionSounds() {
    game.sound.free(cue);
    game.sound.free(voice);
  }
  SelectionSounds(const SelectionSounds&) = delete;
  SelectionSounds& operator=(const SelectionSounds&) = delete;

  void replace(SoundHandle& handle, const std::string& path) {
    game.sound.stop(handle);
    game.sound.free(handle);
    handle = game.sound.load(game.files, path);
    game.sound.play(handle);
  }
  void step(int32_t choice) {
    replace(cue, "sounds/CharSelect/CSMove.wav");
    replace(voice, "sounds/charselect/" + std::to_string(choice) + ".wav");
  }

  Game& game;
  SoundHandle cue = 0;
  SoundHandle voice = 0;
};

}  // namespace

int32_t choose_character(Game& game) {
  play_music(game, "Charselect", false);
  SelectionSounds sounds(game);
  sounds.replace(sounds.cue, "sounds/charselect/csenter.wav");
  sounds.replace(sounds.voice, "sounds/charselect/0.wav");

  int32_t choice = 0;
  for (;;) {
    game.keyboard.examine(game.platform);
    answer_common_keys(game, entry::help_character);
    if (key_pressed_once(game, key::left)) {
      choice = choice <= 1 ? character_count : choice - 1;
      sounds.step(choice);
    }
    if (key_pressed_once(game, key::right)) {
      choice = choice >= character_count ? 1 : choice + 1;
      sounds.step(choice);
    }
    if (game.keyboard.key_released(key::enter)) break;
    game.platform.wait_for_input(idle_wait_ms);
  }

  game.sound.free(sounds.voice);
  sounds.voice = 0;
  sounds.replace(sounds.cue, "sounds/CharSelect/CSExit.wav");
  game.platform.delay_ms(confirm_pause_ms);
  return choice;
}

}  // namespace tornello
