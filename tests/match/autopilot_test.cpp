// The practice opponent plays as a person would: it reacts to each ball only
// after hearing it for a moment, so a ball that crosses the court within a
// frame or two gets past it (a rally between two bots must be able to end), and
// its levels return more balls from Easy to Hard.
#include "session/autopilot.h"

#include <gtest/gtest.h>

#include "match/match.h"
#include "platform/headless/headless_platform.h"
#include "session/practice.h"

namespace tornello {
namespace {

// How many of `balls` served toward the practice opponent at `level` it
// returns: each from a random point of the far end, at serve speed, drifting
// to one side, played frame by frame as the match does.
int returns_at(PracticeLevel level, int balls) {
  HeadlessPlatform platform;
  Game game(platform);
  game.random.seed(3);
  game.keyboard.init(platform);
  const PracticeSkill skill = practice_skill(level);
  Autopilot pilot(game, 7, skill.skill, skill.reaction_passes);
  platform.set_input(&pilot);
  Random where;
  where.seed(11);
  MatchState& match = game.match;
  match.started = true;
  int returned = 0;
  match.me.paddle_x = court_left;
  for (int n = 0; n < balls; ++n) {
    match.me.shield_up = false;
    const float x = court_left + static_cast<float>(where.next(18));
    const SideDirection side = where.next(1) == 0 ? SideDirection::left : SideDirection::right;
    match.ball = {false, x, 20.0f, serve_speed_y, serve_speed_x, side, BallFlight::incoming};
    while (match.ball.flight == BallFlight::incoming) {
      advance_ball(game);
      read_controls(game);
    }
    returned += match.ball.flight == BallFlight::outgoing;
    // Half a second with no ball coming before the next.
    match.ball.flight = BallFlight::idle;
    for (int frame = 0; frame < 30; ++frame) read_controls(game);
  }
  return returned;
}

TEST(AutopilotTest, PracticeLevelsReturnMoreServesFromEasyToHardAndHardStillMissesSome) {
  constexpr int balls = 240;
  const int easy = returns_at(PracticeLevel::easy, balls);
  const int normal = returns_at(PracticeLevel::normal, balls);
  const int hard = returns_at(PracticeLevel::hard, balls);
  EXPECT_LT(easy, normal);
  EXPECT_LT(normal, hard);
  EXPECT_LT(hard, balls);
  std::printf("returned of %d serves: easy %d, normal %d, hard %d\n", balls, easy, normal, hard);
}

}  // namespace
}  // namespace tornello
