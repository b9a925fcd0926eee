// Games facing peers that do not play by the rules: noise, floods with no end of
// message, a hello cut into single bytes, connections opened and dropped by the
// hundred, strangers during a match, every message with absurd values. The game
// plays on with the real peer where there is one and holds a few reads' worth.
#include <poll.h>

#include "e2e/two_games.h"
#include "support/process_resources.h"

namespace tornello {
namespace {

constexpr size_t megabyte = 1024 * 1024;
// A game that kept what a flood sent would grow by about its size.
constexpr size_t flood_bytes = 10 * megabyte;
constexpr size_t memory_allowance = 4 * megabyte;

// A hostile peer's end of a loopback stream, driven from the test's thread: it
// writes what it likes, as fast or as slowly as it likes, and keeps what the game
// sends back. Every wait has a real-time limit, so a game that stops reading
// fails a test instead of hanging it.
class RawEnd {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds patience{60};

  explicit RawEnd(int socket) : socket_(socket) {}
  ~RawEnd() { ::close(socket_); }
  RawEnd(const RawEnd&) = delete;
  RawEnd& operator=(const RawEnd&) = delete;

  // Connects to the game listening on `port`, or takes the next guest from
  // `listener`; null when nobody answers.
  static std::unique_ptr<RawEnd> connect_to(uint16_t port) {
    const int end = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback_address(port);
    if (::connect(end, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      return std::make_unique<RawEnd>(end);
    }
    ::close(end);
    return nullptr;
  }
  static std::unique_ptr<RawEnd> accept_from(int listener) {
    pollfd watch{listener, POLLIN, 0};
    if (::poll(&watch, 1, static_cast<int>(patience.count() * 1000)) <= 0) return nullptr;
    const int end = ::accept(listener, nullptr, nullptr);
    return end < 0 ? nullptr : std::make_unique<RawEnd>(end);
  }

  // Writes `chunk` bytes at a time (0: as many as the stream takes), with `pause`
  // after each write; how many went out before `limit`.
  size_t send(std::string_view bytes, size_t chunk = 0,
              std::chrono::microseconds pause = std::chrono::microseconds(0),
              std::chrono::milliseconds limit = patience) {
    size_t sent = 0;
    for (const auto give_up = Clock::now() + limit;
         sent < bytes.size() && Clock::now() < give_up;) {
      pollfd watch{socket_, POLLOUT, 0};
      if (::poll(&watch, 1, 20) <= 0) continue;
      const size_t count = chunk == 0 ? bytes.size() - sent : std::min(chunk, bytes.size() - sent);
      const ssize_t written = ::send(socket_, bytes.data() + sent, count, MSG_NOSIGNAL);
      if (written < 0) break;
      sent += static_cast<size_t>(written);
      while (read_some(0) == 1) {
      }
      std::this_thread::sleep_for(pause);
    }
    return sent;
  }
  // Reads until what has arrived holds `text`; false if it never comes.
  bool wait_for(std::string_view text) {
    for (const auto give_up = Clock::now() + patience; Clock::now() < give_up;) {
      if (received_.find(text) != std::string::npos) return true;
      if (read_some(20) < 0) return false;
    }
    return false;
  }
  bool wait_for_close() {
    for (const auto give_up = Clock::now() + patience; Clock::now() < give_up;) {
      if (read_some(20) < 0) return true;
    }
    return false;
  }

 private:
  // Waits up to `ms` for bytes: 1 when some came, 0 when none, -1 once the stream has ended.
  int read_some(int ms) {
    pollfd watch{socket_, POLLIN, 0};
    if (::poll(&watch, 1, ms) <= 0) return 0;
    char buffer[4096];
    const ssize_t count = ::recv(socket_, buffer, sizeof buffer, 0);
    if (count <= 0) return -1;
    received_.append(buffer, static_cast<size_t>(count));
    return 1;
  }

  int socket_;
  std::string received_;
};

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
  void start() {
    memory_at_start = memory_in_use();
    TwoGamesTest::start();
  }
  void expect_memory_bounded() const {
    EXPECT_LT(peak_memory.load(), memory_at_start + memory_allowance)
        << "memory in use went from " << memory_at_start << " to " << peak_memory.load();
  }

  // Waits, in real time, for something the games do.
  static bool eventually(const std::function<bool()>& condition) {
    for (const auto give_up = RawEnd::Clock::now() + RawEnd::patience; !condition();) {
      if (RawEnd::Clock::now() > give_up) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  std::atomic<bool> playing{false};
  std::atomic<size_t> peak_memory{0};
  size_t memory_at_start = 0;
};

// Five hundred connections opened and dropped, then a stranger that sends noise
// before the handshake and more once play is on, and another that floods a
// second connection with absurd messages during the match: the real guest plays.
TEST_F(HostilePeerTest, DroppedConnectionsNoiseAndASecondConnectionFloodingThenTheGuestPlays) {
  std::atomic<bool> go{false};
  make_players(85, 85);
  watch(*host);
  host_round(host->pilot, host_port, 1);
  choose_character(host->pilot, 2);
  exit_game(host->pilot);
  join_round(guest->pilot, relay.port(), [&go] { return go.load(); });
  choose_character(guest->pilot, 3);
  leave_on(guest->pilot, 0);
  exit_game(guest->pilot);
  const size_t files_at_start = open_files();
  start();
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
  std::unique_ptr<RawEnd> flooder = RawEnd::connect_to(host_port);
  ASSERT_NE(flooder, nullptr);
  // The host never reads a stranger: the flood stops when the stream is full.
  for (size_t sent = 0; sent < flood_bytes;) {
    const size_t count = flooder->send(absurd_messages, 0, std::chrono::microseconds(0),
                                       std::chrono::milliseconds(200));
    if (count < absurd_messages.size()) break;
    sent += count;
  }
  ASSERT_NO_FATAL_FAILURE(finish());

  EXPECT_EQ(count_all(host->heard, "say 127.0.0.1 " + line(5)), 502u);
  EXPECT_EQ(count_all(host->heard, said(6)), 1u) << "the real guest was let in once";
  EXPECT_GT(count_all(host->heard, "say " + line(18) + ": "), 0u)
      << "a point was played" << last_lines(*host);
  EXPECT_GT(count_all(host->heard, said(13)), 0u) << "the strangers during the match are told";
  EXPECT_TRUE(stranger->wait_for_close()) << "leaving the match hangs up on the strangers too";
  EXPECT_TRUE(flooder->wait_for_close());
  stranger.reset();
  flooder.reset();
  EXPECT_EQ(host_endpoints.back(), std::make_pair(size_t{0}, size_t{0}));
  EXPECT_EQ(open_files(), files_at_start);
  expect_memory_bounded();
}

// Each side facing a hostile peer. The guest: a host that answers with noise,
// cuts its answer into single bytes, sends absurd values and a flood without an
// end, then leaves. The host: a guest whose hello comes a byte at a time, then
// ten megabytes with no end of message, then every message with absurd values.
// Each answers, drops the flood as it comes, and plays on.
TEST_F(HostilePeerTest, EachSideFacingAHostilePeerAnswersDropsTheFloodAndPlaysOn) {
  // A host that goes for no ball: the last, fastest one is a point whichever
  // frames the messages land in (a player going for balls could meet it while
  // still reaching for the one before, which was never to arrive).
  make_host(nullptr, 0);
  make_guest();
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = loopback_address(0);
  socklen_t size = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
  for (Player* player : {host.get(), guest.get()}) watch(*player);
  host_round(host->pilot, host_port, 1);
  choose_character(host->pilot, 2);
  exit_game(host->pilot);
  join_round(guest->pilot, ntohs(address.sin_port));
  choose_character(guest->pilot, 2);
  exit_game(guest->pilot);
  start();

  // The guest first: the host waits for its guest as long as it takes.
  std::unique_ptr<RawEnd> host_end = RawEnd::accept_from(listener);
  ::close(listener);
  ASSERT_NE(host_end, nullptr);
  ASSERT_TRUE(host_end->wait_for("_P_HI" + guest->game.settings.handshake_word + "$"));
  host_end->send(noise(256 * 1024, 9));
  host_end->send("_P_VARIFIED2$", 1, std::chrono::milliseconds(3));
  ASSERT_TRUE(host_end->wait_for("_P_R$")) << last_lines(*guest);
  host_end->send("_P_V3$_P_S0$");
  host_end->send(absurd_messages);
  flood_without_end(*host_end, "_P_BQ");
  host_end->send("_P_BYE$");

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

  ASSERT_NO_FATAL_FAILURE(finish());

  EXPECT_EQ(count_all(host->heard, said(6)), 1u);
  EXPECT_TRUE(heard_in_order(host->heard, {said(6), said(7), "say " + main_menu}));
  EXPECT_EQ(count_all(host->heard, said(21)), 0u) << "a goodbye, not a vanished peer";
  EXPECT_EQ(guest->game.match.game_mode, 2);
  EXPECT_TRUE(heard_in_order(guest->heard, {said(11), said(12), said(15), "say " + main_menu}))
      << last_lines(*guest);
  EXPECT_EQ(guest_endpoints.back(), std::make_pair(size_t{0}, size_t{0}));
  EXPECT_TRUE(host_end->wait_for_close());
  expect_memory_bounded();
}

}  // namespace
}  // namespace tornello
