// The match loop, the messages from the peer, and the ways out of a match.
#include "match/match.h"
#include "match/match_local.h"
#include "shell/text_entries.h"

namespace tornello {

namespace {

// Applies each message from the peer to the match. Once the match has been left
// (a "_P_BYE", or the end of the match), the rest of the read is not applied.
class MatchMessages final : public MessageHandler {
 public:
  explicit MatchMessages(Game& game) : game_(game) {}

  void on_ready() override {
    if (live()) peer_reported_ready(game_);
  }
  void on_character(int32_t character) override {
    if (live()) opponent_character_chosen(game_, character);
  }
  void on_start(int64_t host_serves) override {
    if (live()) play_started_by_host(game_, host_serves);
  }
  void on_paddle(int64_t position) override {
    if (live()) opponent_paddle_moved(game_, position);
  }
  void on_ball_direction(int32_t side_direction) override {
    if (live()) ball().side_direction = static_cast<SideDirection>(side_direction);
  }
  void on_ball_speed_y(int64_t thousandths) override {
    if (live()) ball().speed_y = static_cast<float>(thousandths) / 1000.0f;
  }
  void on_ball_speed_x(int64_t thousandths) override {
    if (live()) ball().speed_x = static_cast<float>(thousandths) / 1000.0f;
  }
  void on_ball_hidden() override {
    if (live()) ball_hidden_by_opponent(game_);
  }
  void on_shield_raised() override {
    if (live()) opponent_shield_raised(game_);
  }
  void on_shield_return() override {
    if (live()) opponent_shield_returned(game_);
  }
  void on_point_won() override {
    if (live()) win_point(game_);
  }
  void on_ball_struck() override {
    if (live()) ball_struck_by_opponent(game_);
  }
  void on_goodbye() override {
    if (live()) leave_match(game_, false);
  }
  void on_match_over() override {
    if (live()) end_match(game_);
  }

 private:
  bool live() const { return !game_.match.left; }
  BallState& ball() { return game_.match.ball; }

  Game& game_;
};

// The guest's connection reports waiting bytes only; a host that has closed the
// stream, reset it or stopped answering shows when a read finds it ended. A
// byte that arrived since the poll is kept for this frame's messages.
bool guest_peer_gone(Game& game) {
  char byte = 0;
  const int32_t count = game.transport.receive(game.net.peer, &byte, 1);
  if (count == 1) game.net.received_text.push_back(byte);
  return count == 0 || count == link_lost;
}

// The guest its connection, the host its server (and with it the guest's connection).
void close_link(Game& game) {
  if (game.match.role == PeerRole::host) {
    game.transport.close_server(host_server_id);
  } else {
    game.transport.close_connection(game.net.peer);
  }
}

}  // namespace

void receive_and_apply(Game& game) {
  MatchState& match = game.match;
  const NetEvent event = receive_step(game.transport, game.net, match.role, [&game] {
    speak_line(game, text(game, entry::someone_else));
  });
  const bool peer_gone =
      match.role == PeerRole::host
          ? event == NetEvent::disconnected && game.transport.event_connection() == game.net.peer
          : event == NetEvent::none && guest_peer_gone(game);

  MatchMessages handler(game);
  process_messages(game.net, handler);

  // Without this the match would go on in silence until the player pressed Escape.
  if (peer_gone && !match.left) {
    speak_line(game, text(game, entry::peer_left));
    leave_match(game, false);
  }
}

bool run_frame_logic(Game& game) {
  const MatchState& match = game.match;
  receive_and_apply(game);
  if (!match.left) advance_ball(game);
  if (!match.left) check_start_and_end(game);
  if (!match.left) read_controls(game);
  if (match.left) return false;
  expire_shields(game);
  update_positional_sounds(game);
  return true;
}

Next run_match(Game& game) {
  game.match.left = false;
  while (run_frame_logic(game)) {
    game.platform.pump_events(1);
    game.platform.delay_ms(frame_wait_ms);
  }
  // Nothing read during this match may reach the next one.
  game.net.clear_received();
  return Next::main_menu;
}

void leave_match(Game& game, bool say_goodbye) {
  MatchState& match = game.match;
  if (say_goodbye) send(game, goodbye_message);
  // Also when the peer said goodbye or vanished: no socket outlives its match.
  close_link(game);
  match.ball = BallState{};
  match.me = PlayerState{};
  match.opponent = PlayerState{};
  match.started = false;
  game.sound.stop_all();
  match.left = true;
}

}  // namespace tornello
