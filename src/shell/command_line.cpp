#include "shell/command_line.h"

#include <algorithm>

namespace tornello {

namespace {

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
    result.error = "--bot wants \"host [PORT]\" or \"join HOST [PORT]\"";
    return 0;
  }
  BotOptions bot;
  bot.hosts = *role == "host";
  size_t taken = 1;
  if (!bot.hosts) {
    const std::string* host = plain(next + taken);
    if (host == nullptr) {
      result.error = "--bot join wants the host's address: --bot join HOST [PORT]";
      return taken;
    }
    bot.host = *host;
    ++taken;
  }
  if (const std::string* port = plain(next + taken); port != nullptr && all_digits(*port)) {
    ++taken;
    const long number = port->size() <= 5 ? std::stol(*port) : 0;
    if (number < 1 || number > 65535) {
      result.error = "The port must be a number from 1 to 65535, not " + *port;
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
      } else if (argument == "--bot") {
        at += take_bot_arguments(arguments, at + 1, result);
      } else {
        result.unknown.push_back(argument);
      }
    } else if (!result.language) {
      result.language = argument;
    }
    // Further plain arguments are ignored.
  }
  return result;
}

}  // namespace tornello
