// A peer that does not play by the rules: the game plays on with it where it can
// and holds no more than a few reads' worth of what it is sent.
#include <poll.h>

#include "e2e/two_games.h"
#include "support/desktop.h"
#include "support/process_resources.h"

namespace tornello {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds patience{60};

// The peer's end of a loopback stream; every wait is limited in real time, so a
// game that stops reading fails the test instead of hanging it.
class RawEnd {
 public:
  explicit RawEnd(uint16_t port) : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
    const sockaddr_in address = loopback_address(port);
    connected =
        ::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  ~RawEnd() { ::close(socket_); }

  // `chunk` bytes at a time (0: all it can), with `pause` after each write.
  size_t send(std::string_view bytes, size_t chunk = 0,
              std::chrono::microseconds pause = std::chrono::microseconds(0)) {
    size_t sent = 0;
    for (const auto give_up = Clock::now() + patience;
         sent < bytes.size() && Clock::now() < give_up;) {
      pollfd watch{socket_, POLLOUT, 0};
      if (::poll(&watch, 1, 20) <= 0) continue;
      const size_t count = chunk == 0 ? bytes.size() - sent : std::min(chunk, bytes.size() - sent);
      const ssize_t written = ::send(socket_, bytes.data() + sent, count, MSG_NOSIGNAL);
      if (written < 0) break;
      sent += static_cast<size_t>(written);
      while (read_some(0) == 1) {  // the game never waits on us to write
      }
      std::this_thread::sleep_for(pause);
    }
    return sent;
  }
  bool wait_for(std::string_view text) {
    for (const auto give_up = Clock::now() + patience; Clock::now() < give_up;) {
      if (received_.find(text) != std::string::npos) return true;
      if (read_some(20) < 0) return false;
    }
    return false;
  }
  bool connected = false, ended = false;

 private:
  // 1 when bytes came within `ms`, 0 when none, -1 once the stream has ended.
  int read_some(int ms) {
    pollfd watch{socket_, POLLIN, 0};
    if (::poll(&watch, 1, ms) <= 0) return 0;
    char buffer[4096];
    const ssize_t count = ::recv(socket_, buffer, sizeof buffer, 0);
    ended = count <= 0;
    if (ended) return -1;
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

using HostilePeerTest = TwoGamesTest;

// A hundred connections opened and dropped, then a guest whose hello comes a
// byte at a time, noise, ten megabytes with no end of message, and absurd values.
TEST_F(HostilePeerTest, AHostilePeerIsAnsweredItsFloodDroppedAndPlayGoesOn) {
  // A host that goes for no ball: the last, fastest one is a point whichever
  // frames the messages land in.
  make_host(nullptr, 0);
  const auto peak_memory = std::make_shared<std::atomic<size_t>>(0);  // may outlive this body
  host->on_pump = [this, peak_memory] {
    if ((host->platform.pumps() & 255) == 0)
      *peak_memory = std::max(peak_memory->load(), memory_in_use());
  };
  host_round(host->pilot, host_port, 1);
  choose_character(host->pilot, 2);
  exit_game(host->pilot);
  const size_t files_at_start = open_files(), memory_at_start = memory_in_use();
  start();
  for (const auto give_up = Clock::now() + patience; host_waiting == 0 && Clock::now() < give_up;)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  for (int round = 0; round < 100; ++round) ASSERT_TRUE(RawEnd(host_port).connected) << round;
  auto peer = std::make_unique<RawEnd>(host_port);
  peer->send("_P_HI" + host->game.settings.handshake_word + "$", 1, std::chrono::milliseconds(3));
  ASSERT_TRUE(peer->wait_for("_P_VARIFIED1$")) << last_lines(*host);
  Random random;
  random.seed(9);
  std::string noise(256 * 1024, '\0');  // bytes holding no message start nor end
  for (char& c : noise) c = static_cast<char>(random.next(255));
  for (char special : {'_', '$'}) std::replace(noise.begin(), noise.end(), special, 'x');
  peer->send(noise + "_P_V1$_P_R$");
  ASSERT_TRUE(peer->wait_for("_P_S")) << last_lines(*host);
  // A message start, then ten megabytes of digits with no "$".
  const std::string digits(1024 * 1024, '7');
  peer->send("_P_P");
  for (int megabytes = 0; megabytes < 10; ++megabytes) ASSERT_EQ(peer->send(digits), digits.size());
  // The stream is in step again at the next message start; then each message in
  // a frame of its own.
  peer->send("_P_P5$" + absurd_messages);
  for (const std::string& message : messages(absurd_messages)) {
    peer->send(message + "$", 0, std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(peer->wait_for("_P_G$")) << "the host played on" << last_lines(*host);
  peer->send("_P_BYE$");
  ASSERT_NO_FATAL_FAILURE(finish());

  EXPECT_EQ(count_all(host->heard, "say 127.0.0.1 " + line(5)), 101u);
  EXPECT_TRUE(heard_in_order(host->heard, {said(6), said(7), menu}));
  EXPECT_EQ(count_all(host->heard, said(6)), 1u);
  EXPECT_EQ(count_all(host->heard, said(21)), 0u) << "a goodbye, not a vanished peer";
  EXPECT_EQ(host_endpoints.back(), std::make_pair(size_t{0}, size_t{0}));
  peer.reset();
  EXPECT_EQ(open_files(), files_at_start);
  // Keeping what the flood sent would grow it by about ten megabytes.
  EXPECT_LT(peak_memory->load(), memory_at_start + 4 * 1024 * 1024);
}

// The practice bot as players run it hangs up on a guest with the wrong word and
// hosts on for the next, who plays.
TEST(BotTest, HostingBotTurnsAWrongGuestAwayAndPlaysTheNext) {
  TempDir work;
  const uint16_t port = free_port();
  ChildProcess bot(std::string(TORNELLO_SOURCE_DIR) + "/data",
                   {TORNELLO_BINARY, "--bot", "host", std::to_string(port)}, {},
                   work.path() + "/bot.txt");
  std::optional<RawEnd> wrong;
  for (int tries = 0; tries < 1000 && !(wrong && wrong->connected); ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    wrong.emplace(port);
  }
  ASSERT_EQ(wrong->send("_P_HIwrong$"), 11u) << bot.output();
  EXPECT_TRUE(!wrong->wait_for("$") && wrong->ended) << "hung up on without a word";
  const std::string start = "The match is about to start.";
  const std::string heard = join_until_heard(port, start, work.path() + "/guest.txt");
  EXPECT_NE(heard.find(start), std::string::npos) << heard << bot.output();
}

}  // namespace
}  // namespace tornello
