// The frame clock's values: read by the physics (CurrentDt, PhysicsStep,
// StepCounter), the aircraft, the drawing (RunTime) and the input (Paused).
// All seconds. Declared below the physics so the world step needs nothing
// above it; the frame timer in app/ (and a program's own frame loop) writes them.
#pragma once
#include <cstdint>

extern double CurrentDt;        // last frame's duration; PhysicsStep inside a world step
extern double PhysicsStep;      // fixed step, 0.002 s
extern double StepAccumulator;  // real time not yet simulated
extern bool Paused;
extern double RunTime;          // unpaused real time since the last reset
extern uint32_t StepCounter;    // fixed steps since the last reset
