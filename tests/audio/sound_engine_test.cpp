#include "audio/sound_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>

#include "audio/audio_test_support.h"
#include "platform/file_lookup.h"

namespace tornello {
namespace {

using test::counting;
using test::HeadlessEngine;
using test::pcm16_unit;
using test::wav_file;

TEST(LevelTable, TellingEntriesAndAttenuations) {
  const LevelTable& t = level_table();
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[100], 10000);
  const std::pair<int, int32_t> entries[] = {{1, 6000},  {2, 6602},  {5, 7397},
                                             {10, 8000}, {25, 8795}, {50, 9397},
                                             {75, 9750}, {90, 9908}, {99, 9991}};
  for (const auto& [k, value] : entries) EXPECT_EQ(t[k], value) << "entry " << k;

  const std::pair<int, int32_t> volumes[] = {{100, 0},    {75, -250},  {50, -603}, {25, -1205},
                                             {10, -2000}, {5, -2603},  {1, -4000}, {0, -10000},
                                             {101, 0},    {-5, -10000}};
  for (const auto& [v, db] : volumes) EXPECT_EQ(volume_attenuation(v), db) << "volume " << v;

  const std::pair<int, int32_t> pans[] = {{0, 0},       {1, 9},       {10, 92},     {25, 250},
                                          {-50, 603},   {75, 1205},   {90, 2000},   {99, 4000},
                                          {100, 10000}, {150, 10000}, {-300, 10000}};
  for (const auto& [p, db] : pans) EXPECT_EQ(pan_attenuation(p), db) << "pan " << p;
}

// Decibels of a rendered sample against the sound's own level.
double decibels(float rendered, float original) {
  return 20.0 * std::log10(rendered / original);
}

constexpr double silent = -1000.0;

struct GainCase {
  int volume;
  int pan;
  double left_db;
  double right_db;
};

TEST(Mixer, GainsFollowTheLevelTableOnEachChannel) {
  const GainCase cases[] = {
      {100, 0, 0.0, 0.0},       {75, 0, -2.50, -2.50},    {50, 0, -6.03, -6.03},
      {25, 0, -12.05, -12.05},  {10, 0, -20.00, -20.00},  {1, 0, -40.00, -40.00},
      {0, 0, silent, silent},   {100, 1, -0.09, 0.0},     {100, -1, 0.0, -0.09},
      {100, 50, -6.03, 0.0},    {100, -50, 0.0, -6.03},   {100, 100, silent, 0.0},
      {100, -100, 0.0, silent}, {50, -50, -6.03, -12.06}, {0, -100, silent, silent},
  };
  constexpr int16_t level = 16384;
  for (const GainCase& c : cases) {
    HeadlessEngine audio;
    const SoundHandle h = audio.load(wav_file(std::vector<int16_t>(1000, level)));
    audio.engine.set_volume(h, c.volume);
    audio.engine.set_pan(h, c.pan);
    ASSERT_EQ(audio.engine.play(h, true), 1);
    const std::vector<float> out = audio.render(300);
    for (int f = 0; f < 300; f += 37) {
      for (int channel = 0; channel < 2; ++channel) {
        const float sample = out[2 * f + channel];
        const double expected = channel == 0 ? c.left_db : c.right_db;
        if (expected == silent) {
          EXPECT_EQ(sample, 0.0f) << "volume " << c.volume << " pan " << c.pan;
        } else {
          EXPECT_NEAR(decibels(sample, level * pcm16_unit), expected, 0.01)
              << "volume " << c.volume << " pan " << c.pan << " channel " << channel;
        }
      }
    }
  }
}

TEST(Mixer, ChangesReachAPlayingVoiceWithoutAJump) {
  HeadlessEngine audio;
  const SoundHandle h = audio.load(wav_file(std::vector<int16_t>(10000, 16384)));
  audio.engine.play(h, true);
  audio.render(100);
  audio.engine.set_volume(h, 50);
  const std::vector<float> out = audio.render(200);
  // The step from 0.5 to 0.25 is spread over a few frames, then holds exactly.
  float previous = 0.5f;
  for (int f = 0; f < 200; ++f) {
    EXPECT_LE(std::abs(out[2 * f] - previous), 0.25f / 32) << "frame " << f;
    previous = out[2 * f];
  }
  EXPECT_NEAR(decibels(out[2 * 199], 0.5f), -6.03, 0.01);
  EXPECT_NEAR(decibels(out[2 * 100 + 1], 0.5f), -6.03, 0.01);
}

// The frames of the left channel, in units of the 16-bit sample step.
std::vector<int> left_steps(const std::vector<float>& out) {
  std::vector<int> steps;
  for (size_t k = 0; k < out.size(); k += 2) steps.push_back(std::lround(out[k] / pcm16_unit));
  return steps;
}

TEST(Mixer, LoopRepeatsTheWholeSoundWithoutAGap) {
  HeadlessEngine audio;
  const SoundHandle h = audio.load(wav_file(counting(1000)));
  audio.engine.play(h, true);
  std::vector<int> heard;
  for (int block = 0; block < 10; ++block) {  // block sizes that never line up with the loop
    const std::vector<int> steps = left_steps(audio.render(333));
    heard.insert(heard.end(), steps.begin(), steps.end());
  }
  for (size_t k = 0; k < heard.size(); ++k) ASSERT_EQ(heard[k], static_cast<int>(k % 1000) + 1);
  EXPECT_TRUE(audio.engine.is_playing(h));
}

TEST(Mixer, OnceEndsInSilenceAndPlayAlwaysRestartsTheOneVoice) {
  HeadlessEngine audio;
  const SoundHandle h = audio.load(wav_file(counting(100)));
  audio.engine.play(h);
  std::vector<int> heard = left_steps(audio.render(150));
  EXPECT_EQ(heard[99], 100);
  EXPECT_EQ(heard[100], 0);
  EXPECT_EQ(heard[149], 0);
  EXPECT_FALSE(audio.engine.is_playing(h));

  // A play while playing cuts and restarts; it never adds a second copy.
  audio.engine.play(h);
  audio.render(40);
  audio.engine.play(h);
  heard = left_steps(audio.render(3));
  EXPECT_EQ(heard, (std::vector<int>{1, 2, 3}));

  // Stop rewinds: the next play starts from the first sample.
  audio.engine.stop(h);
  EXPECT_EQ(left_steps(audio.render(5)), std::vector<int>(5, 0));
  audio.engine.play(h);
  EXPECT_EQ(left_steps(audio.render(2)), (std::vector<int>{1, 2}));
}

TEST(SoundEngine, HandlesAreNeverReusedAndDeadOnesDoNothing) {
  HeadlessEngine audio;
  SoundEngine& engine = audio.engine;
  const std::string file = wav_file(counting(50));
  const SoundHandle first = audio.load(file);
  ASSERT_NE(first, 0u);
  engine.free(first);
  EXPECT_EQ(engine.is_loaded(first), 0);
  const SoundHandle second = audio.load(file);
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
  EXPECT_EQ(left_steps(audio.render(4)), std::vector<int>(4, 0));

  // Freeing a playing sound silences it.
  engine.play(second, true);
  engine.free(second);
  EXPECT_EQ(left_steps(audio.render(4)), std::vector<int>(4, 0));
  EXPECT_EQ(engine.loaded_count(), 0u);
}

TEST(SoundEngine, VolumeAndPanClampAndBelongToTheSound) {
  HeadlessEngine audio;
  SoundEngine& engine = audio.engine;
  const SoundHandle h = audio.load(wav_file(counting(50)));
  engine.set_volume(h, 101);
  engine.set_pan(h, 150);
  EXPECT_EQ(std::pair(engine.volume(h), engine.pan(h)), std::pair(100, 100));
  engine.set_volume(h, -5);
  engine.set_pan(h, -300);
  EXPECT_EQ(std::pair(engine.volume(h), engine.pan(h)), std::pair(0, -100));

  // A play with a volume keeps it for later plays; -1 keeps the current one.
  engine.play(h, false, 10);
  EXPECT_EQ(engine.volume(h), 10);
  engine.stop(h);
  engine.play(h);
  EXPECT_EQ(engine.volume(h), 10);
  EXPECT_EQ(engine.pan(h), -100);

  // A loop started silent is inaudible until raised.
  engine.set_pan(h, 0);
  engine.play(h, true, 0);
  EXPECT_EQ(left_steps(audio.render(3)), std::vector<int>(3, 0));
  engine.set_volume(h, 100);
  audio.render(100);
  EXPECT_NE(left_steps(audio.render(1))[0], 0);
}

TEST(SoundEngine, StopAllSilencesEverythingAndKeepsItLoaded) {
  HeadlessEngine audio;
  const SoundHandle loop = audio.load(wav_file(counting(500)));
  const SoundHandle once = audio.load(wav_file(counting(500)));
  audio.engine.play(loop, true);
  audio.engine.play(once);
  audio.engine.stop_all();
  EXPECT_EQ(left_steps(audio.render(10)), std::vector<int>(10, 0));
  EXPECT_EQ(audio.engine.is_loaded(loop) + audio.engine.is_loaded(once), 2);
  EXPECT_EQ(audio.engine.play(loop), 1);

  audio.engine.free_all();
  EXPECT_EQ(audio.engine.is_loaded(loop), 0);
  EXPECT_FALSE(audio.engine.is_open());
  EXPECT_FALSE(audio.device.is_open());
}

TEST(SoundEngine, WithoutADeviceEverythingFailsQuietly) {
  NoAudioDevice none;
  SoundEngine engine;
  EXPECT_EQ(engine.init(none), 0);
  const SoundHandle h = engine.load_bytes(test::bytes_of(wav_file(counting(10))), "x");
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(engine.play(h), 0);
  engine.stop(h);
  engine.free(h);
  engine.stop_all();
  engine.free_all();
}

// A device that grants another rate and a smaller buffer than asked.
class GrantingDevice : public AudioDevice {
 public:
  bool open(MixFunction mix, AudioFormat& granted) override {
    granted.rate = 48000;
    granted.buffer_frames = 256;
    mix_ = std::move(mix);
    return true;
  }
  void close() override { mix_ = nullptr; }
  void lock() override {}
  void unlock() override {}
  MixFunction mix_;
};

TEST(SoundEngine, SoundsAreConvertedToTheGrantedRateWhole) {
  GrantingDevice device;
  SoundEngine engine;
  ASSERT_EQ(engine.init(device), 1);
  EXPECT_EQ(engine.format().rate, 48000);
  EXPECT_EQ(engine.format().buffer_frames, 256);
  // 4410 frames at 44100 Hz last 0.1 s: 4800 frames at 48000 Hz.
  const SoundHandle h = engine.load_bytes(test::bytes_of(wav_file(counting(4410))), "x");
  engine.play(h);
  std::vector<float> out(2 * 5000);
  for (int block = 0; block < 5000; block += 500) device.mix_(out.data() + 2 * block, 500);
  EXPECT_EQ(std::lround(out[2 * 4799] / pcm16_unit), 4410);  // the last sample survives
  EXPECT_EQ(out[2 * 4800], 0.0f);
  EXPECT_EQ(std::lround(out[0] / pcm16_unit), 1);
}

TEST(SoundLog, RecordsEveryCallWithTheSoundsState) {
  HeadlessEngine audio;
  SoundLog log;
  audio.engine.set_log(&log);
  FileLookup files;
  const SoundHandle h = audio.load(wav_file(counting(10)));
  EXPECT_EQ(audio.engine.load(files, "missing.wav"), 0u);
  audio.engine.set_volume(h, 20);
  audio.engine.set_pan(h, 25);
  audio.engine.play(h, true);
  audio.engine.play(0);
  audio.engine.stop(h);

  const std::optional<SoundEvent> played = log.last(h, SoundEventKind::play);
  ASSERT_TRUE(played);
  EXPECT_EQ(played->volume, 20);
  EXPECT_EQ(played->pan, 25);
  EXPECT_TRUE(played->looped);
  EXPECT_EQ(played->path, "test");
  EXPECT_EQ(log.last(h)->kind, SoundEventKind::stop);
  EXPECT_EQ(log.count(h, SoundEventKind::play), 1u);
  EXPECT_EQ(log.played_since(0), std::vector<uint32_t>{h});
  // The failed load and the play on 0 are there, marked as not live.
  EXPECT_EQ(log.events()[1].path, "missing.wav");
  EXPECT_FALSE(log.events()[1].live);
  EXPECT_FALSE(log.last(0, SoundEventKind::play)->live);
}

// A device that mixes on its own thread, locking as a real one does.
class ThreadedDevice : public AudioDevice {
 public:
  bool open(MixFunction mix, AudioFormat&) override {
    mix_ = std::move(mix);
    running_ = true;
    thread_ = std::thread([this] {
      std::vector<float> out(2 * 128);
      while (running_) {
        {
          std::lock_guard<std::mutex> hold(mutex_);
          mix_(out.data(), 128);
          ++blocks;
        }
        std::this_thread::yield();
      }
    });
    return true;
  }
  void close() override {
    running_ = false;
    if (thread_.joinable()) thread_.join();
  }
  void lock() override { mutex_.lock(); }
  void unlock() override { mutex_.unlock(); }
  std::atomic<int> blocks{0};

 private:
  MixFunction mix_;
  std::mutex mutex_;
  std::atomic<bool> running_{false};
  std::thread thread_;
};

TEST(SoundEngine, GameThreadAndAudioThreadShareTheVoices) {
  ThreadedDevice device;
  SoundEngine engine;
  ASSERT_EQ(engine.init(device), 1);
  const std::string file = wav_file(counting(300));
  std::vector<SoundHandle> handles;
  for (int k = 0; k < 8; ++k) handles.push_back(engine.load_bytes(test::bytes_of(file), "x"));
  while (device.blocks.load() == 0) std::this_thread::yield();
  for (int round = 0; round < 3000; ++round) {
    const SoundHandle h = handles[round % handles.size()];
    engine.play(h, round % 3 == 0);
    engine.set_volume(h, round % 101);
    engine.set_pan(h, round % 201 - 100);
    if (round % 7 == 0) engine.stop(h);
    if (round % 50 == 0) {
      engine.free(h);
      handles[round % handles.size()] = engine.load_bytes(test::bytes_of(file), "x");
    }
  }
  // Run under a sanitizer, this shows the two threads never touch freed voices.
  engine.free_all();
  EXPECT_EQ(engine.loaded_count(), 0u);
}

}  // namespace
}  // namespace tornello
