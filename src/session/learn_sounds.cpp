#include "session/learn_sounds.h"

#include "match/match.h"
#include "shell/menu.h"
#include "shell/text_entries.h"

namespace tornello {

namespace {

constexpr int first_lesson = entry::sound_ball_straight;
constexpr int last_lesson = entry::sound_crowd_bonus;
constexpr int lesson_count = last_lesson - first_lesson + 1;

// The player stands in the middle of the table, and so does the opponent.
constexpr float table_centre = (court_left + court_right) / 2.0f;
// The balls heard on the left and on the right come in this far to the side.
constexpr float side_offset = 6.0f;
// The bouncing ball starts this far to the left and drifts so that it meets the
// side about halfway along the table.
constexpr float bounce_start_offset = 4.0f;
constexpr float bounce_speed_x = 0.025f;
// A shield's hum is heard for about two seconds.
constexpr int32_t shield_hum_frames = 120;
// The crowd's chant grows as a rally of this many returns, one every half second.
constexpr int32_t rally_returns = 8;
constexpr int32_t frames_per_return = 30;

// One lesson at a time, played on the game's own match record as a match
// would: the local paddle and the opponent in the middle of the table, the
// ball where the lesson puts it.
class Lessons {
 public:
  explicit Lessons(Game& game) : game_(game) {
    MatchState& match = game.match;
    match.me = PlayerState{};
    match.opponent = PlayerState{};
    match.me.paddle_x = table_centre;
    match.opponent.paddle_x = table_centre;
  }
  ~Lessons() {
    stop();
    game_.match.me = PlayerState{};
    game_.match.opponent = PlayerState{};
  }
  Lessons(const Lessons&) = delete;
  Lessons& operator=(const Lessons&) = delete;

  // Enter on an item: "Back" closes the menu, a sound is played.
  bool chosen(int item) {
    stop();
    if (item > lesson_count) return true;
    playing_item_ = item;
    start(first_lesson + item - 1);
    return false;
  }

  // A lesson that goes on over time runs one frame of the match per pass, and
  // stops when the player moves to another item.
  bool each_pass(int item) {
    if (kind_ == Kind::none) return false;
    if (item != playing_item_) {
      stop();
      return false;
    }
    frame();
    game_.platform.pump_events(1);
    game_.platform.delay_ms(frame_wait_ms);
    return true;
  }

 private:
  enum class Kind { none, flight, hum, rally };

  void start(int lesson) {
    const SoundBank& bank = game_.bank;
    const float far_end = static_cast<float>(game_.settings.court_length);
    // Every placed sound where this frame of a match would have it.
    update_positional_sounds(game_);
    switch (lesson) {
      case entry::sound_ball_straight:
        fly(table_centre, far_end, SideDirection::straight, 0.0f);
        break;
      case entry::sound_ball_left:
        fly(table_centre - side_offset, far_end, SideDirection::straight, 0.0f);
        break;
      case entry::sound_ball_right:
        fly(table_centre + side_offset, far_end, SideDirection::straight, 0.0f);
        break;
      case entry::sound_ball_close:
        fly(table_centre, return_window_y, SideDirection::straight, 0.0f);
        break;
      case entry::sound_ball_bounce:
        fly(table_centre - bounce_start_offset, far_end, SideDirection::left, bounce_speed_x);
        break;
      case entry::sound_own_stroke:
        play_own_stroke(game_);
        break;
      case entry::sound_opponent_stroke:
        play_opponent_stroke(game_);
        break;
      case entry::sound_own_move:
        game_.sound.play(bank.own_move);
        break;
      case entry::sound_own_edge:
        game_.sound.play(bank.own_border);
        break;
      case entry::sound_own_shield_up:
        hum(bank.own_shield_on, bank.own_shield_loop);
        break;
      case entry::sound_own_shield_return:
        game_.sound.play(bank.own_shield_hit);
        break;
      case entry::sound_own_shield_down:
        game_.sound.play(bank.own_shield_off);
        break;
      case entry::sound_opponent_shield_up:
        hum(bank.opponent_shield_on, bank.opponent_shield_loop);
        break;
      case entry::sound_opponent_shield_return:
        game_.sound.play(bank.opponent_shield_hit);
        break;
      case entry::sound_ball_hiding:
        game_.sound.play(bank.disappear);
        break;
      case entry::sound_ball_appearing:
        game_.sound.play(bank.appear);
        break;
      case entry::sound_point_won:
      case entry::sound_point_lost:
        game_.sound.play(pick_goal_sound(game_));
        crowd_command(game_, "reset");
        crowd_command(game_, lesson == entry::sound_point_won ? "cheer" : "epicfail");
        break;
      case entry::sound_crowd_rally:
        crowd_command(game_, "chant");
        kind_ = Kind::rally;
        break;
      case entry::sound_crowd_bonus:
        crowd_command(game_, "oh");
        break;
    }
  }

  // A ball struck toward the player: the roll starts silent and takes its level
  // and pan in the frame, as when the opponent strikes.
  void fly(float x, float y, SideDirection direction, float speed_x) {
    BallState& ball = game_.match.ball;
    ball = BallState{};
    ball.x = x;
    ball.y = y;
    ball.speed_y = serve_speed_y;
    ball.speed_x = speed_x;
    ball.side_direction = direction;
    ball.flight = BallFlight::incoming;
    game_.sound.play(game_.bank.rolling, true, 0);
    kind_ = Kind::flight;
  }

  void hum(SoundHandle on, SoundHandle loop) {
    game_.sound.play(on);
    game_.sound.play(loop, true);
    kind_ = Kind::hum;
  }

  void frame() {
    ++frames_;
    switch (kind_) {
      case Kind::flight:
        // The lesson ends where the match would decide the point.
        if (game_.match.ball.y < local_end_y) return stop();
        advance_ball(game_);
        break;
      case Kind::hum:
        if (frames_ > shield_hum_frames) return stop();
        break;
      case Kind::rally:
        if (frames_ > rally_returns * frames_per_return) return stop();
        if (frames_ % frames_per_return == 0) crowd_command(game_, "increase");
        break;
      case Kind::none:
        return;
    }
    update_positional_sounds(game_);
  }

  void stop() {
    const SoundBank& bank = game_.bank;
    game_.sound.stop(bank.rolling);
    game_.sound.stop(bank.own_shield_loop);
    game_.sound.stop(bank.opponent_shield_loop);
    crowd_command(game_, "reset");
    game_.match.ball = BallState{};
    kind_ = Kind::none;
    frames_ = 0;
  }

  Game& game_;
  Kind kind_ = Kind::none;
  int playing_item_ = 0;
  int32_t frames_ = 0;
};

MenuFile lessons_menu(const Game& game) {
  MenuFile menu{text(game, entry::learn_sounds), {}};
  for (int lesson = first_lesson; lesson <= last_lesson; ++lesson) {
    menu.items.push_back(text(game, lesson));
  }
  menu.items.push_back(text(game, entry::back));
  return menu;
}

}  // namespace

Next learn_sounds(Game& game) {
  // The sounds are heard alone, some as faint as the far end of the table.
  play_music(game, "", false);
  Lessons lessons(game);
  MenuActions actions;
  actions.help_entry = entry::help_learn_sounds;
  actions.escape_closes = true;
  actions.chosen = [&lessons](int item) { return lessons.chosen(item); };
  actions.each_pass = [&lessons](int item) { return lessons.each_pass(item); };
  run_menu(game, lessons_menu(game), actions);
  return Next::main_menu;
}

}  // namespace tornello
