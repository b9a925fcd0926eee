#include "shell/game.h"

#include <cstdio>

namespace tornello {

void speak_line(Game& game, const std::string& line, LineKind kind) {
  game.last_line = line;
  game.platform.set_title(line);
  game.platform.speak(line, kind);
}

void tell_fatal(Game& game, const std::string& line) {
  speak_line(game, line);
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace tornello
