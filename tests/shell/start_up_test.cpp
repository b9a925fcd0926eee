#include "shell/start_up.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/headless/headless_platform.h"
#include "shell/command_line.h"
#include "support/temp_dir.h"

namespace tornello {
namespace {

std::string numbered_lines(int count, const std::string& line_end) {
  std::string text;
  for (int n = 1; n <= count; ++n) text += "line " + std::to_string(n) + line_end;
  return text;
}

class StartUpTest : public ::testing::Test {
 protected:
  StartUpTest() : cwd(data.path()) { platform.set_input(&script); }
  void write_main_menu(const std::string& folder) {
    data.write("Menu/" + folder + "/main.mnu", "Main menu\nHost a game\nJoin a game\nExit\n");
  }
  // From the main menu's first item: down to Exit and let Enter go.
  void choose_exit() { script.tap(key::down).tap(key::down).tap(key::enter); }
  TempDir data;
  WorkingDirectory cwd;
  HeadlessPlatform platform;
  ScriptedInput script;
};

TEST_F(StartUpTest, TitleScreenEndsWhenEnterIsLetGoNotWhenPressed) {
  data.write("lang/EN.lng", numbered_lines(20, "\n"));
  write_main_menu("EN");
  script.idle(3).hold({key::enter}, 40).idle(1);
  choose_exit();
  Game game(platform);
  EXPECT_EQ(start_up(game, {}), 0);
  // Exit ends the game at once, without a further line.
  EXPECT_EQ(platform.titles(),
            (std::vector<std::string>{"line 1", "line 20", "Main menu", "Join a game", "Exit"}));
  EXPECT_EQ(script.passes_left(), 0u) << "the release pass was consumed";
  EXPECT_TRUE(platform.closed());
  // Every pass of the title screen waits more than 16 ms on the clock.
  EXPECT_GT(ms_between(1000, platform.elapsed_ms()), 44 * 16);
}

TEST_F(StartUpTest, MissingLanguageFileEndsTheGameWithItsMessage) {
  data.write("lang/EN.lng", numbered_lines(20, "\n"));
  Game game(platform);
  CommandLine command_line = parse_command_line({"xx"});
  EXPECT_EQ(start_up(game, command_line), 0);
  EXPECT_EQ(platform.titles(), (std::vector<std::string>{"Language file not found!"}));
  EXPECT_TRUE(platform.closed());
  EXPECT_FALSE(std::filesystem::exists(data.path() + "/lang/xx.lng"));
  EXPECT_EQ(script.passes_left(), 0u);
}

TEST_F(StartUpTest, LanguageCodeIsTakenAsTypedAndFoundWhateverItsCase) {
  data.write("lang/de.lng", numbered_lines(20, "\r\n"));
  write_main_menu("DE");
  script.tap(key::enter);
  choose_exit();
  Game game(platform);
  start_up(game, parse_command_line({"de", "ignored", "--no-speech"}));
  EXPECT_EQ(game.settings.language, "de");
  EXPECT_EQ(platform.titles().at(1), "line 20");
  EXPECT_EQ(platform.titles().at(2), "Main menu");
}

TEST_F(StartUpTest, MainMenuComesBackUntilExitAndAMissingMenuEndsTheGame) {
  data.write("lang/EN.lng", numbered_lines(20, "\n"));
  write_main_menu("EN");
  data.write("Menu/EN/gamemode.mnu", "Game mode\nShort\nLong\n");
  // Host a game (the port prompt is cancelled: the system picks one) and give up
  // waiting, then Join a game (its connect submenu is missing).
  script.tap(key::enter).tap(key::enter).tap(key::enter).tap(key::escape);
  script.tap(key::down).tap(key::enter);
  Game game(platform);
  EXPECT_EQ(start_up(game, {}), 0);
  EXPECT_EQ(platform.titles(),
            (std::vector<std::string>{"line 1", "line 20", "Main menu", "line 2", "Game mode",
                                      "line 3", "line 4", "Main menu", "Join a game",
                                      "Menu file not found: Menu\\EN\\connect.mnu"}));
  EXPECT_TRUE(platform.closed());
  EXPECT_EQ(script.passes_left(), 0u);
}

TEST(CommandLine, FirstPlainArgumentIsTheLanguageAndOptionsAreTheGames) {
  CommandLine none = parse_command_line({});
  EXPECT_FALSE(none.language);
  EXPECT_TRUE(none.speech);

  CommandLine mixed = parse_command_line({"--no-speech", "De", "EN", "--headless", "--what"});
  EXPECT_EQ(mixed.language, "De");
  EXPECT_FALSE(mixed.speech);
  EXPECT_TRUE(mixed.headless);
  EXPECT_EQ(mixed.unknown, (std::vector<std::string>{"--what"}));
}

class LanguageTableTest : public ::testing::Test {
 protected:
  LanguageTable load(const std::string& bytes) {
    data.write("lang/T.lng", bytes);
    FileLookup files;
    LanguageTable table;
    EXPECT_TRUE(table.load(files, "T"));
    return table;
  }
  TempDir data;
  WorkingDirectory cwd{data.path()};
};

TEST_F(LanguageTableTest, LineNIsEntryN) {
  for (const char* end : {"\n", "\r\n", "\r"}) {
    LanguageTable table = load(numbered_lines(20, end));
    EXPECT_EQ(table.text(1), "line 1");
    EXPECT_EQ(table.text(20), "line 20");
    EXPECT_EQ(table.text(21), "");
    EXPECT_EQ(table.text(0), "");
    EXPECT_EQ(table.text(101), "");
    EXPECT_EQ(table.text(-3), "");
  }
  LanguageTable gaps = load("one\n\nthree\n");
  EXPECT_EQ(gaps.text(2), "");
  EXPECT_EQ(gaps.text(3), "three");
}

TEST_F(LanguageTableTest, LinesPastOneHundredAreIgnored) {
  LanguageTable table = load(numbered_lines(250, "\n"));
  EXPECT_EQ(table.text(100), "line 100");
  EXPECT_EQ(table.text(101), "");
}

}  // namespace
}  // namespace tornello
