// Practice against the computer from the main menu: a whole match, then one left
// with Escape, each heard as against a person, the computer's game on a thread
// of its own, and nothing of it left once the main menu is back.
#include "session/practice.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "match/match.h"
#include "support/lockstep.h"
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

// The computer's keys on their way to its game, with its Escape presses counted.
struct WatchedKeys : InputSource {
  void keyboard(KeyboardSnapshot& out) override {
    keys->keyboard(out);
    escapes += (out.keys[key::escape] & 0x80) != 0;
  }
  std::optional<std::string> answer(const std::string& title, const std::string& prompt,
                                    const std::string& default_text) override {
    return keys->answer(title, prompt, default_text);
  }
  InputSource* keys = nullptr;
  int escapes = 0;
};

struct Holdings {
  size_t threads, files, sounds;
  std::pair<size_t, size_t> endpoints;
};

using PracticeTest = TwoGamesTest;

TEST_F(PracticeTest, WholeMatchThenOneLeftWithEscapeAsAgainstAPersonLeavingNothing) {
  Lockstep lockstep;
  std::deque<std::vector<std::string>> computer;  // its lines, a record per match
  std::deque<WatchedKeys> watched;
  std::atomic<int> computers_ended{0};
  std::vector<Holdings> holdings;  // each time the main menu opens
  // Once per practice, as the computer connects: the practice port, and any
  // other this process has open to others, is on 127.0.0.1 alone.
  std::vector<bool> listeners;
  make_host();
  PracticeSetup setup = lockstep.setup([&](ListeningPlatform& platform, Autopilot& pilot) {
    platform.on_title = [&computer, &pilot](const std::string& line) {
      pilot.hear(line);
      computer.back().push_back(line);
    };
    watched.emplace_back().keys = &pilot;
    platform.set_input(&watched.back());
    computer.emplace_back();
  });
  setup.opponent_ended = [&, ended = setup.opponent_ended] {
    ++computers_ended;
    ended();
  };
  Player& player = *host;
  player.flows.practise = [&setup](Game& game) { return practise(game, setup); };
  player.on_pump = [&] { lockstep.player_at(player.platform.elapsed_ms()); };
  player.on_line = [&](const std::string& line) {
    Game& game = player.game;
    if (line == main_menu) {
      holdings.push_back({threads(), open_files(), game.sound.loaded_count(), endpoints(player)});
    }
    if (mentions_entry(game, line, 5)) {  // the computer is connecting
      char practice[16];
      std::snprintf(practice, sizeof practice, "0100007F:%04X",
                    game.transport.server_port(host_server_id));
      const std::vector<std::string> open = open_to_others();
      listeners.push_back(count_of(open, practice) == 1 &&
                          std::all_of(open.begin(), open.end(), [](const std::string& at) {
                            return at.starts_with("0100007F:");
                          }));
    }
  };
  const auto practice_round = [&](int level, int character) {
    player.pilot.when_heard_menu("main").choose(3);
    player.pilot.when_heard_menu("gamemode").choose(1);
    player.pilot.when_heard_entry(65).choose(level);
    choose_character(player.pilot, character);
  };
  practice_round(2, 2);
  // "Learn the sounds", as the main menu has it, left with Escape.
  player.pilot.when_heard_menu("main").choose(4).idle(5).tap(key::escape);
  practice_round(1, 4);
  leave_as_play_starts(player.pilot);
  exit_game(player.pilot);
  play();

  const std::vector<std::string>& h = player.heard;
  const size_t second = nth(h, said(4), 1);
  ASSERT_LT(second, h.size()) << last_lines(player);
  ASSERT_EQ(computer.size(), 2u);
  EXPECT_EQ(computers_ended.load(), 2);
  EXPECT_EQ(listeners, std::vector<bool>(2, true));
  // The first match, heard from the player's side as when a person joins, to its end.
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
      heard_in_order(h, 0, second,
                     {said(won ? 17 : 16), won ? "play music/game_won" : "play music/game_lost",
                      "stop everything", "say " + main_menu}));
  EXPECT_TRUE(heard_in_order(computer[0], {line(11), line(12), line(won ? 16 : 17)}));
  // The second, left as play starts: the computer takes the goodbye and goes
  // quietly, without being told to, and the player is back at the main menu.
  EXPECT_TRUE(heard_in_order(
      h, second, h.size(),
      {said(6), "play chars/4/name", said(7), "stop everything", "say " + main_menu}));
  EXPECT_EQ(count_all(h, said(21)), 0u);
  for (size_t match = 0; match < 2; ++match) {
    EXPECT_EQ(count_of(computer[match], line(21)), 0u) << "match " << match + 1;
    EXPECT_EQ(watched[match].escapes, 0) << "match " << match + 1;
  }
  EXPECT_TRUE(heard_in_order(computer[1], {line(12), line(14)}) ||
              heard_in_order(computer[1], {line(12), line(15)}));
  // Threads, files and sockets at each return to the main menu as before the
  // first match; sounds as after it (the announcer keeps its last call).
  ASSERT_EQ(holdings.size(), 4u) << "the main menu before and after each visit";
  for (const Holdings& visit : holdings) {
    EXPECT_EQ(visit.threads, holdings[0].threads);
    EXPECT_EQ(visit.files, holdings[0].files);
    EXPECT_EQ(visit.endpoints, std::make_pair(size_t{0}, size_t{0}));
  }
  EXPECT_EQ(holdings[3].sounds, holdings[1].sounds);
  EXPECT_EQ(holdings[2].sounds, holdings[1].sounds);
  EXPECT_TRUE(network_flows().practise) << "the game's main menu practises";
}

}  // namespace
}  // namespace tornello
