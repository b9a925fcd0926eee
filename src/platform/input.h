// Polled input as the game sees it: a keyboard snapshot per pass with the
// held/released rules, the mouse's motion per examine, and game controllers.
// The raw readings come from the Platform; the rules here are platform-free.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace tornello {

class Keyboard {
 public:
  bool init(Platform& platform);
  // Takes a new snapshot. On failure (no focus) every key answers 0 until a
  // later examine succeeds, and the seen-held flags are left alone.
  bool examine(Platform& platform);
  // Nonzero while the key is held in the latest snapshot.
  bool key_down(KeyCode code) const;
  // True once when a key that an earlier call saw held is up now.
  bool key_released(KeyCode code);

 private:
  bool created_ = false;
  bool acquired_ = false;
  KeyboardSnapshot snapshot_;
  uint8_t seen_held_[256] = {};
};

class Mouse {
 public:
  bool init(Platform& platform);
  // Reads the motion since the previous examine; the sums cover this examine only.
  bool examine(Platform& platform);
  int32_t delta_x() const { return reading_.delta_x; }
  bool button(int number) const;  // 1 = left, 2 = right, 3 = middle

 private:
  bool created_ = false;
  MouseReading reading_;
};

class Joysticks {
 public:
  int init(Platform& platform);
  bool examine(Platform& platform, int index);
  int axis_x(int index) const;               // -1, 0 or 1
  bool button(int index, int number) const;  // number from 1

 private:
  static constexpr int max_controllers = 4;
  int count_ = 0;
  JoystickReading last_[max_controllers];
};

}  // namespace tornello
