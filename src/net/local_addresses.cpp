#include "net/local_addresses.h"

#include <algorithm>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which it needs.
#include <iphlpapi.h>
#else
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#endif

namespace tornello {

namespace {

void take_ipv4(InterfaceAddress& out, const sockaddr* address) {
  const in_addr& ip = reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
  std::memcpy(out.address.data(), &ip, 4);
}

void take_ipv6(InterfaceAddress& out, const sockaddr* address) {
  out.ipv6 = true;
  const in6_addr& ip = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
  std::memcpy(out.address.data(), &ip, 16);
}

// Reachable from beyond the link: not loopback, link-local, multicast, or an
// IPv4 address dressed as IPv6.
bool global_ipv6(const std::array<uint8_t, 16>& a) {
  const bool link_local = a[0] == 0xfe && (a[1] & 0xc0) == 0x80;
  const bool multicast = a[0] == 0xff;
  bool zero_prefix = true;  // ::, ::1, ::a.b.c.d
  for (size_t i = 0; i < 10; ++i) zero_prefix = zero_prefix && a[i] == 0;
  return !link_local && !multicast && !zero_prefix;
}

}  // namespace

#ifdef _WIN32

std::vector<InterfaceAddress> up_interface_addresses() {
  std::vector<InterfaceAddress> found;
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  std::vector<unsigned char> buffer(16 * 1024);
  ULONG size = static_cast<ULONG>(buffer.size());
  ULONG result = ERROR_BUFFER_OVERFLOW;
  // The list can grow between the two calls; a few tries are plenty.
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result = GetAdaptersAddresses(AF_UNSPEC, flags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result != NO_ERROR) return found;
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
       adapter = adapter->Next) {
    if (adapter->OperStatus != IfOperStatusUp) continue;
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const sockaddr* address = unicast->Address.lpSockaddr;
      InterfaceAddress entry;
      entry.loopback = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
      if (address->sa_family == AF_INET) {
        take_ipv4(entry, address);
        entry.interface_index = adapter->IfIndex;
        const uint8_t prefix = unicast->OnLinkPrefixLength;
        if (!entry.loopback && prefix > 0 && prefix < 31) {
          uint32_t host_bits = 0xFFFFFFFFu >> prefix;
          uint32_t ip;
          std::memcpy(&ip, entry.address.data(), 4);
          ip = htonl(ntohl(ip) | host_bits);
          std::memcpy(entry.broadcast.data(), &ip, 4);
          entry.has_broadcast = true;
        }
      } else if (address->sa_family == AF_INET6) {
        take_ipv6(entry, address);
        entry.interface_index = adapter->Ipv6IfIndex;
      } else {
        continue;
      }
      found.push_back(entry);
    }
  }
  return found;
}

#else

std::vector<InterfaceAddress> up_interface_addresses() {
  std::vector<InterfaceAddress> found;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return found;
  for (const ifaddrs* item = list; item != nullptr; item = item->ifa_next) {
    const unsigned flags = item->ifa_flags;
    if (item->ifa_addr == nullptr || !(flags & IFF_UP) || !(flags & IFF_RUNNING)) continue;
    InterfaceAddress entry;
    entry.loopback = (flags & IFF_LOOPBACK) != 0;
    entry.interface_index = if_nametoindex(item->ifa_name);
    if (item->ifa_addr->sa_family == AF_INET) {
      take_ipv4(entry, item->ifa_addr);
      if ((flags & IFF_BROADCAST) && item->ifa_broadaddr != nullptr) {
        const in_addr& broadcast =
            reinterpret_cast<const sockaddr_in*>(item->ifa_broadaddr)->sin_addr;
        std::memcpy(entry.broadcast.data(), &broadcast, 4);
        entry.has_broadcast = true;
      }
    } else if (item->ifa_addr->sa_family == AF_INET6) {
      take_ipv6(entry, item->ifa_addr);
    } else {
      continue;
    }
    found.push_back(entry);
  }
  freeifaddrs(list);
  return found;
}

#endif

std::string address_text(const InterfaceAddress& address) {
  char text[INET6_ADDRSTRLEN] = {};
  const int family = address.ipv6 ? AF_INET6 : AF_INET;
  return inet_ntop(family, address.address.data(), text, sizeof text) ? text : "";
}

std::vector<std::string> addresses_to_tell(const std::vector<InterfaceAddress>& addresses) {
  std::vector<std::string> told;
  for (const bool ipv6 : {false, true}) {
    for (const InterfaceAddress& address : addresses) {
      if (address.ipv6 != ipv6 || address.loopback) continue;
      if (ipv6 && !global_ipv6(address.address)) continue;
      const std::string text = address_text(address);
      if (!text.empty() && std::find(told.begin(), told.end(), text) == told.end()) {
        told.push_back(text);
      }
    }
  }
  if (told.empty()) told.push_back("127.0.0.1");
  return told;
}

}  // namespace tornello
