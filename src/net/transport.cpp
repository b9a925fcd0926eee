#include "net/transport.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "net/socket_system.h"
#include "platform/platform.h"

namespace tornello {

namespace {

constexpr int listen_backlog = 100;
// How long one look at a pending lookup or connect may wait before window
// events are served.
constexpr int wait_slice_ms = 2;
// A peer that vanishes without closing (the cable pulled, the Wi-Fi gone, the
// laptop asleep) is probed after a few quiet seconds and given up after
// fifteen, sooner than a player would wonder about the silence.
constexpr int keep_alive_idle_s = 5;
constexpr int keep_alive_interval_s = 1;
constexpr int keep_alive_give_up_s = 15;

sockets::Native native(std::intptr_t socket) {
  return static_cast<sockets::Native>(socket);
}

// Every connection: small messages go out at once, and a silent peer is noticed.
void tune(sockets::Native socket) {
  sockets::send_without_delay(socket);
  sockets::keep_alive(socket, keep_alive_idle_s, keep_alive_interval_s, keep_alive_give_up_s);
}

// One IPv4 or IPv6 socket address.
struct Address {
  sockaddr_storage storage{};
  sockets::Length length = 0;

  int family() const { return storage.ss_family; }
  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
  uint16_t port() const {
    return ntohs(family() == AF_INET6 ? reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port
                                      : reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
  }
  void set_port(uint16_t port) {
    if (family() == AF_INET6) {
      reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = htons(port);
    } else {
      reinterpret_cast<sockaddr_in*>(&storage)->sin_port = htons(port);
    }
  }
};

// On a port: every local address of a family ("::" or "0.0.0.0"), or else
// this computer's own (127.0.0.1; IPv4 only).
Address local_address(int family, uint16_t port, bool everywhere) {
  Address address;
  address.storage.ss_family = static_cast<decltype(address.storage.ss_family)>(family);
  address.length = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  if (!everywhere) {
    reinterpret_cast<sockaddr_in*>(&address.storage)->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  address.set_port(port);
  return address;
}

// A socket listening on the address, or invalid. An IPv6 one takes IPv4 guests too.
sockets::Native listen_on(const Address& address) {
  const int family = address.family();
  const sockets::Native listener = sockets::open_stream(family);
  if (listener == sockets::invalid) return listener;
  sockets::allow_quick_rebind(listener);
  if ((family == AF_INET6 && !sockets::accept_ipv4_too(listener)) ||
      bind(listener, address.get(), address.length) != 0 || listen(listener, listen_backlog) != 0) {
    sockets::close(listener);
    return sockets::invalid;
  }
  return listener;
}

// "192.168.1.20" or "fd77::2"; empty when it cannot be written.
std::string numeric_text(const Address& address) {
  char text[NI_MAXHOST];
  if (getnameinfo(address.get(), address.length, text, sizeof text, nullptr, 0, NI_NUMERICHOST) !=
      0) {
    return {};
  }
  // An IPv4 guest of the dual-stack server comes as "::ffff:a.b.c.d".
  constexpr std::string_view mapped = "::ffff:";
  const std::string_view written(text);
  if (written.starts_with(mapped) && written.find('.') != std::string_view::npos) {
    return std::string(written.substr(mapped.size()));
  }
  return std::string(written);
}

// What getaddrinfo found, but the IPv4 broadcast address, which is never
// connected to. Returns the lookup's status.
int look_up(const std::string& host, bool literal_only, std::vector<Address>& found) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  if (literal_only) hints.ai_flags = AI_NUMERICHOST;
  addrinfo* list = nullptr;
  const int status = getaddrinfo(host.c_str(), nullptr, &hints, &list);
  if (status != 0) return status;
  for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
    const bool usable = (entry->ai_family == AF_INET || entry->ai_family == AF_INET6) &&
                        entry->ai_addrlen <= sizeof(sockaddr_storage);
    if (!usable || (entry->ai_family == AF_INET &&
                    reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr ==
                        htonl(INADDR_BROADCAST))) {
      continue;
    }
    Address address;
    std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
    address.length = static_cast<sockets::Length>(entry->ai_addrlen);
    found.push_back(address);
  }
  freeaddrinfo(list);
  return 0;
}

// A lookup that found nothing is the name's fault, unless the system itself failed.
ConnectFailure lookup_failure(int status) {
#ifdef EAI_SYSTEM
  if (status == EAI_SYSTEM) return ConnectFailure::other;
#endif
  return status == EAI_MEMORY ? ConnectFailure::other : ConnectFailure::unknown_name;
}

ConnectFailure connect_failure_of(int error) {
  if (sockets::is_refused(error)) return ConnectFailure::refused;
  if (sockets::is_unreachable(error)) return ConnectFailure::no_answer;
  return ConnectFailure::other;
}

// Of two addresses' failures, the one that tells the player more.
ConnectFailure more_telling(ConnectFailure a, ConnectFailure b) {
  const auto weight = [](ConnectFailure failure) {
    return failure == ConnectFailure::refused ? 2 : failure == ConnectFailure::no_answer ? 1 : 0;
  };
  return weight(b) > weight(a) ? b : a;
}

// The time a connect has used, by the platform's clock, and the player's say.
class Waiting {
 public:
  Waiting(Platform& platform, const std::function<bool()>& gave_up)
      : platform_(platform), start_(platform.elapsed_ms()), gave_up_(gave_up) {}

  int32_t passed_ms() { return ms_between(start_, platform_.elapsed_ms()); }
  // Serves the window once; false once the player has given up.
  bool serve() {
    platform_.pump_events(1);
    return !(gave_up_ && gave_up_());
  }

 private:
  Platform& platform_;
  const uint32_t start_;
  const std::function<bool()>& gave_up_;
};

// A name lookup's answer. The lookup runs on a thread of its own that may
// outlive the wait for it (the player gave up, or the time ran out while the
// system still waited for a name server), so the two share this record.
struct Lookup {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  int status = 0;
  std::vector<Address> found;
};

// The addresses host stands for, looked up until passed_ms exceeds limit_ms.
ConnectFailure resolve(const std::string& host, Waiting& waiting, int32_t limit_ms,
                       std::vector<Address>& found) {
  // Windows gives the computer's own addresses for an empty name.
  if (host.empty()) return ConnectFailure::unknown_name;
  // A literal address needs nobody to ask.
  if (look_up(host, true, found) == 0) return ConnectFailure::none;

  const auto lookup = std::make_shared<Lookup>();
  try {
    std::thread([lookup, host] {
      std::vector<Address> answer;
      const int status = look_up(host, false, answer);
      const std::lock_guard lock(lookup->mutex);
      lookup->status = status;
      lookup->found = std::move(answer);
      lookup->done = true;
      lookup->finished.notify_one();
    }).detach();
  } catch (const std::system_error&) {
    return ConnectFailure::other;
  }
  std::unique_lock lock(lookup->mutex);
  while (!lookup->finished.wait_for(lock, std::chrono::milliseconds(wait_slice_ms),
                                    [&lookup] { return lookup->done; })) {
    lock.unlock();
    if (waiting.passed_ms() > limit_ms) return ConnectFailure::no_answer;
    if (!waiting.serve()) return ConnectFailure::cancelled;
    lock.lock();
  }
  if (lookup->status != 0) return lookup_failure(lookup->status);
  found = std::move(lookup->found);
  return ConnectFailure::none;
}

// Connects a non-blocking socket, waiting until passed_ms exceeds give_up_ms.
ConnectFailure finish_connect(sockets::Native socket, const Address& address, Waiting& waiting,
                              int32_t give_up_ms) {
  if (connect(socket, address.get(), address.length) == 0) return ConnectFailure::none;
  const int error = sockets::last_error();
  if (!sockets::connect_pending(error)) return connect_failure_of(error);
  for (;;) {
    const int ready = sockets::wait_connected(socket, wait_slice_ms);
    if (ready < 0) return ConnectFailure::other;
    if (ready > 0) {
      const int outcome = sockets::connect_error(socket);
      return outcome == 0 ? ConnectFailure::none : connect_failure_of(outcome);
    }
    if (waiting.passed_ms() > give_up_ms) return ConnectFailure::no_answer;
    if (!waiting.serve()) return ConnectFailure::cancelled;
  }
}

}  // namespace

std::string address_text(std::string_view typed) {
  constexpr std::string_view blanks = " \t\r\n\v\f";
  const size_t first = typed.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  typed = typed.substr(first, typed.find_last_not_of(blanks) - first + 1);
  if (typed.size() >= 2 && typed.front() == '[' && typed.back() == ']') {
    typed = typed.substr(1, typed.size() - 2);
  }
  return std::string(typed);
}

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

  // Everywhere: IPv6 and IPv4 on one socket, or IPv4 alone where the system has
  // no IPv6 or cannot take IPv4 guests on it.
  const uint16_t wanted = static_cast<uint16_t>(port);
  const bool everywhere = reach == Reach::everywhere;
  sockets::Native listener =
      everywhere ? listen_on(local_address(AF_INET6, wanted, true)) : sockets::invalid;
  if (listener == sockets::invalid)
    listener = listen_on(local_address(AF_INET, wanted, everywhere));
  Address bound;
  bound.length = sizeof bound.storage;
  if (listener == sockets::invalid ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&bound.storage), &bound.length) != 0) {
    if (listener != sockets::invalid) sockets::close(listener);
    return false;
  }

  Server& server = servers_[id];
  server.listener = static_cast<NativeSocket>(listener);
  server.port = bound.port();
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
                                      int32_t timeout_ms, const std::function<bool()>& gave_up) {
  Waiting waiting(platform, gave_up);
  std::vector<Address> addresses;
  connect_failure_ = resolve(address_text(host), waiting, timeout_ms, addresses);
  if (connect_failure_ != ConnectFailure::none) return Connection{};

  // Each address has an even share of the time that is left, so one that never
  // answers leaves time for the next.
  connect_failure_ = ConnectFailure::other;
  for (size_t at = 0; at < addresses.size(); ++at) {
    const int32_t passed = waiting.passed_ms();
    const int32_t give_up_ms =
        passed + (timeout_ms - passed) / static_cast<int32_t>(addresses.size() - at);
    Address& address = addresses[at];
    address.set_port(static_cast<uint16_t>(port));  // the port modulo 65536
    const sockets::Native socket = sockets::open_stream(address.family());
    if (socket == sockets::invalid) continue;
    ConnectFailure failure = finish_connect(socket, address, waiting, give_up_ms);
    // The guest's connection blocks on send, so no message is cut short.
    if (failure == ConnectFailure::none && !sockets::set_blocking(socket, true)) {
      failure = ConnectFailure::other;
    }
    if (failure != ConnectFailure::none) {
      sockets::close(socket);
      if (failure == ConnectFailure::cancelled) {
        connect_failure_ = failure;
        return Connection{};
      }
      connect_failure_ = more_telling(connect_failure_, failure);
      continue;
    }
    tune(socket);
    connect_failure_ = ConnectFailure::none;
    return adopt(static_cast<NativeSocket>(socket), -1);
  }
  return Connection{};
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
    tune(socket);
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
  const int count = sockets::receive_now(native(slot->socket), buffer, capacity, false);
  // Winsock keeps failing a reset connection instead of ever reading 0, and
  // Linux fails once before it does.
  return count < 0 && sockets::is_broken(sockets::last_error()) ? link_lost : count;
}

int32_t Transport::send_text(Connection connection, std::string_view text) {
  const Slot* slot = find(connection);
  if (slot == nullptr) return -1;
  return static_cast<int32_t>(
      send(native(slot->socket), text.data(), static_cast<int>(text.size()), sockets::no_signal));
}

std::string Transport::peer_address(Connection connection) const {
  const Slot* slot = find(connection);
  if (slot == nullptr) return {};
  Address address;
  address.length = sizeof address.storage;
  if (getpeername(native(slot->socket), reinterpret_cast<sockaddr*>(&address.storage),
                  &address.length) != 0) {
    return {};
  }
  return numeric_text(address);
}

size_t Transport::open_connections() const {
  return static_cast<size_t>(
      std::count_if(slots_.begin(), slots_.end(), [](const Slot& slot) { return slot.live; }));
}

}  // namespace tornello
