#include "platform/sdl/input_map.h"

#include <SDL2/SDL_keyboard.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

namespace tornello {
namespace {

TEST(KeyTable, GameKeysHaveTheirCodes) {
  EXPECT_EQ(key_code_from_scancode(SDL_SCANCODE_ESCAPE), key::escape);
  EXPECT_EQ(key_code_from_scancode(SDL_SCANCODE_RETURN), key::enter);
  EXPECT_EQ(key_code_from_scancode(SDL_SCANCODE_KP_ENTER), key::keypad_enter);
  EXPECT_EQ(key_code_from_scancode(SDL_SCANCODE_UP), key::up);
  EXPECT_EQ(key_code_from_scancode(SDL_SCANCODE_DOWN), key::down);
  EXPECT_EQ(key_code_from_scancode(SDL_SCANCODE_LEFT), key::left);
  EXPECT_EQ(key_code_from_scancode(SDL_SCANCODE_RIGHT), key::right);
  EXPECT_EQ(key_code_from_scancode(SDL_SCANCODE_PAGEUP), key::page_up);
  EXPECT_EQ(key_code_from_scancode(SDL_SCANCODE_PAGEDOWN), key::page_down);
  EXPECT_EQ(key_code_from_scancode(SDL_SCANCODE_BACKSPACE), key::backspace);
  EXPECT_EQ(key_code_from_scancode(SDL_SCANCODE_SPACE), key::space);
}

TEST(KeyTable, RowsOfTheMainBlockRunInScanOrder) {
  // Set-1 codes number each row of letters from its left end.
  const std::vector<std::pair<std::vector<SDL_Scancode>, KeyCode>> rows = {
      {{SDL_SCANCODE_1, SDL_SCANCODE_2, SDL_SCANCODE_3, SDL_SCANCODE_4, SDL_SCANCODE_5,
        SDL_SCANCODE_6, SDL_SCANCODE_7, SDL_SCANCODE_8, SDL_SCANCODE_9, SDL_SCANCODE_0},
       0x02},
      {{SDL_SCANCODE_Q, SDL_SCANCODE_W, SDL_SCANCODE_E, SDL_SCANCODE_R, SDL_SCANCODE_T,
        SDL_SCANCODE_Y, SDL_SCANCODE_U, SDL_SCANCODE_I, SDL_SCANCODE_O, SDL_SCANCODE_P},
       0x10},
      {{SDL_SCANCODE_A, SDL_SCANCODE_S, SDL_SCANCODE_D, SDL_SCANCODE_F, SDL_SCANCODE_G,
        SDL_SCANCODE_H, SDL_SCANCODE_J, SDL_SCANCODE_K, SDL_SCANCODE_L},
       0x1E},
      {{SDL_SCANCODE_Z, SDL_SCANCODE_X, SDL_SCANCODE_C, SDL_SCANCODE_V, SDL_SCANCODE_B,
        SDL_SCANCODE_N, SDL_SCANCODE_M},
       0x2C},
      {{SDL_SCANCODE_F1, SDL_SCANCODE_F2, SDL_SCANCODE_F3, SDL_SCANCODE_F4, SDL_SCANCODE_F5,
        SDL_SCANCODE_F6, SDL_SCANCODE_F7, SDL_SCANCODE_F8, SDL_SCANCODE_F9, SDL_SCANCODE_F10},
       0x3B},
  };
  for (const auto& [keys, first] : rows) {
    for (size_t k = 0; k < keys.size(); ++k) {
      EXPECT_EQ(key_code_from_scancode(keys[k]), first + k) << SDL_GetScancodeName(keys[k]);
    }
  }
}

TEST(KeyTable, EveryCodeOfTheMainBlockAndKeypadIsReached) {
  // 0x01 (Escape) to 0x53 (keypad period) is one unbroken run of keys.
  std::set<int> reached;
  for (int s = 0; s < SDL_NUM_SCANCODES; ++s) {
    reached.insert(key_code_from_scancode(static_cast<SDL_Scancode>(s)));
  }
  for (int code = 0x01; code <= 0x53; ++code) EXPECT_TRUE(reached.count(code)) << code;
  for (int code : {0x56, 0x57, 0x58}) EXPECT_TRUE(reached.count(code)) << code;
}

TEST(KeyTable, ExtendedKeysAreTheirTwinPlus128) {
  // Each extended key shares its set-1 code with a keypad or main-block key.
  const std::vector<std::pair<SDL_Scancode, SDL_Scancode>> twins = {
      {SDL_SCANCODE_KP_ENTER, SDL_SCANCODE_RETURN}, {SDL_SCANCODE_RCTRL, SDL_SCANCODE_LCTRL},
      {SDL_SCANCODE_RALT, SDL_SCANCODE_LALT},       {SDL_SCANCODE_KP_DIVIDE, SDL_SCANCODE_SLASH},
      {SDL_SCANCODE_HOME, SDL_SCANCODE_KP_7},       {SDL_SCANCODE_UP, SDL_SCANCODE_KP_8},
      {SDL_SCANCODE_PAGEUP, SDL_SCANCODE_KP_9},     {SDL_SCANCODE_LEFT, SDL_SCANCODE_KP_4},
      {SDL_SCANCODE_RIGHT, SDL_SCANCODE_KP_6},      {SDL_SCANCODE_END, SDL_SCANCODE_KP_1},
      {SDL_SCANCODE_DOWN, SDL_SCANCODE_KP_2},       {SDL_SCANCODE_PAGEDOWN, SDL_SCANCODE_KP_3},
      {SDL_SCANCODE_INSERT, SDL_SCANCODE_KP_0},     {SDL_SCANCODE_DELETE, SDL_SCANCODE_KP_PERIOD},
  };
  for (const auto& [extended, twin] : twins) {
    EXPECT_EQ(key_code_from_scancode(extended), key_code_from_scancode(twin) + 128)
        << SDL_GetScancodeName(extended);
  }
}

TEST(KeyTable, NoTwoKeysShareACodeAndUnknownKeysHaveNone) {
  std::set<int> seen;
  for (int s = 0; s < SDL_NUM_SCANCODES; ++s) {
    if (s == SDL_SCANCODE_NONUSHASH) continue;  // the ISO board's key in the backslash place
    const KeyCode code = key_code_from_scancode(static_cast<SDL_Scancode>(s));
    if (code == 0) continue;
    EXPECT_TRUE(seen.insert(code).second) << "code " << int(code) << " twice, scancode " << s;
  }
  EXPECT_EQ(key_code_from_scancode(SDL_SCANCODE_UNKNOWN), 0);
  EXPECT_EQ(key_code_from_scancode(SDL_SCANCODE_F24), 0);
  EXPECT_EQ(key_code_from_scancode(static_cast<SDL_Scancode>(-1)), 0);
  EXPECT_EQ(key_code_from_scancode(static_cast<SDL_Scancode>(SDL_NUM_SCANCODES)), 0);
}

TEST(AxisScaling, EndsCentreAndEvenSteps) {
  EXPECT_EQ(scale_axis(-32768), -1000);
  EXPECT_EQ(scale_axis(32767), 1000);
  EXPECT_EQ(scale_axis(0), 0);
  EXPECT_EQ(scale_axis(-1), 0);
  // Monotonic, never jumping by more than one step, and mirrored within rounding.
  int previous = scale_axis(-32768);
  for (int v = -32767; v <= 32767; ++v) {
    const int scaled = scale_axis(static_cast<int16_t>(v));
    ASSERT_GE(scaled, previous) << v;
    ASSERT_LE(scaled - previous, 1) << v;
    ASSERT_LE(std::abs(scaled + scale_axis(static_cast<int16_t>(-v - 1))), 1) << v;
    previous = scaled;
  }
  // The game's dead zone of 500 falls half way out.
  EXPECT_EQ(scale_axis(16383), 500);
  EXPECT_GT(scale_axis(16417), 500);
}

class Snapshotter : public ::testing::Test {
 protected:
  void press(SDL_Scancode s) { state[s] = 1; }
  void release(SDL_Scancode s) { state[s] = 0; }
  KeyboardSnapshot read() {
    KeyboardSnapshot out;
    for (auto& byte : out.keys) byte = 0x55;  // a reading starts from nothing
    keys.fill(state, SDL_NUM_SCANCODES, out);
    return out;
  }

  uint8_t state[SDL_NUM_SCANCODES] = {};
  KeySnapshotter keys;
};

TEST_F(Snapshotter, HeldKeysSetBit7AndNothingElse) {
  press(SDL_SCANCODE_UP);
  press(SDL_SCANCODE_KP_ENTER);
  const KeyboardSnapshot snap = read();
  for (int code = 0; code < 256; ++code) {
    const bool held = code == key::up || code == key::keypad_enter;
    EXPECT_EQ(snap.keys[code], held ? 0x80 : 0) << code;
  }
}

TEST_F(Snapshotter, KeysHeldAfterAPromptStayHiddenUntilSeenUp) {
  press(SDL_SCANCODE_RETURN);
  keys.hide_held_keys();
  EXPECT_EQ(read().keys[key::enter], 0);
  EXPECT_EQ(read().keys[key::enter], 0);  // still the same press
  release(SDL_SCANCODE_RETURN);
  EXPECT_EQ(read().keys[key::enter], 0);
  press(SDL_SCANCODE_RETURN);  // a new press is the player's
  EXPECT_EQ(read().keys[key::enter], 0x80);
}

TEST_F(Snapshotter, AKeyDownOnlyWhenTheWindowComesBackIsStillHidden) {
  // The prompt closes before the window sees Enter again; the first reading
  // after that finds it held and must not pass it on.
  keys.hide_held_keys();
  press(SDL_SCANCODE_RETURN);
  press(SDL_SCANCODE_LEFT);
  KeyboardSnapshot snap = read();
  EXPECT_EQ(snap.keys[key::enter], 0);
  EXPECT_EQ(snap.keys[key::left], 0);
  release(SDL_SCANCODE_LEFT);
  read();
  press(SDL_SCANCODE_LEFT);
  snap = read();
  EXPECT_EQ(snap.keys[key::enter], 0);
  EXPECT_EQ(snap.keys[key::left], 0x80);
}

TEST_F(Snapshotter, ShortStateArraysAreReadSafely) {
  state[SDL_SCANCODE_A] = 1;
  KeyboardSnapshot out;
  keys.fill(state, SDL_SCANCODE_A, out);  // A lies just past the end
  EXPECT_EQ(out.keys[0x1E], 0);
}

}  // namespace
}  // namespace tornello
