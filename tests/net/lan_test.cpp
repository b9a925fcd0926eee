// Finding games and opening the router's port, below the game.
#include <arpa/inet.h>
#include <poll.h>

#include "net/discovery.h"
#include "net/lan_discovery.h"
#include "net/port_mapping.h"
#include "net_test_support.h"
#include "support/fake_router.h"
#include "support/netns.h"
#include "support/process_resources.h"

namespace tornello {
namespace {

using namespace discovery;

TEST(DiscoveryDatagrams, OnlyExactlyOurOwnTextIsRead) {
  const std::string query = query_text(Query{0x5f3a9c21});
  const std::string answer = answer_text(Answer{0xdeadbeef, 65535, 2, 0x00c0ffee});
  EXPECT_EQ(query, "TORNELLO 1 FIND 5f3a9c21");
  EXPECT_EQ(answer, "TORNELLO 1 GAME deadbeef 65535 2 00c0ffee");
  EXPECT_EQ(parse_query(query), Query{0x5f3a9c21});
  EXPECT_EQ(parse_answer(answer), (Answer{0xdeadbeef, 65535, 2, 0x00c0ffee}));
  EXPECT_EQ(parse_answer("TORNELLO 1 GAME 00000000 1 1 ffffffff"), (Answer{0, 1, 1, 0xffffffff}));
  // Cut anywhere, neither is ours any more.
  for (size_t length = 0; length < answer.size(); ++length) {
    EXPECT_FALSE(parse_answer(answer.substr(0, length))) << length;
    if (length < query.size()) {
      EXPECT_FALSE(parse_query(query.substr(0, length))) << length;
    }
  }
  // Nothing another program, version or case sends, no token of another length.
  for (const char* text :
       {"tornello 1 FIND 5f3a9c21", "TORNELLO 2 FIND 5f3a9c21", "TORNELLO 1 FIND 5F3A9C21",
        "TORNELLO 1 FIND 5f3a9c211", "TORNELLO 1 FIND 5f3a9c2g", "TORNELLO 1 FIND 5f3a9c21 "}) {
    EXPECT_FALSE(parse_query(text)) << text;
  }
  EXPECT_FALSE(parse_query(answer) || parse_answer(query) ||
               parse_query(std::string("TORNELLO 1 FIND 5f3a\0c21", 24)));
  // Ports 1 to 65535 without a leading zero, modes 1 and 2, all four fields.
  for (const char* fields : {"0 2 00c0ffee", "65536 2 00c0ffee", "03214 2 00c0ffee",
                             "3214 3 00c0ffee", "3214 0 00c0ffee", "3214 1", "3214 1 00c0ffee 1"}) {
    EXPECT_FALSE(parse_answer(std::string("TORNELLO 1 GAME deadbeef ") + fields)) << fields;
  }
}

// The datagrams that come to `socket`: the first within `first_ms` (long where
// one is due: a host may be slow), each next within 300 ms of the one before.
std::vector<std::string> datagrams(int socket, int first_ms) {
  std::vector<std::string> got;
  char buffer[2048];
  for (pollfd watch{socket, POLLIN, 0}; ::poll(&watch, 1, got.empty() ? first_ms : 300) > 0;) {
    got.emplace_back(buffer, std::max<ssize_t>(0, ::recv(socket, buffer, sizeof buffer, 0)));
  }
  return got;
}

// A host in a namespace of the test's own drops anything but queries at no cost
// in memory, and answers a flood of queries a few times only.
TEST(LanSockets, AHostAnswersQueriesOnlyAndFewOfThemWhateverFloodsIn) {
  if (const auto reason = NetworkPair::unavailable()) GTEST_SKIP() << *reason;
  const NetworkPair pair;
  ASSERT_TRUE(pair.ok());
  std::unique_ptr<DiscoveryResponder> host;
  std::thread([&] {
    ASSERT_TRUE(pair.enter(0));
    host = std::make_unique<DiscoveryResponder>(3214, 1, 1);
  }).join();
  ASSERT_TRUE(host);
  std::thread([&] {
    ASSERT_TRUE(pair.enter(1));
    // The broadcast address is no game's: it leads nowhere, and nothing is sent to it.
    HeadlessPlatform platform;
    Transport guest;
    guest.net_start();
    EXPECT_FALSE(guest.open_connection(platform, "255.255.255.255", 3214));
    EXPECT_EQ(guest.connect_failure(), ConnectFailure::other);
    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{AF_INET, htons(discovery_port), {}, {}};
    inet_pton(AF_INET, "10.77.0.1", &to.sin_addr);
    const auto flood = [&](const std::vector<std::string>& texts) {
      for (const std::string& text : texts) {
        ::sendto(socket, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
      }
    };
    const std::string query = query_text(Query{0x0badf00d});
    const size_t memory_before = memory_in_use();
    // Garbage in rounds, each read before the next (a starved host has 30 s in
    // all), so no datagram is lost to a full socket buffer and the count is exact:
    // the two longer than any of ours are skipped uncounted.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (uint64_t round = 1; round <= 600 && std::chrono::steady_clock::now() < limit; ++round) {
      flood({"", query.substr(0, 20), query + std::string(2000, 'x'),
             answer_text(Answer{0x0badf00d, 3214, 1, 5}), std::string(60000, '\xff')});
      while (host->datagrams_read() < 3 * round && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
    EXPECT_EQ(datagrams(socket, 300), std::vector<std::string>{});
    EXPECT_LT(memory_in_use(), memory_before + 1024 * 1024);
    EXPECT_EQ(host->datagrams_read(), 1800u);
    flood({query});
    EXPECT_EQ(datagrams(socket, 5000),
              std::vector<std::string>{answer_text(Answer{0x0badf00d, 3214, 1, 1})});
    const int socket6 = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 to6{AF_INET6, htons(discovery_port), 0, {}, 0};
    inet_pton(AF_INET6, "fd77::1", &to6.sin6_addr);
    ::sendto(socket6, query.data(), query.size(), 0, reinterpret_cast<sockaddr*>(&to6), sizeof to6);
    EXPECT_EQ(datagrams(socket6, 5000).size(), 1u) << "asked over IPv6";
    ::close(socket6);
    flood(std::vector<std::string>(500, query));
    const size_t answers = datagrams(socket, 5000).size();
    EXPECT_TRUE(answers > 0 && answers <= 2u * DiscoveryResponder::max_answers_per_second);
    ::close(socket);
  }).join();
}

// A fake router on loopback: the port is asked for this computer and, once
// opened, given back as it was taken; each refusal is told for what it is.
TEST(PortMapping, ForwardsThePortUntilDestroyedAndTellsEachAnswerApart) {
  using enum MappingOutcome;
  // UPnP errors: 718, 728 and 729 mean the port is someone else's.
  const std::pair<int, MappingOutcome> answers[] = {
      {0, opened}, {718, port_taken}, {728, port_taken}, {729, port_taken}, {606, refused}};
  for (const auto& [error, outcome] : answers) {
    FakeRouter router(error);
    {
      PortMapping mapping({4567, 3600, router.url()});
      EXPECT_EQ(poll_until(outcome, [&] { return mapping.outcome(); }), outcome) << error;
      EXPECT_EQ(mapping.external_address(), FakeRouter::external_address);
    }
    const std::vector<FakeRouter::Request> requests = router.requests();
    ASSERT_EQ(requests.size(), error == 0 ? 3u : 2u) << "given back only when opened";
    EXPECT_EQ(requests[1].arguments.at("NewInternalClient"), "127.0.0.1");
    if (error != 0) continue;
    EXPECT_EQ(requests[2].arguments,
              (std::map<std::string, std::string>{
                  {"NewRemoteHost", ""}, {"NewExternalPort", "4567"}, {"NewProtocol", "TCP"}}));
  }
  PortMapping nobody({4567, 3600, FakeRouter().url()});
  EXPECT_EQ(poll_until(no_answer, [&] { return nobody.outcome(); }), no_answer);
}

}  // namespace
}  // namespace tornello
