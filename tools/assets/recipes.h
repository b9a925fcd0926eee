// Every sound the generator synthesises, by its place in the data tree.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "assets/dsp.h"

namespace tornello::assets {

struct Recipe {
  std::string path;  // below the data folder, e.g. "Sounds/Pong/Hit.wav"
  // Makes the finished sound; `rng` is seeded from the path.
  std::function<Sound(Rng& rng)> make;
};

// Ball, paddle, shield, appear/disappear, goals, menu and character-selection cues.
std::vector<Recipe> effect_recipes();
// The crowd: loops, cheers, claps, groans, shouts.
std::vector<Recipe> crowd_recipes();
// The music loops and the two result jingles.
std::vector<Recipe> music_recipes();

// Finishing shared by the recipes: one-shots get soft edges and a common peak;
// loops are only levelled (a fade would break the join). The loudness each file
// is finally written at is its role's in the mix (assets/mix.h).
Sound finish_one_shot(Sound sound, float target_peak = 0.89f);
Sound finish_loop(Sound sound, float target_peak = 0.89f);

}  // namespace tornello::assets
