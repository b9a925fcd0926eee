// The settings kept between runs: what a whole file gives back, what a damaged
// one must never do, and how start-up takes them with the command line.
#include "shell/settings_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "shell/command_line.h"
#include "shell/start_up.h"
#include "shell/text_entries.h"
#include "shell_fixture.h"

namespace tornello {
namespace {

using Lines = std::vector<std::string>;

std::string contents(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

class SettingsFileTest : public ShellTest {
 protected:
  SettingsFileTest() { file.path = data.path() + "/config/tornello/settings.ini"; }
  SettingsFile file;
};

TEST_F(SettingsFileTest, WhatIsWrittenReadsBackWithOtherKeysKept) {
  GameSettings chosen;
  chosen.sound_volume = 30;
  chosen.music_volume = 70.0f;
  chosen.music_level_chosen = true;
  chosen.speech = false;
  chosen.open_router_port = true;
  chosen.language = "DE";
  chosen.last_host = "pong.example.org";
  file.other_lines = {"# kept as written", "colour_scheme = dark"};
  ASSERT_TRUE(write_settings(file, chosen));
  EXPECT_FALSE(std::filesystem::exists(file.path + ".new"));

  SettingsFile again;
  again.path = file.path;
  GameSettings read;
  ASSERT_EQ(read_settings(again, read), SettingsRead::read);
  EXPECT_EQ(read.sound_volume, 30);
  EXPECT_EQ(read.music_volume, 70.0f);
  EXPECT_TRUE(read.music_level_chosen);
  EXPECT_FALSE(read.speech);
  EXPECT_TRUE(read.open_router_port);
  EXPECT_EQ(read.language, "DE");
  EXPECT_EQ(read.last_host, "pong.example.org");
  EXPECT_EQ(again.other_lines, file.other_lines);

  // Until the player chooses a music level the file names none.
  ASSERT_TRUE(write_settings(file, GameSettings{}));
  EXPECT_EQ(contents(file.path).find("music_volume"), std::string::npos);
  // Blanks around keys and values and Windows line ends are read too.
  data.write("config/tornello/settings.ini", " sound_volume = 40 \r\nspeech=off\r\n\r\n");
  GameSettings spaced;
  ASSERT_EQ(read_settings(again, spaced), SettingsRead::read);
  EXPECT_EQ(spaced.sound_volume, 40);
  EXPECT_FALSE(spaced.speech);
}

TEST_F(SettingsFileTest, ADamagedFileGivesTheDefaultsAndIsLeftAlone) {
  const std::string damaged[] = {
      std::string("sound_volume=50\n\x00\x01\x02\xff", 19),
      "sound_volume=101\n",
      "music_volume=-5\n",
      "speech=maybe\n",
      "language=../../etc/passwd\n",
      "sound_volume=50\njust some words\n",
      "=50\n",
      "last_host=" + std::string(300, 'a') + "\n",
      std::string(10 * 1024 * 1024, 'a'),
  };
  for (const std::string& text : damaged) {
    SCOPED_TRACE(text.substr(0, 40));
    data.write("config/tornello/settings.ini", text);
    GameSettings settings;
    EXPECT_EQ(read_settings(file, settings), SettingsRead::reset);
    EXPECT_EQ(settings.sound_volume, 100);
    EXPECT_EQ(settings.language, "EN");
    EXPECT_TRUE(settings.speech);
    EXPECT_EQ(contents(file.path), text) << "rewritten only when the player changes something";
  }
  std::filesystem::remove(file.path);
  std::filesystem::create_directories(file.path);
  GameSettings settings;
  EXPECT_EQ(read_settings(file, settings), SettingsRead::reset) << "a folder where the file goes";
  std::filesystem::remove(file.path);
  EXPECT_EQ(read_settings(file, settings), SettingsRead::no_file);
}

// A game killed while saving, at whatever moment, leaves a whole file behind:
// the old one or the new one, never part of either.
TEST_F(SettingsFileTest, AKillWhileSavingLeavesAWholeFile) {
  file.other_lines.assign(4000, "unknown_key=1");
  ASSERT_TRUE(write_settings(file, GameSettings{}));
  for (int round = 0; round < 10; ++round) {
    const pid_t saver = ::fork();
    if (saver == 0) {
      for (GameSettings settings;; settings.sound_volume = (settings.sound_volume + 10) % 100) {
        write_settings(file, settings);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(700 * (round + 1)));
    ::kill(saver, SIGKILL);
    ::waitpid(saver, nullptr, 0);
    SettingsFile again;
    again.path = file.path;
    GameSettings read;
    ASSERT_EQ(read_settings(again, read), SettingsRead::read) << round;
    EXPECT_EQ(again.other_lines.size(), 4000u) << round;
  }
}

// A folder that cannot be made (a file stands where it would go) is what even
// root cannot write to: the game plays on and says so once.
TEST_F(SettingsFileTest, SettingsThatCannotBeSavedAreToldOnce) {
  data.write("blocked", "a file, not a folder");
  game->settings_file.path = data.path() + "/blocked/settings.ini";
  game->language.entries[entry::settings_not_saved] = "not saved";
  save_settings(*game);
  save_settings(*game);
  EXPECT_EQ(spoken(), Lines{"not saved"});
}

// The command line's language, --no-speech and --upnp hold for the run only: saving
// keeps the file's own. A damaged file is told in one line after the language
// loads; a kept language whose file is gone falls back to English.
TEST_F(SettingsFileTest, StartUpTakesTheFileThenTheCommandLineForThisRunOnly) {
  data.write("lang/EN.lng", "");
  data.write("lang/DE.lng", "");
  data.write("Menu/EN/main.mnu", "Main menu\nHost\nJoin\nExit\n");
  write_menu_sounds();
  data.write("config/tornello/settings.ini",
             "language=EN\nspeech=on\nlast_host=10.0.0.7\nsound_volume=60\n");
  CommandLine line = parse_command_line({"DE", "--no-speech", "--upnp"});
  line.settings_path = file.path;
  script.tap(key::enter).tap(key::up).tap(key::enter);
  start_up(*game, line);
  EXPECT_EQ(game->settings.language, "DE");
  EXPECT_FALSE(game->settings.speech);
  EXPECT_TRUE(game->settings.open_router_port);
  EXPECT_EQ(game->settings.host, "10.0.0.7") << "the prompt offers the address last joined";
  game->settings.sound_volume = 20;
  save_settings(*game);
  const std::string saved = contents(file.path);
  EXPECT_NE(saved.find("language=EN\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("speech=on\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("open_router_port=off\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("sound_volume=20\n"), std::string::npos) << saved;

  data.write("config/tornello/settings.ini", "language=FR\nsound_volume=500\n");
  data.write("config/tornello/other.ini", "language=FR\n");
  for (const char* name : {"settings.ini", "other.ini"}) {
    Game next(platform);
    line = CommandLine{};
    line.settings_path = data.path() + "/config/tornello/" + name;
    script.tap(key::enter).tap(key::up).tap(key::enter);
    const size_t before = spoken().size();
    start_up(next, line);
    EXPECT_EQ(next.settings.language, "EN") << name;
    const Lines all = spoken();
    const Lines said(all.begin() + static_cast<long>(before), all.end());
    const bool told =
        std::find(said.begin(), said.end(), builtin_english(entry::settings_reset)) != said.end();
    EXPECT_EQ(told, std::string(name) == "settings.ini") << name;
  }
}

}  // namespace
}  // namespace tornello
