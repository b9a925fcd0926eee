// The recorded voice that calls the match. Each call cuts the previous recording
// off, plays the named one and holds the caller for a fixed time, so a chain of
// recordings ("scores", "3", "5") keeps a steady rhythm.
#pragma once

#include <cstdint>
#include <string>

#include "audio/sound_engine.h"

namespace tornello {

class FileLookup;
class Platform;

struct Announcer {
  SoundHandle current = 0;  // the last recording; replaced by every call
};

// Frees the previous recording, loads "sounds/announcer/<name>.wav", plays it
// once and returns once more than `hold_ms` has passed on the platform clock,
// serving window events meanwhile (at least one clock tick, even for 0).
void play_announcement(Announcer& announcer, SoundEngine& engine, FileLookup& files,
                       Platform& platform, const std::string& name, int32_t hold_ms);

}  // namespace tornello
