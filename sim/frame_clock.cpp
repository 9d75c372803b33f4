#include "sim/frame_clock.h"

#include "foundation/clock.h"

double CurrentDt = 0.00001;
double PhysicsStep = 0.002;
double StepAccumulator = 0;
bool Paused = true;
double RunTime = 0;
uint32_t StepCounter = 0;
void (*FrameClockListener)(int64_t ticks, bool reset) = nullptr;

namespace {
FrameClock frameClock = {ReadClockTicks, ClockTicksPerSecond};
}  // namespace

double ReadFrameClock(bool reset) {
  int64_t ticks = frameClock.read();
  if (FrameClockListener != nullptr) FrameClockListener(ticks, reset);
  return TicksToSeconds(ticks, frameClock.frequency());
}

void SetFrameClock(const FrameClock& clock) {
  frameClock.read = clock.read != nullptr ? clock.read : ReadClockTicks;
  frameClock.frequency = clock.frequency != nullptr ? clock.frequency : ClockTicksPerSecond;
}

int64_t FrameClockFrequency() { return frameClock.frequency(); }

void ResetFrameClock() { SetFrameClock(FrameClock{nullptr, nullptr}); }
