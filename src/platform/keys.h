// Key codes in the DirectInput numbering: the keyboard's set-1 scan codes for the
// main block, with 128 added for extended keys such as the arrows.
#pragma once

#include <cstdint>

namespace tornello {

using KeyCode = uint8_t;

namespace key {
inline constexpr KeyCode escape = 1;
inline constexpr KeyCode backspace = 14;
inline constexpr KeyCode tab = 15;
inline constexpr KeyCode enter = 28;
inline constexpr KeyCode space = 57;
inline constexpr KeyCode f1 = 59;
inline constexpr KeyCode f2 = 60;
inline constexpr KeyCode f3 = 61;
inline constexpr KeyCode f5 = 63;
inline constexpr KeyCode f6 = 64;
inline constexpr KeyCode keypad_enter = 156;
inline constexpr KeyCode up = 200;
inline constexpr KeyCode page_up = 201;
inline constexpr KeyCode left = 203;
inline constexpr KeyCode right = 205;
inline constexpr KeyCode down = 208;
inline constexpr KeyCode page_down = 209;
}  // namespace key

}  // namespace tornello
