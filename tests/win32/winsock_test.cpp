// The transport's rules where Winsock differs: no per-call non-blocking flag,
// refusals as exceptions, SO_REUSEADDR, its error numbers, resets never read 0.
#include "net/net_test_support.h"

namespace tornello {
namespace {

TEST(Winsock, ALeavingPeerPortsRefusalsAndResetsAsOnLinux) {
  LoopbackPair net;
  expect_a_leaving_peer_seen_once(net);
  HeadlessPlatform platform;
  Transport host, guest;
  ASSERT_TRUE(host.net_start() && guest.net_start());
  expect_hosting_rules(platform, host, guest);
  expect_resets_seen_at_once();
}

}  // namespace
}  // namespace tornello
