// The text prompt, answered from a second thread as a player would: keys posted
// to the dialog's edit field while the dialog runs its own message loop.
#include "platform/win32/text_dialog.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <thread>

#include "platform/win32/main_window.h"

namespace tornello {
namespace {

struct Seen {
  RECT dialog{};
  RECT edit{};
  RECT ok{};
  std::wstring ok_caption;
  bool ok_is_default = false;
  bool edit_has_default_font = false;
  bool main_window_enabled = true;
};

RECT client_place(HWND dialog, HWND control) {
  RECT place;
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
  return place;
}

// Runs ask_text_dialog while `act` plays the player on another thread, once the
// dialog is up.
class TextDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(main_window_.open("Tornello")); }

  std::string ask(const std::string& default_text, std::function<void(HWND, HWND)> act) {
    std::thread player([&] {
      // The dialog is ready once its last control, the OK button, exists.
      HWND dialog = nullptr, ok = nullptr;
      for (int look = 0; look < 2000 && !ok; ++look) {
        dialog = FindWindowW(text_dialog::class_name, L"Port");
        ok = dialog ? GetDlgItem(dialog, IDOK) : nullptr;
        if (!ok) Sleep(5);
      }
      if (!ok) return;
      HWND edit = GetDlgItem(dialog, text_dialog::edit_id);
      GetWindowRect(dialog, &seen_.dialog);
      seen_.edit = client_place(dialog, edit);
      seen_.ok = client_place(dialog, ok);
      wchar_t caption[16] = {};
      GetWindowTextW(ok, caption, 16);
      seen_.ok_caption = caption;
      seen_.ok_is_default = (GetWindowLongPtrW(ok, GWL_STYLE) & BS_DEFPUSHBUTTON) != 0;
      seen_.edit_has_default_font =
          reinterpret_cast<HGDIOBJ>(SendMessageW(edit, WM_GETFONT, 0, 0)) ==
          GetStockObject(DEFAULT_GUI_FONT);
      seen_.main_window_enabled = IsWindowEnabled(main_window_.handle());
      act(dialog, edit);
    });
    std::string answer = ask_text_dialog("Port", "Enter port number", default_text);
    player.join();
    return answer;
  }

  static void press(HWND target, UINT key) {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
  }

  MainWindow main_window_;
  Seen seen_;
};

TEST_F(TextDialogTest, EnterAtOnceGivesTheDefaultInALaidOutModalDialog) {
  EXPECT_EQ(ask("3214", [](HWND, HWND edit) { press(edit, VK_RETURN); }), "3214");

  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_EQ(seen_.dialog.left, width / 2 - 150);
  EXPECT_EQ(seen_.dialog.top, height / 2 - 65);
  EXPECT_EQ(seen_.dialog.right - seen_.dialog.left, 300);
  EXPECT_EQ(seen_.dialog.bottom - seen_.dialog.top, 130);
  EXPECT_EQ(seen_.edit.left, 10);
  EXPECT_EQ(seen_.edit.top, 32);
  EXPECT_EQ(seen_.edit.right - seen_.edit.left, 275);
  EXPECT_EQ(seen_.ok.left, 110);
  EXPECT_EQ(seen_.ok.top, 67);
  EXPECT_EQ(seen_.ok_caption, L"OK");
  EXPECT_TRUE(seen_.ok_is_default);
  EXPECT_TRUE(seen_.edit_has_default_font);

  EXPECT_FALSE(seen_.main_window_enabled) << "the game's window takes no input meanwhile";
  EXPECT_TRUE(IsWindowEnabled(main_window_.handle()));
  EXPECT_FALSE(FindWindowW(text_dialog::class_name, nullptr)) << "the dialog is gone";
}

TEST_F(TextDialogTest, TypedTextComesBackWholeAndAnEmptyFieldOrACancelGivesNothing) {
  const std::string address(300, '7');
  EXPECT_EQ(ask("3214",
                [&](HWND, HWND edit) {
                  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
                  for (char c : address) PostMessageW(edit, WM_CHAR, static_cast<WPARAM>(c), 1);
                  press(edit, VK_RETURN);
                }),
            address);
  EXPECT_EQ(ask("3214",
                [](HWND, HWND edit) {
                  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
                  press(edit, VK_RETURN);
                }),
            "");
  // The OK button answers as Enter does.
  EXPECT_EQ(ask("127.0.0.1",
                [](HWND dialog, HWND) {
                  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                }),
            "127.0.0.1");
  // Escape and a close request cancel, despite a default.
  EXPECT_EQ(ask("3214", [](HWND, HWND edit) { press(edit, VK_ESCAPE); }), "");
  EXPECT_EQ(ask("3214", [](HWND dialog, HWND) { PostMessageW(dialog, WM_CLOSE, 0, 0); }), "");
  EXPECT_TRUE(IsWindowEnabled(main_window_.handle()));
}

}  // namespace
}  // namespace tornello
