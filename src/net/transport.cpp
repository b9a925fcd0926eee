#include "net/transport.h"

#include <algorithm>
#include <cstdio>

#include "net/socket_system.h"
#include "platform/platform.h"

namespace tornello {

namespace {

constexpr int listen_backlog = 100;
// How long one look at a pending connect may wait before window events are served.
constexpr int connect_slice_ms = 2;
constexpr uint32_t broadcast_address = 0xFFFFFFFFu;

sockets::Native native(std::intptr_t socket) {
  return static_cast<sockets::Native>(socket);
}

// The IPv4 address host stands for, in network byte order; nothing when it
// cannot be resolved or is the broadcast address.
bool resolve_ipv4(const std::string& host, in_addr& out) {
  if (inet_pton(AF_INET, host.c_str(), &out) != 1) {
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
bool finish_connect(Platform& platform, sockets::Native socket, int32_t timeout_ms) {
  const uint32_t start = platform.elapsed_ms();
  for (;;) {
    const int ready = sockets::wait_connected(socket, connect_slice_ms);
    if (ready > 0) return sockets::connect_error(socket) == 0;
    if (ready < 0) return false;
    if (ms_between(start, platform.elapsed_ms()) > timeout_ms) return false;
    platform.pump_events(1);
  }
}

}  // namespace

Transport::~Transport() {
  net_stop();
}

bool Transport::net_start() {
  if (!started_) started_ = sockets::start();
  return started_;
}

void Transport::net_stop() {
  while (!servers_.empty()) close_server(servers_.begin()->first);
  for (uint32_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i].live) release(Connection{i, slots_[i].generation});
  }
  if (started_) sockets::stop();
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
  sockets::close(native(slot->socket));
  slot->socket = -1;
  slot->server = -1;
  slot->live = false;
  free_slots_.push_back(connection.slot);
}

bool Transport::open_server(int32_t id, int32_t port, Reach reach) {
  close_server(id);
  if (id < 0 || static_cast<uint32_t>(port) > 65535) return false;

  const sockets::Native listener = sockets::open_stream();
  if (listener == sockets::invalid) return false;
  sockets::allow_quick_rebind(listener);

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(reach == Reach::this_computer ? INADDR_LOOPBACK : INADDR_ANY);
  address.sin_port = htons(static_cast<uint16_t>(port));
  sockaddr_in bound{};
  sockets::Length bound_size = sizeof bound;
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, listen_backlog) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &bound_size) != 0) {
    sockets::close(listener);
    return false;
  }

  Server& server = servers_[id];
  server.listener = static_cast<NativeSocket>(listener);
  server.port = ntohs(bound.sin_port);
  return true;
}

void Transport::close_server(int32_t id) {
  const auto found = servers_.find(id);
  if (found == servers_.end()) return;
  for (Connection connection : found->second.accepted) release(connection);
  sockets::close(native(found->second.listener));
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

  const sockets::Native socket = sockets::open_stream();
  if (socket == sockets::invalid) return Connection{};

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr = target;
  address.sin_port = htons(static_cast<uint16_t>(port));  // the port modulo 65536
  const bool connected =
      connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
      (sockets::connect_pending(sockets::last_error()) &&
       finish_connect(platform, socket, timeout_ms));
  // The guest's connection blocks on send, so no message is cut short.
  if (!connected || !sockets::set_blocking(socket, true)) {
    sockets::close(socket);
    return Connection{};
  }
  sockets::send_without_delay(socket);
  return adopt(static_cast<NativeSocket>(socket), -1);
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
    const sockets::Native socket = sockets::accept_now(native(server.listener));
    if (socket == sockets::invalid) continue;
    sockets::send_without_delay(socket);
    const Connection connection = adopt(static_cast<NativeSocket>(socket), id);
    server.accepted.insert(server.accepted.begin(), connection);
    event_connection_ = connection;
    return NetEvent::connected;
  }

  for (auto& [id, server] : servers_) {
    for (auto it = server.accepted.begin(); it != server.accepted.end(); ++it) {
      const Connection connection = *it;
      char peek[8];
      const int count =
          sockets::receive_now(native(find(connection)->socket), peek, sizeof peek, true);
      if (count > 0) {
        event_connection_ = connection;
        return NetEvent::data;
      }
      if (count == 0 || sockets::is_broken(sockets::last_error())) {
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
  return sockets::bytes_waiting(native(slot->socket)) > 0 ? NetEvent::data : NetEvent::none;
}

int32_t Transport::receive(Connection connection, char* buffer, int32_t capacity) {
  const Slot* slot = find(connection);
  if (slot == nullptr || buffer == nullptr || capacity <= 0) return -1;
  // Never waits, even on the guest's blocking connection: a read that found
  // nothing must not freeze the game.
  return sockets::receive_now(native(slot->socket), buffer, capacity, false);
}

int32_t Transport::send_text(Connection connection, std::string_view text) {
  const Slot* slot = find(connection);
  if (slot == nullptr) return -1;
  return static_cast<int32_t>(
      send(native(slot->socket), text.data(), static_cast<int>(text.size()), sockets::no_signal));
}

uint32_t Transport::peer_ipv4(Connection connection) const {
  const Slot* slot = find(connection);
  if (slot == nullptr) return 0;
  sockaddr_in address{};
  sockets::Length size = sizeof address;
  if (getpeername(native(slot->socket), reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
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
