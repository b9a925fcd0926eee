#include "platform/sdl/text_prompt.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

#include "support/temp_dir.h"

namespace tornello {
namespace {

std::string write_script(const TempDir& dir, const std::string& name, const std::string& body) {
  const std::string path = dir.write(name, "#!/bin/sh\n" + body);
  ::chmod(path.c_str(), 0755);
  return path;
}

TEST(ZenityArguments, OptionsCarryTheirValuesWhateverTheyStartWith) {
  EXPECT_EQ(zenity_arguments("Port", "Enter port to connect on", "-7"),
            (std::vector<std::string>{"zenity", "--entry", "--title=Port",
                                      "--text=Enter port to connect on", "--entry-text=-7"}));
}

TEST(ZenityArguments, PromptShowsUnderscoresAndBackslashesAsWritten) {
  const auto args = zenity_arguments("T", R"(my_host\n)", R"(a_b\c)");
  EXPECT_EQ(args[3], R"(--text=my__host\\n)");
  EXPECT_EQ(args[4], R"(--entry-text=a_b\c)");  // the field is not a label
}

TEST(FindOnPath, FindsExecutablesOnlyInPathOrder) {
  TempDir first, second;
  write_script(second, "tool", "exit 0\n");
  first.write("tool", "not executable");
  const std::string saved = std::getenv("PATH");
  ::setenv("PATH", (first.path() + ":" + second.path()).c_str(), 1);
  EXPECT_EQ(find_on_path("tool"), second.path() + "/tool");
  EXPECT_EQ(find_on_path("missing"), std::nullopt);
  ::setenv("PATH", second.path().c_str(), 1);
  EXPECT_EQ(find_on_path(""), std::nullopt);
  ::setenv("PATH", saved.c_str(), 1);
}

TEST(RunProgram, CollectsOutputAndStatusWithoutAShell) {
  TempDir dir;
  // Each argument arrives as one word, spaces and quotes and all.
  const std::string echo = write_script(dir, "echo-args", R"(for a in "$@"; do echo "[$a]"; done
exit 3
)");
  int waits = 0;
  const ProgramResult result =
      run_program(echo, {"echo-args", "two words", "it's; $(rm -rf /)"}, [&] { ++waits; });
  EXPECT_TRUE(result.started);
  EXPECT_EQ(result.exit_status, 3);
  EXPECT_EQ(result.output, "[two words]\n[it's; $(rm -rf /)]\n");
  EXPECT_GT(waits, 0);
}

TEST(RunProgram, ReadsOutputLargerThanThePipe) {
  TempDir dir;
  const std::string big = write_script(dir, "big", "head -c 200000 /dev/zero | tr '\\0' x\n");
  const ProgramResult result = run_program(big, {"big"}, nullptr);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.output, std::string(200000, 'x'));
}

TEST(RunProgram, MissingProgramIsReportedAsNotStarted) {
  TempDir dir;
  const ProgramResult result = run_program(dir.path() + "/nothing", {"nothing"}, nullptr);
  EXPECT_FALSE(result.started);
  EXPECT_EQ(dialog_answer(result), "");
}

TEST(RunProgram, KilledProgramHasNoExitStatus) {
  TempDir dir;
  const std::string killer = write_script(dir, "killer", "echo partial\nkill -9 $$\n");
  const ProgramResult result = run_program(killer, {"killer"}, nullptr);
  EXPECT_TRUE(result.started);
  EXPECT_EQ(result.exit_status, -1);
  EXPECT_EQ(dialog_answer(result), "");
}

TEST(DialogAnswer, OnlyOkGivesTheTextWithoutItsLineEnd) {
  EXPECT_EQ(dialog_answer({true, 0, "example.org\n"}), "example.org");
  EXPECT_EQ(dialog_answer({true, 0, "\n"}), "");
  EXPECT_EQ(dialog_answer({true, 0, "  spaced  \n\n"}), "  spaced  \n");
  EXPECT_EQ(dialog_answer({true, 1, ""}), "");        // Cancel or Escape
  EXPECT_EQ(dialog_answer({true, 5, "late\n"}), "");  // any other failure
}

class WindowPromptTest : public ::testing::Test {
 protected:
  WindowPrompt::State type(const std::string& text) {
    SDL_Event event{};
    event.type = SDL_TEXTINPUT;
    std::snprintf(event.text.text, sizeof event.text.text, "%s", text.c_str());
    return prompt.handle(event, tell);
  }
  WindowPrompt::State key(SDL_Scancode scancode, bool repeat = false) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.scancode = scancode;
    event.key.repeat = repeat ? 1 : 0;
    return prompt.handle(event, tell);
  }

  WindowPrompt prompt{"Enter port to connect on", "3214"};
  std::vector<std::string> heard;
  WindowPrompt::Announce tell = [this](const std::string& line) { heard.push_back(line); };
};

TEST_F(WindowPromptTest, OpensWithThePromptAndTheDefault) {
  EXPECT_EQ(prompt.opening_line(), "Enter port to connect on: 3214");
  EXPECT_EQ(WindowPrompt("Enter host address to connect to", "").opening_line(),
            "Enter host address to connect to");
}

TEST_F(WindowPromptTest, EnterAtOnceGivesTheDefault) {
  EXPECT_EQ(key(SDL_SCANCODE_RETURN), WindowPrompt::State::confirmed);
  EXPECT_EQ(prompt.result(), "3214");
  EXPECT_TRUE(heard.empty());
}

TEST_F(WindowPromptTest, TypingEchoesAndBackspaceSpeaksWhatIsLeft) {
  type("5");
  key(SDL_SCANCODE_BACKSPACE);
  key(SDL_SCANCODE_BACKSPACE, true);  // held down: keeps deleting
  type("é");
  key(SDL_SCANCODE_BACKSPACE);  // one character of two bytes
  EXPECT_EQ(heard, (std::vector<std::string>{"5", "3214", "321", "é", "321"}));
  EXPECT_EQ(key(SDL_SCANCODE_KP_ENTER), WindowPrompt::State::confirmed);
  EXPECT_EQ(prompt.result(), "321");
}

TEST_F(WindowPromptTest, BackspaceOnEmptyFieldSaysNothing) {
  for (int k = 0; k < 4; ++k) key(SDL_SCANCODE_BACKSPACE);
  heard.clear();
  key(SDL_SCANCODE_BACKSPACE);
  EXPECT_TRUE(heard.empty());
  key(SDL_SCANCODE_RETURN);
  EXPECT_EQ(prompt.result(), "");
}

TEST_F(WindowPromptTest, EscapeCancelsAndLaterEventsChangeNothing) {
  type("9");
  EXPECT_EQ(key(SDL_SCANCODE_RETURN, true), WindowPrompt::State::editing);  // a repeat
  EXPECT_EQ(key(SDL_SCANCODE_ESCAPE), WindowPrompt::State::cancelled);
  EXPECT_EQ(prompt.result(), "");
  EXPECT_EQ(key(SDL_SCANCODE_RETURN), WindowPrompt::State::cancelled);
  EXPECT_EQ(prompt.result(), "");
}

}  // namespace
}  // namespace tornello
