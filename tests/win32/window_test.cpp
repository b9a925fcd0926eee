// The main window and its event pump on a real user32 (Wine in CI).
#include <gtest/gtest.h>

#include "platform/win32/main_window.h"

namespace tornello {
namespace {

std::wstring window_text(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

TEST(MainWindow, PlacementCoversTheDisplayWhenTheFrameMakesItTooLarge) {
  // A client area of the display's size plus a frame never fits: clamped to the
  // display, at its corner.
  const WindowPlacement whole = place_main_window(1280, 800, RECT{-3, -26, 1283, 803});
  EXPECT_EQ(whole.x, 0);
  EXPECT_EQ(whole.y, 0);
  EXPECT_EQ(whole.width, 1280);
  EXPECT_EQ(whole.height, 800);
  // Smaller than the display: centred.
  const WindowPlacement small = place_main_window(1280, 800, RECT{0, 0, 640, 400});
  EXPECT_EQ(small.x, 320);
  EXPECT_EQ(small.y, 200);
}

TEST(MainWindow, TitleBarOnlyBlackAsLargeAsTheScreenKeepsTitlesAndIgnoresCloseRequests) {
  MainWindow window;
  ASSERT_TRUE(window.open("Tornello"));
  HWND handle = window.handle();
  EXPECT_EQ(window_text(handle), L"Tornello");

  const LONG_PTR style = GetWindowLongPtrW(handle, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_EQ(style & (WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  EXPECT_TRUE(IsWindowVisible(handle));
  EXPECT_FALSE(IsIconic(handle) || IsZoomed(handle));
  EXPECT_EQ(reinterpret_cast<HGDIOBJ>(GetClassLongPtrW(handle, GCLP_HBRBACKGROUND)),
            GetStockObject(BLACK_BRUSH));

  RECT outer;
  GetWindowRect(handle, &outer);
  EXPECT_EQ(outer.left, 0);
  EXPECT_EQ(outer.top, 0);
  EXPECT_EQ(outer.right - outer.left, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(outer.bottom - outer.top, GetSystemMetrics(SM_CYSCREEN));

  window.set_title("Spieler 1 schl\xC3\xA4gt auf.");
  EXPECT_EQ(window_text(handle), L"Spieler 1 schl\u00E4gt auf.");
  // A byte that is not UTF-8 is read in the system's code page (Windows-1252 here).
  window.set_title("Gr\xFC\xDF");
  EXPECT_EQ(window_text(handle), L"Gr\u00FC\u00DF");

  while (window.pump(0) != 0) {
  }
  PostMessageW(handle, WM_CLOSE, 0, 0);
  EXPECT_EQ(window.pump(1), WM_CLOSE);
  EXPECT_TRUE(IsWindow(handle)) << "a close request closed the window";
  EXPECT_EQ(window.pump(0), 0) << "nothing waiting, nothing handled";
}

}  // namespace
}  // namespace tornello
