// The frame timer: reads the real clock once per frame and writes the frame
// clock's values (sim/frame_clock.h). Kept free of any window so the headless
// runner drives the same clock.
#pragma once
#include "sim/frame_clock.h"

extern double LastTime;  // GetSeconds() at the previous tick

void TickFrameTimer();
void ResetFrameTimer();  // also pauses the simulation
