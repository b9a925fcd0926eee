#include "shell/start_up.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// The title screen ends when Enter is let go, not when pressed; every pass but
// the last waits one virtual millisecond for input.
TEST_F(StartUpTest, TitleScreenEndsWhenEnterIsLetGoNotWhenPressed) {
  game->language.entries[20] = "Tornello";
  script.idle(3).hold({key::enter}, 40).idle(1);
  show_title_screen(*game);
  EXPECT_EQ(spoken(), Lines{"Tornello"});
  EXPECT_EQ(script.passes_left(), 0u) << "the release pass was consumed";
  EXPECT_EQ(ms_between(1000, platform.elapsed_ms()), 43);
}

// The language as typed; the loading line before any sound loads; the title
// track at full level until a music level is chosen; then the main menu until Exit.
TEST_F(StartUpTest, LanguageAsTypedThenLoadingTheTitleAndTheMainMenuUntilExit) {
  data.write("lang/de.lng", numbered_lines(22, "\r\n"));
  data.write("Menu/DE/main.mnu", "Main menu\nHost a game\nJoin a game\nExit\n");
  data.write("Menu/DE/gamemode.mnu", "Game mode\nShort\nLong\n");
  write_sound("Sounds/Music/title.wav");
  long loads_before_loading_line = 99;
  platform.on_title = [&](const std::string& line) {
    if (line != "line 1") return;
    loads_before_loading_line = loads();
  };
  // Title screen; Host a game, whose cancelled port cannot be hosted on, so the
  // main menu comes back; then Exit, which ends the game without a further line.
  script.tap(key::enter).tap(key::enter).tap(key::enter);
  choose(3);
  EXPECT_EQ(start_up(*game, parse_command_line({"de", "ignored", "--no-speech"})), 0);
  EXPECT_EQ(game->settings.language, "de");
  EXPECT_EQ(spoken(), (Lines{"line 1", "line 20", "Main menu", "line 2",
                             "Port. Enter port number to host the game on: 3214", "Game mode",
                             "line 3", "line 22 0", "Main menu", "Join a game", "Exit"}));
  EXPECT_EQ(loads_before_loading_line, 0);
  EXPECT_GT(count(SoundEventKind::load, "Sounds/Pong/Hit.wav"), 0u);
  const auto title =
      std::find_if(log.events().begin(), log.events().end(), [](const SoundEvent& e) {
        return e.kind == SoundEventKind::play && e.path == "Sounds/Music/title.wav";
      });
  ASSERT_NE(title, log.events().end());
  EXPECT_EQ(title->volume, 100);
  EXPECT_TRUE(platform.closed());
  EXPECT_EQ(script.passes_left(), 0u);
}

// A language file that is not there ends the game with its message before any sound loads.
TEST_F(StartUpTest, MissingLanguageFileEndsTheGameWithItsMessage) {
  data.write("lang/EN.lng", numbered_lines(20, "\n"));
  write_sound("Sounds/Pong/Hit.wav");
  EXPECT_EQ(start_up(*game, parse_command_line({"xx"})), 0);
  EXPECT_EQ(spoken(), Lines{"Language file not found!"});
  EXPECT_TRUE(platform.closed());
  EXPECT_EQ(loads(), 0) << "no sound was loaded";
  EXPECT_FALSE(std::filesystem::exists(data.path() + "/lang/xx.lng"));
}

// Line N is entry N, up to a hundred; entries a shorter file does not reach
// are spoken in the built-in English.
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

// The first plain argument is the language; "--" options are the game's own,
// and --bot and --data take the plain arguments after them that they can use.
TEST(CommandLine, LanguageOptionsAndTheBotsRoleAddressAndPort) {
  struct Row {
    std::vector<std::string> arguments;
    std::string language, bot;  // "-": none; the bot as "host PORT" or "join HOST PORT"
    bool speech = true, headless = false;
    std::string data = "-";
  };
  const Row rows[] = {
      {{}, "-", "-"},
      {{"--no-speech", "De", "EN", "--headless"}, "De", "-", false, true},
      {{"--bot", "host"}, "-", "host 3214"},
      {{"DE", "--bot", "join", "example.org", "4000"}, "DE", "join example.org 4000"},
      // A word that is not a number after the address is the language, not a port.
      {{"--bot", "join", "10.0.0.2", "EN"}, "EN", "join 10.0.0.2 3214"},
      {{"--data", "DE", "EN"}, "EN", "-", true, false, "DE"},
      {{"--data=/a b", "--headless"}, "-", "-", true, true, "/a b"},
  };
  for (const Row& row : rows) {
    const CommandLine parsed = parse_command_line(row.arguments);
    const std::string what = testing::PrintToString(row.arguments);
    std::string bot = "-";
    if (parsed.bot) {
      bot = (parsed.bot->hosts ? "host " : "join " + parsed.bot->host + " ") +
            std::to_string(parsed.bot->port);
    }
    EXPECT_EQ(parsed.language.value_or("-"), row.language) << what;
    EXPECT_EQ(bot, row.bot) << what;
    EXPECT_EQ(std::pair(parsed.speech, parsed.headless), std::pair(row.speech, row.headless))
        << what;
    EXPECT_EQ(parsed.data.value_or("-"), row.data) << what;
    EXPECT_FALSE(parsed.help || parsed.version) << what;
    EXPECT_EQ(parsed.error, "") << what;
  }
  const CommandLine asked = parse_command_line({"--version", "--help"});
  EXPECT_TRUE(asked.help && asked.version && asked.error.empty());

  // The first fault is the one told, with what was wrong in it.
  const std::pair<Lines, std::string> faults[] = {
      {{"--bot"}, "--bot wants"},
      {{"--bot", "serve"}, "--bot wants"},
      {{"--bot", "join"}, "HOST"},
      {{"--bot", "join", "--no-speech"}, "HOST"},
      {{"--bot", "host", "0"}, "not 0"},
      {{"--bot", "host", "65536"}, "not 65536"},
      {{"--bot", "join", "h", "99999999999999"}, "not 99999999999999"},
      {{"--nospeech", "--what"}, "unknown option --nospeech (did you mean --no-speech?)"},
      {{"--what"}, "unknown option --what"},
      {{"--data"}, "--data DIR"},
      {{"--data=", "--what"}, "--data DIR"},
  };
  for (const auto& [arguments, fault] : faults) {
    const CommandLine parsed = parse_command_line(arguments);
    EXPECT_NE(parsed.error.find(fault), std::string::npos)
        << testing::PrintToString(arguments) << ": " << parsed.error;
    EXPECT_FALSE(parsed.bot) << testing::PrintToString(arguments);
  }
}

}  // namespace
}  // namespace tornello
