// The practice opponent plays as a person would: it reacts to each ball only
// after hearing it for a moment, so a ball that crosses the court within a
// frame or two gets past it (a rally between two bots must be able to end).
#include "session/autopilot.h"

#include <gtest/gtest.h>

#include "platform/headless/headless_platform.h"

namespace tornello {
namespace {

// Passes until the autopilot swings at the ball as it stands, or 0 if it never does.
int passes_until_swing(Autopilot& pilot) {
  for (int pass = 1; pass <= 100; ++pass) {
    KeyboardSnapshot keys;
    pilot.keyboard(keys);
    if (keys.keys[key::up] & 0x80) return pass;
  }
  return 0;
}

TEST(AutopilotTest, SwingsAtEachNewBallOnlyAfterAMoment) {
  HeadlessPlatform platform;
  Game game(platform);
  Autopilot pilot(game, 7, 100);
  MatchState& match = game.match;
  match.started = true;
  match.me.paddle_x = 10.0f;
  match.ball.x = 10.0f;
  match.ball.y = 3.0f;  // in reach and within the return window from the start
  match.ball.flight = BallFlight::incoming;

  const int first = passes_until_swing(pilot);
  EXPECT_GT(first, 12) << "a ball heard for the first time is met at once";
  EXPECT_LT(first, 20);

  // Struck back and returned at once: a new ball, and a new moment to react.
  match.ball.flight = BallFlight::outgoing;
  KeyboardSnapshot keys;
  pilot.keyboard(keys);
  pilot.keyboard(keys);
  match.ball.flight = BallFlight::incoming;
  EXPECT_GT(passes_until_swing(pilot), 12);
}

}  // namespace
}  // namespace tornello
