#include "audio/sound_bank.h"

#include <algorithm>
#include <string>

namespace tornello {

namespace {

// Loads one file after another; a missing one leaves 0 and loading goes on.
struct BankLoader {
  SoundEngine& engine;
  FileLookup& files;

  void operator()(SoundHandle& field, const std::string& path) { field = engine.load(files, path); }
  // Entries first..last of an array indexed from 1, from prefix + i + ".wav".
  template <size_t N>
  void numbered(std::array<SoundHandle, N>& fields, int last, const std::string& prefix) {
    for (int i = 1; i <= last; ++i) (*this)(fields[i], prefix + std::to_string(i) + ".wav");
  }
};

}  // namespace

void load_sound_bank(SoundBank& bank, SoundEngine& engine, FileLookup& files,
                     int32_t goal_sound_count) {
  BankLoader load{engine, files};

  for (int n = 1; n <= SoundBank::character_count; ++n) {
    CharacterSounds& c = bank.characters[n];
    const std::string dir = "Sounds/chars/" + std::to_string(n) + "/";
    load(c.intro, dir + "intro.wav");
    load(c.lose, dir + "lose.wav");
    load(c.name_call, dir + "name.wav");
    load.numbered(c.opscore_lines, 5, dir + "opscore");
    load.numbered(c.score_lines, 5, dir + "score");
    load(c.win, dir + "win.wav");
  }

  load(bank.rolling, "Sounds/pong/rolling.wav");
  load(bank.ball_border, "Sounds/Pong/Ballborder.wav");
  load(bank.disappear, "sounds/misc/disappear.wav");
  load(bank.appear, "sounds/misc/appear.wav");
  // Own and opponent copies are separate loads, so each has its own voice.
  load(bank.own_border, "sounds/pong/border.wav");
  load(bank.opponent_border, "sounds/pong/border.wav");
  load(bank.own_move, "sounds/pong/move.wav");
  load(bank.opponent_move, "sounds/pong/move.wav");
  load(bank.hit, "Sounds/Pong/Hit.wav");
  load(bank.game_won, "Sounds/Music/GAME_WON.wav");
  load(bank.game_lost, "Sounds/Music/GAME_LOST.wav");

  // The goal array has room for ten; more would write past it.
  load.numbered(bank.goals, std::clamp(goal_sound_count, 0, SoundBank::max_goal_sounds),
                "sounds/pong/goal");

  load(bank.own_shield_on, "sounds/misc/shieldon.wav");
  load(bank.own_shield_loop, "sounds/misc/shieldloop.wav");
  load(bank.own_shield_hit, "sounds/misc/shieldhit.wav");
  load(bank.own_shield_off, "sounds/misc/shieldoff.wav");
  load(bank.opponent_shield_on, "sounds/misc/shieldon.wav");
  load(bank.opponent_shield_loop, "sounds/misc/shieldloop.wav");
  load(bank.opponent_shield_hit, "sounds/misc/shieldhit.wav");
  load(bank.opponent_shield_off, "sounds/misc/shieldoff.wav");

  load(bank.crowd_chant, "sounds/crowd/chant.wav");
  load.numbered(bank.crowd_cheers, 5, "sounds/crowd/cheer");
  load.numbered(bank.crowd_claps, 2, "sounds/crowd/clap");
  load.numbered(bank.crowd_epic_fails, 2, "sounds/crowd/EpicFail");
  load(bank.crowd_lost, "sounds/crowd/lost.wav");
  load(bank.crowd_won, "sounds/crowd/won.wav");
  load(bank.crowd_loop, "sounds/crowd/loop.wav");
  load.numbered(bank.crowd_ok, 2, "sounds/crowd/ok");
  load.numbered(bank.crowd_oh, 3, "sounds/crowd/oh");
}

}  // namespace tornello
