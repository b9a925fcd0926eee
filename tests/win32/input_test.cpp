// Input on Windows through the platform, sent through the system's input queue.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/keys.h"
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

struct Win32Input : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(platform->open_window("Tornello"));
    window = FindWindowW(nullptr, L"Tornello");
    SetForegroundWindow(window);
  }
  void TearDown() override {
    if (other) DestroyWindow(other);
    platform->close();
  }
  // Lets the window handle what the system queued for it, then reads.
  bool held(KeyCode code) {
    for (int pass = 0; pass < 50; ++pass) platform->pump_events(1);
    KeyboardSnapshot snapshot;
    return platform->read_keyboard(snapshot) && (snapshot.keys[code] & 0x80);
  }
  // Another window takes the foreground (where the system lets it).
  bool lose_the_foreground() {
    other = CreateWindowW(L"STATIC", L"Screen reader", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100,
                          100, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    for (int pass = 0; pass < 50; ++pass) platform->pump_events(1);
    return GetForegroundWindow() == other;
  }
  std::unique_ptr<Platform> platform = create_win32_platform();
  HWND window = nullptr, other = nullptr;
};

// Up is the extended key with scan code 0x48 (code 200), Enter is 28; with
// NumLock off the keypad's Enter, 8 and 2 count as Enter, Up and Down.
TEST_F(Win32Input, KeysArriveInTheDirectInputNumberingOnlyInTheForeground) {
  ASSERT_TRUE(platform->init_keyboard()) << "DINPUT.DLL gave no keyboard";
  ASSERT_FALSE(GetKeyState(VK_NUMLOCK) & 1) << "NumLock is on";
  EXPECT_FALSE(held(key::up));
  const struct {
    WORD scan;
    bool extended;
    KeyCode code;
  } keys[] = {{0x48, true, key::up},  {0x1C, false, key::enter}, {0x1C, true, key::enter},
              {0x48, false, key::up}, {0x50, false, key::down},  {0x50, true, key::down}};
  for (const auto& k : keys) {
    send_key(k.scan, k.extended, false);
    EXPECT_TRUE(held(k.code)) << k.scan << (k.extended ? " extended" : "");
    EXPECT_FALSE(held(k.code == key::down ? key::up : key::down));
    send_key(k.scan, k.extended, true);
    EXPECT_FALSE(held(k.code)) << k.scan << (k.extended ? " extended" : "");
  }
  if (lose_the_foreground()) {
    KeyboardSnapshot snapshot;
    EXPECT_FALSE(platform->read_keyboard(snapshot)) << "no snapshot without the foreground";
  }
}

// The pointer is kept inside the window while read, freed when the read fails.
TEST_F(Win32Input, MouseIsConfinedWhileReadAndAFailedReadSaysSo) {
  MouseReading reading;
  EXPECT_FALSE(platform->read_mouse(reading)) << "read before it was set up";
  ASSERT_TRUE(platform->init_mouse()) << "DINPUT.DLL gave no mouse";
  ASSERT_TRUE(platform->read_mouse(reading));
  EXPECT_FALSE(reading.buttons[0]);
  RECT clip, area;
  GetClipCursor(&clip);
  GetWindowRect(window, &area);
  EXPECT_TRUE(EqualRect(&clip, &area));
  if (lose_the_foreground()) {
    EXPECT_FALSE(platform->read_mouse(reading));
    GetClipCursor(&clip);
    EXPECT_EQ(clip.right - clip.left, GetSystemMetrics(SM_CXVIRTUALSCREEN));
  }
}

}  // namespace
}  // namespace tornello
