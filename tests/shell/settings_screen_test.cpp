// The settings screen as a player walks it: each change spoken, applied and
// saved at once, the language switched with its own name, and what was chosen
// found again by the next start.
#include "shell/settings_screen.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "shell/command_line.h"
#include "shell/start_up.h"
#include "shell/text_entries.h"
#include "shell_fixture.h"

namespace tornello {
namespace {

using Lines = std::vector<std::string>;

class SettingsScreenTest : public ShellTest {
 protected:
  SettingsScreenTest() {
    data.write("lang/EN.lng", "");  // every entry from the built-in English, but its name
    std::string german;
    for (int n = 1; n < entry::language_name; ++n) german += "de " + std::to_string(n) + "\n";
    data.write("lang/DE.lng", german + "Deutsch\n");
    data.write("lang/OLD.lng", "old\n");  // too old to name itself
    game->settings_file.path = data.path() + "/settings.ini";
    game->language.load(game->files, "EN");
  }
  std::string saved() const {
    std::ostringstream text;
    text << std::ifstream(game->settings_file.path).rdbuf();
    return text.str();
  }
  Lines spoken_since(size_t from) const { return Lines(spoken().begin() + from, spoken().end()); }
};

TEST_F(SettingsScreenTest, EachChangeIsSpokenAppliedAndSavedAndTheNextStartKeepsIt) {
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
  const std::string file = saved();
  for (const char* line : {"sound_volume=90\n", "music_volume=10\n", "speech=off\n",
                           "language=DE\n", "open_router_port=on\n"}) {
    EXPECT_NE(file.find(line), std::string::npos) << line << " in\n" << file;
  }

  // The next start plays every track, the title's too, at the chosen level.
  data.write("Menu/EN/main.mnu", "Main menu\nHost\nJoin\nExit\n");
  write_sound("Sounds/Music/title.wav");
  write_menu_sounds();
  Game next(platform);
  platform.set_speech(true);
  CommandLine line;
  line.settings_path = game->settings_file.path;
  script.tap(key::enter).tap(key::up).tap(key::enter);
  next.sound.init(platform.audio());
  next.sound.set_log(&log);
  start_up(next, line);
  EXPECT_EQ(next.settings.sound_volume, 90);
  EXPECT_EQ(next.settings.language, "DE");
  EXPECT_FALSE(platform.speech());
  EXPECT_EQ(count(SoundEventKind::play, "Sounds/Music/title.wav"), 1u);
  for (const SoundEvent& event : log.events()) {
    if (event.kind == SoundEventKind::play && event.path == "Sounds/Music/title.wav") {
      EXPECT_EQ(event.volume, 10);
    }
  }
}

}  // namespace
}  // namespace tornello
