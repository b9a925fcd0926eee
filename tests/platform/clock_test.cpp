#include <gtest/gtest.h>

#include "platform/headless/headless_platform.h"

namespace tornello {
namespace {

TEST(Clock, DifferencesAreCorrectAcrossTheWrap) {
  EXPECT_EQ(ms_between(0xFFFFFFF0u, 0x00000010u), 32);
  EXPECT_EQ(ms_between(4294967000u, 200u), 496);
  EXPECT_EQ(ms_between(100u, 50u), -50);
  EXPECT_EQ(ms_between(5u, 5u), 0);
}

TEST(Clock, DelayIsNeverEarlyEvenAcrossTheWrap) {
  for (uint32_t start : {1000u, 0xFFFFFF00u, 0xFFFFFFFFu}) {
    for (int32_t ms : {0, 1, 16, 1000}) {
      HeadlessPlatform platform(HeadlessPlatform::Clock::virtual_time, start);
      const uint32_t before = platform.elapsed_ms();
      platform.delay_ms(ms);
      const int32_t waited = ms_between(before, platform.elapsed_ms());
      EXPECT_GT(waited, ms) << "start " << start;
      EXPECT_LE(waited, ms + 1) << "a virtual delay takes the smallest step past the limit";
    }
  }
}

TEST(Clock, VirtualTimeMovesOnlyWhenTheGameWaits) {
  HeadlessPlatform platform;
  const uint32_t t0 = platform.elapsed_ms();
  EXPECT_EQ(platform.elapsed_ms(), t0);
  platform.pump_events(0);
  EXPECT_EQ(platform.elapsed_ms(), t0);
  platform.pump_events(1);
  EXPECT_EQ(platform.elapsed_ms(), t0 + 1);
}

}  // namespace
}  // namespace tornello
