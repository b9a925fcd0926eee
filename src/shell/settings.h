// The run's settings and the court and sound constants every part of the game reads.
#pragma once

#include <cstdint>
#include <string>

namespace tornello {

struct GameSettings {
  std::string host = "127.0.0.1";  // the host address the guest connects to
  int32_t port = 3214;
  std::string language = "EN";
  float music_volume = 5.0f;  // 0..100 scale; not clamped, only what is applied is
  // The player's own levels and choices, kept in the settings file.
  int32_t sound_volume = 100;           // 0..100: scales every sound but the music
  bool music_level_chosen = false;      // until then the title track plays at full level
  bool speech = true;                   // lines also go to the desktop's speech service
  bool open_router_port = false;        // ask the router to forward the port when hosting
  std::string last_host = "127.0.0.1";  // the address last joined; the host prompt offers it
  // Where the router describes itself, when known; empty: the router is asked
  // for on the local network. Not kept.
  std::string router_url;

  int32_t pan_per_unit = 5;   // pan units per court unit sideways
  int32_t fade_per_unit = 4;  // volume units lost per court unit along the court
  int32_t court_length = 20;  // y of the far end of the court
  int32_t goal_sound_count = 8;
  std::string handshake_word = "QPLMZKXRTVBNSDWEHJGC";
};

}  // namespace tornello
