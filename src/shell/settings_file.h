// The player's settings kept between runs: "settings.ini", plain key=value lines
// in the user's settings folder. Keys this release does not know are kept as they
// are, and the file is replaced whole (written beside it, then renamed), so a
// crash never leaves half a file.
#pragma once

#include <string>
#include <vector>

#include "shell/settings.h"

namespace tornello {

struct Game;

struct SettingsFile {
  std::string path;  // empty: the settings last for the run only (tests, the bot)
  // Lines of other keys (another release's), written back as they were.
  std::vector<std::string> other_lines;
  // The command line chose these for this run only; the file keeps its own
  // values for them until the player changes them in the settings screen.
  bool language_from_command_line = false;
  bool speech_from_command_line = false;
  bool router_from_command_line = false;
  GameSettings from_file;       // what the file held, for the fields above
  bool told_not_saved = false;  // the player heard once that saving failed
};

enum class SettingsRead {
  no_file,  // nothing to read: the defaults, silently
  read,
  reset,  // damaged, unreadable or absurd: the defaults, and the player is told
};

// "$XDG_CONFIG_HOME/tornello/settings.ini" (or "~/.config/tornello/...") on Linux,
// "%APPDATA%\Tornello\settings.ini" on Windows; empty when neither is known.
std::string default_settings_path();

// Reads the file into `settings`. On anything but a whole, sensible file the
// settings keep their defaults, and nothing is written until the player next
// changes something.
SettingsRead read_settings(SettingsFile& file, GameSettings& settings);

// Replaces the file with `settings` and the kept lines. False when it cannot be
// written; the old file is then left as it was.
bool write_settings(const SettingsFile& file, const GameSettings& settings);

// Saves the game's settings after the player changed one. A failure is told once
// (entry settings_not_saved) and the game plays on.
void save_settings(Game& game);

}  // namespace tornello
