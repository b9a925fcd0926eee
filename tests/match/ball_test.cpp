// The ball's flight and where the player hears it.
#include <cmath>
#include <limits>

#include "match/match_fixture.h"

namespace tornello {
namespace {

TEST_F(MatchTest, PlaceSoundFadesAlongTheCourtAndPansAcrossItWhateverTheInput) {
  const SoundHandle sound = game->bank.rolling;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float x, y;
    int32_t volume, pan;
  };
  for (const Case& c : {Case{10, 10, 60, 0}, Case{15, 20, 20, 25}, Case{10, 26, 0, 0},
                        Case{10, -30, 0, 0}, Case{40, 0, 100, 100}, Case{-20, 5, 80, -100},
                        Case{nan, 1e30f, 0, 0}, Case{1e30f, nan, 0, 100}}) {
    place_sound(game->sound, 10, 0, c.x, c.y, 5, 4, sound);
    EXPECT_EQ(game->sound.volume(sound), c.volume) << c.x << ", " << c.y;
    EXPECT_EQ(game->sound.pan(sound), c.pan) << c.x << ", " << c.y;
  }
}

TEST_F(MatchTest, ServeFromTheLeftBorderBouncesOnceThenWaitsAtTheFarEndStillBouncing) {
  in_play(true);
  game->random.seed(seed_where([](Random& r) { return r.next(1) == 0; }));  // to the left
  swing(*game);
  EXPECT_EQ(sent(), (std::vector<std::string>{"_P_BD1", "_P_BQ10", "_P_BS50", "_P_BE"}));
  EXPECT_EQ(heard_since(0),
            (std::vector<std::string>{"play Pong/Hit", "play pong/rolling", "play crowd/chant"}));
  BallState& ball = game->match.ball;
  for (int frame = 0; frame < 500; ++frame) advance_ball(*game);
  EXPECT_EQ(plays(game->bank.ball_border), 1u);
  EXPECT_EQ(ball.side_direction, SideDirection::right);
  EXPECT_LE(ball.y, 20.05f);
  ball.speed_x = 0.5f;
  for (int frame = 0; frame < 100; ++frame) advance_ball(*game);
  EXPECT_GE(plays(game->bank.ball_border), 3u);
  update_positional_sounds(*game);
  EXPECT_EQ(last(game->bank.rolling).volume, 20);
}

TEST_F(MatchTest, StruckBallComesFromTheOpponentsPaddleAndArrivesAfterAbout380Frames) {
  in_play();
  game->match.opponent.paddle_x = 6.0f;
  receive("_P_BD3$_P_BS50$_P_BQ10$_P_BE$");
  const BallState& ball = game->match.ball;
  EXPECT_EQ(ball.flight, BallFlight::incoming);
  EXPECT_EQ(ball.x, 6.0f);
  EXPECT_EQ(std::pair(last(game->bank.hit).volume, last(game->bank.hit).pan), std::pair(20, 25));
  EXPECT_EQ(last(game->bank.rolling).volume, 0);
  int frames = 0;
  for (; ball.y >= 1.0f; ++frames) advance_ball(*game);
  EXPECT_NEAR(frames, 380, 2);
  EXPECT_EQ(ball.x, 6.0f) << "a straight ball keeps its x";
}

TEST_F(MatchTest, UntrustedValuesFromThePeerStayHarmless) {
  in_play();
  receive(
      "_P_V9$_P_P-9223372036854775808$_P_BD77$_P_BS-99999999999$_P_BQ9223372036854775807$"
      "_P_BE$");
  const MatchState& match = game->match;
  EXPECT_EQ(match.opponent_character, 0) << "outside the table: the silent character";
  for (int frame = 0; frame < 50; ++frame) {
    advance_ball(*game);
    update_positional_sounds(*game);
  }
  EXPECT_TRUE(std::isfinite(match.ball.x));
  EXPECT_EQ(plays(game->bank.ball_border), 0u) << "an unknown direction never bounces";
  EXPECT_EQ(last(game->bank.opponent_move).pan, -100);
  receive("_P_Pnothing$_P_P1$_P_P18$_P_P19$");
  EXPECT_EQ(plays(game->bank.opponent_border), 4u);
  EXPECT_EQ(plays(game->bank.opponent_move), 1u);
  concede_point(*game);  // the silent character's lines are simply not heard
  EXPECT_EQ(match.opponent.score, 1);
}

}  // namespace
}  // namespace tornello
