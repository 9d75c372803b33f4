// Monotonic clock in seconds; only differences of readings mean anything.
#pragma once
#include <cstdint>

extern bool ClockQueried;
extern bool ClockHasCounter;
extern double ClockPeriod;  // seconds per counter tick

double GetSeconds();
// Seconds of the real monotonic clock, whatever source GetSeconds reads: for
// timing work done (loading, compiling), which must read true durations even
// under the flight runner's fixed clock. Only differences mean anything.
double WallSeconds();

// The same clock as raw readings: counter ticks, or with no high-resolution
// counter the unsigned millisecond count. A recorded flight keeps these, so a
// replay sees exactly the readings the program saw.
int64_t ReadClockTicks();
// Ticks per second of ReadClockTicks (0: the millisecond fallback).
int64_t ClockTicksPerSecond();
// A raw reading in seconds, computed exactly as GetSeconds computes it
// (frequency 0: milliseconds).
double TicksToSeconds(int64_t ticks, int64_t frequency);

// The counter sources, replaceable so tests can exercise the millisecond
// fallback and its unsigned wrap. Defaults read CLOCK_MONOTONIC.
struct ClockSource {
  bool (*queryFrequency)(int64_t* frequency);  // false: no high-resolution counter
  int64_t (*queryCounter)();
  uint32_t (*milliseconds)();
};
void SetClockSource(const ClockSource& source);  // also forgets the once-only query
void ResetClockSource();
