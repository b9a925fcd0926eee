#include "shell/command_line.h"

namespace tornello {

CommandLine parse_command_line(const std::vector<std::string>& arguments) {
  CommandLine result;
  for (const std::string& argument : arguments) {
    if (argument.rfind("--", 0) == 0) {
      result.options.push_back(argument);
      if (argument == "--headless") {
        result.headless = true;
      } else if (argument == "--no-speech") {
        result.speech = false;
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
