// Two hundred rounds of hosting and joining between the same two games, every
// fourth one a match played to its end (result, music, the wait for Enter), the
// others left as soon as they begin. Between the warm-up and the last round
// nothing may pile up: open files, memory, open sockets, and the sounds loaded
// for menus, character selection, the announcer and the music, each of which
// must be freed when the next one replaces it.
#include "e2e/two_games.h"
#include "support/process_resources.h"

namespace tornello {
namespace {

constexpr int rounds = 200;
constexpr int warm_up_rounds = 20;
// Every fourth round is played to the end of its match.
constexpr int completed_every = 4;

struct Reading {
  size_t files = 0;
  size_t memory = 0;
  size_t sounds[2] = {0, 0};
  std::pair<size_t, size_t> endpoints[2];
};

class ResourcesTest : public TwoGamesTest {
 protected:
  static bool completes(int round) { return round % completed_every == completed_every - 1; }

  void script(Player& player, int side) {
    player.pilot.on_empty = [this, &player, side, round = 0](Autopilot& pilot) mutable {
      if (round == rounds) exit_game(pilot);
      if (round >= rounds) {
        round = rounds + 1;
        return;
      }
      if (side == 0) {
        host_round(pilot, host_port, 1 + round % 2);
        choose_character(pilot, 1 + round % 5);
        // A completed match ends at its first point; the others are left at once.
        if (!completes(round)) pilot.when_heard_entry(7).tap(key::escape);
      } else {
        pilot.when_heard_menu("main").choose(2).when(host_is_waiting(round)).choose(3);
        choose_character(pilot, 5 - round % 5);
      }
      ++round;
      if (round == warm_up_rounds) stop_at(warmed_up, player, side);
      if (round == rounds) stop_at(last, player, side);
    };
  }

  Reading reading_at(Checkpoint& checkpoint) {
    Reading reading;
    look_at(checkpoint, [&] {
      reading.files = open_files();
      reading.memory = memory_in_use();
      for (int side = 0; side < 2; ++side) {
        Player& player = side == 0 ? *host : *guest;
        reading.sounds[side] = player.game.sound.loaded_count();
        reading.endpoints[side] = endpoints(player);
      }
    });
    return reading;
  }

  Checkpoint warmed_up;
  Checkpoint last;
};

TEST_F(ResourcesTest, TwoHundredRoundsWithAndWithoutWholeMatchesLeaveNothingBehind) {
  make_long_running_players();
  std::atomic<int> results{0};
  host->on_line = [this, &results, waits = host->on_line](const std::string& heard) {
    waits(heard);
    if (heard == line(16) || heard == line(17)) ++results;
  };
  // The first point decides a match that is to be played to its end; the host
  // is waiting for its n-th guest in round n - 1.
  host->on_pump = [this] {
    MatchState& match = host->game.match;
    if (match.started && completes(host_waiting.load() - 1)) match.points_limit = 0;
  };
  script(*host, 0);
  script(*guest, 1);

  host->start();
  guest->start();
  const Reading before = reading_at(warmed_up);
  const Reading after = reading_at(last);
  host->finish();
  guest->finish();
  ASSERT_EQ(host->failure, "");
  ASSERT_EQ(guest->failure, "");

  EXPECT_EQ(host_waiting.load(), rounds);
  EXPECT_EQ(results.load(), rounds / completed_every);
  EXPECT_EQ(after.files, before.files);
  EXPECT_LT(after.memory, before.memory + 256 * 1024)
      << "memory in use grew from " << before.memory << " to " << after.memory << " bytes";
  for (int side = 0; side < 2; ++side) {
    EXPECT_EQ(after.sounds[side], before.sounds[side]) << (side == 0 ? "host" : "guest");
    EXPECT_EQ(after.endpoints[side], std::make_pair(size_t{0}, size_t{0}));
  }
}

}  // namespace
}  // namespace tornello
