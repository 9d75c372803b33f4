#include "flightrec/replay.h"

#include <cmath>

#include "air/air.h"
#include "aircraft/aircraft.h"
#include "flightrec/state.h"
#include "foundation/clock.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"

namespace flight {
namespace {
Replay* active = nullptr;
}  // namespace

void DispatchEvent(const ScriptEvent& e) {
  switch (e.action) {
    case Action::Press:
      PressKey(e.key);
      ReleaseKey(e.key);
      break;
    case Action::Down:
      PressKey(e.key);
      break;
    case Action::Up:
      ReleaseKey(e.key);
      break;
    case Action::Axis:
      (e.axis == StickAxis::Pitch ? StickPitchInput : StickRollInput) = e.value;
      break;
    case Action::Air: {
      // Checked when the file was read; the air is rebuilt from the new
      // settings at once, its clock the simulated time since the reset.
      std::string problem;
      if (air::ApplyLine(e.words, double(StepCounter) * PhysicsStep, air::Current, problem)) air::Rebuild();
      break;
    }
    case Action::End:
      break;
  }
}

Replay::Replay(const Flight& flight) : flight_(flight) {}

Replay::~Replay() {
  if (active == this) {
    active = nullptr;
    ResetFrameClock();
  }
}

int64_t Replay::Read() { return active != nullptr ? active->NextReading() : ReadClockTicks(); }

int64_t Replay::Frequency() {
  return active != nullptr ? active->flight_.frequency : ClockTicksPerSecond();
}

double Replay::FrameTime(size_t i) const {
  if (i >= flight_.frames.size()) return 0;
  return ElapsedSeconds(flight_.startTicks, flight_.frames[i].ticks, flight_.frequency);
}

int64_t Replay::NextReading() {
  if (continued_) {
    int64_t now = ReadClockTicks();
    if (flight_.frequency == realFrequency_) return last_ + (now - realAt_);
    double seconds = ElapsedSeconds(realAt_, now, realFrequency_);
    double rate = flight_.frequency > 0 ? double(flight_.frequency) : 1000.0;
    return last_ + int64_t(std::llround(seconds * rate));
  }
  if (!startRead_) {
    startRead_ = true;
    return last_ = flight_.startTicks;
  }
  if (done()) {  // reading past the recorded frames: no time passes
    extraRead_ = true;
    return last_;
  }
  const FlightFrame& f = flight_.frames[next_];
  if (!tickRead_) {
    tickRead_ = true;
    // The recorder hashed the state as the first frame read the clock.
    if (next_ == 0 && StateHash() != flight_.startHash) Differ(0);
    return last_ = f.ticks;
  }
  if (f.reset && !resetRead_) {
    resetRead_ = true;
    return last_ = f.resetTicks;
  }
  extraRead_ = true;  // a reset the recording did not have
  return last_;
}

void Replay::Begin() {
  active = this;
  SetFrameClock(FrameClock{Read, Frequency});
  // The machine that flew, built by the reset that starts the replay.
  CurrentAircraftParams = flight_.aircraft;
  // The recorded air, in place before the scene's reset builds it.
  air::Current = air::Settings();
  std::string problem;
  for (const auto& words : flight_.startAir) air::ApplyLine(words, 0, air::Current, problem);
  for (int i = 0; i < 256; i++) KeyState[i] = 0;
  StickPitchInput = 0;
  StickRollInput = 0;
}

void Replay::Started(void (*inputPass)()) {
  for (const auto& k : flight_.startKeys) KeyState[k.first] = k.second;
  StickPitchInput = flight_.startPitch;
  StickRollInput = flight_.startRoll;
  if (flight_.startPass && inputPass != nullptr) inputPass();
}

void Replay::BeforeFrame(bool cameraKeys) {
  tickRead_ = resetRead_ = extraRead_ = false;
  const auto& events = flight_.events;
  while (nextEvent_ < events.size() && events[nextEvent_].frame <= next_) {
    const ScriptEvent& e = events[nextEvent_++];
    if (!cameraKeys && e.key == 'C') continue;
    DispatchEvent(e);
  }
}

bool Replay::AfterFrame() {
  if (done()) return false;
  const FlightFrame& f = flight_.frames[next_];
  next_++;
  if (!tickRead_ || resetRead_ != f.reset || extraRead_ ||
      (f.hasCheck && StateHash() != f.check))
    Differ(int64_t(next_));
  return differs_ < 0;
}

bool Replay::Finish() {
  BeforeFrame();  // the events after the last frame
  if (flight_.hasEnd) {
    endChecked_ = true;
    if (StateHash() != flight_.endHash) Differ(int64_t(flight_.frames.size()));
  }
  return differs_ < 0;
}

void Replay::TakeOver() {
  if (continued_) return;
  continued_ = true;
  realAt_ = ReadClockTicks();
  realFrequency_ = ClockTicksPerSecond();
}

}  // namespace flight
