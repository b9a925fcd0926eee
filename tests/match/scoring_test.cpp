// The start of play, the points, the end of the match; the keys of waiting screens.
#include "match/match_fixture.h"
#include "session/learn_sounds.h"
#include "session/session.h"
#include "shell/character_select.h"
#include "shell/menu.h"
#include "shell/start_up.h"
#include "shell/text_entries.h"

namespace tornello {
namespace {
class ScoringTest : public MatchTest {
 protected:
  ScoringTest() {
    in_play();
    game->match.my_character = 2;
    game->match.opponent_character = 3;
    game->match.ball.hidden = true;
  }
  // How long `action` held the game on the virtual clock.
  uint32_t held(const std::function<void()>& action) {
    const uint32_t start = platform.elapsed_ms();
    action();
    return platform.elapsed_ms() - start;
  }
};

// Each line of a point holds the game its own time; winning mirrors conceding.
TEST_F(ScoringTest, APointIsToldInOrderWithItsHoldsWhicheverSideWinsIt) {
  incoming_ball(10.0f, 0.5f);
  game->match.ball.hidden = true;
  EXPECT_EQ(held([this] { advance_ball(*game); }), 1u + 3001 + 3001 + 501 + 501 + 301);
  EXPECT_TRUE(matches(
      heard_since(0),
      {"play misc/appear", "stop pong/rolling", "play pong/goal#", "stop crowd/chant",
       "play crowd/EpicFail#", "announce score#", "say Score: 0 to 1", "play chars/3/score#",
       "play chars/2/opscore#", "announce scores", "announce 0", "announce 1"}));
  EXPECT_EQ(sent(), Lines{"_P_G"});
  EXPECT_EQ(game->match.ball.flight, BallFlight::idle);
  game->match.ball.hidden = true;
  const size_t from = heard_since().size();
  EXPECT_EQ(held([this] { receive("_P_G$"); }), 1u + 3001 + 3001 + 501 + 501 + 501);
  EXPECT_TRUE(
      matches(heard_since(from),
              {"stop pong/rolling", "play pong/goal#", "play misc/appear", "say Score: 1 to 1",
               "stop crowd/chant", "play crowd/cheer#", "announce score#", "play chars/3/opscore#",
               "play chars/2/score#", "announce scores", "announce 1", "announce 1"}));
  EXPECT_TRUE(sent().empty());
}

// Whatever the ball was doing falls silent before the result of a match.
const Lines ball_silenced = {"stop pong/rolling",   "stop Pong/Ballborder", "stop Pong/Hit",
                             "stop misc/appear",    "stop misc/disappear",  "stop misc/shieldloop",
                             "stop misc/shieldloop"};

TEST_F(ScoringTest, ShortGameEndsAboveTenLongGameAboveTwenty) {
  const Lines won = {"play Music/GAME_WON", "play chars/3/lose", "say Won", "play crowd/won",
                     "announce youwin"};
  const Lines lost = {"play chars/3/win", "say Lost", "play crowd/lost", "announce theywin"};
  struct Case {
    int32_t limit, me, opponent;
    Lines heard;
  };
  for (const Case& c : {Case{10, 10, 10, {}}, Case{10, 11, 10, won}, Case{10, 3, 11, lost},
                        Case{20, 20, 20, {}}, Case{20, 21, 0, won}, Case{20, 20, 21, lost}}) {
    connect(PeerRole::host);
    in_play();
    MatchState& match = game->match;
    match.points_limit = c.limit;
    match.me.score = c.me;
    match.opponent.score = c.opponent;
    const size_t from = heard_since().size();
    if (!c.heard.empty()) press(key::enter);
    // Result, 1000 ms, score line, Enter, result music for 7000 ms.
    EXPECT_EQ(held([this] { check_start_and_end(*game); }), c.heard.empty() ? 0u : 8004u);
    if (c.heard.empty()) continue;
    Lines expected = ball_silenced;
    expected.insert(expected.end(), c.heard.begin(), c.heard.end());
    expected.push_back("say Score: " + std::to_string(c.me) + " to " + std::to_string(c.opponent));
    expected.push_back(c.me > c.opponent ? "play Music/GAME_WON" : "play Music/GAME_LOST");
    expected.push_back("stop everything");
    EXPECT_EQ(heard_since(from), expected);
    EXPECT_EQ(sent(), (Lines{"_P_D", "_P_BYE"}));
  }
}

// F1 help, F2 repeat, F5/Page Up levels and F3 score on each waiting screen, off the wire.
class ScreenKeysTest : public MatchTest {
 protected:
  ScreenKeysTest() {
    for (int n = entry::help_title; n <= entry::help_common; ++n)
      game->language.entries[n] = "help " + std::to_string(n);
    game->language.entries[entry::sounds] = "Sounds";
    game->language.entries[entry::music] = "Music";
    game->language.entries[entry::percent] = "percent";
  }

  // The keys, then the screen's own way out.
  void answers_on(int help, const std::function<void()>& run, KeyCode leave = key::enter,
                  bool in_match = false) {
    game->settings.sound_volume = 100;
    game->settings.music_volume = 5.0f;
    for (KeyCode key : {key::f1, key::f2, key::f5, key::page_up}) press(key);
    if (in_match) press(key::f3);
    press(leave);
    const size_t from = platform.answer_lines().size();
    run();
    const std::string keys = "help " + std::to_string(help) + " help 45";
    Lines expected = {keys, keys, "Sounds 90 percent", "Music 10 percent"};
    if (in_match) expected.push_back("Score: 0 to 0. You serve");
    EXPECT_EQ(Lines(platform.answer_lines().begin() + from, platform.answer_lines().end()),
              expected)
        << help;
  }
};

TEST_F(ScreenKeysTest, EveryWaitingScreenAnswersAndNothingReachesThePeer) {
  answers_on(entry::help_title, [this] { show_title_screen(*game); });
  answers_on(entry::help_menu, [this] { run_menu(*game, MenuFile{"Menu", {"One", "Two"}}); });
  answers_on(
      entry::help_character,
      [this] {
        press(key::enter);
        choose_character(*game);
      },
      key::right);
  EXPECT_TRUE(sent().empty());

  // In play: only the goodbye that leaving sends.
  in_play(true);
  answers_on(
      entry::help_match, [this] { run_match(*game); }, key::escape, true);
  EXPECT_EQ(sent(), Lines{"_P_BYE"});
  connect(PeerRole::host);
  in_play(true);
  answers_on(
      entry::help_match_end, [this] { end_match(*game); }, key::enter, true);
  EXPECT_EQ(sent(), Lines{"_P_BYE"});
  game->settings.port = other.server_port(host_server_id);  // waiting for its answer
  answers_on(
      entry::help_waiting, [this] { join_game(*game); }, key::escape);
}

// Learning the sounds: Up wraps to Back, then to the last lesson, which plays its sound;
// Down wraps to Back again, which leaves.
TEST_F(MatchTest, LearnTheSoundsWrapsToBackThenTheLastLessonPlays) {
  for (int n = entry::sound_ball_straight; n <= entry::sound_crowd_bonus; ++n) {
    game->language.entries[n] = builtin_english(n);
  }
  game->language.entries[entry::back] = builtin_english(entry::back);
  for (KeyCode key : {key::up, key::up, key::enter}) press(key);
  idle(90);
  press(key::down);
  press(key::enter);  // on Back
  EXPECT_EQ(learn_sounds(*game), Next::main_menu);
  const std::vector<std::string>& titles = platform.titles();
  const auto back = std::find(titles.begin(), titles.end(), builtin_english(entry::back));
  ASSERT_LT(back + 1, titles.end());
  EXPECT_EQ(back[1], builtin_english(entry::sound_crowd_bonus));
  EXPECT_EQ(
      plays(game->bank.crowd_oh[1]) + plays(game->bank.crowd_oh[2]) + plays(game->bank.crowd_oh[3]),
      1u);
}

}  // namespace
}  // namespace tornello
