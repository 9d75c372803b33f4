#include "sim/frame_clock.h"

double CurrentDt = 0.00001;
double PhysicsStep = 0.002;
double StepAccumulator = 0;
bool Paused = true;
double RunTime = 0;
uint32_t StepCounter = 0;
