#include <atomic>

#include "net/parse_int.h"
#include "net_test_support.h"

// Every send the game makes, counted on its way to the system.
static std::atomic<int> sends{0};
extern "C" ssize_t send(int socket, const void* data, size_t size, int flags) {
  ++sends;
  return sendto(socket, data, size, flags, nullptr, 0);
}

namespace tornello {
namespace {

using Seen = std::vector<std::string>;

// Feeds each text as one read and returns every message applied.
Seen apply_reads(const std::vector<std::string>& reads, NetState* kept = nullptr) {
  NetState fresh;
  NetState& net = kept != nullptr ? *kept : fresh;
  RecordingHandler handler;
  for (const std::string& read : reads) {
    net.received_text = read;
    process_messages(net, handler);
    EXPECT_TRUE(net.received_text.empty());
    EXPECT_LE(net.unfinished.size(), max_unfinished_bytes);
  }
  return handler.seen;
}

TEST(ProcessMessages, DispatchesInOrderWaitsForCutMessagesAndKeepsFloodsBounded) {
  const std::pair<std::vector<std::string>, Seen> cases[] = {
      {{"_P_R$_P_V3$_P_S1$_P_S0$_P_P19$_P_BD3$_P_BS50$_P_BQ-12$_P_XD$_P_XS$_P_XASR$_P_G$_P_BE$"
        "_P_BYE$_P_D$"},
       {"R", "V3", "S1", "S0", "P19", "BD3", "BS50", "BQ-12", "XD", "XS", "XASR", "G", "BE", "BYE",
        "D"}},
      // Unknown codes are ignored; codes match by their leading letters.
      {{"_P_HIQPLMZKXRTVBNSDWEHJGC$_P_Z9$_P_$_P_b$_P_VARIFIED2$"}, {"V0"}},
      // A value that is not a number reads 0; integer fields keep the low 32 bits.
      {{"_P_Pabc$_P_V$_P_BS-$_P_V4294967299$_P_BD-4294967295$_P_BQ4294967296$"},
       {"P0", "V0", "BS0", "V3", "BD1", "BQ4294967296"}},
      {{"_P_P5$abc$_P_P7$"}, {"P5", "P7"}},
      {{std::string("hi\0_P_P1$\0_P_P2$", 16)}, {"P1", "P2"}},
      {{"$$$", "noise_P", "_XS$"}, {"XS"}},
      {{"_P_P5_P_P6$"}, {"P5"}},  // a message without its "$" runs into the next
      {{"_P_R$_", "P_P3", "", "$"}, {"R", "P3"}},
  };
  for (const auto& [reads, seen] : cases) EXPECT_EQ(apply_reads(reads), seen) << reads[0];
  // TCP may cut a message anywhere: the part that arrived waits for the rest.
  const std::string stream =
      "_P_V2$_P_R$_P_S1$_P_P4$_P_BD1$_P_BQ10$_P_BS50$_P_BE$_P_XASR$_P_G$_P_D$_P_BYE$";
  const Seen whole = apply_reads({stream});
  ASSERT_EQ(whole.size(), 12u);
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    EXPECT_EQ(apply_reads({stream.substr(0, cut), stream.substr(cut)}), whole) << cut;
  }
  NetState net;
  apply_reads({"_P_P1"}, &net);
  net.clear_received();
  EXPECT_EQ(apply_reads({"2$_P_R$"}, &net), Seen{"R"}) << "clearing drops the tail";
  // A flood without "$" keeps a bounded tail; the message after it still counts.
  std::vector<std::string> flood(64 * 1024 / receive_buffer_size,
                                 std::string(receive_buffer_size, '9'));
  flood.front().replace(0, 4, "_P_P");
  flood.push_back("9$_P_P8$");
  EXPECT_EQ(apply_reads(flood), Seen{"P8"});
  // A tail of exactly the limit is kept; one byte more is not.
  const std::string longest = "_P_P" + std::string(max_unfinished_bytes - 4, '0');
  EXPECT_EQ(apply_reads({longest, "7$"}), Seen{"P7"});
  EXPECT_EQ(apply_reads({longest + "7", "$_P_R$"}), Seen{"R"});
}

// Digits stop at the first that is none (':' and '@' sit between the digits and
// the letters) and accumulate in wrapping 64-bit arithmetic.
TEST(ParseInt, ReadsSignedDecimalHexadecimalAndBinaryAndWrapsIn64Bits) {
  const std::pair<const char*, int64_t> cases[] = {
      {"  5000x", 5000}, {"-$fF", -255}, {"$aF", 175}, {"%102", 2}, {"\t+12 34", 12},
      {"7:", 7},         {"7@", 7},      {"$a:", 10},  {"", 0},     {"-", 0},
      {"x1", 0},         {"- 5", 0},     {"$g", 0},    {"%2", 0},   {"$G", 0}};
  for (const auto& [text, value] : cases) EXPECT_EQ(parse_int(text), value) << '"' << text << '"';
  EXPECT_EQ(parse_int("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(parse_int("100000000000000000000"), 7766279631452241920);
  EXPECT_EQ(parse_int("$10000000000000001"), 1);
  EXPECT_EQ(static_cast<int32_t>(parse_int("4294967296")), 0) << "a port keeps the low 32 bits";
}

// Everything the game sends arrives exactly as written, "$" included, and each
// message goes out in one write of its own: a peer that drops any read not
// ending in "$" must get every message whole.
TEST(Messages, EachGoesOutByteForByteInOneWriteOfItsOwn) {
  EXPECT_EQ(paddle_message(4.5), "_P_P4") << "halves go to the even neighbour";
  EXPECT_EQ(paddle_message(5.5), "_P_P6");
  EXPECT_EQ(paddle_message(18.6f), "_P_P19");
  EXPECT_EQ(speed_x_message(-0.0125), "_P_BQ-12");
  LoopbackPair pair;
  NetState net;
  Connection peer;
  std::tie(net.peer, peer) = pair.join_and_accept();
  const int before = sends;
  for (const std::string& text :
       {hello_message("QPLMZKXRTVBNSDWEHJGC"), verified_message(2), character_message(5),
        start_message(true), start_message(false), paddle_message(5)}) {
    send_message(pair.guest, net, text);
  }
  send_serve_group(pair.guest, net, 1, 0.01f, 0.05f);
  send_hit_group(pair.guest, net, 2, 0.02, 0.06);
  for (std::string_view fixed : {ready_message, ball_hidden_message, shield_message,
                                 shield_return_message, point_lost_message, match_over_message}) {
    send_message(pair.guest, net, fixed);
  }
  EXPECT_EQ(send_message(pair.guest, net, goodbye_message), 7);
  const std::string expected =
      "_P_HIQPLMZKXRTVBNSDWEHJGC$_P_VARIFIED2$_P_V5$_P_S1$_P_S0$_P_P5$"
      "_P_BD1$_P_BQ10$_P_BS50$_P_BE$_P_BD2$_P_BS60$_P_BQ20$_P_BE$"
      "_P_R$_P_XD$_P_XS$_P_XASR$_P_G$_P_D$_P_BYE$";
  std::string got;
  poll_until(true, [&] { return (got += read_text(pair.host, peer)).size() >= expected.size(); });
  EXPECT_EQ(got, expected);
  EXPECT_EQ(sends - before, 21) << "one write per message";
  EXPECT_EQ(send_message(pair.guest, NetState{}, ready_message), -1) << "no peer, no send";
}

// The host reads its peer and tells of a stranger once, then hangs up on it.
// (The guest reading its own connection is every match's.)
TEST(ReceiveStep, HostReadsItsPeerAndTellsOfAStrangerOnce) {
  LoopbackPair pair;
  const auto [guest, peer] = pair.join_and_accept();
  NetState net;
  net.peer = peer;
  RecordingHandler handler;
  int foreign = 0;
  const auto frame = [&] {  // one frame of the match: receive, then apply
    const NetEvent event = receive_step(pair.host, net, PeerRole::host, [&] { ++foreign; });
    process_messages(net, handler);
    return event;
  };
  pair.guest.send_text(guest, "_P_P9$");
  EXPECT_EQ(frame(), NetEvent::data);
  const Connection stranger = pair.join();
  EXPECT_EQ(frame(), NetEvent::connected);
  // Told of once and hung up on, however much it sends; the peer is still read.
  pair.guest.send_text(stranger, "_P_D$_P_D$");
  pair.guest.send_text(guest, "_P_G$");
  for (int k = 0; k < 5; ++k) frame();
  EXPECT_EQ(foreign, 1);
  EXPECT_EQ(handler.seen, (Seen{"P9", "G"})) << "nothing of the stranger's is applied";
  char byte;
  EXPECT_LE(pair.guest.receive(stranger, &byte, 1), 0) << "the host closed (or reset) the stream";
  pair.guest.close_connection(guest);
  EXPECT_EQ(frame(), NetEvent::disconnected);
  EXPECT_EQ(std::pair(pair.host.event_connection(), foreign), std::pair(peer, 1));
  EXPECT_EQ(send_message(pair.host, net, ready_message), -1) << "the old peer is never touched";
}

}  // namespace
}  // namespace tornello
