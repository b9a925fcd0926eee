// Whole matches between two games: hosting and joining through the menus, the
// handshake and its pause, character selection, play to the end or until someone
// leaves, and the way back to the main menu, checked on both sides and the wire;
// getting together failing, each way told; the router asked to forward the port
// (a fake one on loopback) keeping it as long as the hosting lasts; and the main
// menu back with no socket left open each time.
#include "support/fake_router.h"
#include "two_games.h"

namespace tornello {
namespace {

// A seed whose first draws satisfy `wanted`, so a test can count on a chance.
uint32_t seed_where(const std::function<bool(Random&)>& wanted) {
  for (uint32_t seed = 1;; ++seed) {
    Random random;
    random.seed(seed);
    if (wanted(random)) return seed;
  }
}

// Serve and hit groups: direction first, then the speeds (a serve sends the
// sideways speed first, a hit the speed along the court), then "_P_BE".
size_t groups(const std::vector<std::string>& wire, bool serves) {
  size_t found = 0;
  for (size_t at = 0; at + 3 < wire.size(); ++at) {
    found += wire[at].starts_with("_P_BD") &&
             wire[at + 1].starts_with(serves ? "_P_BQ" : "_P_BS") && wire[at + 3] == "_P_BE";
  }
  return found;
}

class MatchTest : public TwoGamesTest {
 protected:
  // The host's draw at the start of play is made to give `serves`, every match.
  void host_serves(bool serves) {
    const uint32_t seed = seed_where([serves](Random& r) { return r.next(1) == int32_t{serves}; });
    host->on_pump = [this, seed] {
      const MatchState& match = host->game.match;
      if (match.peer_ready && !match.started) host->game.random.seed(seed);
    };
  }
};

// A guest with the wrong handshake word is refused; with the right one it plays
// a short match to the end, then joins by name, pasted with blanks, and leaves.
TEST_F(MatchTest, WrongWordRefusedThenAShortMatchToTheEndThenASecondByNameThatTheGuestLeaves) {
  make_players(80, 80);
  host_serves(true);
  // The same letters in another case are another word.
  const std::string word = guest->game.settings.handshake_word;
  std::string& wrong = guest->game.settings.handshake_word;
  std::transform(wrong.begin(), wrong.end(), wrong.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::string wrong_hello = "_P_HI" + wrong + "$";
  on_each_line(*guest, [&](const std::string& heard) {
    if (heard == line(10)) guest->game.settings.handshake_word = word;
  });
  host_round(host->pilot, host_port, 1);
  host_round(host->pilot, host_port, 1);
  choose_character(host->pilot, 2);
  host_round(host->pilot, host_port, 1);
  choose_character(host->pilot, 3);
  exit_game(host->pilot);
  join_round(guest->pilot, relay.port(), host_is_waiting(0));
  join_round(guest->pilot, relay.port(), host_is_waiting(1));
  choose_character(guest->pilot, 4);
  join_round(guest->pilot, relay.port(), host_is_waiting(2), " localhost\t");
  choose_character(guest->pilot, 1);
  leave_as_play_starts(guest->pilot);
  exit_game(guest->pilot);
  play();
  const std::vector<std::string>& h = host->heard;
  const std::vector<std::string>& g = guest->heard;
  const std::string menu = "say " + main_menu;
  const size_t h1 = nth(h, said(2), 1), h2 = nth(h, said(2), 2);
  const size_t g1 = nth(g, connecting_line(relay.port()), 1);
  const size_t g2 = nth(g, connecting_line(relay.port(), "localhost"));
  ASSERT_LT(h2, h.size()) << "the host never hosted a third time" << last_lines(*host);
  ASSERT_LT(g2, g.size()) << "the guest never joined by name" << last_lines(*guest);
  // The wrong word: the host hangs up without a word, so the guest hears at
  // once that nobody will answer, and the failure stays a moment.
  EXPECT_TRUE(heard_in_order(h, 0, h1, {said(4), "say 127.0.0.1 " + line(5), menu}));
  EXPECT_EQ(count_from(h, 0, h1, said(6)), 0u);
  EXPECT_TRUE(heard_in_order(g, 0, g1, {said(11), said(10), menu}));
  EXPECT_GE(least_ms_between(*guest, said(10), menu), 1000);
  // The first match, as each player heard it.
  EXPECT_TRUE(heard_in_order(
      h, h1, h2,
      {said(2), said(3), said(4), "say 127.0.0.1 " + line(5), said(6), "play music/charselect",
       "play chars/2/name", "play music/ingame", said(7), "play chars/4/intro", said(15)}));
  EXPECT_TRUE(heard_in_order(
      g, g1, g2,
      {connecting_line(relay.port()), said(11), "play music/charselect", "play chars/4/name",
       "play music/ingame", said(12), "play chars/2/intro", said(14)}));
  // After the handshake both sides hold still a while before the selection.
  EXPECT_GE(least_ms_between(*host, said(6), "play music/charselect"), 2000);
  EXPECT_GE(least_ms_between(*guest, said(11), "play music/charselect"), 2000);
  const std::vector<Score> host_scores = scores(h, h1, h2);
  expect_a_whole_match(host_scores, scores(g, g1, g2), 11);
  const Score final_score = host_scores.back();
  const bool host_won = final_score.first > final_score.second;
  const std::string final_line = "say " + line(18) + ": " + std::to_string(final_score.first) +
                                 " " + line(19) + " " + std::to_string(final_score.second);
  EXPECT_TRUE(heard_in_order(h, h1, h2,
                             {said(host_won ? 17 : 16), final_line,
                              host_won ? "play music/game_won" : "play music/game_lost"}));
  EXPECT_TRUE(heard_in_order(
      g, g1, g2,
      {said(host_won ? 16 : 17), host_won ? "play music/game_lost" : "play music/game_won"}));
  const size_t points = host_scores.size();
  EXPECT_EQ(count_from(h, h1, h2, "play pong/goal"), points);
  EXPECT_EQ(count_from(g, g1, g2, "play pong/goal"), points);
  // The first match on the wire.
  const std::vector<WireTap::Session> sessions = relay.sessions();
  ASSERT_EQ(sessions.size(), 3u);
  EXPECT_EQ(sessions[0].to_host, wrong_hello);
  EXPECT_EQ(sessions[0].to_guest, "");
  const std::vector<std::string> from_guest = messages(sessions[1].to_host);
  const std::vector<std::string> from_host = messages(sessions[1].to_guest);
  ASSERT_FALSE(from_guest.empty());
  ASSERT_FALSE(from_host.empty());
  EXPECT_EQ(from_guest.front(), "_P_HI" + word);
  EXPECT_EQ(from_host.front(), "_P_VARIFIED1");
  const auto ready = std::find(from_guest.begin(), from_guest.end(), "_P_V4");
  ASSERT_NE(ready, from_guest.end());
  EXPECT_EQ(*(ready + 1), "_P_R");
  EXPECT_EQ(count_of(from_host, "_P_V2"), 1u);
  EXPECT_EQ(count_of(from_host, "_P_S1"), 1u);
  EXPECT_EQ(count_of(from_host, "_P_D"), 1u);
  // Each side sends "_P_G" for every point it loses; the host serves every ball.
  EXPECT_EQ(count_of(from_guest, "_P_G"), static_cast<size_t>(final_score.first));
  EXPECT_EQ(count_of(from_host, "_P_G"), static_cast<size_t>(final_score.second));
  EXPECT_EQ(groups(from_host, true), points);
  EXPECT_EQ(groups(from_guest, true), 0u);
  EXPECT_GT(groups(from_guest, false), 0u) << "the guest never returned a ball";
  // Whoever leaves first says goodbye, and nothing follows it.
  EXPECT_TRUE(from_host.back() == "_P_BYE" || from_guest.back() == "_P_BYE");
  EXPECT_LE(count_of(from_host, "_P_BYE"), 1u);
  EXPECT_LE(count_of(from_guest, "_P_BYE"), 1u);
  // The second match: the guest leaves as play starts; the host goes back quietly.
  EXPECT_TRUE(heard_in_order(h, h2, h.size(),
                             {"say 127.0.0.1 " + line(5), said(6), "play chars/3/name", said(7),
                              "play chars/1/intro", said(15), "stop everything", menu}));
  EXPECT_EQ(count_all(h, said(21)), 0u);
  EXPECT_TRUE(heard_in_order(g, g2, g.size(), {said(12), said(14), menu}));
  const std::vector<std::string> second_from_guest = messages(sessions[2].to_host);
  ASSERT_FALSE(second_from_guest.empty());
  EXPECT_EQ(second_from_guest.back(), "_P_BYE");
  EXPECT_EQ(count_of(messages(sessions[2].to_guest), "_P_BYE"), 0u);
  EXPECT_EQ(guest->game.settings.last_host, "localhost");
  // Back at the main menu after each match, nobody holds a socket.
  EXPECT_EQ(host_endpoints, Endpoints(4, {0, 0}));
  EXPECT_EQ(guest_endpoints, Endpoints(4, {0, 0}));
}

// First each side fails to get together: the host on a port someone else holds,
// on port 0 (no guest could be told it), then giving up its wait; the guest
// finding nobody on the port, then giving up on a listener that never answers.
// Each failure is told once and stays a moment. Then a long match, the guest
// serving, is played to 21.
TEST_F(MatchTest, EachSideFailsToGetTogetherThenALongMatchWithTheGuestServing) {
  Transport squatter, silent;
  const uint16_t squatted = free_port();
  ASSERT_TRUE(squatter.open_server(0, squatted));
  ASSERT_TRUE(silent.open_server(0, 0));
  const uint16_t silent_port = silent.server_port(0);
  make_players(70, 70);
  host_serves(false);
  host_round(host->pilot, squatted, 1);
  host_round(host->pilot, 0, 1);
  host_round(host->pilot, free_port(), 1);
  host->pilot.when_heard_entry(4).tap(key::escape);
  host_round(host->pilot, host_port, 2);
  choose_character(host->pilot, 5);
  exit_game(host->pilot);
  join_round(guest->pilot, free_port());  // nothing listens there
  join_round(guest->pilot, silent_port);
  guest->pilot.when_heard_entry(11).tap(key::escape);
  join_round(guest->pilot, relay.port(), host_is_waiting(1));
  choose_character(guest->pilot, 3);
  exit_game(guest->pilot);
  play();
  const std::string menu = "say " + main_menu;
  const std::vector<std::string>& h = host->heard;
  const std::vector<std::string>& g = guest->heard;
  const std::string taken = "say " + line(22) + " " + std::to_string(squatted);
  EXPECT_TRUE(heard_in_order(
      h, {said(2), said(3), taken, menu, said(2), said(3), "say " + line(22) + " 0", menu, said(2),
          said(3), said(4), "stop music/connection", menu, said(4), said(7), said(14)}))
      << last_lines(*host);
  EXPECT_GE(least_ms_between(*host, taken, menu), 1000);
  EXPECT_TRUE(heard_in_order(g, {said(62), menu, connecting_line(silent_port), said(11),
                                 "stop music/connection", menu, said(11), said(12), said(15)}))
      << last_lines(*guest);
  EXPECT_EQ(count_all(g, said(62)), 1u);
  EXPECT_EQ(count_all(g, said(10)), 0u);
  EXPECT_GE(least_ms_between(*guest, said(62), menu), 1000);
  EXPECT_EQ(host_endpoints, Endpoints(5, {0, 0}));
  EXPECT_EQ(guest_endpoints, Endpoints(4, {0, 0}));
  // The listener got the hello, then saw the guest hang up.
  ASSERT_EQ(silent.poll_server(), NetEvent::connected);
  const Connection guest_end = silent.event_connection();
  ASSERT_EQ(silent.poll_server(), NetEvent::data);
  char buffer[64] = {};
  const int32_t count = silent.receive(guest_end, buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, count > 0 ? count : 0),
            "_P_HI" + guest->game.settings.handshake_word + "$");
  EXPECT_EQ(silent.poll_server(), NetEvent::disconnected);
  // The match.
  const std::vector<Score> host_scores = scores(h);
  expect_a_whole_match(host_scores, scores(g), 21);
  const std::vector<WireTap::Session> sessions = relay.sessions();
  ASSERT_EQ(sessions.size(), 1u);
  const std::vector<std::string> from_guest = messages(sessions[0].to_host);
  const std::vector<std::string> from_host = messages(sessions[0].to_guest);
  ASSERT_FALSE(from_host.empty());
  EXPECT_EQ(from_host.front(), "_P_VARIFIED2");
  EXPECT_EQ(count_of(from_host, "_P_S0"), 1u);
  // The guest serves every ball; once, perhaps, just after the last point,
  // before the host's word that the match is over has come.
  EXPECT_GE(groups(from_guest, true), host_scores.size());
  EXPECT_LE(groups(from_guest, true), host_scores.size() + 1);
  EXPECT_EQ(groups(from_host, true), 0u);
}

TEST_F(MatchTest, ShieldAndHiddenBallInARallyThenTheHostLeaves) {
  make_players(85, 100);
  host_serves(true);
  // The guest's first return earns both bonuses: after the two speed gains the
  // shield draw gives 7 of 0..10, the crowd's "oh" takes one draw, and the hide
  // draw gives 13 of 0..20.
  const uint32_t bonus_seed = seed_where([](Random& r) {
    r.next(5);
    r.next(5);
    if (r.next(10) != 7) return false;
    r.next(2);
    return r.next(20) == 13;
  });
  guest->on_pump = [this, bonus_seed] {
    const MatchState& match = guest->game.match;
    if (match.ball.flight == BallFlight::incoming && match.ball.y < 6.5f && !match.me.shield_up &&
        !match.ball.hidden) {
      guest->game.random.seed(bonus_seed);
    }
  };
  host_round(host->pilot, host_port, 1);
  choose_character(host->pilot, 1);
  leave_on(host->pilot, 0);
  exit_game(host->pilot);
  join_round(guest->pilot, relay.port(), host_is_waiting(0));
  choose_character(guest->pilot, 1);
  exit_game(guest->pilot);
  play();
  // The guest's return, then the shield, then the hidden ball.
  const std::vector<WireTap::Session> sessions = relay.sessions();
  ASSERT_EQ(sessions.size(), 1u);
  const std::vector<std::string> from_guest = messages(sessions[0].to_host);
  const auto shield = std::find(from_guest.begin(), from_guest.end(), "_P_XS");
  ASSERT_NE(shield, from_guest.end());
  ASSERT_GE(shield - from_guest.begin(), 4);
  ASSERT_NE(shield + 1, from_guest.end());
  EXPECT_EQ(*(shield - 1), "_P_BE");
  EXPECT_EQ(*(shield + 1), "_P_XD");
  EXPECT_TRUE((shield - 4)->starts_with("_P_BD"));
  EXPECT_TRUE((shield - 3)->starts_with("_P_BS"));
  EXPECT_TRUE((shield - 2)->starts_with("_P_BQ"));
  const std::vector<std::string>& h = host->heard;
  const std::vector<std::string>& g = guest->heard;
  EXPECT_TRUE(heard_in_order(g, {"play misc/shieldon", "play misc/shieldloop",
                                 "play misc/disappear", "stop pong/rolling"}));
  // The host hears the opponent's shield come on and the ball fall silent, and
  // hears it again when it is struck back or the point is decided.
  EXPECT_TRUE(heard_in_order(h, {"play opponent misc/shieldon", "play opponent misc/shieldloop",
                                 "stop pong/rolling", "play misc/disappear", "play misc/appear"}));
  // The host left after the first point: it said goodbye; the guest went back quietly.
  const std::vector<std::string> from_host = messages(sessions[0].to_guest);
  ASSERT_FALSE(from_host.empty());
  EXPECT_EQ(from_host.back(), "_P_BYE");
  EXPECT_EQ(count_of(from_guest, "_P_BYE"), 0u);
  EXPECT_EQ(scores(h).size(), 1u);
  EXPECT_TRUE(heard_in_order(g, {"stop everything", "say " + main_menu}));
  EXPECT_EQ(count_all(g, said(21)), 0u);
  EXPECT_EQ(guest_endpoints.back(), std::make_pair(size_t{0}, size_t{0}));
}

// Four hostings with the router's port wanted: forwarded and given up with
// Escape; forwarded for a match the guest leaves; taken by someone else;
// refused. Each answer is told in one line and the host waits on; a forwarded
// port is taken back before the main menu comes again.
TEST_F(MatchTest, TheRoutersAnswerIsToldAndItsPortLastsAsLongAsTheHosting) {
  FakeRouter router;
  make_players(85, 85);
  host->game.settings.open_router_port = true;
  host->game.settings.router_url = router.url();
  Endpoints router_at_menu;  // mappings added and deleted
  int menus = 0;
  std::atomic<int> opened_told{0};
  const std::string opened = join_line(48, FakeRouter::external_address, host_port);
  on_each_line(*host, [&](const std::string& heard) {
    opened_told += "say " + heard == opened;
    if (heard != main_menu) return;
    router_at_menu.emplace_back(router.count("AddPortMapping"), router.count("DeletePortMapping"));
    if (++menus == 3) router.refuse_with(718);
    if (menus == 4) router.refuse_with(606);
  });
  Autopilot& pilot = host->pilot;
  host_round(pilot, host_port, 1);
  pilot.when_heard([&](const std::string& heard) { return "say " + heard == opened; });
  pilot.tap(key::escape);
  host_round(pilot, host_port, 1);
  choose_character(pilot, 2);
  host_round(pilot, host_port, 1);
  pilot.when_heard_entry(51).tap(key::escape);
  host_round(pilot, host_port, 1);
  pilot.when_heard_entry(50).tap(key::escape);
  exit_game(pilot);
  join_round(guest->pilot, relay.port(), [&] { return opened_told > 1; });
  choose_character(guest->pilot, 1);
  leave_as_play_starts(guest->pilot);
  exit_game(guest->pilot);
  play();

  const std::vector<std::string>& h = host->heard;
  const std::string menu = "say " + main_menu;
  EXPECT_TRUE(heard_in_order(h, {said(4), opened, menu, said(4), said(6), menu, said(4), said(51),
                                 menu, said(4), said(50), menu}))
      << last_lines(*host);
  EXPECT_EQ(count_all(h, opened), 2u);
  EXPECT_EQ(router_at_menu, (Endpoints{{0, 0}, {1, 1}, {2, 2}, {3, 2}, {4, 2}}));
}

}  // namespace
}  // namespace tornello
