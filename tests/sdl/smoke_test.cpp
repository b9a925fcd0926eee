// The real game binary on a virtual X display. The test plays the window manager
// (the game's window is shown by it), so it sees the window's title at the moment
// the window appears and gives it the focus as a desktop would; the key presses
// are real ones from xdotool.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "platform/sdl/text_prompt.h"
#include "support/temp_dir.h"

// Last: Xlib's macros (None, Status, ...) would break the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tornello {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
constexpr auto patience = std::chrono::seconds(20);

// A display of its own from xvfb-run, for as long as the test runs. xvfb-run
// runs a shell that reports the display and then just waits to be stopped.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    server_ = ::popen(
        "xvfb-run -a -s '-screen 0 1280x800x24 -nolisten tcp' "
        "sh -c 'echo \"$$ $DISPLAY $XAUTHORITY\"; exec sleep 600' 2>&1",
        "r");
    char line[512] = {}, display[128] = {}, authority[384] = {};
    if (!server_ || !std::fgets(line, sizeof line, server_)) return;
    if (std::sscanf(line, "%d %127s %383s", &holder_, display, authority) != 3) return;
    ::setenv("DISPLAY", display, 1);
    ::setenv("XAUTHORITY", authority, 1);
    ready_ = true;
  }
  ~VirtualDisplay() {
    if (holder_ > 0) ::kill(holder_, SIGTERM);  // xvfb-run then stops the server
    if (server_) ::pclose(server_);
  }
  bool ready() const { return ready_; }

 private:
  FILE* server_ = nullptr;
  pid_t holder_ = -1;
  bool ready_ = false;
};

class SmokeTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (game_ > 0) {
      ::kill(game_, SIGKILL);
      ::waitpid(game_, nullptr, 0);
    }
    if (x_) XCloseDisplay(x_);
    display_.reset();  // only after every client has let go of it
  }

  std::string title(Window window) {
    char* name = nullptr;
    std::string text;
    if (XFetchName(x_, window, &name) && name) text = name;
    if (name) XFree(name);
    return text;
  }

  // Waits for an X event that `wanted` accepts, showing the windows that ask to be
  // shown meanwhile, as a window manager does.
  bool wait_for(const std::function<bool(const XEvent&)>& wanted) {
    for (const auto deadline = Clock::now() + patience; Clock::now() < deadline;) {
      if (!XPending(x_)) {
        pollfd watch{ConnectionNumber(x_), POLLIN, 0};
        ::poll(&watch, 1, 50);
        continue;
      }
      XEvent event;
      XNextEvent(x_, &event);
      const bool found = wanted(event);  // seen before the request is granted
      if (event.type == MapRequest) XMapWindow(x_, event.xmaprequest.window);
      if (found) return true;
    }
    return false;
  }

  bool game_running() { return ::waitpid(game_, nullptr, WNOHANG) == 0; }

  int game_exit_code() {
    for (const auto deadline = Clock::now() + patience; Clock::now() < deadline;) {
      int status = 0;
      if (::waitpid(game_, &status, WNOHANG) == game_) {
        game_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(milliseconds(10));
    }
    return -2;
  }

  std::optional<VirtualDisplay> display_;
  Display* x_ = nullptr;
  pid_t game_ = -1;
};

TEST_F(SmokeTest, TitleScreenAppearsAndReturnEndsTheGame) {
  if (!find_on_path("xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";
  display_.emplace();
  ASSERT_TRUE(display_->ready()) << "xvfb-run could not start a display";
  ::unsetenv("SDL_VIDEODRIVER");
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  // A request that fails (a window already gone) is the test's to judge, not Xlib's.
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  x_ = XOpenDisplay(nullptr);
  ASSERT_NE(x_, nullptr);
  XSelectInput(x_, DefaultRootWindow(x_), SubstructureRedirectMask | SubstructureNotifyMask);
  XSync(x_, False);

  TempDir work;
  std::filesystem::copy(std::string(TORNELLO_SOURCE_DIR) + "/data/lang", work.path() + "/lang");
  std::ifstream language(work.path() + "/lang/EN.lng");
  std::string title_line;
  for (int n = 1; n <= 20; ++n) std::getline(language, title_line);
  if (!title_line.empty() && title_line.back() == '\r') title_line.pop_back();

  game_ = ::fork();
  if (game_ == 0) {
    if (::chdir(work.path().c_str()) == 0) {
      ::execl(TORNELLO_BINARY, TORNELLO_BINARY, "--no-speech", static_cast<char*>(nullptr));
    }
    ::_exit(127);
  }

  // The window asks to be shown, and waits for it: at that moment it is titled "Tornello".
  Window window = 0;
  std::string first_title;
  ASSERT_TRUE(wait_for([&](const XEvent& e) {
    if (e.type != MapRequest) return false;
    window = e.xmaprequest.window;
    first_title = title(window);
    XSelectInput(x_, window, PropertyChangeMask);
    return true;
  })) << "the game opened no window";
  EXPECT_EQ(first_title, "Tornello");
  ASSERT_TRUE(wait_for([&](const XEvent& e) { return e.type == MapNotify; }));
  XWindowAttributes attributes;
  XGetWindowAttributes(x_, window, &attributes);
  EXPECT_EQ(attributes.width, DisplayWidth(x_, DefaultScreen(x_)));
  EXPECT_EQ(attributes.height, DisplayHeight(x_, DefaultScreen(x_)));

  // Then the title becomes the title screen's line.
  if (title(window) != title_line) {
    wait_for(
        [&](const XEvent& e) { return e.type == PropertyNotify && title(window) == title_line; });
  }
  ASSERT_EQ(title(window), title_line);

  // Nothing is drawn: the window is black.
  XImage* pixel =
      XGetImage(x_, window, attributes.width / 2, attributes.height / 2, 1, 1, AllPlanes, ZPixmap);
  ASSERT_NE(pixel, nullptr);
  EXPECT_EQ(XGetPixel(pixel, 0, 0) & 0xFFFFFF, 0u);
  XDestroyImage(pixel);

  // A close request leaves the game running.
  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = XInternAtom(x_, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(x_, "WM_DELETE_WINDOW", False));
  XSendEvent(x_, window, False, NoEventMask, &close);
  XSetInputFocus(x_, window, RevertToParent, CurrentTime);
  XSync(x_, False);
  std::this_thread::sleep_for(milliseconds(300));
  ASSERT_TRUE(game_running()) << "a close request ended the game";

  // Return pressed and held over a few frames does nothing; its release ends the game.
  const std::string xdotool = "xdotool key%s --window " + std::to_string(window) + " Return";
  char command[128];
  std::snprintf(command, sizeof command, xdotool.c_str(), "down");
  ASSERT_EQ(std::system(command), 0) << "xdotool failed";
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_TRUE(game_running()) << "the game acted on the press, not the release";
  std::snprintf(command, sizeof command, xdotool.c_str(), "up");
  ASSERT_EQ(std::system(command), 0);
  EXPECT_EQ(game_exit_code(), 0);
}

}  // namespace
}  // namespace tornello
