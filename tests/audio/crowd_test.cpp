#include "audio/crowd.h"

#include <gtest/gtest.h>

#include <map>

#include "audio/audio_test_support.h"

namespace tornello {
namespace {

// A bank whose crowd sounds are loaded from memory, with a log of what is played.
struct CrowdFixture {
  CrowdFixture() {
    const std::string file = test::wav_file(test::counting(50));
    auto load = [&](SoundHandle& h) { h = audio.load(file); };
    load(bank.crowd_loop);
    load(bank.crowd_chant);
    load(bank.crowd_won);
    load(bank.crowd_lost);
    for (int i = 1; i <= 5; ++i) load(bank.crowd_cheers[i]);
    for (int i = 1; i <= 2; ++i) {
      load(bank.crowd_claps[i]);
      load(bank.crowd_epic_fails[i]);
      load(bank.crowd_ok[i]);
    }
    for (int i = 1; i <= 3; ++i) load(bank.crowd_oh[i]);
    audio.engine.set_log(&log);
    random.seed(1234);
  }

  // The handles the word played.
  std::vector<uint32_t> command(std::string_view word) {
    const size_t from = log.events().size();
    crowd_command(crowd, bank, audio.engine, random, word);
    return log.played_since(from);
  }

  bool is_ok(uint32_t h) const { return h == bank.crowd_ok[1] || h == bank.crowd_ok[2]; }

  test::HeadlessEngine audio;
  SoundBank bank;
  SoundLog log;
  Random random;
  Crowd crowd;
};

TEST(Crowd, RallyBuildsUpAndShoutsFromTheSeventhReturn) {
  CrowdFixture f;
  for (int pair = 1; pair <= 18; ++pair) {
    const std::vector<uint32_t> chant = f.command("chant");
    if (pair == 1) {
      EXPECT_EQ(chant, std::vector<uint32_t>{f.bank.crowd_chant});
      EXPECT_EQ(f.log.last(f.bank.crowd_chant, SoundEventKind::play)->volume, 10);
      EXPECT_TRUE(f.log.last(f.bank.crowd_chant, SoundEventKind::play)->looped);
    } else {
      EXPECT_TRUE(chant.empty()) << "pair " << pair;  // already chanting
    }
    const std::vector<uint32_t> shouts = f.command("increase");
    EXPECT_EQ(f.crowd.crowd_intensity, 10 + 5 * pair);
    EXPECT_EQ(f.audio.engine.volume(f.bank.crowd_chant), std::min(100, 10 + 5 * pair));
    if (pair <= 6) {
      EXPECT_TRUE(shouts.empty()) << "pair " << pair;
    } else {
      ASSERT_EQ(shouts.size(), 1u) << "pair " << pair;
      EXPECT_TRUE(f.is_ok(shouts[0]));
    }
  }
  EXPECT_TRUE(f.crowd.chanting);

  // A point ends the rally: the chant stops and the next one starts quiet.
  f.command("reset");
  EXPECT_FALSE(f.audio.engine.is_playing(f.bank.crowd_chant));
  EXPECT_EQ(f.crowd.crowd_intensity, 10);
  EXPECT_FALSE(f.crowd.chanting);
  EXPECT_EQ(f.command("chant"), std::vector<uint32_t>{f.bank.crowd_chant});
  EXPECT_EQ(f.audio.engine.volume(f.bank.crowd_chant), 10);
}

TEST(Crowd, IncreaseWithoutAChantStillRaisesTheSilentChant) {
  CrowdFixture f;
  f.command("increase");
  f.command("increase");
  EXPECT_EQ(f.crowd.crowd_intensity, 20);
  EXPECT_EQ(f.audio.engine.volume(f.bank.crowd_chant), 20);
  EXPECT_FALSE(f.audio.engine.is_playing(f.bank.crowd_chant));
  f.command("chant");
  EXPECT_EQ(f.crowd.crowd_intensity, 10);
  // "reset" while not chanting only lowers the level.
  f.command("reset");
  f.command("increase");
  f.command("reset");
  EXPECT_EQ(f.crowd.crowd_intensity, 10);
}

TEST(Crowd, ReactionsDrawFromTheirOwnRecordings) {
  CrowdFixture f;
  std::map<uint32_t, int> cheers;
  for (int k = 0; k < 500; ++k) {
    const std::vector<uint32_t> played = f.command("cheer");
    ASSERT_EQ(played.size(), 1u);
    ++cheers[played[0]];
  }
  ASSERT_EQ(cheers.size(), 5u);
  for (int i = 1; i <= 5; ++i) EXPECT_GT(cheers[f.bank.crowd_cheers[i]], 50) << "cheer " << i;

  const auto one_of = [](const std::vector<uint32_t>& played, auto& sounds, int count) {
    if (played.size() != 1) return false;
    for (int i = 1; i <= count; ++i) {
      if (played[0] == sounds[i]) return true;
    }
    return false;
  };
  for (int k = 0; k < 20; ++k) {
    EXPECT_TRUE(one_of(f.command("clap"), f.bank.crowd_claps, 2));
    EXPECT_TRUE(one_of(f.command("epicfail"), f.bank.crowd_epic_fails, 2));
    EXPECT_TRUE(one_of(f.command("ok"), f.bank.crowd_ok, 2));
    EXPECT_TRUE(one_of(f.command("oh"), f.bank.crowd_oh, 3));
  }
  EXPECT_EQ(f.command("won"), std::vector<uint32_t>{f.bank.crowd_won});
  EXPECT_EQ(f.command("lost"), std::vector<uint32_t>{f.bank.crowd_lost});

  EXPECT_EQ(f.command("start"), std::vector<uint32_t>{f.bank.crowd_loop});
  EXPECT_TRUE(f.log.last(f.bank.crowd_loop, SoundEventKind::play)->looped);
  f.command("stop");
  EXPECT_FALSE(f.audio.engine.is_playing(f.bank.crowd_loop));
}

TEST(Crowd, UnknownWordsAndOtherCasesDoNothing) {
  CrowdFixture f;
  for (const char* word : {"Start", "CHANT", "increase ", "", "cheers", "applause"}) {
    const size_t before = f.log.events().size();
    f.command(word);
    EXPECT_EQ(f.log.events().size(), before) << word;
  }
  EXPECT_EQ(f.crowd.crowd_intensity, 10);
  EXPECT_FALSE(f.crowd.chanting);
}

}  // namespace
}  // namespace tornello
