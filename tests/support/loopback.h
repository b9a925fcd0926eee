// The IPv4 loopback address with a port, and a port nobody listens on right now
// (on POSIX sockets and on Winsock alike).
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

inline uint16_t free_port() {
  const sockets::Native probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = loopback_address(0);
  sockets::Length size = sizeof address;
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), size);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
  sockets::close(probe);
  return ntohs(address.sin_port);
}

}  // namespace tornello
