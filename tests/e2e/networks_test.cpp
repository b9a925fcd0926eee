// Joining across real networks: over IPv6, by a name with the blanks of a
// pasted address, each failure told by its cause, and a link that dies without
// a word. Two computers are two network namespaces of the test's own, and the
// guest's name lookups read files the test wrote: nothing reaches the
// machine's network or its name servers.
#include <fstream>
#include <sstream>

#include "support/name_files.h"
#include "support/netns.h"
#include "two_games.h"

namespace tornello {
namespace {

using Clock = std::chrono::steady_clock;
using Endpoints = std::vector<std::pair<size_t, size_t>>;

double seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

class NetworksTest : public TwoGamesTest {
 protected:
  void SetUp() override {
    if (const std::optional<std::string> why = NetworkPair::unavailable()) GTEST_SKIP() << *why;
  }

  // `also` runs on every line `player` hears, after what the fixture does.
  static void on_each_line(Player& player, std::function<void(const std::string&)> also) {
    player.on_line = [before = player.on_line, also](const std::string& heard) {
      if (before) before(heard);
      also(heard);
    };
  }
};

// A guest joins at ::1 and the two play a point; then it joins by the name
// localhost, typed with blanks, whose first address (::1) finds nobody, and
// reaches the relay, which listens on IPv4 alone. The host hears each guest's
// address as it is, an IPv4 one never in its IPv6 form, and the guest keeps
// each address it got in at.
TEST_F(NetworksTest, OverIPv6AndByANameWithBlanks) {
  make_players(85, 85);
  guest->on_start = [] {
    ASSERT_TRUE(use_own_name_files("::1 localhost\n127.0.0.1 localhost\n", "127.0.0.1"));
  };
  const TempDir settings;
  guest->command_line.settings_path = settings.path() + "/settings.ini";
  std::vector<std::string> kept;
  on_each_line(*guest, [&](const std::string& heard) {
    if (heard == line(12)) kept.push_back(guest->game.settings.last_host);
  });
  const std::string score = line(18) + ": ";
  host_round(host->pilot, host_port, 1);
  choose_character(host->pilot, 2);
  host->pilot.when_heard([&](const std::string& heard) { return heard.starts_with(score); });
  host->pilot.tap(key::escape);
  host_round(host->pilot, host_port, 1);
  choose_character(host->pilot, 2);
  exit_game(host->pilot);
  join_round(guest->pilot, host_port, host_is_waiting(0), "::1");
  choose_character(guest->pilot, 1);
  join_round(guest->pilot, relay.port(), host_is_waiting(1), " localhost\t");
  choose_character(guest->pilot, 1);
  guest->pilot.when_heard_entry(12).tap(key::escape);
  exit_game(guest->pilot);
  play();

  const std::vector<std::string>& h = host->heard;
  const std::vector<std::string>& g = guest->heard;
  const auto first_score = [&score](const std::vector<std::string>& heard) {
    const auto at = std::find_if(heard.begin(), heard.end(), [&score](const std::string& item) {
      return item.starts_with("say " + score);
    });
    return at == heard.end() ? "no score line" : *at;
  };
  EXPECT_TRUE(heard_in_order(h, {"say ::1 " + line(5), said(6), said(7), first_score(h),
                                 "say 127.0.0.1 " + line(5), said(6)}))
      << last_lines(*host, 60);
  EXPECT_TRUE(heard_in_order(
      g, {connecting_line(host_port, "::1"), said(11), said(12), first_score(g),
          connecting_line(relay.port(), "localhost"), said(11), said(12), "say " + main_menu}))
      << last_lines(*guest, 60);
  EXPECT_EQ(relay.sessions().size(), 1u);
  EXPECT_EQ(kept, (std::vector<std::string>{"::1", "localhost"}));
  std::stringstream saved;
  saved << std::ifstream(guest->command_line.settings_path).rdbuf();
  EXPECT_NE(saved.str().find("\nlast_host=localhost\n"), std::string::npos) << saved.str();
  EXPECT_EQ(host_endpoints, Endpoints(3, {0, 0}));
  EXPECT_EQ(guest_endpoints, Endpoints(3, {0, 0}));
}

// A guest on one computer of a LAN; on the other a game that lets it in and
// never answers and, once asked, a name server that never answers either.
// Each way of failing is told by its own line, once; a lookup that hangs is
// the player's to give up; a link that dies while the guest waits for the
// host's answer is noticed.
TEST_F(NetworksTest, EachFailureToJoinIsToldByItsCause) {
  const NetworkPair pair;
  ASSERT_TRUE(pair.ok());
  const std::string there = NetworkPair::ipv4(0);
  Transport silent;
  int silent_name_server = -1;
  const auto on_the_other_computer = [&pair](const std::function<void()>& work) {
    std::thread([&] {
      if (pair.enter(0)) work();
    }).join();
  };
  on_the_other_computer([&] { silent.open_server(0, 0); });
  const uint16_t silent_port = silent.server_port(0);
  ASSERT_NE(silent_port, 0);

  make_guest();
  guest->on_start = [&] {
    ASSERT_TRUE(pair.enter(1));
    ASSERT_TRUE(use_own_name_files("", there));
  };
  Clock::time_point link_died, told_gone;
  on_each_line(*guest, [&](const std::string& heard) {
    if (heard == line(61)) {
      on_the_other_computer([&] {
        silent_name_server = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(53);
        ::bind(silent_name_server, reinterpret_cast<sockaddr*>(&address), sizeof address);
      });
    }
    if (heard == line(11)) {
      link_died = Clock::now();
      pair.set_link(0, false);
    }
    if (heard == line(21)) told_gone = Clock::now();
  });
  const auto always = [] { return true; };
  Autopilot& pilot = guest->pilot;
  join_round(pilot, 3214, always, " \t ");
  join_round(pilot, 3214, always, "nobody.invalid");
  join_round(pilot, 3214, always, "slow.invalid");
  pilot.when_heard([&](const std::string& heard) { return heard.starts_with(line(8)); });
  pilot.tap(key::escape);
  join_round(pilot, silent_port + 1, always, there);
  join_round(pilot, silent_port, always, there);
  join_round(pilot, silent_port, always, there);
  join_round(pilot, 3214, always, "fe80::1");  // no interface given: the system refuses
  exit_game(pilot);
  play();
  ::close(silent_name_server);

  const std::string menu = "say " + main_menu;
  const std::vector<std::string>& g = guest->heard;
  EXPECT_TRUE(heard_in_order(g, {said(64),
                                 menu,
                                 connecting_line(3214, "nobody.invalid"),
                                 said(61),
                                 menu,
                                 connecting_line(3214, "slow.invalid"),
                                 "stop music/connection",
                                 menu,
                                 connecting_line(silent_port + 1, there),
                                 said(62),
                                 menu,
                                 connecting_line(silent_port, there),
                                 said(11),
                                 said(21),
                                 menu,
                                 connecting_line(silent_port, there),
                                 said(63),
                                 menu,
                                 connecting_line(3214, "fe80::1"),
                                 said(10),
                                 menu}))
      << last_lines(*guest, 60);
  for (int told : {64, 61, 62, 11, 21, 63, 10}) {
    EXPECT_EQ(count_from(g, 0, g.size(), said(told)), 1u) << "line " << told;
  }
  EXPECT_LT(seconds(link_died, told_gone), 20.0);
  std::printf("A link that died while the guest waited was told after %.1f s\n",
              seconds(link_died, told_gone));
  EXPECT_EQ(guest_endpoints, Endpoints(8, {0, 0}));
}

// Two computers in a match; the guest's end of the link goes down as play
// starts. Neither hears another word from the other; both tell it within 20
// seconds, go back to the main menu and hold no socket there.
TEST_F(NetworksTest, DeadLinkInAMatchIsNoticedByBothSides) {
  const NetworkPair pair;
  ASSERT_TRUE(pair.ok());
  make_players(85, 85);
  host->on_start = [&] { ASSERT_TRUE(pair.enter(0)); };
  guest->on_start = [&] { ASSERT_TRUE(pair.enter(1)); };
  Clock::time_point link_died, told_gone[2];
  on_each_line(*host, [&](const std::string& heard) {
    if ((heard == line(14) || heard == line(15)) && link_died == Clock::time_point{}) {
      link_died = Clock::now();
      pair.set_link(1, false);
    }
    if (heard == line(21)) told_gone[0] = Clock::now();
  });
  on_each_line(*guest, [&](const std::string& heard) {
    if (heard == line(21)) told_gone[1] = Clock::now();
  });
  host_round(host->pilot, host_port, 1);
  choose_character(host->pilot, 1);
  exit_game(host->pilot);
  join_round(guest->pilot, host_port, host_is_waiting(0), NetworkPair::ipv4(0));
  choose_character(guest->pilot, 2);
  exit_game(guest->pilot);
  play();

  const std::string menu = "say " + main_menu;
  EXPECT_TRUE(heard_in_order(host->heard, {"say " + NetworkPair::ipv4(1) + " " + line(5), said(7),
                                           said(21), "stop everything", menu}));
  EXPECT_TRUE(heard_in_order(guest->heard, {said(12), said(21), "stop everything", menu}));
  for (const Clock::time_point told : told_gone) EXPECT_LT(seconds(link_died, told), 20.0);
  std::printf("A dead link in a match was told by the host after %.1f s, the guest after %.1f s\n",
              seconds(link_died, told_gone[0]), seconds(link_died, told_gone[1]));
  EXPECT_EQ(host_endpoints, Endpoints(2, {0, 0}));
  EXPECT_EQ(guest_endpoints, Endpoints(2, {0, 0}));
}

}  // namespace
}  // namespace tornello
