// The generator itself: what it says when espeak-ng is missing, that it makes
// the same bytes every time, and the signal steps every sound passes through.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "assets/dsp.h"
#include "assets/generate.h"
#include "assets/wav.h"
#include "audio/wav_reader.h"
#include "data_tree/generated_tree.h"
#include "support/temp_dir.h"

namespace tornello {
namespace {

namespace fs = std::filesystem;
using assets::Sound;

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

TEST(WavWriting, HoldsOutOfRangeSamplesAtFullScaleInsteadOfWrapping) {
  const std::vector<uint8_t> bytes = assets::encode_wav(Sound{2, {0.5f, -0.5f, 1.5f, -1.5f}});
  const DecodedSound read = read_wav(bytes, assets::sample_rate).value_or(DecodedSound{});
  ASSERT_EQ(std::pair(read.channels, read.rate), std::pair(2, 44100));
  ASSERT_EQ(read.samples.size(), 4u);
  const float expected[] = {0.5f, -0.5f, 1.0f, -1.0f};  // 1.5 must not wrap to a negative sample
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(read.samples[k], expected[k], 1e-4f) << "sample " << k;
}

Sound tone(double hz, double seconds, int rate) {
  Sound sound;
  const size_t frames = static_cast<size_t>(seconds * rate);
  for (size_t k = 0; k < frames; ++k) {
    sound.samples.push_back(static_cast<float>(0.8 * std::sin(2.0 * assets::pi * hz * k / rate)));
  }
  return sound;
}

// A tone with a spike at its very start and one in its middle: each spike comes
// down to the ceiling, the tone around it by no more than the spike needed, and
// the tone away from them not at all.
TEST(PeakLimiting, TakesThePeaksDownAndLeavesTheRest) {
  Sound sound = tone(1000.0, 0.2, assets::sample_rate);
  assets::scale(sound, 0.375f);
  for (size_t spike : {size_t{0}, size_t{4410}}) sound.samples[spike] = 1.6f;
  const Sound before = sound;
  assets::limit_peaks(sound, 0.5f);
  for (size_t k = 0; k < sound.frames(); ++k) {
    SCOPED_TRACE(k);
    ASSERT_LE(std::abs(sound.samples[k]), 0.5f + 1e-6f);
    const bool near = k < 1200 || (k > 3400 && k < 5500);
    if (near) {
      ASSERT_GE(std::abs(sound.samples[k]), std::abs(before.samples[k]) * 0.5f / 1.6f - 1e-6f);
    } else {
      ASSERT_EQ(sound.samples[k], before.samples[k]);
    }
  }
}

}  // namespace
}  // namespace tornello
