// The mix: every generated sound is levelled to the loudness of its role in
// play. The game plays each sound at a level fixed by its place (the crowd's
// murmur always at 100, the ball from 20 at the far end to 96 at the player's
// paddle, the music at the player's music level, 5 unless changed), so the files
// carry the balance: the ball and the strokes in front, the crowd as a quiet bed
// under even a far ball, the voices and reactions as brief events.
//
// Loudness is measured one way for every file: integrated loudness after EBU
// R128 (K-weighted, gated), in LUFS, through libebur128.
#pragma once

#include <span>
#include <string_view>

#include "assets/dsp.h"

namespace tornello::assets {

// Integrated loudness in LUFS as heard from two speakers: a mono sound counts on
// both, as the game plays it centred. A sound shorter than one 400 ms gating
// block is measured followed by silence up to that length, so a click counts as
// the brief thing it is. Silence gives -infinity.
double loudness(const Sound& sound);

struct Role {
  std::string_view name;
  double lufs;  // the loudness every file of the role is brought to
  // Its peaks are held under this, so that a near ball, a stroke, a voice and a
  // shout sounding at once still leave the mix room.
  float ceiling = 0.5f;
};

// Every role, loudest first.
std::span<const Role> roles();

// The role of a generated file, by its path below the data folder as the
// generator spells it ("Sounds/Pong/rolling.wav").
const Role& role_of(std::string_view path);

// Brings a finished sound to its role's loudness with its peaks under the
// role's ceiling. Silence stays silence.
void level_to_role(Sound& sound, const Role& role);

}  // namespace tornello::assets
