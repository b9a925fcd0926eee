// The generator itself: what it says when espeak-ng is missing, and that it
// makes the same bytes every time. (What it makes is the sound tree's test.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "assets/generate.h"
#include "audio/wav_reader.h"
#include "data_tree/generated_tree.h"
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

TEST(Generator, MakesTheSameBytesEveryTime) {
  REQUIRE_GENERATED_TREE(tree);
  TempDir dir;
  assets::GenerateOptions options;
  options.data_dir = dir.path();
  options.threads = 1;  // a different schedule from the shared tree's
  options.only = [](const std::string& path) {
    return path.rfind("Sounds/Pong/", 0) == 0 || path == "Sounds/crowd/chant.wav" ||
           path == "Sounds/Music/GAME_LOST.wav" || path == "Sounds/chars/5/score2.wav";
  };
  const assets::GenerateReport report = assets::generate_sound_tree(options);
  ASSERT_TRUE(report.ok()) << report.errors.front();
  EXPECT_EQ(report.files, 16u);
  for (const std::string& path : assets::generated_paths()) {
    if (!options.only(path)) continue;
    EXPECT_EQ(read_file_bytes(dir.path() + "/" + path), read_file_bytes(tree.data_dir + "/" + path))
        << path;
  }
}

}  // namespace
}  // namespace tornello
