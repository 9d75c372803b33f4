#include "foundation/clock.h"

#include <gtest/gtest.h>

namespace {

uint32_t fakeMilliseconds = 0;
int64_t fakeCounter = 0;
int frequencyQueries = 0;

bool NoCounter(int64_t*) {
  frequencyQueries++;
  return false;
}
bool FakeFrequency(int64_t* f) {
  frequencyQueries++;
  *f = 4;
  return true;
}
int64_t FakeCounter() { return fakeCounter; }
uint32_t FakeMilliseconds() { return fakeMilliseconds; }

class Clock : public ::testing::Test {
 protected:
  void TearDown() override { ResetClockSource(); }
};

TEST_F(Clock, MonotonicCounterByDefault) {
  ResetClockSource();
  double a = GetSeconds();
  double b = GetSeconds();
  EXPECT_LE(a, b);
  EXPECT_TRUE(ClockQueried);
  EXPECT_TRUE(ClockHasCounter);
  EXPECT_EQ(ClockPeriod, 1e-9);
}

TEST_F(Clock, FrequencyIsQueriedOnce) {
  frequencyQueries = 0;
  SetClockSource({FakeFrequency, FakeCounter, FakeMilliseconds});
  EXPECT_FALSE(ClockQueried);
  fakeCounter = 10;
  EXPECT_EQ(GetSeconds(), 2.5);
  GetSeconds();
  EXPECT_EQ(frequencyQueries, 1);
  EXPECT_EQ(ClockPeriod, 0.25);
}

TEST_F(Clock, MillisecondFallbackIsUnsigned) {
  SetClockSource({NoCounter, FakeCounter, FakeMilliseconds});
  fakeMilliseconds = 1500;
  EXPECT_EQ(GetSeconds(), 1.5);
  EXPECT_FALSE(ClockHasCounter);
  fakeMilliseconds = 0x80000001u;  // top bit set: still positive
  EXPECT_DOUBLE_EQ(GetSeconds(), 2147483649.0 * 0.001);
}

}  // namespace
