// Practice against the computer from the main menu: a whole match, then one left
// with Escape, each heard as against a person, the computer's game on a thread
// of its own, and nothing of it left once the main menu is back.
#include "session/practice.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "match/match.h"
#include "support/process_resources.h"
#include "two_games.h"

namespace tornello {
namespace {

size_t threads() {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                           std::filesystem::directory_iterator()));
}

// The local address of each listening TCP and bound UDP socket of this process,
// as the system's tables show it ("0100007F:9C41" is 127.0.0.1, port 40001).
std::vector<std::string> open_to_others() {
  std::set<std::string> ours;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code unreadable;
    const std::string target = std::filesystem::read_symlink(fd.path(), unreadable).string();
    if (target.starts_with("socket:[")) ours.insert(target.substr(8, target.size() - 9));
  }
  std::vector<std::string> found;
  for (const char* table : {"tcp", "tcp6", "udp", "udp6"}) {
    std::ifstream file(std::string("/proc/net/") + table);
    std::string row, skip, local, remote, state, inode;
    std::getline(file, row);  // the heading
    while (std::getline(file, row)) {
      std::istringstream(row) >> skip >> local >> remote >> state >> skip >> skip >> skip >> skip >>
          skip >> inode;
      if ((table[0] == 'u' || state == "0A") && ours.contains(inode)) found.push_back(local);
    }
  }
  return found;
}

using PracticeTest = TwoGamesTest;

TEST_F(PracticeTest, WholeMatchThenOneLeftWithEscapeAsAgainstAPersonLeavingNothing) {
  PacedClocks paced;
  std::deque<std::vector<std::string>> computer;  // its lines, a record per match
  std::atomic<int> computers_ended{0};
  // Threads, files and sockets at each main menu.
  std::vector<std::tuple<size_t, size_t, std::pair<size_t, size_t>>> holdings;
  std::vector<bool> loopback_only;  // the practice port, and any other, on 127.0.0.1 alone
  make_host(&paced);
  // The computer's game on a virtual clock of its own, kept in step with the player's.
  PracticeSetup setup{HeadlessPlatform::Clock::virtual_time,
                      [&](ListeningPlatform& platform, Autopilot& pilot) {
                        platform.on_pump = [&] { paced.tick(1, platform.elapsed_ms()); };
                        platform.on_title = [&computer, &pilot](const std::string& line) {
                          pilot.hear(line);
                          computer.back().push_back(line);
                        };
                        computer.emplace_back();
                      },
                      [&] {
                        ++computers_ended;
                        paced.finished(1);
                      }};
  Player& player = *host;
  player.flows.practise = [&setup](Game& game) { return practise(game, setup); };
  player.on_line = [&](const std::string& line) {
    if (line == main_menu) holdings.emplace_back(threads(), open_files(), endpoints(player));
    if (mentions_entry(player.game, line, 5)) {  // the computer is connecting
      char practice[16];
      std::snprintf(practice, sizeof practice, "0100007F:%04X",
                    player.game.transport.server_port(host_server_id));
      const std::vector<std::string> open = open_to_others();
      loopback_only.push_back(count_of(open, practice) == 1 &&
                              std::all_of(open.begin(), open.end(), [](const std::string& at) {
                                return at.starts_with("0100007F:");
                              }));
    }
  };
  for (const auto& [level, character] : {std::pair{2, 2}, std::pair{1, 4}}) {
    player.pilot.when_heard_menu("main").choose(3);
    player.pilot.when_heard_menu("gamemode").choose(1);
    player.pilot.when_heard_entry(65).choose(level);
    choose_character(player.pilot, character);
  }
  leave_as_play_starts(player.pilot);
  exit_game(player.pilot);
  play();

  const std::vector<std::string>& h = player.heard;
  const size_t second = nth(h, said(4), 1);
  ASSERT_LT(second, h.size()) << last_lines(player);
  ASSERT_EQ(computer.size(), 2u);
  EXPECT_EQ(computers_ended.load(), 2);
  EXPECT_EQ(loopback_only, std::vector<bool>(2, true));
  EXPECT_TRUE(heard_in_order(h, 0, second,
                             {"say " + line(65), said(4), "say 127.0.0.1 " + line(5), said(6),
                              "play chars/2/name", "play music/ingame", said(7)}));
  const std::vector<Score> player_scores = scores(h, 0, second);
  std::vector<std::string> computer_heard;
  for (const std::string& line : computer[0]) computer_heard.push_back("say " + line);
  expect_a_whole_match(player_scores, scores(computer_heard), 11);
  ASSERT_FALSE(player_scores.empty());
  const bool won = player_scores.back().first > player_scores.back().second;
  EXPECT_TRUE(
      heard_in_order(h, 0, second, {said(won ? 17 : 16), "stop everything", "say " + main_menu}));
  EXPECT_TRUE(heard_in_order(computer[0], {line(11), line(12), line(won ? 16 : 17)}));
  // Left as play starts: the computer takes the goodbye and goes quietly.
  EXPECT_TRUE(heard_in_order(
      h, second, h.size(),
      {said(6), "play chars/4/name", said(7), "stop everything", "say " + main_menu}));
  EXPECT_EQ(count_all(h, said(21)), 0u);
  for (const auto& heard : computer) EXPECT_EQ(count_of(heard, line(21)), 0u);
  EXPECT_TRUE(heard_in_order(computer[1], {line(12), line(14)}) ||
              heard_in_order(computer[1], {line(12), line(15)}));
  ASSERT_EQ(holdings.size(), 3u);
  for (const auto& visit : holdings) EXPECT_EQ(visit, holdings[0]);
  EXPECT_EQ(std::get<2>(holdings[0]), std::make_pair(size_t{0}, size_t{0}));
}

}  // namespace
}  // namespace tornello
