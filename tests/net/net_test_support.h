// Shared by the network tests on POSIX sockets and on Winsock: a host on an
// ephemeral loopback port, guests that join it, and a handler that writes down
// every message.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net/protocol.h"
#include "net/transport.h"
#include "platform/headless/headless_platform.h"

namespace tornello {

// A host (server 0 on a port the system chose) and a guest transport beside it.
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
    EXPECT_TRUE(outgoing);
    EXPECT_EQ(host.poll_server(), NetEvent::connected);
    return {outgoing, host.event_connection()};
  }

  HeadlessPlatform platform;
  Transport host;
  Transport guest;
  uint16_t port = 0;
};

// What has arrived on `connection`, read once; "" when nothing has.
inline std::string read_text(Transport& transport, Connection connection) {
  char buffer[256];
  const int32_t count = transport.receive(connection, buffer, sizeof buffer);
  return count > 0 ? std::string(buffer, static_cast<size_t>(count)) : std::string();
}

// Closing a connection with bytes still unread resets it instead of closing it
// in order. Either side counts a reset peer gone at its first look, though a
// read fails only once on Linux and keeps failing on Winsock: the host's poll
// reports the guest disconnected, the guest's read tells that the link is lost.
inline void expect_resets_seen_at_once() {
  const auto let_it_travel = [] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); };
  LoopbackPair net;
  const auto [guest, accepted] = net.join_and_accept();
  ASSERT_EQ(net.host.send_text(accepted, "_P_S1$"), 6);
  let_it_travel();
  net.guest.close_connection(guest);
  let_it_travel();
  EXPECT_EQ(net.host.poll_server(), NetEvent::disconnected);
  EXPECT_EQ(net.host.open_connections(), 0u);

  const auto [second_guest, second] = net.join_and_accept();
  ASSERT_EQ(net.guest.send_text(second_guest, "_P_V1$"), 6);
  let_it_travel();
  net.host.close_server(0);
  let_it_travel();
  char buffer[8];
  EXPECT_EQ(net.guest.receive(second_guest, buffer, sizeof buffer), link_lost);
}

// Writes each message down as its code and value, e.g. "P5", "BE", "S1".
class RecordingHandler : public MessageHandler {
 public:
  std::vector<std::string> seen;

  void on_ready() override { seen.push_back("R"); }
  void on_character(int32_t n) override { note("V", n); }
  void on_start(int64_t s) override { note("S", s); }
  void on_paddle(int64_t p) override { note("P", p); }
  void on_ball_direction(int32_t d) override { note("BD", d); }
  void on_ball_speed_y(int64_t s) override { note("BS", s); }
  void on_ball_speed_x(int64_t q) override { note("BQ", q); }
  void on_ball_hidden() override { seen.push_back("XD"); }
  void on_shield_raised() override { seen.push_back("XS"); }
  void on_shield_return() override { seen.push_back("XASR"); }
  void on_point_won() override { seen.push_back("G"); }
  void on_ball_struck() override { seen.push_back("BE"); }
  void on_goodbye() override { seen.push_back("BYE"); }
  void on_match_over() override { seen.push_back("D"); }

 private:
  void note(const char* code, int64_t value) { seen.push_back(code + std::to_string(value)); }
};

}  // namespace tornello
