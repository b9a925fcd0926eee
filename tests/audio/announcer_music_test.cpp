#include <gtest/gtest.h>

#include "audio/announcer.h"
#include "audio/audio_test_support.h"
#include "audio/music.h"
#include "platform/file_lookup.h"
#include "support/temp_dir.h"

namespace tornello {
namespace {

// A working directory with announcer recordings and music tracks.
struct Recordings {
  Recordings() : cwd(dir.path()) {
    const std::string file = test::wav_file(test::counting(500));
    for (const char* name : {"scores", "3", "gamestart"}) {
      dir.write(std::string("sounds/announcer/") + name + ".wav", file);
    }
    for (const char* name : {"title", "Menu", "connection", "charselect", "InGame"}) {
      dir.write(std::string("Sounds/Music/") + name + ".wav", file);
    }
    audio.engine.set_log(&log);
  }

  TempDir dir;
  WorkingDirectory cwd;
  test::HeadlessEngine audio;
  FileLookup files;
  SoundLog log;
};

struct AnnouncerTest : Recordings, testing::Test {
  // Returns how long the call held the caller, by the virtual clock.
  int32_t announce(const std::string& name, int32_t hold) {
    const uint32_t start = platform.elapsed_ms();
    play_announcement(announcer, audio.engine, files, platform, name, hold);
    return ms_between(start, platform.elapsed_ms());
  }

  HeadlessPlatform platform;
  Announcer announcer;
};

TEST_F(AnnouncerTest, EachCallCutsThePreviousOffAndHoldsTheCallerJustPastTheHold) {
  EXPECT_EQ(announce("scores", 500), 501);
  const SoundHandle scores = announcer.current;
  EXPECT_TRUE(audio.engine.is_playing(scores));
  EXPECT_EQ(log.last(scores, SoundEventKind::play)->volume, 100);
  EXPECT_EQ(announce("gamestart", 0), 1);  // the clock always moves on
  EXPECT_EQ(announce("gamestart", -20), 1);
  EXPECT_EQ(audio.engine.is_loaded(scores), 0);
  EXPECT_TRUE(audio.engine.is_playing(announcer.current));

  // A missing recording: the last one is still cut off, and the hold is kept.
  EXPECT_EQ(announce("youwin", 200), 201);
  EXPECT_EQ(announcer.current, 0u);
  EXPECT_EQ(audio.engine.loaded_count(), 0u);
}

struct MusicTest : Recordings, testing::Test {
  void play(const std::string& name, bool apply) {
    play_music(music, audio.engine, files, name, apply, music_volume);
  }
  void nudge(std::string_view direction, int times) {
    for (int k = 0; k < times; ++k)
      nudge_music_volume(music, audio.engine, music_volume, direction);
  }
  int32_t applied() const { return audio.engine.volume(music.current); }

  Music music;
  float music_volume = 5.0f;
};

TEST_F(MusicTest, TheSameNameNeverRestartsButOtherCaseDoes) {
  play("title", false);
  EXPECT_TRUE(log.last(music.current, SoundEventKind::play)->looped);
  EXPECT_EQ(applied(), 100);  // title and selection tracks ignore the music level
  play("Menu", true);
  const SoundHandle menu = music.current;
  music_volume = 50.0f;
  play("Menu", true);
  EXPECT_EQ(music.current, menu);
  EXPECT_EQ(log.count(menu, SoundEventKind::play), 1u);
  EXPECT_EQ(applied(), 5);  // the level is not touched either

  // Names are compared with their case; the file is found either way.
  play("charselect", false);
  const SoundHandle first = music.current;
  play("Charselect", false);
  EXPECT_NE(music.current, first);
  EXPECT_NE(music.current, 0u);
  EXPECT_EQ(audio.engine.loaded_count(), 1u) << "the earlier track is freed";
}

TEST_F(MusicTest, EmptyNameStopsTheMusicAndAMissingTrackIsNotRetried) {
  play("connection", true);
  play("", true);
  EXPECT_EQ(music.current, 0u);
  EXPECT_EQ(audio.engine.loaded_count(), 0u);
  play("nosuchtrack", true);
  const size_t loads = log.count(0, SoundEventKind::load);
  play("nosuchtrack", true);
  EXPECT_EQ(log.count(0, SoundEventKind::load), loads);
}

TEST_F(MusicTest, NudgesMoveByQuartersAndOnlyTheAppliedLevelIsClamped) {
  play("InGame", true);
  const struct {
    const char* direction;
    int times;
    float stored;
    int32_t applied;
  } steps[] = {
      {"Down", 2, 4.5f, 4},   {"Down", 1, 4.25f, 4},    {"Up", 4, 5.25f, 5},
      {"Up", 1, 5.5f, 6},     {"Up", 4, 6.5f, 6},       {"Sideways", 3, 6.5f, 6},
      {"Down", 23, 0.75f, 1}, {"Down", 1, 0.5f, 0},     {"Down", 8, -1.5f, 0},
      {"Up", 8, 0.5f, 0},     {"Up", 1, 0.75f, 1},      {"Up", 395, 99.5f, 100},
      {"Up", 8, 101.5f, 100}, {"Down", 4, 100.5f, 100},
  };
  for (const auto& step : steps) {
    nudge(step.direction, step.times);
    EXPECT_EQ(music_volume, step.stored) << step.direction << " x" << step.times;
    EXPECT_EQ(applied(), step.applied) << step.direction << " x" << step.times;
  }
  EXPECT_EQ(applied_music_level(-0.5f), 0);
  EXPECT_EQ(applied_music_level(1e30f), 101);  // far values stay defined
}

}  // namespace
}  // namespace tornello
