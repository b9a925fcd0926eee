// The one record of everything that exists once for the whole run. It is passed
// by reference; there are no mutable globals, so a test can run two games (host
// and guest) side by side in one process.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "audio/announcer.h"
#include "audio/crowd.h"
#include "audio/music.h"
#include "audio/sound_bank.h"
#include "audio/sound_engine.h"
#include "match/match_state.h"
#include "net/protocol.h"
#include "net/transport.h"
#include "platform/file_lookup.h"
#include "platform/input.h"
#include "platform/platform.h"
#include "platform/random.h"
#include "shell/language.h"
#include "shell/settings.h"
#include "shell/settings_file.h"

namespace tornello {

// Where a flow goes when it ends. Flows return this to the one loop at the top of
// start-up instead of calling the main menu again.
enum class Next { main_menu, exit };

struct Game {
  // The random generator is seeded here, from the platform's seed source and the
  // clock, so every run draws differently; tests reseed it explicitly.
  explicit Game(Platform& platform) : platform(platform) {
    random.seed(platform.seed_source() ^ platform.elapsed_ms());
  }
  Game(const Game&) = delete;
  Game& operator=(const Game&) = delete;

  Platform& platform;
  GameSettings settings;
  SettingsFile settings_file;
  LanguageTable language;
  std::string last_line;  // the line spoken last, for the player who missed it
  FileLookup files;
  Random random;

  // Sound: the engine, the bank loaded at start-up, and the records that load
  // their own sounds just before use.
  SoundEngine sound;
  SoundBank bank;
  Crowd crowd;
  Announcer announcer;
  Music music;

  // Network: every socket the game opens, and what has been read from the peer.
  Transport transport;
  NetState net;

  // The match record, reused from one match to the next.
  MatchState match;

  Keyboard keyboard;
  Mouse mouse;
  Joysticks joysticks;
  // Latches of key_pressed_once, one per key code, shared by every loop.
  std::array<int32_t, 256> key_latches{};
  // Latches of the match's mouse and controller buttons.
  int32_t mouse_button_latch = 0;
  int32_t joystick_button_latch = 0;
};

// Tells the player a line: it becomes the window's title at once (which a screen
// reader following the window reads) and goes to the speech service, which cuts
// in with an answer to the player's key and lets news wait its turn (LineKind).
void speak_line(Game& game, const std::string& line, LineKind kind = LineKind::news);

// A line that ends the game (a file it cannot play without is missing): spoken
// as news, so it is heard out before the game closes, and written to standard
// error for whoever started the game from a terminal.
void tell_fatal(Game& game, const std::string& line);

// The language table's entry n.
inline const std::string& text(const Game& game, int entry) {
  return game.language.text(entry);
}

// Uniform integer 0..max.
inline int32_t random_int(Game& game, int32_t max) {
  return game.random.next(max);
}

// The sound operations on the game's own records.
inline void crowd_command(Game& game, std::string_view word) {
  crowd_command(game.crowd, game.bank, game.sound, game.random, word);
}
inline void play_announcement(Game& game, const std::string& name, int32_t hold_ms) {
  play_announcement(game.announcer, game.sound, game.files, game.platform, name, hold_ms);
}
// Once the player has chosen a music level, every track plays at it.
inline void play_music(Game& game, const std::string& name, bool apply_level) {
  play_music(game.music, game.sound, game.files, name,
             apply_level || game.settings.music_level_chosen, game.settings.music_volume);
}
inline void nudge_music_volume(Game& game, std::string_view direction) {
  nudge_music_volume(game.music, game.sound, game.settings.music_volume, direction);
}

}  // namespace tornello
