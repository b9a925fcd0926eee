#include "audio/sound_engine.h"

#include <gtest/gtest.h>

#include <cmath>

#include "audio/audio_test_support.h"

namespace tornello {
namespace {

using namespace test;

// The frames of the left channel, in units of the 16-bit sample step.
std::vector<int> left_steps(const std::vector<float>& out) {
  std::vector<int> steps;
  for (size_t k = 0; k < out.size(); k += 2) steps.push_back(std::lround(out[k] / pcm16_unit));
  return steps;
}

const std::vector<int> silence(5, 0);

// The level table's telling entries and clamps, and the gains heard on each
// channel for each volume and pan.
TEST(Mixer, GainsFollowTheLevelTableOnEachChannel) {
  EXPECT_EQ(std::pair(level_table()[2], level_table()[99]), std::pair(6602, 9991));
  EXPECT_EQ(std::pair(volume_attenuation(5), pan_attenuation(25)), std::pair(-2603, 250));
  EXPECT_EQ(std::pair(volume_attenuation(101), volume_attenuation(-5)), std::pair(0, -10000));
  EXPECT_EQ(std::pair(pan_attenuation(150), pan_attenuation(-300)), std::pair(10000, 10000));
  constexpr double silent = -1000.0;
  const struct {
    int volume, pan;
    double left_db, right_db;
  } cases[] = {
      {100, 0, 0.0, 0.0},      {25, 0, -12.05, -12.05},  {1, 0, -40.00, -40.00},
      {0, 0, silent, silent},  {100, 1, -0.09, 0.0},     {100, -50, 0.0, -6.03},
      {100, 100, silent, 0.0}, {50, -50, -6.03, -12.06},
  };
  for (const auto& c : cases) {
    HeadlessEngine audio;
    const SoundHandle h = audio.load(wav_file(std::vector<int16_t>(1000, 16384)));
    audio.engine.set_volume(h, c.volume);
    audio.engine.set_pan(h, c.pan);
    ASSERT_EQ(audio.engine.play(h, true), 1);
    const std::vector<float> out = audio.render(300);  // frame 299 is well past the ramp
    for (int channel = 0; channel < 2; ++channel) {
      const float sample = out[2 * 299 + channel];
      const double db = sample == 0.0f ? silent : 20.0 * std::log10(sample / 0.5);
      EXPECT_NEAR(db, channel == 0 ? c.left_db : c.right_db, 0.01)
          << "volume " << c.volume << " pan " << c.pan << " channel " << channel;
    }
  }
}

// The sounds level scales all but the music, the music's only the music; a change
// ramps over a few frames, never a jump. Effects left, music right.
TEST(Mixer, LevelsScaleEffectsAndMusicApartAndChangesRampWithoutAJump) {
  HeadlessEngine audio;
  SoundEngine& engine = audio.engine;
  const std::string steady = wav_file(std::vector<int16_t>(4096, 8192));
  const SoundHandle near = audio.load(steady), far = audio.load(steady);
  const SoundHandle music = audio.load(steady);
  engine.set_music(music);
  engine.play(near, true, 100);
  engine.play(far, true, 40);
  engine.play(music, true, 5);
  for (SoundHandle effect : {near, far}) engine.set_pan(effect, -100);
  engine.set_pan(music, 100);
  const auto heard = [&] {  // the last frame of a block, well past the ramp
    const std::vector<float> out = audio.render(256);
    return std::pair{out[510], out[511]};
  };
  const auto [effects, track] = heard();
  engine.set_sound_level(50);
  const auto [halved, same_track] = heard();
  EXPECT_FLOAT_EQ(halved, effects * attenuation_gain(volume_attenuation(50)));
  EXPECT_FLOAT_EQ(same_track, track);
  engine.set_volume(music, 60);
  const auto [same_effects, louder] = heard();
  EXPECT_FLOAT_EQ(same_effects, halved);
  EXPECT_GT(louder, track);
  engine.set_sound_level(0);
  EXPECT_EQ(heard(), std::pair(0.0f, louder));
  HeadlessEngine ramp;
  const SoundHandle h = ramp.load(wav_file(std::vector<int16_t>(10000, 16384)));
  ramp.engine.play(h, true);
  ramp.render(100);
  ramp.engine.set_volume(h, 50);
  const std::vector<float> out = ramp.render(200);
  float previous = 0.5f;
  for (int f = 0; f < 200; ++f) {
    EXPECT_LE(std::abs(out[2 * f] - previous), 0.25f / 32) << "frame " << f;
    previous = out[2 * f];
  }
  EXPECT_NEAR(out[2 * 199], 0.5f * attenuation_gain(volume_attenuation(50)), 1e-6f);
  EXPECT_NEAR(out[2 * 100 + 1], 0.5f * attenuation_gain(volume_attenuation(50)), 1e-6f);
}

// Loops wrap without a gap; a play while playing restarts crossfaded over 64
// frames, never a second copy; stops rewind; free_all closes the device.
TEST(Mixer, LoopsWrapAndPlayRestartsStopRewindsAndStopAllSilencesEverything) {
  HeadlessEngine audio;
  SoundEngine& engine = audio.engine;
  SoundLog log;
  engine.set_log(&log);
  const SoundHandle loop = audio.load(wav_file(counting(1000)));
  engine.play(loop, true);
  std::vector<int> heard;
  for (int block = 0; block < 10; ++block) {  // blocks that never line up with the loop
    const std::vector<int> steps = left_steps(audio.render(333));
    heard.insert(heard.end(), steps.begin(), steps.end());
  }
  for (size_t k = 0; k < heard.size(); ++k) ASSERT_EQ(heard[k], static_cast<int>(k % 1000) + 1);
  engine.free(loop);
  const SoundHandle h = audio.load(wav_file(counting(100)));
  engine.play(h);
  heard = left_steps(audio.render(150));
  EXPECT_EQ(std::pair(heard[99], heard[100]), std::pair(100, 0));
  EXPECT_FALSE(engine.is_playing(h));
  engine.play(h);
  std::vector<int> restart = {left_steps(audio.render(20)).back()};
  engine.play(h);
  for (int step : left_steps(audio.render(70))) restart.push_back(step);
  for (size_t k = 1; k < 64; ++k) EXPECT_LE(std::abs(restart[k] - restart[k - 1]), 2) << k;
  EXPECT_EQ(std::vector<int>(restart.begin() + 65, restart.end()),
            (std::vector<int>{65, 66, 67, 68, 69, 70}));
  const SoundHandle looped = audio.load(wav_file(counting(500)));
  engine.play(looped, true);
  engine.stop(h);
  EXPECT_TRUE(!engine.is_playing(h) && engine.is_playing(looped));
  engine.stop_all();
  EXPECT_EQ(log.events().back().kind, SoundEventKind::stop_all);
  EXPECT_FALSE(engine.is_playing(looped) || engine.is_playing(h));
  EXPECT_EQ(left_steps(audio.render(5)), silence);
  EXPECT_EQ(engine.play(h), 1);
  EXPECT_EQ(left_steps(audio.render(2)), (std::vector<int>{1, 2})) << "stopped voices rewind";
  engine.free_all();
  EXPECT_EQ(engine.is_loaded(h), 0);
  EXPECT_FALSE(audio.device.is_open());
}

// A stale handle never reaches a later sound; volume and pan clamp and stay.
TEST(SoundEngine, HandlesAreNeverReusedDeadOnesDoNothingAndSettingsClamp) {
  HeadlessEngine audio;
  SoundEngine& engine = audio.engine;
  const SoundHandle first = audio.load(wav_file(counting(50)));
  engine.free(first);
  const SoundHandle second = audio.load(wav_file(counting(50)));
  EXPECT_TRUE(first != 0 && second != first && engine.is_loaded(second) == 1);
  for (SoundHandle dead : {SoundHandle{0}, first, SoundHandle{9999}}) {
    EXPECT_EQ(engine.play(dead, true), 0);
    engine.set_volume(dead, 50);
    engine.free(dead);
  }
  EXPECT_EQ(engine.loaded_count(), 1u);
  engine.set_volume(second, 101);
  engine.set_pan(second, -300);
  EXPECT_EQ(std::pair(engine.volume(second), engine.pan(second)), std::pair(100, -100));
  engine.play(second, true);
  engine.free(second);  // freeing a playing sound silences it
  EXPECT_EQ(left_steps(audio.render(5)), silence);
}

}  // namespace
}  // namespace tornello
