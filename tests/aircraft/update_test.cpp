// The simulation side of a frame: clock tick, fixed steps and their carry-over,
// with the clock replaced by a counter the test advances.
#include <gtest/gtest.h>

#include <vector>

#include "app/frame_timer.h"
#include "app/update.h"
#include "foundation/clock.h"
#include "physics/entity.h"

namespace {

int64_t gCounter = 0;  // microseconds
std::vector<double> gStepDts;

// Advances the clock by `micro` microseconds and runs one frame.
void Frame(int64_t micro) {
  gCounter += micro;
  UpdateFrame();
}

TEST(UpdateFrame, DiscardsPausedTimeCarriesShortFramesOverAndCatchesUpLongOnes) {
  SetClockSource(ClockSource{[](int64_t* f) { return *f = 1000000, true; },
                             [] { return gCounter; },
                             [] { return uint32_t(gCounter / 1000); }});
  ClearEntityList();
  WorldStepAircraftHook = [] { gStepDts.push_back(CurrentDt); };
  PhysicsStep = 0.002;
  ResetFrameTimer();
  EXPECT_TRUE(Paused);
  Frame(500000);
  EXPECT_TRUE(gStepDts.empty());
  EXPECT_EQ(StepAccumulator, 0.0);
  EXPECT_EQ(RunTime, 0.0);
  EXPECT_NEAR(CurrentDt, 0.5, 1e-12);

  // Unpaused, only the time of the following frames is simulated.
  Paused = false;
  Frame(9000);  // 9 ms: four steps, 1 ms carried over
  EXPECT_EQ(gStepDts, std::vector<double>(4, 0.002));
  EXPECT_EQ(StepCounter, 4u);
  EXPECT_NEAR(StepAccumulator, 0.001, 1e-12);
  EXPECT_NEAR(RunTime, 0.009, 1e-12);
  EXPECT_NEAR(CurrentDt, 0.009, 1e-12);  // the frame's own time again afterwards

  gStepDts.clear();
  StepAccumulator = PhysicsStep;
  Frame(0);  // exactly one step waiting: not strictly more, so no step
  EXPECT_TRUE(gStepDts.empty());
  Frame(1);  // just over one step
  EXPECT_EQ(gStepDts.size(), 1u);

  gStepDts.clear();
  Frame(1000000);  // a one-second frame is caught up completely
  EXPECT_GE(gStepDts.size(), 499u);
  EXPECT_LE(gStepDts.size(), 500u);
  EXPECT_LE(StepAccumulator, PhysicsStep);

  // Pausing again zeroes the accumulator every frame.
  Paused = true;
  uint32_t steps = StepCounter;
  Frame(7000);
  EXPECT_EQ(StepAccumulator, 0.0);
  EXPECT_EQ(StepCounter, steps);
  WorldStepAircraftHook = nullptr;
  ResetClockSource();
}

}  // namespace
