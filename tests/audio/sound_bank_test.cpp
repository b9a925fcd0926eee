#include "audio/sound_bank.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "audio/audio_test_support.h"
#include "platform/file_lookup.h"
#include "support/temp_dir.h"

namespace tornello {
namespace {

// Every file of the bank, in the order the game loads them.
std::vector<std::string> bank_paths(int goals) {
  std::vector<std::string> paths;
  for (int n = 1; n <= 5; ++n) {
    const std::string dir = "Sounds/chars/" + std::to_string(n) + "/";
    for (const char* name : {"intro", "lose", "name"}) paths.push_back(dir + name + ".wav");
    for (int i = 1; i <= 5; ++i) paths.push_back(dir + "opscore" + std::to_string(i) + ".wav");
    for (int i = 1; i <= 5; ++i) paths.push_back(dir + "score" + std::to_string(i) + ".wav");
    paths.push_back(dir + "win.wav");
  }
  for (const char* path :
       {"Sounds/pong/rolling.wav", "Sounds/Pong/Ballborder.wav", "sounds/misc/disappear.wav",
        "sounds/misc/appear.wav", "sounds/pong/border.wav", "sounds/pong/border.wav",
        "sounds/pong/move.wav", "sounds/pong/move.wav", "Sounds/Pong/Hit.wav",
        "Sounds/Music/GAME_WON.wav", "Sounds/Music/GAME_LOST.wav"}) {
    paths.push_back(path);
  }
  for (int i = 1; i <= goals; ++i) paths.push_back("sounds/pong/goal" + std::to_string(i) + ".wav");
  for (int copy = 0; copy < 2; ++copy) {
    for (const char* name : {"shieldon", "shieldloop", "shieldhit", "shieldoff"}) {
      paths.push_back(std::string("sounds/misc/") + name + ".wav");
    }
  }
  paths.push_back("sounds/crowd/chant.wav");
  for (int i = 1; i <= 5; ++i) paths.push_back("sounds/crowd/cheer" + std::to_string(i) + ".wav");
  for (const char* name : {"clap1", "clap2", "EpicFail1", "EpicFail2", "lost", "won", "loop", "ok1",
                           "ok2", "oh1", "oh2", "oh3"}) {
    paths.push_back(std::string("sounds/crowd/") + name + ".wav");
  }
  return paths;
}

std::string spelled(std::string path, bool lower) {
  if (lower) {
    for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return path;
}

// A sound tree on disk, with every file the bank asks for (and more goals).
struct SoundTree {
  explicit SoundTree(bool lower_case = false, const std::string& missing = "") {
    for (const std::string& path : bank_paths(10)) {
      if (path != missing) dir.write(spelled(path, lower_case), test::wav_file(test::counting(20)));
    }
  }
  TempDir dir;
};

struct BankFixture {
  explicit BankFixture(SoundTree& tree) : cwd(tree.dir.path()) { audio.engine.set_log(&log); }
  void load(int goals = 8) { load_sound_bank(bank, audio.engine, files, goals); }
  std::vector<std::string> loaded_paths() const {
    std::vector<std::string> paths;
    for (const SoundEvent& e : log.events()) {
      if (e.kind == SoundEventKind::load) paths.push_back(e.path);
    }
    return paths;
  }

  WorkingDirectory cwd;
  test::HeadlessEngine audio;
  FileLookup files;
  SoundLog log;
  SoundBank bank;
};

TEST(SoundBank, LoadsEveryFileInOrderAndLeavesCharacterZeroSilent) {
  SoundTree tree;
  BankFixture f(tree);
  f.load();
  EXPECT_EQ(f.loaded_paths(), bank_paths(8));
  EXPECT_EQ(f.audio.engine.loaded_count(), 115u);
  // No ninth goal is looked for, and nothing is played.
  EXPECT_EQ(f.bank.goals[9], 0u);
  EXPECT_TRUE(f.log.played_since(0).empty());

  const CharacterSounds& none = f.bank.characters[0];
  EXPECT_EQ(none.intro, 0u);
  EXPECT_EQ(none.win, 0u);
  for (int i = 1; i <= 5; ++i) {
    EXPECT_EQ(none.score_lines[i], 0u);
    EXPECT_NE(f.bank.characters[5].score_lines[i], 0u);
  }
  EXPECT_EQ(f.bank.crowd_oh[0], 0u);  // arrays count from 1
  EXPECT_NE(f.bank.crowd_oh[3], 0u);
}

TEST(SoundBank, OwnAndOpponentCopiesAreSeparateVoices) {
  SoundTree tree;
  BankFixture f(tree);
  f.load();
  const std::pair<SoundHandle, SoundHandle> pairs[] = {
      {f.bank.own_border, f.bank.opponent_border},
      {f.bank.own_move, f.bank.opponent_move},
      {f.bank.own_shield_loop, f.bank.opponent_shield_loop}};
  for (const auto& [own, opponent] : pairs) {
    ASSERT_NE(own, 0u);
    ASSERT_NE(opponent, 0u);
    EXPECT_NE(own, opponent);
    f.audio.engine.play(own);
    f.audio.engine.play(opponent);
    EXPECT_TRUE(f.audio.engine.is_playing(own));
    EXPECT_TRUE(f.audio.engine.is_playing(opponent));
  }
}

TEST(SoundBank, AMissingFileLeavesOnlyItsFieldEmpty) {
  SoundTree tree(false, "Sounds/chars/3/score4.wav");
  BankFixture f(tree);
  f.load();
  EXPECT_EQ(f.bank.characters[3].score_lines[4], 0u);
  EXPECT_NE(f.bank.characters[3].score_lines[3], 0u);
  EXPECT_NE(f.bank.characters[3].score_lines[5], 0u);
  EXPECT_NE(f.bank.characters[3].win, 0u);
  EXPECT_EQ(f.audio.engine.loaded_count(), 114u);
  EXPECT_EQ(f.loaded_paths().size(), 115u);  // loading went on past the gap
}

TEST(SoundBank, FindsATreeSpelledInOtherLetterCase) {
  SoundTree tree(true);
  BankFixture f(tree);
  f.load();
  EXPECT_EQ(f.audio.engine.loaded_count(), 115u);
  EXPECT_NE(f.bank.hit, 0u);
  EXPECT_NE(f.bank.crowd_epic_fails[2], 0u);
}

TEST(SoundBank, GoalCountIsHeldToTheArray) {
  SoundTree tree;
  BankFixture f(tree);
  f.load(25);
  EXPECT_NE(f.bank.goals[10], 0u);
  EXPECT_EQ(f.audio.engine.loaded_count(), 117u);
  BankFixture none(tree);
  none.load(-3);
  EXPECT_EQ(none.audio.engine.loaded_count(), 107u);
}

}  // namespace
}  // namespace tornello
