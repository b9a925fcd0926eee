// Every sound of the match, the crowd and the five characters, loaded once at
// start-up and kept until shutdown. Arrays are indexed from 1; entry 0 is unused
// and stays 0. A file that is missing or not accepted leaves 0 (a silent sound).
#pragma once

#include <array>
#include <cstdint>

#include "audio/sound_engine.h"

namespace tornello {

class FileLookup;

struct CharacterSounds {
  SoundHandle intro = 0;
  SoundHandle lose = 0;
  SoundHandle name_call = 0;
  std::array<SoundHandle, 6> opscore_lines{};  // 1..5
  std::array<SoundHandle, 6> score_lines{};    // 1..5
  SoundHandle win = 0;
};

struct SoundBank {
  static constexpr int character_count = 5;
  static constexpr int max_goal_sounds = 10;

  // Index = character number; entry 0 (a player who never chose) is all zeros.
  std::array<CharacterSounds, character_count + 1> characters{};

  SoundHandle rolling = 0;
  SoundHandle ball_border = 0;
  SoundHandle disappear = 0;
  SoundHandle appear = 0;
  SoundHandle own_border = 0;
  SoundHandle opponent_border = 0;
  SoundHandle own_move = 0;
  SoundHandle opponent_move = 0;
  SoundHandle hit = 0;
  SoundHandle game_won = 0;
  SoundHandle game_lost = 0;
  std::array<SoundHandle, max_goal_sounds + 1> goals{};  // 1..goal_sound_count

  SoundHandle own_shield_on = 0;
  SoundHandle own_shield_loop = 0;
  SoundHandle own_shield_hit = 0;
  SoundHandle own_shield_off = 0;
  SoundHandle opponent_shield_on = 0;
  SoundHandle opponent_shield_loop = 0;
  SoundHandle opponent_shield_hit = 0;
  SoundHandle opponent_shield_off = 0;

  SoundHandle crowd_chant = 0;
  std::array<SoundHandle, 6> crowd_cheers{};      // 1..5
  std::array<SoundHandle, 3> crowd_claps{};       // 1..2
  std::array<SoundHandle, 3> crowd_epic_fails{};  // 1..2
  SoundHandle crowd_lost = 0;
  SoundHandle crowd_won = 0;
  SoundHandle crowd_loop = 0;
  std::array<SoundHandle, 3> crowd_ok{};  // 1..2
  std::array<SoundHandle, 4> crowd_oh{};  // 1..3
};

// Loads every field, in the game's fixed order (characters, ball and paddle,
// goals, shields, crowd). `goal_sound_count` is held to 0..10. The caller speaks
// the loading line before calling: this takes as long as the disk does.
void load_sound_bank(SoundBank& bank, SoundEngine& engine, FileLookup& files,
                     int32_t goal_sound_count);

}  // namespace tornello
