// The instruments of the music and of the tonal effects. Each renders one note
// from scratch (no state carries over between notes), so a score is just a list
// of notes added into a buffer.
#pragma once

#include "assets/dsp.h"

namespace tornello::assets {

enum class Instrument {
  pad,       // soft detuned saws, slow attack
  epiano,    // FM electric piano
  bell,      // FM bell, rings long
  pluck,     // plucked string
  bass,      // filtered saw and square
  lead,      // square lead with delayed vibrato
  brass,     // saws through an opening filter
  trombone,  // muted brass with a wah and wide vibrato
  kick,
  snare,
  hat,
  open_hat,
  clap,
  tick,  // a short pitched click
  tom,
  crash,
};

// One note held for `hold` seconds; the result runs on into its release or ring.
// `velocity` 0..1 sets loudness and, for some instruments, brightness.
Sound play_note(Instrument instrument, double hz, double hold, float velocity, Rng& rng);

}  // namespace tornello::assets
