#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

#include "net_test_support.h"
#include "support/process_resources.h"

namespace tornello {
namespace {

TEST(Transport, PeerThatLeavesIsDataUntilReadThenGoneAndAVanishedHostIsSurvived) {
  LoopbackPair net;
  const Connection accepted = expect_a_leaving_peer_seen_once(net);
  EXPECT_EQ(net.host.poll_server(), NetEvent::none);
  // The released handle reaches nothing, not even the connection after it.
  const auto [next_guest, next] = net.join_and_accept();
  EXPECT_NE(next, accepted);
  EXPECT_EQ(net.host.send_text(accepted, "stale"), -1);
  EXPECT_EQ(read_text(net.host, accepted) + net.host.peer_address(accepted), "");
  net.host.close_connection(accepted);
  EXPECT_EQ(net.guest.poll_connection(next_guest), NetEvent::none);
  EXPECT_EQ(net.host.send_text(next, "live"), 4);
  // The host vanishes: its guest hears nothing and survives sending (with the
  // default action a stray SIGPIPE would end this test program).
  net.host.close_server(0);
  const auto previous = std::signal(SIGPIPE, SIG_DFL);
  EXPECT_EQ(read_text(net.guest, next_guest), "live");
  int32_t sent = 0;
  for (int frame = 0; frame < 6; ++frame) {
    EXPECT_EQ(net.guest.poll_connection(next_guest), NetEvent::none);
    sent = net.guest.send_text(next_guest, "_P_P5$");
  }
  EXPECT_EQ(sent, -1);
  std::signal(SIGPIPE, previous);
}

TEST(Transport, OpeningChecksPortsAndAddressesAndLeavesNothingBehind) {
  HeadlessPlatform platform;
  const size_t descriptors_before = open_files();
  {
    Transport host, guest;
    expect_hosting_rules(platform, host, guest);
    host.net_stop();
    EXPECT_EQ(host.open_servers(), 0u);
  }
  EXPECT_EQ(open_files(), descriptors_before);
}

// A listener with a full queue ignores connects: they hang until the time-out,
// serving the window meanwhile.
TEST(Transport, ConnectingGivesUpAfterTheTimeOutAndKeepsTheWindowServed) {
  uint16_t port = 0;
  const sockets::Native listener = loopback_listener(port);
  HeadlessPlatform platform;
  Transport transport;
  Connection filler;
  for (int i = 0; i < 4; ++i) filler = transport.open_connection(platform, "127.0.0.1", port, 100);
  ASSERT_FALSE(filler) << "the queue should be full by now";
  const uint64_t pumps_before = platform.pumps();
  EXPECT_FALSE(transport.open_connection(platform, "127.0.0.1", port, 300));
  EXPECT_EQ(transport.connect_failure(), ConnectFailure::no_answer);
  EXPECT_GE(platform.pumps() - pumps_before, 300u) << "events were pumped while waiting";
  // The player gives up after the tenth look: the wait ends there.
  int looks = 0;
  EXPECT_FALSE(
      transport.open_connection(platform, "127.0.0.1", port, 300, [&] { return ++looks == 10; }));
  EXPECT_EQ(transport.connect_failure(), ConnectFailure::cancelled);
  EXPECT_EQ(looks, 10);
  close(listener);
}

TEST(Transport, ResetIsTheLinkLostAtTheFirstLookOnEitherSide) {
  expect_resets_seen_at_once();
}

}  // namespace
}  // namespace tornello
