#include "shell/command_line.h"

#include <algorithm>
#include <array>

namespace tornello {

namespace {

constexpr std::array known_options = {"--headless", "--no-speech", "--upnp",   "--bot",
                                      "--data",     "--help",      "--version"};

// The first fault is the one reported.
void report(CommandLine& result, const std::string& error) {
  if (result.error.empty()) result.error = error;
}

// The error for an option the game does not know, pointing at the one meant when
// only the dashes differ ("--nospeech").
std::string unknown_option(const std::string& option) {
  auto letters = [](std::string text) {
    std::erase(text, '-');
    return text;
  };
  for (const std::string known : known_options) {
    if (letters(known) == letters(option)) {
      return "unknown option " + option + " (did you mean " + known + "?)";
    }
  }
  return "unknown option " + option;
}

bool all_digits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Reads the plain arguments after "--bot", from position `next`: "host" [PORT] or
// "join" HOST [PORT]. A port is a word of digits; any other word after them is
// left for the language code. Returns how many arguments it took.
size_t take_bot_arguments(const std::vector<std::string>& arguments, size_t next,
                          CommandLine& result) {
  auto plain = [&arguments](size_t at) -> const std::string* {
    return at < arguments.size() && arguments[at].rfind("--", 0) != 0 ? &arguments[at] : nullptr;
  };
  const std::string* role = plain(next);
  if (role == nullptr || (*role != "host" && *role != "join")) {
    report(result, "--bot wants \"host [PORT]\" or \"join HOST [PORT]\"");
    return 0;
  }
  BotOptions bot;
  bot.hosts = *role == "host";
  size_t taken = 1;
  if (!bot.hosts) {
    const std::string* host = plain(next + taken);
    if (host == nullptr) {
      report(result, "--bot join wants the host's address: --bot join HOST [PORT]");
      return taken;
    }
    bot.host = *host;
    ++taken;
  }
  if (const std::string* port = plain(next + taken); port != nullptr && all_digits(*port)) {
    ++taken;
    const long number = port->size() <= 5 ? std::stol(*port) : 0;
    if (number < 1 || number > 65535) {
      report(result, "The port must be a number from 1 to 65535, not " + *port);
      return taken;
    }
    bot.port = static_cast<int32_t>(number);
  }
  result.bot = bot;
  return taken;
}

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& arguments) {
  CommandLine result;
  for (size_t at = 0; at < arguments.size(); ++at) {
    const std::string& argument = arguments[at];
    if (argument.rfind("--", 0) == 0) {
      result.options.push_back(argument);
      if (argument == "--headless") {
        result.headless = true;
      } else if (argument == "--no-speech") {
        result.speech = false;
      } else if (argument == "--upnp") {
        result.upnp = true;
      } else if (argument == "--help") {
        result.help = true;
      } else if (argument == "--version") {
        result.version = true;
      } else if (argument == "--data" || argument.starts_with("--data=")) {
        // "--data DIR" or "--data=DIR"
        std::string folder = argument.size() > 6 ? argument.substr(7) : "";
        if (argument.size() == 6 && at + 1 < arguments.size()) folder = arguments[++at];
        if (folder.empty()) {
          report(result, "--data wants the folder that holds the game's data: --data DIR");
        } else {
          result.data = folder;
        }
      } else if (argument == "--bot") {
        at += take_bot_arguments(arguments, at + 1, result);
      } else {
        report(result, unknown_option(argument));
      }
    } else if (!result.language) {
      result.language = argument;
    }
    // Further plain arguments are ignored.
  }
  return result;
}

std::string usage_text() {
  return R"(Usage: tornello [OPTION]... [LANGUAGE]
       tornello --bot host [PORT] [LANGUAGE]
       tornello --bot join HOST [PORT] [LANGUAGE]

Tornello is table tennis for two players, played by ear: the ball is heard,
every text is spoken. Two games play each other over the network.

LANGUAGE is the code of a language file in the data's lang folder, such as
EN (the default) or DE.

Options:
  --data DIR         use the game's data (lang/, Menu/, Sounds/) in DIR
  --no-speech        leave the desktop's speech service alone; the window's
                     title still carries every line for a screen reader
  --upnp             ask the router to open the port while hosting
  --headless         play in the terminal: no window and no sound, spoken
                     lines are printed and keys are typed as words, one per
                     line (up, down, left, right, enter, escape, pageup,
                     pagedown, f1, f2, f3, f5, f6)
  --bot host [PORT]  a practice opponent without window or sound: hosts on
                     PORT (default 3214) and plays one guest after another
  --bot join HOST [PORT]
                     a practice opponent that joins the game hosted at HOST
                     on PORT (default 3214) and plays one match
  --help             print this help and end
  --version          print the version and end

Data: with --data DIR, or else the environment variable TORNELLO_DATA, only
that folder is used. Otherwise the first folder that holds lang/ among: the
current folder; the program's own folder; data/ and ../data beside the
program; ../share/games/tornello beside it (where it is installed).

Settings: $XDG_CONFIG_HOME/tornello/settings.ini (by default
~/.config/tornello/settings.ini); on Windows %APPDATA%\Tornello\settings.ini.
Plain key=value lines: sound_volume (0 to 100 in steps of 10), music_volume
(0 to 100), speech (on or off), language (a code such as EN),
open_router_port (on or off), last_host (the address last joined).
)";
}

}  // namespace tornello
