// The pieces of the desktop's text prompt: the desktop's own entry dialog run as a
// child program (a real dialog the screen reader reads), and, where that program
// is missing, an editor that runs inside the game window and speaks as it goes.
#pragma once

#include <SDL2/SDL_events.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tornello {

// The argument list of the entry dialog, program name first.
std::vector<std::string> zenity_arguments(const std::string& title, const std::string& prompt,
                                          const std::string& default_text);

// The full path of an executable found on PATH, or nothing.
std::optional<std::string> find_on_path(const std::string& name);

struct ProgramResult {
  bool started = false;  // false when the program could not be run at all
  int exit_status = -1;  // exit code, or -1 when it was killed by a signal
  std::string output;    // everything it wrote to standard output
};

// Runs a program (no shell involved) and collects its standard output.
// `while_waiting` is called about every 10 ms until the program has exited.
ProgramResult run_program(const std::string& path, const std::vector<std::string>& arguments,
                          const std::function<void()>& while_waiting);

// The dialog's answer: its output without the line end, or "" when it was
// cancelled, closed or failed.
std::string dialog_answer(const ProgramResult& result);

// The editor used inside the game window. Fed one event at a time; every line
// it wants told to the player goes to `announce`. F1 tells its keys, F2 the last
// line again (at first the line the prompt opened with).
class WindowPrompt {
 public:
  enum class State { editing, confirmed, cancelled };
  using Announce = std::function<void(const std::string&)>;

  WindowPrompt(std::string opening_line, std::string default_text, std::string help);

  State handle(const SDL_Event& event, const Announce& announce);
  State state() const { return state_; }
  // The edited text once confirmed; "" once cancelled.
  std::string result() const { return state_ == State::confirmed ? text_ : std::string(); }

 private:
  std::string last_line_;
  std::string text_;
  std::string help_;
  State state_ = State::editing;
};

}  // namespace tornello
