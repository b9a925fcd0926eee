#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/platform.h"

namespace tornello {

// Two games' virtual clocks kept within a tenth of a second, as two computers'
// would be. A side not started, ended or stalled for 2 s holds the other back no longer.
class PacedClocks {
 public:
  void tick(int side, uint32_t now) {
    std::unique_lock lock(mutex_);
    on_[side] = true;
    time_[side] = now;
    moved_.notify_all();
    moved_.wait_for(lock, std::chrono::seconds(2), [&] {
      return !on_[1 - side] || ms_between(time_[1 - side], time_[side]) <= 100;
    });
  }
  void finished(int side) {
    std::lock_guard lock(mutex_);
    on_[side] = false;
    moved_.notify_all();
  }

 private:
  bool on_[2] = {false, false};
  uint32_t time_[2] = {0, 0};
  std::mutex mutex_;
  std::condition_variable moved_;
};

}  // namespace tornello
