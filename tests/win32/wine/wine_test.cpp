// The Windows build's unit tests, run under Wine on a virtual X display.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/desktop.h"
#include "support/temp_dir.h"

namespace tornello {
namespace {

TEST(WineTest, WindowsUnitTestsPass) {
  const std::string build = TORNELLO_WINDOWS_BUILD, wine = "/usr/lib/wine/wine64";
  const std::string tests = build + "/tests/win32/win32_tests.exe";
  std::string missing;
  if (::access(wine.c_str(), X_OK) != 0) missing = "64-bit Wine (" + wine + ") is not installed";
  if (!installed("xvfb-run")) missing = "xvfb-run is missing";
  if (::access(tests.c_str(), R_OK) != 0) missing = "no Windows build at " + build;
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
      {"WINEPREFIX", build + "/wine-prefix-WindowsUnitTestsPass"},
      {"WINEDEBUG", "-all"},
      {"WINEDLLOVERRIDES", "mscoree,mshtml="},
      {"HOME", home.path()},
      {"TORNELLO_EXPECT_SOUND", "1"}};
  ChildProcess run(work.path(), {wine, tests}, environment, work.path() + "/tests.txt");
  EXPECT_EQ(run.exit_code(std::chrono::minutes(4)), 0) << run.output();
  EXPECT_NE(run.output().find("[  PASSED  ]"), std::string::npos) << run.output();
  // The Windows processes of this prefix end before the display goes.
  ChildProcess(work.path(), {"/usr/lib/wine/wineserver", "-k"}, environment).exit_code();
}

}  // namespace
}  // namespace tornello
