#include "shell/menu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell_fixture.h"

namespace tornello {
namespace {

using Lines = std::vector<std::string>;

class MenuTest : public ShellTest {
 protected:
  MenuTest() { data.write("Menu/EN/colours.mnu", "Colours\nred\ngreen\nblue\n"); }
};

TEST_F(MenuTest, ColoursWalkWrapsBothWaysWhateverTheFileEndsWith) {
  for (const char* text : {"Colours\nred\ngreen\nblue", "Colours\r\nred\r\ngreen\r\nblue\r\n",
                           "Colours\nred\ngreen\nblue\n"}) {
    data.write("Menu/EN/colours.mnu", text);
    // Down to green, blue, red, green; back to red; Up wraps to blue.
    for (int n = 0; n < 4; ++n) script.tap(key::down);
    script.tap(key::up).tap(key::up).tap(key::enter);
    EXPECT_EQ(run_menu(*game, "colours"), 3);
    const Lines& said = platform.titles();
    EXPECT_EQ(Lines(said.end() - 7, said.end()),
              (Lines{"Colours", "green", "blue", "red", "green", "red", "blue"}))
        << text;
  }
}

TEST_F(MenuTest, EnterChoosesOnReleaseAfterTheSelectSoundAndASecond) {
  write_menu_sounds();
  script.hold({key::enter}, 50);
  uint32_t released_at = 0;
  release_all_at_end(released_at);
  EXPECT_EQ(run_menu(*game, "colours"), 1);
  EXPECT_EQ(spoken(), (Lines{"Colours"})) << "the start item is not spoken";
  EXPECT_EQ(played(), (Lines{"Sounds/menu/Open.wav", "Sounds/Menu/Select.wav"}));
  EXPECT_GT(ms_between(released_at, platform.elapsed_ms()), 1000);
  EXPECT_LT(ms_between(released_at, platform.elapsed_ms()), 1010);
  EXPECT_EQ(game->sound.loaded_count(), 0u) << "the menu's sounds are freed when it closes";
}

// Each pass waits one virtual millisecond for input, as the menu always did: a
// key is answered in the pass that reads it, and Enter's release returns the
// choice a second later to the millisecond.
TEST_F(MenuTest, KeysAreAnsweredInThePassThatReadsThem) {
  script.idle(4).hold({key::down}).idle(2).tap(key::enter);
  const uint32_t opened = platform.elapsed_ms();
  EXPECT_EQ(run_menu(*game, "colours"), 2);
  EXPECT_EQ(platform.titles().back(), "green");
  EXPECT_EQ(platform.title_times().back(), opened + 4);
  EXPECT_EQ(platform.elapsed_ms(), opened + 8 + 1001);
}

TEST_F(MenuTest, ArrowsStepOncePerPressEvenAcrossMenus) {
  write_menu_sounds();
  // Down held is one step; Down and Up first seen together step down, then up;
  // an arrow and Enter's release in one pass move first and return the new item.
  script.hold({key::down}, 20).idle().hold({key::down, key::up}).idle();
  script.hold({key::enter}, 3).hold({key::down}, 5);
  // Down is still held when the next menu opens: not a new press there.
  script.hold({key::down, key::enter}).hold({key::down});
  EXPECT_EQ(run_menu(*game, "colours"), 3);
  EXPECT_EQ(run_menu(*game, "colours"), 1);
  EXPECT_EQ(spoken(), (Lines{"Colours", "green", "blue", "green", "blue", "Colours"}));
  EXPECT_EQ(count(SoundEventKind::play, "Sounds/Menu/Click.wav"), 4u);
}

TEST_F(MenuTest, TitleOnlyFileHasOneEmptyItemAndLinesPastAThousandAreIgnored) {
  data.write("Menu/EN/lonely.mnu", "Only a title\n");
  std::string text = "Long\n";
  for (int n = 1; n <= 1001; ++n) text += "item " + std::to_string(n) + "\n";
  data.write("Menu/EN/long.mnu", text);
  script.tap(key::down).tap(key::enter);
  EXPECT_EQ(run_menu(*game, "lonely"), 1);
  script.tap(key::up).tap(key::down).tap(key::up).tap(key::enter);
  EXPECT_EQ(run_menu(*game, "long"), 1000);
  EXPECT_EQ(spoken(), (Lines{"Only a title", "", "Long", "item 1000", "item 1", "item 1000"}));
}

TEST_F(MenuTest, MissingFileFallsBackToEnglishThenEndsWithItsPath) {
  game->settings.language = "de";
  data.write("Menu/de/main.mnu", "Hauptmenue\nEins\n");
  script.tap(key::enter).tap(key::enter);
  EXPECT_EQ(run_menu(*game, "main"), 1);
  EXPECT_EQ(run_menu(*game, "colours"), 1);
  EXPECT_EQ(run_menu(*game, "gamemode"), std::nullopt);
  EXPECT_EQ(spoken(),
            (Lines{"Hauptmenue", "Colours", "Menu file not found: Menu\\de\\gamemode.mnu"}));
  EXPECT_EQ(script.passes_left(), 0u);
}

}  // namespace
}  // namespace tornello
