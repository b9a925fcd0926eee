// The match loop: leaving it, messages held up by a point, and a peer that vanishes.
#include <chrono>
#include <thread>

#include "match/match_fixture.h"

namespace tornello {
namespace {

// True when the game has closed its end of the stream.
bool closed_by_game(Transport& other, Connection link) {
  char byte = 0;
  return other.receive(link, &byte, 1) == 0;
}

TEST_F(MatchTest, EscapeWhileWaitingSaysGoodbyeAndNothingCarriesIntoTheNextMatch) {
  MatchState& match = game->match;
  match.my_character = 4;
  match.opponent_character = 5;
  match.my_serve = true;
  match.me.shield_up = match.opponent.shield_up = match.ball.hidden = true;
  press(key::escape);
  EXPECT_EQ(run_match(*game), Next::main_menu);
  EXPECT_EQ(sent(), std::vector<std::string>{"_P_BYE"});
  EXPECT_TRUE(closed_by_game(other, link));
  EXPECT_EQ(heard_since().back(), "stop everything");
  EXPECT_FALSE(match.me.shield_up || match.opponent.shield_up || match.ball.hidden);
  EXPECT_TRUE(match.my_character == 4 && match.opponent_character == 5 && match.my_serve);
}

TEST_F(MatchTest, ReceivedGoodbyeLeavesWithoutAnswerAndDropsTheRestOfItsRead) {
  in_play();
  then([this] { peer_sends("_P_BYE$_P_P5$"); });
  EXPECT_EQ(run_match(*game), Next::main_menu);
  EXPECT_TRUE(closed_by_game(other, link)) << "nothing sent, and no socket outlives the match";
  EXPECT_EQ(plays(game->bank.opponent_move), 0u);
}

TEST_F(MatchTest, MessagesDuringAPointSequenceApplyAfterItInOrder) {
  in_play();
  incoming_ball(10.0f, 0.5f);
  const uint32_t start = platform.elapsed_ms();
  each_pump = [&] {
    if (platform.elapsed_ms() - start == 1000) peer_sends("_P_P5$_P_XS$");
    if (platform.elapsed_ms() - start == 5000) peer_sends("_P_P7$");
  };
  idle();  // the frame of the point
  then([this] { EXPECT_EQ(game->match.opponent.paddle_x, 7.0f); });
  press(key::escape);
  run_match(*game);
  EXPECT_TRUE(matches(heard_since(10),
                      {"announce 1", "play pong/move", "play misc/shieldon", "play misc/shieldloop",
                       "play crowd/oh#", "play pong/move", "stop everything"}))
      << testing::PrintToString(heard);
}

TEST_F(MatchTest, PeerThatVanishesEndsTheMatchWithALine) {
  for (PeerRole role : {PeerRole::host, PeerRole::guest}) {
    connect(role);
    in_play();
    then([this, role] {
      if (role == PeerRole::host) other.close_connection(link);
      if (role == PeerRole::guest) other.close_server(host_server_id);
    });
    EXPECT_EQ(run_match(*game), Next::main_menu);
    EXPECT_EQ(platform.title(), "Gone");
    EXPECT_FALSE(game->match.started);
  }

  // A host that goes with the guest's bytes unread resets the stream: the
  // guest's very next frame hears it.
  connect(PeerRole::guest);
  in_play();
  send_message(game->transport, game->net, "_P_P3");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  other.close_server(host_server_id);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  platform.set_title("");
  game->match.left = false;
  receive_and_apply(*game);
  EXPECT_EQ(platform.title(), "Gone");
}

}  // namespace
}  // namespace tornello
