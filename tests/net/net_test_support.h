// Shared by the network tests on POSIX sockets and on Winsock.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net/protocol.h"
#include "net/recording_handler.h"
#include "net/socket_system.h"
#include "net/transport.h"
#include "platform/headless/headless_platform.h"
#include "support/loopback.h"

namespace tornello {

// Polls (by the wall clock, with a generous limit) until `poll` gives `wanted`,
// and returns what it gave last: loopback on Winsock may take a moment.
template <typename Value, typename Poll>
Value poll_until(Value wanted, Poll poll) {
  Value value = poll();
  for (int look = 0; look < 1000 && value != wanted; ++look) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    value = poll();
  }
  return value;
}

// Whether the host accepts a guest that has joined.
inline bool accepts(Transport& host) {
  return poll_until(NetEvent::connected, [&] { return host.poll_server(); }) == NetEvent::connected;
}

// A host (server 0 on a port the system chose) and a guest transport.
struct LoopbackPair {
  LoopbackPair() {
    host.net_start();
    guest.net_start();
    EXPECT_TRUE(host.open_server(0, 0));
    port = host.server_port(0);
  }
  Connection join() { return guest.open_connection(platform, "127.0.0.1", port); }
  // Joins and lets the host accept; returns {guest side, host side}.
  std::pair<Connection, Connection> join_and_accept() {
    const Connection outgoing = join();
    EXPECT_TRUE(outgoing && accepts(host));
    return {outgoing, host.event_connection()};
  }

  HeadlessPlatform platform;
  Transport host, guest;
  uint16_t port = 0;
};

// What has arrived on `connection`, read once; "" when nothing has.
inline std::string read_text(Transport& transport, Connection connection) {
  char buffer[256];
  const int32_t count = transport.receive(connection, buffer, sizeof buffer);
  return count > 0 ? std::string(buffer, static_cast<size_t>(count)) : std::string();
}

// Closes a raw socket abortively: SO_LINGER with no time sends a reset.
inline void reset(sockets::Native socket) {
  const linger abort_at_once{1, 0};
  setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort_at_once),
             sizeof abort_at_once);
  sockets::close(socket);
}

// Reads never wait; a peer that leaves is data until read, then disconnected
// once. Returns the host's released handle.
inline Connection expect_a_leaving_peer_seen_once(LoopbackPair& net) {
  const auto [guest, accepted] = net.join_and_accept();
  char buffer[16];
  EXPECT_EQ(net.guest.receive(guest, buffer, sizeof buffer), -1) << "nothing there, no wait";
  EXPECT_EQ(net.guest.poll_connection(guest), NetEvent::none);
  EXPECT_EQ(net.host.send_text(accepted, "_P_V3$"), 6);
  EXPECT_EQ(poll_until(NetEvent::data, [&] { return net.guest.poll_connection(guest); }),
            NetEvent::data);
  EXPECT_EQ(read_text(net.guest, guest), "_P_V3$");
  EXPECT_EQ(net.host.peer_address(accepted), "127.0.0.1");
  net.guest.send_text(guest, "_P_BYE$");
  net.guest.close_connection(guest);
  const auto poll = [&] { return net.host.poll_server(); };
  EXPECT_EQ(poll_until(NetEvent::data, poll), NetEvent::data);
  EXPECT_EQ(poll(), NetEvent::data) << "until read";
  EXPECT_EQ(read_text(net.host, accepted), "_P_BYE$");
  EXPECT_EQ(poll_until(NetEvent::disconnected, poll), NetEvent::disconnected);
  EXPECT_EQ(std::pair(net.host.event_connection(), net.host.open_connections()),
            std::pair(accepted, size_t{0}));
  EXPECT_EQ(poll(), NetEvent::none);
  return accepted;
}

// Bad ports and addresses fail; a port has one listener; typed names are
// trimmed; IPv6 guests reach the same server; the port is hosted again at once
// after a match; a refusal is told as one well before the (virtual) time-out.
inline void expect_hosting_rules(HeadlessPlatform& platform, Transport& host, Transport& guest) {
  EXPECT_FALSE(host.open_server(0, 65536) || host.open_server(0, -1) || host.open_server(-1, 0));
  EXPECT_FALSE(guest.open_connection(platform, " ", 3214));
  EXPECT_EQ(guest.connect_failure(), ConnectFailure::unknown_name);
  ASSERT_TRUE(host.open_server(0, 0));
  const uint16_t port = host.server_port(0);
  EXPECT_NE(port, 0) << "port 0 lets the system choose";
  EXPECT_FALSE(host.open_server(1, port)) << "a port has one listener";
  EXPECT_TRUE(guest.open_connection(platform, " localhost\n", port));
  ASSERT_TRUE(accepts(host));
  for (const char* typed : {"::1", " [::1]\t"}) {
    ASSERT_TRUE(guest.open_connection(platform, typed, port)) << typed;
    EXPECT_TRUE(accepts(host));
    EXPECT_EQ(host.peer_address(host.event_connection()), "::1");
  }
  host.close_server(0);
  EXPECT_TRUE(host.open_server(0, port)) << "hosting again on the same port";
  host.close_server(0);
  const uint32_t start = platform.elapsed_ms();
  EXPECT_FALSE(guest.open_connection(platform, "127.0.0.1", port));
  EXPECT_LT(ms_between(start, platform.elapsed_ms()), connect_timeout_ms);
  EXPECT_EQ(guest.connect_failure(), ConnectFailure::refused);
}

// A reset is the peer gone at the first look on either side, never "nothing yet"
// (Linux fails the read once then reads 0, Windows keeps failing, Wine reads 0).
inline void expect_resets_seen_at_once() {
  LoopbackPair net;
  uint16_t port = 0;
  const sockets::Native raw_host = loopback_listener(port);
  // The raw guest joins the game's host; the game's guest joins the raw host.
  const sockets::Native raw_guest = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = loopback_address(net.port);
  ASSERT_EQ(connect(raw_guest, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_TRUE(accepts(net.host));
  const Connection guest = net.guest.open_connection(net.platform, "127.0.0.1", port);
  ASSERT_TRUE(guest);
  // A reset of the test's own goes last: once it has arrived, so have the two
  // before it, and each side's next look is its first.
  const sockets::Native last = socket(AF_INET, SOCK_STREAM, 0);
  address = loopback_address(port);
  ASSERT_EQ(connect(last, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  reset(accept(raw_host, nullptr, nullptr));
  const sockets::Native last_peer = accept(raw_host, nullptr, nullptr);
  reset(raw_guest);
  reset(last);
  char buffer[8];
  recv(last_peer, buffer, 1, 0);  // returns once the reset has come
  sockets::close(last_peer);
  sockets::close(raw_host);
  EXPECT_EQ(net.host.poll_server(), NetEvent::disconnected);
  EXPECT_EQ(net.host.open_connections(), 0u);
  const int32_t read = net.guest.receive(guest, buffer, sizeof buffer);
  EXPECT_TRUE(read == link_lost || read == 0) << read;
}

}  // namespace tornello
