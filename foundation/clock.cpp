#include "foundation/clock.h"

#include <time.h>

#include <chrono>

bool ClockQueried = false;
bool ClockHasCounter = false;
double ClockPeriod = 0.0;

namespace {
bool MonotonicFrequency(int64_t* frequency) {
  timespec ts;
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return false;
  *frequency = 1000000000;  // the counter ticks in nanoseconds
  return true;
}

int64_t MonotonicCounter() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000000000 + int64_t(ts.tv_nsec);
}

uint32_t MonotonicMilliseconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  // Wraps every 49.7 days, like the multimedia timer it stands in for.
  return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

const ClockSource defaultSource = {MonotonicFrequency, MonotonicCounter, MonotonicMilliseconds};
ClockSource source = defaultSource;
int64_t counterFrequency = 0;  // of the queried counter
}  // namespace

void SetClockSource(const ClockSource& s) {
  source = s;
  ClockQueried = false;
  ClockHasCounter = false;
  ClockPeriod = 0.0;
  counterFrequency = 0;
}

void ResetClockSource() { SetClockSource(defaultSource); }

namespace {
void QueryOnce() {
  if (ClockQueried) return;
  int64_t frequency = 0;
  ClockHasCounter = source.queryFrequency(&frequency) && frequency > 0;
  if (ClockHasCounter) {
    counterFrequency = frequency;
    ClockPeriod = 1.0 / double(frequency);
  }
  ClockQueried = true;
}
}  // namespace

int64_t ReadClockTicks() {
  QueryOnce();
  if (ClockHasCounter) return source.queryCounter();
  return int64_t(source.milliseconds());
}

int64_t ClockTicksPerSecond() {
  QueryOnce();
  return ClockHasCounter ? counterFrequency : 0;
}

double TicksToSeconds(int64_t ticks, int64_t frequency) {
  if (frequency > 0) return double(ticks) * (1.0 / double(frequency));
  // The millisecond count is unsigned: a value with the top bit set read as a
  // signed number is brought back up by 2^32.
  int32_t ms = int32_t(uint32_t(ticks));
  double value = double(ms);
  if (ms < 0) value += 4294967296.0;
  return value * 0.001;
}

double GetSeconds() { return TicksToSeconds(ReadClockTicks(), ClockTicksPerSecond()); }

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
