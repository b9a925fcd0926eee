// A thousand rounds of hosting and joining between the same two games, every
// fourth a match played to its end (result, music, the wait for Enter), the
// others left as they begin. From the warm-up to the last round nothing may
// pile up: open files, memory, sockets, and the sounds loaded for menus,
// character selection, the announcer and the music.
#include "e2e/two_games.h"
#include "support/process_resources.h"

namespace tornello {
namespace {

constexpr int rounds = 1000, warm_up_rounds = 50, completed_every = 10;

struct Reading {
  size_t files = 0, memory = 0, sounds[2] = {0, 0};
  std::pair<size_t, size_t> endpoints[2];
};

// Both games wait at the main menu until the test has looked at them.
struct Checkpoint {
  std::atomic<bool> arrived[2] = {false, false}, released{false};
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
        // The address and port are set once: straight to Connect.
        pilot.when_heard_menu("main").choose(2).when(host_is_waiting(round)).choose(3);
        choose_character(pilot, 5 - round % 5);
      }
      ++round;
      if (round == warm_up_rounds || round == rounds) {
        stop_at(round == rounds ? last : warmed_up, player, side);
      }
    };
  }

  static void stop_at(Checkpoint& checkpoint, Player& player, int side) {
    player.pilot.when([&player, &checkpoint, side] {
      if (player.game.music.current_name != "Menu") return false;
      checkpoint.arrived[side].store(true);
      if (checkpoint.released.load()) return true;
      // Waiting on the test's thread, in real time: the virtual clock creeps meanwhile.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return false;
    });
  }

  // Waits until both games are at the checkpoint, reads, and lets them go.
  Reading reading_at(Checkpoint& checkpoint) {
    const auto give_up = std::chrono::steady_clock::now() + Player::real_time_limit;
    while (!(checkpoint.arrived[0].load() && checkpoint.arrived[1].load()) &&
           std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Reading reading;
    reading.files = open_files();
    reading.memory = memory_in_use();
    for (int side = 0; side < 2; ++side) {
      Player& player = side == 0 ? *host : *guest;
      reading.sounds[side] = player.game.sound.loaded_count();
      reading.endpoints[side] = endpoints(player);
    }
    checkpoint.released.store(true);
    return reading;
  }

  Checkpoint warmed_up, last;
};

TEST_F(ResourcesTest, AThousandRoundsWithAndWithoutWholeMatchesLeaveNothingBehind) {
  make_players(85, 85);
  for (Player* player : {host.get(), guest.get()}) player->forget_everything();
  guest->on_line = nullptr;
  guest->game.settings.port = host_port;
  std::atomic<int> results{0};
  host->on_line = [this, &results](const std::string& heard) {
    if (mentions_entry(host->game, heard, 4)) ++host_waiting;
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
  start();
  const Reading before = reading_at(warmed_up);
  const Reading after = reading_at(last);
  ASSERT_NO_FATAL_FAILURE(finish());

  EXPECT_EQ(host_waiting.load(), rounds);
  EXPECT_EQ(results.load(), rounds / completed_every);
  EXPECT_EQ(after.files, before.files);
  // A leak of a few hundred bytes a round would show; allocator noise does not.
  EXPECT_LT(after.memory, before.memory + 256 * 1024)
      << "memory in use grew from " << before.memory << " to " << after.memory << " bytes";
  for (int side = 0; side < 2; ++side) {
    EXPECT_EQ(after.sounds[side], before.sounds[side]) << (side == 0 ? "host" : "guest");
    EXPECT_EQ(after.endpoints[side], std::make_pair(size_t{0}, size_t{0}));
  }
}

}  // namespace
}  // namespace tornello
