#include "net/transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/platform.h"

namespace tornello {

namespace {

constexpr int listen_backlog = 100;
// How long one look at a pending connect may wait before window events are served.
constexpr int connect_slice_ms = 2;
constexpr uint32_t broadcast_address = 0xFFFFFFFFu;

int fd_of(std::intptr_t socket) {
  return static_cast<int>(socket);
}

// Errors of a peek that mean the connection is gone for good.
bool is_broken(int error) {
  return error == ECONNRESET || error == ECONNABORTED || error == ENOTCONN || error == ESHUTDOWN ||
         error == ETIMEDOUT || error == EPIPE;
}

// Small game messages must not wait for the previous one to be acknowledged.
void send_without_delay(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool set_blocking(int fd, bool blocking) {
  const int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0) return false;
  return fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}

// The IPv4 address host stands for, in network byte order; nothing when it
// cannot be resolved or is the broadcast address.
bool resolve_ipv4(const std::string& host, in_addr& out) {
  if (inet_aton(host.c_str(), &out) == 0) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
    out = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
  }
  return out.s_addr != htonl(broadcast_address);
}

// Waits for a non-blocking connect to finish, serving window events between
// short looks. True when the connection is made.
bool finish_connect(Platform& platform, int fd, int32_t timeout_ms) {
  const uint32_t start = platform.elapsed_ms();
  for (;;) {
    pollfd watch{fd, POLLOUT, 0};
    const int ready = poll(&watch, 1, connect_slice_ms);
    if (ready > 0) {
      int error = 0;
      socklen_t size = sizeof error;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return false;
      return error == 0;
    }
    if (ready < 0 && errno != EINTR) return false;
    if (ms_between(start, platform.elapsed_ms()) > timeout_ms) return false;
    platform.pump_events(1);
  }
}

}  // namespace

Transport::~Transport() {
  net_stop();
}

bool Transport::net_start() {
  // POSIX sockets need no start-up; the flag only pairs start and stop.
  started_ = true;
  return true;
}

void Transport::net_stop() {
  while (!servers_.empty()) close_server(servers_.begin()->first);
  for (uint32_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i].live) release(Connection{i, slots_[i].generation});
  }
  started_ = false;
}

Connection Transport::adopt(NativeSocket socket, int32_t server) {
  uint32_t index;
  if (!free_slots_.empty()) {
    index = free_slots_.back();
    free_slots_.pop_back();
  } else {
    index = static_cast<uint32_t>(slots_.size());
    slots_.emplace_back();
  }
  Slot& slot = slots_[index];
  slot.socket = socket;
  slot.server = server;
  slot.live = true;
  // Generation 0 is "no connection", so a handle is never the default one.
  if (++slot.generation == 0) slot.generation = 1;
  return Connection{index, slot.generation};
}

Transport::Slot* Transport::find(Connection connection) {
  if (connection.slot >= slots_.size()) return nullptr;
  Slot& slot = slots_[connection.slot];
  return slot.live && slot.generation == connection.generation ? &slot : nullptr;
}

const Transport::Slot* Transport::find(Connection connection) const {
  return const_cast<Transport*>(this)->find(connection);
}

void Transport::release(Connection connection) {
  Slot* slot = find(connection);
  if (slot == nullptr) return;
  ::close(fd_of(slot->socket));
  slot->socket = -1;
  slot->server = -1;
  slot->live = false;
  free_slots_.push_back(connection.slot);
}

bool Transport::open_server(int32_t id, int32_t port) {
  close_server(id);
  if (id < 0 || static_cast<uint32_t>(port) > 65535) return false;

  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  // Hosting again right after a match must not fail on the last match's closed
  // connections; this still never lets two listeners share a port.
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<uint16_t>(port));
  sockaddr_in bound{};
  socklen_t bound_size = sizeof bound;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, listen_backlog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &bound_size) != 0) {
    ::close(fd);
    return false;
  }

  Server& server = servers_[id];
  server.listener = fd;
  server.port = ntohs(bound.sin_port);
  return true;
}

void Transport::close_server(int32_t id) {
  const auto found = servers_.find(id);
  if (found == servers_.end()) return;
  for (Connection connection : found->second.accepted) release(connection);
  ::close(fd_of(found->second.listener));
  servers_.erase(found);
}

uint16_t Transport::server_port(int32_t id) const {
  const auto found = servers_.find(id);
  return found == servers_.end() ? 0 : found->second.port;
}

Connection Transport::open_connection(Platform& platform, const std::string& host, int32_t port,
                                      int32_t timeout_ms) {
  in_addr target{};
  if (!resolve_ipv4(host, target)) return Connection{};

  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return Connection{};

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr = target;
  address.sin_port = htons(static_cast<uint16_t>(port));  // the port modulo 65536
  const bool connected =
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
      (errno == EINPROGRESS && finish_connect(platform, fd, timeout_ms));
  // The guest's connection blocks on send, so no message is cut short.
  if (!connected || !set_blocking(fd, true)) {
    ::close(fd);
    return Connection{};
  }
  send_without_delay(fd);
  return adopt(fd, -1);
}

void Transport::close_connection(Connection connection) {
  const Slot* slot = find(connection);
  if (slot == nullptr) return;
  const auto owner = servers_.find(slot->server);
  if (owner != servers_.end()) std::erase(owner->second.accepted, connection);
  release(connection);
}

NetEvent Transport::poll_server() {
  for (auto& [id, server] : servers_) {
    const int fd = accept4(fd_of(server.listener), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) continue;
    send_without_delay(fd);
    const Connection connection = adopt(fd, id);
    server.accepted.insert(server.accepted.begin(), connection);
    event_connection_ = connection;
    return NetEvent::connected;
  }

  for (auto& [id, server] : servers_) {
    for (auto it = server.accepted.begin(); it != server.accepted.end(); ++it) {
      const Connection connection = *it;
      char peek[8];
      const ssize_t count =
          recv(fd_of(find(connection)->socket), peek, sizeof peek, MSG_PEEK | MSG_DONTWAIT);
      if (count > 0) {
        event_connection_ = connection;
        return NetEvent::data;
      }
      if (count == 0 || is_broken(errno)) {
        event_connection_ = connection;
        server.accepted.erase(it);
        release(connection);
        return NetEvent::disconnected;
      }
    }
  }
  return NetEvent::none;
}

NetEvent Transport::poll_connection(Connection connection) {
  const Slot* slot = find(connection);
  if (slot == nullptr) return NetEvent::none;
  int waiting = 0;
  if (ioctl(fd_of(slot->socket), FIONREAD, &waiting) != 0) return NetEvent::none;
  return waiting > 0 ? NetEvent::data : NetEvent::none;
}

int32_t Transport::receive(Connection connection, char* buffer, int32_t capacity) {
  const Slot* slot = find(connection);
  if (slot == nullptr || buffer == nullptr || capacity <= 0) return -1;
  // Never waits, even on the guest's blocking connection: a read that found
  // nothing must not freeze the game.
  return static_cast<int32_t>(
      recv(fd_of(slot->socket), buffer, static_cast<size_t>(capacity), MSG_DONTWAIT));
}

int32_t Transport::send_text(Connection connection, std::string_view text) {
  const Slot* slot = find(connection);
  if (slot == nullptr) return -1;
  // MSG_NOSIGNAL: a peer that vanished gives an error here, not a SIGPIPE.
  return static_cast<int32_t>(send(fd_of(slot->socket), text.data(), text.size(), MSG_NOSIGNAL));
}

uint32_t Transport::peer_ipv4(Connection connection) const {
  const Slot* slot = find(connection);
  if (slot == nullptr) return 0;
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (getpeername(fd_of(slot->socket), reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
      address.sin_family != AF_INET) {
    return 0;
  }
  // s_addr holds the octets in wire order; the first one goes to the lowest byte.
  const auto* octets = reinterpret_cast<const unsigned char*>(&address.sin_addr.s_addr);
  return static_cast<uint32_t>(octets[0]) | static_cast<uint32_t>(octets[1]) << 8 |
         static_cast<uint32_t>(octets[2]) << 16 | static_cast<uint32_t>(octets[3]) << 24;
}

size_t Transport::open_connections() const {
  return static_cast<size_t>(
      std::count_if(slots_.begin(), slots_.end(), [](const Slot& slot) { return slot.live; }));
}

std::string ipv4_text(uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", address & 0xFF, address >> 8 & 0xFF,
                address >> 16 & 0xFF, address >> 24 & 0xFF);
  return text;
}

}  // namespace tornello
