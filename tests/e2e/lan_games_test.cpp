// Playing across a network as two players would: the host tells where it can be
// reached, the guest finds it with "Find games on this network" from another
// computer (two network namespaces of the test's own), and the router asked to
// forward the port (a fake one on loopback) keeps it as long as the hosting lasts.
#include "support/fake_router.h"
#include "support/netns.h"
#include "two_games.h"

namespace tornello {
namespace {

class LanGamesTest : public TwoGamesTest {
 protected:
  std::string join_line(int entry, const std::string& addresses, uint16_t port) const {
    return "say " + line(entry) + " " + addresses + ", " + line(47) + " " + std::to_string(port) +
           ".";
  }
  static constexpr int connect_item = 2, find_item = 5;
};

// The host asks for a router that is not there (it hosts on, for the local
// network), the guest finds its long game on a port of its own and plays a
// point, and a search once hosting has ended finds nothing.
TEST_F(LanGamesTest, AGuestOnAnotherComputerFindsTheHostPlaysAPointThenFindsNothing) {
  if (const auto reason = NetworkPair::unavailable()) GTEST_SKIP() << *reason;
  const NetworkPair pair;
  ASSERT_TRUE(pair.ok());
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
  pilot.when_heard_menu("main").choose(connect_item);
  pilot.when([&] { return router_told > 0; }).choose(find_item);
  // Down to Back and up again reads the game out, then it is chosen.
  pilot.when_heard_entry(58).tap(key::down).tap(key::up).tap(key::enter);
  choose_character(pilot, 1);
  leave_on(pilot, 0);
  pilot.when_heard_menu("main").choose(connect_item);
  pilot.when([&] { return host_menus > 1; }).choose(find_item);
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

// Four hostings with the router's port wanted: forwarded and given up with
// Escape; forwarded for a match the guest leaves; taken by someone else;
// refused. Each answer is told in one line and the host waits on; a forwarded
// port is taken back before the main menu comes again.
TEST_F(LanGamesTest, TheRoutersAnswerIsToldAndItsPortLastsAsLongAsTheHosting) {
  FakeRouter router;
  make_players(85, 85);
  host->game.settings.open_router_port = true;
  host->game.settings.router_url = router.url();
  Endpoints router_at_menu;  // mappings added and deleted
  int menus = 0;
  std::atomic<int> opened_told{0};
  const std::string opened = join_line(48, FakeRouter::external_address, host_port);
  on_each_line(*host, [&](const std::string& heard) {
    opened_told += "say " + heard == opened;
    if (heard != main_menu) return;
    router_at_menu.emplace_back(router.count("AddPortMapping"), router.count("DeletePortMapping"));
    if (++menus == 3) router.refuse_with(718);
    if (menus == 4) router.refuse_with(606);
  });
  Autopilot& pilot = host->pilot;
  host_round(pilot, host_port, 1);
  pilot.when_heard([&](const std::string& heard) { return "say " + heard == opened; });
  pilot.tap(key::escape);
  host_round(pilot, host_port, 1);
  choose_character(pilot, 2);
  host_round(pilot, host_port, 1);
  pilot.when_heard_entry(51).tap(key::escape);
  host_round(pilot, host_port, 1);
  pilot.when_heard_entry(50).tap(key::escape);
  exit_game(pilot);
  join_round(guest->pilot, relay.port(), [&] { return opened_told > 1; });
  choose_character(guest->pilot, 1);
  guest->pilot.when_heard([this](const std::string& heard) { return starts_play(heard); });
  guest->pilot.tap(key::escape);
  exit_game(guest->pilot);
  play();

  const std::vector<std::string>& h = host->heard;
  const std::string menu = "say " + main_menu;
  EXPECT_TRUE(heard_in_order(h, {said(4), opened, menu, said(4), said(6), menu, said(4), said(51),
                                 menu, said(4), said(50), menu}))
      << last_lines(*host);
  EXPECT_EQ(count_all(h, opened), 2u);
  EXPECT_EQ(router_at_menu, (Endpoints{{0, 0}, {1, 1}, {2, 2}, {3, 2}, {4, 2}}));
}

}  // namespace
}  // namespace tornello
