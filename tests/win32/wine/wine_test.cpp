// The Windows build under Wine on a virtual X display, driven from Linux as a
// player would drive it: real key events (xdotool), the window titles a screen
// reader would read, sound through an ALSA null device, and a match started over
// loopback TCP between the Windows game (Winsock, hosting) and the Linux
// practice bot (joining). Needs `make windows` and Wine; CI has both.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/discovery.h"
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

// What a shell command prints.
std::string command_output(const std::string& command) {
  std::string output;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    for (size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
      output.append(buffer, count);
    }
    ::pclose(pipe);
  }
  return output;
}

// Whether a game on this computer answers a search with `port`, short game. The
// query goes to the loopback broadcast address only, so it never leaves the
// machine; other games hosting here may answer too.
bool answered_on_loopback(int port) {
  const int socket = ::socket(AF_INET, SOCK_DGRAM, 0);
  const int on = 1;
  ::setsockopt(socket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  sockaddr_in to = loopback_address(discovery::discovery_port);
  to.sin_addr.s_addr = htonl(0x7FFFFFFF);
  const uint32_t token = 0x5eed1234;
  const std::string query = discovery::query_text({token});
  bool answered = false;
  for (int attempt = 0; attempt < 20 && !answered; ++attempt) {
    ::sendto(socket, query.data(), query.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    pollfd watch{socket, POLLIN, 0};
    while (!answered && ::poll(&watch, 1, 500) > 0) {
      char buffer[128];
      const ssize_t count = ::recv(socket, buffer, sizeof buffer, 0);
      const auto answer = discovery::parse_answer(std::string_view(buffer, count > 0 ? count : 0));
      answered = answer && answer->token == token && answer->port == port && answer->game_mode == 1;
    }
  }
  ::close(socket);
  return answered;
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
    // A prefix per test, kept in the build between runs (making one takes a while).
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    environment_ = {{"WINEPREFIX", windows_build + "/wine-prefix-" + test},
                    {"WINEDEBUG", "-all"},
                    {"WINEDLLOVERRIDES", "mscoree,mshtml="},
                    {"HOME", home_.path()},
                    {"TORNELLO_EXPECT_SOUND", "1"}};
  }

  void TearDown() override {
    if (!display_) return;
    // Ends the Windows processes of this prefix before the display goes.
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

// Started from another folder, as a shortcut may start it, the game finds its data
// beside itself, as the zip lays it out. Title screen, main menu, the host's port
// dialog and game mode, then a Linux bot joins and both reach the start of the match.
TEST_F(WineTest, HostsAMatchThatTheLinuxBotJoins) {
  const std::string folder = work_.path() + "/Tornello";
  std::filesystem::create_directory(folder);
  std::filesystem::copy(windows_build + "/tornello.exe", folder + "/Tornello.exe");
  std::filesystem::copy(std::string(TORNELLO_SOURCE_DIR) + "/data/lang", folder + "/lang");
  std::filesystem::copy(std::string(TORNELLO_SOURCE_DIR) + "/data/Menu", folder + "/Menu",
                        std::filesystem::copy_options::recursive);
  // Printed where standard output leads, as from a console.
  auto version = run_windows(folder + "/Tornello.exe", "version.txt", {"--version"});
  EXPECT_EQ(version->exit_code(), 0);
  EXPECT_TRUE(version->output().starts_with("tornello ")) << version->output();
  WindowManager watcher(false);
  ASSERT_NE(watcher.x(), nullptr);

  auto game = run_windows(folder + "/Tornello.exe", "game.txt");
  const Window window = watcher.wait_for_title({language_line(20)}, seconds(120));
  ASSERT_NE(window, 0u) << "no title screen\n" << watcher.report();
  EXPECT_EQ(watcher.titles(window).front(), "Tornello") << watcher.report();

  ASSERT_TRUE(press("Return"));
  ASSERT_EQ(watcher.wait_for_title({"Main menu"}), window) << watcher.report();
  ASSERT_TRUE(press("Down"));
  ASSERT_EQ(watcher.wait_for_title({"Join a game"}), window) << watcher.report();
  ASSERT_TRUE(press("Up"));
  ASSERT_EQ(watcher.wait_for_title({"Host a game"}), window) << watcher.report();
  ASSERT_TRUE(press("Return"));
  ASSERT_NE(watcher.wait_for_title({"Port"}), 0u) << "no port dialog\n" << watcher.report();
  const int port = free_port();
  // On a loaded machine Wine can give the new dialog the keyboard only after
  // the keys were typed; they are typed again if it is still up.
  for (int attempt = 0; attempt < 3; ++attempt) {
    ASSERT_TRUE(
        xdotool("sleep 0.5 key End BackSpace BackSpace BackSpace BackSpace type --delay 30 " +
                std::to_string(port)));
    ASSERT_TRUE(press("Return"));
    if (watcher.wait_for_title({"Choose the game mode"}, seconds(20)) != 0) break;
  }
  ASSERT_EQ(watcher.wait_for_title({"Choose the game mode"}), window) << watcher.report();
  const std::string reached = reach_line(port);
  // The short game. The window may get the keyboard back from the dialog late.
  for (int attempt = 0; attempt < 3; ++attempt) {
    ASSERT_TRUE(press("Return"));
    if (watcher.wait_for_title({language_line(4), reached}, seconds(20)) != 0) break;
  }
  ASSERT_EQ(watcher.wait_for_title({reached}), window) << watcher.report();
  EXPECT_TRUE(answered_on_loopback(port)) << "no answer to a search";

  const std::unique_ptr<ChildProcess> bot = join_bot(work_.path(), port);
  ASSERT_EQ(watcher.wait_for_title({language_line(6)}), window) << watcher.report();
  std::this_thread::sleep_for(seconds(3));  // the handshake's pause, then character selection
  ASSERT_TRUE(press("Return"));
  ASSERT_EQ(watcher.wait_for_title({language_line(7)}), window) << watcher.report();
  // Play starts more than ten seconds after the guest is ready.
  EXPECT_EQ(watcher.wait_for_title({language_line(14), language_line(15)}, seconds(30)), window)
      << watcher.report();
  EXPECT_TRUE(bot->wait_for_output(language_line(12))) << bot->output();
  // Wine carries the game's keep-alive timers over to the system's socket, so
  // a guest that vanishes would be noticed.
  EXPECT_NE(command_output("ss -tnoH state established '( sport = :" + std::to_string(port) + " )'")
                .find("timer:(keepalive"),
            std::string::npos);
  std::printf("Titles seen under Wine:\n%s", watcher.report().c_str());
}

}  // namespace
}  // namespace tornello
