// The player's settings on Windows: kept under %APPDATA%\Tornello, the folder
// made on the first save, read back whole by the next start.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "shell/settings_file.h"

namespace tornello {
namespace {

TEST(WindowsSettings, KeptInTheRoamingApplicationDataFolder) {
  const char* appdata = std::getenv("APPDATA");
  ASSERT_NE(appdata, nullptr);
  SettingsFile file;
  file.path = default_settings_path();
  EXPECT_EQ(file.path, std::string(appdata) + "\\Tornello\\settings.ini");
  std::filesystem::remove_all(std::filesystem::path(appdata) / "Tornello");
  GameSettings chosen;
  chosen.sound_volume = 40;
  chosen.music_volume = 70.0f;
  chosen.music_level_chosen = true;
  ASSERT_TRUE(write_settings(file, chosen));
  GameSettings read;
  EXPECT_EQ(read_settings(file, read), SettingsRead::read);
  EXPECT_EQ(read.sound_volume, 40);
  EXPECT_EQ(read.music_volume, 70.0f);
  std::filesystem::remove_all(std::filesystem::path(appdata) / "Tornello");
}

}  // namespace
}  // namespace tornello
