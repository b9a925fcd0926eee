#include "shell/character_select.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(choose_after({key::left}), 5);
  EXPECT_EQ(choose_after({key::right}), 1);
  EXPECT_EQ(choose_after({key::left, key::right}), 1) << "from 5, Right wraps to 1";
  EXPECT_EQ(choose_after({key::right, key::left}), 5) << "from 1, Left wraps to 5";
  EXPECT_EQ(choose_after({key::right, key::right, key::right, key::left}), 2);
  EXPECT_EQ(choose_after({key::right, key::right, key::right, key::right, key::right, key::right}),
            1);
}

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
}

TEST_F(CharacterSelectTest, SelectionTrackAtFullLevelAndEverySoundFreedButIt) {
  game->settings.music_volume = 40.0f;
  EXPECT_EQ(choose_after({key::right, key::right}), 2);
  EXPECT_EQ(game->music.current_name, "Charselect");
  EXPECT_EQ(game->sound.volume(game->music.current), 100);
  EXPECT_TRUE(game->sound.is_playing(game->music.current)) << "left playing for the caller";
  EXPECT_EQ(game->sound.loaded_count(), 1u);
  // Each step cut the previous voice off before loading the next.
  EXPECT_EQ(count(SoundEventKind::free, "sounds/charselect/1.wav"), 1u);
  EXPECT_EQ(count(SoundEventKind::free, "sounds/charselect/2.wav"), 1u);
  EXPECT_EQ(count(SoundEventKind::free, "sounds/CharSelect/CSExit.wav"), 1u);
}

// Records the clock at every keyboard read, to time the screen's passes.
class TimedInput : public InputSource {
 public:
  TimedInput(ScriptedInput& script, Platform& platform) : script_(script), platform_(platform) {}
  void keyboard(KeyboardSnapshot& out) override {
    reads.push_back(platform_.elapsed_ms());
    script_.keyboard(out);
  }
  std::optional<std::string> answer(const std::string& title, const std::string& prompt,
                                    const std::string& default_text) override {
    return script_.answer(title, prompt, default_text);
  }
  std::vector<uint32_t> reads;

 private:
  ScriptedInput& script_;
  Platform& platform_;
};

TEST_F(CharacterSelectTest, ConfirmationPlaysTheExitCueAndReturnsASecondLater) {
  TimedInput timed(script, platform);
  platform.set_input(&timed);
  script.hold({key::enter}, 5).idle();
  EXPECT_EQ(choose_character(*game), 0);
  ASSERT_EQ(timed.reads.size(), 6u);
  for (size_t n = 1; n < timed.reads.size(); ++n) {
    EXPECT_GT(ms_between(timed.reads[n - 1], timed.reads[n]), 16) << "each pass waits";
  }
  const int32_t after_release = ms_between(timed.reads.back(), platform.elapsed_ms());
  EXPECT_GT(after_release, 1000);
  EXPECT_LT(after_release, 1010);
  EXPECT_EQ(played().back(), "sounds/CharSelect/CSExit.wav");
  EXPECT_EQ(count(SoundEventKind::free, "sounds/charselect/0.wav"), 1u)
      << "the prompt is silenced on confirmation";
}

TEST_F(CharacterSelectTest, MissingSoundsChangeNothingButTheSilence) {
  std::filesystem::remove_all(data.path() + "/Sounds");
  game->files.clear();
  EXPECT_EQ(choose_after({key::left, key::left}), 4);
  EXPECT_TRUE(played().empty());
  EXPECT_EQ(game->sound.loaded_count(), 0u);
}

}  // namespace
}  // namespace tornello
