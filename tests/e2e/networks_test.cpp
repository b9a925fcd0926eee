// Two computers as two network namespaces of the test's own; the guest's name
// lookups read files the test wrote, so nothing reaches the machine's network.
#include <stdexcept>

#include "support/name_files.h"
#include "support/netns.h"
#include "two_games.h"

namespace tornello {
namespace {

using Clock = std::chrono::steady_clock;

class NetworksTest : public TwoGamesTest {
 protected:
  void SetUp() override {
    if (const std::optional<std::string> why = NetworkPair::unavailable()) GTEST_SKIP() << *why;
    ASSERT_TRUE(pair.ok());
  }
  const NetworkPair pair;
};

// The guest fails to join three ways, each told by its cause; then it finds the
// host's long game with "Find games on this network" (the host was told there is
// no router), and the link dies as play starts: both sides tell it within 30
// seconds. With the link back and the hosting over, a search finds nothing.
TEST_F(NetworksTest, FailuresToldThenAGameFoundOnTheNetworkWhoseLinkDiesThenNothingFound) {
  const uint16_t port = 4321;
  make_players(85, 85);
  // Outside its namespace, or with the machine's name files, a game would search the real network.
  host->on_start = guest->on_start = [&](int side) {
    if (!pair.enter(side) || (side == 1 && !use_own_name_files(NetworkPair::ipv4(0))))
      throw std::runtime_error("not cut off from the machine's network");
  };
  host->game.settings.open_router_port = true;
  std::atomic<int> router_told{0}, host_menus{0}, told_gone{0}, found_nothing{0};
  Clock::time_point link_died, gone_at[2];
  const auto on_gone = [&](int side, const std::string& heard) {
    if (heard != line(21)) return;
    gone_at[side] = Clock::now();
    if (++told_gone == 2 && !pair.set_link(1, true)) throw std::runtime_error("no link back");
  };
  on_each_line(*host, [&](const std::string& heard) {
    router_told += heard.starts_with(line(49));
    host_menus += heard == main_menu;
    if (starts_play(heard) && link_died == Clock::time_point{}) {
      pair.set_link(1, false);
      link_died = Clock::now();
    }
    on_gone(0, heard);
  });
  on_each_line(*guest, [&](const std::string& heard) {
    found_nothing += heard == line(57);
    on_gone(1, heard);
  });
  host_round(host->pilot, port, 2);
  choose_character(host->pilot, 2);
  host->pilot.when_heard_menu("main").when([&] { return found_nothing > 0; }).choose_last();
  Autopilot& pilot = guest->pilot;
  join_round(pilot, port, {}, " \t ");
  join_round(pilot, port, {}, "nobody.invalid");
  join_round(pilot, port + 1, {}, NetworkPair::ipv4(0));
  pilot.when_heard_menu("main").choose(2);
  pilot.when([&] { return router_told > 0; }).choose(5);
  // Down to Back and up again reads the game out, then it is chosen.
  pilot.when_heard_entry(58).tap(key::down).tap(key::up).tap(key::enter);
  choose_character(pilot, 1);
  pilot.when_heard_menu("main").choose(2);
  pilot.when([&] { return host_menus > 1; }).choose(5);
  pilot.when_heard_entry(57).choose(4);
  exit_game(pilot);
  play();

  const std::vector<std::string>& h = host->heard;
  const std::vector<std::string>& g = guest->heard;
  EXPECT_TRUE(heard_in_order(
      h,
      {said(3), said(4),
       "say " + line(46) + " 10.77.0.1, fd77::1, " + line(47) + " " + std::to_string(port) + ".",
       said(49), "say 10.77.0.2 " + line(5), said(6), said(7), said(21), "stop everything", menu}))
      << last_lines(*host);
  EXPECT_EQ(count_all(h, "say " + line(46)), 1u);
  const std::string found =
      "say 10.77.0.1, " + line(47) + " " + std::to_string(port) + ", " + line(60);
  EXPECT_TRUE(heard_in_order(g, {said(64), menu,
                                 said(61), menu,
                                 said(62), menu,
                                 said(53), "say " + line(54) + " 1 " + line(55),
                                 said(58), "say " + line(32),
                                 found,    connecting_line(port, "10.77.0.1"),
                                 said(11), said(12),
                                 said(21), "stop everything",
                                 menu,     said(53),
                                 said(57), "say " + menu_title("connect"),
                                 menu}))
      << last_lines(*guest, 60);
  for (int told : {64, 61, 62}) EXPECT_EQ(count_all(g, said(told)), 1u) << told;
  EXPECT_EQ(count_all(g, "say " + line(54)), 1u);
  EXPECT_EQ(guest->game.match.game_mode, 2);
  for (const Clock::time_point told : gone_at)
    EXPECT_TRUE(told > link_died && told - link_died < std::chrono::seconds(30));
  EXPECT_EQ(host_endpoints, Endpoints(2, {0, 0}));
  EXPECT_EQ(guest_endpoints, Endpoints(6, {0, 0}));
}

}  // namespace
}  // namespace tornello
