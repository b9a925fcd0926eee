// The ball's flight along and across the court, and where the player hears it.
#include <cmath>

#include "match/match.h"
#include "match/match_local.h"

namespace tornello {

namespace {

// The nearest whole number, halves to even, held to lo..hi first so that no
// value (NaN and infinities included) reaches the conversion out of range.
int32_t whole_within(float value, float lo, float hi) {
  if (std::isnan(value)) value = 0.0f;
  return static_cast<int32_t>(std::nearbyint(std::fmin(hi, std::fmax(lo, value))));
}

// One frame of flight. The position is not reflected at a border: the ball
// crosses it by less than a step and comes back, with one border sound.
void fly(Game& game) {
  BallState& ball = game.match.ball;
  if (ball.flight == BallFlight::incoming) {
    ball.y -= ball.speed_y;
  } else if (ball.y < static_cast<float>(game.settings.court_length)) {
    // An outgoing ball stops at the far end and waits for the peer's word.
    ball.y += ball.speed_y;
  }

  if (ball.side_direction == SideDirection::left) {
    ball.x -= ball.speed_x;
  } else if (ball.side_direction == SideDirection::right) {
    ball.x += ball.speed_x;
  }

  if (ball.x < court_left && ball.side_direction == SideDirection::left) {
    ball.side_direction = SideDirection::right;
    game.sound.play(game.bank.ball_border);
  }
  if (ball.x > court_right && ball.side_direction == SideDirection::right) {
    ball.side_direction = SideDirection::left;
    game.sound.play(game.bank.ball_border);
  }
}

// A sound heard from the given court position by the local paddle.
void place_on_court(Game& game, float x, float y, SoundHandle sound) {
  place_sound(game.sound, game.match.me.paddle_x, 0.0f, x, y,
              static_cast<float>(game.settings.pan_per_unit),
              static_cast<float>(game.settings.fade_per_unit), sound);
}

}  // namespace

void advance_ball(Game& game) {
  MatchState& match = game.match;
  BallState& ball = match.ball;
  if (ball.flight == BallFlight::incoming && ball.y < local_end_y) {
    if (match.me.shield_up) {
      // The shield sends it back as it is: speeds, direction and hidden state.
      ball.flight = BallFlight::outgoing;
      game.sound.play(game.bank.own_shield_hit);
      send(game, shield_return_message);
    } else {
      concede_point(game);
    }
    return;
  }
  if (ball.flight != BallFlight::idle) fly(game);
}

void place_sound(SoundEngine& engine, float listener_x, float listener_y, float source_x,
                 float source_y, float pan_factor, float fade_factor, SoundHandle sound) {
  const float pan = (source_x - listener_x) * pan_factor;
  const float level = 100.0f - std::fabs(source_y - listener_y) * fade_factor;
  engine.set_volume(sound, whole_within(level, 0.0f, 100.0f));
  engine.set_pan(sound, whole_within(pan, -100.0f, 100.0f));
}

void update_positional_sounds(Game& game) {
  const MatchState& match = game.match;
  const SoundBank& bank = game.bank;
  const float far_end = static_cast<float>(game.settings.court_length);
  place_on_court(game, match.ball.x, match.ball.y, bank.rolling);
  place_on_court(game, match.ball.x, match.ball.y, bank.ball_border);
  place_on_court(game, match.opponent.paddle_x, far_end, bank.opponent_border);
  place_on_court(game, match.opponent.paddle_x, far_end, bank.opponent_move);
  // The opponent's shield is heard faintly, wherever it is.
  constexpr int32_t opponent_shield_level = 30;
  for (SoundHandle sound : {bank.opponent_shield_hit, bank.opponent_shield_loop,
                            bank.opponent_shield_off, bank.opponent_shield_on}) {
    game.sound.set_volume(sound, opponent_shield_level);
  }
}

void play_opponent_stroke(Game& game) {
  place_on_court(game, game.match.opponent.paddle_x, static_cast<float>(game.settings.court_length),
                 game.bank.hit);
  game.sound.play(game.bank.hit);
}

void ball_struck_by_opponent(Game& game) {
  MatchState& match = game.match;
  BallState& ball = match.ball;
  const float far_end = static_cast<float>(game.settings.court_length);
  play_opponent_stroke(game);
  // Its level comes with this frame's placement.
  game.sound.play(game.bank.rolling, true, 0);
  ball.flight = BallFlight::incoming;
  ball.x = match.opponent.paddle_x;
  if (ball.hidden) {
    ball.hidden = false;
    game.sound.play(game.bank.appear);
  }
  ball.y = far_end;
  crowd_command(game, "chant");
  crowd_command(game, "increase");
}

void ball_hidden_by_opponent(Game& game) {
  game.sound.stop(game.bank.rolling);
  game.sound.play(game.bank.disappear);
  game.match.ball.hidden = true;
  crowd_command(game, "oh");
}

}  // namespace tornello
