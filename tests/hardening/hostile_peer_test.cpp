// Games facing peers that do not play by the rules: noise before the handshake,
// floods with no end of message, a hello cut into single bytes, connections
// opened and dropped by the hundred, a stranger flooding a second connection
// during a match, and every message with absurd values. Whatever comes, the game
// keeps running, plays with the real peer where there is one, and holds no more
// memory than a few reads' worth.
#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "e2e/two_games.h"
#include "hardening/raw_end.h"
#include "support/process_resources.h"

namespace tornello {
namespace {

constexpr size_t megabyte = 1024 * 1024;
// A game that kept what a flood sent would grow by about its size.
constexpr size_t flood_bytes = 10 * megabyte;
constexpr size_t memory_allowance = 4 * megabyte;

// Every message the game knows, with values no copy of the game would send.
// Last, a ball at the largest speed: it must get past the receiver at once.
const std::string absurd_messages =
    "_P_V99999999999999999999999999999$_P_V-2147483649$_P_V$_P_P-9223372036854775808$"
    "_P_P999999999999999999999999999999$_P_P$_P_BD-1$_P_BD2147483648$_P_BSnan$"
    "_P_BQ-99999999999999999999$_P_BS99999999999999999999999999999$_P_BE$"
    "_P_BS-9223372036854775807$_P_BQ9223372036854775807$_P_BE$_P_XS$_P_XD$_P_XASR$_P_S-7$"
    "_P_S99999999999999999999$_P_R-1$_P_G99999$_P_BS$_P_BQ$_P_BD3$_P_BE$"
    "_P_BS9223372036854775807$_P_BQ-9223372036854775808$_P_BE$";

// Bytes that hold neither a message start nor an end.
std::string noise(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    seed = seed * 1664525u + 1013904223u;
    byte = static_cast<char>(seed >> 24);
    if (byte == '_' || byte == '$') byte = 'x';
  }
  return bytes;
}

// A message start, then ten megabytes of digits: no "$" ever comes.
void flood_without_end(RawEnd& end, std::string_view start) {
  const std::string digits(megabyte, '7');
  end.send(start);
  for (size_t sent = 0; sent < flood_bytes; sent += digits.size()) {
    ASSERT_EQ(end.send(digits), digits.size());
  }
}

class HostilePeerTest : public TwoGamesTest {
 protected:
  // Watched on the player's own thread as it runs: whether its match has
  // started, and the peak memory in use.
  void watch(Player& player) {
    player.on_pump = [this, &player] {
      if (player.game.match.started) playing.store(true);
      if ((player.platform.pumps() & 255) != 0) return;
      const size_t now = memory_in_use();
      size_t seen = peak_memory.load();
      while (now > seen && !peak_memory.compare_exchange_weak(seen, now)) {
      }
    };
  }
  void expect_memory_bounded() const {
    EXPECT_LT(peak_memory.load(), memory_at_start + memory_allowance)
        << "memory in use went from " << memory_at_start << " to " << peak_memory.load();
  }

  // Waits, in real time, for something the games do.
  static bool eventually(const std::function<bool()>& condition) {
    const auto give_up = RawEnd::Clock::now() + RawEnd::patience;
    while (!condition()) {
      if (RawEnd::Clock::now() > give_up) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  size_t host_count(const std::string& prefix) const {
    return count_from(host->heard, 0, host->heard.size(), prefix);
  }
  std::string point_told() const { return "say " + line(18) + ": "; }

  // The host hosts once; the real guest joins once `guest_goes` holds and, if
  // `leave_early`, leaves once the first point has been told. Both then exit.
  void host_and_real_guest(std::function<bool()> guest_goes, bool leave_early) {
    make_players(85, 85);
    watch(*host);
    host_round(host->pilot, host_port, 1);
    choose_character(host->pilot, 2);
    exit_game(host->pilot);
    join_round(guest->pilot, relay.port(), std::move(guest_goes));
    choose_character(guest->pilot, 3);
    if (leave_early) {
      guest->pilot.when_heard(
          [score = line(18) + ": "](const std::string& heard) { return heard.starts_with(score); });
      guest->pilot.tap(key::escape);
    }
    exit_game(guest->pilot);
    memory_at_start = memory_in_use();
    files_at_start = open_files();
    host->start();
    guest->start();
  }
  // Both games have ended without a fault.
  void both_finish() {
    host->finish();
    guest->finish();
    ASSERT_EQ(host->failure, "");
    ASSERT_EQ(guest->failure, "");
  }

  std::atomic<bool> playing{false};
  std::atomic<size_t> peak_memory{0};
  size_t memory_at_start = 0;
  size_t files_at_start = 0;
  std::atomic<bool> go{false};
};

// Five hundred connections opened and dropped, then a stranger that sends noise
// before the handshake and more once play is on: the real guest still plays.
TEST_F(HostilePeerTest, DroppedConnectionsAndNoiseBeforeTheHandshakeThenTheRealGuestPlays) {
  host_and_real_guest([this] { return go.load(); }, true);
  ASSERT_TRUE(eventually(host_is_waiting(0)));
  for (int round = 0; round < 500; ++round) {
    ASSERT_NE(RawEnd::connect_to(host_port), nullptr) << "round " << round;
  }
  std::unique_ptr<RawEnd> stranger = RawEnd::connect_to(host_port);
  ASSERT_NE(stranger, nullptr);
  EXPECT_EQ(stranger->send(noise(256 * 1024, 7)), 256 * 1024u);
  go.store(true);
  ASSERT_TRUE(eventually([this] { return playing.load(); }));
  stranger->send(noise(4096, 8));
  ASSERT_NO_FATAL_FAILURE(both_finish());

  EXPECT_EQ(host_count("say 127.0.0.1 " + line(5)), 502u);
  EXPECT_EQ(host_count(said(6)), 1u) << "the real guest was let in once";
  EXPECT_GT(host_count(point_told()), 0u) << "a point was played" << last_lines(*host);
  EXPECT_GT(host_count(said(13)), 0u) << "the stranger's bytes during the match are told";
  EXPECT_TRUE(stranger->wait_for_close()) << "leaving the match hangs up on the stranger too";
  stranger.reset();
  EXPECT_EQ(host_endpoints.back(), std::make_pair(size_t{0}, size_t{0}));
  EXPECT_EQ(open_files(), files_at_start);
  expect_memory_bounded();
}

// A hostile guest whose hello comes a byte at a time, then ten megabytes with no
// end of message, then every message with absurd values: the host answers,
// drops the flood as it comes, and plays on.
TEST_F(HostilePeerTest, HelloCutIntoBytesThenAFloodWithoutAnEndThenAbsurdValues) {
  // A host that goes for no ball: the last, fastest one is a point whichever
  // frames the messages land in (a player going for balls could meet it while
  // still reaching for the one before, which was never to arrive).
  make_host(nullptr, 0);
  watch(*host);
  host_round(host->pilot, host_port, 1);
  choose_character(host->pilot, 2);
  exit_game(host->pilot);
  memory_at_start = memory_in_use();
  host->start();
  ASSERT_TRUE(eventually(host_is_waiting(0)));
  std::unique_ptr<RawEnd> peer = RawEnd::connect_to(host_port);
  ASSERT_NE(peer, nullptr);
  peer->send("_P_HI" + host->game.settings.handshake_word + "$", 1, std::chrono::milliseconds(3));
  ASSERT_TRUE(peer->wait_for("_P_VARIFIED1$")) << last_lines(*host);
  peer->send("_P_V1$_P_R$");
  ASSERT_TRUE(peer->wait_for("_P_S")) << last_lines(*host);

  flood_without_end(*peer, "_P_P");
  // The stream is in step again at the next message start.
  peer->send("_P_P5$" + absurd_messages);
  // Message by message too, so each lands in a frame of its own.
  for (const std::string& message : messages(absurd_messages)) {
    peer->send(message + "$", 0, std::chrono::milliseconds(1));
  }
  // The host plays on: the ball sent at it with the largest speed gets past it.
  EXPECT_TRUE(peer->wait_for("_P_G$")) << last_lines(*host);
  peer->send("_P_BYE$");
  host->finish();
  ASSERT_EQ(host->failure, "");
  EXPECT_EQ(host_count(said(6)), 1u);
  EXPECT_TRUE(heard_in_order(host->heard, {said(6), said(7), "say " + main_menu}));
  EXPECT_EQ(host_count(said(21)), 0u) << "a goodbye, not a vanished peer";
  expect_memory_bounded();
}

TEST_F(HostilePeerTest, StrangerFloodingASecondConnectionDuringTheMatch) {
  host_and_real_guest(host_is_waiting(0), false);
  ASSERT_TRUE(eventually([this] { return playing.load(); }));
  std::unique_ptr<RawEnd> stranger = RawEnd::connect_to(host_port);
  ASSERT_NE(stranger, nullptr);
  // The host never reads a stranger: the flood stops when the stream is full.
  for (size_t sent = 0; sent < flood_bytes;) {
    const size_t count = stranger->send(absurd_messages, 0, std::chrono::microseconds(0),
                                        std::chrono::milliseconds(200));
    if (count < absurd_messages.size()) break;
    sent += count;
  }
  ASSERT_NO_FATAL_FAILURE(both_finish());

  EXPECT_GT(host_count(said(13)), 0u);
  EXPECT_EQ(host_count(said(16)) + host_count(said(17)), 1u) << last_lines(*host);
  EXPECT_TRUE(stranger->wait_for_close());
  EXPECT_EQ(host_endpoints.back(), std::make_pair(size_t{0}, size_t{0}));
  expect_memory_bounded();
}

// The guest's side: a hostile host that answers with noise, cuts its answer into
// single bytes, sends absurd values and a flood without an end, then leaves.
TEST_F(HostilePeerTest, GuestFacingAHostileHost) {
  RawListener hostile_host;
  make_guest();
  watch(*guest);
  join_round(guest->pilot, hostile_host.port());
  choose_character(guest->pilot, 2);
  exit_game(guest->pilot);
  memory_at_start = memory_in_use();
  guest->start();

  std::unique_ptr<RawEnd> host_end = hostile_host.accept();
  ASSERT_NE(host_end, nullptr);
  ASSERT_TRUE(host_end->wait_for("_P_HI" + guest->game.settings.handshake_word + "$"));
  host_end->send(noise(256 * 1024, 9));
  host_end->send("_P_VARIFIED2$", 1, std::chrono::milliseconds(3));
  ASSERT_TRUE(host_end->wait_for("_P_R$")) << last_lines(*guest);
  host_end->send("_P_V3$_P_S0$");
  host_end->send(absurd_messages);
  flood_without_end(*host_end, "_P_BQ");
  host_end->send("_P_BYE$");
  guest->finish();
  ASSERT_EQ(guest->failure, "");

  EXPECT_EQ(guest->game.match.game_mode, 2);
  EXPECT_TRUE(heard_in_order(guest->heard, {said(11), said(12), said(15), "say " + main_menu}))
      << last_lines(*guest);
  EXPECT_EQ(guest_endpoints.back(), std::make_pair(size_t{0}, size_t{0}));
  EXPECT_TRUE(host_end->wait_for_close());
  expect_memory_bounded();
}

}  // namespace
}  // namespace tornello
