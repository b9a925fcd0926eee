// A platform with no window and no devices, for tests and bots. Its clock is
// either virtual (it moves only when the game waits, one millisecond per
// pump_events(1) or wait_for_input) or the real monotonic clock. Input comes
// from an InputSource; every title is logged, so a test reads exactly what a
// player would have heard.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tornello {

// Where the headless game's input comes from. Each read is one pass of a game loop.
class InputSource {
 public:
  virtual ~InputSource() = default;
  virtual void keyboard(KeyboardSnapshot& out) = 0;
  virtual void mouse(MouseReading& out) { out = MouseReading{}; }
  virtual void joystick(int /*index*/, JoystickReading& out) { out = JoystickReading{}; }
  // The answer to a text prompt; nothing means the prompt was cancelled.
  virtual std::optional<std::string> answer(const std::string& title, const std::string& prompt,
                                            const std::string& default_text) = 0;
};

// A keyboard script: "hold Enter for 3 passes, then release". Once the script
// has run out every key is up and every prompt is cancelled.
class ScriptedInput : public InputSource {
 public:
  ScriptedInput& hold(std::initializer_list<KeyCode> keys, int passes = 1);
  ScriptedInput& idle(int passes = 1);
  // Press and release: held for one pass, up for the next.
  ScriptedInput& tap(KeyCode key);
  ScriptedInput& answer_with(std::optional<std::string> text);
  // Runs before each pass is read, so a test can add steps as the game goes on.
  std::function<void(ScriptedInput&)> on_empty;

  size_t passes_left() const { return steps_.size(); }

  void keyboard(KeyboardSnapshot& out) override;
  std::optional<std::string> answer(const std::string& title, const std::string& prompt,
                                    const std::string& default_text) override;

 private:
  std::deque<KeyboardSnapshot> steps_;
  std::deque<std::optional<std::string>> answers_;
};

class HeadlessAudioDevice : public AudioDevice {
 public:
  bool open(MixFunction mix, AudioFormat& granted) override;
  void close() override { mix_ = nullptr; }
  void lock() override {}
  void unlock() override {}
  // Pulls frames from the mixer as a device would.
  void render(float* out, int frames);
  bool is_open() const { return static_cast<bool>(mix_); }

 private:
  MixFunction mix_;
};

struct PromptRecord {
  std::string title;
  std::string prompt;
  std::string default_text;
};

class HeadlessPlatform : public Platform {
 public:
  enum class Clock { virtual_time, real_time };

  explicit HeadlessPlatform(Clock clock = Clock::virtual_time, uint32_t start_ms = 1000);

  bool open_window(const std::string& title) override;
  void set_title(const std::string& text) override;
  int pump_events(int timeout_ms) override;
  // No event is ever delivered here: input is read by each pass. So every wait
  // is one pass of 1 ms, and a scripted key is seen at the next pass.
  bool wait_for_input(int32_t) override { return pump_events(1) != 0; }
  void speak(const std::string& line, LineKind kind) override;
  void set_speech(bool on) override { speech_ = on; }
  void set_speech_language(const std::string& code) override { speech_language_ = code; }
  uint32_t elapsed_ms() override;
  uint32_t seed_source() override { return seed_; }
  bool init_keyboard() override { return true; }
  bool read_keyboard(KeyboardSnapshot& out) override;
  bool init_mouse() override { return true; }
  bool read_mouse(MouseReading& out) override;
  int init_joysticks() override { return joystick_count_; }
  bool read_joystick(int index, JoystickReading& out) override;
  AudioDevice& audio() override { return audio_; }
  std::string ask_text(const std::string& title, const std::string& prompt,
                       const std::string& default_text) override;
  void close() override { closed_ = true; }

  // Test controls.
  void set_input(InputSource* source) { input_ = source; }
  void set_focus(bool focused) { focused_ = focused; }
  void set_joystick_count(int count) { joystick_count_ = count; }
  void set_seed(uint32_t seed) { seed_ = seed; }
  // Print every spoken line on standard output (the bot's log).
  void set_echo(bool echo) { echo_ = echo; }
  // Called on every pump, with the clock already advanced.
  std::function<void()> on_pump;

  const std::vector<std::string>& titles() const { return titles_; }
  // The lines spoken in answer to a key, in order.
  const std::vector<std::string>& answer_lines() const { return answers_; }
  bool speech() const { return speech_; }
  const std::string& speech_language() const { return speech_language_; }
  // The clock's reading when each of titles() was set.
  const std::vector<uint32_t>& title_times() const { return title_times_; }
  const std::string& title() const { return title_; }
  const std::vector<PromptRecord>& prompts() const { return prompts_; }
  bool window_open() const { return window_open_; }
  bool closed() const { return closed_; }
  uint64_t pumps() const { return pumps_; }
  HeadlessAudioDevice& headless_audio() { return audio_; }

 private:
  Clock clock_;
  uint32_t virtual_ms_;
  uint32_t seed_ = 0x5eed;
  InputSource* input_ = nullptr;
  bool focused_ = true;
  bool echo_ = false;
  bool window_open_ = false;
  bool closed_ = false;
  int joystick_count_ = 0;
  uint64_t pumps_ = 0;
  std::string title_;
  std::vector<std::string> titles_;
  std::vector<std::string> answers_;
  bool speech_ = true;
  std::string speech_language_;
  std::vector<uint32_t> title_times_;
  std::vector<PromptRecord> prompts_;
  HeadlessAudioDevice audio_;
};

}  // namespace tornello
