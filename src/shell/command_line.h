// The command line: the first plain argument is the language code, taken as typed
// (the shell has already removed any quotes); arguments that start with "--" are
// the game's own options, and any other "--" argument is an error. Further plain
// arguments are ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tornello {

// `--bot host [PORT]` or `--bot join HOST [PORT]`: a practice opponent.
struct BotOptions {
  bool hosts = true;
  std::string host = "127.0.0.1";
  int32_t port = 3214;
};

struct CommandLine {
  std::optional<std::string> language;  // first plain argument, as typed
  bool headless = false;                // --headless: no window, no sound, lines on stdout
  bool speech = true;                   // --no-speech turns the speech service off
  bool upnp = false;                    // --upnp: ask the router to open the port when hosting
  bool help = false;                    // --help: print the usage and end
  bool version = false;                 // --version: print the version and end
  std::optional<std::string> data;      // --data DIR: the game's data folder
  std::vector<std::string> options;     // every "--" argument, in order, for later options
  std::optional<BotOptions> bot;        // --bot and the plain arguments it takes
  std::string error;                    // why the arguments cannot be used; empty when they can
  // Where the player's settings are kept: filled in by main for a player's run;
  // empty (nothing read or written) for tests and the bot.
  std::string settings_path;
};

CommandLine parse_command_line(const std::vector<std::string>& arguments);

// What --help prints, and what follows a command line error.
std::string usage_text();

}  // namespace tornello
