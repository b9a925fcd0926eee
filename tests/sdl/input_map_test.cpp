#include "platform/sdl/input_map.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

namespace tornello {
namespace {

KeyCode code_of(int scancode) {
  return key_code_from_scancode(static_cast<SDL_Scancode>(scancode));
}

TEST(KeyTable, GameKeysAndTheirExtendedTwins) {
  EXPECT_EQ(code_of(SDL_SCANCODE_ESCAPE), key::escape);
  EXPECT_EQ(code_of(SDL_SCANCODE_RETURN), key::enter);
  EXPECT_EQ(code_of(SDL_SCANCODE_KP_ENTER), key::keypad_enter);
  EXPECT_EQ(code_of(SDL_SCANCODE_Q), 0x10);
  EXPECT_EQ(code_of(SDL_SCANCODE_M), 0x32);
  // An extended key is the keypad or main-block key in its place, plus 128.
  const std::map<SDL_Scancode, SDL_Scancode> twins = {
      {SDL_SCANCODE_UP, SDL_SCANCODE_KP_8},     {SDL_SCANCODE_DOWN, SDL_SCANCODE_KP_2},
      {SDL_SCANCODE_LEFT, SDL_SCANCODE_KP_4},   {SDL_SCANCODE_RIGHT, SDL_SCANCODE_KP_6},
      {SDL_SCANCODE_PAGEUP, SDL_SCANCODE_KP_9}, {SDL_SCANCODE_PAGEDOWN, SDL_SCANCODE_KP_3},
      {SDL_SCANCODE_HOME, SDL_SCANCODE_KP_7},   {SDL_SCANCODE_DELETE, SDL_SCANCODE_KP_PERIOD},
      {SDL_SCANCODE_RCTRL, SDL_SCANCODE_LCTRL}, {SDL_SCANCODE_KP_DIVIDE, SDL_SCANCODE_SLASH},
  };
  for (const auto& [extended, twin] : twins) {
    EXPECT_EQ(code_of(extended), code_of(twin) + 128) << extended;
  }
  EXPECT_EQ(code_of(SDL_SCANCODE_UP), key::up);
  EXPECT_EQ(code_of(SDL_SCANCODE_PAGEDOWN), key::page_down);
}

TEST(KeyTable, MainBlockAndKeypadAreCompleteWithNoCodeTwice) {
  std::map<int, int> scancode_of;
  for (int s = -1; s <= SDL_NUM_SCANCODES; ++s) {
    const KeyCode code = code_of(s);
    if (code == 0 || s == SDL_SCANCODE_NONUSHASH) continue;  // ISO key in the backslash place
    EXPECT_TRUE(scancode_of.emplace(code, s).second) << "code " << int(code) << " twice";
  }
  // Escape (1) to keypad period (0x53) is one unbroken run of keys.
  for (int code = 0x01; code <= 0x53; ++code) EXPECT_TRUE(scancode_of.count(code)) << code;
  EXPECT_EQ(code_of(SDL_SCANCODE_NONUSHASH), code_of(SDL_SCANCODE_BACKSLASH));
  EXPECT_EQ(code_of(SDL_SCANCODE_UNKNOWN), 0);
}

TEST(AxisScaling, EvenStepsFromEndToEnd) {
  EXPECT_EQ(scale_axis(-32768), -1000);
  EXPECT_EQ(scale_axis(0), 0);
  EXPECT_EQ(scale_axis(32767), 1000);
  int previous = -1000;
  for (int v = -32767; v <= 32767; ++v) {
    const int scaled = scale_axis(static_cast<int16_t>(v));
    ASSERT_TRUE(scaled == previous || scaled == previous + 1) << v;
    ASSERT_LE(std::abs(scaled + scale_axis(static_cast<int16_t>(-v - 1))), 1) << v;  // mirrored
    previous = scaled;
  }
}

TEST(KeySnapshotter, KeysHeldWhenAPromptClosesStayHiddenUntilSeenUp) {
  uint8_t state[SDL_NUM_SCANCODES] = {};
  KeySnapshotter keys;
  KeyboardSnapshot snap;
  auto read = [&] {
    snap.keys[0] = 0x80;  // a reading starts from nothing
    keys.fill(state, SDL_NUM_SCANCODES, snap);
  };
  state[SDL_SCANCODE_UP] = 1;
  read();
  EXPECT_EQ(snap.keys[key::up], 0x80);
  EXPECT_EQ(snap.keys[0], 0);

  keys.hide_held_keys();
  state[SDL_SCANCODE_RETURN] = 1;  // seen held only once the window is back
  read();
  read();
  EXPECT_EQ(snap.keys[key::enter], 0);
  EXPECT_EQ(snap.keys[key::up], 0);
  state[SDL_SCANCODE_UP] = 0;
  read();
  state[SDL_SCANCODE_UP] = 1;  // a new press is the player's
  read();
  EXPECT_EQ(snap.keys[key::up], 0x80);
  EXPECT_EQ(snap.keys[key::enter], 0);
  state[SDL_SCANCODE_RETURN] = 0;
  read();
  state[SDL_SCANCODE_RETURN] = 1;
  read();
  EXPECT_EQ(snap.keys[key::enter], 0x80);
}

}  // namespace
}  // namespace tornello
