#include "audio/sound_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>

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
  const std::pair<int, int32_t> entries[] = {{0, 0},     {1, 6000},  {2, 6602},   {5, 7397},
                                             {10, 8000}, {25, 8795}, {50, 9397},  {75, 9750},
                                             {90, 9908}, {99, 9991}, {100, 10000}};
  for (const auto& [k, value] : entries) EXPECT_EQ(level_table()[k], value) << "entry " << k;
  EXPECT_EQ(std::pair(volume_attenuation(5), pan_attenuation(25)), std::pair(-2603, 250));
  EXPECT_EQ(std::pair(volume_attenuation(101), volume_attenuation(-5)), std::pair(0, -10000));
  EXPECT_EQ(std::pair(pan_attenuation(150), pan_attenuation(-300)), std::pair(10000, 10000));

  constexpr double silent = -1000.0;
  const struct {
    int volume, pan;
    double left_db, right_db;
  } cases[] = {
      {100, 0, 0.0, 0.0},       {75, 0, -2.50, -2.50},    {50, 0, -6.03, -6.03},
      {25, 0, -12.05, -12.05},  {10, 0, -20.00, -20.00},  {1, 0, -40.00, -40.00},
      {0, 0, silent, silent},   {100, 1, -0.09, 0.0},     {100, -1, 0.0, -0.09},
      {100, 50, -6.03, 0.0},    {100, -50, 0.0, -6.03},   {100, 100, silent, 0.0},
      {100, -100, 0.0, silent}, {50, -50, -6.03, -12.06}, {0, -100, silent, silent},
  };
  for (const auto& c : cases) {
    HeadlessEngine audio;
    const SoundHandle h = audio.load(wav_file(std::vector<int16_t>(1000, 16384)));
    audio.engine.set_volume(h, c.volume);
    audio.engine.set_pan(h, c.pan);
    ASSERT_EQ(audio.engine.play(h, true), 1);
    const std::vector<float> out = audio.render(300);
    for (int f = 0; f < 300; f += 37) {
      for (int channel = 0; channel < 2; ++channel) {
        const double expected = channel == 0 ? c.left_db : c.right_db;
        const float sample = out[2 * f + channel];
        const double db = sample == 0.0f ? silent : 20.0 * std::log10(sample / 0.5);
        EXPECT_NEAR(db, expected, 0.01)
            << "volume " << c.volume << " pan " << c.pan << " channel " << channel;
      }
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
  engine.stop(h);
  EXPECT_FALSE(engine.is_playing(h));
  EXPECT_EQ(left_steps(audio.render(5)), silence);
  engine.play(h);
  EXPECT_EQ(left_steps(audio.render(2)), (std::vector<int>{1, 2}));

  const SoundHandle looped = audio.load(wav_file(counting(500)));
  engine.play(looped, true);
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

TEST(SoundEngine, HandlesAreNeverReusedDeadOnesDoNothingAndSettingsClamp) {
  HeadlessEngine audio;
  SoundEngine& engine = audio.engine;
  SoundLog log;
  engine.set_log(&log);
  const SoundHandle first = audio.load(wav_file(counting(50)));
  ASSERT_NE(first, 0u);
  engine.free(first);
  const SoundHandle second = audio.load(wav_file(counting(50)));
  EXPECT_NE(second, first);
  EXPECT_EQ(engine.is_loaded(second), 1);
  for (SoundHandle dead : {SoundHandle{0}, first, SoundHandle{9999}}) {
    EXPECT_EQ(engine.play(dead, true), 0);
    engine.stop(dead);
    engine.set_volume(dead, 50);
    engine.set_pan(dead, 50);
    engine.free(dead);
    EXPECT_EQ(engine.is_loaded(dead), 0);
  }
  EXPECT_EQ(engine.loaded_count(), 1u);
  EXPECT_FALSE(log.last(first, SoundEventKind::play)->live) << "logged as dead";
  engine.play(second, true);
  engine.free(second);  // freeing a playing sound silences it
  EXPECT_EQ(left_steps(audio.render(5)), silence);
  // Volume and pan clamp and stay with the sound, a play's volume too.
  const SoundHandle h = audio.load(wav_file(counting(50)));
  engine.set_volume(h, 101);
  engine.set_pan(h, 150);
  EXPECT_EQ(std::pair(engine.volume(h), engine.pan(h)), std::pair(100, 100));
  engine.set_volume(h, -5);
  engine.set_pan(h, -300);
  EXPECT_EQ(std::pair(engine.volume(h), engine.pan(h)), std::pair(0, -100));
  engine.play(h, false, 10);
  engine.stop(h);
  engine.play(h);
  EXPECT_EQ(std::pair(engine.volume(h), engine.pan(h)), std::pair(10, -100));
  // Without a device everything fails quietly.
  NoAudioDevice none;
  SoundEngine silent;
  EXPECT_EQ(silent.init(none), 0);
  EXPECT_EQ(silent.load_bytes(bytes_of(wav_file(counting(10))), "x"), 0u);
  silent.stop_all();
  silent.free_all();
}

// Grants another rate and buffer than asked and locks as a real device does.
class LockingDevice : public AudioDevice {
 public:
  bool open(MixFunction mix, AudioFormat& granted) override {
    granted.rate = 48000;
    granted.buffer_frames = 256;
    mix_ = std::move(mix);
    return true;
  }
  void close() override {}
  void lock() override { mutex_.lock(); }
  void unlock() override { mutex_.unlock(); }
  void mix(float* out, int frames) {
    std::lock_guard<std::mutex> hold(mutex_);
    mix_(out, frames);
  }

 private:
  MixFunction mix_;
  std::mutex mutex_;
};

// Sounds are converted to the granted rate whole; under a sanitizer the second
// part shows the two threads never touch freed voices.
TEST(SoundEngine, SoundsAreConvertedToTheGrantedRateAndTheThreadsShareTheVoices) {
  LockingDevice device;
  SoundEngine engine;
  ASSERT_EQ(engine.init(device), 1);
  EXPECT_EQ(engine.format().buffer_frames, 256);
  engine.play(engine.load_bytes(bytes_of(wav_file(counting(4410))), "x"));
  std::vector<float> out(2 * 5000);
  for (int block = 0; block < 5000; block += 500) device.mix(out.data() + 2 * block, 500);
  EXPECT_EQ(std::lround(out[0] / pcm16_unit), 1);
  EXPECT_EQ(std::lround(out[2 * 4799] / pcm16_unit), 4410);  // the last sample survives
  EXPECT_EQ(out[2 * 4800], 0.0f);

  const std::string file = wav_file(counting(300));
  std::vector<SoundHandle> handles(8);
  for (SoundHandle& h : handles) h = engine.load_bytes(bytes_of(file), "x");
  std::atomic<bool> running{true};
  std::atomic<int> blocks{0};
  std::thread audio_thread([&] {
    std::vector<float> block(2 * 128);
    for (; running; ++blocks) device.mix(block.data(), 128);
  });
  while (blocks == 0) std::this_thread::yield();
  for (int round = 0; round < 3000; ++round) {
    SoundHandle& h = handles[round % handles.size()];
    engine.play(h, round % 3 == 0);
    engine.set_volume(h, round % 101);
    engine.set_pan(h, round % 201 - 100);
    if (round % 7 == 0) engine.stop(h);
    if (round % 50 == 0) {
      engine.free(h);
      h = engine.load_bytes(bytes_of(file), "x");
    }
  }
  running = false;
  audio_thread.join();
  engine.free_all();
  EXPECT_EQ(engine.loaded_count(), 0u);
}

}  // namespace
}  // namespace tornello
