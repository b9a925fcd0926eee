// A small formant voice for the crowd: a buzzing source shaped by three vowel
// resonances. One voice sounds synthetic; thirty of them, each a little off in
// pitch, timing and vowel, sound like people in a hall.
#pragma once

#include "assets/dsp.h"

namespace tornello::assets {

enum class Vowel { a, e, i, o, u, ae, er };

struct Utterance {
  double length = 0.5;         // seconds of voicing
  double f0_start = 130.0;     // Hz at the start of the voicing
  double f0_end = 130.0;       // Hz at its end (a glide between)
  Vowel from = Vowel::a;       // vowel at the start
  Vowel to = Vowel::a;         // vowel at the end
  double attack = 0.04;        // seconds
  double release = 0.15;       // seconds
  double breath = 0.08;        // share of noise in the source
  double vibrato = 0.0;        // depth in semitones, at about 5.5 Hz
  double formant_scale = 1.0;  // 1 for a man, about 1.17 for a woman
  double aspiration = 0.0;     // seconds of /h/ before the voicing
  double stop_at = -1.0;       // seconds into the voicing: a /k/, or none
};

// One voice saying `utterance`; its own small wobble of pitch comes from `rng`.
Sound speak_vowels(const Utterance& utterance, Rng& rng);

// Many voices saying variations of one utterance.
struct Chorus {
  Utterance base;
  int voices = 20;
  double onset_spread = 0.3;   // seconds over which the voices come in
  double pitch_spread = 3.0;   // semitones either way
  double length_spread = 0.3;  // share of the length either way
  double women = 0.4;          // share of higher voices
};
Sound chorus(const Chorus& chorus, Rng& rng);

}  // namespace tornello::assets
