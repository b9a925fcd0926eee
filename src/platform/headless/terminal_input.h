// Keys typed as words on standard input, one per line, for playing the headless
// game in a terminal: "up", "down", "left", "right", "enter" (or an empty line),
// "escape", "pageup", "pagedown". Each word is one press and release. A prompt
// takes the next line as its answer; the word "escape" cancels it.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "platform/headless/headless_platform.h"

namespace tornello {

class TerminalInput : public InputSource {
 public:
  TerminalInput();
  ~TerminalInput() override;

  void keyboard(KeyboardSnapshot& out) override;
  std::optional<std::string> answer(const std::string& title, const std::string& prompt,
                                    const std::string& default_text) override;

  // The key a typed word stands for, or 0 for an unknown word.
  static KeyCode key_for_word(const std::string& word);

 private:
  // Shared with the reader thread, which may outlive this object at exit.
  struct Lines {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::string> queue;
    bool closed = false;
  };
  std::shared_ptr<Lines> lines_;
  KeyCode held_ = 0;  // the key pressed in the previous pass, released in this one
};

}  // namespace tornello
