#include "platform/random.h"

#include <chrono>

namespace tornello {

namespace {
constexpr uint32_t rotate_right(uint32_t v, int bits) {
  return (v >> bits) | (v << (32 - bits));
}
}  // namespace

void Random::seed(uint32_t seed) {
  uint32_t x = seed;
  for (int k = 0; k < 17; ++k) {
    b_[k] = 1u - x * 1403630843u;
    a_[k] = 1u - b_[k] * 1403630843u;
    x = a_[k];
  }
  i_ = 0;
  j_ = 10;
  for (int k = 0; k < 31; ++k) step();
  seeded_ = true;
}

uint32_t Random::step() {
  const uint32_t a = rotate_right(b_[i_], 13) + b_[j_];
  const uint32_t b = rotate_right(a_[i_], 5) + a_[j_];
  a_[i_] = a;
  b_[i_] = b;
  if (--i_ < 0) i_ = 16;
  if (--j_ < 0) j_ = 16;
  return a;
}

uint32_t wall_clock_seed() {
  using namespace std::chrono;
  const auto now = static_cast<uint64_t>(
      duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count());
  return static_cast<uint32_t>(now ^ (now >> 32));
}

int32_t Random::next(int32_t max) {
  const uint32_t n = static_cast<uint32_t>(max) + 1u;
  const uint32_t r = step();
  if (n == 0) return static_cast<int32_t>(r);
  return static_cast<int32_t>((static_cast<uint64_t>(r) * n) >> 32);
}

}  // namespace tornello
