// The real binary on a virtual desktop: the SDL game, driven by real key events,
// hosts through its menus while the practice bot joins it; the window's titles
// tell the way to the start of play, and Escape ends the match on both.
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
  ASSERT_NE(wm.x(), nullptr);
  // No entry dialog on the path: the port is typed into the game's own window.
  const std::string no_programs = data.path() + "/no-programs";
  std::filesystem::create_directory(no_programs);
  ChildProcess game(
      data.path(), {TORNELLO_BINARY, "--no-speech"},
      {{"SDL_AUDIODRIVER", "dummy"}, {"SDL_VIDEODRIVER", "x11"}, {"PATH", no_programs}});
  // Titled "Tornello" from the first.
  const Window window = wm.wait_for_title({line(20)});
  ASSERT_NE(window, 0u) << wm.report();
  EXPECT_EQ(wm.titles(window).front(), "Tornello");
  // The title screen acts on Return's release, not on its press.
  ASSERT_TRUE(xdotool("keydown Return"));
  wm.wait_for([](const XEvent&) { return false; }, milliseconds(200));
  EXPECT_EQ(wm.titles(window).back(), line(20)) << "the game acted on the press, not the release";
  ASSERT_TRUE(xdotool("keyup Return"));
  ASSERT_EQ(wm.wait_for_title({main_menu}), window) << wm.report();
  std::unique_ptr<ChildProcess> bot;
  ASSERT_EQ(host_until_play(wm, "Port. Enter port number to host the game on: 3214", host_port,
                            data.path(), bot),
            window)
      << wm.report() << "the bot said:\n"
      << (bot ? bot->output() : "");
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
  // A bot with nobody to join says so and ends; one with a port it cannot use ends at once.
  ChildProcess alone(data.path(),
                     {TORNELLO_BINARY, "--bot", "join", "127.0.0.1", std::to_string(host_port)}, {},
                     data.path() + "/alone.txt");
  EXPECT_EQ(alone.exit_code(), 0);
  EXPECT_NE(alone.output().find(line(62) + "\n" + main_menu), std::string::npos) << alone.output();
  ChildProcess unusable(data.path(), {TORNELLO_BINARY, "--bot", "host", "70000"});
  EXPECT_EQ(unusable.exit_code(), 2);
}

}  // namespace
}  // namespace tornello
