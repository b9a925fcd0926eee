// The practice bot: the real binary as the other player, whose process vanishes
// in the middle of a match, or that cannot play at all.
#include "two_games.h"
// Last: it brings Xlib and its macros.
#include "support/desktop.h"

namespace tornello {
namespace {

class BotTest : public TwoGamesTest {
 protected:
  // The bot as a process of its own, printing what it says into a file.
  std::unique_ptr<ChildProcess> start_bot(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), TORNELLO_BINARY);
    return std::make_unique<ChildProcess>(data.path(), arguments,
                                          std::vector<std::pair<std::string, std::string>>{},
                                          data.path() + "/bot.txt");
  }

  // A game on the virtual clock facing a bot on the real one: each pump takes a
  // little real time, so waiting for the bot does not keep a processor busy.
  static void hold_back(Player& player) {
    player.on_pump = [] { std::this_thread::sleep_for(std::chrono::microseconds(50)); };
  }

  // What the bot printed, line by line.
  static std::vector<std::string> printed(const ChildProcess& bot) {
    std::vector<std::string> lines;
    std::istringstream text(bot.output());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }
};

TEST_F(BotTest, GuestProcessVanishingMidMatchIsToldToTheHost) {
  make_host();
  hold_back(*host);
  host_round(host->pilot, host_port, 1);
  choose_character(host->pilot, 1);
  exit_game(host->pilot);
  // The bot is started once the host waits for it, and killed as play starts,
  // both on the host's own thread.
  std::unique_ptr<ChildProcess> bot;
  host->on_line = [&](const std::string& line) {
    if (mentions_entry(host->game, line, 4)) {
      bot = start_bot({"--bot", "join", "127.0.0.1", std::to_string(host_port)});
    }
    if (line == main_menu) host_endpoints.push_back(endpoints(*host));
    if (starts_play(line)) bot->kill();
  };
  host->start();
  host->finish();
  ASSERT_EQ(host->failure, "") << last_lines(*host);
  ASSERT_TRUE(bot);
  EXPECT_TRUE(heard_in_order(host->heard, {"say 127.0.0.1 " + line(5), said(6), said(7), said(21),
                                           "stop everything", "say " + main_menu}));
  EXPECT_EQ(host_endpoints.back(), std::make_pair(size_t{0}, size_t{0}));
  const std::vector<std::string> bot_lines = printed(*bot);
  ASSERT_FALSE(bot_lines.empty());
  EXPECT_EQ(bot_lines.front(),
            "Practice bot: joining 127.0.0.1 on port " + std::to_string(host_port) + ".");
  EXPECT_TRUE(heard_in_order(bot_lines, {line(11), line(12)}));
}

// The hosting bot turns a guest with a wrong word away and hosts again; with the
// right word a match begins, and the bot's process vanishing in it is told.
TEST_F(BotTest, HostingBotTurnsAWrongGuestAwayThenVanishesMidMatch) {
  const std::unique_ptr<ChildProcess> bot = start_bot({"--bot", "host", std::to_string(host_port)});
  ASSERT_TRUE(bot->wait_for_output(line(4))) << bot->output();
  make_guest();
  hold_back(*guest);
  const std::string word = guest->game.settings.handshake_word;
  guest->game.settings.handshake_word = "SOMETHINGELSEENTIRELY";
  join_round(guest->pilot, host_port);
  join_round(guest->pilot, host_port, [&] { return count_of(printed(*bot), line(4)) >= 2; });
  choose_character(guest->pilot, 2);
  exit_game(guest->pilot);
  std::string serve_line;
  guest->on_line = [&](const std::string& heard) {
    if (heard == line(10)) guest->game.settings.handshake_word = word;
    if (heard == main_menu) guest_endpoints.push_back(endpoints(*guest));
    if (!starts_play(heard)) return;
    serve_line = heard;
    bot->kill();
  };
  play();
  EXPECT_TRUE(heard_in_order(
      guest->heard, {said(11), said(10), "say " + main_menu, said(11), said(12),
                     "say " + serve_line, said(21), "stop everything", "say " + main_menu}));
  EXPECT_EQ(guest_endpoints, (std::vector<std::pair<size_t, size_t>>(3, {0, 0})));
  // The bot spoke the other serve line just before it was cut off.
  const std::string bot_serve_line = serve_line == line(14) ? line(15) : line(14);
  const std::vector<std::string> bot_lines = printed(*bot);
  EXPECT_TRUE(heard_in_order(bot_lines,
                             {line(4), "127.0.0.1 " + line(5), main_menu, line(2), line(3), line(4),
                              "127.0.0.1 " + line(5), line(6), line(7), bot_serve_line}));
  EXPECT_EQ(count_of(bot_lines, line(6)), 1u) << "only the right word is welcomed";
  EXPECT_EQ(bot->exit_code(), -1);
}

// With nobody to join it says so and ends; with a port it cannot use it ends at once.
TEST_F(BotTest, BotThatCannotPlayEnds) {
  const std::unique_ptr<ChildProcess> joining =
      start_bot({"--bot", "join", "127.0.0.1", std::to_string(host_port)});
  EXPECT_EQ(joining->exit_code(), 0);
  EXPECT_TRUE(heard_in_order(printed(*joining), {line(62), main_menu}));
  const std::unique_ptr<ChildProcess> unusable = start_bot({"--bot", "host", "70000"});
  EXPECT_EQ(unusable->exit_code(), 2);
  EXPECT_EQ(unusable->output(), "") << "nothing is played";
}

}  // namespace
}  // namespace tornello
