// One looped background track at a time, and the player's music level.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "audio/sound_engine.h"

namespace tornello {

class FileLookup;

struct Music {
  std::string current_name;  // compared byte for byte, case included
  SoundHandle current = 0;
};

// The whole-number level a music level is applied at: nearest, halves to even.
int32_t applied_music_level(float music_volume);

// Switches to "Sounds/Music/<name>.wav", looped, unless `name` is already the
// current track. With apply_level the track plays at `music_volume` from its
// first sample, otherwise at full level; the sounds level never touches it. A missing file leaves
// silence until another name is asked for.
void play_music(Music& music, SoundEngine& engine, FileLookup& files, const std::string& name,
                bool apply_level, float music_volume);

// "Up" or "Down": moves `music_volume` by a quarter and applies it to the current
// track. The stored level is not clamped; only the applied one is.
void nudge_music_volume(Music& music, SoundEngine& engine, float& music_volume,
                        std::string_view direction);

}  // namespace tornello
