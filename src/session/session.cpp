#include "session/session.h"

#include <optional>
#include <string>
#include <string_view>

#include "match/match.h"
#include "net/parse_int.h"
#include "session/find_games.h"
#include "session/host_reach.h"
#include "session/learn_sounds.h"
#include "session/practice.h"
#include "shell/character_select.h"
#include "shell/menu.h"
#include "shell/screen_keys.h"
#include "shell/settings_file.h"
#include "shell/settings_screen.h"
#include "shell/text_entries.h"

namespace tornello {

namespace {

// Both sides pause after the handshake so its lines are heard out.
constexpr int32_t handshake_pause_ms = 2000;
// A failure line stays up this long before the main menu replaces it.
constexpr int32_t failure_pause_ms = 1000;

constexpr std::string_view hello_code = "_P_HI";
constexpr std::string_view verified_code = "_P_VARIFIED";

enum class WaitResult { answered, cancelled, refused, lost };

// What one connection has said during the handshake, kept across reads: the
// stream keeps no message boundaries, so a hello or an answer may come cut into
// pieces. Until `code` shows, only the few bytes that could begin it are kept,
// so noise costs nothing; after it, no more than a message could ever need.
class HandshakeText {
 public:
  explicit HandshakeText(std::string_view code) : code_(code) {}

  // Adds a read. Returns where the code starts once it has come, else npos.
  size_t add(const std::string& read) {
    text_ += read;
    const size_t at = text_.find(code_);
    if (at == std::string::npos && text_.size() >= code_.size()) {
      text_.erase(0, text_.size() - (code_.size() - 1));
    }
    return at;
  }
  void clear() { text_.clear(); }
  const std::string& text() const { return text_; }

  // The message that starts at `at` has ended, or has run on far past any
  // length a real one has.
  bool ended_after(size_t at) const {
    return text_.find('$', at) != std::string::npos || text_.size() - at > receive_buffer_size;
  }

 private:
  std::string_view code_;
  std::string text_;
};

void say(Game& game, int entry) {
  speak_line(game, text(game, entry));
}

// Reads the keys of a waiting screen; true when the player gave up waiting.
bool player_gave_up(Game& game) {
  game.keyboard.examine(game.platform);
  answer_common_keys(game, entry::help_waiting);
  return key_pressed_once(game, key::escape);
}

// A failure is told, and stays up a moment before the main menu replaces it.
Next back_after(Game& game, const std::string& line) {
  speak_line(game, line);
  game.platform.delay_ms(failure_pause_ms);
  return Next::main_menu;
}

// The line that tells why joining failed.
int join_failure_entry(ConnectFailure failure) {
  switch (failure) {
    case ConnectFailure::unknown_name:
      return entry::unknown_name;
    case ConnectFailure::refused:
      return entry::nobody_hosts;
    case ConnectFailure::no_answer:
      return entry::no_answer_in_time;
    default:
      return entry::cannot_connect;
  }
}

// Until a guest's first message holds the hello: answered when what it has said
// also holds the handshake word (letter case counts), refused once its hello has
// ended without it. Every event makes its connection the peer, so the guest is
// whoever spoke last.
WaitResult wait_for_guest(Game& game, HostReach* reach) {
  Transport& transport = game.transport;
  NetState& net = game.net;
  HandshakeText said(hello_code);
  Connection speaker;
  for (;;) {
    if (escape_pressed(game)) return WaitResult::cancelled;
    if (reach) reach->poll();
    const NetEvent event = transport.poll_server();
    if (event == NetEvent::none) continue;
    net.peer = transport.event_connection();
    if (event == NetEvent::connected) {
      speak_line(game,
                 transport.peer_address(net.peer) + " " + text(game, entry::guest_connecting));
    } else if (event == NetEvent::data) {
      receive_into(transport, net, net.peer);
      if (net.peer != speaker) said.clear();
      speaker = net.peer;
      const size_t at = said.add(net.received_text);
      if (at == std::string::npos) continue;
      if (said.text().find(game.settings.handshake_word) != std::string::npos) {
        return WaitResult::answered;
      }
      if (said.ended_after(at)) return WaitResult::refused;
    }
  }
}

// Until the host's answer arrives; it carries the game mode. A host that closes
// the connection (it refused the hello, or went away) will never answer, so the
// wait ends there instead of lasting until the player gives up; so does a link
// that breaks.
WaitResult wait_for_host(Game& game) {
  NetState& net = game.net;
  HandshakeText said(verified_code);
  for (;;) {
    if (escape_pressed(game)) return WaitResult::cancelled;
    const int32_t count = receive_into(game.transport, net, net.peer);
    if (count == 0) return WaitResult::refused;
    if (count == link_lost) return WaitResult::lost;
    if (count < 0) continue;
    const size_t at = said.add(net.received_text);
    // The mode follows the answer; wait for the rest of it if the read cut it.
    if (at == std::string::npos || !said.ended_after(at)) continue;
    const std::string_view mode = std::string_view(said.text()).substr(at + verified_code.size());
    game.match.game_mode = static_cast<int32_t>(parse_int(mode));
    return WaitResult::answered;
  }
}

void reset_players(MatchState& match) {
  match.me.paddle_x = court_left;
  match.me.score = 0;
  match.opponent.paddle_x = court_left;
  match.opponent.score = 0;
}

// Character selection, told to the peer, then the chosen character says its name.
void choose_and_announce_character(Game& game) {
  MatchState& match = game.match;
  match.my_character = choose_character(game);
  send_message(game.transport, game.net, character_message(match.my_character));
  game.sound.play(game.bank.characters[static_cast<size_t>(match.my_character)].name_call);
}

// The last steps before the first frame: match music, the crowd, and nothing read
// during the handshake left over for the match.
void enter_the_arena(Game& game, int ready_entry) {
  play_music(game, "InGame", true);
  crowd_command(game, "start");
  game.net.clear_received();
  say(game, ready_entry);
}

}  // namespace

bool escape_pressed(Game& game) {
  game.platform.wait_for_input(network_wait_ms);
  return player_gave_up(game);
}

Next host_game(Game& game) {
  MatchState& match = game.match;
  Transport& transport = game.transport;
  match.role = PeerRole::host;
  play_music(game, "connection", true);
  say(game, entry::hosting);

  // The low 32 bits; an empty or cancelled answer gives 0.
  game.settings.port = static_cast<int32_t>(parse_int(game.platform.ask_text(
      "Port", "Enter port number to host the game on", std::to_string(game.settings.port))));
  const std::optional<int> mode = run_menu(game, "gamemode");
  if (!mode) return Next::exit;  // a missing menu file ends the game, as in the main menu
  match.game_mode = *mode;

  say(game, entry::opening_server);
  // Port 0 would let the system choose a port that nobody is told, so no guest
  // could come either.
  if (game.settings.port == 0 || !transport.open_server(host_server_id, game.settings.port)) {
    // No guest can reach a server that is not there: say so rather than wait.
    return back_after(
        game, text(game, entry::cannot_open_port) + " " + std::to_string(game.settings.port));
  }
  say(game, entry::waiting_for_guest);
  HostReach reach(game, static_cast<uint16_t>(game.settings.port), match.game_mode);
  return play_hosted_match(game, &reach);
}

Next play_hosted_match(Game& game, HostReach* reach) {
  MatchState& match = game.match;
  Transport& transport = game.transport;
  const WaitResult wait = wait_for_guest(game, reach);
  if (wait != WaitResult::answered) {
    if (wait == WaitResult::cancelled) play_music(game, "", false);
    // A refused guest gets no answer; closing the server hangs up on it too.
    transport.close_server(host_server_id);
    if (reach) reach->end();
    return Next::main_menu;
  }
  if (reach) reach->stop_answering();

  say(game, entry::guest_verified);
  send_message(transport, game.net, verified_message(match.game_mode));
  game.platform.delay_ms(handshake_pause_ms);
  choose_and_announce_character(game);
  enter_the_arena(game, entry::host_ready);

  reset_players(match);
  match.ball = BallState{};
  match.ball.x = court_left;
  match.ball.y = 1.0f;
  match.ball.speed_y = 0.1f;
  match.ball.side_direction = SideDirection::left;
  match.peer_ready = false;
  // The server stays open during the match; leaving closes it.
  const Next next = run_match(game);
  if (reach) reach->end();
  return next;
}

Next join_game(Game& game) {
  MatchState& match = game.match;
  Transport& transport = game.transport;
  NetState& net = game.net;
  match.role = PeerRole::guest;
  const std::string host = address_text(game.settings.host);
  if (host.empty()) return back_after(game, text(game, entry::empty_address));
  play_music(game, "connection", true);
  speak_line(game, text(game, entry::connecting_to) + " " + host + " " +
                       text(game, entry::on_port) + " " + std::to_string(game.settings.port));

  net.peer = transport.open_connection(game.platform, host, game.settings.port, connect_timeout_ms,
                                       [&game] { return player_gave_up(game); });
  if (!net.peer) {
    if (transport.connect_failure() != ConnectFailure::cancelled) {
      return back_after(game, text(game, join_failure_entry(transport.connect_failure())));
    }
    play_music(game, "", false);
    return Next::main_menu;
  }
  send_message(transport, net, hello_message(game.settings.handshake_word));
  say(game, entry::waiting_for_host);

  const WaitResult wait = wait_for_host(game);
  if (wait != WaitResult::answered) {
    transport.close_connection(net.peer);
    net.peer = Connection{};
    if (wait == WaitResult::cancelled) {
      play_music(game, "", false);
      return Next::main_menu;
    }
    return back_after(
        game, text(game, wait == WaitResult::lost ? entry::peer_left : entry::cannot_connect));
  }
  // The host prompt offers this address from now on, also in later runs.
  game.settings.host = host;
  game.settings.last_host = host;
  save_settings(game);

  game.platform.delay_ms(handshake_pause_ms);
  reset_players(match);
  // Character selection starts its own track.
  choose_and_announce_character(game);
  send_message(transport, net, ready_message);
  enter_the_arena(game, entry::guest_ready);
  return run_match(game);
}

MainMenuFlows network_flows() {
  MainMenuFlows flows;
  flows.host_game = host_game;
  flows.join_game = join_game;
  flows.find_games = find_games;
  flows.settings = run_settings;
  flows.practise = [](Game& game) { return practise(game); };
  flows.learn_sounds = learn_sounds;
  return flows;
}

}  // namespace tornello
