// The layer under the game: keys, mouse, controllers and chance.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/headless/headless_platform.h"
#include "platform/input.h"
#include "platform/random.h"

namespace tornello {
namespace {

TEST(Keyboard, ReleasedOnceOnlyIfSeenHeldAndNothingWithoutFocus) {
  HeadlessPlatform platform;
  ScriptedInput script;
  platform.set_input(&script);
  Keyboard keyboard;
  ASSERT_TRUE(keyboard.init(platform));
  script.hold({key::enter, key::up}, 2).idle(2).hold({key::enter, key::page_up}).idle();
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_TRUE(keyboard.examine(platform));
    EXPECT_TRUE(keyboard.key_down(key::enter) && !keyboard.key_released(key::enter));
  }
  keyboard.examine(platform);
  EXPECT_FALSE(keyboard.key_down(key::enter));
  EXPECT_TRUE(keyboard.key_released(key::enter));
  EXPECT_FALSE(keyboard.key_released(key::enter));
  EXPECT_FALSE(keyboard.key_released(key::up)) << "nobody asked about Up while it was held";
  keyboard.examine(platform);
  keyboard.examine(platform);
  EXPECT_FALSE(keyboard.key_released(key::enter));  // seen held
  platform.set_focus(false);
  EXPECT_FALSE(keyboard.examine(platform));
  EXPECT_FALSE(keyboard.key_released(key::enter) || keyboard.key_down(key::page_up));
  platform.set_focus(true);
  ASSERT_TRUE(keyboard.examine(platform));
  EXPECT_TRUE(keyboard.key_released(key::enter)) << "reported on the first read after focus";
}

TEST(Input, MouseAndControllersReadWhatIsThereAndNothingBeyond) {
  struct Source : ScriptedInput {
    void mouse(MouseReading& out) override {
      out = MouseReading{};
      out.delta_x = moves-- > 0 ? 7 : 0;
      out.buttons[0] = true;
    }
    void joystick(int, JoystickReading& out) override {
      out = JoystickReading{};
      out.x = x;
      out.buttons[0] = 0x80;
    }
    int moves = 2;
    int32_t x = 0;
  } source;
  HeadlessPlatform platform;
  platform.set_input(&source);
  Mouse mouse;
  ASSERT_TRUE(mouse.init(platform));
  ASSERT_TRUE(mouse.examine(platform));
  EXPECT_EQ(mouse.delta_x(), 7);
  EXPECT_TRUE(mouse.button(1) && !mouse.button(2));
  platform.set_focus(false);
  EXPECT_FALSE(mouse.examine(platform)) << "a failed read is told as one";
  EXPECT_EQ(mouse.delta_x(), 0);
  platform.set_focus(true);
  mouse.examine(platform);
  EXPECT_EQ(mouse.delta_x(), 7);
  mouse.examine(platform);
  EXPECT_EQ(mouse.delta_x(), 0) << "a mouse at rest reads 0 whatever it moved before";

  Joysticks sticks;
  EXPECT_EQ(sticks.init(platform), 0);  // none attached: everything answers 0
  EXPECT_FALSE(sticks.examine(platform, 0) || sticks.button(0, 1));
  platform.set_joystick_count(2);
  ASSERT_EQ(sticks.init(platform), 2);
  EXPECT_FALSE(sticks.examine(platform, -1));
  for (auto [x, expected] : {std::pair{-500, 0}, {500, 0}, {-501, -1}, {501, 1}}) {
    source.x = x;
    ASSERT_TRUE(sticks.examine(platform, 1));
    EXPECT_EQ(sticks.axis_x(1), expected) << "x " << x;
  }
  EXPECT_TRUE(sticks.button(1, 1) && !sticks.button(1, 2));
}

// Reference draws (seed, max, then twenty draws; max -1 gives the raw output).
TEST(RandomInt, MatchesReferenceSequences) {
  std::ifstream file(TORNELLO_TEST_DATA "/random_int.txt");
  int checked = 0;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    int64_t seed = 0, max = 0, expected = 0;
    fields >> seed >> max;
    Random random;
    random.seed(static_cast<uint32_t>(seed));
    for (int k = 0; k < 20 && fields >> expected; ++k, ++checked) {
      EXPECT_EQ(static_cast<uint32_t>(random.next(static_cast<int32_t>(max))),
                static_cast<uint32_t>(expected))
          << "seed " << seed << " max " << max << " draw " << k;
    }
  }
  EXPECT_GE(checked, 30 * 20);
}

}  // namespace
}  // namespace tornello
