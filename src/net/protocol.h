// The game's message protocol over the transport. One message on the wire is
// "_P_" + a code of capital letters + an optional value + "$"; messages follow
// one another with nothing between them, so one read may hold several messages
// or end inside one. Each copy of the game tells the other what happened on its
// side of the court; every message is applied once when it is read.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "net/transport.h"

namespace tornello {

// Which side of the connection this copy of the game is. Guest until hosting begins.
enum class PeerRole { host, guest };

inline constexpr size_t receive_buffer_size = 2048;
// Longest unfinished message kept between reads; a longer one can only come
// from a broken or hostile peer and is dropped.
inline constexpr size_t max_unfinished_bytes = 2048;

// The network state the game keeps for the whole run.
struct NetState {
  // Messages go to the peer and, on the host, are read from it. The host sets it
  // in the handshake; the guest keeps its own connection here.
  Connection peer;
  // The bytes of the last read (zero bytes included; they are skipped as noise).
  std::string received_text;
  std::array<char, receive_buffer_size> receive_buffer{};
  // The start of a message whose end has not arrived yet; completed by later reads.
  std::string unfinished;

  // Forgets everything read so far, finished or not.
  void clear_received() {
    received_text.clear();
    unfinished.clear();
  }
};

// What the match does with each message. process_messages calls one of these
// per message, in the order the messages arrived, with the value already read.
class MessageHandler {
 public:
  virtual ~MessageHandler() = default;
  virtual void on_ready() = 0;                                 // "_P_R"
  virtual void on_character(int32_t character) = 0;            // "_P_V" + n
  virtual void on_start(int64_t host_serves) = 0;              // "_P_S" + 1 or 0
  virtual void on_paddle(int64_t position) = 0;                // "_P_P" + position
  virtual void on_ball_direction(int32_t side_direction) = 0;  // "_P_BD" + 1, 2 or 3
  virtual void on_ball_speed_y(int64_t thousandths) = 0;       // "_P_BS" + speed_y * 1000
  virtual void on_ball_speed_x(int64_t thousandths) = 0;       // "_P_BQ" + speed_x * 1000
  virtual void on_ball_hidden() = 0;                           // "_P_XD"
  virtual void on_shield_raised() = 0;                         // "_P_XS"
  virtual void on_shield_return() = 0;                         // "_P_XASR"
  virtual void on_point_won() = 0;                             // "_P_G": the sender lost it
  virtual void on_ball_struck() = 0;                           // "_P_BE": the ball comes here
  virtual void on_goodbye() = 0;                               // "_P_BYE"
  virtual void on_match_over() = 0;                            // "_P_D"
};

// The messages as the game sends them, without the terminating "$".
std::string hello_message(std::string_view handshake_word);  // "_P_HI" + word
std::string verified_message(int32_t game_mode);             // "_P_VARIFIED" + mode
std::string character_message(int32_t character);            // "_P_V" + n
std::string start_message(bool host_serves);                 // "_P_S1" or "_P_S0"
std::string paddle_message(double paddle_x);                 // rounded to a whole position
std::string direction_message(int32_t side_direction);       // "_P_BD" + d
std::string speed_x_message(double speed_x);                 // "_P_BQ" + rounded thousandths
std::string speed_y_message(double speed_y);                 // "_P_BS" + rounded thousandths
inline constexpr std::string_view ready_message = "_P_R";
inline constexpr std::string_view ball_struck_message = "_P_BE";
inline constexpr std::string_view ball_hidden_message = "_P_XD";
inline constexpr std::string_view shield_message = "_P_XS";
inline constexpr std::string_view shield_return_message = "_P_XASR";
inline constexpr std::string_view point_lost_message = "_P_G";
inline constexpr std::string_view match_over_message = "_P_D";
inline constexpr std::string_view goodbye_message = "_P_BYE";

// Sends text + "$" to the peer in one send. Returns what the send returned; a
// stale or missing peer sends nothing and gives -1.
int32_t send_message(Transport& transport, const NetState& net, std::string_view text);

// The serve group (direction, speed_x, speed_y, then "_P_BE") and the hit group
// (direction, speed_y, speed_x, then "_P_BE"), sent together so the receiver has
// direction and speeds before the ball starts toward it.
void send_serve_group(Transport& transport, const NetState& net, int32_t side_direction,
                      double speed_x, double speed_y);
void send_hit_group(Transport& transport, const NetState& net, int32_t side_direction,
                    double speed_x, double speed_y);

// One read from `from` into received_text, replacing what was there. Returns the
// byte count (0 or less: nothing was read, and received_text is empty).
int32_t receive_into(Transport& transport, NetState& net, Connection from);

// Polls once and reads what is waiting into received_text. The host polls its
// servers and always reads from the peer, whichever connection raised the event;
// an event from any other connection calls on_foreign_event (the game tells the
// player) and hangs up on that connection. The guest polls its own connection.
// Returns the poll's event.
NetEvent receive_step(Transport& transport, NetState& net, PeerRole role,
                      const std::function<void()>& on_foreign_event);

// Splits what has been read into messages and hands each complete one to the
// handler, in order. Noise before a "_P_" is skipped; the start of a message whose
// "$" has not come yet is kept for the next read. Empties received_text.
void process_messages(NetState& net, MessageHandler& handler);

}  // namespace tornello
