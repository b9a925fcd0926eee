#include <algorithm>

#include "net/parse_int.h"
#include "net_test_support.h"

namespace tornello {
namespace {

using Seen = std::vector<std::string>;

// Feeds each text as one read and returns every message applied.
Seen apply_reads(NetState& net, const std::vector<std::string>& reads) {
  RecordingHandler handler;
  for (const std::string& read : reads) {
    net.received_text = read;
    process_messages(net, handler);
    EXPECT_TRUE(net.received_text.empty());
  }
  return handler.seen;
}

Seen apply_reads(const std::vector<std::string>& reads) {
  NetState net;
  return apply_reads(net, reads);
}

TEST(ProcessMessages, AppliesEveryMessageOfOneReadInOrder) {
  EXPECT_EQ(apply_reads({"_P_P5$_P_P6$"}), (Seen{"P5", "P6"}));
  EXPECT_EQ(apply_reads({"_P_BD2$_P_BS75$_P_BQ-12$_P_BE$_P_XS$_P_XD$"}),
            (Seen{"BD2", "BS75", "BQ-12", "BE", "XS", "XD"}));
  EXPECT_EQ(apply_reads({""}), Seen{});
}

TEST(ProcessMessages, EachCodeReachesItsOwnHandler) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"R", "R"},
      {"V3", "V3"},
      {"S1", "S1"},
      {"S0", "S0"},
      {"P19", "P19"},
      {"BD3", "BD3"},
      {"BS50", "BS50"},
      {"BQ10", "BQ10"},
      {"XD", "XD"},
      {"XS", "XS"},
      {"XASR", "XASR"},
      {"G", "G"},
      {"BE", "BE"},
      {"BYE", "BYE"},
      {"D", "D"},
      // Codes match by their leading letters, as the game always read them.
      {"VARIFIED2", "V0"},
  };
  for (const auto& [body, expected] : cases) {
    EXPECT_EQ(apply_reads({"_P_" + body + "$"}), Seen{expected}) << body;
  }
  for (const char* unknown : {"HIQPLMZKXRTVBNSDWEHJGC", "Z9", "", "b", "Q"}) {
    EXPECT_EQ(apply_reads({std::string("_P_") + unknown + "$"}), Seen{}) << unknown;
  }
}

TEST(ProcessMessages, ValuesThatAreNotNumbersReadAsZero) {
  EXPECT_EQ(apply_reads({"_P_Pabc$_P_V$_P_BS-$_P_S x$"}), (Seen{"P0", "V0", "BS0", "S0"}));
  // Integer fields keep the low 32 bits; the speeds keep all 64.
  EXPECT_EQ(apply_reads({"_P_V4294967299$_P_BD-4294967295$_P_BQ4294967296$"}),
            (Seen{"V3", "BD1", "BQ4294967296"}));
}

// Mended: a message split between two reads used to lose both reads whole.
TEST(ProcessMessages, MessageSplitAcrossReadsIsAppliedOnceWhenComplete) {
  NetState net;
  EXPECT_EQ(apply_reads(net, {"_P_P5$_P_P"}), Seen{"P5"});
  EXPECT_EQ(net.unfinished, "_P_P");
  EXPECT_EQ(apply_reads(net, {"6$_P_P7$"}), (Seen{"P6", "P7"}));
  EXPECT_TRUE(net.unfinished.empty());

  // Cut inside the "_P_" itself, and a terminator arriving alone.
  EXPECT_EQ(apply_reads({"_P_R$_", "P_P3", "", "$"}), (Seen{"R", "P3"}));
  EXPECT_EQ(apply_reads({"noise_P", "_XS$"}), Seen{"XS"});
}

TEST(ProcessMessages, AnySplitOfTheStreamGivesTheSameMessages) {
  const std::string stream =
      "_P_V2$_P_R$_P_S1$_P_P4$_P_BD1$_P_BQ10$_P_BS50$_P_BE$_P_XASR$_P_G$_P_D$_P_BYE$";
  const Seen whole = apply_reads({stream});
  ASSERT_EQ(whole.size(), 12u);
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    EXPECT_EQ(apply_reads({stream.substr(0, cut), stream.substr(cut)}), whole) << cut;
  }
  std::vector<std::string> bytes;
  for (char c : stream) bytes.emplace_back(1, c);
  EXPECT_EQ(apply_reads(bytes), whole);
}

// Mended: noise used to drop the rest of its read, good messages included.
TEST(ProcessMessages, NoiseBetweenMessagesIsSkipped) {
  EXPECT_EQ(apply_reads({"_P_P5$abc$_P_P7$"}), (Seen{"P5", "P7"}));
  EXPECT_EQ(apply_reads({"hello_P_P3$"}), Seen{"P3"});
  EXPECT_EQ(apply_reads({std::string("_P_P1$\0\0_P_P2$", 14)}), (Seen{"P1", "P2"}));
  EXPECT_EQ(apply_reads({"$$$", "_P_G$"}), Seen{"G"});
  // A message that never got its "$" runs into the next one, as on the wire.
  EXPECT_EQ(apply_reads({"_P_P5_P_P6$"}), Seen{"P5"});
}

// Mended: a peer sending without end cannot make the game hold more than a
// bounded tail; the oversized message is dropped and later ones still count.
TEST(ProcessMessages, FloodWithoutTerminatorKeepsMemoryBounded) {
  NetState net;
  RecordingHandler handler;
  std::string read = "_P_P" + std::string(receive_buffer_size - 4, '9');
  size_t largest_capacity = 0;
  for (size_t sent = 0; sent < 64 * 1024; sent += read.size()) {
    net.received_text = read;
    process_messages(net, handler);
    EXPECT_LE(net.unfinished.size(), max_unfinished_bytes);
    largest_capacity = std::max(largest_capacity, net.unfinished.capacity());
    read.assign(receive_buffer_size, '9');
  }
  EXPECT_LE(largest_capacity, 4 * max_unfinished_bytes);
  net.received_text = "9$_P_P8$";
  process_messages(net, handler);
  EXPECT_EQ(handler.seen, Seen{"P8"});
}

TEST(ProcessMessages, TailOfExactlyTheLimitIsKept) {
  const std::string long_message = "_P_P" + std::string(max_unfinished_bytes - 4, '0') + "7";
  ASSERT_EQ(long_message.size(), max_unfinished_bytes + 1);
  EXPECT_EQ(apply_reads({long_message.substr(0, max_unfinished_bytes), "7$"}), Seen{"P7"});
  EXPECT_EQ(apply_reads({long_message, "$_P_R$"}), Seen{"R"});
}

TEST(ProcessMessages, ClearingForgetsAnUnfinishedMessage) {
  NetState net;
  apply_reads(net, {"_P_P1"});
  net.clear_received();
  EXPECT_EQ(apply_reads(net, {"2$_P_R$"}), Seen{"R"});
}

TEST(ParseInt, ReadsDecimalHexadecimalAndBinaryWithSign) {
  EXPECT_EQ(parse_int("  5000x"), 5000);
  EXPECT_EQ(parse_int("$1388"), 5000);
  EXPECT_EQ(parse_int("$fF"), 255);
  EXPECT_EQ(parse_int("%101"), 5);
  EXPECT_EQ(parse_int("%102"), 2);
  EXPECT_EQ(parse_int("-7"), -7);
  EXPECT_EQ(parse_int("\t+12 34"), 12);
  EXPECT_EQ(parse_int("-$10"), -16);
  EXPECT_EQ(parse_int("0003214"), 3214);
  for (const char* nothing : {"", "   ", "-", "+", "$", "%", "x1", "- 5", "$g", "%2"}) {
    EXPECT_EQ(parse_int(nothing), 0) << '"' << nothing << '"';
  }
}

// Mended: an over-long number wraps as a 64-bit word instead of overflowing.
TEST(ParseInt, OverlongNumbersWrapIn64Bits) {
  EXPECT_EQ(parse_int("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(parse_int("9223372036854775808"), INT64_MIN);
  EXPECT_EQ(parse_int("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(parse_int("18446744073709551615"), -1);
  EXPECT_EQ(parse_int("100000000000000000000"), 7766279631452241920);
  EXPECT_EQ(parse_int("$10000000000000001"), 1);
  EXPECT_EQ(static_cast<int32_t>(parse_int("4294967296")), 0) << "a port keeps the low 32 bits";
  EXPECT_EQ(parse_int(std::string(10000, '9')), parse_int(std::string(10000, '9')));
}

TEST(Messages, AreBuiltByteForByte) {
  EXPECT_EQ(hello_message("QPLMZKXRTVBNSDWEHJGC"), "_P_HIQPLMZKXRTVBNSDWEHJGC");
  EXPECT_EQ(verified_message(2), "_P_VARIFIED2");
  EXPECT_EQ(character_message(5), "_P_V5");
  EXPECT_EQ(start_message(true), "_P_S1");
  EXPECT_EQ(start_message(false), "_P_S0");
  EXPECT_EQ(direction_message(3), "_P_BD3");
  // Halves go to the even neighbour.
  EXPECT_EQ(paddle_message(5.0), "_P_P5");
  EXPECT_EQ(paddle_message(4.5), "_P_P4");
  EXPECT_EQ(paddle_message(5.5), "_P_P6");
  EXPECT_EQ(paddle_message(18.6f), "_P_P19");
  EXPECT_EQ(speed_y_message(0.05f), "_P_BS50");
  EXPECT_EQ(speed_x_message(0.01f), "_P_BQ10");
  EXPECT_EQ(speed_x_message(-0.0125), "_P_BQ-12");
  EXPECT_EQ(speed_y_message(0.0725), "_P_BS72");
}

// Everything the game sends arrives exactly as written, "$" included.
TEST(Messages, GoOutOnTheWireExactly) {
  LoopbackPair pair;
  const auto [guest, accepted] = pair.join_and_accept();
  NetState from_guest;
  from_guest.peer = guest;
  NetState from_host;
  from_host.peer = accepted;

  send_message(pair.guest, from_guest, hello_message("QPLMZKXRTVBNSDWEHJGC"));
  send_message(pair.guest, from_guest, paddle_message(5));
  send_serve_group(pair.guest, from_guest, 1, 0.01, 0.05);
  send_hit_group(pair.guest, from_guest, 2, 0.02, 0.06);
  for (std::string_view fixed : {ready_message, ball_hidden_message, shield_message,
                                 shield_return_message, point_lost_message, goodbye_message}) {
    send_message(pair.guest, from_guest, fixed);
  }
  EXPECT_EQ(send_message(pair.host, from_host, match_over_message), 5);

  char buffer[512];
  const int32_t count = pair.host.receive(accepted, buffer, sizeof buffer);
  ASSERT_GT(count, 0);
  EXPECT_EQ(std::string(buffer, static_cast<size_t>(count)),
            "_P_HIQPLMZKXRTVBNSDWEHJGC$_P_P5$"
            "_P_BD1$_P_BQ10$_P_BS50$_P_BE$"
            "_P_BD2$_P_BS60$_P_BQ20$_P_BE$"
            "_P_R$_P_XD$_P_XS$_P_XASR$_P_G$_P_BYE$");
  ASSERT_EQ(pair.guest.receive(guest, buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "_P_D$");

  NetState nobody;
  EXPECT_EQ(send_message(pair.guest, nobody, ready_message), -1);
}

TEST(ReceiveStep, GuestReadsItsOwnConnection) {
  LoopbackPair pair;
  const auto [guest, accepted] = pair.join_and_accept();
  NetState net;
  net.peer = guest;
  int foreign = 0;
  const auto count_foreign = [&] { ++foreign; };

  EXPECT_EQ(receive_step(pair.guest, net, PeerRole::guest, count_foreign), NetEvent::none);
  EXPECT_TRUE(net.received_text.empty());
  pair.host.send_text(accepted, "_P_S1$_P_P4$");
  EXPECT_EQ(receive_step(pair.guest, net, PeerRole::guest, count_foreign), NetEvent::data);
  EXPECT_EQ(net.received_text, "_P_S1$_P_P4$");
  EXPECT_EQ(foreign, 0);
}

TEST(ReceiveStep, HostReadsThePeerAndTellsOfEveryOtherConnection) {
  LoopbackPair pair;
  const auto [guest, peer] = pair.join_and_accept();
  NetState net;
  net.peer = peer;
  RecordingHandler handler;
  int foreign = 0;
  // One frame of the match: receive, then apply.
  const auto frame = [&] {
    const NetEvent event = receive_step(pair.host, net, PeerRole::host, [&] { ++foreign; });
    process_messages(net, handler);
    return event;
  };

  pair.guest.send_text(guest, "_P_P9$");
  EXPECT_EQ(frame(), NetEvent::data);
  EXPECT_EQ(handler.seen, Seen{"P9"});
  EXPECT_EQ(foreign, 0);

  // A stranger arrives: told once.
  const Connection stranger = pair.join();
  EXPECT_EQ(frame(), NetEvent::connected);
  const Connection stranger_here = pair.host.event_connection();
  EXPECT_EQ(foreign, 1);

  // While its bytes wait unread, every frame tells of it, and the peer's own
  // messages are still read on those frames.
  pair.guest.send_text(stranger, "_P_D$");
  EXPECT_EQ(frame(), NetEvent::data);
  EXPECT_EQ(foreign, 2);
  pair.guest.send_text(guest, "_P_G$");
  EXPECT_EQ(frame(), NetEvent::data);
  EXPECT_EQ(foreign, 3);
  EXPECT_EQ(handler.seen, (Seen{"P9", "G"})) << "nothing of the stranger's is applied";

  // The stranger leaving is told too; the peer leaving is not.
  char drain[16];
  EXPECT_EQ(pair.host.receive(stranger_here, drain, sizeof drain), 5);
  pair.guest.close_connection(stranger);
  EXPECT_EQ(frame(), NetEvent::disconnected);
  EXPECT_EQ(foreign, 4);
  pair.guest.close_connection(guest);
  EXPECT_EQ(frame(), NetEvent::disconnected);
  EXPECT_EQ(pair.host.event_connection(), peer);
  EXPECT_EQ(foreign, 4);
  EXPECT_EQ(send_message(pair.host, net, ready_message), -1) << "the old peer is never touched";
}

}  // namespace
}  // namespace tornello
