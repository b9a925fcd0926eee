// The text prompt, answered from a second thread while it runs its own message loop.
#include "platform/win32/text_dialog.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <thread>

#include "platform/win32/main_window.h"

namespace tornello {
namespace {

void press(HWND target, UINT key) {
  PostMessageW(target, WM_KEYDOWN, key, 1);
  PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

void enter_text(HWND edit, const std::string& text) {
  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
  for (char c : text) PostMessageW(edit, WM_CHAR, static_cast<WPARAM>(c), 1);
  press(edit, VK_RETURN);
}

// Runs ask_text_dialog while `act` plays the player once the dialog is up.
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

  MainWindow main_window_;
  bool main_window_enabled_ = true;
};

// The dialog is modal; OK answers as Enter does; Escape and a close request
// cancel despite a default.
TEST_F(TextDialogTest, TypedTextComesBackWholeAndAnEmptyFieldOrACancelGivesNothing) {
  EXPECT_EQ(ask("3214", [](HWND, HWND edit) { press(edit, VK_RETURN); }), "3214");
  EXPECT_FALSE(main_window_enabled_);
  const std::string address(300, '7');
  const std::pair<std::function<void(HWND, HWND)>, std::string> answers[] = {
      {[&](HWND, HWND edit) { enter_text(edit, address); }, address},
      {[](HWND, HWND edit) { enter_text(edit, ""); }, ""},
      {[](HWND dialog, HWND) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); },
       "3214"},
      {[](HWND, HWND edit) { press(edit, VK_ESCAPE); }, ""},
      {[](HWND dialog, HWND) { PostMessageW(dialog, WM_CLOSE, 0, 0); }, ""},
  };
  for (const auto& [act, expected] : answers) EXPECT_EQ(ask("3214", act), expected);
  EXPECT_TRUE(IsWindowEnabled(main_window_.handle()));
  EXPECT_FALSE(FindWindowW(text_dialog::class_name, nullptr)) << "the dialog is gone";
}

}  // namespace
}  // namespace tornello
