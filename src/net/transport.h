// The TCP transport: one stream to the other player's computer, over IPv4 or
// IPv6. The host opens a listening server and accepts the guest; the guest opens
// one outgoing connection. Everything is polled from the game thread: a poll reports at most
// one event, and the caller then reads what is waiting into a buffer of its own.
// Text goes out as its raw bytes, unframed; the message grammar lives in protocol.h.
//
// This header shows only the game's own types. The socket system is reached in
// transport.cpp alone, so another socket backend can sit behind the same face.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tornello {

class Platform;

// A handle to one TCP stream. Handles are compared for identity; a handle whose
// connection has been released never matches a later connection (the generation
// differs), and every operation on it does nothing and reports failure.
// A default-made handle is "no connection".
struct Connection {
  uint32_t slot = 0;
  uint32_t generation = 0;

  explicit operator bool() const { return generation != 0; }
  friend bool operator==(const Connection&, const Connection&) = default;
};

enum class NetEvent {
  none,
  connected,     // a server accepted a new connection
  data,          // bytes are waiting on a connection
  disconnected,  // a server saw an accepted connection close or break; it is released
};

// How long open_connection waits for the host before giving up, name lookup included.
inline constexpr int32_t connect_timeout_ms = 5000;

// What receive returns when the link has broken: the peer reset it, or stopped
// answering for so long that it was given up.
inline constexpr int32_t link_lost = -2;

// Why open_connection gave no connection.
enum class ConnectFailure {
  none,
  unknown_name,  // the name leads to no address (also when no name server can be asked)
  refused,       // the computer answered, but nothing listens on the port
  no_answer,     // nothing answered in time, or no way leads to the address
  cancelled,     // the player gave up waiting
  other,
};

// The address as the player typed it, without the blanks around it or the
// brackets around an IPv6 literal.
std::string address_text(std::string_view typed);

// Owns every socket the game opens: the server table (servers by identifier, each
// with its accepted connections, newest first) and the guest's outgoing
// connections. One per game; nothing is shared between two Transports.
class Transport {
 public:
  Transport() = default;
  ~Transport();
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;

  // Brings the socket layer up and down. net_stop closes every server and every
  // outgoing connection; it is safe to call more than once.
  bool net_start();
  void net_stop();

  // Where a server can be reached from: every local address, or only this
  // computer (127.0.0.1), for a game whose other player runs on it too.
  enum class Reach { everywhere, this_computer };

  // Listens on every local address, IPv6 and IPv4 on one socket (IPv4 alone where
  // the system has no IPv6), or on 127.0.0.1 alone; port 0 lets the system choose.
  // Reopening an identifier first closes the old server and all its connections.
  // Fails for a negative identifier, a port outside 0..65535, or a port that
  // cannot be bound.
  bool open_server(int32_t id, int32_t port, Reach reach = Reach::everywhere);
  void close_server(int32_t id);
  // The port server id actually listens on (useful after port 0), or 0 if not open.
  uint16_t server_port(int32_t id) const;

  // Connects to host (an IPv4 or IPv6 address, or a name, as address_text takes
  // it) on port modulo 65536. A name is looked up on a thread of its own, and
  // each address it gives is tried in turn. Waits at most timeout_ms by the
  // platform's clock in all, pumping window events all the while so the window
  // stays responsive, and asks gave_up (if given) after each pump. Returns no
  // connection on failure, and connect_failure tells why; 255.255.255.255 is
  // never connected to. The connection notices a peer that stops answering.
  Connection open_connection(Platform& platform, const std::string& host, int32_t port,
                             int32_t timeout_ms = connect_timeout_ms,
                             const std::function<bool()>& gave_up = {});
  // Why the last open_connection failed; none after one that succeeded.
  ConnectFailure connect_failure() const { return connect_failure_; }
  // Closes and releases any live connection (an accepted one leaves its server's list).
  void close_connection(Connection connection);

  // One event at most: a new connection on any server first; otherwise bytes
  // waiting or a close on an accepted connection (servers in identifier order,
  // each server's connections newest first). A closed connection is released at
  // once and reported as disconnected exactly once.
  NetEvent poll_server();
  // The connection the last event of poll_server concerned.
  Connection event_connection() const { return event_connection_; }

  // data when bytes are waiting on connection, otherwise none (also when the
  // peer has gone or the handle is stale).
  NetEvent poll_connection(Connection connection);

  // One read of at most capacity bytes; never waits. Returns the byte count, 0
  // when the peer has closed, link_lost when the link has broken, -1 on other
  // errors, when nothing is waiting, or for a stale handle. Adds no terminator.
  int32_t receive(Connection connection, char* buffer, int32_t capacity);
  // One send of the text's bytes; returns the count sent or -1. A vanished peer
  // never raises a signal.
  int32_t send_text(Connection connection, std::string_view text);

  // The peer's address as text ("192.168.1.20", "fd77::2"; an IPv4 guest of the
  // dual-stack server in its IPv4 form); empty on failure.
  std::string peer_address(Connection connection) const;

  // Diagnostics for tests: live connections and open servers.
  size_t open_connections() const;
  size_t open_servers() const { return servers_.size(); }

 private:
  using NativeSocket = std::intptr_t;

  struct Slot {
    NativeSocket socket = -1;
    uint32_t generation = 0;
    int32_t server = -1;  // owning server, or -1 for an outgoing connection
    bool live = false;
  };
  struct Server {
    NativeSocket listener = -1;
    uint16_t port = 0;
    std::vector<Connection> accepted;  // newest first
  };

  Connection adopt(NativeSocket socket, int32_t server);
  Slot* find(Connection connection);
  const Slot* find(Connection connection) const;
  void release(Connection connection);

  bool started_ = false;
  std::vector<Slot> slots_;
  std::vector<uint32_t> free_slots_;
  std::map<int32_t, Server> servers_;
  Connection event_connection_;
  ConnectFailure connect_failure_ = ConnectFailure::none;
};

}  // namespace tornello
