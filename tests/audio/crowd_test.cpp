#include "audio/crowd.h"

#include <gtest/gtest.h>

#include <set>

#include "audio/audio_test_support.h"

namespace tornello {
namespace {

// A bank whose crowd sounds are loaded from memory, with a log of what is played.
struct CrowdTest : testing::Test {
  CrowdTest() {
    const std::string file = test::wav_file(test::counting(50));
    for (SoundHandle* h :
         {&bank.crowd_loop, &bank.crowd_chant, &bank.crowd_won, &bank.crowd_lost}) {
      *h = audio.load(file);
    }
    for (int i = 1; i <= 5; ++i) bank.crowd_cheers[i] = audio.load(file);
    for (int i = 1; i <= 2; ++i) {
      bank.crowd_claps[i] = audio.load(file);
      bank.crowd_epic_fails[i] = audio.load(file);
      bank.crowd_ok[i] = audio.load(file);
    }
    for (int i = 1; i <= 3; ++i) bank.crowd_oh[i] = audio.load(file);
    audio.engine.set_log(&log);
    random.seed(1234);
  }

  // The handles the word played.
  std::vector<uint32_t> command(std::string_view word) {
    const size_t from = log.events().size();
    crowd_command(crowd, bank, audio.engine, random, word);
    return log.played_since(from);
  }
  int32_t chant_level() const { return audio.engine.volume(bank.crowd_chant); }

  test::HeadlessEngine audio;
  SoundBank bank;
  SoundLog log;
  Random random;
  Crowd crowd;
};

TEST_F(CrowdTest, RallyBuildsUpAndShoutsFromTheSeventhReturn) {
  // Before the chant starts, "increase" raises the silent chant; "chant" starts it quiet.
  command("increase");
  EXPECT_EQ(chant_level(), 15);
  EXPECT_FALSE(audio.engine.is_playing(bank.crowd_chant));
  for (int pair = 1; pair <= 18; ++pair) {
    SCOPED_TRACE(testing::Message() << "pair " << pair);
    const std::vector<uint32_t> chant = command("chant");
    EXPECT_EQ(chant, pair == 1 ? std::vector<uint32_t>{bank.crowd_chant} : std::vector<uint32_t>{});
    const std::vector<uint32_t> shouts = command("increase");
    EXPECT_EQ(crowd.crowd_intensity, 10 + 5 * pair);
    EXPECT_EQ(chant_level(), std::min(100, 10 + 5 * pair));
    EXPECT_EQ(shouts.size(), pair <= 6 ? 0u : 1u);
    if (!shouts.empty()) {
      EXPECT_TRUE(shouts[0] == bank.crowd_ok[1] || shouts[0] == bank.crowd_ok[2]);
    }
  }
  EXPECT_TRUE(log.last(bank.crowd_chant, SoundEventKind::play)->looped);

  // A point ends the rally: the chant stops and the next one starts quiet.
  command("reset");
  EXPECT_FALSE(audio.engine.is_playing(bank.crowd_chant));
  EXPECT_EQ(crowd.crowd_intensity, 10);
  EXPECT_FALSE(crowd.chanting);
  EXPECT_EQ(command("chant"), std::vector<uint32_t>{bank.crowd_chant});
  EXPECT_EQ(chant_level(), 10);
}

TEST_F(CrowdTest, EachWordDrawsFromItsOwnRecordings) {
  const auto from = [](const auto& sounds, int count) {
    return std::set<uint32_t>(sounds.begin() + 1, sounds.begin() + 1 + count);
  };
  const std::pair<const char*, std::set<uint32_t>> words[] = {
      {"cheer", from(bank.crowd_cheers, 5)},
      {"clap", from(bank.crowd_claps, 2)},
      {"epicfail", from(bank.crowd_epic_fails, 2)},
      {"ok", from(bank.crowd_ok, 2)},
      {"oh", from(bank.crowd_oh, 3)},
      {"won", {bank.crowd_won}},
      {"lost", {bank.crowd_lost}},
      {"start", {bank.crowd_loop}},
  };
  for (const auto& [word, sounds] : words) {
    std::set<uint32_t> heard;
    for (int k = 0; k < 100; ++k) {
      const std::vector<uint32_t> played = command(word);
      ASSERT_EQ(played.size(), 1u) << word;
      heard.insert(played[0]);
    }
    EXPECT_EQ(heard, sounds) << word << ": every recording, and only those";
  }
  EXPECT_TRUE(log.last(bank.crowd_loop, SoundEventKind::play)->looped);
  command("stop");
  EXPECT_FALSE(audio.engine.is_playing(bank.crowd_loop));
}

TEST_F(CrowdTest, UnknownWordsAndOtherCasesDoNothing) {
  for (const char* word : {"Start", "CHANT", "increase ", "", "cheers", "applause"}) {
    const size_t before = log.events().size();
    command(word);
    EXPECT_EQ(log.events().size(), before) << word;
  }
  EXPECT_EQ(crowd.crowd_intensity, 10);
  EXPECT_FALSE(crowd.chanting);
}

}  // namespace
}  // namespace tornello
