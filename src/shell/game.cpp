#include "shell/game.h"

namespace tornello {

void speak_line(Game& game, const std::string& line) {
  game.last_line = line;
  game.platform.set_title(line);
  game.platform.speak(line);
}

}  // namespace tornello
