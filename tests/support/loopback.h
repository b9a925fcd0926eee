// The IPv4 loopback address with a port, a listener on it, and a port nobody
// listens on right now (on POSIX sockets and on Winsock alike).
#pragma once

#include <cstdint>

#include "net/socket_system.h"

namespace tornello {

inline sockaddr_in loopback_address(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// A socket listening on a loopback port of the system's choosing, with a queue
// of `backlog`; the port is 0 if it cannot listen.
inline sockets::Native loopback_listener(uint16_t& port, int backlog = 1) {
  sockaddr_in address = loopback_address(0);
  sockets::Length size = sizeof address;
  const sockets::Native listener = ::socket(AF_INET, SOCK_STREAM, 0);
  const bool listening = ::bind(listener, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                         ::listen(listener, backlog) == 0 &&
                         ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == 0;
  port = listening ? ntohs(address.sin_port) : 0;
  return listener;
}

inline uint16_t free_port() {
  uint16_t port = 0;
  sockets::close(loopback_listener(port));
  return port;
}

}  // namespace tornello
