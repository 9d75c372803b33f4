#include "foundation/log.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Standard output without a capture is checked end to end (the program's
// closing "Memory objects left" line).
TEST(Log, CapturesNestSplitLinesAndTakeLongText) {
  LogCapture outer;
  Log("a %d\n", 1);
  {
    LogCapture inner;
    Log("inner %s\nsecond\n", "text");
    EXPECT_EQ(inner.lines(), (std::vector<std::string>{"inner text", "second"}));
  }
  Log("%s|", std::string(3000, 'x').c_str());  // longer than any small buffer
  EXPECT_EQ(outer.text(), "a 1\n" + std::string(3000, 'x') + "|");
  EXPECT_EQ(outer.lines().size(), 2u);
}

}  // namespace
