// A hostile peer's end of a loopback TCP stream, driven by hand from the test's
// own thread while the game runs on its own: it writes what it likes, as fast or
// as slowly as it likes, and keeps what the game sends back. Every wait has a
// real-time limit, so a game that stops reading fails a test instead of hanging it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "support/loopback.h"

namespace tornello {

class RawEnd {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds patience{60};

  explicit RawEnd(int socket) : socket_(socket) {}
  ~RawEnd() { ::close(socket_); }
  RawEnd(const RawEnd&) = delete;
  RawEnd& operator=(const RawEnd&) = delete;

  // Connects to the game listening on `port`; null when nobody answers.
  static std::unique_ptr<RawEnd> connect_to(uint16_t port) {
    const int end = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback_address(port);
    if (::connect(end, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      ::close(end);
      return nullptr;
    }
    return std::make_unique<RawEnd>(end);
  }

  // Writes the bytes, `chunk` at a time (0: as much as the stream takes), with
  // `pause` after each write. Returns how many went out before the time limit.
  size_t send(std::string_view bytes, size_t chunk = 0,
              std::chrono::microseconds pause = std::chrono::microseconds(0),
              std::chrono::milliseconds limit = patience) {
    const auto give_up = Clock::now() + limit;
    size_t sent = 0;
    while (sent < bytes.size() && Clock::now() < give_up) {
      pollfd watch{socket_, POLLOUT, 0};
      if (::poll(&watch, 1, 20) <= 0) continue;
      const size_t count = chunk == 0 ? bytes.size() - sent : std::min(chunk, bytes.size() - sent);
      const ssize_t written = ::send(socket_, bytes.data() + sent, count, MSG_NOSIGNAL);
      if (written < 0) break;
      sent += static_cast<size_t>(written);
      drain();
      if (pause.count() > 0) std::this_thread::sleep_for(pause);
    }
    return sent;
  }

  // Reads until what has arrived holds `text`; false if it never comes or the
  // game hangs up first.
  bool wait_for(std::string_view text) {
    const auto give_up = Clock::now() + patience;
    while (received_.find(text) == std::string::npos) {
      if (Clock::now() > give_up || !read_some(20)) return false;
    }
    return true;
  }

  // True once the game has closed its end.
  bool wait_for_close() {
    const auto give_up = Clock::now() + patience;
    while (Clock::now() < give_up) {
      if (!read_some(20)) return true;
    }
    return false;
  }

 private:
  // Takes whatever is waiting without blocking.
  void drain() {
    char buffer[4096];
    ssize_t count;
    while ((count = ::recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
      received_.append(buffer, static_cast<size_t>(count));
    }
  }

  // Waits up to `ms` for bytes; false once the stream has ended.
  bool read_some(int ms) {
    pollfd watch{socket_, POLLIN, 0};
    if (::poll(&watch, 1, ms) <= 0) return true;
    char buffer[4096];
    const ssize_t count = ::recv(socket_, buffer, sizeof buffer, 0);
    if (count <= 0) return false;
    received_.append(buffer, static_cast<size_t>(count));
    return true;
  }

  int socket_;
  std::string received_;
};

// A hostile host: listens on a loopback port of its own and takes one guest.
class RawListener {
 public:
  RawListener() {
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback_address(0);
    socklen_t size = sizeof address;
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(socket_, 16);
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~RawListener() { ::close(socket_); }
  RawListener(const RawListener&) = delete;
  RawListener& operator=(const RawListener&) = delete;

  uint16_t port() const { return port_; }

  // The next guest, or null when none comes in time.
  std::unique_ptr<RawEnd> accept() {
    pollfd watch{socket_, POLLIN, 0};
    if (::poll(&watch, 1, static_cast<int>(RawEnd::patience.count() * 1000)) <= 0) return nullptr;
    const int end = ::accept(socket_, nullptr, nullptr);
    return end < 0 ? nullptr : std::make_unique<RawEnd>(end);
  }

 private:
  int socket_ = -1;
  uint16_t port_ = 0;
};

}  // namespace tornello
