// The frame clock: global time values read by the physics (CurrentDt,
// StepCounter), the drawing (RunTime) and the input (Paused). All seconds.
// Kept free of any window so the headless runner drives the same clock.
#pragma once
#include <cstdint>

extern double CurrentDt;        // last frame's duration; PhysicsStep inside a world step
extern double PhysicsStep;      // fixed step, 0.002 s
extern double StepAccumulator;  // real time not yet simulated
extern bool Paused;
extern double RunTime;          // unpaused real time since the last reset
extern uint32_t StepCounter;    // fixed steps since the last reset
extern double LastTime;         // GetSeconds() at the previous tick

void TickFrameTimer();
void ResetFrameTimer();  // also pauses the simulation
