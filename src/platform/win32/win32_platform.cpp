#include "platform/win32/win32_platform.h"

#include <windows.h>
// After windows.h: timeBeginPeriod and timeGetTime.
#include <mmsystem.h>

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
};

bool Win32Platform::read_keyboard(KeyboardSnapshot& out) {
  KeyboardSnapshot fresh;
  if (!input_.read_keyboard(window_.handle(), fresh)) return false;
  fold_keypad(fresh, (GetKeyState(VK_NUMLOCK) & 1) != 0);
  for (size_t code = 0; code < hidden_.size(); ++code) {
    if ((fresh.keys[code] & 0x80) == 0) {
      hidden_[code] = false;
    } else if (hidden_[code]) {
      fresh.keys[code] = 0;
    }
  }
  out = fresh;
  return true;
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
