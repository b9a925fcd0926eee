// The local network on Windows: the adapters' addresses, and the router's port,
// which this build cannot ask for and says so instead of waiting.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "net/local_addresses.h"
#include "net/port_mapping.h"

namespace tornello {
namespace {

TEST(WindowsLan, AdaptersListLoopbackAndTheRouterIsUnavailable) {
  const std::vector<InterfaceAddress> addresses = up_interface_addresses();
  EXPECT_TRUE(std::any_of(addresses.begin(), addresses.end(), [](const InterfaceAddress& a) {
    return a.loopback && address_text(a) == "127.0.0.1";
  }));
  PortMapping mapping({4567, 3600, ""});
  for (int look = 0; look < 1000 && mapping.outcome() == MappingOutcome::asking; ++look) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(mapping.outcome(), MappingOutcome::unavailable);
  mapping.release();
  for (int look = 0; look < 1000 && !mapping.finished(); ++look) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(mapping.finished());
}

}  // namespace
}  // namespace tornello
