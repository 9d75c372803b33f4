#include "flightrec/recorder.h"

#include <cinttypes>
#include <cmath>

#include "air/air.h"
#include "aircraft/aircraft.h"
#include "flightrec/flight_file.h"
#include "flightrec/state.h"
#include "foundation/log.h"
#include "foundation/str.h"
#include "physics/body.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"

namespace flight {
namespace {

Recorder* active = nullptr;

const uint32_t kFlightKeys[] = {VK_UP,    VK_DOWN,  VK_LEFT, VK_RIGHT, VK_SPACE, VK_DELETE,
                                VK_PAUSE, VK_F1,    'E',     'Z',      'V',      'G',
                                'C'};

}  // namespace

bool IsFlightKey(uint32_t code) {
  for (uint32_t k : kFlightKeys)
    if (k == code) return true;
  return false;
}

Recorder::Recorder(uint64_t contentFingerprint, std::string programVersion)
    : content_(contentFingerprint), version_(std::move(programVersion) + BuildMark()) {
  active = this;
  FrameClockListener = OnClock;
  KeyMessageListener = OnKey;
}

Recorder::~Recorder() {
  if (active == this) {
    active = nullptr;
    FrameClockListener = nullptr;
    KeyMessageListener = nullptr;
  }
}

void Recorder::OnClock(int64_t ticks, bool reset) {
  if (active != nullptr) active->Clock(ticks, reset);
}

void Recorder::OnKey(uint32_t code, bool down) {
  if (active != nullptr) active->Key(code, down);
}

double Recorder::Now() const { return ElapsedSeconds(startTicks_, lastTicks_, frequency_); }

double Recorder::Elapsed() const { return ElapsedSeconds(recordTicks_, lastTicks_, frequency_); }

void Recorder::Write(const std::string& bytes) {
  std::string reason;
  if (file_.Write(bytes, reason)) return;
  file_.Close(reason);
  Log("Can't write the flight \"%s\": %s; recording stopped, the flight up to here is kept\n", path_.c_str(),
      reason.c_str());
}

void Recorder::Put(const std::string& line) {
  text_ += line;
  if (file_.open() && !header_.empty()) Write(line);
}

void Recorder::Restart(int64_t ticks, bool fromInputPass) {
  started_ = true;
  startTicks_ = lastTicks_ = ticks;
  frequency_ = FrameClockFrequency();
  frame_ = 0;
  checkedSecond_ = 0;
  // Recording from the first reset on: the whole flight is recorded.
  text_ = file_.open() ? "mark\n" : "";
  if (file_.open()) recordTicks_ = ticks;
  header_.clear();
  late_.clear();
  char buf[160];
  std::snprintf(buf, sizeof buf,
#ifdef _WIN32
                // The zip's guide; the Linux packages carry README.md.
                "# Tarn sim flight: README.txt, \"Recording and replaying flights\"\n"
#else
                "# Tarn sim flight: README.md, \"Recording and replaying flights\"\n"
#endif
                "tarnflight %d\nversion %s\ncontent %s\nclock %" PRId64 " %" PRId64 "\n",
                kFlightFormat, version_.c_str(), HashText(WithAircraft(content_, CurrentAircraftParams)).c_str(), frequency_, ticks);
  pending_ = buf;
  // The key table and the stick are not reset with the scene: what they hold
  // now is part of the start.
  startExtra_ = fromInputPass ? " pass\n" : "\n";
  for (uint32_t k : kFlightKeys)
    if (KeyState[k] != 0) startExtra_ += std::string("key ") + KeyName(k) + " " +
                                         std::to_string(unsigned(KeyState[k])) + "\n";
  if (pitch_ != 0) startExtra_ += FormatAxis(0, StickAxis::Pitch, pitch_).substr(9);
  if (roll_ != 0) startExtra_ += FormatAxis(0, StickAxis::Roll, roll_).substr(9);
  startExtra_ += FormatAircraft(CurrentAircraftParams);
}

void Recorder::Clock(int64_t ticks, bool reset) {
  if (reset) {
    if (!started_ || !file_.open()) {
      // Not recording: the kept flight starts again from this reset. Inside a
      // frame the reset came from the input pass.
      restartedInFrame_ = inFrame_;
      Restart(ticks, inFrame_);
      return;
    }
    frameReset_ = true;
    resetTicks_ = ticks;
    lastTicks_ = ticks;
    return;
  }
  if (!started_) Restart(ticks, false);  // no reset seen: start at this reading
  if (header_.empty()) {
    // The start state is the state the first frame begins from.
    const Tarnplane* a = CurrentAircraft;
    char buf[160];
    std::snprintf(buf, sizeof buf, "# start: fuselage at (%.3f, %.3f, %.3f) m\nstart %s",
                  a ? a->fuselage->position.x : 0.0, a ? a->fuselage->position.y : 0.0,
                  a ? a->fuselage->position.z : 0.0, HashText(StateHash()).c_str());
    header_ = pending_ + buf + startExtra_;
    if (air::Moving())
      for (const std::string& line : air::Lines(air::Current)) header_ += "air " + line + "\n";
    if (file_.open()) Write(header_ + text_);
  }
  frameDelta_ = ticks - lastTicks_;
  frameTicks_ = lastTicks_ = ticks;
  inFrame_ = true;
}

void Recorder::Air(const std::vector<std::string>& words) {
  // Before the first frame the header's air lines carry it.
  if (header_.empty()) return;
  Put(FormatAir(Now(), words));
}

void Recorder::Key(uint32_t code, bool down) {
  if (!IsFlightKey(code)) return;
  std::string line = FormatEvent(Now(), down ? Action::Down : Action::Up, code);
  if (inFrame_) late_ += line;
  else Put(line);
}

void Recorder::Axes(double pitch, double roll) {
  if (pitch != pitch_) Put(FormatAxis(Now(), StickAxis::Pitch, pitch));
  if (roll != roll_) Put(FormatAxis(Now(), StickAxis::Roll, roll));
  pitch_ = pitch;
  roll_ = roll;
}

void Recorder::EndFrame(bool inputPass) {
  if (!inFrame_) return;
  inFrame_ = false;
  if (restartedInFrame_) {
    // This frame belongs to the flight before the reset.
    restartedInFrame_ = false;
  } else {
    frame_++;
    Put(FormatFrame(frame_, frameDelta_, inputPass));
    if (frameReset_) {
      Put("r " + std::to_string(resetTicks_ - frameTicks_) + "\n");
      frameReset_ = false;
      checkedSecond_ = 0;
    }
    long stepsPerSecond = PhysicsStep > 0 ? std::lround(1.0 / PhysicsStep) : 500;
    uint32_t second = uint32_t(StepCounter / uint32_t(stepsPerSecond > 0 ? stepsPerSecond : 500));
    if (second != checkedSecond_) {
      Put("check " + HashText(StateHash()) + "\n");
      checkedSecond_ = second;
    }
  }
  if (!late_.empty()) Put(late_);
  late_.clear();
}

bool Recorder::Start(const std::string& path, bool replace) {
  if (file_.open()) return false;
  std::string reason;
  if (!file_.Open(path, replace, reason)) {
    Log("Can't write the flight \"%s\": %s\n", path.c_str(), reason.c_str());
    return false;
  }
  // Only the newest switch-on is marked.
  size_t mark = text_.find("mark\n");
  if (mark == 0 || (mark != std::string::npos && text_[mark - 1] == '\n')) text_.erase(mark, 5);
  text_ += "mark\n";
  path_ = path;
  recordTicks_ = lastTicks_;
  if (!header_.empty()) Write(header_ + text_);
  return file_.open();
}

std::string Recorder::Stop() {
  if (!file_.open()) return "";
  if (header_.empty()) Clock(lastTicks_, false), inFrame_ = false;  // stopped before any frame
  char buf[80];
  std::snprintf(buf, sizeof buf, "%.6f end %s\n", Now(), HashText(StateHash()).c_str());
  std::string reason;
  bool ok = file_.Write(buf, reason);
  ok = file_.Close(reason) && ok;
  if (!ok) {
    Log("Can't write the flight \"%s\": %s\n", path_.c_str(), reason.c_str());
    return "";
  }
  return path_;
}

}  // namespace flight
