#include "platform/sdl/input_map.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

namespace tornello {
namespace {

KeyCode code_of(int scancode) {
  return key_code_from_scancode(static_cast<SDL_Scancode>(scancode));
}

TEST(KeyTable, KeysHaveTheirDirectInputNumbers) {
  const std::pair<SDL_Scancode, int> numbers[] = {
      {SDL_SCANCODE_ESCAPE, 0x01},    {SDL_SCANCODE_RETURN, 0x1C},   {SDL_SCANCODE_Q, 0x10},
      {SDL_SCANCODE_M, 0x32},         {SDL_SCANCODE_KP_ENTER, 0x9C}, {SDL_SCANCODE_RCTRL, 0x9D},
      {SDL_SCANCODE_KP_DIVIDE, 0xB5}, {SDL_SCANCODE_HOME, 0xC7},     {SDL_SCANCODE_UP, 0xC8},
      {SDL_SCANCODE_PAGEUP, 0xC9},    {SDL_SCANCODE_LEFT, 0xCB},     {SDL_SCANCODE_RIGHT, 0xCD},
      {SDL_SCANCODE_DOWN, 0xD0},      {SDL_SCANCODE_PAGEDOWN, 0xD1}, {SDL_SCANCODE_DELETE, 0xD3},
      {SDL_SCANCODE_UNKNOWN, 0},
  };
  for (const auto& [scancode, number] : numbers) EXPECT_EQ(code_of(scancode), number) << scancode;
  std::map<int, int> scancode_of;
  for (int s = -1; s <= SDL_NUM_SCANCODES; ++s) {
    const KeyCode code = code_of(s);
    if (code == 0 || s == SDL_SCANCODE_NONUSHASH) continue;  // ISO key in the backslash place
    EXPECT_TRUE(scancode_of.emplace(code, s).second) << "code " << int(code) << " twice";
  }
  // Escape (1) to keypad period (0x53) is one unbroken run of keys.
  for (int code = 0x01; code <= 0x53; ++code) EXPECT_TRUE(scancode_of.count(code)) << code;
  EXPECT_EQ(code_of(SDL_SCANCODE_NONUSHASH), code_of(SDL_SCANCODE_BACKSLASH));
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
  // Sets the keys' states, takes a reading, and tells which of Up and Enter it shows held.
  auto read = [&](uint8_t up, uint8_t enter) {
    state[SDL_SCANCODE_UP] = up;
    state[SDL_SCANCODE_RETURN] = enter;
    KeyboardSnapshot snap;
    snap.keys[0] = 0x80;  // a reading starts from nothing
    keys.fill(state, SDL_NUM_SCANCODES, false, snap);
    EXPECT_EQ(snap.keys[0], 0);
    return std::pair<int, int>(snap.keys[key::up], snap.keys[key::enter]);
  };
  EXPECT_EQ(read(1, 0), std::pair(0x80, 0));
  keys.hide_held_keys();
  // Enter is seen held only once the window is back; neither is a new press.
  EXPECT_EQ(read(1, 1), std::pair(0, 0));
  EXPECT_EQ(read(1, 1), std::pair(0, 0));
  read(0, 1);
  EXPECT_EQ(read(1, 1), std::pair(0x80, 0)) << "a new press is the player's";
  read(1, 0);
  EXPECT_EQ(read(1, 1), std::pair(0x80, 0x80));
}

}  // namespace
}  // namespace tornello
