// Play as heard on one side: the ball's flight, the paddle and the swing, the
// bonuses and shields, what the peer's messages do, and the ways out of a match.
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "match/match_fixture.h"

namespace tornello {
namespace {

TEST_F(MatchTest, PlaceSoundFadesAlongTheCourtAndPansAcrossItWhateverTheInput) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float x, y;
    int32_t volume, pan;
  };
  for (const Case& c : {Case{10, 10, 60, 0}, Case{15, 20, 20, 25}, Case{10, 26, 0, 0},
                        Case{10, -30, 0, 0}, Case{40, 0, 100, 100}, Case{-20, 5, 80, -100},
                        Case{nan, 1e30f, 0, 0}, Case{1e30f, nan, 0, 100}}) {
    place_sound(game->sound, 10, 0, c.x, c.y, 5, 4, game->bank.rolling);
    EXPECT_EQ(game->sound.volume(game->bank.rolling), c.volume) << c.x << ", " << c.y;
    EXPECT_EQ(game->sound.pan(game->bank.rolling), c.pan) << c.x << ", " << c.y;
  }
}

TEST_F(MatchTest, ServeBouncesAtTheBorderAndAStruckBallArrivesFromTheOpponentsPaddle) {
  in_play(true);
  for (uint32_t seed = 1;; ++seed) {  // one whose first draw sends the serve to the left
    Random random;
    random.seed(seed);
    if (random.next(1) == 0) {
      game->random.seed(seed);
      break;
    }
  }
  swing(*game);
  EXPECT_EQ(sent(), (Lines{"_P_BD1", "_P_BQ10", "_P_BS50", "_P_BE"}));
  EXPECT_EQ(heard_since(0), (Lines{"play Pong/Hit", "play pong/rolling", "play crowd/chant"}));
  BallState& ball = game->match.ball;
  for (int frame = 0; frame < 500; ++frame) advance_ball(*game);
  EXPECT_EQ(plays(game->bank.ball_border), 1u);
  EXPECT_EQ(ball.side_direction, SideDirection::right);
  EXPECT_LE(ball.y, 20.05f) << "it waits at the far end";

  // The peer's stroke: heard at the far end from its paddle; the ball comes in straight.
  game->match.opponent.paddle_x = 6.0f;
  receive("_P_BD3$_P_BS50$_P_BQ10$_P_BE$");
  EXPECT_EQ(ball.flight, BallFlight::incoming);
  EXPECT_EQ(std::pair(last(game->bank.hit).volume, last(game->bank.hit).pan), std::pair(20, 25));
  EXPECT_EQ(last(game->bank.rolling).volume, 0);
  int frames = 0;
  for (; ball.y >= 1.0f; ++frames) advance_ball(*game);
  EXPECT_NEAR(frames, 380, 2);
  EXPECT_EQ(ball.x, 6.0f) << "a straight ball keeps its x";
}

TEST_F(MatchTest, UntrustedValuesFromThePeerStayHarmlessAndItsPaddleIsHeardAtTheFarEnd) {
  in_play();
  receive(
      "_P_V9$_P_P-9223372036854775808$_P_BD77$_P_BS-99999999999$_P_BQ9223372036854775807$_P_BE$");
  const MatchState& match = game->match;
  EXPECT_EQ(match.opponent_character, 0) << "outside the table: the silent character";
  for (int frame = 0; frame < 50; ++frame) {
    advance_ball(*game);
    update_positional_sounds(*game);
  }
  EXPECT_TRUE(std::isfinite(match.ball.x));
  EXPECT_EQ(plays(game->bank.ball_border), 0u) << "an unknown direction never bounces";
  receive("_P_Pnothing$_P_P1$_P_P18$_P_P19$_P_P11$");
  EXPECT_EQ(plays(game->bank.opponent_border), 4u);
  EXPECT_EQ(plays(game->bank.opponent_move), 2u);
  update_positional_sounds(*game);
  for (SoundHandle paddle : {game->bank.opponent_move, game->bank.opponent_border}) {
    EXPECT_EQ(game->sound.volume(paddle), 20) << "the far end";
    EXPECT_EQ(game->sound.pan(paddle), 50);
  }
  concede_point(*game);  // the silent character's lines are simply not heard
  EXPECT_EQ(match.opponent.score, 1);
}

// Met left of the paddle the ball goes back left, right of it right, at it
// straight; each return is heard centred at full level and sends the hit group
// with speeds grown by up to five hundredths; now and then it earns a shield
// or hides the ball, which falls silent.
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

TEST_F(MatchTest, ReachIsStrictlyUnderThreeAndOnlyBelowYSix) {
  EXPECT_FALSE(in_reach(5.0f, 8.0f) || in_reach(5.0f, 2.0f));
  EXPECT_TRUE(in_reach(5.0f, 7.99f) && in_reach(5.0f, 2.01f));
  in_play();
  incoming_ball(1.0f, 6.0f);
  swing(*game);
  EXPECT_TRUE(sent().empty()) << "y 6.0 is outside the window";
  for (int frame = 0; frame < 3; ++frame) advance_ball(*game);
  swing(*game);
  EXPECT_EQ(sent().front(), "_P_BD3");
  game->match.ball.flight = BallFlight::idle;
  swing(*game);
  EXPECT_TRUE(sent().empty()) << "the player who does not serve has nothing to swing at";
}

// Keys work in play only, once per press; the mouse steps every third frame
// with motion, the stick every frame; the mouse button and the controller's
// first button swing once per press; a ball crossing the local end this frame
// can still be returned in this frame's controls.
TEST_F(MatchTest, ControlsWorkInPlayOnlyAndEachWayToSwingSwingsOncePerPress) {
  game->match.me.paddle_x = 1.0f;
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
    incoming_ball(4.0f, 1.02f);
  });
  press(key::up);
  press(key::escape);
  EXPECT_EQ(run_match(*game), Next::main_menu);
  const Lines last_group = sent();
  EXPECT_EQ(last_group.at(3), "_P_BE") << "returned, and no point";
  EXPECT_EQ(last_group.back(), "_P_BYE");
  EXPECT_EQ(plays(game->bank.own_border), 2u);
}

// Each shield returns every ball, hidden ones hidden, for 30000 ms and drops in
// the first frame after; the opponent's is heard faintly and drops alike. A
// hidden ball still bounces and is heard again when struck back, by either side.
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

// True when the game has closed its end of the stream.
bool closed_by_game(Transport& other, Connection link) {
  char byte = 0;
  return other.receive(link, &byte, 1) == 0;
}

// The peer's messages are applied before the ball moves in a frame; those that
// come during a point's announcements are applied after them, in order.
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
                       "play crowd/oh#", "play pong/move", "stop everything"}))
      << testing::PrintToString(heard);
}

// Leaving says goodbye and closes the link; nothing of the match carries into the
// next. A goodbye received leaves without an answer and drops the rest of its read;
// a host that resets the stream is gone at the guest's very next frame, with a line.
TEST_F(MatchTest, LeavingAGoodbyeAndAPeerThatVanishesEachEndTheMatch) {
  MatchState& match = game->match;
  match.my_character = 4;
  match.opponent_character = 5;
  match.my_serve = true;
  match.me.shield_up = match.opponent.shield_up = match.ball.hidden = true;
  press(key::escape);
  EXPECT_EQ(run_match(*game), Next::main_menu);
  EXPECT_EQ(sent(), Lines{"_P_BYE"});
  EXPECT_TRUE(closed_by_game(other, link));
  EXPECT_EQ(heard_since().back(), "stop everything");
  EXPECT_FALSE(match.me.shield_up || match.opponent.shield_up || match.ball.hidden);
  EXPECT_TRUE(match.my_character == 4 && match.opponent_character == 5 && match.my_serve);

  connect(PeerRole::guest);
  in_play();
  then([this] { peer_sends("_P_BYE$_P_P5$"); });
  EXPECT_EQ(run_match(*game), Next::main_menu);
  EXPECT_TRUE(closed_by_game(other, link)) << "nothing sent, and no socket outlives the match";
  EXPECT_EQ(plays(game->bank.opponent_move), 0u);

  // A host that goes with the guest's bytes unread resets the stream: the
  // guest's very next frame hears it.
  connect(PeerRole::guest);
  in_play();
  send_message(game->transport, game->net, "_P_P3");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  other.close_server(host_server_id);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  platform.set_title("");
  game->match.left = false;
  receive_and_apply(*game);
  EXPECT_EQ(platform.title(), "Gone");
}

}  // namespace
}  // namespace tornello
