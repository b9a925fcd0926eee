// Playing across real networks: finding a game with "Find games on this network"
// from another computer, each failure to join told by its cause, and a link that
// dies without a word in a match over IPv6. Two computers are two network
// namespaces of the test's own, and the guest's name lookups read files the test
// wrote: nothing reaches the machine's network or its name servers.
#include "support/name_files.h"
#include "support/netns.h"
#include "two_games.h"

namespace tornello {
namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

class NetworksTest : public TwoGamesTest {
 protected:
  void SetUp() override {
    if (const std::optional<std::string> why = NetworkPair::unavailable()) GTEST_SKIP() << *why;
    ASSERT_TRUE(pair.ok());
  }
  const NetworkPair pair;
};

// A guest on one computer of a LAN; on the other a game that lets it in and
// never answers and, once asked, a name server that never answers either. Each
// way of failing is told by its own line, once; a lookup that hangs is the
// player's to give up; a link that dies while the guest waits is noticed.
TEST_F(NetworksTest, EachFailureToJoinIsToldByItsCause) {
  const std::string there = NetworkPair::ipv4(0);
  Transport silent;
  int silent_name_server = -1;
  const auto on_the_other_computer = [this](const std::function<void()>& work) {
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
    EXPECT_EQ(count_all(g, said(told)), 1u) << "line " << told;
    if (told != 11) {
      EXPECT_GE(least_ms_between(*guest, said(told), menu), 1000) << told;
    }
  }
  EXPECT_LT(seconds(link_died, told_gone), 20.0);
  EXPECT_EQ(guest_endpoints, Endpoints(8, {0, 0}));
}

// Two computers in a match over IPv6, joined by a name whose first address
// (::1) finds nobody; the guest's end of the link goes down as play starts.
// Neither hears another word from the other; both tell it within 20 seconds, go
// back to the main menu and hold no socket there.
TEST_F(NetworksTest, DeadLinkInAMatchOverIPv6IsNoticedByBothSides) {
  make_players(85, 85);
  host->on_start = [&] { ASSERT_TRUE(pair.enter(0)); };
  guest->on_start = [&] {
    ASSERT_TRUE(pair.enter(1));
    ASSERT_TRUE(use_own_name_files("::1 table.lan\n" + NetworkPair::ipv6(0) + " table.lan\n",
                                   NetworkPair::ipv4(0)));
  };
  Clock::time_point link_died, told_gone[2];
  on_each_line(*host, [&](const std::string& heard) {
    if (starts_play(heard) && link_died == Clock::time_point{}) {
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
  join_round(guest->pilot, host_port, host_is_waiting(0), "table.lan");
  choose_character(guest->pilot, 2);
  exit_game(guest->pilot);
  play();

  const std::string menu = "say " + main_menu;
  EXPECT_TRUE(heard_in_order(host->heard, {"say " + NetworkPair::ipv6(1) + " " + line(5), said(7),
                                           said(21), "stop everything", menu}));
  EXPECT_TRUE(heard_in_order(guest->heard, {connecting_line(host_port, "table.lan"), said(12),
                                            said(21), "stop everything", menu}));
  for (const Clock::time_point told : told_gone) EXPECT_LT(seconds(link_died, told), 20.0);
  EXPECT_EQ(host_endpoints, Endpoints(2, {0, 0}));
  EXPECT_EQ(guest_endpoints, Endpoints(2, {0, 0}));
}

// The host asks for a router that is not there (it hosts on, for the local
// network), the guest finds its long game on a port of its own and plays a
// point, and a search once hosting has ended finds nothing.
TEST_F(NetworksTest, AGuestOnAnotherComputerFindsTheHostPlaysAPointThenFindsNothing) {
  const uint16_t port = 4321;
  make_players(85, 85);
  host->on_start = [&] { ASSERT_TRUE(pair.enter(0)); };
  guest->on_start = [&] { ASSERT_TRUE(pair.enter(1)); };
  host->game.settings.open_router_port = true;
  std::atomic<int> router_told{0}, host_menus{0}, guest_found_nothing{0};
  on_each_line(*host, [&](const std::string& heard) {
    router_told += heard.starts_with(line(49));
    host_menus += heard == main_menu;
  });
  on_each_line(*guest, [&](const std::string& heard) { guest_found_nothing += heard == line(57); });
  host_round(host->pilot, port, 2);
  choose_character(host->pilot, 2);
  host->pilot.when_heard_menu("main").when([&] { return guest_found_nothing > 0; }).choose_last();
  Autopilot& pilot = guest->pilot;
  pilot.when_heard_menu("main").choose(2);
  pilot.when([&] { return router_told > 0; }).choose(5);
  // Down to Back and up again reads the game out, then it is chosen.
  pilot.when_heard_entry(58).tap(key::down).tap(key::up).tap(key::enter);
  choose_character(pilot, 1);
  leave_on(pilot, 0);
  pilot.when_heard_menu("main").choose(2);
  pilot.when([&] { return host_menus > 1; }).choose(5);
  pilot.when_heard_entry(57).choose(4);
  exit_game(pilot);
  play();

  const std::string menu = "say " + main_menu, score = "say " + line(18);
  const std::vector<std::string>& h = host->heard;
  const std::vector<std::string>& g = guest->heard;
  EXPECT_TRUE(heard_in_order(h, {said(3), said(4), join_line(46, "10.77.0.1, fd77::1", port),
                                 said(49), "say 10.77.0.2 " + line(5), said(6), said(7), menu}))
      << last_lines(*host);
  EXPECT_EQ(count_all(h, "say " + line(46)), 1u);
  const std::string found =
      "say 10.77.0.1, " + line(47) + " " + std::to_string(port) + ", " + line(60);
  EXPECT_TRUE(
      heard_in_order(g, {said(53), "say " + line(54) + " 1 " + line(55), said(58),
                         "say " + line(32), found, connecting_line(port, "10.77.0.1"), said(11),
                         said(12), menu, said(53), said(57), "say " + menu_title("connect"), menu}))
      << last_lines(*guest);
  EXPECT_EQ(count_all(g, said(53)), 2u);
  EXPECT_EQ(count_all(g, score), 1u);
  EXPECT_EQ(count_all(h, score), 1u);
  EXPECT_EQ(count_all(g, "say " + line(54)), 1u);
  EXPECT_EQ(guest->game.match.game_mode, 2);
  EXPECT_EQ(host_endpoints, Endpoints(2, {0, 0}));
  EXPECT_EQ(guest_endpoints, Endpoints(3, {0, 0}));
}

}  // namespace
}  // namespace tornello
