// A thousand times host, join and leave between the same two games: coming back
// to the main menu any number of times costs no more memory and no more open
// files than the first time.
#include "support/process_resources.h"
#include "two_games.h"

namespace tornello {
namespace {

constexpr int rounds = 1000;
constexpr int warm_up_rounds = 50;

class CyclesTest : public TwoGamesTest {
 protected:
  // Both games wait at the main menu until the test has looked.
  struct Checkpoint {
    std::atomic<bool> arrived[2] = {false, false};
    std::atomic<bool> released{false};
  };

  // Round after round; after the warm-up and after the last, a checkpoint.
  void script(Player& player, int side) {
    player.pilot.on_empty = [this, &player, side, round = 0](Autopilot& pilot) mutable {
      if (round == rounds) {
        exit_game(pilot);
        round = rounds + 1;
        return;
      }
      if (round > rounds) return;
      if (side == 0) {
        host_round(pilot, host_port, 1);
        choose_character(pilot, 1);
        // Leave on the match's first line: the guest follows on "_P_BYE".
        pilot.when_heard_entry(7).tap(key::escape);
      } else {
        // The address and port are set once: straight to Connect.
        pilot.when_heard_menu("main").choose(2).when(host_is_waiting(round)).choose(3);
        choose_character(pilot, 2);
      }
      ++round;
      if (round == warm_up_rounds || round == rounds) {
        Checkpoint& checkpoint = round == rounds ? last : warmed_up;
        pilot.when([&player, &checkpoint, side] {
          if (player.game.music.current_name != "Menu") return false;
          checkpoint.arrived[side].store(true);
          return checkpoint.released.load();
        });
      }
    };
  }

  // Waits until both games are at the checkpoint, takes a reading, lets them go.
  std::pair<size_t, size_t> reading_at(Checkpoint& checkpoint) {
    const auto give_up = std::chrono::steady_clock::now() + Player::real_time_limit;
    while (!(checkpoint.arrived[0].load() && checkpoint.arrived[1].load()) &&
           std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::pair<size_t, size_t> reading{open_files(), memory_in_use()};
    checkpoint.released.store(true);
    return reading;
  }

  Checkpoint warmed_up;
  Checkpoint last;
};

TEST_F(CyclesTest, AThousandMatchesLeftAtOnceLeakNoMemoryAndNoFiles) {
  make_players(85, 85);
  for (Player* player : {host.get(), guest.get()}) player->forget_everything();
  // Only the count of waiting hosts is wanted from the lines heard.
  host->on_line = [this](const std::string& line) {
    if (mentions_entry(host->game, line, 4)) ++host_waiting;
  };
  guest->on_line = nullptr;
  guest->game.settings.port = host_port;
  script(*host, 0);
  script(*guest, 1);

  host->start();
  guest->start();
  const auto [files_before, memory_before] = reading_at(warmed_up);
  const auto [files_after, memory_after] = reading_at(last);
  host->finish();
  guest->finish();
  ASSERT_EQ(host->failure, "");
  ASSERT_EQ(guest->failure, "");

  EXPECT_EQ(host_waiting.load(), rounds);
  EXPECT_EQ(files_after, files_before);
  // A leak of even a few hundred bytes a round would show; allocator noise does not.
  EXPECT_LT(memory_after, memory_before + 256 * 1024)
      << "resident memory grew from " << memory_before << " to " << memory_after << " bytes";
}

}  // namespace
}  // namespace tornello
