// Getting together, and failing to: the wrong handshake word, either side giving
// up its wait, a port someone else holds, nobody at the address. Each failure is
// told and stays a moment before the main menu, which comes back with no socket.
#include "two_games.h"

namespace tornello {
namespace {

using ConnectTest = TwoGamesTest;

TEST_F(ConnectTest, WrongHandshakeWordIsRefusedWithoutAWordAndBothGoBack) {
  make_players(85, 85);
  // The same letters in another case are another word.
  std::string& word = guest->game.settings.handshake_word;
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  host_round(host->pilot, host_port, 1);
  exit_game(host->pilot);
  join_round(guest->pilot, relay.port(), host_is_waiting(0));
  exit_game(guest->pilot);
  play();
  EXPECT_TRUE(
      heard_in_order(host->heard, {said(4), "say 127.0.0.1 " + line(5), "say " + main_menu}));
  EXPECT_EQ(count_all(host->heard, said(6)), 0u);
  // The host hangs up, so the guest hears at once that nobody will answer.
  EXPECT_TRUE(heard_in_order(
      guest->heard, {connecting_line(relay.port()), said(11), said(10), "say " + main_menu}));
  EXPECT_GE(least_ms_between(*guest, said(10), "say " + main_menu), 1000);
  const std::vector<WireTap::Session> sessions = relay.sessions();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].to_host, "_P_HI" + word + "$");
  EXPECT_EQ(sessions[0].to_guest, "");
  EXPECT_EQ(host_endpoints, Endpoints(2, {0, 0}));
  EXPECT_EQ(guest_endpoints, Endpoints(2, {0, 0}));
}

// The host: a port someone else holds, then port 0 (no guest could be told it),
// then a wait it gives up. The guest: nobody on the port, then a listener that
// never answers, given up. Each round tells one line, never two.
TEST_F(ConnectTest, EitherSideThatCannotGetTogetherOrGivesUpGoesBack) {
  Transport squatter, silent;
  ASSERT_TRUE(squatter.open_server(0, host_port));
  ASSERT_TRUE(silent.open_server(0, 0));
  const uint16_t silent_port = silent.server_port(0);
  make_host();
  make_guest();
  host_round(host->pilot, host_port, 1);
  host_round(host->pilot, 0, 1);
  host_round(host->pilot, free_port(), 2);
  host->pilot.when_heard_entry(4).tap(key::escape);
  exit_game(host->pilot);
  join_round(guest->pilot, free_port());  // nothing listens there
  join_round(guest->pilot, silent_port);
  guest->pilot.when_heard_entry(11).tap(key::escape);
  exit_game(guest->pilot);
  play();
  const std::string menu = "say " + main_menu;
  const std::vector<std::string>& h = host->heard;
  const std::vector<std::string>& g = guest->heard;
  const std::string squatted = "say " + line(22) + " " + std::to_string(host_port);
  EXPECT_TRUE(heard_in_order(h, {said(2), said(3), squatted, menu, said(2), said(3),
                                 "say " + line(22) + " 0", menu, said(2), said(3), said(4),
                                 "stop music/connection", menu}));
  EXPECT_EQ(count_all(h, said(4)), 1u) << "waited in vain";
  EXPECT_GE(least_ms_between(*host, squatted, menu), 1000);
  EXPECT_EQ(host_endpoints, Endpoints(4, {0, 0}));
  EXPECT_EQ(host->game.match.game_mode, 2);
  EXPECT_TRUE(heard_in_order(g, {said(62), menu, connecting_line(silent_port), said(11),
                                 "stop music/connection", menu}))
      << last_lines(*guest);
  EXPECT_EQ(count_all(g, said(62)), 1u);
  EXPECT_EQ(count_all(g, said(11)), 1u);
  EXPECT_GE(least_ms_between(*guest, said(62), menu), 1000);
  EXPECT_EQ(guest_endpoints, Endpoints(3, {0, 0}));
  // The listener got the hello, then saw the guest hang up.
  ASSERT_EQ(silent.poll_server(), NetEvent::connected);
  const Connection guest_end = silent.event_connection();
  ASSERT_EQ(silent.poll_server(), NetEvent::data);
  char buffer[64] = {};
  const int32_t count = silent.receive(guest_end, buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, count > 0 ? count : 0),
            "_P_HI" + guest->game.settings.handshake_word + "$");
  EXPECT_EQ(silent.poll_server(), NetEvent::disconnected);
}

}  // namespace
}  // namespace tornello
