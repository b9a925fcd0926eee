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

// A sound tree on disk with every file the bank asks for and more goals, in the
// working directory while the engine loads the bank from it.
struct BankFixture {
  explicit BankFixture(bool lower_case = false, const std::string& missing = "") {
    for (std::string path : bank_paths(10)) {
      if (path == missing) continue;
      if (lower_case) std::transform(path.begin(), path.end(), path.begin(), ::tolower);
      dir.write(path, test::wav_file(test::counting(20)));
    }
    audio.engine.set_log(&log);
  }
  void load(int goals = 8) { load_sound_bank(bank, audio.engine, files, goals); }
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

TEST(SoundBank, LoadsEveryFileInOrderWithSeparateOwnAndOpponentCopies) {
  BankFixture f;
  f.load();
  EXPECT_EQ(f.loaded_paths(), bank_paths(8));
  EXPECT_EQ(f.audio.engine.loaded_count(), 115u);
  EXPECT_TRUE(f.log.played_since(0).empty());
  // Character 0 (a player who never chose) and every array's entry 0 stay silent.
  EXPECT_EQ(f.bank.characters[0].intro, 0u);
  EXPECT_EQ(f.bank.characters[0].score_lines[1], 0u);
  EXPECT_EQ(f.bank.crowd_oh[0], 0u);
  EXPECT_NE(f.bank.crowd_oh[3], 0u);

  const std::pair<SoundHandle, SoundHandle> pairs[] = {
      {f.bank.own_border, f.bank.opponent_border},
      {f.bank.own_move, f.bank.opponent_move},
      {f.bank.own_shield_loop, f.bank.opponent_shield_loop}};
  for (const auto& [own, opponent] : pairs) {
    f.audio.engine.play(own);
    f.audio.engine.play(opponent);
    EXPECT_NE(own, opponent);
    EXPECT_TRUE(f.audio.engine.is_playing(own) && f.audio.engine.is_playing(opponent));
  }
}

TEST(SoundBank, AMissingFileLeavesOnlyItsFieldEmptyAndOtherCaseIsFound) {
  BankFixture f(false, "Sounds/chars/3/score4.wav");
  f.load();
  EXPECT_EQ(f.bank.characters[3].score_lines[4], 0u);
  EXPECT_NE(f.bank.characters[3].score_lines[5], 0u);
  EXPECT_EQ(f.audio.engine.loaded_count(), 114u);
  EXPECT_EQ(f.loaded_paths().size(), 115u);  // loading went on past the gap

  BankFixture lower(true);
  lower.load();
  EXPECT_EQ(lower.audio.engine.loaded_count(), 115u);
}

TEST(SoundBank, GoalCountIsHeldToTheArray) {
  for (const auto& [goals, loaded] : {std::pair{25, 117u}, {-3, 107u}}) {
    BankFixture f;
    f.load(goals);
    EXPECT_EQ(f.audio.engine.loaded_count(), loaded) << goals << " goals";
  }
}

}  // namespace
}  // namespace tornello
