#include "tools/flight/flight.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "aircraft/aircraft.h"
#include "aircraft/island_ground.h"
#include "app/update.h"
#include "assets/model.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "physics/physics.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"

namespace flight {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kRadToDeg = 57.29577951308232;

struct KeyName {
  const char* name;
  uint32_t code;
};
const KeyName kKeyNames[] = {
    {"Up", VK_UP},         {"Down", VK_DOWN},   {"Left", VK_LEFT}, {"Right", VK_RIGHT},
    {"Space", VK_SPACE},   {"Delete", VK_DELETE}, {"Pause", VK_PAUSE}, {"F1", VK_F1},
    {"Escape", VK_ESCAPE},
};

bool SameNoCase(const std::string& a, const char* b) {
  size_t n = std::char_traits<char>::length(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; i++) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = char(x - 32);
    if (y >= 'a' && y <= 'z') y = char(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::vector<std::string> Tokens(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) i++;
    if (i >= line.size()) break;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') i++;
    out.push_back(line.substr(start, i - start));
  }
  return out;
}

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

}  // namespace

uint32_t KeyCodeByName(const std::string& name) {
  if (name.size() == 1) {
    char c = name[0];
    if (c >= 'a' && c <= 'z') c = char(c - 32);
    if (c >= 'A' && c <= 'Z') return uint32_t(c);
    return 0;
  }
  for (const KeyName& k : kKeyNames)
    if (SameNoCase(name, k.name)) return k.code;
  return 0;
}

bool ParseScript(const std::string& text, std::vector<ScriptEvent>& events, std::string& error) {
  events.clear();
  size_t pos = 0;
  int lineNumber = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    lineNumber++;
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    std::vector<std::string> t = Tokens(line);
    if (t.empty()) {
      if (end == text.size()) break;
      continue;
    }
    auto fail = [&](const std::string& problem) {
      error = "line " + std::to_string(lineNumber) + ": " + problem;
      std::stable_sort(events.begin(), events.end(),
                       [](const ScriptEvent& a, const ScriptEvent& b) { return a.time < b.time; });
      return false;
    };
    const char* s = t[0].c_str();
    char* stop = nullptr;
    double time = std::strtod(s, &stop);
    if (stop == s || stop != s + t[0].size()) return fail("\"" + t[0] + "\" is not a time in seconds");
    if (!std::isfinite(time) || time < 0) return fail("the time must be a finite number >= 0");
    if (t.size() < 2) return fail("an action (press, down, up or end) must follow the time");
    ScriptEvent e{time, Action::End, 0, lineNumber, StickAxis::Pitch, 0};
    const std::string& action = t[1];
    if (action == "end") {
      if (t.size() != 2) return fail("\"end\" takes no key");
      events.push_back(e);
      if (end == text.size()) break;
      continue;
    }
    if (action == "axis") {
      e.action = Action::Axis;
      if (t.size() != 4) return fail("\"axis\" takes pitch or roll and a value");
      if (t[2] == "pitch") e.axis = StickAxis::Pitch;
      else if (t[2] == "roll") e.axis = StickAxis::Roll;
      else return fail("unknown axis \"" + t[2] + "\" (pitch or roll)");
      const char* v = t[3].c_str();
      e.value = std::strtod(v, &stop);
      if (stop == v || stop != v + t[3].size() || !(e.value >= -1 && e.value <= 1))
        return fail("the axis value must be a number from -1 to 1");
      events.push_back(e);
      if (end == text.size()) break;
      continue;
    }
    if (action == "press") e.action = Action::Press;
    else if (action == "down") e.action = Action::Down;
    else if (action == "up") e.action = Action::Up;
    else return fail("unknown action \"" + action + "\" (press, down, up or end)");
    if (t.size() != 3) return fail(t.size() < 3 ? "a key name must follow the action"
                                                 : "one key per line");
    e.key = KeyCodeByName(t[2]);
    if (e.key == 0) return fail("unknown key \"" + t[2] + "\"");
    events.push_back(e);
    if (end == text.size()) break;
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const ScriptEvent& a, const ScriptEvent& b) { return a.time < b.time; });
  return true;
}

const std::vector<std::string>& ColumnNames() {
  static const std::vector<std::string> names = {
      "time", "x", "y", "z", "vx", "vy", "vz", "speed", "heading", "pitch", "roll", "height",
      "simtime", "beatPhase", "beatRate", "flapping", "pitchInput", "rollInput",
      "tailAngle", "tail2Angle", "leftWing2Angle", "leftWingAngle", "rightWing2Angle",
      "rightWingAngle", "balloonX", "balloonY", "balloonZ",
      "strap1", "strap2", "strap3", "strap4", "clearance"};
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
    if (c == kHeight || c == kClearance || (c >= kStrap1 && c <= kStrap4)) continue;
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
  StickPitchInput = StickRollInput = 0;
  WheelMoved = false;
  WheelNotches = 0;

  // The start-up of the program, less everything that draws.
  MDL* island = LoadIslandGround();
  ClearEntityList();
  PhysicsStep = 0.002;
  const uint32_t missingBefore = MissingNodeLookups;
  ResetScene();
  // Flying a machine with parts missing, or over no ground, only produces
  // numbers that look like a result: such a run stops before its first frame.
  if (island->triangles.count == 0) {
    result.failure = "the ground could not be built from Models/DivadiZarov";
  } else if (CurrentAircraft == nullptr || CurrentAircraft->model->triangles.count == 0 ||
             MissingNodeLookups != missingBefore) {
    result.failure = "the aircraft could not be built from Models/PlaneTarn";
  }
  if (!result.failure.empty()) {
    DestroyAircraft();
    ReleaseModel(island);
    ResetClockSource();
    return result;
  }

  double endTime = options.maxTime;
  bool hasEnd = false;
  for (const ScriptEvent& e : events) {
    if (e.action == Action::End) {
      endTime = std::min(endTime, e.time);
      hasEnd = true;
    }
  }
  if (!hasEnd && !events.empty()) endTime = std::min(endTime, events.back().time + frame);

  auto wallStart = std::chrono::steady_clock::now();
  std::clock_t cpuStart = std::clock();
  size_t next = 0;
  for (int64_t k = 1;; k++) {
    // Messages are dispatched between frames, at the clock reading of the
    // previous frame.
    double now = double(k - 1) * frame;
    bool quit = false;
    while (next < events.size() && events[next].time <= now + 1e-9) {
      const ScriptEvent& e = events[next++];
      uint32_t key = KeyBinding[e.key & 0xFF];
      switch (e.action) {
        case Action::Press:
          if (key) PressKey(key), ReleaseKey(key);
          break;
        case Action::Down:
          if (key) PressKey(key);
          break;
        case Action::Up:
          if (key) ReleaseKey(key);
          break;
        case Action::Axis:
          (e.axis == StickAxis::Pitch ? StickPitchInput : StickRollInput) = e.value;
          break;
        case Action::End:
          break;
      }
      if (e.key == VK_ESCAPE && (e.action == Action::Press || e.action == Action::Down)) quit = true;
    }
    if (quit) {
      result.escaped = true;
      break;
    }
    if (now >= endTime - 1e-9) break;

    gClockCounter = k * ticksPerFrame;
    UpdateFrame();
    SimulationInputPass();
    Row row = Sample(double(k) * frame);
    bool broken = RowIsBroken(row);
    if (!options.keepRows) result.rows.clear();
    result.rows.push_back(std::move(row));
    if (broken) {
      result.broken = true;
      break;
    }
    if (options.afterFrame && !options.afterFrame(result.rows.back())) break;
  }
  result.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  result.cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;

  StickPitchInput = StickRollInput = 0;
  DestroyAircraft();
  ReleaseModel(island);
  ResetClockSource();
  return result;
}

bool WriteCsv(const std::string& path, const std::vector<Row>& rows) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    Log("Can't write \"%s\"\n", path.c_str());
    return false;
  }
  const std::vector<std::string>& names = ColumnNames();
  for (size_t c = 0; c < names.size(); c++) std::fprintf(f, c ? ",%s" : "%s", names[c].c_str());
  std::fputc('\n', f);
  for (const Row& r : rows) {
    for (int c = 0; c < kColumnCount; c++) {
      if (c) std::fputc(',', f);
      if (std::isfinite(r[c])) std::fprintf(f, "%.9g", r[c]);  // blank: no value
    }
    std::fputc('\n', f);
  }
  bool ok = std::fflush(f) == 0;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) Log("Can't write \"%s\"\n", path.c_str());
  return ok;
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

  FILE* f = std::fopen(path.c_str(), "wb");
  bool ok = f != nullptr && std::fwrite(out.data(), 1, out.size(), f) == out.size();
  if (f != nullptr) ok = std::fclose(f) == 0 && ok;
  if (!ok) Log("Can't write \"%s\"\n", path.c_str());
  return ok;
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
