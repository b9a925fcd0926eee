#include "audio/music.h"

#include <algorithm>
#include <cmath>

namespace tornello {

namespace {
constexpr float nudge_step = 0.25f;
}  // namespace

int32_t applied_music_level(float music_volume) {
  // The stored level may drift anywhere; clamping first keeps the conversion
  // defined, and changes nothing the engine would not clamp anyway.
  const float level = std::clamp(music_volume, -1.0f, 101.0f);
  const float floor = std::floor(level);
  const float rest = level - floor;
  int32_t whole = static_cast<int32_t>(floor);
  if (rest > 0.5f || (rest == 0.5f && whole % 2 != 0)) ++whole;
  return whole;
}

void play_music(Music& music, SoundEngine& engine, FileLookup& files, const std::string& name,
                bool apply_level, float music_volume) {
  if (name == music.current_name) return;
  if (engine.is_loaded(music.current)) {
    engine.stop(music.current);
    engine.free(music.current);
  }
  music.current = engine.load(files, "Sounds/Music/" + name + ".wav");
  engine.set_music(music.current);
  // Started at its level: set afterwards, the first samples would still come at full scale.
  engine.play(music.current, true,
              apply_level ? applied_music_level(music_volume) : SoundEngine::initial_volume);
  music.current_name = name;
}

void nudge_music_volume(Music& music, SoundEngine& engine, float& music_volume,
                        std::string_view direction) {
  if (direction == "Down") {
    music_volume -= nudge_step;
  } else if (direction == "Up") {
    music_volume += nudge_step;
  }
  engine.set_volume(music.current, applied_music_level(music_volume));
}

}  // namespace tornello
