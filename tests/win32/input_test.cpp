// DirectInput 7 on the game's window: keys sent through the system's input queue
// reach the snapshot in the DirectInput numbering, only while the window is in
// the foreground; the mouse is confined while read; no controller, no readings.
#include <gtest/gtest.h>

#include <thread>

#include "platform/keys.h"
#include "platform/win32/direct_input.h"
#include "platform/win32/main_window.h"
#include "platform/win32/win32_platform.h"

namespace tornello {
namespace {

void send_key(WORD scan_code, bool extended, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wScan = scan_code;
  input.ki.dwFlags =
      KEYEVENTF_SCANCODE | (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0);
  SendInput(1, &input, sizeof input);
}

class DirectInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window_.open("Tornello"));
    SetForegroundWindow(window_.handle());
    serve();
  }
  // Lets the window handle what the system queued for it.
  void serve() {
    for (int pass = 0; pass < 50; ++pass) window_.pump(1);
  }
  bool held(KeyCode code) {
    KeyboardSnapshot snapshot;
    return input_.read_keyboard(window_.handle(), snapshot) && (snapshot.keys[code] & 0x80);
  }

  MainWindow window_;
  DirectInput input_;
};

TEST_F(DirectInputTest, KeysArriveInTheDirectInputNumberingWhileInTheForeground) {
  ASSERT_TRUE(input_.init_keyboard()) << "DINPUT.DLL gave no keyboard";
  KeyboardSnapshot snapshot;
  ASSERT_TRUE(input_.read_keyboard(window_.handle(), snapshot));
  EXPECT_FALSE(snapshot.keys[key::up] & 0x80);

  // Up is the extended key with scan code 0x48: code 200. Enter is 28.
  send_key(0x48, true, false);
  send_key(0x1C, false, false);
  serve();
  EXPECT_TRUE(held(key::up));
  EXPECT_TRUE(held(key::enter));
  EXPECT_FALSE(held(key::down));
  send_key(0x48, true, true);
  send_key(0x1C, false, true);
  serve();
  EXPECT_FALSE(held(key::up));
  EXPECT_FALSE(held(key::enter));

  // Another window in the foreground: no snapshot at all.
  MainWindow other;
  ASSERT_TRUE(other.open("Screen reader"));
  SetForegroundWindow(other.handle());
  serve();
  if (GetForegroundWindow() == other.handle()) {
    EXPECT_FALSE(input_.read_keyboard(window_.handle(), snapshot));
  }
}

// Through the platform, as the game reads keys: the keypad's Enter is Enter and,
// with NumLock off, its 8 and 2 are Up and Down.
TEST(Win32Platform, KeypadEnterAndArrowsCountAsTheKeysTheyStandFor) {
  std::unique_ptr<Platform> platform = create_win32_platform();
  ASSERT_TRUE(platform->open_window("Keypad"));
  ASSERT_TRUE(platform->init_keyboard());
  SetForegroundWindow(FindWindowW(nullptr, L"Keypad"));
  ASSERT_FALSE(GetKeyState(VK_NUMLOCK) & 1) << "NumLock is on";
  const auto held = [&](KeyCode code) {
    for (int pass = 0; pass < 50; ++pass) platform->pump_events(1);
    KeyboardSnapshot snapshot;
    return platform->read_keyboard(snapshot) && (snapshot.keys[code] & 0x80);
  };
  EXPECT_FALSE(held(key::enter));  // the first read takes the keyboard
  send_key(0x1C, true, false);     // keypad Enter: Enter's scan code, extended
  send_key(0x48, false, false);    // keypad 8: Up's scan code, not extended
  EXPECT_TRUE(held(key::enter));
  EXPECT_TRUE(held(key::up));
  EXPECT_FALSE(held(key::down));
  send_key(0x1C, true, true);
  send_key(0x48, false, true);
  send_key(0x50, false, false);  // keypad 2
  EXPECT_FALSE(held(key::enter));
  EXPECT_TRUE(held(key::down));
  send_key(0x50, false, true);
  platform->close();
}

// A read that fails says so: before the mouse is set up, and while another
// window is in the foreground, which also frees the pointer.
TEST_F(DirectInputTest, MouseIsConfinedWhileReadAndFreedAfterwards) {
  MouseReading reading;
  EXPECT_FALSE(input_.read_mouse(window_.handle(), reading));
  ASSERT_TRUE(input_.init_mouse()) << "DINPUT.DLL gave no mouse";
  EXPECT_FALSE(input_.read_mouse(nullptr, reading));
  ASSERT_TRUE(input_.read_mouse(window_.handle(), reading));
  RECT clip, area;
  GetClipCursor(&clip);
  GetWindowRect(window_.handle(), &area);
  EXPECT_TRUE(EqualRect(&clip, &area)) << "the pointer is kept inside the game's window";
  EXPECT_FALSE(reading.buttons[0]);

  MainWindow other;
  ASSERT_TRUE(other.open("Screen reader"));
  SetForegroundWindow(other.handle());
  serve();
  if (GetForegroundWindow() == other.handle()) {
    EXPECT_FALSE(input_.read_mouse(window_.handle(), reading));
  } else {
    input_.release_mouse();
  }
  GetClipCursor(&clip);
  EXPECT_EQ(clip.right - clip.left, GetSystemMetrics(SM_CXVIRTUALSCREEN));
}

TEST_F(DirectInputTest, WithoutControllersNothingIsRead) {
  EXPECT_EQ(input_.init_joysticks(), 0);
  JoystickReading reading;
  reading.x = 7;
  EXPECT_FALSE(input_.read_joystick(0, reading));
  EXPECT_FALSE(input_.read_joystick(-1, reading));
  EXPECT_EQ(reading.x, 7) << "a failed read leaves the reading alone";
}

// The platform's wait sleeps in MsgWaitForMultipleObjects on the window's
// messages and the keyboard's changes: left alone it lasts its time, a key typed
// meanwhile wakes it with the key already in the snapshot, a delay keeps its
// length while keys arrive, and a tap that came and went between two looks
// is still seen once.
TEST(Win32Wait, AKeyWakesTheWaitReadableAtOnceAndDelaysHoldTheirLength) {
  std::unique_ptr<Platform> platform = create_win32_platform();
  ASSERT_TRUE(platform->open_window("Tornello"));
  ASSERT_TRUE(platform->init_keyboard());
  // 1 while Enter is held, 0 while it is up, -1 without the foreground.
  auto enter = [&] {
    KeyboardSnapshot keys;
    if (!platform->read_keyboard(keys)) return -1;
    return (keys.keys[key::enter] & 0x80) != 0 ? 1 : 0;
  };
  while (platform->wait_for_input(200)) {
  }
  ASSERT_EQ(enter(), 0);
  uint32_t begin = platform->elapsed_ms();
  EXPECT_FALSE(platform->wait_for_input(50)) << "nothing arrived";
  EXPECT_GE(ms_between(begin, platform->elapsed_ms()), 50);

  std::thread typist([] {
    Sleep(300);
    send_key(0x1C, false, false);
  });
  EXPECT_TRUE(platform->wait_for_input(60000));
  typist.join();
  EXPECT_EQ(enter(), 1);
  send_key(0x1C, false, true);
  begin = platform->elapsed_ms();
  platform->delay_ms(100);
  EXPECT_GT(ms_between(begin, platform->elapsed_ms()), 100);
  EXPECT_EQ(enter(), 0);

  send_key(0x1C, false, false);
  send_key(0x1C, false, true);
  while (platform->wait_for_input(200)) {
  }
  EXPECT_EQ(enter(), 1);
  EXPECT_EQ(enter(), 0);
  platform->close();
}

}  // namespace
}  // namespace tornello
