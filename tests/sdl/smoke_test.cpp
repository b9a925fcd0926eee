// The real game binary on a virtual X display. The test plays the window manager
// (every window of the game is mapped by it), so it sees the window's title at the
// moment it appears, gives the window the focus as a desktop would, and sends a
// close request; the key press itself is a real one from xdotool.
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
#include <optional>
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

// A display of its own, served by xvfb-run for as long as the test runs.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    server_ = ::popen(
        "xvfb-run -a -s '-screen 0 1280x800x24 -nolisten tcp' "
        "sh -c 'echo \"$$ $DISPLAY $XAUTHORITY\"; exec sleep 600' 2>&1",
        "r");
    char line[512] = {};
    if (!server_ || !std::fgets(line, sizeof line, server_)) return;
    char display[128] = {}, authority[384] = {};
    if (std::sscanf(line, "%d %127s %383s", &holder_, display, authority) >= 2) {
      display_ = display;
      authority_ = authority;
    }
  }
  ~VirtualDisplay() {
    if (holder_ > 0) ::kill(holder_, SIGTERM);  // xvfb-run then stops the server
    if (server_) ::pclose(server_);
  }
  bool ready() const { return !display_.empty(); }
  const std::string& name() const { return display_; }
  const std::string& authority() const { return authority_; }

 private:
  FILE* server_ = nullptr;
  pid_t holder_ = -1;
  std::string display_;
  std::string authority_;
};

std::string window_name(Display* x, Window window) {
  const Atom net_wm_name = XInternAtom(x, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(x, "UTF8_STRING", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string name;
  if (XGetWindowProperty(x, window, net_wm_name, 0, 4096, False, utf8, &type, &format, &count,
                         &after, &data) == Success &&
      data) {
    name.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
  }
  return name;
}

// Sets an environment variable for the test's length.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
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

  // Waits for the next X event that `wanted` accepts, acting as the window
  // manager for every request meanwhile.
  std::optional<XEvent> next_event(const std::function<bool(const XEvent&)>& wanted) {
    const auto deadline = Clock::now() + patience;
    while (Clock::now() < deadline) {
      if (!XPending(x_)) {
        pollfd watch{ConnectionNumber(x_), POLLIN, 0};
        ::poll(&watch, 1, 50);
        continue;
      }
      XEvent event;
      XNextEvent(x_, &event);
      const bool found = wanted(event);  // seen before the manager acts on it
      if (event.type == MapRequest) {
        XMapWindow(x_, event.xmaprequest.window);
      } else if (event.type == ConfigureRequest) {
        const XConfigureRequestEvent& r = event.xconfigurerequest;
        XWindowChanges changes{r.x, r.y, r.width, r.height, r.border_width, r.above, r.detail};
        XConfigureWindow(x_, r.window, static_cast<unsigned>(r.value_mask), &changes);
      }
      if (found) return event;
    }
    return std::nullopt;
  }

  void start_game(const std::string& working_dir) {
    game_ = ::fork();
    if (game_ == 0) {
      if (::chdir(working_dir.c_str()) == 0) {
        ::execl(TORNELLO_BINARY, TORNELLO_BINARY, "--no-speech", static_cast<char*>(nullptr));
      }
      ::_exit(127);
    }
  }

  std::optional<int> wait_for_exit() {
    const auto deadline = Clock::now() + patience;
    while (Clock::now() < deadline) {
      int status = 0;
      if (::waitpid(game_, &status, WNOHANG) == game_) {
        game_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(milliseconds(10));
    }
    return std::nullopt;
  }

  bool game_running() { return ::waitpid(game_, nullptr, WNOHANG) == 0; }

  int xdotool(const std::string& arguments) {
    return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str());
  }

  std::optional<VirtualDisplay> display_;
  Display* x_ = nullptr;
  pid_t game_ = -1;
};

std::string language_line(const std::string& path, int entry) {
  std::ifstream in(path);
  std::string line;
  for (int n = 1; n <= entry && std::getline(in, line); ++n) {
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

TEST_F(SmokeTest, TitleScreenAppearsAndReturnEndsTheGame) {
  if (!find_on_path("xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";
  display_.emplace();
  ASSERT_TRUE(display_->ready()) << "xvfb-run could not start a display";
  const ScopedEnv display("DISPLAY", display_->name().c_str());
  const ScopedEnv authority("XAUTHORITY", display_->authority().c_str());
  const ScopedEnv video("SDL_VIDEODRIVER", nullptr);
  const ScopedEnv audio("SDL_AUDIODRIVER", "dummy");
  // A request that fails (a window gone already) is the test's to judge, not Xlib's.
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  x_ = XOpenDisplay(nullptr);
  ASSERT_NE(x_, nullptr) << "cannot reach " << display_->name();
  const Window root = DefaultRootWindow(x_);
  XSelectInput(x_, root, SubstructureRedirectMask | SubstructureNotifyMask);
  XSync(x_, False);

  TempDir work;
  std::filesystem::copy(std::string(TORNELLO_SOURCE_DIR) + "/data/lang", work.path() + "/lang");
  const std::string title_line = language_line(work.path() + "/lang/EN.lng", 20);
  ASSERT_FALSE(title_line.empty());
  start_game(work.path());

  // The window asks to be shown, and waits for it: at that moment it is titled "Tornello".
  std::string first_title;
  const auto map_request = next_event([&](const XEvent& e) {
    if (e.type != MapRequest) return false;
    first_title = window_name(x_, e.xmaprequest.window);
    XSelectInput(x_, e.xmaprequest.window, PropertyChangeMask);
    return true;
  });
  ASSERT_TRUE(map_request) << "the game opened no window";
  const Window window = map_request->xmaprequest.window;
  EXPECT_EQ(first_title, "Tornello");
  ASSERT_TRUE(next_event([&](const XEvent& e) {
    return e.type == MapNotify && e.xmap.window == window;
  })) << "the window was never shown";

  // It covers the display.
  XWindowAttributes attributes;
  XGetWindowAttributes(x_, window, &attributes);
  EXPECT_EQ(attributes.width, DisplayWidth(x_, DefaultScreen(x_)));
  EXPECT_EQ(attributes.height, DisplayHeight(x_, DefaultScreen(x_)));

  // Then its title becomes the title screen's line.
  if (window_name(x_, window) != title_line) {
    next_event([&](const XEvent& e) {
      return e.type == PropertyNotify && window_name(x_, window) == title_line;
    });
  }
  ASSERT_EQ(window_name(x_, window), title_line);

  // A close request leaves the game running.
  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = XInternAtom(x_, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(x_, "WM_DELETE_WINDOW", False));
  close.xclient.data.l[1] = CurrentTime;
  XSendEvent(x_, window, False, NoEventMask, &close);
  XSetInputFocus(x_, window, RevertToParent, CurrentTime);
  XSync(x_, False);
  std::this_thread::sleep_for(milliseconds(300));
  ASSERT_TRUE(game_running()) << "a close request ended the game";
  EXPECT_EQ(window_name(x_, window), title_line);

  // Nothing is drawn: the window is black.
  XImage* image =
      XGetImage(x_, window, attributes.width / 2, attributes.height / 2, 1, 1, AllPlanes, ZPixmap);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(XGetPixel(image, 0, 0) & 0xFFFFFF, 0u);
  XDestroyImage(image);

  // Return pressed, held over a few frames, and released ends the game.
  const std::string id = std::to_string(window);
  ASSERT_EQ(xdotool("keydown --window " + id + " Return"), 0) << "xdotool failed";
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_TRUE(game_running()) << "the game acted on the press, not the release";
  ASSERT_EQ(xdotool("keyup --window " + id + " Return"), 0);
  const std::optional<int> exit_code = wait_for_exit();
  ASSERT_TRUE(exit_code) << "the game did not end after Return";
  EXPECT_EQ(*exit_code, 0);
}

}  // namespace
}  // namespace tornello
