// The settings kept between runs, the settings screen, and start-up with the command line.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>

#include "shell/command_line.h"
#include "shell/settings_file.h"
#include "shell/settings_screen.h"
#include "shell/start_up.h"
#include "shell/text_entries.h"
#include "shell_fixture.h"

namespace tornello {
namespace {

std::string contents(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

class SettingsTest : public ShellTest {
 protected:
  SettingsTest() { file.path = data.path() + "/config/tornello/settings.ini"; }
  void expect_saved(std::initializer_list<const char*> lines) {
    const std::string saved = contents(file.path);
    for (const char* line : lines) EXPECT_NE(saved.find(line), std::string::npos) << line << saved;
  }
  SettingsFile file;
};

TEST_F(SettingsTest, WhatIsWrittenReadsBackWithOtherKeysKeptAndAFailureIsToldOnce) {
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
  EXPECT_EQ(
      std::tuple(read.sound_volume, read.music_volume, read.music_level_chosen, read.speech,
                 read.open_router_port, read.language, read.last_host),
      std::tuple(30, 70.0f, true, false, true, std::string("DE"), std::string("pong.example.org")));
  EXPECT_EQ(again.other_lines, file.other_lines);
  // Until the player chooses a music level the file names none.
  ASSERT_TRUE(write_settings(file, GameSettings{}));
  EXPECT_EQ(contents(file.path).find("music_volume"), std::string::npos);

  // A folder that cannot be made (even as root): the game plays on and says so once,
  // and again only after a save that worked.
  data.write("blocked", "a file, not a folder");
  game->language.entries[entry::settings_not_saved] = "not saved";
  for (const char* folder : {"blocked", "blocked", "fine", "blocked"}) {
    game->settings_file.path = data.path() + "/" + folder + "/settings.ini";
    save_settings(*game);
  }
  EXPECT_EQ(spoken(), (Lines{"not saved", "not saved"}));
}

TEST_F(SettingsTest, ADamagedFileGivesTheDefaultsAndIsLeftAlone) {
  const std::string damaged[] = {
      std::string("sound_volume=50\n\x00\x01\x02\xff", 19),
      "sound_volume=101\n",
      "music_volume=-5\n",
      "speech=maybe\n",
      "language=../../etc/passwd\n",
      "last_host=" + std::string(300, 'a') + "\n",
      std::string(10 * 1024 * 1024, 'a'),
  };
  for (const std::string& text : damaged) {
    SCOPED_TRACE(text.substr(0, 40));
    data.write("config/tornello/settings.ini", text);
    GameSettings settings;
    EXPECT_EQ(read_settings(file, settings), SettingsRead::reset);
    EXPECT_TRUE(settings.sound_volume == 100 && settings.language == "EN" && settings.speech);
    EXPECT_EQ(contents(file.path), text) << "rewritten only when the player changes something";
  }
  std::filesystem::remove(file.path);
  GameSettings settings;
  EXPECT_EQ(read_settings(file, settings), SettingsRead::no_file);
}

// A game killed while it saves leaves the old file or the new one, whole.
TEST_F(SettingsTest, AKillWhileSavingLeavesAWholeFile) {
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

// The command line holds for the run only; a damaged file is told and gives English.
TEST_F(SettingsTest, StartUpTakesTheFileThenTheCommandLineForThisRunOnly) {
  data.write("lang/EN.lng", "");
  data.write("lang/DE.lng", "");
  data.write("Menu/EN/main.mnu", "Main menu\nHost\nJoin\nExit\n");
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
  expect_saved({"language=EN\n", "speech=on\n", "open_router_port=off\n", "sound_volume=20\n"});
  data.write("config/tornello/settings.ini", "language=FR\nsound_volume=500\n");
  Game next(platform);
  line = CommandLine{};
  line.settings_path = file.path;
  script.tap(key::enter).tap(key::up).tap(key::enter);
  const size_t before = spoken().size();
  start_up(next, line);
  EXPECT_EQ(next.settings.language, "EN");
  const Lines said = spoken_since(before);
  EXPECT_NE(std::find(said.begin(), said.end(), builtin_english(entry::settings_reset)),
            said.end());
}

// Each change is spoken, applied and saved at once, and the next start keeps it.
TEST_F(SettingsTest, EachChangeIsSpokenAppliedAndSavedAndTheNextStartKeepsIt) {
  data.write("lang/EN.lng", "");  // every entry from the built-in English, but its name
  std::string german;
  for (int n = 1; n < entry::language_name; ++n) german += "de " + std::to_string(n) + "\n";
  data.write("lang/DE.lng", german + "Deutsch\n");
  data.write("lang/OLD.lng", "old\n");  // too old to name itself
  game->settings_file.path = file.path;
  game->language.load(game->files, "EN");
  script.tap(key::left).tap(key::down).tap(key::right);                   // sounds, music
  script.tap(key::down).tap(key::left);                                   // speech off
  script.tap(key::down).tap(key::right).tap(key::right);                  // OLD, then DE
  script.tap(key::down).tap(key::right).tap(key::down).tap(key::escape);  // router, Back
  EXPECT_EQ(run_settings(*game), Next::main_menu);
  EXPECT_EQ(spoken(),
            (Lines{"Settings", "Sounds 100 percent", "Sounds 90 percent", "Music 5 percent",
                   "Music 10 percent", "Speech through the speech service: on",
                   "Speech through the speech service: off", "Language: EN", "Language: OLD",
                   "de 30: Deutsch", "de 31: de 29", "de 31: de 28", "de 32"}));
  EXPECT_FALSE(platform.speech());
  EXPECT_EQ(platform.speech_language(), "DE");
  EXPECT_TRUE(game->settings.open_router_port);
  expect_saved({"sound_volume=90\n", "music_volume=10\n", "speech=off\n", "language=DE\n",
                "open_router_port=on\n"});

  data.write("Menu/EN/main.mnu", "Main menu\nHost\nJoin\nExit\n");
  write_sound("Sounds/Music/title.wav");
  Game next(platform);
  platform.set_speech(true);
  CommandLine line;
  line.settings_path = file.path;
  script.tap(key::enter).tap(key::up).tap(key::enter);
  next.sound.init(platform.audio());
  next.sound.set_log(&log);
  start_up(next, line);
  EXPECT_EQ(next.settings.sound_volume, 90);
  EXPECT_EQ(next.settings.language, "DE");
  EXPECT_FALSE(platform.speech());
  const auto title = events(SoundEventKind::play, "Sounds/Music/title.wav");
  ASSERT_EQ(title.size(), 1u);
  EXPECT_EQ(title[0].volume, 10);
}

}  // namespace
}  // namespace tornello
