// The audience: a loop under the match, a chant that grows with every return,
// and short reactions drawn at random from a few recordings.
#pragma once

#include <cstdint>
#include <string_view>

#include "audio/sound_bank.h"
#include "audio/sound_engine.h"
#include "platform/random.h"

namespace tornello {

struct Crowd {
  static constexpr int32_t quiet_intensity = 10;

  // The chant's level; grows by 5 per "increase" with no upper bound of its own.
  int32_t crowd_intensity = quiet_intensity;
  // The chant loop was started and not reset since.
  bool chanting = false;
};

// Carries out one command word at once: "start", "chant", "increase", "cheer",
// "clap", "epicfail", "ok", "oh", "won", "lost", "reset", "stop". Words are
// compared with their case; any other word does nothing.
void crowd_command(Crowd& crowd, const SoundBank& bank, SoundEngine& engine, Random& random,
                   std::string_view word);

}  // namespace tornello
