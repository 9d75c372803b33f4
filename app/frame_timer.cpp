#include "app/frame_timer.h"

double LastTime = 0;

void TickFrameTimer() {
  double now = ReadFrameClock(false);
  CurrentDt = now - LastTime;
  LastTime = now;
  // Paused time is gathered too; UpdateFrame throws it away.
  StepAccumulator += CurrentDt;
  if (!Paused) RunTime += CurrentDt;
}

void ResetFrameTimer() {
  RunTime = 0;
  StepCounter = 0;
  LastTime = ReadFrameClock(true);
  CurrentDt = 0.00001;
  StepAccumulator = 0;
  Paused = true;
}
