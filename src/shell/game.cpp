#include "shell/game.h"

namespace tornello {

void speak_line(Game& game, const std::string& line) {
  game.platform.set_title(line);
  game.platform.speak(line);
}

int32_t random_int(Game& game, int32_t max) {
  if (!game.random.seeded()) {
    game.random.seed(game.platform.seed_source() ^ game.platform.elapsed_ms());
  }
  return game.random.next(max);
}

}  // namespace tornello
