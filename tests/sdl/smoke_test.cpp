// The real game binary on a virtual X display. The test plays the window manager
// (the game's window is shown by it), so it sees the window's title at the moment
// the window appears and gives it the focus as a desktop would; the key presses
// are real ones from xdotool.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>

#include "platform/line_reader.h"
#include "support/temp_dir.h"
// Last: it brings Xlib and its macros.
#include "support/desktop.h"

namespace tornello {
namespace {

class SmokeTest : public ::testing::Test {
 protected:
  void TearDown() override {
    game_.reset();
    wm_.reset();
    display_.reset();  // only after every client has let go of it
  }

  std::optional<VirtualDisplay> display_;
  std::optional<WindowManager> wm_;
  std::unique_ptr<ChildProcess> game_;
};

TEST_F(SmokeTest, TitleScreenAppearsAndReturnEndsTheGame) {
  if (!installed("xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";
  display_.emplace();
  ASSERT_TRUE(display_->ready()) << "xvfb-run could not start a display";
  ::unsetenv("SDL_VIDEODRIVER");
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  wm_.emplace();
  Display* x = wm_->x();
  ASSERT_NE(x, nullptr);

  TempDir work;
  std::filesystem::copy(std::string(TORNELLO_SOURCE_DIR) + "/data/lang", work.path() + "/lang");
  auto language = LineReader::open_for_reading(work.path() + "/lang/EN.lng");
  ASSERT_TRUE(language);
  std::string title_line;
  for (int n = 1; n <= 20; ++n) title_line = language->read_line();

  game_ = std::make_unique<ChildProcess>(work.path(),
                                         std::vector<std::string>{TORNELLO_BINARY, "--no-speech"});

  // The window asks to be shown, and waits for it: at that moment it is titled "Tornello".
  const auto [window, first_title] = wm_->wait_for_window();
  ASSERT_NE(window, 0u) << "the game opened no window";
  EXPECT_EQ(first_title, "Tornello");
  ASSERT_TRUE(wm_->wait_for([&](const XEvent& e) { return e.type == MapNotify; }));
  XWindowAttributes attributes;
  XGetWindowAttributes(x, window, &attributes);
  EXPECT_EQ(attributes.width, DisplayWidth(x, DefaultScreen(x)));
  EXPECT_EQ(attributes.height, DisplayHeight(x, DefaultScreen(x)));

  // Then the title becomes the title screen's line.
  ASSERT_TRUE(wm_->wait_for_title(window, title_line)) << wm_->title(window);

  // Nothing is drawn: the window is black.
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
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(game_->running()) << "a close request ended the game";

  // Return pressed and held over a few frames does nothing; its release ends the game.
  const std::string return_key = " --window " + std::to_string(window) + " Return";
  ASSERT_TRUE(xdotool("keydown" + return_key)) << "xdotool failed";
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(game_->running()) << "the game acted on the press, not the release";
  ASSERT_TRUE(xdotool("keyup" + return_key));
  EXPECT_EQ(game_->exit_code(), 0);
}

}  // namespace
}  // namespace tornello
