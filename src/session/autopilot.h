// A player for the headless backend. It walks menus and prompts from a short
// script of keys and answers, each part waiting for its cue (a line it hears, the
// track that plays, or any test the caller gives), and in a match it plays by
// ear: it follows the incoming ball with the paddle, swings when the ball is in
// reach, serves when it is its turn, and lets Enter go when it hears the result.
// Its skill is the chance of going for each ball, so rallies end.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "platform/headless/headless_platform.h"
#include "shell/game.h"

namespace tornello {

// A headless platform whose spoken lines also reach a listener, such as an
// autopilot. Without the logs (keep_log false) a long-running bot keeps nothing
// of the lines it spoke or the prompts it answered.
class ListeningPlatform : public HeadlessPlatform {
 public:
  using HeadlessPlatform::HeadlessPlatform;

  std::function<void(const std::string&)> on_title;
  bool keep_log = true;
  // Where prompts are answered while no log is kept.
  InputSource* answers = nullptr;

  void set_title(const std::string& text) override {
    if (on_title) on_title(text);
    if (keep_log) HeadlessPlatform::set_title(text);
  }
  std::string ask_text(const std::string& title, const std::string& prompt,
                       const std::string& default_text) override {
    if (keep_log || answers == nullptr) {
      return HeadlessPlatform::ask_text(title, prompt, default_text);
    }
    return answers->answer(title, prompt, default_text).value_or("");
  }
};

// True when `line` is the language entry, alone or with an address, a name or a
// number before or after it ("127.0.0.1 is connecting.", "Could not open port 80").
bool mentions_entry(const Game& game, const std::string& line, int entry);

class Autopilot : public InputSource {
 public:
  using Cue = std::function<bool()>;
  using LineTest = std::function<bool(const std::string&)>;

  // A person needs about a fifth of a second to react to a ball. Without such a
  // moment, a ball struck back so often that it crosses the court within a frame
  // would be met every time, and a rally with both shields up would never end.
  static constexpr int32_t person_reaction_passes = 12;

  // skill: the chance, in percent (0 to 100), that it goes for an incoming ball;
  // reaction_passes: how many passes (frames of the match) it hears a new ball
  // before it moves for it.
  Autopilot(Game& game, uint32_t seed, int32_t skill = 85,
            int32_t reaction_passes = person_reaction_passes);

  // Every line the game speaks, in order.
  void hear(const std::string& line);
  // Wires this autopilot to a platform: its keys and answers, and its ears.
  void attach(ListeningPlatform& platform);

  // The script. Steps run in order, one keyboard pass each; a cue holds the
  // steps after it until it is met (tested once per pass).
  Autopilot& when(Cue cue);
  // A line heard since the previous cue was met passes `test`.
  Autopilot& when_heard(LineTest test);
  // The language entry, alone or with a number or an address beside it.
  Autopilot& when_heard_entry(int entry);
  // The title of the named menu: the menu has just opened (or an item of the
  // same text was read out, so keep cues to titles no item shares).
  Autopilot& when_heard_menu(const std::string& name);
  // The named music track is playing.
  Autopilot& when_music(const std::string& track);
  // Press for one pass, let go for the next.
  Autopilot& tap(KeyCode key);
  Autopilot& idle(int passes = 1);
  // Walks a menu from its first item down to `item` and chooses it.
  Autopilot& choose(int item);
  // Chooses a menu's last item (the main menu's Exit, however many items come
  // before it): up from the first item wraps round to it.
  Autopilot& choose_last();
  // Character selection: steps to a character drawn at random, pausing between
  // steps as a person would, and chooses it.
  Autopilot& choose_any_character();
  // The answer to the next text prompt; prompts take answers in order.
  Autopilot& answer_with(std::string text);

  // Called whenever the script has run out, so a bot can start its round again.
  std::function<void(Autopilot&)> on_empty;
  bool script_empty() const { return steps_.empty(); }

  void keyboard(KeyboardSnapshot& out) override;
  std::optional<std::string> answer(const std::string& title, const std::string& prompt,
                                    const std::string& default_text) override;

 private:
  struct Step {
    Cue cue;  // set: wait for it; empty: press `keys` for one pass
    KeyboardSnapshot keys;
  };

  // Lines not yet looked at by a cue; the oldest go first when it overflows.
  static constexpr size_t max_unheard_lines = 64;

  void play(KeyboardSnapshot& out);
  void press(KeyboardSnapshot& out, KeyCode key);
  void step_toward(KeyboardSnapshot& out, float target);

  Game& game_;
  Random random_;
  int32_t skill_;
  int32_t reaction_passes_;
  std::deque<Step> steps_;
  std::deque<std::string> answers_;
  std::deque<std::string> unheard_;

  // Play.
  bool released_ = true;         // a key pressed by play is let go on the next pass
  bool result_heard_ = false;    // the match is over: Enter is wanted
  bool going_for_ball_ = false;  // decided once for each incoming ball
  bool ball_was_incoming_ = false;
  int32_t heard_for_ = 0;      // passes since the incoming ball was first heard
  float heard_ball_x_ = 0.0f;  // where the ball was last heard (a hidden ball is silent)
  int32_t serve_wait_ = 0;     // passes since it became this side's turn to serve
};

}  // namespace tornello
