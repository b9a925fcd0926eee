#include "platform/sdl/text_prompt.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

#include "support/temp_dir.h"

namespace tornello {
namespace {

TEST(RunProgram, ArgumentsOutputAndStatusWithNoShellBetween) {
  TempDir dir;
  const std::string script =
      dir.write("echo-args", "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done\nexit 3\n");
  ::chmod(script.c_str(), 0755);
  const std::string path = std::getenv("PATH");
  ::setenv("PATH", (dir.path() + ":" + path).c_str(), 1);
  EXPECT_EQ(find_on_path("echo-args"), script);
  EXPECT_EQ(find_on_path("no-such-program"), std::nullopt);
  ::setenv("PATH", path.c_str(), 1);
  int waits = 0;
  const ProgramResult result =
      run_program(script, {"echo-args", "two words", "it's; $(rm -rf /)"}, [&] { ++waits; });
  EXPECT_TRUE(result.started);
  EXPECT_EQ(result.exit_status, 3);
  EXPECT_EQ(result.output, "[two words]\n[it's; $(rm -rf /)]\n");
  EXPECT_GT(waits, 0);
  EXPECT_FALSE(run_program(dir.path() + "/missing", {"missing"}, nullptr).started);
  // Started with no standard input, and with an interruption left over from
  // before: the program still runs to its end and every descriptor is closed.
  EXPECT_EXIT(
      {
        ::alarm(10);
        ::close(STDIN_FILENO);
        errno = EINTR;
        const bool ran = run_program(script, {"echo-args"}, nullptr).exit_status == 3;
        std::_Exit(ran && ::fcntl(STDIN_FILENO, F_GETFD) < 0 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

// Typed text is echoed, Backspace speaks what is left (nothing once it is
// empty), F1 tells the keys, F2 the last line (at first the opening one), a
// repeated Enter is no confirmation, and Escape cancels for good.
TEST(WindowPrompt, TypingEchoesBackspaceSpeaksWhatIsLeftAndEscapeCancelsForGood) {
  std::vector<std::string> heard;
  const WindowPrompt::Announce tell = [&](const std::string& line) { heard.push_back(line); };
  const auto type = [&](WindowPrompt& prompt, const char* text) {
    SDL_Event event{};
    event.type = SDL_TEXTINPUT;
    std::snprintf(event.text.text, sizeof event.text.text, "%s", text);
    prompt.handle(event, tell);
  };
  const auto key = [&](WindowPrompt& prompt, SDL_Scancode scancode, bool repeat = false) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.scancode = scancode;
    event.key.repeat = repeat;
    return prompt.handle(event, tell);
  };
  WindowPrompt prompt{"Port. Enter port: 3214", "3214", "Type the port."};
  key(prompt, SDL_SCANCODE_F2);
  key(prompt, SDL_SCANCODE_F1);
  type(prompt, "5");
  key(prompt, SDL_SCANCODE_BACKSPACE);
  key(prompt, SDL_SCANCODE_BACKSPACE, true);  // held down: keeps deleting
  type(prompt, "é");
  key(prompt, SDL_SCANCODE_BACKSPACE);  // one character, two bytes
  key(prompt, SDL_SCANCODE_F2);
  EXPECT_EQ(key(prompt, SDL_SCANCODE_RETURN, true), WindowPrompt::State::editing);  // a repeat
  EXPECT_EQ(key(prompt, SDL_SCANCODE_KP_ENTER), WindowPrompt::State::confirmed);
  EXPECT_EQ(heard, (std::vector<std::string>{"Port. Enter port: 3214", "Type the port.", "5",
                                             "3214", "321", "é", "321", "321"}));
  EXPECT_EQ(prompt.result(), "321");
  WindowPrompt cancelled{"Enter port", "3214", ""};
  heard.clear();
  for (int k = 0; k < 5; ++k) key(cancelled, SDL_SCANCODE_BACKSPACE);  // one more than there is
  EXPECT_EQ(heard.size(), 4u);
  EXPECT_EQ(key(cancelled, SDL_SCANCODE_ESCAPE), WindowPrompt::State::cancelled);
  type(cancelled, "1");
  EXPECT_EQ(key(cancelled, SDL_SCANCODE_RETURN), WindowPrompt::State::cancelled);
  EXPECT_EQ(cancelled.result(), "");
}

}  // namespace
}  // namespace tornello
