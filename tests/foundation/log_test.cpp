#include "foundation/log.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Log, CapturesNestSplitLinesAndTakeLongText) {
  LogCapture outer;
  Log("a %d\n", 1);
  {
    LogCapture inner;
    Log("inner %s", "text");
    Log("\nsecond\n");
    EXPECT_EQ(inner.lines(), (std::vector<std::string>{"inner text", "second"}));
  }
  Log("tail without feed");
  EXPECT_EQ(outer.text(), "a 1\ntail without feed");
  outer.clear();
  Log("%s|\n", std::string(3000, 'x').c_str());  // longer than any small buffer
  EXPECT_EQ(outer.text(), std::string(3000, 'x') + "|\n");
}

TEST(Log, WritesToStandardOutputWithoutCapture) {
  testing::internal::CaptureStdout();
  Log("Memory objects left: %u\n", 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Memory objects left: 0\n");
}

}  // namespace
