// The seam between the game and the operating system. Everything the game needs
// from the desktop (a window whose title carries the spoken lines, the event pump,
// the millisecond clock, raw input readings, audio output, a text prompt, speech)
// is reached through one Platform; nothing above this folder includes a system header.
#pragma once

#include <cstdint>
#include <string>

#include "platform/audio_device.h"
#include "platform/keys.h"
#include "platform/line_kind.h"

namespace tornello {

// One raw reading of the keyboard: bit 7 of keys[code] is set while the key is held.
struct KeyboardSnapshot {
  uint8_t keys[256] = {};
};

// Keypad Enter counts as Enter and, with NumLock off, the keypad's arrows (8, 2,
// 4, 6) and its Page Up / Page Down (9, 3) as the keys they are marked with. Both
// backends call it on every snapshot, so the game knows one key for each.
void fold_keypad(KeyboardSnapshot& snapshot, bool num_lock);

// Motion of the mouse since the previous reading, in device units (not pixels).
struct MouseReading {
  int32_t delta_x = 0;
  int32_t delta_y = 0;
  bool buttons[3] = {false, false, false};  // left, right, middle
};

// One reading of a game controller, axes already scaled to -1000..1000.
struct JoystickReading {
  int32_t x = 0;
  int32_t y = 0;
  uint8_t buttons[32] = {};  // bit 7 set while held
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Window. The title is what a screen reader following the window reads out.
  virtual bool open_window(const std::string& title) = 0;
  virtual void set_title(const std::string& text) = 0;
  // Handles at most one pending window event, waiting up to timeout_ms for one.
  // Returns a nonzero event code when an event was handled, else 0.
  virtual int pump_events(int timeout_ms) = 0;
  // Sleeps until a key, mouse or window event arrives or max_ms have passed (to
  // within the desktop's millisecond), whichever is first, and handles the
  // event; true when one came. Every screen that waits for the player waits
  // here (see below). The headless backend, whose input is read rather than
  // delivered, makes each call one pass of 1 ms, like pump_events(1).
  virtual bool wait_for_input(int32_t max_ms) = 0;

  // Hands a line to the desktop's speech service (besides the title). May be a no-op.
  virtual void speak(const std::string& line, LineKind kind) = 0;
  // Turns the speech service on or off for the rest of the run (the title stays).
  virtual void set_speech(bool /*on*/) {}
  // The language the speech service speaks in: a language file's code, such as "DE".
  virtual void set_speech_language(const std::string& /*code*/) {}

  // The millisecond clock: unsigned, wraps after 2^32 ms.
  virtual uint32_t elapsed_ms() = 0;
  // A number that differs between runs and threads; seeds the random generator.
  virtual uint32_t seed_source() = 0;

  // Input. Each read returns false when no reading could be taken (the window is
  // not focused, or the device is missing); the reading is then left untouched.
  virtual bool init_keyboard() = 0;
  virtual bool read_keyboard(KeyboardSnapshot& out) = 0;
  virtual bool init_mouse() = 0;
  virtual bool read_mouse(MouseReading& out) = 0;
  virtual int init_joysticks() = 0;  // number of controllers opened
  virtual bool read_joystick(int index, JoystickReading& out) = 0;

  // Audio output device; never null (a backend without sound returns one that fails to open).
  virtual AudioDevice& audio() = 0;

  // Modal text prompt. Its title, prompt and default text are spoken as it opens
  // (prompt_line), whichever prompt the backend shows. Returns the typed text, or
  // "" when cancelled.
  virtual std::string ask_text(const std::string& title, const std::string& prompt,
                               const std::string& default_text) = 0;

  // What F1 says in a prompt the game runs itself: the keys of the prompt.
  virtual void set_prompt_help(const std::string& /*help*/) {}

  // Releases every device and the window. Called once at shutdown; the line
  // being spoken is heard to its end first (for at most 3 seconds).
  virtual void close() = 0;

  // Waits until more than ms milliseconds have passed by the clock, serving
  // window events all the while. A wait of 0 still waits for the clock to move.
  // Input does not cut it short: holds and pauses keep their length.
  void delay_ms(int32_t ms);
};

// The line a text prompt opens with: "Port. Enter port number: 3214".
std::string prompt_line(const std::string& title, const std::string& prompt,
                        const std::string& default_text);

// How a screen waits for the player. Each pass reads the keys, acts on them, and
// then sleeps until the next key or the screen's next piece of work, whichever
// is first:
//
//   for (;;) {
//     game.keyboard.examine(game.platform);
//     if (...a key ended the screen...) break;
//     game.platform.wait_for_input(idle_wait_ms);
//   }
//
// Pass idle_wait_ms when nothing else is due, network_wait_ms when the screen
// also reads the network (its sockets are looked at once a frame), or the time
// until its next timed step. A key acts as soon as its event arrives, and a
// screen left alone costs next to nothing. A fixed pause is delay_ms, never a
// loop of short waits. The match alone keeps its own frame of pump_events(1)
// and delay_ms(16).

// A screen with nothing else due still looks at its keys this often.
inline constexpr int32_t idle_wait_ms = 250;
// A screen that also reads the network looks at it at least this often.
inline constexpr int32_t network_wait_ms = 16;

// Signed difference later - earlier, correct across the clock's wrap for
// intervals below 2^31 ms.
inline int32_t ms_between(uint32_t earlier, uint32_t later) {
  return static_cast<int32_t>(later - earlier);
}

}  // namespace tornello
