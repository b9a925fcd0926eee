// Whole matches between two games through the menus, checked on both sides and
// on the wire, with no socket left open at the main menu each time.
#include "two_games.h"

namespace tornello {
namespace {

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

using MatchTest = TwoGamesTest;

// A guest with the wrong handshake word is refused; with the right one it plays
// a short match to the end, then joins by name, pasted with blanks, and leaves.
// Last, the host cannot open port 0 nor a busy one, and each side gives up a wait.
TEST_F(MatchTest, WrongWordRefusedThenAShortMatchToTheEndThenASecondByNameThatTheGuestLeaves) {
  make_players(80, 80);
  // The host's draw as play starts gives it every serve.
  uint32_t seed = 1;
  for (Random r; r.seed(seed), r.next(1) != 1;) ++seed;
  host->on_pump = [this, seed] {
    if (host->game.match.peer_ready && !host->game.match.started) host->game.random.seed(seed);
  };
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
  for (uint16_t port : {uint16_t{0}, relay.port(), host_port}) host_round(host->pilot, port, 1);
  host->pilot.when_heard_entry(4).tap(key::escape);
  exit_game(host->pilot);
  join_round(guest->pilot, relay.port(), host_is_waiting(0));
  join_round(guest->pilot, relay.port(), host_is_waiting(1));
  choose_character(guest->pilot, 4);
  join_round(guest->pilot, relay.port(), host_is_waiting(2), " localhost\t");
  choose_character(guest->pilot, 1);
  leave_as_play_starts(guest->pilot);
  const WireTap silent(0);  // never pumped: it takes the connection and says nothing
  join_round(guest->pilot, silent.port());
  guest->pilot.when_heard_entry(11).idle().tap(key::escape);  // the last Escape let go first
  exit_game(guest->pilot);
  play();
  const std::vector<std::string>& h = host->heard;
  const std::vector<std::string>& g = guest->heard;
  const size_t h1 = nth(h, said(2), 1), h2 = nth(h, said(2), 2);
  const size_t g1 = nth(g, connecting_line(relay.port()), 1);
  const size_t g2 = nth(g, connecting_line(relay.port(), "localhost"));
  ASSERT_LT(h2, h.size()) << "the host never hosted a third time" << last_lines(*host);
  ASSERT_LT(g2, g.size()) << "the guest never joined by name" << last_lines(*guest);
  // The wrong word: the host hangs up without a word, so the guest hears at
  // once that nobody will answer, and the failure stays a moment.
  EXPECT_TRUE(heard_in_order(h, 0, h1, {said(4), "say 127.0.0.1 " + line(5), menu}));
  EXPECT_EQ(count_all(h, said(6), 0, h1), 0u);
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
  // The first match on the wire.
  const std::vector<WireTap::Session> sessions = relay.sessions();
  ASSERT_EQ(sessions.size(), 3u);
  EXPECT_EQ(sessions[0].to_host, wrong_hello);
  EXPECT_EQ(sessions[0].to_guest, "");
  const std::vector<std::string> from_guest = messages(sessions[1].to_host);
  const std::vector<std::string> from_host = messages(sessions[1].to_guest);
  ASSERT_TRUE(!from_guest.empty() && !from_host.empty());
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
  EXPECT_EQ(groups(from_host, true), host_scores.size());
  EXPECT_EQ(groups(from_guest, true), 0u);
  EXPECT_GT(groups(from_guest, false), 0u) << "the guest never returned a ball";
  // Whoever leaves first says goodbye, and nothing follows it.
  EXPECT_TRUE(from_host.back() == "_P_BYE" || from_guest.back() == "_P_BYE");
  EXPECT_LE(count_of(from_host, "_P_BYE"), 1u);
  EXPECT_LE(count_of(from_guest, "_P_BYE"), 1u);
  // The second match: the guest leaves as play starts; the host goes back quietly.
  EXPECT_TRUE(heard_in_order(
      h, h2, h.size(),
      {"say 127.0.0.1 " + line(5), said(6), "play chars/3/name", said(7), "play chars/1/intro",
       said(15), "stop everything", menu, "say " + line(22) + " 0", menu,
       "say " + line(22) + " " + std::to_string(relay.port()), menu, said(4), menu}));
  EXPECT_EQ(count_all(h, said(21)), 0u);
  EXPECT_TRUE(heard_in_order(
      g, g2, g.size(), {said(12), said(14), menu, connecting_line(silent.port()), said(11), menu}));
  EXPECT_EQ(count_all(g, said(10)), 1u) << "a wait given up is no failure";
  EXPECT_TRUE(sessions[2].to_host.ends_with("_P_BYE$"));
  EXPECT_EQ(count_of(messages(sessions[2].to_guest), "_P_BYE"), 0u);
  EXPECT_EQ(guest->game.settings.last_host, "localhost");
  // Back at the main menu after each match, nobody holds a socket.
  EXPECT_EQ(host_endpoints, Endpoints(7, {0, 0}));
  EXPECT_EQ(guest_endpoints, Endpoints(5, {0, 0}));
}

}  // namespace
}  // namespace tornello
