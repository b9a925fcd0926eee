// The host's handshake read under arbitrary bytes from whoever connects. A whole
// hosting flow runs on a headless game: it asks for a port, takes the first game
// mode and waits; a client then connects over loopback and sends the input (the
// first byte chooses how it is cut into writes; 0 sends it in one). Once it has
// sent everything the player keeps pressing Escape and Enter, which gives up a
// wait, confirms a character and leaves a match. Whatever was sent, the flow
// must come back, with every socket it opened closed; a stream that opens with
// a whole hello is answered however it is cut; sent in one write, the bytes are
// answered exactly when they hold the hello and the right word, and an
// unanswered hello with a "$" after it sends the host back to the main menu.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "match/match.h"
#include "platform/headless/headless_platform.h"
#include "session/session.h"
#include "shell/text_entries.h"

namespace tornello {
namespace {

using fuzz::check;

constexpr std::string_view hello = "_P_HI";
constexpr std::string_view answer = "_P_VARIFIED";
// Passes the host gets to read what was sent before the player starts pressing.
constexpr int passes_to_read = 50;

// A port nothing listens on right now.
int free_port() {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  check(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
  check(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0);
  ::close(probe);
  return ntohs(address.sin_port);
}

// The one who connects: sends the bytes, a write per pass, and keeps what the
// host says back.
class Client {
 public:
  Client(std::string_view bytes, size_t width) : bytes_(bytes), width_(width) {}
  ~Client() {
    if (socket_ >= 0) ::close(socket_);
  }

  // Run on every pump of the host's game.
  void pass(Transport& transport) {
    if (socket_ < 0) {
      const uint16_t port = transport.server_port(host_server_id);
      if (port != 0) connect_to(port);
      return;
    }
    if (sent_ < bytes_.size()) {
      const size_t count = std::min(width_, bytes_.size() - sent_);
      check(::send(socket_, bytes_.data() + sent_, count, MSG_NOSIGNAL) ==
            static_cast<ssize_t>(count));
      sent_ += count;
      return;
    }
    ++quiet_passes_;
    char buffer[512];
    ssize_t count;
    while ((count = ::recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
      heard_.append(buffer, static_cast<size_t>(count));
    }
  }

  bool done() const { return quiet_passes_ > passes_to_read; }
  const std::string& heard() const { return heard_; }

 private:
  void connect_to(uint16_t port) {
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    check(::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
  }

  std::string_view bytes_;
  size_t width_;
  int socket_ = -1;
  size_t sent_ = 0;
  int quiet_passes_ = 0;
  std::string heard_;
};

// Enter for the game-mode menu; once the client is done, Escape and Enter in turn.
class Player : public InputSource {
 public:
  Player(const Client& client, int port) : client_(client), port_(port) {}

  void keyboard(KeyboardSnapshot& out) override {
    out = KeyboardSnapshot{};
    const bool down = pass_++ % 2 == 0;
    if (!down) return;
    if (!client_.done()) {
      out.keys[key::enter] = 0x80;
    } else {
      out.keys[pass_ % 4 == 1 ? key::escape : key::enter] = 0x80;
    }
  }
  std::optional<std::string> answer(const std::string&, const std::string&,
                                    const std::string&) override {
    return std::to_string(port_);
  }

 private:
  const Client& client_;
  int port_;
  size_t pass_ = 0;
};

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

}  // namespace
}  // namespace tornello

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tornello;
  static const fuzz::Tree tree;
  // One port for the whole run: the server reuses it at once, while a fresh port
  // per input would leave thousands of closed connections holding ports.
  static const int port = free_port();
  if (size == 0) return 0;
  tree.write("Menu/EN/gamemode.mnu", "Game mode\nShort\nLong\n");
  const size_t width = data[0] == 0 ? size : data[0];
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

  HeadlessPlatform platform;
  Client client(bytes, width);
  Player player(client, port);
  platform.set_input(&player);
  Game game(platform);
  game.keyboard.init(platform);
  for (int entry = 1; entry <= LanguageTable::max_entries; ++entry) {
    game.language.entries[entry] = "line " + std::to_string(entry);
  }
  platform.on_pump = [&] { client.pass(game.transport); };
  {
    const fuzz::InDirectory in_tree(tree.path());
    check(host_game(game) == Next::main_menu);
  }
  check(game.transport.open_servers() == 0 && game.transport.open_connections() == 0);

  const bool answered = contains(client.heard(), answer);
  bool told_verified = false;
  for (const std::string& line : platform.titles()) {
    told_verified = told_verified || line == game.language.text(entry::guest_verified);
  }
  check(answered == told_verified);
  // A hello that opens the stream is answered however the stream cuts it.
  if (bytes.starts_with(std::string(hello) + game.settings.handshake_word + "$")) check(answered);
  if (width >= bytes.size()) {
    const size_t at = bytes.find(hello);
    const bool greeted = at != std::string_view::npos;
    check(answered == (greeted && contains(bytes, game.settings.handshake_word)));
    // A complete hello with the wrong word ends the wait without the player.
    if (greeted && !answered && contains(bytes.substr(at), "$")) check(!client.done());
  }
  return 0;
}
