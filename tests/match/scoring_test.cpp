// The start of play, the two point sequences and the end of the match; the keys
// every waiting screen knows.
#include "match/match_fixture.h"
#include "net/protocol.h"
#include "session/session.h"
#include "shell/character_select.h"
#include "shell/menu.h"
#include "shell/screen_keys.h"
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
  // Runs `action` and returns how long it held the game on the virtual clock.
  uint32_t held(const std::function<void()>& action) {
    const uint32_t start = platform.elapsed_ms();
    action();
    return platform.elapsed_ms() - start;
  }
};

// The holds: announcer "score" + k (0 ms), two voice lines (3000 ms each), "scores"
// and the own score (500 ms each), then the other score (300 ms conceding, 500 winning);
// every wait lasts until more than its time has passed. Winning mirrors conceding.
TEST_F(ScoringTest, APointIsToldInOrderWithItsHoldsWhicheverSideWinsIt) {
  incoming_ball(10.0f, 0.5f);
  game->match.ball.hidden = true;
  EXPECT_EQ(held([this] { advance_ball(*game); }), 1u + 3001 + 3001 + 501 + 501 + 301);
  EXPECT_TRUE(matches(
      heard_since(0),
      {"play misc/appear", "stop pong/rolling", "play pong/goal#", "stop crowd/chant",
       "play crowd/EpicFail#", "announce score#", "say Score: 0 to 1", "play chars/3/score#",
       "play chars/2/opscore#", "announce scores", "announce 0", "announce 1"}))
      << testing::PrintToString(heard);
  EXPECT_EQ(sent(), Lines{"_P_G"});
  EXPECT_EQ(game->match.ball.flight, BallFlight::idle);
  game->match.ball.hidden = true;
  const size_t from = heard_since().size();
  EXPECT_EQ(held([this] { receive("_P_G$"); }), 1u + 3001 + 3001 + 501 + 501 + 501);
  EXPECT_TRUE(
      matches(heard_since(from),
              {"stop pong/rolling", "play pong/goal#", "play misc/appear", "say Score: 1 to 1",
               "stop crowd/chant", "play crowd/cheer#", "announce score#", "play chars/3/opscore#",
               "play chars/2/score#", "announce scores", "announce 1", "announce 1"}))
      << testing::PrintToString(heard);
  EXPECT_TRUE(sent().empty());
}

TEST_F(ScoringTest, HostStartsPlayOnlyMoreThan10000msAfterTheGuestIsReady) {
  connect(PeerRole::host);
  MatchState& match = game->match;
  match.started = false;
  match.game_mode = 1;
  uint32_t started_at = 0;
  then([this] { peer_sends("_P_V4$"); });
  idle(100);  // no start without "_P_R"
  then([this] { peer_sends("_P_R$"); });
  for (int pass = 0; pass < 600; ++pass) {
    then([&] {
      started_at = started_at == 0 && match.started ? platform.elapsed_ms() : started_at;
    });
  }
  press(key::escape);
  run_match(*game);
  EXPECT_EQ(match.opponent_character, 4);
  const int32_t waited = ms_between(match.peer_ready_at, started_at);
  EXPECT_TRUE(waited > 10000 && waited <= 10000 + 18) << waited;
  EXPECT_EQ(match.points_limit, 10);
  EXPECT_EQ(sent(), (Lines{match.my_serve ? "_P_S1" : "_P_S0", "_P_BYE"}));
  EXPECT_TRUE(matches(heard_since(0), {"play chars/4/intro", "play crowd/clap#", "play crowd/clap#",
                                       match.my_serve ? "say You serve" : "say They serve",
                                       "announce gamestart", "stop everything"}));
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
    // Result, 1000 ms, score line, Enter (down, and up acted on at once), result
    // music for 7000 ms.
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

TEST_F(ScoringTest, EqualScoresWhenTheMatchEndsAnnounceNothingAndPlayTheWonMusic) {
  game->match.me.score = game->match.opponent.score = 5;
  press(key::enter);
  receive("_P_D$");
  Lines expected = ball_silenced;
  expected.insert(expected.end(), {"say Score: 5 to 5", "play Music/GAME_WON", "stop everything"});
  EXPECT_EQ(heard_since(0), expected);
  EXPECT_EQ(sent(), Lines{"_P_BYE"});
}

// On each waiting screen in turn: F1 tells the screen's own keys and then the
// common ones, F2 says the last line again, F5 and Page Up step the levels and
// tell them once let go, F3 tells the score in a match; none puts a byte on the wire.
class ScreenKeysTest : public MatchTest {
 protected:
  ScreenKeysTest() {
    for (int n = entry::help_title; n <= entry::help_common; ++n) {
      game->language.entries[n] = "help " + std::to_string(n);
    }
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
  answers_on(entry::help_character, [this] { choose_character(*game); });
  EXPECT_TRUE(sent().empty());

  // In play, and once the match is over: only the goodbye that leaving sends.
  in_play(true);
  answers_on(
      entry::help_match, [this] { run_match(*game); }, key::escape, true);
  EXPECT_EQ(sent(), Lines{"_P_BYE"});
  connect(PeerRole::host);
  in_play(true);
  answers_on(
      entry::help_match_end, [this] { end_match(*game); }, key::enter, true);
  EXPECT_EQ(sent(), Lines{"_P_BYE"});

  // Waiting for the host's answer: the hello, and nothing after it.
  game->settings.port = other.server_port(host_server_id);
  answers_on(
      entry::help_waiting, [this] { join_game(*game); }, key::escape);
  std::string joined;
  for (int poll = 0; poll < 100; ++poll) {
    const NetEvent event = other.poll_server();
    char buffer[256];
    for (int32_t n; event == NetEvent::data &&
                    (n = other.receive(other.event_connection(), buffer, sizeof buffer)) > 0;) {
      joined.append(buffer, static_cast<size_t>(n));
    }
  }
  EXPECT_EQ(joined, hello_message(game->settings.handshake_word) + "$");
}

TEST(LevelStep, TensWithinNoughtAndAHundredFromAnyLevel) {
  const struct {
    int32_t level;
    bool up;
    int32_t next;
  } steps[] = {{100, true, 100}, {0, false, 0},   {5, true, 10},   {5, false, 0},
               {37, true, 40},   {40, false, 30}, {-20, true, 10}, {250, false, 90}};
  for (const auto& step : steps)
    EXPECT_EQ(level_step(step.level, step.up), step.next) << step.level;
}

}  // namespace
}  // namespace tornello
