// A whole hosting flow on a headless game, a loopback client sending any bytes
// (cut into writes of the first byte's width; 0: one write), then the player
// pressing Escape and Enter: the flow comes back with every socket closed, and
// the hello is answered exactly when it should be.
#include <algorithm>

#include "fuzz_support.h"
#include "match/match.h"
#include "platform/headless/headless_platform.h"
#include "session/session.h"
#include "shell/text_entries.h"
#include "support/loopback.h"

namespace tornello {
namespace {

using fuzz::check;

constexpr int passes_to_read = 50;  // before the player starts pressing

// Run on every pump: connects once the host listens, writes, then listens.
struct Client {
  void pass(Transport& transport) {
    if (socket < 0) {
      if (const uint16_t port = transport.server_port(host_server_id)) {
        socket = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in address = loopback_address(port);
        check(::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0);
      }
    } else if (sent < bytes.size()) {
      const size_t count = std::min(width, bytes.size() - sent);
      check(::send(socket, bytes.data() + sent, count, MSG_NOSIGNAL) ==
            static_cast<ssize_t>(count));
      sent += count;
    } else {
      ++quiet_passes;
      char buffer[512];
      for (ssize_t count; (count = ::recv(socket, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) {
        heard.append(buffer, static_cast<size_t>(count));
      }
    }
  }
  bool done() const { return quiet_passes > passes_to_read; }
  ~Client() { ::close(socket); }

  std::string_view bytes;
  size_t width;
  int socket = -1;
  size_t sent = 0;
  int quiet_passes = 0;
  std::string heard{};
};

// Enter for the game-mode menu; once the client is done, Escape and Enter in turn.
struct Player : InputSource {
  Player(const Client& client, uint16_t port) : client(client), port(port) {}
  void keyboard(KeyboardSnapshot& out) override {
    out = KeyboardSnapshot{};
    if (pass++ % 2 != 0) return;
    out.keys[!client.done() || pass % 4 != 1 ? key::enter : key::escape] = 0x80;
  }
  std::optional<std::string> answer(const std::string&, const std::string&,
                                    const std::string&) override {
    return std::to_string(port);
  }
  const Client& client;
  const uint16_t port;
  size_t pass = 0;
};

}  // namespace
}  // namespace tornello

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tornello;
  static const TempDir tree;
  // One port for the run: a fresh one per input would leave thousands held.
  static const uint16_t port = free_port();
  if (size == 0) return 0;
  tree.write("Menu/EN/gamemode.mnu", "Game mode\nShort\nLong\n");
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  HeadlessPlatform platform;
  Client client{bytes, data[0] == 0 ? size : data[0]};
  Player player(client, port);
  platform.set_input(&player);
  Game game(platform);
  game.keyboard.init(platform);
  for (int n = 1; n <= LanguageTable::max_entries; ++n)
    game.language.entries[n] = "line " + std::to_string(n);
  platform.on_pump = [&] { client.pass(game.transport); };
  {
    const WorkingDirectory in_tree(tree.path());
    check(host_game(game) == Next::main_menu);
  }
  check(game.transport.open_servers() == 0 && game.transport.open_connections() == 0);
  const std::string& word = game.settings.handshake_word;
  const bool answered = client.heard.find("_P_VARIFIED") != std::string::npos;
  const auto& titles = platform.titles();
  check(answered == (std::find(titles.begin(), titles.end(),
                               game.language.text(entry::guest_verified)) != titles.end()));
  // A hello that opens the stream is answered however the stream cuts it.
  if (bytes.starts_with("_P_HI" + word + "$")) check(answered);
  if (client.width >= bytes.size()) {
    const size_t at = bytes.find("_P_HI");
    const bool greeted = at != std::string_view::npos;
    check(answered == (greeted && bytes.find(word) != std::string_view::npos));
    // A complete hello with the wrong word ends the wait without the player.
    if (greeted && !answered && bytes.find('$', at) != std::string_view::npos)
      check(!client.done());
  }
  return 0;
}
