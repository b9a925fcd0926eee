// What the local player does in a match (paddle steps, the swing that serves or
// returns, the bonuses a return may earn) and how the opponent's actions sound here.
#include "match/match.h"
#include "match/match_local.h"
#include "shell/menu.h"
#include "shell/screen_keys.h"
#include "shell/text_entries.h"

namespace tornello {

namespace {

constexpr float reach = 3.0f;
// Each return speeds the ball up by 0 to 5 hundredths along and across.
constexpr int32_t max_speed_gain = 5;
// Bonus draws on every return: one chance in 11 for a shield, one in 21 for a
// hidden ball.
constexpr int32_t shield_draw_max = 10;
constexpr int32_t shield_draw_hit = 7;
constexpr int32_t hide_draw_max = 20;
constexpr int32_t hide_draw_hit = 13;
constexpr int32_t shield_lifetime_ms = 30000;
// The mouse moves the paddle one step on every third frame with motion.
constexpr int32_t mouse_frames_per_step = 3;

// Each paddle step, or attempt at a border, is told to the peer.
void step_paddle(Game& game, float step, bool room) {
  PlayerState& me = game.match.me;
  if (room) {
    me.paddle_x += step;
    game.sound.play(game.bank.own_move);
  } else {
    game.sound.play(game.bank.own_border);
  }
  send(game, paddle_message(me.paddle_x));
}

// A button that swings once per press: on the first frame it is seen down.
void swing_on_press(Game& game, bool down, int32_t& latch) {
  if (!down) {
    latch = 0;
  } else if (latch == 0) {
    latch = 1;
    swing(game);
  }
}

void serve(Game& game) {
  BallState& ball = game.match.ball;
  // The hit sounds wherever it was last placed: this computer's end of the court
  // holds no news for the player.
  game.sound.play(game.bank.hit);
  game.sound.play(game.bank.rolling, true, 0);
  ball.side_direction = static_cast<SideDirection>(random_int(game, 1) + 1);
  ball.speed_y = serve_speed_y;
  ball.speed_x = serve_speed_x;
  ball.y = 0.0f;
  ball.x = game.match.me.paddle_x;
  ball.flight = BallFlight::outgoing;
  send_serve_group(game.transport, game.net, static_cast<int32_t>(ball.side_direction),
                   ball.speed_x, ball.speed_y);
  crowd_command(game, "chant");
}

float speed_gain(Game& game) {
  return static_cast<float>(random_int(game, max_speed_gain)) / 100.0f;
}

void return_ball(Game& game) {
  MatchState& match = game.match;
  BallState& ball = match.ball;
  const SoundBank& bank = game.bank;
  // Back toward the side of the paddle on which it was met.
  if (ball.x > match.me.paddle_x) {
    ball.side_direction = SideDirection::right;
  } else if (ball.x < match.me.paddle_x) {
    ball.side_direction = SideDirection::left;
  } else {
    ball.side_direction = SideDirection::straight;
  }
  play_own_stroke(game);
  ball.flight = BallFlight::outgoing;
  ball.speed_y += speed_gain(game);
  ball.speed_x += speed_gain(game);
  // The local ball keeps its unrounded speeds; the peer gets whole thousandths.
  send_hit_group(game.transport, game.net, static_cast<int32_t>(ball.side_direction), ball.speed_x,
                 ball.speed_y);
  if (ball.hidden) {
    ball.hidden = false;
    game.sound.play(bank.appear);
    game.sound.play(bank.rolling, true);
  }
  crowd_command(game, "increase");

  if (random_int(game, shield_draw_max) == shield_draw_hit) {
    match.me.shield_up = true;
    match.me.shield_raised_at = game.platform.elapsed_ms();
    game.sound.play(bank.own_shield_on);
    game.sound.play(bank.own_shield_loop, true);
    send(game, shield_message);
    crowd_command(game, "oh");
  }
  if (random_int(game, hide_draw_max) == hide_draw_hit) {
    game.sound.play(bank.disappear);
    game.sound.stop(bank.rolling);
    ball.hidden = true;
    send(game, ball_hidden_message);
    crowd_command(game, "oh");
  }
}

void expire_shield(Game& game, PlayerState& player, SoundHandle loop, SoundHandle off) {
  if (!player.shield_up) return;
  if (ms_between(player.shield_raised_at, game.platform.elapsed_ms()) <= shield_lifetime_ms) return;
  player.shield_up = false;
  game.sound.stop(loop);
  game.sound.play(off);
}

}  // namespace

void read_controls(Game& game) {
  MatchState& match = game.match;
  game.keyboard.examine(game.platform);
  game.mouse.examine(game.platform);
  game.joysticks.examine(game.platform, 0);
  answer_common_keys(game, entry::help_match);
  answer_score_key(game);

  // The music level also moves on every frame the key is held.
  if (game.keyboard.key_down(key::page_down)) nudge_music_volume(game, "Down");
  if (game.keyboard.key_down(key::page_up)) nudge_music_volume(game, "Up");

  if (key_pressed_once(game, key::escape)) {
    leave_match(game, true);
    return;
  }
  if (!match.started) return;

  if (key_pressed_once(game, key::left)) move_paddle_left(game);
  if (key_pressed_once(game, key::right)) move_paddle_right(game);
  if (key_pressed_once(game, key::up)) swing(game);

  // One counter for both directions, kept while the mouse rests.
  const int32_t motion = game.mouse.delta_x();
  if (motion != 0 && ++match.mouse_frames >= mouse_frames_per_step) {
    match.mouse_frames = 0;
    if (motion > 0) {
      move_paddle_right(game);
    } else {
      move_paddle_left(game);
    }
  }

  swing_on_press(game, game.mouse.button(1), game.mouse_button_latch);
  swing_on_press(game, game.joysticks.button(0, 1), game.joystick_button_latch);

  // The stick repeats on every frame it is held.
  const int axis = game.joysticks.axis_x(0);
  if (axis < 0) move_paddle_left(game);
  if (axis > 0) move_paddle_right(game);
}

void move_paddle_left(Game& game) {
  step_paddle(game, -1.0f, game.match.me.paddle_x > court_left);
}

void move_paddle_right(Game& game) {
  step_paddle(game, 1.0f, game.match.me.paddle_x < court_right);
}

bool in_reach(float paddle_x, float ball_x) {
  return ball_x + reach > paddle_x && ball_x - reach < paddle_x;
}

void play_own_stroke(Game& game) {
  game.sound.set_pan(game.bank.hit, 0);
  game.sound.play(game.bank.hit, false, 100);
}

void swing(Game& game) {
  const MatchState& match = game.match;
  const BallState& ball = match.ball;
  // The serve comes first and leaves the ball outgoing, so one swing never both
  // serves and returns.
  if (ball.flight == BallFlight::idle && match.my_serve) {
    serve(game);
  } else if (ball.flight == BallFlight::incoming && ball.y < return_window_y &&
             in_reach(match.me.paddle_x, ball.x)) {
    return_ball(game);
  }
  // A swing at nothing costs nothing.
}

void expire_shields(Game& game) {
  expire_shield(game, game.match.me, game.bank.own_shield_loop, game.bank.own_shield_off);
  expire_shield(game, game.match.opponent, game.bank.opponent_shield_loop,
                game.bank.opponent_shield_off);
}

void opponent_paddle_moved(Game& game, int64_t position) {
  game.match.opponent.paddle_x = static_cast<float>(position);
  // An opponent on a border, or blocked there, is heard at the border.
  const bool inside = position > 1 && position < 19;
  game.sound.play(inside ? game.bank.opponent_move : game.bank.opponent_border);
}

void opponent_shield_raised(Game& game) {
  PlayerState& opponent = game.match.opponent;
  opponent.shield_up = true;
  opponent.shield_raised_at = game.platform.elapsed_ms();
  game.sound.play(game.bank.opponent_shield_on);
  game.sound.play(game.bank.opponent_shield_loop, true);
  crowd_command(game, "oh");
}

void opponent_shield_returned(Game& game) {
  game.sound.play(game.bank.opponent_shield_hit);
  // The ball waiting at the far end comes back as it was.
  game.match.ball.flight = BallFlight::incoming;
}

}  // namespace tornello
