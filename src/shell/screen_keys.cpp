#include "shell/screen_keys.h"

#include "shell/menu.h"
#include "shell/text_entries.h"

namespace tornello {

void answer_common_keys(Game& game, int help_entry) {
  if (key_pressed_once(game, key::f1)) {
    speak_line(game, text(game, help_entry) + " " + text(game, entry::help_common));
  }
  if (key_pressed_once(game, key::f2)) {
    // A copy: speaking it sets the last line again.
    const std::string line = game.last_line;
    speak_line(game, line);
  }
}

}  // namespace tornello
