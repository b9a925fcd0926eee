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
      main_window_enabled_ = IsWindowEnabled(main_window_.handle());
      act(dialog, GetDlgItem(dialog, text_dialog::edit_id));
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
  bool main_window_enabled_ = true;
};

// The dialog is modal: the game's window takes no input while it is up.
TEST_F(TextDialogTest, TypedTextComesBackWholeAndAnEmptyFieldOrACancelGivesNothing) {
  EXPECT_EQ(ask("3214", [](HWND, HWND edit) { press(edit, VK_RETURN); }), "3214");
  EXPECT_FALSE(main_window_enabled_);
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
  EXPECT_FALSE(FindWindowW(text_dialog::class_name, nullptr)) << "the dialog is gone";
}

}  // namespace
}  // namespace tornello
