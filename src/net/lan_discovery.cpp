#include "net/lan_discovery.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

#include "net/local_addresses.h"
#include "net/socket_system.h"

#ifndef _WIN32
#include <net/if.h>
#endif

namespace tornello {

namespace {

using Clock = std::chrono::steady_clock;

// How long a thread waits for a datagram before it looks whether it should
// stop, when it has no waker to end the wait at once.
constexpr int stop_check_ms = 20;

sockets::Native native(std::intptr_t socket) {
  return static_cast<sockets::Native>(socket);
}

void set_flag(sockets::Native socket, int level, int option) {
  const int on = 1;
  setsockopt(socket, level, option, reinterpret_cast<const char*>(&on), sizeof on);
}

// A non-blocking UDP socket bound to `port` on every address of the family
// (IPv6 alone on an IPv6 socket); invalid when it cannot be had.
sockets::Native open_datagram(bool ipv6, uint16_t port, bool shared) {
  sockets::Native socket = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (socket == sockets::invalid) return socket;
  if (shared) set_flag(socket, SOL_SOCKET, SO_REUSEADDR);
  if (ipv6) set_flag(socket, IPPROTO_IPV6, IPV6_V6ONLY);
  sockaddr_storage address{};
  sockets::Length size;
  if (ipv6) {
    auto& ip = reinterpret_cast<sockaddr_in6&>(address);
    ip.sin6_family = AF_INET6;
    ip.sin6_addr = in6addr_any;
    ip.sin6_port = htons(port);
    size = sizeof ip;
  } else {
    auto& ip = reinterpret_cast<sockaddr_in&>(address);
    ip.sin_family = AF_INET;
    ip.sin_addr.s_addr = htonl(INADDR_ANY);
    ip.sin_port = htons(port);
    size = sizeof ip;
  }
  if (!sockets::set_blocking(socket, false) ||
      bind(socket, reinterpret_cast<sockaddr*>(&address), size) != 0) {
    sockets::close(socket);
    return sockets::invalid;
  }
  return socket;
}

// Waits up to ms for a datagram on any of the sockets (invalid ones are left
// out); readable[i] tells which have one.
void wait_readable(const std::intptr_t (&sockets)[3], int ms, bool (&readable)[3]) {
  pollfd watch[3] = {};
  int count = 0;
  int index[3] = {-1, -1, -1};
  for (int i = 0; i < 3; ++i) {
    readable[i] = false;
    if (sockets[i] < 0) continue;
    watch[count].fd = native(sockets[i]);
    watch[count].events = POLLIN;
    index[count++] = i;
  }
#ifdef _WIN32
  // WSAPoll would fail at once on an empty set instead of waiting.
  if (count == 0) {
    Sleep(static_cast<DWORD>(ms));
    return;
  }
  const int ready = WSAPoll(watch, static_cast<ULONG>(count), ms);
#else
  const int ready = poll(watch, static_cast<nfds_t>(count), ms);
#endif
  if (ready <= 0) return;
  for (int k = 0; k < count; ++k) readable[index[k]] = (watch[k].revents & POLLIN) != 0;
}

// One datagram's byte count (more than max_datagram for a longer one, which
// is cut short and to be dropped whole), or -1 for none or an error.
int receive_from(std::intptr_t socket, char (&buffer)[discovery::max_datagram + 1],
                 sockaddr_storage& from) {
  sockets::Length size = sizeof from;
  return static_cast<int>(recvfrom(native(socket), buffer, sizeof buffer, 0,
                                   reinterpret_cast<sockaddr*>(&from), &size));
}

// The datagrams waiting on a socket, each handed to `use` if it is no longer
// than ours. A bounded number per call, so a flood costs reads, never memory,
// and never holds the thread.
template <typename Use>
void drain(std::intptr_t socket, Use use) {
  char buffer[discovery::max_datagram + 1];
  for (int reads = 0; reads < 64; ++reads) {
    sockaddr_storage from{};
    const int count = receive_from(socket, buffer, from);
    if (count < 0) break;
    if (static_cast<size_t>(count) > discovery::max_datagram) continue;
    use(std::string_view(buffer, static_cast<size_t>(count)), from);
  }
}

void send_to(std::intptr_t socket, const std::string& text, const sockaddr* to,
             sockets::Length size) {
  sendto(native(socket), text.data(), static_cast<int>(text.size()), 0, to, size);
}

sockets::Length address_size(const sockaddr_storage& address) {
  return address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

// The sender's address as a player types it, and how good it is to give: IPv4
// first, then IPv6 (link-local, which needs its interface named, after global),
// loopback last.
std::pair<std::string, int> sender(const sockaddr_storage& from) {
  char text[INET6_ADDRSTRLEN] = {};
  if (from.ss_family == AF_INET) {
    const in_addr& ip = reinterpret_cast<const sockaddr_in&>(from).sin_addr;
    inet_ntop(AF_INET, &ip, text, sizeof text);
    const bool loopback = (ntohl(ip.s_addr) >> 24) == 127;
    return {text, loopback ? 3 : 0};
  }
  const auto& ip6 = reinterpret_cast<const sockaddr_in6&>(from);
  inet_ntop(AF_INET6, &ip6.sin6_addr, text, sizeof text);
  std::string address = text;
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&ip6.sin6_addr);
  const bool link_local = bytes[0] == 0xfe && (bytes[1] & 0xc0) == 0x80;
  if (address == "::1") return {address, 3};
  if (!link_local) return {address, 1};
#ifdef _WIN32
  address += "%" + std::to_string(ip6.sin6_scope_id);
#else
  char name[IF_NAMESIZE] = {};
  if (if_indextoname(ip6.sin6_scope_id, name) != nullptr) {
    address += "%" + std::string(name);
  } else {
    address += "%" + std::to_string(ip6.sin6_scope_id);
  }
#endif
  return {address, 2};
}

}  // namespace

// A loopback socket of a thread's own: a byte sent to it ends the thread's wait
// at once, so stopping a search or a responder costs no polling delay.
class Waker {
 public:
  Waker() {
    const sockets::Native socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket == sockets::invalid) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockets::Length size = sizeof address;
    if (!sockets::set_blocking(socket, false) ||
        bind(socket, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        getsockname(socket, reinterpret_cast<sockaddr*>(&address_), &size) != 0) {
      sockets::close(socket);
      return;
    }
    socket_ = static_cast<std::intptr_t>(socket);
  }
  ~Waker() {
    if (socket_ >= 0) sockets::close(native(socket_));
  }
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;

  std::intptr_t socket() const { return socket_; }
  // How long a wait may last before it looks whether to stop.
  int wait_ms(int wanted) const { return socket_ >= 0 ? wanted : std::min(wanted, stop_check_ms); }
  void wake() const {
    if (socket_ < 0) return;
    sendto(native(socket_), "!", 1, 0, reinterpret_cast<const sockaddr*>(&address_),
           sizeof address_);
  }

 private:
  std::intptr_t socket_ = -1;
  sockaddr_in address_{};
};

DiscoveryResponder::DiscoveryResponder(uint16_t tcp_port, int32_t game_mode, uint32_t instance)
    : answer_{0, tcp_port, game_mode, instance}, waker_(std::make_unique<Waker>()) {
  for (const bool ipv6 : {false, true}) {
    const sockets::Native socket = open_datagram(ipv6, discovery::discovery_port, true);
    if (socket != sockets::invalid) sockets_[ipv6 ? 1 : 0] = static_cast<std::intptr_t>(socket);
  }
  listening_ = sockets_[0] >= 0 || sockets_[1] >= 0;
  if (listening_) thread_ = std::thread([this] { run(); });
}

DiscoveryResponder::~DiscoveryResponder() {
  stop_.store(true);
  waker_->wake();
  if (thread_.joinable()) thread_.join();
  for (const std::intptr_t socket : sockets_) {
    if (socket >= 0) sockets::close(native(socket));
  }
}

void DiscoveryResponder::run() {
  Clock::time_point second_began = Clock::now();
  int answered_this_second = 0;
  const std::intptr_t watched[3] = {sockets_[0], sockets_[1], waker_->socket()};
  while (!stop_.load()) {
    bool readable[3];
    wait_readable(watched, waker_->wait_ms(1000), readable);
    for (int i = 0; i < 2; ++i) {
      if (!readable[i]) continue;
      drain(sockets_[i], [&](std::string_view datagram, const sockaddr_storage& from) {
        read_.fetch_add(1);
        const std::optional<discovery::Query> query = discovery::parse_query(datagram);
        if (!query) return;
        const Clock::time_point now = Clock::now();
        if (now - second_began >= std::chrono::seconds(1)) {
          second_began = now;
          answered_this_second = 0;
        }
        if (answered_this_second >= max_answers_per_second) return;
        ++answered_this_second;
        discovery::Answer answer = answer_;
        answer.token = query->token;
        send_to(sockets_[i], discovery::answer_text(answer),
                reinterpret_cast<const sockaddr*>(&from), address_size(from));
        sent_.fetch_add(1);
      });
    }
  }
}

GameSearch::GameSearch(uint32_t token, int32_t window_ms) : waker_(std::make_unique<Waker>()) {
  thread_ = std::thread([this, token, window_ms] { run(token, window_ms); });
}

GameSearch::~GameSearch() {
  stop_.store(true);
  waker_->wake();
  if (thread_.joinable()) thread_.join();
}

std::vector<FoundGame> GameSearch::games() const {
  std::lock_guard lock(mutex_);
  std::vector<FoundGame> games;
  for (const Heard& heard : heard_) games.push_back(heard.game);
  return games;
}

void GameSearch::take(const discovery::Answer& answer, std::string address, int rank) {
  std::lock_guard lock(mutex_);
  const auto same = std::find_if(heard_.begin(), heard_.end(), [&](const Heard& heard) {
    return heard.instance == answer.instance;
  });
  if (same != heard_.end()) {
    if (rank < same->rank) {
      same->game.address = std::move(address);
      same->rank = rank;
    }
    return;
  }
  heard_.push_back(
      {FoundGame{std::move(address), answer.port, answer.game_mode}, answer.instance, rank});
}

void GameSearch::run(uint32_t token, int32_t window_ms) {
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(window_ms);
  std::intptr_t sockets[2] = {-1, -1};
  for (const bool ipv6 : {false, true}) {
    const sockets::Native socket = open_datagram(ipv6, 0, false);
    if (socket != sockets::invalid) sockets[ipv6 ? 1 : 0] = static_cast<std::intptr_t>(socket);
  }
  const std::string query = discovery::query_text(discovery::Query{token});

  if (sockets[0] >= 0) {
    set_flag(native(sockets[0]), SOL_SOCKET, SO_BROADCAST);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(discovery::discovery_port);
    // Games on this very computer hear the loopback broadcast even without a network.
    to.sin_addr.s_addr = htonl(0x7FFFFFFFu);
    send_to(sockets[0], query, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  std::vector<uint32_t> ipv6_interfaces;
  for (const InterfaceAddress& address : up_interface_addresses()) {
    if (address.loopback) continue;
    if (!address.ipv6 && address.has_broadcast && sockets[0] >= 0) {
      sockaddr_in to{};
      to.sin_family = AF_INET;
      to.sin_port = htons(discovery::discovery_port);
      std::memcpy(&to.sin_addr, address.broadcast.data(), 4);
      send_to(sockets[0], query, reinterpret_cast<sockaddr*>(&to), sizeof to);
    } else if (address.ipv6 && sockets[1] >= 0 &&
               std::find(ipv6_interfaces.begin(), ipv6_interfaces.end(), address.interface_index) ==
                   ipv6_interfaces.end()) {
      ipv6_interfaces.push_back(address.interface_index);
      sockaddr_in6 to{};
      to.sin6_family = AF_INET6;
      to.sin6_port = htons(discovery::discovery_port);
      inet_pton(AF_INET6, "ff02::1", &to.sin6_addr);
      to.sin6_scope_id = address.interface_index;
      send_to(sockets[1], query, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
  }

  const std::intptr_t watched[3] = {sockets[0], sockets[1], waker_->socket()};
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0 || stop_.load()) break;
    bool readable[3];
    wait_readable(watched, waker_->wait_ms(static_cast<int>(left)), readable);
    for (int i = 0; i < 2; ++i) {
      if (!readable[i]) continue;
      drain(sockets[i], [&](std::string_view datagram, const sockaddr_storage& from) {
        const std::optional<discovery::Answer> answer = discovery::parse_answer(datagram);
        if (!answer || answer->token != token) return;
        auto [address, rank] = sender(from);
        take(*answer, std::move(address), rank);
      });
    }
  }
  for (const std::intptr_t socket : sockets) {
    if (socket >= 0) sockets::close(native(socket));
  }
  done_.store(true);
}

}  // namespace tornello
