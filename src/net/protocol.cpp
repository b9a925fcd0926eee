#include "net/protocol.h"

#include <cmath>

#include "net/parse_int.h"

namespace tornello {

namespace {

constexpr std::string_view message_start = "_P_";
constexpr char message_end = '$';

// Hands one message's value text to its handler method.
using Apply = void (*)(MessageHandler&, std::string_view value);

int32_t low_32(std::string_view value) {
  return static_cast<int32_t>(parse_int(value));
}

struct CodeName {
  std::string_view letters;
  Apply apply;
};

// Compared with the front of a body in this order; no code begins another, so
// at most one matches.
constexpr CodeName codes[] = {
    {"R", [](MessageHandler& h, std::string_view) { h.on_ready(); }},
    {"V", [](MessageHandler& h, std::string_view v) { h.on_character(low_32(v)); }},
    {"S", [](MessageHandler& h, std::string_view v) { h.on_start(parse_int(v)); }},
    {"P", [](MessageHandler& h, std::string_view v) { h.on_paddle(parse_int(v)); }},
    {"BD", [](MessageHandler& h, std::string_view v) { h.on_ball_direction(low_32(v)); }},
    {"BS", [](MessageHandler& h, std::string_view v) { h.on_ball_speed_y(parse_int(v)); }},
    {"BQ", [](MessageHandler& h, std::string_view v) { h.on_ball_speed_x(parse_int(v)); }},
    {"XD", [](MessageHandler& h, std::string_view) { h.on_ball_hidden(); }},
    {"XS", [](MessageHandler& h, std::string_view) { h.on_shield_raised(); }},
    {"XASR", [](MessageHandler& h, std::string_view) { h.on_shield_return(); }},
    {"G", [](MessageHandler& h, std::string_view) { h.on_point_won(); }},
    {"BE", [](MessageHandler& h, std::string_view) { h.on_ball_struck(); }},
    {"BYE", [](MessageHandler& h, std::string_view) { h.on_goodbye(); }},
    {"D", [](MessageHandler& h, std::string_view) { h.on_match_over(); }},
};

// Applies one message body (the message without "_P_" and "$"); a body that
// starts with no known code is ignored.
void dispatch(std::string_view body, MessageHandler& handler) {
  for (const CodeName& entry : codes) {
    if (body.starts_with(entry.letters)) {
      entry.apply(handler, body.substr(entry.letters.size()));
      return;
    }
  }
}

// How many bytes at the end of text could be the first bytes of a "_P_" that
// the next read completes.
size_t partial_start_length(std::string_view text) {
  for (size_t length = message_start.size() - 1; length > 0; --length) {
    if (text.ends_with(message_start.substr(0, length))) return length;
  }
  return 0;
}

// Nearest whole number, halves to the even neighbour; out-of-range values are
// held to a range no message needs to exceed.
int64_t round_half_even(double value) {
  constexpr double limit = 1e15;
  if (std::isnan(value)) return 0;
  return static_cast<int64_t>(std::nearbyint(std::fmax(-limit, std::fmin(limit, value))));
}

std::string with_value(std::string_view code, int64_t value) {
  std::string text(message_start);
  text += code;
  text += std::to_string(value);
  return text;
}

void send_group(Transport& transport, const NetState& net, int32_t side_direction,
                const std::string& first_speed, const std::string& second_speed) {
  send_message(transport, net, direction_message(side_direction));
  send_message(transport, net, first_speed);
  send_message(transport, net, second_speed);
  send_message(transport, net, ball_struck_message);
}

}  // namespace

std::string hello_message(std::string_view handshake_word) {
  std::string text(message_start);
  text += "HI";
  text += handshake_word;
  return text;
}

std::string verified_message(int32_t game_mode) {
  return with_value("VARIFIED", game_mode);
}
std::string character_message(int32_t character) {
  return with_value("V", character);
}
std::string start_message(bool host_serves) {
  return with_value("S", host_serves ? 1 : 0);
}
std::string paddle_message(double paddle_x) {
  return with_value("P", round_half_even(paddle_x));
}
std::string direction_message(int32_t side_direction) {
  return with_value("BD", side_direction);
}

std::string speed_x_message(double speed_x) {
  return with_value("BQ", round_half_even(speed_x * 1000.0));
}

std::string speed_y_message(double speed_y) {
  return with_value("BS", round_half_even(speed_y * 1000.0));
}

int32_t send_message(Transport& transport, const NetState& net, std::string_view text) {
  std::string wire;
  wire.reserve(text.size() + 1);
  wire += text;
  wire += message_end;
  return transport.send_text(net.peer, wire);
}

void send_serve_group(Transport& transport, const NetState& net, int32_t side_direction,
                      double speed_x, double speed_y) {
  send_group(transport, net, side_direction, speed_x_message(speed_x), speed_y_message(speed_y));
}

void send_hit_group(Transport& transport, const NetState& net, int32_t side_direction,
                    double speed_x, double speed_y) {
  send_group(transport, net, side_direction, speed_y_message(speed_y), speed_x_message(speed_x));
}

int32_t receive_into(Transport& transport, NetState& net, Connection from) {
  net.receive_buffer.fill(0);
  const int32_t count = transport.receive(from, net.receive_buffer.data(),
                                          static_cast<int32_t>(net.receive_buffer.size()));
  net.received_text.assign(net.receive_buffer.data(), count > 0 ? static_cast<size_t>(count) : 0);
  return count;
}

NetEvent receive_step(Transport& transport, NetState& net, PeerRole role,
                      const std::function<void()>& on_foreign_event) {
  if (role == PeerRole::guest) {
    const NetEvent event = transport.poll_connection(net.peer);
    if (event == NetEvent::data) receive_into(transport, net, net.peer);
    return event;
  }

  const NetEvent event = transport.poll_server();
  if (event == NetEvent::none) return event;
  const Connection source = transport.event_connection();
  if (source != net.peer) {
    if (on_foreign_event) on_foreign_event();
    // Nobody but the peer plays here. Hanging up tells the player once per
    // stranger; kept open, its unread bytes would raise an event every frame.
    if (event != NetEvent::disconnected) transport.close_connection(source);
  }
  // The peer is read even when another connection raised the event: its
  // socket never waits, so this costs nothing when it has nothing to say.
  if (event == NetEvent::data) receive_into(transport, net, net.peer);
  return event;
}

void process_messages(NetState& net, MessageHandler& handler) {
  if (net.received_text.empty()) return;

  // Work on a text of our own: a handler may clear or refill the state.
  std::string text;
  text.swap(net.unfinished);
  text += net.received_text;
  net.received_text.clear();

  const std::string_view all(text);
  size_t position = 0;
  while (position < all.size()) {
    const size_t start = all.find(message_start, position);
    if (start == std::string_view::npos) {
      // Noise up to the end, except the first bytes of a "_P_" cut by the read.
      position = all.size() - partial_start_length(all.substr(position));
      break;
    }
    const size_t body = start + message_start.size();
    const size_t end = all.find(message_end, body);
    if (end == std::string_view::npos) {
      position = start;  // the rest of this message comes with a later read
      break;
    }
    dispatch(all.substr(body, end - body), handler);
    position = end + 1;
  }

  text.erase(0, position);
  if (text.size() > max_unfinished_bytes) text.clear();
  net.unfinished.swap(text);
}

}  // namespace tornello
