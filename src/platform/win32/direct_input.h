// Keyboard, mouse and game controllers through DirectInput 7, loaded from
// DINPUT.DLL when the first device is set up. Every device that cannot be made
// leaves its reads failing, so the game plays on with what it has.
#pragma once

#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0700
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <dinput.h>

#include <array>
#include <vector>

#include "platform/platform.h"

namespace tornello {

class DirectInput {
 public:
  static constexpr int max_controllers = 4;
  static constexpr DWORD mouse_buffer_entries = 24;

  DirectInput() = default;
  ~DirectInput() { close(); }
  DirectInput(const DirectInput&) = delete;
  DirectInput& operator=(const DirectInput&) = delete;

  bool init_keyboard();
  // The snapshot; fails while `window` is not in the foreground. The device is
  // bound to the window again at the next read after a failure.
  bool read_keyboard(HWND window, KeyboardSnapshot& out);
  // Signalled (and reset by the wait that sees it) when the keyboard's state
  // changes, from the first read on; null before it or without a keyboard.
  HANDLE keyboard_changed() const { return keyboard_changed_; }
  bool init_mouse();
  // Motion since the previous read from the buffered device data. While the
  // window is in the foreground the pointer is hidden and kept inside it.
  bool read_mouse(HWND window, MouseReading& out);
  // Shows the pointer again and lets it leave the window.
  void release_mouse();
  int init_joysticks();
  bool read_joystick(int index, JoystickReading& out);
  void close();

 private:
  static BOOL CALLBACK add_controller(LPCDIDEVICEINSTANCEA instance, LPVOID self);
  bool reach_interface();
  IDirectInputDevice7A* create_device(REFGUID guid, const DIDATAFORMAT& format);

  HMODULE library_ = nullptr;
  IDirectInput7A* input_ = nullptr;
  IDirectInputDevice7A* keyboard_ = nullptr;
  bool keyboard_acquired_ = false;
  HANDLE keyboard_changed_ = nullptr;
  IDirectInputDevice7A* mouse_ = nullptr;
  bool mouse_set_up_ = false;
  bool pointer_confined_ = false;
  std::array<bool, 3> mouse_buttons_{};
  std::vector<GUID> found_controllers_;
  std::vector<IDirectInputDevice7A*> controllers_;
};

}  // namespace tornello
