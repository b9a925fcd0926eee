#include "shell/character_select.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "shell_fixture.h"

namespace tornello {
namespace {

using Lines = std::vector<std::string>;

class CharacterSelectTest : public ShellTest {
 protected:
  CharacterSelectTest() {
    write_sound("Sounds/Music/Charselect.wav");
    for (const char* name : {"csenter", "CSMove", "CSExit", "0", "1", "2", "3", "4", "5"}) {
      write_sound(std::string("Sounds/CharSelect/") + name + ".wav");
    }
  }
  int32_t choose_after(std::initializer_list<KeyCode> taps) {
    for (KeyCode k : taps) script.tap(k);
    script.tap(key::enter);
    return choose_character(*game);
  }
};

TEST_F(CharacterSelectTest, ArrowsStepThroughFiveCharactersAndWrapBothWays) {
  EXPECT_EQ(choose_after({}), 0) << "confirmed before choosing";
  EXPECT_EQ(choose_after({key::right}), 1);
  EXPECT_EQ(choose_after({key::right, key::left}), 5);
  EXPECT_EQ(choose_after({key::right, key::right, key::right, key::left}), 2);
}

// Left from the start gives 5, however long it is held.
TEST_F(CharacterSelectTest, EachPressStepsOnceAndLeftComesBeforeRight) {
  script.hold({key::left}, 30).idle().hold({key::enter}, 30).idle();
  EXPECT_EQ(choose_character(*game), 5);
  EXPECT_EQ(count(SoundEventKind::load, "sounds/CharSelect/CSMove.wav"), 1u);
  // Both first seen in one pass from the start: back to 5, then on to 1.
  log.clear();
  script.hold({key::left, key::right}).tap(key::enter);
  EXPECT_EQ(choose_character(*game), 1);
  EXPECT_EQ(played(), (Lines{"sounds/charselect/csenter.wav", "sounds/charselect/0.wav",
                             "sounds/CharSelect/CSMove.wav", "sounds/charselect/5.wav",
                             "sounds/CharSelect/CSMove.wav", "sounds/charselect/1.wav",
                             "sounds/CharSelect/CSExit.wav"}));
  // Each voice was cut off by the next; the exit cue was freed after its second.
  for (const char* voice : {"0", "5", "1"}) {
    EXPECT_EQ(count(SoundEventKind::free, std::string("sounds/charselect/") + voice + ".wav"), 1u);
  }
  EXPECT_EQ(count(SoundEventKind::free, "sounds/CharSelect/CSExit.wav"), 1u);
}

TEST_F(CharacterSelectTest, ConfirmationReturnsASecondAfterTheReleaseWithTheTrackPlaying) {
  game->settings.music_volume = 40.0f;
  script.hold({key::enter}, 5);
  uint32_t released_at = 0;
  release_all_at_end(released_at);
  EXPECT_EQ(choose_character(*game), 0);
  EXPECT_GT(ms_between(released_at, platform.elapsed_ms()), 1000);
  EXPECT_LT(ms_between(released_at, platform.elapsed_ms()), 1010);
  EXPECT_EQ(played().back(), "sounds/CharSelect/CSExit.wav");
  // The selection track plays on at full level for the caller to replace.
  EXPECT_EQ(game->music.current_name, "Charselect");
  EXPECT_EQ(game->sound.volume(game->music.current), 100);
  EXPECT_TRUE(game->sound.is_playing(game->music.current));
  EXPECT_EQ(game->sound.loaded_count(), 1u);
}

TEST_F(CharacterSelectTest, MissingSoundsOnlySilenceTheScreen) {
  std::filesystem::remove_all(data.path() + "/Sounds");
  game->files.clear();
  EXPECT_EQ(choose_after({key::left, key::left}), 4);
  EXPECT_TRUE(played().empty());
  EXPECT_EQ(game->sound.loaded_count(), 0u);
}

}  // namespace
}  // namespace tornello
