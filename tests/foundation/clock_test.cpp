#include "foundation/clock.h"

#include <gtest/gtest.h>

namespace {

uint32_t fakeMilliseconds = 0;
int frequencyQueries = 0;

TEST(Clock, CounterFrequencyIsQueriedOnceAndMillisecondFallbackIsUnsigned) {
  SetClockSource({[](int64_t* f) { return frequencyQueries++, *f = 4, true; }, [] { return int64_t(10); },
                  [] { return fakeMilliseconds; }});
  EXPECT_EQ(GetSeconds(), 2.5);
  EXPECT_EQ(GetSeconds(), 2.5);
  EXPECT_EQ(frequencyQueries, 1);
  // A frozen source stops GetSeconds, not the wall clock that times work done.
  double wall = WallSeconds();
  while (WallSeconds() == wall) {
  }
  EXPECT_EQ(GetSeconds(), 2.5);
  SetClockSource({[](int64_t*) { return false; }, [] { return int64_t(0); }, [] { return fakeMilliseconds; }});
  fakeMilliseconds = 0x80000001u;  // top bit set: still positive
  EXPECT_DOUBLE_EQ(GetSeconds(), 2147483649.0 * 0.001);
  EXPECT_FALSE(ClockHasCounter);
  ResetClockSource();
  double a = GetSeconds();  // the monotonic nanosecond counter by default
  EXPECT_LE(a, GetSeconds());
  EXPECT_EQ(ClockPeriod, 1e-9);
}

}  // namespace
