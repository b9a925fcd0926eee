// The bank loaded at start-up, the crowd and the music.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "audio/audio_test_support.h"
#include "audio/crowd.h"
#include "audio/music.h"
#include "audio/sound_bank.h"
#include "platform/file_lookup.h"
#include "support/temp_dir.h"

namespace tornello {
namespace {

// A tree with every file the bank asks for (learnt from a load into an empty
// tree, with ten goals) and the music tracks.
struct SoundTree {
  explicit SoundTree(const std::string& missing = "") {
    load_bank(10);
    std::vector<std::string> paths = loaded_paths();
    for (const char* name : {"title", "Menu", "connection", "charselect", "InGame"}) {
      paths.push_back(std::string("Sounds/Music/") + name + ".wav");
    }
    for (const std::string& path : paths) {
      if (path != missing) dir.write(path, test::wav_file(test::counting(20)));
    }
    log.clear();
    bank = SoundBank{};
    files.clear();
  }
  void load_bank(int goals = 8) {
    audio.engine.set_log(&log);
    load_sound_bank(bank, audio.engine, files, goals);
  }
  std::vector<std::string> loaded_paths() const {
    std::vector<std::string> paths;
    for (const SoundEvent& e : log.events()) {
      if (e.kind == SoundEventKind::load) paths.push_back(e.path);
    }
    return paths;
  }

  TempDir dir;
  WorkingDirectory cwd{dir.path()};
  test::HeadlessEngine audio;
  FileLookup files;
  SoundLog log;
  SoundBank bank;
};

// Own and opponent copies play at once; a missing file leaves only its field
// empty; the goal count is held to the array.
TEST(SoundBank, LoadsEveryFileWithOwnAndOpponentCopiesAndGoesOnPastAGap) {
  SoundTree f("Sounds/chars/3/score4.wav");
  f.load_bank();
  EXPECT_EQ(std::pair(f.loaded_paths().size(), f.audio.engine.loaded_count()),
            std::pair(size_t{115}, size_t{114}));
  EXPECT_TRUE(f.log.played_since(0).empty());
  EXPECT_TRUE(f.bank.characters[3].score_lines[4] == 0 && f.bank.characters[3].score_lines[5] != 0);
  // Character 0 (a player who never chose) and every array's entry 0 stay silent.
  EXPECT_TRUE(f.bank.characters[0].intro == 0 && f.bank.crowd_oh[0] == 0 &&
              f.bank.crowd_oh[3] != 0);
  const std::pair<SoundHandle, SoundHandle> pairs[] = {
      {f.bank.own_border, f.bank.opponent_border},
      {f.bank.own_move, f.bank.opponent_move},
      {f.bank.own_shield_loop, f.bank.opponent_shield_loop}};
  for (const auto& [own, opponent] : pairs) {
    f.audio.engine.play(own);
    f.audio.engine.play(opponent);
    EXPECT_TRUE(own != opponent && f.audio.engine.is_playing(own) &&
                f.audio.engine.is_playing(opponent));
  }
  SoundTree tree;
  tree.load_bank(25);
  EXPECT_EQ(tree.loaded_paths().size(), 117u) << "a goal beyond the array was asked for";
}

// The crowd and the music on a loaded bank.
struct GameSounds : SoundTree, testing::Test {
  GameSounds() {
    load_bank();
    bank_sounds = audio.engine.loaded_count();
    random.seed(1234);
  }
  // The handles the word played.
  std::vector<uint32_t> command(std::string_view word) {
    const size_t from = log.events().size();
    crowd_command(crowd, bank, audio.engine, random, word);
    return log.played_since(from);
  }
  int32_t chant_level() const { return audio.engine.volume(bank.crowd_chant); }
  void play(const std::string& name, bool apply) {
    play_music(music, audio.engine, files, name, apply, music_volume);
  }
  int32_t applied() const { return audio.engine.volume(music.current); }

  Random random;
  Crowd crowd;
  Music music;
  float music_volume = 5.0f;
  size_t bank_sounds = 0;
};

// "increase" raises even a silent chant; from the seventh return it also shouts;
// "reset" ends the rally and the next chant starts quiet.
TEST_F(GameSounds, RallyBuildsUpAndShoutsFromTheSeventhReturn) {
  command("increase");
  EXPECT_TRUE(chant_level() == 15 && !audio.engine.is_playing(bank.crowd_chant));
  for (int pair = 1; pair <= 18; ++pair) {
    SCOPED_TRACE(testing::Message() << "pair " << pair);
    EXPECT_EQ(command("chant").size(), pair == 1 ? 1u : 0u);
    const std::vector<uint32_t> shouts = command("increase");
    EXPECT_EQ(std::pair(crowd.crowd_intensity, chant_level()),
              std::pair(10 + 5 * pair, std::min(100, 10 + 5 * pair)));
    EXPECT_EQ(shouts.size(), pair <= 6 ? 0u : 1u);
    for (uint32_t shout : shouts)
      EXPECT_TRUE(shout == bank.crowd_ok[1] || shout == bank.crowd_ok[2]);
  }
  EXPECT_TRUE(log.last(bank.crowd_chant, SoundEventKind::play)->looped);
  command("reset");
  EXPECT_FALSE(audio.engine.is_playing(bank.crowd_chant) || crowd.chanting);
  EXPECT_EQ(command("chant"), std::vector<uint32_t>{bank.crowd_chant});
  EXPECT_EQ(chant_level(), 10);
}

TEST_F(GameSounds, EachWordDrawsFromItsOwnRecordingsAndOthersDoNothing) {
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
      {"Start", {}},
      {"increase ", {}}};
  for (const auto& [word, sounds] : words) {
    std::set<uint32_t> heard;
    for (int k = 0; k < 100; ++k) {
      const std::vector<uint32_t> played = command(word);
      ASSERT_EQ(played.size(), sounds.empty() ? 0u : 1u) << word << ": one recording each time";
      heard.insert(played.begin(), played.end());
    }
    EXPECT_EQ(heard, sounds) << word << ": every recording, and only those";
  }
  EXPECT_TRUE(log.last(bank.crowd_loop, SoundEventKind::play)->looped);
  command("stop");
  EXPECT_FALSE(audio.engine.is_playing(bank.crowd_loop));
}

// The same track never restarts; no name stops.
TEST_F(GameSounds, TheSameTrackNeverRestartsAndATrackStartsAtItsLevel) {
  play("title", false);
  EXPECT_TRUE(log.last(music.current, SoundEventKind::play)->looped);
  EXPECT_EQ(applied(), 100);  // title and selection tracks ignore the music level
  play("Menu", true);
  const SoundHandle menu = music.current;
  music_volume = 50.0f;
  play("Menu", true);
  EXPECT_EQ(log.count(menu, SoundEventKind::play), 1u);
  EXPECT_EQ(applied(), 5);  // the level is not touched either
  play("", true);
  EXPECT_EQ(std::pair(music.current, audio.engine.loaded_count()), std::pair(0u, bank_sounds))
      << "no name stops the track and frees it";
  // A track starts at its level from its first sample, else a click.
  music_volume = 5.0f;
  play("InGame", true);
  const std::vector<float> out = audio.render(20);
  const float gain = attenuation_gain(volume_attenuation(5));
  for (int k = 0; k < 20; ++k) {
    EXPECT_NEAR(out[2 * k], static_cast<float>(k + 1) * test::pcm16_unit * gain, 1e-7f) << k;
  }
}

}  // namespace
}  // namespace tornello
