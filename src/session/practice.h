// Practice against the computer. The player hosts a match that only this
// computer can reach (127.0.0.1, on a port the system chooses), and the
// autopilot of the practice bot joins it from a game of its own: its own
// thread, its own clock, no window and no sound. The player hears and does
// everything as against a person: character selection, serve, scoring, the end
// of the match, Escape to leave.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/headless/headless_platform.h"
#include "shell/game.h"

namespace tornello {

class Autopilot;
class ListeningPlatform;

enum class PracticeLevel { easy = 1, normal = 2, hard = 3 };

// How the computer plays at a level.
struct PracticeSkill {
  int32_t skill;            // the chance, in percent, that it goes for a ball
  int32_t reaction_passes;  // frames it hears a new ball before it moves for it
};
PracticeSkill practice_skill(PracticeLevel level);

// Where the computer's game runs. The game gives it the real clock; a test
// gives it a virtual one kept in step with the player's, and watches it.
struct PracticeSetup {
  HeadlessPlatform::Clock clock = HeadlessPlatform::Clock::real_time;
  // On the computer's thread: once its platform and autopilot are made, before
  // it joins; and once it has ended, just before its thread does.
  std::function<void(ListeningPlatform&, Autopilot&)> opponent_starts;
  std::function<void()> opponent_ended;
};

// Asks the game mode and the level, then hosts the match and plays it. Returns
// Next::main_menu once the match is over and the computer's game has ended, or
// Next::exit when the game mode menu file is missing (as hosting does).
Next practise(Game& game, const PracticeSetup& setup = {});

}  // namespace tornello
