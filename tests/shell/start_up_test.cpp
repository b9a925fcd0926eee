#include "shell/start_up.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "shell/command_line.h"
#include "shell_fixture.h"

namespace tornello {
namespace {

std::string numbered_lines(int count, const std::string& line_end) {
  std::string text;
  for (int n = 1; n <= count; ++n) text += "line " + std::to_string(n) + line_end;
  return text;
}

using StartUpTest = ShellTest;

// The title screen ends when Enter is let go; each pass but the last waits a millisecond.
TEST_F(StartUpTest, TitleScreenEndsWhenEnterIsLetGoNotWhenPressed) {
  game->language.entries[20] = "Tornello";
  script.idle(3).hold({key::enter}, 40).idle(1);
  show_title_screen(*game);
  EXPECT_EQ(spoken(), Lines{"Tornello"});
  EXPECT_EQ(script.passes_left(), 0u) << "the release pass was consumed";
  EXPECT_EQ(ms_between(1000, platform.elapsed_ms()), 43);
}

// The language as typed, the loading line before any sound, the title track at full level.
TEST_F(StartUpTest, LanguageAsTypedThenLoadingTheTitleAndTheMainMenuUntilExit) {
  data.write("lang/de.lng", numbered_lines(22, "\r\n"));
  data.write("Menu/DE/main.mnu", "Main menu\nHost a game\nJoin a game\nExit\n");
  data.write("Menu/DE/gamemode.mnu", "Game mode\nShort\nLong\n");
  write_sound("Sounds/Music/title.wav");
  size_t loads_before_loading_line = 99;
  platform.on_title = [&](const std::string& line) {
    if (line != "line 1") return;
    loads_before_loading_line = events(SoundEventKind::load).size();
  };
  // Title; Host with the port cancelled, back to the main menu; Exit.
  script.tap(key::enter).tap(key::enter).tap(key::enter);
  choose(3);
  EXPECT_EQ(start_up(*game, parse_command_line({"de", "ignored", "--no-speech"})), 0);
  EXPECT_EQ(game->settings.language, "de");
  EXPECT_EQ(spoken(), (Lines{"line 1", "line 20", "Main menu", "line 2",
                             "Port. Enter port number to host the game on: 3214", "Game mode",
                             "line 3", "line 22 0", "Main menu", "Join a game", "Exit"}));
  EXPECT_EQ(loads_before_loading_line, 0u);
  EXPECT_FALSE(events(SoundEventKind::load, "Sounds/Pong/Hit.wav").empty());
  const auto title = events(SoundEventKind::play, "Sounds/Music/title.wav");
  ASSERT_FALSE(title.empty());
  EXPECT_EQ(title[0].volume, 100);
  EXPECT_TRUE(platform.closed());
  EXPECT_EQ(script.passes_left(), 0u);
}

// A language file that is not there ends the game with its message before any sound loads.
TEST_F(StartUpTest, MissingLanguageFileEndsTheGameWithItsMessage) {
  data.write("lang/EN.lng", numbered_lines(20, "\n"));
  EXPECT_EQ(start_up(*game, parse_command_line({"xx"})), 0);
  EXPECT_EQ(spoken(), Lines{"Language file not found!"});
  EXPECT_TRUE(platform.closed());
  EXPECT_EQ(events(SoundEventKind::load).size(), 0u) << "no sound was loaded";
  EXPECT_FALSE(std::filesystem::exists(data.path() + "/lang/xx.lng"));
}

// Line N is entry N, up to a hundred; a shorter file falls back to the built-in English.
TEST_F(StartUpTest, LanguageLineNIsEntryNUpToOneHundred) {
  data.write("lang/T.lng", numbered_lines(250, "\r\n"));
  data.write("lang/G.lng", "one\n\nthree");
  LanguageTable table, gaps;
  ASSERT_TRUE(table.load(game->files, "T") && gaps.load(game->files, "G"));
  EXPECT_EQ(table.text(1), "line 1");
  EXPECT_EQ(table.text(100), "line 100");
  for (int outside : {0, -3, 101}) EXPECT_EQ(table.text(outside), "") << outside;
  EXPECT_EQ(gaps.text(2), "");
  EXPECT_EQ(gaps.text(3), "three");
  EXPECT_EQ(gaps.text(21), "The other player has left the game.");
  EXPECT_EQ(gaps.text(100), "");
}

}  // namespace
}  // namespace tornello
