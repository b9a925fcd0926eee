// The game's pseudo-random generator: two 17-word tables stepped with rotations
// and additions. Seeded once; every chance in the game is one draw of random_int.
#pragma once

#include <cstdint>

namespace tornello {

class Random {
 public:
  void seed(uint32_t seed);
  bool seeded() const { return seeded_; }
  // Uniform integer from 0 to max, both included. With max -1 the raw 32-bit
  // output, reinterpreted as signed. Seed first.
  int32_t next(int32_t max);
  uint32_t step();

 private:
  uint32_t a_[17] = {};
  uint32_t b_[17] = {};
  int i_ = 0;
  int j_ = 10;
  bool seeded_ = false;
};

// The wall-clock time in nanoseconds, folded to 32 bits. Part of every real
// platform's seed: the thread's number and the start-up clock repeat from run to
// run where addresses are not randomised.
uint32_t wall_clock_seed();

}  // namespace tornello
