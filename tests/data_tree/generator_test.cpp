// The generator without espeak-ng: it says what to install and makes nothing
// half. (What it makes is the sound tree's test.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "assets/generate.h"
#include "support/temp_dir.h"

namespace tornello {
namespace {

namespace fs = std::filesystem;

TEST(Generator, WithoutEspeakItStopsAtOnceAndSaysWhatToInstall) {
  TempDir dir;
  assets::GenerateOptions options;
  options.data_dir = dir.path();
  options.speech_program = "espeak-ng-that-is-not-installed";
  const assets::GenerateReport report = assets::generate_sound_tree(options);
  ASSERT_EQ(report.errors.size(), 1u);
  EXPECT_NE(report.errors[0].find("install the Debian package espeak-ng"), std::string::npos)
      << report.errors[0];
  EXPECT_EQ(report.files, 0u);
  EXPECT_FALSE(fs::exists(fs::path(dir.path()) / "Sounds")) << "nothing half made";
  // Sounds that are not speech need no speech program.
  options.only = [](const std::string& path) { return path.rfind("Sounds/Pong/", 0) == 0; };
  EXPECT_TRUE(assets::generate_sound_tree(options).ok());
  EXPECT_TRUE(fs::exists(fs::path(dir.path()) / "Sounds/Pong/Hit.wav"));
}

}  // namespace
}  // namespace tornello
