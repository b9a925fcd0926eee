// The paddle, the swing, the bonuses and the shields.
#include <cmath>

#include "match/match_fixture.h"

namespace tornello {
namespace {

TEST_F(MatchTest, ReturnSendsTheHitGroupWithSpeedsGrownByUpToFiveHundredths) {
  in_play();
  for (int rally = 0; rally < 30; ++rally) {
    incoming_ball(3.0f, 3.0f);
    swing(*game);
    const BallState& ball = game->match.ball;
    const std::vector<std::string> group = sent();
    ASSERT_GE(group.size(), 4u);
    EXPECT_EQ(group[0], "_P_BD2") << "met right of the paddle: back to the right";
    EXPECT_EQ(group[1], "_P_BS" + std::to_string(std::lrint(ball.speed_y * 1000)));
    EXPECT_EQ(group[2], "_P_BQ" + std::to_string(std::lrint(ball.speed_x * 1000)));
    EXPECT_EQ(group[3], "_P_BE");
    EXPECT_TRUE(ball.speed_y >= 0.05f && ball.speed_y <= 0.1001f) << ball.speed_y;
    EXPECT_TRUE(ball.speed_x >= 0.01f && ball.speed_x <= 0.0601f) << ball.speed_x;
  }
  EXPECT_EQ(last(game->bank.hit).volume, 100);
}

TEST_F(MatchTest, ReachIsStrictlyUnderThreeAndOnlyBelowYSix) {
  EXPECT_FALSE(in_reach(5.0f, 8.0f) || in_reach(5.0f, 2.0f));
  EXPECT_TRUE(in_reach(5.0f, 7.99f) && in_reach(5.0f, 2.01f));
  in_play();
  incoming_ball(1.0f, 6.0f);
  swing(*game);
  EXPECT_TRUE(sent().empty()) << "y 6.0 is outside the window";
  for (int frame = 0; frame < 3; ++frame) advance_ball(*game);
  swing(*game);
  EXPECT_EQ(sent().front(), "_P_BD3") << "met at the paddle's x: back straight";
  game->match.ball.flight = BallFlight::idle;
  swing(*game);
  EXPECT_TRUE(sent().empty()) << "the player who does not serve has nothing to swing at";
}

TEST_F(MatchTest, BallCrossingTheLocalEndCanStillBeReturnedInThatFramesControls) {
  in_play();
  incoming_ball(1.0f, 1.02f);
  press(key::up);
  press(key::escape);
  EXPECT_EQ(run_match(*game), Next::main_menu);
  const std::vector<std::string> messages = sent();
  ASSERT_EQ(messages.size(), 5u) << "returned, and no point";
  EXPECT_EQ(messages[3], "_P_BE");
}

TEST_F(MatchTest, ControlsWorkInPlayOnlyKeysOncePerPressMouseEveryThirdFrameStickEveryFrame) {
  game->match.me.paddle_x = 1.0f;
  then([this] { input.mouse_now.delta_x = 4; });
  for (int pass = 0; pass < 3; ++pass) hold({key::left, key::right, key::up, key::page_up});
  then([this] {
    EXPECT_TRUE(sent().empty()) << "nothing moves before play";
    // The press steps to the next ten, each frame it is held adds a quarter.
    EXPECT_EQ(game->settings.music_volume, 10.75f) << "the music level works while waiting";
    in_play();
    input.mouse_now = MouseReading{};
  });
  press(key::left);  // at the border: the paddle stays, and the peer hears of it
  for (int pass = 0; pass < 3; ++pass) hold({key::right});
  then([this] { input.mouse_now.delta_x = -3; });
  idle(5);  // six frames with motion: two steps
  then([this] {
    input.mouse_now = MouseReading{};
    input.stick_now.x = 1000;
  });
  idle(2);  // three frames with the stick held: three steps
  then([this] { input.stick_now.x = 0; });
  press(key::escape);
  run_match(*game);
  EXPECT_EQ(sent(), (std::vector<std::string>{"_P_P1", "_P_P2", "_P_P1", "_P_P1", "_P_P2", "_P_P3",
                                              "_P_P4", "_P_BYE"}));
  EXPECT_EQ(plays(game->bank.own_border), 2u);
}

TEST_F(MatchTest, ShieldReturnsEveryBallFor30000msAndDropsInTheFirstFrameAfter) {
  in_play();
  MatchState& match = game->match;
  match.me.shield_up = true;
  match.me.shield_raised_at = platform.elapsed_ms();
  for (int ball = 0; ball < 3; ++ball) {
    incoming_ball(10.0f, 0.5f);
    match.ball.hidden = true;
    advance_ball(*game);
    EXPECT_EQ(match.ball.flight, BallFlight::outgoing);
    EXPECT_TRUE(match.ball.hidden) << "the shield sends a hidden ball back hidden";
  }
  EXPECT_EQ(sent(), std::vector<std::string>(3, "_P_XASR"));
  EXPECT_EQ(plays(game->bank.own_shield_hit), 3u);
  while (ms_between(match.me.shield_raised_at, platform.elapsed_ms()) < 30000) {
    platform.pump_events(1);
  }
  expire_shields(*game);
  EXPECT_TRUE(match.me.shield_up) << "30000 ms after raising it is still up";
  platform.pump_events(1);
  expire_shields(*game);
  EXPECT_FALSE(match.me.shield_up);
  EXPECT_EQ(plays(game->bank.own_shield_off), 1u);
  EXPECT_EQ(last(game->bank.own_shield_loop).kind, SoundEventKind::stop);
}

TEST_F(MatchTest, OpponentsShieldAndHiddenBallAsHeardHere) {
  in_play();
  game->match.opponent.paddle_x = 10.0f;
  receive("_P_BD1$_P_BS50$_P_BQ100$_P_BE$");
  receive("_P_XS$_P_XD$");
  const MatchState& match = game->match;
  EXPECT_TRUE(match.opponent.shield_up && match.ball.hidden);
  EXPECT_EQ(last(game->bank.rolling).kind, SoundEventKind::stop);
  update_positional_sounds(*game);
  EXPECT_EQ(last(game->bank.opponent_shield_loop).volume, 30);
  // Hidden, it still bounces and can be returned, and is heard again then.
  while (match.ball.y >= 1.0f) advance_ball(*game);
  EXPECT_GE(plays(game->bank.ball_border), 1u);
  game->match.me.paddle_x = match.ball.x;
  swing(*game);
  EXPECT_FALSE(match.ball.hidden);
  EXPECT_EQ(plays(game->bank.appear), 1u);
  EXPECT_EQ(last(game->bank.rolling).kind, SoundEventKind::play);
  receive("_P_XASR$");
  EXPECT_EQ(match.ball.flight, BallFlight::incoming);
  EXPECT_EQ(plays(game->bank.opponent_shield_hit), 1u);
}

}  // namespace
}  // namespace tornello
