// Monotonic clock in seconds; only differences of readings mean anything.
#pragma once
#include <cstdint>

extern bool ClockQueried;
extern bool ClockHasCounter;
extern double ClockPeriod;  // seconds per counter tick

double GetSeconds();

// The counter sources, replaceable so tests can exercise the millisecond
// fallback and its unsigned wrap. Defaults read CLOCK_MONOTONIC.
struct ClockSource {
  bool (*queryFrequency)(int64_t* frequency);  // false: no high-resolution counter
  int64_t (*queryCounter)();
  uint32_t (*milliseconds)();
};
void SetClockSource(const ClockSource& source);  // also forgets the once-only query
void ResetClockSource();
