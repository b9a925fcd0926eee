// SDL's input readings turned into the game's: scancodes into key codes of the
// DirectInput numbering, controller axes into -1000..1000, and the keyboard state
// into a snapshot, with keys hidden after a prompt until they are seen up.
#pragma once

#include <SDL2/SDL_scancode.h>

#include <array>
#include <cstdint>

#include "platform/platform.h"

namespace tornello {

// The game's key code for an SDL scancode; 0 for keys with no code.
KeyCode key_code_from_scancode(SDL_Scancode scancode);

// SDL's axis range -32768..32767 mapped evenly onto -1000..1000, 0 staying 0.
int32_t scale_axis(int16_t value);

class KeySnapshotter {
 public:
  // Hides every key until a reading shows it up. After a prompt, the key that
  // answered it (still held, or released elsewhere and seen held again when the
  // window takes the focus back) must not reach the game as a fresh press.
  void hide_held_keys() { hidden_.fill(true); }

  // Builds the snapshot from SDL's state array (indexed by scancode), the keypad
  // folded onto the keys it stands for (fold_keypad).
  void fill(const uint8_t* state, int count, bool num_lock, KeyboardSnapshot& out);

 private:
  std::array<bool, SDL_NUM_SCANCODES> hidden_{};
};

}  // namespace tornello
