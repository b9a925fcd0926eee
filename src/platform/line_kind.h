// Why a line is spoken, which decides whether it may cut in.
#pragma once

namespace tornello {

enum class LineKind {
  // The answer to the player's own key (a menu item, a typed character, a new
  // level, a help line): it cuts off whatever is being spoken and drops what waits.
  answer,
  // Said by the game itself (progress, serve, score, errors): it waits until the
  // line being spoken has ended. At most three wait; a fourth drops the oldest.
  news,
};

}  // namespace tornello
