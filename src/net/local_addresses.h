// This computer's own network addresses, as the system lists them for the
// interfaces that are up: what a host tells its players, and where a search for
// games on the local network sends its query.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tornello {

struct InterfaceAddress {
  bool ipv6 = false;
  bool loopback = false;
  // Network byte order; an IPv4 address in the first four bytes.
  std::array<uint8_t, 16> address{};
  // IPv4 only: the interface's broadcast address, when it has one.
  bool has_broadcast = false;
  std::array<uint8_t, 4> broadcast{};
  uint32_t interface_index = 0;  // the scope of an IPv6 multicast
};

// Every address of every interface that is up and running, in the system's order.
std::vector<InterfaceAddress> up_interface_addresses();

// The text of an address ("192.168.1.20", "fd77::1").
std::string address_text(const InterfaceAddress& address);

// Where players can reach this computer, best first: the IPv4 addresses that are
// not loopback, then the IPv6 addresses of global scope (unique local ones
// included, link-local and loopback ones not); "127.0.0.1" when there is none.
std::vector<std::string> addresses_to_tell(const std::vector<InterfaceAddress>& addresses);

}  // namespace tornello
