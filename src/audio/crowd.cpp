#include "audio/crowd.h"

namespace tornello {

namespace {

constexpr int32_t intensity_step = 5;
// Above this chant level every raise also lets an "ok" shout go.
constexpr int32_t shout_threshold = 40;

// Plays one of sounds[1..count] at its current level.
template <size_t N>
void one_of(const std::array<SoundHandle, N>& sounds, int count, SoundEngine& engine,
            Random& random) {
  engine.play(sounds[random.next(count - 1) + 1]);
}

}  // namespace

void crowd_command(Crowd& crowd, const SoundBank& bank, SoundEngine& engine, Random& random,
                   std::string_view word) {
  if (word == "start") {
    engine.play(bank.crowd_loop, true);
  } else if (word == "chant") {
    if (crowd.chanting) return;
    crowd.crowd_intensity = Crowd::quiet_intensity;
    engine.play(bank.crowd_chant, true, Crowd::quiet_intensity);
    crowd.chanting = true;
  } else if (word == "increase") {
    crowd.crowd_intensity += intensity_step;
    engine.set_volume(bank.crowd_chant, crowd.crowd_intensity);
    if (crowd.crowd_intensity > shout_threshold) one_of(bank.crowd_ok, 2, engine, random);
  } else if (word == "cheer") {
    one_of(bank.crowd_cheers, 5, engine, random);
  } else if (word == "clap") {
    one_of(bank.crowd_claps, 2, engine, random);
  } else if (word == "epicfail") {
    one_of(bank.crowd_epic_fails, 2, engine, random);
  } else if (word == "ok") {
    one_of(bank.crowd_ok, 2, engine, random);
  } else if (word == "oh") {
    one_of(bank.crowd_oh, 3, engine, random);
  } else if (word == "won") {
    engine.play(bank.crowd_won);
  } else if (word == "lost") {
    engine.play(bank.crowd_lost);
  } else if (word == "reset") {
    engine.stop(bank.crowd_chant);
    crowd.crowd_intensity = Crowd::quiet_intensity;
    crowd.chanting = false;
  } else if (word == "stop") {
    engine.stop(bank.crowd_loop);
  }
}

}  // namespace tornello
