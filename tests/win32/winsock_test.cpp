// The transport over Winsock: the same rules as on POSIX sockets, where Winsock
// differs (no per-call non-blocking flag, refused connects reported as
// exceptions, the meaning of SO_REUSEADDR, its own error numbers, a reset
// connection that never reads 0).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "net/net_test_support.h"

namespace tornello {
namespace {

// Polls (by the wall clock, with a generous limit) until `poll` gives `wanted`.
template <typename Poll>
NetEvent poll_until(NetEvent wanted, Poll poll) {
  NetEvent event = poll();
  for (int look = 0; look < 200 && event != wanted; ++look) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    event = poll();
  }
  return event;
}

// A guest's read never waits on its blocking connection; a peer that leaves is
// data until read, then disconnected once.
TEST(Winsock, ReadsNeverWaitAndAPeerThatLeavesIsDataThenDisconnectedOnce) {
  LoopbackPair net;
  const auto [guest, accepted] = net.join_and_accept();
  char buffer[16];
  EXPECT_EQ(net.guest.receive(guest, buffer, sizeof buffer), -1) << "nothing there, no wait";
  EXPECT_EQ(net.guest.poll_connection(guest), NetEvent::none);
  ASSERT_EQ(net.host.send_text(accepted, "_P_V3$"), 6);
  EXPECT_EQ(poll_until(NetEvent::data, [&] { return net.guest.poll_connection(guest); }),
            NetEvent::data);
  EXPECT_EQ(read_text(net.guest, guest), "_P_V3$");
  EXPECT_EQ(net.host.peer_address(accepted), "127.0.0.1");

  net.guest.send_text(guest, "_P_BYE$");
  net.guest.close_connection(guest);
  const auto poll = [&] { return net.host.poll_server(); };
  EXPECT_EQ(poll_until(NetEvent::data, poll), NetEvent::data);
  EXPECT_EQ(read_text(net.host, accepted), "_P_BYE$");
  EXPECT_EQ(poll_until(NetEvent::disconnected, poll), NetEvent::disconnected);
  EXPECT_EQ(net.host.event_connection(), accepted);
  EXPECT_EQ(net.host.open_connections(), 0u);
  EXPECT_EQ(net.host.poll_server(), NetEvent::none);
}

TEST(Winsock, PortsAddressesAndRefusalsFailCleanly) {
  HeadlessPlatform platform;
  Transport host;
  Transport guest;
  ASSERT_TRUE(host.net_start());
  ASSERT_TRUE(guest.net_start());
  EXPECT_FALSE(host.open_server(0, 65536));
  EXPECT_FALSE(guest.open_connection(platform, "255.255.255.255", 3214));

  ASSERT_TRUE(host.open_server(0, 0));
  const uint16_t port = host.server_port(0);
  EXPECT_FALSE(host.open_server(1, port)) << "a port has one listener";
  EXPECT_TRUE(guest.open_connection(platform, " localhost ", port));
  ASSERT_EQ(host.poll_server(), NetEvent::connected);
  // IPv6 guests reach the same server.
  EXPECT_TRUE(guest.open_connection(platform, "[::1]", port));
  EXPECT_EQ(poll_until(NetEvent::connected, [&] { return host.poll_server(); }),
            NetEvent::connected);
  EXPECT_EQ(host.peer_address(host.event_connection()), "::1");
  host.close_server(0);
  EXPECT_TRUE(host.open_server(0, port)) << "hosting again on the same port";
  host.close_server(0);

  // Nobody listens now: the refusal comes back as a failure well before the
  // connect time-out runs out on the (virtual) clock.
  const uint32_t start = platform.elapsed_ms();
  EXPECT_FALSE(guest.open_connection(platform, "127.0.0.1", port));
  EXPECT_LT(ms_between(start, platform.elapsed_ms()), connect_timeout_ms);
  EXPECT_EQ(guest.connect_failure(), ConnectFailure::refused);
}

TEST(Winsock, ResetIsTheLinkLostAtTheFirstLookOnEitherSide) {
  expect_resets_seen_at_once();
}

}  // namespace
}  // namespace tornello
