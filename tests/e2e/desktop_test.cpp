// The real binary on a virtual desktop: the SDL game hosts through its menus,
// driven by real key events, while the practice bot joins it; the window's
// titles tell the way through the handshake, the character selection and the
// start of play, and Escape ends the match on both. On the way, the window
// itself: its first title, its size, its black face, and close requests ignored.
#include <filesystem>

#include "net/local_addresses.h"
#include "two_games.h"
// Last: it brings Xlib and its macros.
#include "support/desktop.h"

namespace tornello {
namespace {

using std::chrono::milliseconds;

class DesktopTest : public TwoGamesTest {
 protected:
  void TearDown() override {
    bot_.reset();
    game_.reset();
    wm_.reset();
    display_.reset();  // only after every client has let go of it
  }

  // Held over a few frames, as a person's press is, then let go: the game reads
  // its keys once a frame and acts on most of them when they are let go.
  static bool press(const std::string& key) {
    if (!xdotool("keydown " + key)) return false;
    std::this_thread::sleep_for(milliseconds(120));
    const bool released = xdotool("keyup " + key);
    std::this_thread::sleep_for(milliseconds(80));
    return released;
  }

  std::optional<VirtualDisplay> display_;
  std::optional<WindowManager> wm_;
  std::unique_ptr<ChildProcess> game_;
  std::unique_ptr<ChildProcess> bot_;
};

TEST_F(DesktopTest, SdlGameHostsTheBotAndEscapeEndsTheMatchOnBoth) {
  if (!installed("xvfb-run") || !installed("xdotool")) {
    GTEST_SKIP() << "xvfb-run or xdotool is not installed";
  }
  display_.emplace();
  ASSERT_TRUE(display_->ready()) << "xvfb-run could not start a display";
  wm_.emplace();
  Display* x = wm_->x();
  ASSERT_NE(x, nullptr);
  // No entry dialog on the path: the port is typed into the game's own window.
  const std::string no_programs = data.path() + "/no-programs";
  std::filesystem::create_directory(no_programs);
  game_ = std::make_unique<ChildProcess>(
      data.path(), std::vector<std::string>{TORNELLO_BINARY, "--no-speech"},
      std::vector<std::pair<std::string, std::string>>{
          {"SDL_AUDIODRIVER", "dummy"}, {"SDL_VIDEODRIVER", "x11"}, {"PATH", no_programs}});
  const auto [window, first_title] = wm_->wait_for_window();
  ASSERT_NE(window, 0u) << "the game opened no window";
  // The window asks to be shown, and waits for it: at that moment it is titled
  // "Tornello". It fills the display and nothing is drawn on it.
  EXPECT_EQ(first_title, "Tornello");
  ASSERT_TRUE(wm_->wait_for([&](const XEvent& e) { return e.type == MapNotify; }));
  XWindowAttributes attributes;
  XGetWindowAttributes(x, window, &attributes);
  EXPECT_EQ(attributes.width, DisplayWidth(x, DefaultScreen(x)));
  EXPECT_EQ(attributes.height, DisplayHeight(x, DefaultScreen(x)));
  ASSERT_TRUE(wm_->wait_for_title(window, line(20))) << wm_->title(window);
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
  ASSERT_TRUE(game_->running()) << "a close request ended the game";
  // The title screen acts on Return's release, not on its press.
  ASSERT_TRUE(xdotool("keydown Return"));
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_EQ(wm_->title(window), line(20)) << "the game acted on the press, not the release";
  ASSERT_TRUE(xdotool("keyup Return"));
  // Main menu (the keypad's Enter chooses as Enter does), hosting with the port
  // typed in, the game mode.
  ASSERT_TRUE(wm_->wait_for_title(window, main_menu));
  ASSERT_TRUE(press("KP_Enter"));
  ASSERT_TRUE(wm_->wait_for_title(window, "Port. Enter port number to host the game on: 3214"));
  const std::string port = std::to_string(host_port);
  ASSERT_TRUE(xdotool("key BackSpace BackSpace BackSpace BackSpace"));
  ASSERT_TRUE(xdotool("type " + port));
  ASSERT_TRUE(wm_->wait_for_title(window, port.substr(port.size() - 1)));
  ASSERT_TRUE(press("Return"));
  ASSERT_TRUE(wm_->wait_for_title(window, menu_title("gamemode")));
  ASSERT_TRUE(press("Return"));
  // Waiting, it says where it can be reached, the line after line 4.
  std::string reached = line(46);
  for (const std::string& address : addresses_to_tell(up_interface_addresses())) {
    reached += " " + address + ",";
  }
  ASSERT_TRUE(wm_->wait_for_title(window, reached + " " + line(47) + " " + port + "."));
  // The bot joins; the handshake passes and the character is chosen.
  bot_ = std::make_unique<ChildProcess>(
      data.path(), std::vector<std::string>{TORNELLO_BINARY, "--bot", "join", "127.0.0.1", port},
      std::vector<std::pair<std::string, std::string>>{}, data.path() + "/bot.txt");
  ASSERT_TRUE(wm_->wait_for_title(window, line(6))) << wm_->title(window);
  // The selection follows a pause and says nothing: press until the match begins.
  std::this_thread::sleep_for(milliseconds(2500));
  ASSERT_TRUE(press("Right"));
  bool chosen = false;
  for (int attempt = 0; attempt < 5 && !chosen; ++attempt) {
    ASSERT_TRUE(press("Return"));
    chosen = wm_->wait_for_title(window, line(7), std::chrono::seconds(3));
  }
  ASSERT_TRUE(chosen) << "the character selection never ended";
  // Play starts once the bot is ready; Escape leaves, and the bot goes too.
  std::string serve_line;
  ASSERT_TRUE(wm_->wait_for(
      [&](const XEvent& e) {
        if (e.type != PropertyNotify) return false;
        serve_line = wm_->title(window);
        return serve_line == line(14) || serve_line == line(15);
      },
      std::chrono::seconds(40)))
      << "play never started; the bot said:\n"
      << bot_->output();
  ASSERT_TRUE(press("Escape"));
  ASSERT_TRUE(wm_->wait_for_title(window, main_menu));
  EXPECT_EQ(bot_->exit_code(), 0) << bot_->output();
  const std::string bot_serve_line = serve_line == line(14) ? line(15) : line(14);
  const std::string said = bot_->output();
  EXPECT_NE(said.find(line(12) + "\n" + bot_serve_line + "\n"), std::string::npos) << said;
  EXPECT_NE(said.find(bot_serve_line + "\n" + main_menu + "\n"), std::string::npos) << said;
  // Exit, the main menu's last item: up from the first wraps round to it. The
  // keypad's arrows (NumLock is off) go down and up as the arrows do.
  ASSERT_TRUE(press("KP_Down"));
  ASSERT_TRUE(press("KP_Up"));
  ASSERT_TRUE(press("KP_Up"));
  ASSERT_TRUE(press("KP_Enter"));
  EXPECT_EQ(game_->exit_code(), 0);
}

}  // namespace
}  // namespace tornello
