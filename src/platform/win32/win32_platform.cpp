#include "platform/win32/win32_platform.h"

#include <windows.h>
// After windows.h: timeBeginPeriod and timeGetTime.
#include <mmsystem.h>

#include <algorithm>
#include <array>

#include "platform/random.h"
#include "platform/win32/direct_input.h"
#include "platform/win32/direct_sound.h"
#include "platform/win32/main_window.h"
#include "platform/win32/text_dialog.h"

namespace tornello {

namespace {

class Win32Platform : public Platform {
 public:
  Win32Platform() {
    // Waits of 1 ms and a clock that moves every millisecond. The default tick of
    // about 16 ms would stretch every frame to two ticks, so a Windows player's
    // ball would fly at half the pace of a Linux player's in the same match.
    timeBeginPeriod(1);
  }
  ~Win32Platform() override {
    close();
    timeEndPeriod(1);
  }

  bool open_window(const std::string& title) override { return window_.open(title); }
  void set_title(const std::string& text) override { window_.set_title(text); }
  int pump_events(int timeout_ms) override { return window_.pump(timeout_ms); }
  bool wait_for_input(int32_t max_ms) override;
  // The title is what NVDA and JAWS read; there is no second speech path.
  void speak(const std::string&, LineKind) override {}
  uint32_t elapsed_ms() override { return timeGetTime(); }
  uint32_t seed_source() override { return GetCurrentThreadId() ^ wall_clock_seed(); }

  bool init_keyboard() override { return input_.init_keyboard(); }
  bool read_keyboard(KeyboardSnapshot& out) override;
  bool init_mouse() override { return input_.init_mouse(); }
  bool read_mouse(MouseReading& out) override { return input_.read_mouse(window_.handle(), out); }
  int init_joysticks() override { return input_.init_joysticks(); }
  bool read_joystick(int index, JoystickReading& out) override {
    return input_.read_joystick(index, out);
  }

  AudioDevice& audio() override { return sound_; }

  std::string ask_text(const std::string& title, const std::string& prompt,
                       const std::string& default_text) override;

  void close() override {
    sound_.close();
    input_.close();
    window_.close();
  }

 private:
  MainWindow window_;
  DirectInput input_;
  DirectSoundDevice sound_;
  // Keys that must be seen up before they count: the Enter that confirmed a
  // prompt is still held when the game's window takes the focus back.
  std::array<bool, 256> hidden_{};
  // Presses seen in the snapshots, and which keys the last one showed held.
  std::array<uint32_t, 256> presses_seen_{};
  std::array<bool, 256> was_held_{};
};

bool Win32Platform::read_keyboard(KeyboardSnapshot& out) {
  KeyboardSnapshot fresh;
  if (!input_.read_keyboard(window_.handle(), fresh)) return false;
  fold_keypad(fresh, (GetKeyState(VK_NUMLOCK) & 1) != 0);
  for (size_t code = 0; code < hidden_.size(); ++code) {
    // The state is only this moment's: a press the window was told of, but
    // that no look has seen, is shown once even if the key is up again.
    const bool held = (fresh.keys[code] & 0x80) != 0;
    if (held && !was_held_[code]) ++presses_seen_[code];
    if (!held && window_.presses()[code] > presses_seen_[code]) {
      presses_seen_[code] = window_.presses()[code];
      fresh.keys[code] |= 0x80;
    }
    was_held_[code] = (fresh.keys[code] & 0x80) != 0;
    if ((fresh.keys[code] & 0x80) == 0) {
      hidden_[code] = false;
    } else if (hidden_[code]) {
      fresh.keys[code] = 0;
    }
  }
  out = fresh;
  return true;
}

bool Win32Platform::wait_for_input(int32_t max_ms) {
  const uint32_t until = elapsed_ms() + static_cast<uint32_t>(std::max(max_ms, 0));
  HANDLE keys = input_.keyboard_changed();
  const DWORD objects = keys ? 1 : 0;
  for (;;) {
    if (window_.pump(0) != 0) return true;
    const int32_t left = ms_between(elapsed_ms(), until);
    if (left <= 0) return false;
    // Wakes for the keyboard's new state and for any message to the window; a
    // message that only needed handling inside the peek goes back to waiting.
    const DWORD woke = MsgWaitForMultipleObjectsEx(objects, &keys, static_cast<DWORD>(left),
                                                   QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (keys && woke == WAIT_OBJECT_0) return true;
    if (woke == WAIT_FAILED) return false;
  }
}

std::string Win32Platform::ask_text(const std::string& title, const std::string& prompt,
                                    const std::string& default_text) {
  // The title is read out as the dialog opens, before the screen reader reads
  // the dialog itself.
  set_title(prompt_line(title, prompt, default_text));
  // The pointer must be free to reach the dialog.
  input_.release_mouse();
  std::string answer = ask_text_dialog(title, prompt, default_text);
  if (HWND window = window_.handle()) SetForegroundWindow(window);
  hidden_.fill(true);
  return answer;
}

}  // namespace

std::unique_ptr<Platform> create_win32_platform() {
  return std::make_unique<Win32Platform>();
}

}  // namespace tornello
