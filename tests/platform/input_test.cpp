#include "platform/input.h"

#include <gtest/gtest.h>

#include "platform/headless/headless_platform.h"

namespace tornello {
namespace {

TEST(Keyboard, HeldKeyIsReleasedOnceOnlyIfSeenHeldAndFocusLossKeepsTheSeenHeldFlag) {
  HeadlessPlatform platform;
  ScriptedInput script;
  platform.set_input(&script);
  Keyboard keyboard;
  ASSERT_TRUE(keyboard.init(platform));
  script.hold({key::enter, key::up}, 3).idle(2);
  for (int pass = 0; pass < 3; ++pass) {
    ASSERT_TRUE(keyboard.examine(platform));
    EXPECT_TRUE(keyboard.key_down(key::enter));
    EXPECT_FALSE(keyboard.key_released(key::enter));
  }
  keyboard.examine(platform);
  EXPECT_FALSE(keyboard.key_down(key::enter));
  EXPECT_TRUE(keyboard.key_released(key::enter));
  EXPECT_FALSE(keyboard.key_released(key::enter));
  EXPECT_FALSE(keyboard.key_released(key::up)) << "nobody asked about Up while it was held";
  keyboard.examine(platform);
  EXPECT_FALSE(keyboard.key_released(key::enter));
  // Without focus every key reads up, and a key seen held keeps its flag.
  script.hold({key::enter, key::page_up}).hold({key::page_up}, 2).idle();
  keyboard.examine(platform);
  EXPECT_FALSE(keyboard.key_released(key::enter));  // seen held
  keyboard.examine(platform);  // Enter is up now, but nobody asks until the focus is gone
  EXPECT_TRUE(keyboard.key_down(key::page_up));
  platform.set_focus(false);
  EXPECT_FALSE(keyboard.examine(platform));
  EXPECT_FALSE(keyboard.key_released(key::enter)) << "every key answers 0 without focus";
  EXPECT_FALSE(keyboard.key_down(key::page_up));
  platform.set_focus(true);
  ASSERT_TRUE(keyboard.examine(platform));
  EXPECT_TRUE(keyboard.key_released(key::enter)) << "reported on the first read after focus";
}

TEST(Input, MouseSumsCoverOneExamineAndJoystickAxesHaveDeadZones) {
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
    int moves = 1;
    int32_t x = 0;
  } source;
  HeadlessPlatform platform;
  platform.set_input(&source);
  Mouse mouse;
  ASSERT_TRUE(mouse.init(platform));
  ASSERT_TRUE(mouse.examine(platform));
  EXPECT_EQ(mouse.delta_x(), 7);
  EXPECT_TRUE(mouse.button(1));
  EXPECT_FALSE(mouse.button(2));
  mouse.examine(platform);
  EXPECT_EQ(mouse.delta_x(), 0) << "a mouse at rest reads 0 whatever it moved before";
  Joysticks none;  // no controller attached answers 0
  EXPECT_EQ(none.init(platform), 0);
  EXPECT_FALSE(none.examine(platform, 0));
  EXPECT_EQ(none.axis_x(0), 0);
  EXPECT_FALSE(none.button(0, 1));
  platform.set_joystick_count(1);
  Joysticks sticks;
  ASSERT_EQ(sticks.init(platform), 1);
  EXPECT_FALSE(sticks.examine(platform, -1));
  for (auto [x, expected] : {std::pair{-500, 0}, {500, 0}, {-501, -1}, {501, 1}, {0, 0}}) {
    source.x = x;
    ASSERT_TRUE(sticks.examine(platform, 0));
    EXPECT_EQ(sticks.axis_x(0), expected) << "x " << x;
  }
  EXPECT_TRUE(sticks.button(0, 1));
  EXPECT_FALSE(sticks.button(0, 2));
}

}  // namespace
}  // namespace tornello
