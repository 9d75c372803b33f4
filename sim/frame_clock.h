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

// Where the frame timer takes its clock readings: raw ticks at a frequency
// (ReadClockTicks and ClockTicksPerSecond unless set). A replayed flight hands
// back the readings it recorded; null members mean the system clock.
struct FrameClock {
  int64_t (*read)();       // one raw reading
  int64_t (*frequency)();  // ticks per second of those readings; 0: milliseconds
};
void SetFrameClock(const FrameClock& clock);
void ResetFrameClock();
int64_t FrameClockFrequency();  // of the readings the timer takes now
// One reading for the frame timer (reset: the reading of a clock reset), in
// seconds; listeners are told its raw ticks.
double ReadFrameClock(bool reset);
// Told every reading the timer takes, reset's included (reset = true); a
// flight recorder listens here. Null: nobody listens.
extern void (*FrameClockListener)(int64_t ticks, bool reset);
