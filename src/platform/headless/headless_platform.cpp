#include "platform/headless/headless_platform.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "platform/random.h"

namespace tornello {

ScriptedInput& ScriptedInput::hold(std::initializer_list<KeyCode> keys, int passes) {
  KeyboardSnapshot snapshot;
  for (KeyCode k : keys) snapshot.keys[k] = 0x80;
  for (int p = 0; p < passes; ++p) steps_.push_back(snapshot);
  return *this;
}

ScriptedInput& ScriptedInput::idle(int passes) {
  return hold({}, passes);
}

ScriptedInput& ScriptedInput::tap(KeyCode key) {
  return hold({key}).idle();
}

ScriptedInput& ScriptedInput::answer_with(std::optional<std::string> text) {
  answers_.push_back(std::move(text));
  return *this;
}

void ScriptedInput::keyboard(KeyboardSnapshot& out) {
  if (steps_.empty() && on_empty) on_empty(*this);
  if (steps_.empty()) {
    out = KeyboardSnapshot{};
    return;
  }
  out = steps_.front();
  steps_.pop_front();
}

std::optional<std::string> ScriptedInput::answer(const std::string&, const std::string&,
                                                 const std::string&) {
  if (answers_.empty()) return std::nullopt;
  std::optional<std::string> next = std::move(answers_.front());
  answers_.pop_front();
  return next;
}

bool HeadlessAudioDevice::open(MixFunction mix, AudioFormat& granted) {
  granted.channels = 2;
  mix_ = std::move(mix);
  return true;
}

void HeadlessAudioDevice::render(float* out, int frames) {
  if (mix_) {
    mix_(out, frames);
  } else {
    for (int k = 0; k < frames * 2; ++k) out[k] = 0.0f;
  }
}

HeadlessPlatform::HeadlessPlatform(Clock clock, uint32_t start_ms)
    : clock_(clock), virtual_ms_(start_ms) {
  // Tests keep a fixed seed; a real-time game draws differently on every run.
  if (clock_ == Clock::real_time) {
    seed_ = static_cast<uint32_t>(std::hash<std::thread::id>{}(std::this_thread::get_id())) ^
            wall_clock_seed();
  }
}

bool HeadlessPlatform::open_window(const std::string& title) {
  window_open_ = true;
  title_ = title;
  return true;
}

void HeadlessPlatform::set_title(const std::string& text) {
  title_ = text;
  titles_.push_back(text);
  title_times_.push_back(elapsed_ms());
}

void HeadlessPlatform::speak(const std::string& line, LineKind kind) {
  if (kind == LineKind::answer) answers_.push_back(line);
  if (echo_) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }
}

int HeadlessPlatform::pump_events(int timeout_ms) {
  ++pumps_;
  if (timeout_ms > 0) {
    if (clock_ == Clock::virtual_time) {
      virtual_ms_ += static_cast<uint32_t>(timeout_ms);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
    }
  }
  if (on_pump) on_pump();
  return 0;
}

uint32_t HeadlessPlatform::elapsed_ms() {
  if (clock_ == Clock::virtual_time) return virtual_ms_;
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool HeadlessPlatform::read_keyboard(KeyboardSnapshot& out) {
  // The script moves on with every pass, focused or not, as real keys would.
  KeyboardSnapshot next;
  if (input_ != nullptr) input_->keyboard(next);
  if (!focused_) return false;
  out = next;
  return true;
}

bool HeadlessPlatform::read_mouse(MouseReading& out) {
  if (!focused_) return false;
  if (input_ != nullptr) {
    input_->mouse(out);
  } else {
    out = MouseReading{};
  }
  return true;
}

bool HeadlessPlatform::read_joystick(int index, JoystickReading& out) {
  if (index < 0 || index >= joystick_count_) return false;
  if (input_ != nullptr) {
    input_->joystick(index, out);
  } else {
    out = JoystickReading{};
  }
  return true;
}

std::string HeadlessPlatform::ask_text(const std::string& title, const std::string& prompt,
                                       const std::string& default_text) {
  prompts_.push_back({title, prompt, default_text});
  const std::string opening = prompt_line(title, prompt, default_text);
  set_title(opening);
  speak(opening, LineKind::answer);
  if (input_ == nullptr) return "";
  return input_->answer(title, prompt, default_text).value_or("");
}

}  // namespace tornello
