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

// A flood of one line (a million faces naming the same missing vertex) is
// shown twenty times and counted; lines printed in parts never merge.
TEST(Log, RepeatedLinesAreCountedAfterTwenty) {
  LogCapture outer;
  {
    LogCapture capture;
    for (int i = 0; i < 1000000; i++) Log("face %d names a missing vertex\n", 7);
    Log("done\n");
    for (int i = 0; i < 30; i++) Log("Loading texture \"x\"... "), Log("D3D_OK\n");
    for (int i = 0; i < 25; i++) Log("tail\n");
    std::vector<std::string> lines = capture.lines();
    ASSERT_EQ(lines.size(), 20u + 1 + 1 + 30 + 20);  // the last count comes at the capture's end
    EXPECT_EQ(lines[19], "face 7 names a missing vertex");
    EXPECT_EQ(lines[20], "... and 999,980 more like this");
    EXPECT_EQ(lines[21], "done");
    EXPECT_EQ(lines[22], "Loading texture \"x\"... D3D_OK");
  }
  EXPECT_EQ(outer.text(), "");  // the run ended inside the inner capture
}

// The lines a start-up failure's message box repeats: the console's last
// ones, whatever was captured in between.
TEST(Log, RecentConsoleLinesAreTheLastPrinted) {
  for (int i = 0; i < 300; i++) Log("filler line %d\n", i);
  Log("No content in \"x\"\n");
  {
    LogCapture capture;
    Log("captured, not printed\n");
  }
  Log("Cannot start\n");
  EXPECT_EQ(RecentConsoleLines(2), "No content in \"x\"\nCannot start\n");
  EXPECT_EQ(RecentConsoleLines(1), "Cannot start\n");
}

}  // namespace
