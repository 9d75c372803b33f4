#include "app/update.h"

#include "aircraft/aircraft.h"
#include "app/frame_timer.h"
#include "physics/entity.h"

void UpdateFrame() {
  TickFrameTimer();
  if (!Paused) {
    // Every world step sees the fixed step in CurrentDt; the frame's own
    // duration is restored around them for the input pass that follows.
    double frameDt = CurrentDt;
    while (StepAccumulator > PhysicsStep) {
      CurrentDt = PhysicsStep;
      WorldStep();
      StepCounter++;
      CurrentDt = frameDt;
      StepAccumulator -= PhysicsStep;
    }
  } else {
    StepAccumulator = 0;
  }
  if (CurrentAircraft != nullptr) UpdateAircraftCamera();
}
