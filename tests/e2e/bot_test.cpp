// The practice bot: its command line, and the real binary as the other player,
// whose process vanishes in the middle of a match.
#include "two_games.h"
// Last: it brings Xlib and its macros.
#include "support/desktop.h"

namespace tornello {
namespace {

TEST(BotCommandLine, RoleAddressAndPortFollowTheOptionAndTheLanguageStaysFree) {
  const CommandLine host = parse_command_line({"--bot", "host"});
  ASSERT_TRUE(host.bot);
  EXPECT_TRUE(host.bot->hosts);
  EXPECT_EQ(host.bot->port, 3214);
  EXPECT_FALSE(host.language);
  EXPECT_EQ(host.error, "");

  const CommandLine join = parse_command_line({"DE", "--bot", "join", "example.org", "4000"});
  ASSERT_TRUE(join.bot);
  EXPECT_FALSE(join.bot->hosts);
  EXPECT_EQ(join.bot->host, "example.org");
  EXPECT_EQ(join.bot->port, 4000);
  EXPECT_EQ(join.language, "DE");

  // A word that is not a number after the address is the language, not a port.
  const CommandLine language_after = parse_command_line({"--bot", "join", "10.0.0.2", "EN"});
  ASSERT_TRUE(language_after.bot);
  EXPECT_EQ(language_after.bot->port, 3214);
  EXPECT_EQ(language_after.language, "EN");
  EXPECT_TRUE(language_after.unknown.empty());
}

TEST(BotCommandLine, WhatCannotBeUsedIsSaid) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"--bot"},
                                             {"--bot", "serve"},
                                             {"--bot", "join"},
                                             {"--bot", "join", "--no-speech"},
                                             {"--bot", "host", "0"},
                                             {"--bot", "host", "65536"},
                                             {"--bot", "join", "h", "99999999999999"}}) {
    const CommandLine parsed = parse_command_line(arguments);
    EXPECT_NE(parsed.error, "") << arguments.size() << " arguments, last " << arguments.back();
    EXPECT_FALSE(parsed.bot) << arguments.back();
  }
}

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

  bool starts_play(const std::string& line) const {
    return line == this->line(14) || line == this->line(15);
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

TEST_F(BotTest, HostProcessVanishingMidMatchIsToldToTheGuest) {
  const std::unique_ptr<ChildProcess> bot = start_bot({"--bot", "host", std::to_string(host_port)});
  ASSERT_TRUE(bot->wait_for_output(line(4))) << bot->output();
  make_guest();
  hold_back(*guest);
  join_round(guest->pilot, host_port);
  choose_character(guest->pilot, 2);
  exit_game(guest->pilot);
  std::string serve_line;
  guest->on_line = [&](const std::string& line) {
    if (line == main_menu) guest_endpoints.push_back(endpoints(*guest));
    if (!starts_play(line)) return;
    serve_line = line;
    bot->kill();
  };
  play();

  EXPECT_TRUE(heard_in_order(guest->heard, {said(11), said(12), "say " + serve_line, said(21),
                                            "stop everything", "say " + main_menu}));
  EXPECT_EQ(guest_endpoints.back(), std::make_pair(size_t{0}, size_t{0}));
  // The bot spoke the other serve line just before it was cut off.
  const std::string bot_serve_line = serve_line == line(14) ? line(15) : line(14);
  EXPECT_TRUE(
      heard_in_order(printed(*bot), {"127.0.0.1 " + line(5), line(6), line(7), bot_serve_line}));
  EXPECT_EQ(bot->exit_code(), -1);
}

TEST_F(BotTest, HostingBotTurnsAWrongGuestAwayAndHostsAgain) {
  const std::unique_ptr<ChildProcess> bot = start_bot({"--bot", "host", std::to_string(host_port)});
  ASSERT_TRUE(bot->wait_for_output(line(4))) << bot->output();
  make_guest();
  guest->game.settings.handshake_word = "SOMETHINGELSEENTIRELY";
  join_round(guest->pilot, host_port);
  exit_game(guest->pilot);
  play();

  EXPECT_TRUE(heard_in_order(guest->heard, {said(11), said(10), "say " + main_menu}));
  // The bot waits for a guest again.
  for (const auto give_up = std::chrono::steady_clock::now() + desktop_patience;
       count_of(printed(*bot), line(4)) < 2 && std::chrono::steady_clock::now() < give_up;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const std::vector<std::string> bot_lines = printed(*bot);
  EXPECT_TRUE(heard_in_order(
      bot_lines, {line(4), "127.0.0.1 " + line(5), main_menu, line(2), line(3), line(4)}));
  EXPECT_EQ(count_of(bot_lines, line(6)), 0u);
  EXPECT_TRUE(bot->running());
}

TEST_F(BotTest, JoiningBotWithNobodyThereSaysSoAndEnds) {
  const std::unique_ptr<ChildProcess> bot =
      start_bot({"--bot", "join", "127.0.0.1", std::to_string(host_port)});
  EXPECT_EQ(bot->exit_code(), 0);
  EXPECT_TRUE(heard_in_order(printed(*bot), {line(10), main_menu}));
}

TEST_F(BotTest, ArgumentsThatCannotBeUsedEndTheProgramWithTheReason) {
  ChildProcess bot(data.path(), {TORNELLO_BINARY, "--bot", "host", "70000"}, {},
                   data.path() + "/bot.txt");
  EXPECT_EQ(bot.exit_code(), 2);
  EXPECT_EQ(bot.output(), "") << "nothing is played";
}

}  // namespace
}  // namespace tornello
