#include <gtest/gtest.h>

#include "platform/headless/headless_platform.h"

namespace tornello {
namespace {

TEST(Clock, DifferencesAreSignedAndDelaysNeverEarlyAcrossTheWrap) {
  EXPECT_EQ(ms_between(0xFFFFFFF0u, 0x00000010u), 32);
  EXPECT_EQ(ms_between(100u, 50u), -50);
  EXPECT_EQ(ms_between(5u, 5u), 0);
  for (uint32_t start : {1000u, 0xFFFFFF00u, 0xFFFFFFFFu}) {
    for (int32_t ms : {0, 1, 16, 1000}) {
      HeadlessPlatform platform(HeadlessPlatform::Clock::virtual_time, start);
      platform.delay_ms(ms);
      const int32_t waited = ms_between(start, platform.elapsed_ms());
      EXPECT_GT(waited, ms) << "start " << start;
      EXPECT_LE(waited, ms + 1) << "a virtual delay takes the smallest step past the limit";
    }
  }
}

}  // namespace
}  // namespace tornello
