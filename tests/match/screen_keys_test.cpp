// The keys every waiting screen knows, on each screen in turn: F1 tells the
// screen's own keys and then the common ones, F2 says the last line again, F5 and
// Page Up step the levels and tell them once let go, F3 tells the score in a
// match; none of them puts a byte on the wire.
#include "shell/screen_keys.h"

#include "match/match_fixture.h"
#include "net/protocol.h"
#include "session/session.h"
#include "shell/character_select.h"
#include "shell/menu.h"
#include "shell/start_up.h"
#include "shell/text_entries.h"

namespace tornello {
namespace {

using Lines = std::vector<std::string>;

class ScreenKeysTest : public MatchTest {
 protected:
  static std::string test_wav() {
    const std::vector<uint8_t> bytes = encode_wav(std::vector<int16_t>(64, 1000), 1, 22050);
    return {bytes.begin(), bytes.end()};
  }
  ScreenKeysTest() {
    for (int n = entry::help_title; n <= entry::help_common; ++n) {
      game->language.entries[n] = "help " + std::to_string(n);
    }
    game->language.entries[entry::sounds] = "Sounds";
    game->language.entries[entry::music] = "Music";
    game->language.entries[entry::percent] = "percent";
  }

  // The keys, then the screen's own way out; returns what it answered with.
  Lines answers_on(int help, const std::function<void()>& run, KeyCode leave = key::enter,
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
    EXPECT_EQ(Lines(platform.answer_lines().begin() + static_cast<ptrdiff_t>(from),
                    platform.answer_lines().end()),
              expected)
        << help;
    return expected;
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
