// Finding games on the local network: the two datagrams and how to read them.
// A searching game sends a query to UDP port discovery_port; every game that
// waits for a guest answers with its TCP port and game mode. Both are one short
// line of text:
//
//   query   "TORNELLO 1 FIND <token>"
//   answer  "TORNELLO 1 GAME <token> <tcp port> <game mode> <instance>"
//
// "1" is the version. The token (8 hexadecimal digits) is the query's own, echoed
// in the answer, so answers to someone else's search are not taken; the instance
// (8 hexadecimal digits) tells one hosting game from another, so a game heard on
// two interfaces is one game. Anything else, a byte more or less included, is not
// ours: it is dropped unread past its length and never answered.
//
// No sockets here: lan_discovery.h sends and receives these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tornello::discovery {

// Fixed, whatever TCP port a game hosts on, so a search knows where to ask.
inline constexpr uint16_t discovery_port = 3214;
// No datagram of ours is longer; a longer one is dropped whole.
inline constexpr size_t max_datagram = 64;

struct Query {
  uint32_t token = 0;
  friend bool operator==(const Query&, const Query&) = default;
};

struct Answer {
  uint32_t token = 0;
  uint16_t port = 0;      // the TCP port the game hosts on, 1..65535
  int32_t game_mode = 1;  // 1 short, 2 long, as in the game mode menu
  uint32_t instance = 0;
  friend bool operator==(const Answer&, const Answer&) = default;
};

std::string query_text(const Query& query);
std::string answer_text(const Answer& answer);

// The datagram read exactly as written by query_text or answer_text; nothing for
// anything else.
std::optional<Query> parse_query(std::string_view datagram);
std::optional<Answer> parse_answer(std::string_view datagram);

}  // namespace tornello::discovery
