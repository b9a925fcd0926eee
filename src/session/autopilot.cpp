#include "session/autopilot.h"

#include <cmath>

#include "match/match.h"
#include "shell/menu.h"
#include "shell/text_entries.h"

namespace tornello {

namespace {

constexpr const char* fallback_language = "EN";

// Where the paddle waits while no ball comes.
constexpr float court_centre = (court_left + court_right) / 2.0f;
// A ball within this distance sideways needs no further step.
constexpr float close_enough = 1.0f;
// A person takes a moment before serving.
constexpr int32_t serve_pause_passes = 30;

}  // namespace

bool mentions_entry(const Game& game, const std::string& line, int entry) {
  const std::string& entry_text = text(game, entry);
  if (entry_text.empty()) return false;
  return line == entry_text || line.starts_with(entry_text + " ") ||
         line.ends_with(" " + entry_text);
}

Autopilot::Autopilot(Game& game, uint32_t seed, int32_t skill, int32_t reaction_passes)
    : game_(game), skill_(skill), reaction_passes_(reaction_passes) {
  random_.seed(seed);
}

void Autopilot::hear(const std::string& line) {
  if (line == text(game_, entry::lost) || line == text(game_, entry::won)) result_heard_ = true;
  unheard_.push_back(line);
  if (unheard_.size() > max_unheard_lines) unheard_.pop_front();
}

void Autopilot::attach(ListeningPlatform& platform) {
  platform.set_input(this);
  platform.answers = this;
  platform.on_title = [this](const std::string& line) { hear(line); };
}

Autopilot& Autopilot::when(Cue cue) {
  steps_.push_back({std::move(cue), {}});
  return *this;
}

Autopilot& Autopilot::when_heard(LineTest test) {
  return when([this, test = std::move(test)] {
    while (!unheard_.empty()) {
      const bool met = test(unheard_.front());
      unheard_.pop_front();
      if (met) return true;
    }
    return false;
  });
}

Autopilot& Autopilot::when_heard_entry(int entry) {
  return when_heard(
      [this, entry](const std::string& line) { return mentions_entry(game_, line, entry); });
}

Autopilot& Autopilot::when_heard_menu(const std::string& name) {
  // The title is read when first needed: the language is not known before start-up.
  return when_heard(
      [this, name, title = std::optional<std::string>()](const std::string& line) mutable {
        if (!title) {
          std::optional<MenuFile> menu =
              read_menu_file(game_.files, menu_path(game_.settings.language, name));
          if (!menu) menu = read_menu_file(game_.files, menu_path(fallback_language, name));
          title = menu ? menu->title : std::string();
        }
        return !title->empty() && line == *title;
      });
}

Autopilot& Autopilot::when_music(const std::string& track) {
  return when([this, track] { return game_.music.current_name == track; });
}

Autopilot& Autopilot::tap(KeyCode key) {
  Step press;
  press.keys.keys[key] = 0x80;
  steps_.push_back(press);
  return idle();
}

Autopilot& Autopilot::idle(int passes) {
  for (int n = 0; n < passes; ++n) steps_.push_back({});
  return *this;
}

Autopilot& Autopilot::choose(int item) {
  for (int n = 1; n < item; ++n) tap(key::down);
  return tap(key::enter);
}

Autopilot& Autopilot::choose_last() {
  // One pass with every key up first, as a person's hands are when a menu
  // opens: an Up that struck the last ball of a match is only taken as let go
  // once a menu has seen it up, and a press before that would go unheard.
  idle();
  tap(key::up);
  return tap(key::enter);
}

Autopilot& Autopilot::choose_any_character() {
  const int32_t steps = random_.next(SoundBank::character_count - 1) + 1;
  for (int32_t n = 0; n < steps; ++n) idle(8).tap(key::right);
  return idle(30).tap(key::enter);
}

Autopilot& Autopilot::answer_with(std::string text) {
  answers_.push_back(std::move(text));
  return *this;
}

std::optional<std::string> Autopilot::answer(const std::string&, const std::string&,
                                             const std::string&) {
  if (answers_.empty()) return std::nullopt;
  std::string next = std::move(answers_.front());
  answers_.pop_front();
  return next;
}

void Autopilot::keyboard(KeyboardSnapshot& out) {
  out = KeyboardSnapshot{};
  for (;;) {
    if (steps_.empty() && on_empty) on_empty(*this);
    if (steps_.empty()) break;
    Step& step = steps_.front();
    if (!step.cue) {
      out = step.keys;
      steps_.pop_front();
      return;
    }
    if (!step.cue()) break;
    steps_.pop_front();
  }
  // Nothing scripted for this pass: play, if a match is on.
  play(out);
}

void Autopilot::press(KeyboardSnapshot& out, KeyCode key) {
  out.keys[key] = 0x80;
  released_ = false;
}

void Autopilot::step_toward(KeyboardSnapshot& out, float target) {
  const float paddle = game_.match.me.paddle_x;
  if (target < paddle - close_enough) press(out, key::left);
  if (target > paddle + close_enough) press(out, key::right);
}

void Autopilot::play(KeyboardSnapshot& out) {
  // Keys act once per press, so every press is let go on the next pass.
  if (!released_) {
    released_ = true;
    return;
  }
  if (result_heard_) {
    result_heard_ = false;
    press(out, key::enter);
    return;
  }
  const MatchState& match = game_.match;
  if (!match.started) return;

  const BallState& ball = match.ball;
  const bool incoming = ball.flight == BallFlight::incoming;
  // A new ball is heard where it was struck, even one that falls silent at once.
  if (incoming && !ball_was_incoming_) {
    going_for_ball_ = random_.next(99) < skill_;
    heard_ball_x_ = ball.x;
    heard_for_ = 0;
  }
  ball_was_incoming_ = incoming;
  if (incoming) ++heard_for_;
  if (!ball.hidden) heard_ball_x_ = ball.x;

  if (ball.flight == BallFlight::idle && match.my_serve) {
    if (++serve_wait_ > serve_pause_passes) {
      serve_wait_ = 0;
      press(out, key::up);
    }
    return;
  }
  serve_wait_ = 0;

  if (!incoming) {
    step_toward(out, court_centre);
    return;
  }
  if (!going_for_ball_) return;  // this one gets past
  if (heard_for_ <= reaction_passes_) return;
  const float paddle = match.me.paddle_x;
  if (!ball.hidden && ball.y < return_window_y && in_reach(paddle, ball.x)) {
    press(out, key::up);
  } else if (std::abs(heard_ball_x_ - paddle) > close_enough) {
    step_toward(out, heard_ball_x_);
  } else if (ball.hidden) {
    // A silent ball: swing now and then where it was last heard; a miss costs nothing.
    press(out, key::up);
  }
}

}  // namespace tornello
