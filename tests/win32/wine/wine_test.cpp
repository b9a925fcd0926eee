// The Windows build under Wine on a virtual X display, driven by real key events
// and read by its window titles, hosting a match that the Linux bot joins.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/loopback.h"
#include "support/temp_dir.h"

// Last: Xlib's macros (None, Status, ...) would break the headers above.
#include "support/desktop.h"

namespace tornello {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

const std::string windows_build = TORNELLO_WINDOWS_BUILD;
const std::string wine = "/usr/lib/wine/wine64";
const std::string wineserver = "/usr/lib/wine/wineserver";

// Why the Windows build cannot be run here, or "" when it can.
std::string missing_prerequisite() {
  if (::access(wine.c_str(), X_OK) != 0) return "64-bit Wine (" + wine + ") is not installed";
  if (!installed("xvfb-run") || !installed("xdotool")) return "xvfb-run or xdotool is missing";
  for (const char* file : {"/tornello.exe", "/tests/win32/win32_tests.exe"}) {
    if (::access((windows_build + file).c_str(), R_OK) != 0) {
      return "no Windows build at " + windows_build + " (run `make windows`)";
    }
  }
  return "";
}

class WineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = missing_prerequisite();
    if (!missing.empty()) {
      const char* ci = std::getenv("CI");
      if (ci && std::string(ci) == "true") FAIL() << missing << "; CI must run the Windows build";
      GTEST_SKIP() << "Windows build not tested: " << missing;
    }
    display_.emplace();
    ASSERT_TRUE(display_->ready()) << "xvfb-run could not start a display";
    // Sound goes to ALSA's null device: DirectSound opens and plays, silently.
    home_.write(".asoundrc", "pcm.!default { type null }\nctl.!default { type hw card 0 }\n");
    // A prefix per test, kept between runs: making one takes a while.
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    environment_ = {{"WINEPREFIX", windows_build + "/wine-prefix-" + test},
                    {"WINEDEBUG", "-all"},
                    {"WINEDLLOVERRIDES", "mscoree,mshtml="},
                    {"HOME", home_.path()},
                    {"TORNELLO_EXPECT_SOUND", "1"}};
  }

  void TearDown() override {
    if (!display_) return;
    ChildProcess stop(work_.path(), {wineserver, "-k"}, environment_);
    stop.exit_code();
    display_.reset();
  }

  std::unique_ptr<ChildProcess> run_windows(const std::string& program, const std::string& log,
                                            const std::vector<std::string>& arguments = {}) {
    std::vector<std::string> command{wine, program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return std::make_unique<ChildProcess>(work_.path(), command, environment_,
                                          work_.path() + "/" + log);
  }

  TempDir home_;
  TempDir work_;
  std::optional<VirtualDisplay> display_;
  std::vector<std::pair<std::string, std::string>> environment_;
};

TEST_F(WineTest, WindowsUnitTestsPass) {
  auto tests = run_windows(windows_build + "/tests/win32/win32_tests.exe", "win32_tests.txt");
  EXPECT_EQ(tests->exit_code(std::chrono::minutes(4)), 0) << tests->output();
  EXPECT_NE(tests->output().find("[  PASSED  ]"), std::string::npos) << tests->output();
}

// Started from another folder, the game finds its data beside itself, as the zip
// lays it out; it hosts through its menus and the port dialog, and play starts.
TEST_F(WineTest, HostsAMatchThatTheLinuxBotJoins) {
  const std::string folder = work_.path() + "/Tornello";
  std::filesystem::create_directory(folder);
  std::filesystem::copy(windows_build + "/tornello.exe", folder + "/Tornello.exe");
  std::filesystem::copy(std::string(TORNELLO_SOURCE_DIR) + "/data/lang", folder + "/lang");
  std::filesystem::copy(std::string(TORNELLO_SOURCE_DIR) + "/data/Menu", folder + "/Menu",
                        std::filesystem::copy_options::recursive);
  WindowManager watcher(false);
  ASSERT_NE(watcher.x(), nullptr);

  auto game = run_windows(folder + "/Tornello.exe", "game.txt");
  const Window window = watcher.wait_for_title({language_line(20)}, seconds(120));
  ASSERT_NE(window, 0u) << "no title screen\n" << watcher.report();
  EXPECT_EQ(watcher.titles(window).front(), "Tornello") << watcher.report();

  ASSERT_EQ(press_until(watcher, "Return", {"Main menu"}), window) << watcher.report();
  const int port = free_port();
  std::unique_ptr<ChildProcess> bot;
  ASSERT_EQ(host_until_play(watcher, "Port", port, work_.path(), bot), window) << watcher.report();
  EXPECT_TRUE(bot->wait_for_output(language_line(12))) << bot->output();
  // Wine carries the game's keep-alive timers to the socket: a vanished guest is noticed.
  FILE* ss = ::popen(
      ("ss -tnoH state established '( sport = :" + std::to_string(port) + " )'").c_str(), "r");
  char sockets[1024] = {};
  std::fread(sockets, 1, sizeof sockets - 1, ss);
  ::pclose(ss);
  EXPECT_NE(std::string(sockets).find("timer:(keepalive"), std::string::npos) << sockets;
}

}  // namespace
}  // namespace tornello
