// Practice against the computer from the main menu, the computer's game on a
// thread of its own, and nothing of it left once the main menu is back.
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

struct Reading {
  size_t threads, files, memory, sounds;
  std::pair<size_t, size_t> endpoints;
};

using PracticeTest = TwoGamesTest;

// A whole match, then one left as play starts, each heard as against a person;
// then a thousand more, every tenth played to its end, the others left as they
// begin. From the warm-up on nothing may pile up: threads, open files, sockets,
// memory and the sounds loaded.
TEST_F(PracticeTest, AWholeMatchAndOneLeftAsAgainstAPersonThenAThousandLeavingNothing) {
  constexpr int rounds = 1000, warm_up = 50, completed_every = 10;
  std::vector<std::string> computer[2];  // its lines in the first two matches
  std::atomic<int> started{0}, ended{0}, results{0};
  std::vector<Reading> readings;  // at the main menu: first, after two rounds, the warm-up, the end
  std::vector<bool> loopback_only;  // the practice port, and any other, on 127.0.0.1 alone
  make_host(&clocks);
  PracticeSetup setup{HeadlessPlatform::Clock::virtual_time,
                      [&](ListeningPlatform& platform, Autopilot& pilot) {
                        platform.on_pump = [&] { clocks.tick(1, platform.elapsed_ms()); };
                        std::vector<std::string>* lines =
                            started < 2 ? &computer[started] : nullptr;
                        platform.on_title = [&pilot, lines](const std::string& line) {
                          pilot.hear(line);
                          if (lines) lines->push_back("say " + line);
                        };
                        ++started;
                      },
                      [&] {
                        ++ended;
                        clocks.finished(1);
                      }};
  Player& player = *host;
  player.flows.practise = [&setup](Game& game) { return practise(game, setup); };
  int menus = 0;  // the main menu comes once more than the rounds played
  player.on_line = [&](const std::string& heard) {
    results += heard == line(16) || heard == line(17);
    if (heard == main_menu && (++menus <= 3 || menus == warm_up + 1 || menus == rounds + 1)) {
      readings.push_back({proc_entries("task"), open_files(), memory_in_use(),
                          player.game.sound.loaded_count(), endpoints(player)});
      if (menus == 3) player.forget_everything();
    }
    if (mentions_entry(player.game, heard, 5) && loopback_only.size() < 2) {
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
  // After the first two, the first point decides a match played to its end.
  player.on_pump = [&] {
    if (menus > 2 && menus % completed_every == 0 && player.game.match.started) {
      player.game.match.points_limit = 0;
    }
  };
  const auto practice_round = [this](Autopilot& pilot, int level, int character) {
    pilot.when_heard_menu("main").choose(3);
    pilot.when_heard_menu("gamemode").choose(1);
    pilot.when_heard_entry(65).choose(level);
    choose_character(pilot, character);
  };
  practice_round(player.pilot, 2, 2);
  practice_round(player.pilot, 1, 4);
  leave_as_play_starts(player.pilot);
  player.pilot.on_empty = [&, round = 2](Autopilot& pilot) mutable {
    if (round > rounds) return;
    if (round++ == rounds) return exit_game(pilot);
    practice_round(pilot, 1 + round % 2, 1 + round % 5);
    if (round % completed_every != 0) pilot.when_heard_entry(7).tap(key::escape);
  };
  play();

  const std::vector<std::string>& h = player.heard;
  const size_t second = nth(h, said(4), 1);
  ASSERT_LT(second, h.size()) << last_lines(player);
  EXPECT_EQ(ended.load(), rounds);
  EXPECT_EQ(results.load(), 1 + rounds / completed_every);
  EXPECT_EQ(loopback_only, std::vector<bool>(2, true));
  EXPECT_TRUE(heard_in_order(h, 0, second,
                             {"say " + line(65), said(4), "say 127.0.0.1 " + line(5), said(6),
                              "play chars/2/name", "play music/ingame", said(7)}));
  const std::vector<Score> player_scores = scores(h, 0, second);
  expect_a_whole_match(player_scores, scores(computer[0]), 11);
  ASSERT_FALSE(player_scores.empty());
  const bool won = player_scores.back().first > player_scores.back().second;
  EXPECT_TRUE(heard_in_order(h, 0, second, {said(won ? 17 : 16), "stop everything", menu}));
  EXPECT_TRUE(heard_in_order(computer[0], {said(11), said(12), said(won ? 16 : 17)}));
  // Left as play starts: the computer takes the goodbye and goes quietly.
  EXPECT_TRUE(heard_in_order(h, second, h.size(),
                             {said(6), "play chars/4/name", said(7), "stop everything", menu}));
  EXPECT_EQ(count_all(h, said(21)), 0u);
  for (const auto& heard : computer) EXPECT_EQ(count_of(heard, said(21)), 0u);
  EXPECT_TRUE(heard_in_order(computer[1], {said(12), said(14)}) ||
              heard_in_order(computer[1], {said(12), said(15)}));
  ASSERT_EQ(readings.size(), 5u);
  for (const Reading& at : readings) {
    EXPECT_EQ(at.threads, readings[0].threads);
    EXPECT_EQ(at.files, readings[0].files);
    EXPECT_EQ(at.endpoints, std::make_pair(size_t{0}, size_t{0}));
  }
  EXPECT_EQ(readings[4].sounds, readings[3].sounds);
  // A leak of a few hundred bytes a round would show; allocator noise does not.
  EXPECT_LT(readings[4].memory, readings[3].memory + 256 * 1024)
      << "memory in use grew from " << readings[3].memory << " to " << readings[4].memory;
}

}  // namespace
}  // namespace tornello
