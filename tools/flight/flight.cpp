#include "tools/flight/flight.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "air/air.h"
#include "aircraft/aircraft.h"
#include "aircraft/island_ground.h"
#include "app/update.h"
#include "assets/model.h"
#include "flightrec/recorder.h"
#include "flightrec/replay.h"
#include "flightrec/state.h"
#include "foundation/clock.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "physics/physics.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"

namespace flight {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kRadToDeg = 57.29577951308232;

// The fixed-step clock of a run: the counter advances by whole ticks per frame.
int64_t gClockCounter = 0;
int64_t gClockFrequency = 60;
bool QueryFixedFrequency(int64_t* frequency) {
  *frequency = gClockFrequency;
  return true;
}
int64_t QueryFixedCounter() { return gClockCounter; }
uint32_t FixedMilliseconds() { return uint32_t(gClockCounter * 1000 / gClockFrequency); }

double Degrees(double radians) { return radians * kRadToDeg; }

// The smallest height above the ground of any corner of the airframe (every
// body but the balloon), whichever way up it lies; NaN without ground.
double LowestClearance(const Tarnplane* a) {
  double best = kNaN;
  for (const pEntity* e : a->parts) {
    const pBody* b = dynamic_cast<const pBody*>(e);
    if (b == nullptr || b == a->balloon) continue;
    // The lowest corner of each body, then the ground under it.
    bool have = false;
    Vec3 low = {0, 0, 0};
    for (uint32_t i = 0; i < b->worldVertices.count; i++) {
      Vec3 p = b->worldVertices[i] + b->position;
      if (!have || p.z < low.z) low = p;
      have = true;
    }
    double ground = 0;
    if (have && GroundHeightBelow(low, 1.0, &ground)) {
      double c = low.z - ground;
      if (std::isnan(best) || c < best) best = c;
    }
  }
  return best;
}

// The runner's frame: the replay's events before it, and a recording (when
// asked for) told the stick inputs and the frame's end. A script run has an
// input pass every frame; a replay where its recording had one.
class RunnerHost : public FrameHost {
 public:
  RunnerHost(Recorder* recorder, Replay* replay) : recorder_(recorder), replay_(replay) {}
  bool BeginFrame() override {
    if (replay_ != nullptr) replay_->BeforeFrame();
    if (recorder_ != nullptr) recorder_->Axes(StickPitchInput, StickRollInput);
    return true;
  }
  bool InputPassDue() override { return replay_ == nullptr || replay_->inputPass(); }
  void EndFrame(bool inputPass) override {
    if (recorder_ != nullptr) recorder_->EndFrame(inputPass);
  }

 private:
  Recorder* recorder_;
  Replay* replay_;
};

// What a run and a replay share: the program's start-up less the drawing,
// the frame's simulation and its telemetry row, and the clean-up.
class Flying {
 public:
  // replay: the flight replayed, or null for a script run.
  Flying(const RunOptions& options, RunResult& result, Replay* replay = nullptr)
      : options_(options), result_(result), host_(options.recorder, replay) {
    WheelMoved = false;
    WheelNotches = 0;
    island_ = LoadIslandGround();
    ClearEntityList();
    PhysicsStep = 0.002;
    const uint32_t missingBefore = MissingNodeLookups;
    ResetScene();
    // Flying a machine with parts missing, or over no ground, only produces
    // numbers that look like a result: such a run stops before its first frame.
    if (island_->triangles.count == 0) {
      result_.failure = "the ground could not be built from Models/DivadiZarov";
    } else if (CurrentAircraft == nullptr || CurrentAircraft->model->triangles.count == 0 ||
               MissingNodeLookups != missingBefore) {
      result_.failure = "the aircraft could not be built from Models/PlaneTarn";
    }
    wallStart_ = std::chrono::steady_clock::now();
    cpuStart_ = std::clock();
  }
  // Runs a frame and samples it at run time `time`. False once a row breaks.
  bool Frame(double time) {
    RunFrame(host_);
    Row row = Sample(time);
    result_.broken = RowIsBroken(row);
    if (!options_.keepRows) result_.rows.clear();
    result_.rows.push_back(std::move(row));
    return !result_.broken;
  }
  ~Flying() {
    result_.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart_).count();
    result_.cpuSeconds = double(std::clock() - cpuStart_) / CLOCKS_PER_SEC;
    result_.finalHash = StateHash();
    if (options_.recorder != nullptr) options_.recorder->Stop();
    DestroyAircraft();
    ReleaseModel(island_);
    StickPitchInput = StickRollInput = 0;  // a run leaves no stick deflected
  }

 private:
  const RunOptions& options_;
  RunResult& result_;
  RunnerHost host_;
  MDL* island_ = nullptr;
  std::chrono::steady_clock::time_point wallStart_;
  std::clock_t cpuStart_ = 0;
};

}  // namespace


const std::vector<std::string>& ColumnNames() {
  static const std::vector<std::string> names = {
      "time", "x", "y", "z", "vx", "vy", "vz", "speed", "heading", "pitch", "roll", "height",
      "simtime", "beatPhase", "beatRate", "flapping", "pitchInput", "rollInput",
      "tailAngle", "tail2Angle", "leftWing2Angle", "leftWingAngle", "rightWing2Angle",
      "rightWingAngle", "balloonX", "balloonY", "balloonZ",
      "strap1", "strap2", "strap3", "strap4", "clearance", "airX", "airY", "airZ", "airspeed"};
  return names;
}

Row Sample(double time) {
  Row r(kColumnCount, kNaN);
  r[kTime] = time;
  r[kSimTime] = double(StepCounter) * PhysicsStep;
  const Tarnplane* a = CurrentAircraft;
  if (a == nullptr) return r;
  const pBody* f = a->fuselage;
  r[kX] = f->position.x;
  r[kY] = f->position.y;
  r[kZ] = f->position.z;
  r[kVx] = f->velocity.x;
  r[kVy] = f->velocity.y;
  r[kVz] = f->velocity.z;
  // Rows of the rotation are the body axes in world coordinates.
  Vec3 right = {f->rotation.m[0], f->rotation.m[1], f->rotation.m[2]};
  Vec3 forward = {f->rotation.m[3], f->rotation.m[4], f->rotation.m[5]};
  Vec3 up = {f->rotation.m[6], f->rotation.m[7], f->rotation.m[8]};
  r[kSpeed] = Dot(f->velocity, forward);
  double heading = Degrees(std::atan2(forward.x, forward.y));
  if (heading < 0) heading += 360;
  if (heading >= 360) heading -= 360;
  r[kHeading] = heading;
  r[kPitch] = Degrees(std::asin(Clamp(forward.z, -1, 1)));
  r[kRoll] = Degrees(std::atan2(-right.z, up.z));

  // Lowest corner of the two feet, and the ground under it.
  bool haveFoot = false;
  Vec3 lowest = {0, 0, 0};
  const pBody* feet[2] = {a->rightLeg[2], a->leftLeg[2]};
  for (const pBody* foot : feet) {
    for (uint32_t i = 0; i < foot->worldVertices.count; i++) {
      Vec3 p = foot->worldVertices[i] + foot->position;
      if (!haveFoot || p.z < lowest.z) lowest = p;
      haveFoot = true;
    }
  }
  double ground = 0;
  if (haveFoot && GroundHeightBelow(lowest, 1.0, &ground)) r[kHeight] = lowest.z - ground;
  r[kClearance] = LowestClearance(a);
  if (air::Moving()) {
    Vec3 at = AirVelocityAt(f->position + f->centreOffset);
    r[kAirX] = at.x, r[kAirY] = at.y, r[kAirZ] = at.z;
    r[kAirspeed] = Length(f->velocity - at);
  }

  r[kBeatPhase] = a->beatPhase;
  r[kBeatRate] = a->beatRate;
  r[kFlapping] = a->flapping ? 1 : 0;
  r[kPitchInput] = a->pitchInput;
  r[kRollInput] = a->rollInput;
  r[kTailAngle] = Degrees(a->tailHinge->angle);
  r[kTail2Angle] = Degrees(a->tail2Hinge->angle);
  r[kLeftWing2Angle] = Degrees(a->leftWing2Hinge->angle);
  r[kLeftWingAngle] = Degrees(a->leftWingHinge->angle);
  r[kRightWing2Angle] = Degrees(a->rightWing2Hinge->angle);
  r[kRightWingAngle] = Degrees(a->rightWingHinge->angle);
  r[kBalloonX] = a->balloon->position.x;
  r[kBalloonY] = a->balloon->position.y;
  r[kBalloonZ] = a->balloon->position.z;
  for (int i = 0; i < 4; i++) {
    const pStrape* s = a->balloonStrap[i];
    if (s != nullptr) r[kStrap1 + i] = Length(s->EndB() - s->EndA());
  }
  return r;
}

bool RowIsBroken(const Row& row) {
  for (int c = 0; c < kColumnCount; c++) {
    if (c == kHeight || c == kClearance || (c >= kStrap1 && c <= kStrap4) || c >= kAirX) continue;
    if (!std::isfinite(row[c])) return true;
  }
  for (int c = kStrap1; c <= kStrap4; c++)
    if (std::isinf(row[c])) return true;
  return false;
}

RunResult Run(const std::vector<ScriptEvent>& events, const RunOptions& options) {
  RunResult result;
  double frame = options.frameTime;
  if (!(frame > 0) || !std::isfinite(frame)) return result;

  // A clock whose counter advances by whole ticks per frame: one tick per
  // frame when the frame rate is a whole number, nanoseconds otherwise.
  double rate = 1.0 / frame;
  double whole = std::round(rate);
  int64_t ticksPerFrame = 1;
  if (whole >= 1 && std::fabs(rate - whole) <= 1e-9 * whole) {
    gClockFrequency = int64_t(whole);
  } else {
    gClockFrequency = 1000000000;
    ticksPerFrame = std::max<int64_t>(1, std::llround(frame * 1e9));
  }
  gClockCounter = 0;
  SetClockSource(ClockSource{QueryFixedFrequency, QueryFixedCounter, FixedMilliseconds});

  for (int i = 0; i < 256; i++) KeyState[i] = 0;
  StickPitchInput = 0;
  StickRollInput = 0;

  double endTime = options.maxTime;
  bool hasEnd = false;
  for (const ScriptEvent& e : events) {
    if (e.action == Action::End) {
      endTime = std::min(endTime, e.time);
      hasEnd = true;
    }
  }
  if (!hasEnd && !events.empty()) endTime = std::min(endTime, events.back().time + frame);

  {
    Flying flying(options, result);
    size_t next = 0;
    if (!result.failure.empty()) next = events.size(), endTime = 0;
    for (int64_t k = 1;; k++) {
      // Messages are dispatched between frames, at the clock reading of the
      // previous frame.
      double now = double(k - 1) * frame;
      bool quit = false;
      while (next < events.size() && events[next].time <= now + 1e-9) {
        const ScriptEvent& e = events[next++];
        // A script's keys are the user's keys: they enter the table through
        // the key bindings.
        ScriptEvent bound = e;
        if (e.action != Action::Axis && e.action != Action::Air) bound.key = KeyBinding[e.key & 0xFF];
        if (e.action == Action::Axis || e.action == Action::Air || bound.key != 0) DispatchEvent(bound);
        if (e.action == Action::Air && options.recorder != nullptr) options.recorder->Air(e.words);
        if (e.key == VK_ESCAPE && (e.action == Action::Press || e.action == Action::Down)) quit = true;
      }
      if (quit) {
        result.escaped = true;
        break;
      }
      if (now >= endTime - 1e-9) break;

      gClockCounter = k * ticksPerFrame;
      if (!flying.Frame(double(k) * frame)) break;
      if (options.afterFrame && !options.afterFrame(result.rows.back())) break;
    }
  }
  ResetClockSource();
  return result;
}

RunResult ReplayFlight(const Flight& flight, const RunOptions& options) {
  RunResult result;
  Replay replay(flight);
  replay.Begin();
  {
    Flying flying(options, result, &replay);
    replay.Started([] { SimulationInputPass(); });
    while (result.failure.empty() && !replay.done()) {
      bool ok = flying.Frame(replay.FrameTime(replay.next()));
      replay.AfterFrame();
      if (!ok || (options.afterFrame && !options.afterFrame(result.rows.back()))) break;
    }
    if (!result.broken && result.failure.empty()) replay.Finish();
    result.differsAt = replay.differsAt();
    result.endChecked = replay.endChecked();
  }
  return result;
}

namespace {
// Outputs replace earlier outputs whole or not at all.
bool WriteOutput(const std::string& path, const std::string& bytes) {
  std::string reason;
  if (WriteWholeFile(path, bytes, reason)) return true;
  Log("Can't write \"%s\": %s\n", path.c_str(), reason.c_str());
  return false;
}
}  // namespace

std::string Verdict(const Flight& flight, const RunResult& result) {
  char buf[256];
  if (result.differsAt >= 0) {
    std::snprintf(buf, sizeof buf, "replay differs at frame %lld%s", (long long)result.differsAt,
                  OtherBuildNote(flight).c_str());
  } else if (!result.endChecked) {
    std::snprintf(buf, sizeof buf,
                  "replay matches to frame %zu, its last complete one; the end hash is missing",
                  flight.frames.size());
  } else {
    std::snprintf(buf, sizeof buf, "replay matches");
  }
  return buf;
}

bool WriteCsv(const std::string& path, const std::vector<Row>& rows) {
  std::string out;
  char buf[32];
  const std::vector<std::string>& names = ColumnNames();
  // The air's columns only when the air moved: still-air tables stay as they were.
  int columns = kAirX;
  for (const Row& r : rows)
    if (std::isfinite(r[kAirspeed])) columns = kColumnCount;
  for (int c = 0; c < columns; c++) out += (c ? "," : "") + names[c];
  out += '\n';
  for (const Row& r : rows) {
    for (int c = 0; c < columns; c++) {
      if (c) out += ',';
      if (std::isfinite(r[c])) {  // blank: no value
        std::snprintf(buf, sizeof buf, "%.9g", r[c]);
        out += buf;
      }
    }
    out += '\n';
  }
  return WriteOutput(path, out);
}

namespace {

struct Panel {
  int column;
  const char* title;
  const char* colour;
};

// The ground track in a square of `size` pixels at (left, top): world x to
// the right, y up, both at one scale so a circle looks round.
void AppendGroundTrack(std::string& out, const std::vector<Row>& rows, double left, double top, double size) {
  double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  bool any = false;
  for (const Row& r : rows) {
    if (!std::isfinite(r[kX]) || !std::isfinite(r[kY])) continue;
    x0 = any ? std::min(x0, r[kX]) : r[kX];
    x1 = any ? std::max(x1, r[kX]) : r[kX];
    y0 = any ? std::min(y0, r[kY]) : r[kY];
    y1 = any ? std::max(y1, r[kY]) : r[kY];
    any = true;
  }
  double span = std::max({x1 - x0, y1 - y0, 1.0}) * 1.1;
  double cx = (x0 + x1) * 0.5, cy = (y0 + y1) * 0.5;
  auto px = [&](double x) { return left + (x - cx) / span * size + size * 0.5; };
  auto py = [&](double y) { return top + size * 0.5 - (y - cy) / span * size; };
  char buf[2048];
  std::snprintf(buf, sizeof buf,
                "<text x=\"%.1f\" y=\"%.1f\" font-weight=\"bold\">ground track: x (m) across, y (m) up</text>\n"
                "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" stroke=\"#888\"/>\n"
                "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%.1f</text>\n"
                "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%.1f</text>\n"
                "<text x=\"%.1f\" y=\"%.1f\">%.1f</text>\n"
                "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%.1f</text>\n",
                left, top - 8, left, top, size, size, left - 4, top + 10, cy + span * 0.5, left - 4, top + size,
                cy - span * 0.5, left, top + size + 15, cx - span * 0.5, left + size, top + size + 15,
                cx + span * 0.5);
  out += buf;
  if (!any) return;
  out += "<polyline fill=\"none\" stroke=\"#6c3483\" stroke-width=\"1.2\" points=\"";
  const Row* start = nullptr;
  for (const Row& r : rows) {
    if (!std::isfinite(r[kX]) || !std::isfinite(r[kY])) continue;
    if (start == nullptr) start = &r;
    std::snprintf(buf, sizeof buf, "%.1f,%.1f ", px(r[kX]), py(r[kY]));
    out += buf;
  }
  out += "\"/>\n";
  std::snprintf(buf, sizeof buf,
                "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"5\" fill=\"#27864a\"/>\n"
                "<text x=\"%.1f\" y=\"%.1f\" fill=\"#27864a\">start</text>\n",
                px((*start)[kX]), py((*start)[kY]), px((*start)[kX]) + 8, py((*start)[kY]) - 6);
  out += buf;
}

}  // namespace

bool WriteSvg(const std::string& path, const std::vector<Row>& rows) {
  const Panel panels[3] = {{kHeight, "height above ground (m)", "#1f6fb4"},
                           {kSpeed, "speed along the fuselage (m/s)", "#c0392b"},
                           {kBeatRate, "wing-beat rate (Hz)", "#27864a"}};
  const double width = 900, panelHeight = 200, left = 70, right = 20, top = 30, gap = 50, track = 500;
  double height = top + 3 * (panelHeight + gap) + track + gap;
  double t0 = rows.empty() ? 0 : rows.front()[kTime];
  double t1 = rows.empty() ? 1 : rows.back()[kTime];
  if (!(t1 > t0)) t1 = t0 + 1;

  std::string out;
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
                "font-family=\"sans-serif\" font-size=\"12\">\n"
                "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
                width, height);
  out += buf;
  double plotWidth = width - left - right;
  for (int p = 0; p < 3; p++) {
    const Panel& panel = panels[p];
    double y0 = top + p * (panelHeight + gap);
    double lo = 0, hi = 0;
    bool any = false;
    for (const Row& r : rows) {
      double v = r[panel.column];
      if (!std::isfinite(v)) continue;
      if (!any || v < lo) lo = v;
      if (!any || v > hi) hi = v;
      any = true;
    }
    if (!any) lo = 0, hi = 1;
    if (lo > 0) lo = 0;
    if (hi - lo < 1e-9) hi = lo + 1;
    double pad = (hi - lo) * 0.05;
    lo -= pad;
    hi += pad;
    std::snprintf(buf, sizeof buf,
                  "<text x=\"%.1f\" y=\"%.1f\" font-weight=\"bold\">%s</text>\n"
                  "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" "
                  "stroke=\"#888\"/>\n",
                  left, y0 - 8, panel.title, left, y0, plotWidth, panelHeight);
    out += buf;
    auto px = [&](double t) { return left + (t - t0) / (t1 - t0) * plotWidth; };
    auto py = [&](double v) { return y0 + panelHeight - (v - lo) / (hi - lo) * panelHeight; };
    // Zero line and value labels.
    if (lo < 0 && hi > 0) {
      std::snprintf(buf, sizeof buf,
                    "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#ccc\"/>\n",
                    left, py(0), left + plotWidth, py(0));
      out += buf;
    }
    std::snprintf(buf, sizeof buf,
                  "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%.2f</text>\n"
                  "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%.2f</text>\n",
                  left - 4, y0 + 10, hi, left - 4, y0 + panelHeight, lo);
    out += buf;
    for (int i = 0; i <= 5; i++) {
      double t = t0 + (t1 - t0) * i / 5;
      std::snprintf(buf, sizeof buf,
                    "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%.1f s</text>\n", px(t),
                    y0 + panelHeight + 15, t);
      out += buf;
    }
    out += "<polyline fill=\"none\" stroke=\"";
    out += panel.colour;
    out += "\" stroke-width=\"1.2\" points=\"";
    for (const Row& r : rows) {
      double v = r[panel.column];
      if (!std::isfinite(v)) continue;
      std::snprintf(buf, sizeof buf, "%.1f,%.1f ", px(r[kTime]), py(v));
      out += buf;
    }
    out += "\"/>\n";
  }
  AppendGroundTrack(out, rows, left, top + 3 * (panelHeight + gap), track);
  out += "</svg>\n";

  return WriteOutput(path, out);
}

std::string Summary(const RunResult& result) {
  if (result.rows.empty()) return "no frames run";
  const Row& r = result.rows.back();
  double simulated = r[kSimTime];
  double ratio = result.wallSeconds > 0 ? simulated / result.wallSeconds : 0;
  double cpuRatio = result.cpuSeconds > 0 ? simulated / result.cpuSeconds : 0;
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "t=%.3f s pos=(%.2f, %.2f, %.2f) speed=%.2f m/s heading=%.1f pitch=%.1f "
                "roll=%.1f height=%.2f m beat=%.2f Hz | %zu frames, %.2f s simulated in "
                "%.2f s wall, %.2f s CPU (%.1fx real time, %.1fx per CPU second)%s",
                r[kTime], r[kX], r[kY], r[kZ], r[kSpeed], r[kHeading], r[kPitch], r[kRoll],
                r[kHeight], r[kBeatRate], result.rows.size(), simulated, result.wallSeconds,
                result.cpuSeconds, ratio, cpuRatio, result.broken ? " NaN" : "");
  return buf;
}

}  // namespace flight
