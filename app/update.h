// The simulation part of a frame: the clock tick, the fixed world steps the
// elapsed time calls for, and the aircraft's camera. Needs no window: the
// program and the headless flight runner run exactly this.
#pragma once

// Ticks the frame timer; unless paused, runs a world step of PhysicsStep
// seconds while more than one step of real time is waiting (no cap: a slow
// frame is caught up completely) and carries the remainder over; paused time
// is discarded. Then places the camera for the aircraft's camera mode.
void UpdateFrame();
