// Practice against the computer on virtual clocks: the computer's game runs on
// a thread and a clock of its own, kept within a tenth of a second of the
// player's while it plays, as two computers' clocks would be. The player's
// clock runs freely while no computer plays. A side that has not moved for a
// while of real time (its game has failed) holds the other back no longer.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/platform.h"
#include "session/autopilot.h"
#include "session/practice.h"

namespace tornello {

class Lockstep {
 public:
  // Call on every pump of the player's platform.
  void player_at(uint32_t now) {
    std::unique_lock lock(mutex_);
    player_ = now;
    moved_.notify_all();
    moved_.wait_for(lock, stall, [this] { return !opponent_on_ || !ahead(player_, opponent_); });
  }

  // A practice on virtual clocks that this keeps in step; `watch` also sees
  // the computer's platform and autopilot as it starts.
  PracticeSetup setup(std::function<void(ListeningPlatform&, Autopilot&)> watch = nullptr) {
    PracticeSetup practice;
    practice.clock = HeadlessPlatform::Clock::virtual_time;
    practice.opponent_starts = [this, watch](ListeningPlatform& platform, Autopilot& pilot) {
      platform.on_pump = [this, &platform] { opponent_at(platform.elapsed_ms()); };
      if (watch) watch(platform, pilot);
    };
    practice.opponent_ended = [this] {
      std::lock_guard lock(mutex_);
      opponent_on_ = false;
      moved_.notify_all();
    };
    return practice;
  }

 private:
  static constexpr std::chrono::seconds stall{2};
  static bool ahead(uint32_t one, uint32_t other) { return ms_between(other, one) > 100; }

  void opponent_at(uint32_t now) {
    std::unique_lock lock(mutex_);
    opponent_on_ = true;
    opponent_ = now;
    moved_.notify_all();
    moved_.wait_for(lock, stall, [this] { return !ahead(opponent_, player_); });
  }

  std::mutex mutex_;
  std::condition_variable moved_;
  bool opponent_on_ = false;
  uint32_t player_ = 0;
  uint32_t opponent_ = 0;
};

}  // namespace tornello
