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
        stop_at(round == rounds ? last : warmed_up, player, side);
      }
    };
  }

  // Open files and memory in use with both games at the checkpoint.
  std::pair<size_t, size_t> reading_at(Checkpoint& checkpoint) {
    std::pair<size_t, size_t> reading;
    look_at(checkpoint, [&reading] { reading = {open_files(), memory_in_use()}; });
    return reading;
  }

  Checkpoint warmed_up;
  Checkpoint last;
};

TEST_F(CyclesTest, AThousandMatchesLeftAtOnceLeakNoMemoryAndNoFiles) {
  make_long_running_players();
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
