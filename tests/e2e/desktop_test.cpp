// The real binary on a virtual desktop: the SDL game hosts through its menus,
// driven by real key events, while the practice bot joins it; the window's
// titles tell the way through the handshake, the character selection and the
// start of play, and Escape ends the match on both. On the way, the window
// itself: its first title, its size, its black face, and close requests ignored.
#include <filesystem>

#include "two_games.h"
// Last: it brings Xlib and its macros.
#include "support/desktop.h"

namespace tornello {
namespace {

using std::chrono::milliseconds;

using DesktopTest = TwoGamesTest;

TEST_F(DesktopTest, SdlGameHostsTheBotAndEscapeEndsTheMatchOnBoth) {
  if (!installed("xvfb-run") || !installed("xdotool")) {
    GTEST_SKIP() << "xvfb-run or xdotool is not installed";
  }
  VirtualDisplay display;
  ASSERT_TRUE(display.ready()) << "xvfb-run could not start a display";
  WindowManager wm;
  Display* x = wm.x();
  ASSERT_NE(x, nullptr);
  // No entry dialog on the path: the port is typed into the game's own window.
  const std::string no_programs = data.path() + "/no-programs";
  std::filesystem::create_directory(no_programs);
  ChildProcess game(
      data.path(), {TORNELLO_BINARY, "--no-speech"},
      {{"SDL_AUDIODRIVER", "dummy"}, {"SDL_VIDEODRIVER", "x11"}, {"PATH", no_programs}});
  // Titled "Tornello" from the first; shown, it fills the display, drawn black.
  const Window window = wm.wait_for_title({line(20)});
  ASSERT_NE(window, 0u) << wm.report();
  EXPECT_EQ(wm.titles(window).front(), "Tornello");
  XWindowAttributes attributes;
  XGetWindowAttributes(x, window, &attributes);
  EXPECT_EQ(attributes.map_state, IsViewable);
  EXPECT_EQ(attributes.width, DisplayWidth(x, DefaultScreen(x)));
  EXPECT_EQ(attributes.height, DisplayHeight(x, DefaultScreen(x)));
  XImage* pixel =
      XGetImage(x, window, attributes.width / 2, attributes.height / 2, 1, 1, AllPlanes, ZPixmap);
  ASSERT_NE(pixel, nullptr);
  EXPECT_EQ(XGetPixel(pixel, 0, 0) & 0xFFFFFF, 0u);
  XDestroyImage(pixel);
  // A close request leaves the game running.
  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
  XSendEvent(x, window, False, NoEventMask, &close);
  XSetInputFocus(x, window, RevertToParent, CurrentTime);
  XSync(x, False);
  std::this_thread::sleep_for(milliseconds(300));
  ASSERT_TRUE(game.running()) << "a close request ended the game";
  // The title screen acts on Return's release, not on its press.
  ASSERT_TRUE(xdotool("keydown Return"));
  wm.wait_for([](const XEvent&) { return false; }, milliseconds(200));
  EXPECT_EQ(wm.titles(window).back(), line(20)) << "the game acted on the press, not the release";
  ASSERT_TRUE(xdotool("keyup Return"));
  // Main menu (the keypad's Enter chooses as Enter does), hosting with the port
  // typed in, the game mode, then where it can be reached.
  ASSERT_EQ(wm.wait_for_title({main_menu}), window) << wm.report();
  ASSERT_TRUE(press("KP_Enter"));
  ASSERT_EQ(wm.wait_for_title({"Port. Enter port number to host the game on: 3214"}), window)
      << wm.report();
  const std::string port = std::to_string(host_port);
  ASSERT_TRUE(xdotool("key BackSpace BackSpace BackSpace BackSpace type " + port));
  ASSERT_EQ(wm.wait_for_title({port.substr(port.size() - 1)}), window) << wm.report();
  ASSERT_TRUE(press("Return"));
  ASSERT_EQ(wm.wait_for_title({menu_title("gamemode")}), window) << wm.report();
  ASSERT_TRUE(press("Return"));
  ASSERT_EQ(wm.wait_for_title({reach_line(host_port)}), window) << wm.report();
  // The bot joins; the handshake passes and the character is chosen.
  const std::unique_ptr<ChildProcess> bot = join_bot(data.path(), host_port);
  ASSERT_EQ(wm.wait_for_title({line(6)}), window) << wm.report();
  // The selection follows a pause and says nothing: press until the match begins.
  std::this_thread::sleep_for(milliseconds(2500));
  ASSERT_TRUE(press("Right"));
  bool chosen = false;
  for (int attempt = 0; attempt < 5 && !chosen; ++attempt) {
    ASSERT_TRUE(press("Return"));
    chosen = wm.wait_for_title({line(7)}, std::chrono::seconds(3)) == window;
  }
  ASSERT_TRUE(chosen) << "the character selection never ended";
  // Play starts once the bot is ready; Escape leaves, and the bot goes too.
  ASSERT_EQ(wm.wait_for_title({line(14), line(15)}, std::chrono::seconds(40)), window)
      << "play never started; the bot said:\n"
      << bot->output();
  const std::string serve_line = wm.titles(window).back();
  ASSERT_TRUE(press("Escape"));
  ASSERT_EQ(wm.wait_for_title({main_menu}), window) << wm.report();
  EXPECT_EQ(bot->exit_code(), 0) << bot->output();
  const std::string bot_serve_line = serve_line == line(14) ? line(15) : line(14);
  const std::string said = bot->output();
  EXPECT_NE(said.find(line(12) + "\n" + bot_serve_line + "\n" + main_menu + "\n"),
            std::string::npos)
      << said;
  // Exit, the main menu's last item: up from the first wraps round to it. The
  // keypad's arrows (NumLock is off) go down and up as the arrows do.
  for (const char* key : {"KP_Down", "KP_Up", "KP_Up", "KP_Enter"}) ASSERT_TRUE(press(key));
  EXPECT_EQ(game.exit_code(), 0);
}

}  // namespace
}  // namespace tornello
