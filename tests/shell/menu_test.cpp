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
  void write_menu(const std::string& language, const std::string& name, const std::string& text) {
    data.write("Menu/" + language + "/" + name + ".mnu", text);
  }
  void write_menu_sounds() {
    write_sound("Sounds/Menu/Open.wav");
    write_sound("Sounds/Menu/Click.wav");
    write_sound("Sounds/Menu/Select.wav");
  }
};

TEST_F(MenuTest, ColoursWalkWrapsBothWaysWhateverTheFileEndsWith) {
  for (const char* text : {"Colours\nred\ngreen\nblue\n", "Colours\nred\ngreen\nblue",
                           "Colours\r\nred\r\ngreen\r\nblue\r\n"}) {
    SCOPED_TRACE(text);
    write_menu("EN", "colours", text);
    game->files.clear();
    const size_t first = spoken().size();
    // Down to green, blue, red, green; back to red; Up wraps to blue.
    for (int n = 0; n < 4; ++n) script.tap(key::down);
    script.tap(key::up).tap(key::up).tap(key::enter);
    EXPECT_EQ(run_menu(*game, "colours"), 3);
    const Lines all = spoken();
    const Lines heard(all.begin() + static_cast<long>(first), all.end());
    EXPECT_EQ(heard, (Lines{"Colours", "green", "blue", "red", "green", "red", "blue"}));
  }
}

TEST_F(MenuTest, EnterChoosesOnReleaseAfterTheSelectSoundAndASecond) {
  write_menu("EN", "colours", "Colours\nred\ngreen\nblue\n");
  write_menu_sounds();
  script.hold({key::enter}, 50);
  uint32_t released_at = 0;
  script.on_empty = [&](ScriptedInput& s) {
    if (released_at != 0) throw ScriptRanOut();
    released_at = platform.elapsed_ms();
    s.idle();
  };
  EXPECT_EQ(run_menu(*game, "colours"), 1);
  EXPECT_EQ(spoken(), (Lines{"Colours"})) << "the start item is not spoken";
  EXPECT_EQ(played(), (Lines{"Sounds/menu/Open.wav", "Sounds/Menu/Select.wav"}));
  EXPECT_GT(ms_between(released_at, platform.elapsed_ms()), 1000);
  EXPECT_LT(ms_between(released_at, platform.elapsed_ms()), 1010);
  EXPECT_EQ(game->sound.loaded_count(), 0u) << "the menu's sounds are freed when it closes";
}

TEST_F(MenuTest, ArrowsStepOncePerPressAndInTheirOrder) {
  write_menu("EN", "colours", "Colours\nred\ngreen\nblue\n");
  write_menu_sounds();
  // Down held for many passes is one step; Down and Up first seen together step
  // down, then up, speaking both; an arrow and Enter's release in one pass move
  // first and return the item moved to.
  script.hold({key::down}, 20).idle();
  script.hold({key::down, key::up}).idle();
  script.hold({key::enter}, 3).hold({key::up});
  EXPECT_EQ(run_menu(*game, "colours"), 1);
  EXPECT_EQ(spoken(), (Lines{"Colours", "green", "blue", "green", "red"}));
  EXPECT_EQ(count(SoundEventKind::play, "Sounds/Menu/Click.wav"), 4u);
}

TEST_F(MenuTest, KeyHeldIntoTheNextMenuIsNotANewPress) {
  write_menu("EN", "colours", "Colours\nred\ngreen\nblue\n");
  // Down goes down in the pass that lets Enter go, and stays held into the
  // next menu: that menu must not step.
  script.hold({key::enter}).hold({key::down}, 5).hold({key::down, key::enter}).hold({key::down});
  EXPECT_EQ(run_menu(*game, "colours"), 2);
  EXPECT_EQ(run_menu(*game, "colours"), 1);
  EXPECT_EQ(spoken(), (Lines{"Colours", "green", "Colours"}));
}

TEST_F(MenuTest, TitleOnlyFileHasOneEmptyItem) {
  for (const char* text : {"Only a title", "Only a title\n", "Only a title\r\n"}) {
    write_menu("EN", "lonely", text);
    game->files.clear();
    script.tap(key::down).tap(key::up).tap(key::enter);
    EXPECT_EQ(run_menu(*game, "lonely"), 1) << text;
  }
  EXPECT_EQ(spoken(),
            (Lines{"Only a title", "", "", "Only a title", "", "", "Only a title", "", ""}));
}

TEST_F(MenuTest, ItemsPastOneThousandAreIgnored) {
  std::string text = "Long\n";
  for (int n = 1; n <= 1001; ++n) text += "item " + std::to_string(n) + "\n";
  write_menu("EN", "long", text);
  script.tap(key::up).tap(key::down).tap(key::up).tap(key::enter);
  EXPECT_EQ(run_menu(*game, "long"), 1000);
  EXPECT_EQ(spoken(), (Lines{"Long", "item 1000", "item 1", "item 1000"}));

  std::optional<MenuFile> menu = read_menu_file(game->files, menu_path("EN", "long"));
  ASSERT_TRUE(menu);
  EXPECT_EQ(menu->items.size(), 1000u);
}

TEST_F(MenuTest, MissingFileFallsBackToEnglishThenEndsWithItsPath) {
  game->settings.language = "de";
  write_menu("de", "main", "Hauptmenue\nEins\n");
  write_menu("en", "connect", "Connect\nOne\n");
  script.tap(key::enter).tap(key::enter);
  EXPECT_EQ(run_menu(*game, "main"), 1);
  EXPECT_EQ(run_menu(*game, "connect"), 1);

  EXPECT_EQ(run_menu(*game, "gamemode"), std::nullopt);
  EXPECT_EQ(spoken(),
            (Lines{"Hauptmenue", "Connect", "Menu file not found: Menu\\de\\gamemode.mnu"}));
  EXPECT_EQ(script.passes_left(), 0u);
  EXPECT_TRUE(played().empty()) << "no menu opens, so no menu sound plays";

  game->settings.language = "EN";
  EXPECT_EQ(run_menu(*game, "nothing"), std::nullopt);
  EXPECT_EQ(spoken().back(), "Menu file not found: Menu\\EN\\nothing.mnu");
}

TEST_F(MenuTest, KeyPressedOnceIsArmedAgainOnlyByARelease) {
  script.hold({key::left}, 3).idle().hold({key::left}).hold({key::right});
  std::vector<bool> left;
  std::vector<bool> right;
  for (int pass = 0; pass < 6; ++pass) {
    game->keyboard.examine(platform);
    left.push_back(key_pressed_once(*game, key::left));
    right.push_back(key_pressed_once(*game, key::right));
  }
  EXPECT_EQ(left, (std::vector<bool>{true, false, false, false, true, false}));
  EXPECT_EQ(right, (std::vector<bool>{false, false, false, false, false, true}));
}

}  // namespace
}  // namespace tornello
