// The Windows build under Wine on a virtual X display: its unit tests, the game
// as a player starts it, then its practice bot hosting a match that the Linux build joins.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/desktop.h"
#include "support/loopback.h"
#include "support/temp_dir.h"

namespace tornello {
namespace {

TEST(WineTest, UnitTestsPassAndTheGameHostsAMatchThatTheLinuxGameJoins) {
  namespace fs = std::filesystem;
  const std::string build = TORNELLO_WINDOWS_BUILD, wine = "/usr/lib/wine/wine64";
  std::string missing;
  if (::access(wine.c_str(), X_OK) != 0) missing = "64-bit Wine (" + wine + ") is not installed";
  if (!installed("xvfb-run")) missing = "xvfb-run is missing";
  for (const char* file : {"/tornello.exe", "/tests/win32/win32_tests.exe"}) {
    if (::access((build + file).c_str(), R_OK) != 0) missing = "no Windows build at " + build;
  }
  if (!missing.empty()) {
    const char* ci = std::getenv("CI");
    if (ci && std::string(ci) == "true") FAIL() << missing << "; CI must run the Windows build";
    GTEST_SKIP() << "Windows build not tested: " << missing;
  }
  VirtualDisplay display;
  ASSERT_TRUE(display.ready()) << "xvfb-run could not start a display";
  TempDir home, work;
  // Sound goes to ALSA's null device: DirectSound opens and plays, silently.
  home.write(".asoundrc", "pcm.!default { type null }\nctl.!default { type hw card 0 }\n");
  // The prefix is kept between runs: making one takes a while.
  const std::vector<std::pair<std::string, std::string>> environment = {
      {"WINEPREFIX", build + "/wine-prefix"},
      {"WINEDEBUG", "-all"},
      {"WINEDLLOVERRIDES", "mscoree,mshtml="},
      {"HOME", home.path()},
      {"TORNELLO_EXPECT_SOUND", "1"}};
  {
    ChildProcess run(work.path(), {wine, build + "/tests/win32/win32_tests.exe"}, environment,
                     work.path() + "/tests.txt");
    EXPECT_EQ(run.exit_code(std::chrono::minutes(4)), 0) << run.output();
    EXPECT_NE(run.output().find("[  PASSED  ]"), std::string::npos) << run.output();
  }
  // Started from another folder, the game finds its data beside itself as the zip lays it out.
  const std::string folder = work.path() + "/Tornello";
  fs::create_directory(folder);
  fs::copy(build + "/tornello.exe", folder + "/Tornello.exe");
  for (const char* part : {"/lang", "/Menu"}) {
    fs::copy(std::string(TORNELLO_SOURCE_DIR) + "/data" + part, folder + part,
             fs::copy_options::recursive);
  }
  {  // As a player starts it: the window's title speaks, and Enter leads on to the main menu.
    ChildProcess game(work.path(), {wine, folder + "/Tornello.exe"}, environment);
    const auto titled = [](const std::string& text) {
      const std::string search = "timeout 120 xdotool search --sync --name '^" + text + "$'";
      return std::system((search + " >/dev/null").c_str()) == 0;
    };
    EXPECT_TRUE(titled("Tornello. Press Enter to start."));
    EXPECT_TRUE(xdotool("keydown Return sleep 0.2 keyup Return") && titled("Main menu"));
  }
  const uint16_t port = free_port();
  {
    ChildProcess host(work.path(),
                      {wine, folder + "/Tornello.exe", "--bot", "host", std::to_string(port)},
                      environment, work.path() + "/host.txt");
    const std::string heard = join_until_heard(port, "Score: ", work.path() + "/guest.txt");
    EXPECT_NE(heard.find("The match is about to start."), std::string::npos) << heard;
    EXPECT_NE(heard.find("Score: "), std::string::npos) << heard;
    EXPECT_NE(host.output().find("The other player is verified."), std::string::npos)
        << host.output();
  }
  // The Windows processes of this prefix end before the display goes.
  ChildProcess(work.path(), {"/usr/lib/wine/wineserver", "-k"}, environment).exit_code();
}

}  // namespace
}  // namespace tornello
