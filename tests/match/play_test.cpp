// Play as heard on one side: paddle, swings, returns, bonuses, shields, the peer's messages.
#include <cmath>

#include "match/match_fixture.h"

namespace tornello {
namespace {

TEST_F(MatchTest, TheOpponentsPaddleIsHeardAtTheFarEnd) {
  in_play();
  receive("_P_Pnothing$_P_P1$_P_P18$_P_P19$_P_P11$");
  EXPECT_EQ(plays(game->bank.opponent_border), 3u);
  EXPECT_EQ(plays(game->bank.opponent_move), 2u);
  update_positional_sounds(*game);
  for (SoundHandle paddle : {game->bank.opponent_move, game->bank.opponent_border}) {
    EXPECT_EQ(game->sound.volume(paddle), 20);
    EXPECT_EQ(game->sound.pan(paddle), 50);
  }
}

// Met left of the paddle a ball goes back left, right of it right, at it straight.
TEST_F(MatchTest, ReturnsGoBackTheWayTheyWereMetAndEarnBonuses) {
  in_play();
  MatchState& match = game->match;
  match.me.paddle_x = 5.0f;
  int shields = 0, hidden = 0;
  for (int rally = 0; rally < 150; ++rally) {
    const int side = rally % 3;  // left, right, straight
    incoming_ball(side == 0 ? 4.0f : side == 1 ? 7.9f : 5.0f, 3.0f);
    match.me.shield_up = false;
    game->sound.set_pan(game->bank.hit, 50);
    game->sound.play(game->bank.rolling, true);
    swing(*game);
    const BallState& ball = match.ball;
    const Lines group = sent();
    ASSERT_GE(group.size(), 4u);
    EXPECT_EQ(group[0], "_P_BD" + std::to_string(side + 1));
    EXPECT_EQ(group[1], "_P_BS" + std::to_string(std::lrint(ball.speed_y * 1000)));
    EXPECT_EQ(group[2], "_P_BQ" + std::to_string(std::lrint(ball.speed_x * 1000)));
    EXPECT_EQ(group[3], "_P_BE");
    EXPECT_TRUE(ball.speed_y >= 0.05f && ball.speed_y <= 0.1001f) << ball.speed_y;
    EXPECT_TRUE(ball.speed_x >= 0.01f && ball.speed_x <= 0.0601f) << ball.speed_x;
    EXPECT_EQ(std::pair(last(game->bank.hit).volume, last(game->bank.hit).pan), std::pair(100, 0));
    const bool shield = std::count(group.begin(), group.end(), "_P_XS") == 1;
    const bool hide = std::count(group.begin(), group.end(), "_P_XD") == 1;
    EXPECT_EQ(group.size(), 4u + shield + hide);
    EXPECT_EQ(match.me.shield_up, shield);
    EXPECT_EQ(ball.hidden, hide);
    EXPECT_EQ(last(game->bank.rolling).kind, hide ? SoundEventKind::stop : SoundEventKind::play);
    shields += shield;
    hidden += hide;
  }
  EXPECT_GT(shields, 3);
  EXPECT_GT(hidden, 2);
  EXPECT_EQ(plays(game->bank.disappear), static_cast<size_t>(hidden));
  EXPECT_EQ(plays(game->bank.own_shield_on), static_cast<size_t>(shields));
}

// Keys in play only; mouse every third frame, stick every frame; every button swings.
TEST_F(MatchTest, ControlsWorkInPlayOnlyAndEachWayToSwingSwingsOncePerPress) {
  then([this] { input.mouse_now.delta_x = 4; });
  for (int pass = 0; pass < 3; ++pass) hold({key::left, key::right, key::up, key::page_up});
  then([this] {
    EXPECT_TRUE(sent().empty()) << "nothing moves before play";
    // The press steps to the next ten, each frame it is held adds a quarter.
    EXPECT_EQ(game->settings.music_volume, 10.75f) << "the music level works while waiting";
    in_play(true);
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
  then([this] {
    input.stick_now.x = 0;
    input.mouse_now.buttons[0] = true;
  });
  idle(2);
  then([this] {
    EXPECT_TRUE(matches(sent(), {"_P_P1", "_P_P2", "_P_P1", "_P_P1", "_P_P2", "_P_P3", "_P_P4",
                                 "_P_BD#", "_P_BQ10", "_P_BS50", "_P_BE"}));
    input.mouse_now.buttons[0] = false;
    incoming_ball(4.0f, 1.02f);
    input.stick_now.buttons[0] = 0x80;
  });
  idle(2);
  then([this] {
    EXPECT_EQ(sent().at(3), "_P_BE") << "returned by the controller's button";
    incoming_ball(4.0f, 1.5f);
  });
  idle();
  then([this] {
    EXPECT_EQ(sent(), Lines{}) << "the button still held swings no more";
    input.stick_now.buttons[0] = 0;
  });
  press(key::up);
  press(key::escape);
  EXPECT_EQ(run_match(*game), Next::main_menu);
  const Lines last_group = sent();
  EXPECT_EQ(last_group.at(3), "_P_BE") << "returned, and no point";
  EXPECT_EQ(last_group.back(), "_P_BYE");
  EXPECT_EQ(plays(game->bank.own_border), 2u);
}

// Shields drop in the first frame after 30000 ms; a hidden ball reappears when struck.
TEST_F(MatchTest, ShieldsLast30000msAndHiddenBallsAppearWhenStruck) {
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
  EXPECT_EQ(sent(), Lines(3, "_P_XASR"));
  EXPECT_EQ(plays(game->bank.own_shield_hit), 3u);
  receive("_P_XASR$");
  EXPECT_EQ(match.ball.flight, BallFlight::incoming);
  EXPECT_EQ(plays(game->bank.opponent_shield_hit), 1u);
  receive("_P_XS$");
  update_positional_sounds(*game);
  EXPECT_EQ(last(game->bank.opponent_shield_loop).volume, 30);
  while (ms_between(match.me.shield_raised_at, platform.elapsed_ms()) < 30000)
    platform.pump_events(1);
  expire_shields(*game);
  EXPECT_TRUE(match.me.shield_up && match.opponent.shield_up) << "30000 ms after raising them";
  platform.pump_events(1);
  expire_shields(*game);
  EXPECT_FALSE(match.me.shield_up || match.opponent.shield_up);
  EXPECT_EQ(plays(game->bank.own_shield_off), 1u);
  EXPECT_EQ(last(game->bank.own_shield_loop).kind, SoundEventKind::stop);
  EXPECT_EQ(plays(game->bank.opponent_shield_off), 1u);
  EXPECT_EQ(last(game->bank.opponent_shield_loop).kind, SoundEventKind::stop);

  game->match.opponent.paddle_x = 10.0f;
  match.ball.hidden = false;
  receive("_P_BD1$_P_BS50$_P_BQ100$_P_BE$_P_XD$");
  EXPECT_TRUE(match.ball.hidden);
  EXPECT_EQ(last(game->bank.rolling).kind, SoundEventKind::stop);
  while (match.ball.y >= 1.0f) advance_ball(*game);
  EXPECT_GE(plays(game->bank.ball_border), 1u);
  game->match.me.paddle_x = match.ball.x;
  swing(*game);
  EXPECT_FALSE(match.ball.hidden);
  EXPECT_EQ(plays(game->bank.appear), 1u);
  EXPECT_EQ(last(game->bank.rolling).kind, SoundEventKind::play);
  match.ball.hidden = true;
  receive("_P_BD3$_P_BS50$_P_BQ10$_P_BE$");
  EXPECT_FALSE(match.ball.hidden);
  EXPECT_EQ(plays(game->bank.appear), 2u);
}

// The peer's messages apply before the ball moves, and after a point's announcements.
TEST_F(MatchTest, MessagesApplyBeforeTheBallMovesAndAfterAPointInOrder) {
  in_play();
  then([this] { peer_sends("_P_BD3$_P_BS50$_P_BQ10$_P_BE$"); });
  then([this] { EXPECT_LT(game->match.ball.y, 20.0f) << "moved in the frame that struck it"; });
  then([this] { incoming_ball(10.0f, 0.5f); });
  const uint32_t start = platform.elapsed_ms();
  each_pump = [&] {
    if (platform.elapsed_ms() - start == 1000) peer_sends("_P_P5$_P_XS$");
    if (platform.elapsed_ms() - start == 5000) peer_sends("_P_P7$");
  };
  idle();  // the frame of the point
  then([this] { EXPECT_EQ(game->match.opponent.paddle_x, 7.0f); });
  press(key::escape);
  run_match(*game);
  const Lines all = heard_since(0);
  const auto scores = std::find(all.begin(), all.end(), "announce scores");
  ASSERT_NE(scores, all.end());
  EXPECT_TRUE(matches(Lines(scores + 2, all.end()),
                      {"announce 1", "play pong/move", "play misc/shieldon", "play misc/shieldloop",
                       "play crowd/oh#", "play pong/move", "stop everything"}));
}

}  // namespace
}  // namespace tornello
