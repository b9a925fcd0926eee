#include "platform/input.h"

namespace tornello {

bool Keyboard::init(Platform& platform) {
  created_ = platform.init_keyboard();
  return created_;
}

bool Keyboard::examine(Platform& platform) {
  if (!created_) return false;
  // Counted as acquired whatever the answer; a failed read sets it back.
  acquired_ = true;
  if (!platform.read_keyboard(snapshot_)) {
    acquired_ = false;
    return false;
  }
  return true;
}

bool Keyboard::key_down(KeyCode code) const {
  return acquired_ && (snapshot_.keys[code] & 0x80) != 0;
}

bool Keyboard::key_released(KeyCode code) {
  if (!acquired_) return false;
  if (snapshot_.keys[code] & 0x80) {
    seen_held_[code] = 1;
    return false;
  }
  if (seen_held_[code]) {
    seen_held_[code] = 0;
    return true;
  }
  return false;
}

bool Mouse::init(Platform& platform) {
  created_ = platform.init_mouse();
  return created_;
}

bool Mouse::examine(Platform& platform) {
  reading_.delta_x = 0;
  reading_.delta_y = 0;
  if (!created_) return false;
  MouseReading fresh;
  if (!platform.read_mouse(fresh)) return false;  // button flags stay as last read
  reading_ = fresh;
  return true;
}

bool Mouse::button(int number) const {
  if (number < 1 || number > 3) return false;
  return reading_.buttons[number - 1];
}

int Joysticks::init(Platform& platform) {
  int opened = platform.init_joysticks();
  count_ = opened < 0 ? 0 : (opened > max_controllers ? max_controllers : opened);
  return count_;
}

bool Joysticks::examine(Platform& platform, int index) {
  if (index < 0 || index >= count_) return false;
  JoystickReading fresh;
  if (!platform.read_joystick(index, fresh)) return false;  // keeps its last reading
  last_[index] = fresh;
  return true;
}

int Joysticks::axis_x(int index) const {
  if (index < 0 || index >= count_) return 0;
  if (last_[index].x < -500) return -1;
  if (last_[index].x > 500) return 1;
  return 0;
}

bool Joysticks::button(int index, int number) const {
  if (index < 0 || index >= count_ || number < 1 || number > 32) return false;
  return (last_[index].buttons[number - 1] & 0x80) != 0;
}

}  // namespace tornello
