// The practice bot, the real binary, as the other player: the hosting bot turns
// a guest with a wrong word away and hosts again, and its process vanishing in
// the match is told; a bot that cannot play ends.
#include "two_games.h"
// Last: it brings Xlib and its macros.
#include "support/desktop.h"

namespace tornello {
namespace {

using BotTest = TwoGamesTest;

TEST_F(BotTest, HostingBotTurnsAWrongGuestAwayThenVanishesMidMatchAndABotThatCannotPlayEnds) {
  const auto start_bot = [this](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {TORNELLO_BINARY, "--bot"});
    return std::make_unique<ChildProcess>(data.path(), arguments,
                                          std::vector<std::pair<std::string, std::string>>{},
                                          data.path() + "/bot.txt");
  };
  const auto printed = [](const ChildProcess& bot) {
    std::vector<std::string> lines;
    std::istringstream text(bot.output());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  };
  const std::unique_ptr<ChildProcess> bot = start_bot({"host", std::to_string(host_port)});
  ASSERT_TRUE(bot->wait_for_output(line(4))) << bot->output();
  make_guest();
  // A game on the virtual clock facing one on the real clock: each pump takes a
  // little real time, so waiting for the bot keeps no processor busy.
  guest->on_pump = [] { std::this_thread::sleep_for(std::chrono::microseconds(50)); };
  const std::string word = guest->game.settings.handshake_word;
  guest->game.settings.handshake_word = "SOMETHINGELSEENTIRELY";
  join_round(guest->pilot, host_port);
  join_round(guest->pilot, host_port, [&] { return count_of(printed(*bot), line(4)) >= 2; });
  choose_character(guest->pilot, 2);
  exit_game(guest->pilot);
  std::string serve_line;
  on_each_line(*guest, [&](const std::string& heard) {
    if (heard == line(10)) guest->game.settings.handshake_word = word;
    if (!starts_play(heard)) return;
    serve_line = heard;
    bot->kill();
  });
  play();
  EXPECT_TRUE(heard_in_order(
      guest->heard, {said(11), said(10), "say " + main_menu, said(11), said(12),
                     "say " + serve_line, said(21), "stop everything", "say " + main_menu}));
  EXPECT_EQ(guest_endpoints, Endpoints(3, {0, 0}));
  // The bot spoke the other serve line just before it was cut off.
  const std::string bot_serve_line = serve_line == line(14) ? line(15) : line(14);
  const std::vector<std::string> bot_lines = printed(*bot);
  ASSERT_FALSE(bot_lines.empty());
  EXPECT_EQ(bot_lines.front(),
            "Practice bot: hosting on port " + std::to_string(host_port) + ". Ctrl+C ends it.");
  EXPECT_TRUE(heard_in_order(bot_lines,
                             {line(4), "127.0.0.1 " + line(5), main_menu, line(2), line(3), line(4),
                              "127.0.0.1 " + line(5), line(6), line(7), bot_serve_line}));
  EXPECT_EQ(count_of(bot_lines, line(6)), 1u) << "only the right word is welcomed";
  EXPECT_EQ(bot->exit_code(), -1);

  // With nobody to join it says so and ends; with a port it cannot use it ends at once.
  const auto joining = start_bot({"join", "127.0.0.1", std::to_string(host_port)});
  EXPECT_EQ(joining->exit_code(), 0);
  EXPECT_TRUE(heard_in_order(printed(*joining), {line(62), main_menu}));
  const auto unusable = start_bot({"host", "70000"});
  EXPECT_EQ(unusable->exit_code(), 2);
  EXPECT_EQ(unusable->output(), "") << "nothing is played";
}

}  // namespace
}  // namespace tornello
