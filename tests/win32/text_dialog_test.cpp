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

// The dialog is modal; Enter answers, Escape cancels despite a default. (The
// Windows match types a port into it.)
TEST(TextDialog, EnterAnswersAndACancelGivesNothing) {
  MainWindow main_window;
  ASSERT_TRUE(main_window.open("Tornello"));
  bool main_window_enabled = true;
  // Runs the dialog while `act` plays the player once it is up (its OK button exists).
  const auto ask = [&](const std::function<void(HWND edit)>& act) {
    std::thread player([&] {
      HWND dialog = nullptr, ok = nullptr;
      for (int look = 0; look < 2000 && !ok; ++look) {
        dialog = FindWindowW(text_dialog::class_name, L"Port");
        ok = dialog ? GetDlgItem(dialog, IDOK) : nullptr;
        if (!ok) Sleep(5);
      }
      if (!ok) return;
      main_window_enabled = IsWindowEnabled(main_window.handle());
      act(GetDlgItem(dialog, text_dialog::edit_id));
    });
    std::string answer = ask_text_dialog("Port", "Enter port number", "3214");
    player.join();
    return answer;
  };
  EXPECT_EQ(ask([](HWND edit) { press(edit, VK_RETURN); }), "3214");
  EXPECT_FALSE(main_window_enabled);
  EXPECT_EQ(ask([](HWND edit) { press(edit, VK_ESCAPE); }), "");
  EXPECT_TRUE(IsWindowEnabled(main_window.handle()));
  EXPECT_FALSE(FindWindowW(text_dialog::class_name, nullptr)) << "the dialog is gone";
}

}  // namespace
}  // namespace tornello
