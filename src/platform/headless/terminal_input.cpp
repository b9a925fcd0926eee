#include "platform/headless/terminal_input.h"

#include <cstdio>
#include <iostream>
#include <thread>

namespace tornello {

TerminalInput::TerminalInput() : lines_(std::make_shared<Lines>()) {
  // The reader blocks in std::getline for the whole run, so it is detached.
  std::thread([lines = lines_] {
    std::string line;
    while (std::getline(std::cin, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::lock_guard<std::mutex> lock(lines->mutex);
      lines->queue.push_back(line);
      lines->arrived.notify_all();
    }
    std::lock_guard<std::mutex> lock(lines->mutex);
    lines->closed = true;
    lines->arrived.notify_all();
  }).detach();
}

TerminalInput::~TerminalInput() = default;

KeyCode TerminalInput::key_for_word(const std::string& word) {
  if (word.empty() || word == "enter") return key::enter;
  if (word == "up") return key::up;
  if (word == "down") return key::down;
  if (word == "left") return key::left;
  if (word == "right") return key::right;
  if (word == "escape" || word == "esc") return key::escape;
  if (word == "pageup") return key::page_up;
  if (word == "pagedown") return key::page_down;
  static constexpr KeyCode function_keys[] = {key::f1, key::f2, key::f3, 0, key::f5, key::f6};
  if (word.size() == 2 && word[0] == 'f' && word[1] >= '1' && word[1] <= '6') {
    return function_keys[word[1] - '1'];
  }
  return 0;
}

void TerminalInput::keyboard(KeyboardSnapshot& out) {
  out = KeyboardSnapshot{};
  if (held_ != 0) {
    held_ = 0;  // released in this pass
    return;
  }
  std::string word;
  {
    std::lock_guard<std::mutex> lock(lines_->mutex);
    if (lines_->queue.empty()) return;
    word = std::move(lines_->queue.front());
    lines_->queue.pop_front();
  }
  KeyCode code = key_for_word(word);
  if (code == 0) {
    std::printf(
        "(unknown key \"%s\": up, down, left, right, enter, escape, pageup, pagedown, f1, f2, "
        "f3, f5, f6)\n",
        word.c_str());
    std::fflush(stdout);
    return;
  }
  held_ = code;
  out.keys[code] = 0x80;
}

std::optional<std::string> TerminalInput::answer(const std::string& title,
                                                 const std::string& prompt,
                                                 const std::string& default_text) {
  std::printf("%s: %s [%s]\n", title.c_str(), prompt.c_str(), default_text.c_str());
  std::fflush(stdout);
  std::unique_lock<std::mutex> lock(lines_->mutex);
  lines_->arrived.wait(lock, [this] { return !lines_->queue.empty() || lines_->closed; });
  if (lines_->queue.empty()) return std::nullopt;
  std::string line = std::move(lines_->queue.front());
  lines_->queue.pop_front();
  if (line == "escape" || line == "esc") return std::nullopt;
  return line;
}

}  // namespace tornello
