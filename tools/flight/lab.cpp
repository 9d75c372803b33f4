#include "tools/flight/lab.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "air/air.h"
#include "aircraft/aircraft.h"
#include "content/aircraft_file.h"
#include "flightrec/flight_file.h"
#include "foundation/edit_distance.h"
#include "physics/physics.h"
#include "sim/frame_clock.h"

namespace flight {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 3.141592653589793;

const char* const kAirKeys[] = {"air.wind_speed", "air.wind_from", "air.turbulence",
                                "air.thermals",   "air.thermal_density", "air.seed"};
const char* const kAirUnits[] = {"m/s", "deg", "", "", "1/km2", ""};

// A number the whole text of which is a finite double.
bool ReadNumber(const std::string& text, double& v) {
  if (text.empty()) return false;
  char* end = nullptr;
  v = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(v);
}

// Ten significant digits: evenly spaced values read as the user would type
// them (0.3, not 0.30000000000000004), and the case flies what it shows.
std::string Text(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

std::string Field(double v) {
  if (!std::isfinite(v)) return "";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

int AirKeyIndex(const std::string& key) {
  for (int i = 0; i < 6; i++)
    if (key == kAirKeys[i]) return i;
  return -1;
}

// The air line that sets one swept air value, the others as they are.
bool AirLine(const std::string& key, const std::string& value, const air::Settings& s,
             std::vector<std::string>& words, std::string& error) {
  double v = 0;
  bool number = ReadNumber(value, v);
  switch (AirKeyIndex(key)) {
    case 0: words = {"wind", value, Text(s.windFrom)}; return true;
    case 1: words = {"wind", Text(s.windSpeed), value}; return true;
    case 2: {
      static const char* const names[] = {"off", "light", "moderate", "severe"};
      if (number && v == std::floor(v) && v >= 0 && v <= 3) {
        words = {"turbulence", names[int(v)]};
        return true;
      }
      words = {"turbulence", value};
      return true;
    }
    case 3:
      if (number && (v == 0 || v == 1)) {
        words = {"thermals", v == 1 ? "on" : "off", Text(s.thermalDensity)};
        return true;
      }
      if (value == "on" || value == "off") {
        words = {"thermals", value, Text(s.thermalDensity)};
        return true;
      }
      error = key + ": \"" + value + "\" is not 0, 1, on or off";
      return false;
    case 4: words = {"thermals", s.thermals ? "on" : "off", value}; return true;
    case 5: words = {"seed", value}; return true;
  }
  error = "unknown key " + key;
  return false;
}

}  // namespace

bool IsAirKey(const std::string& key) { return key.compare(0, 4, "air.") == 0; }

namespace {

// Checks one value of a key before anything runs; `unit` gets its unit.
bool CheckValue(const std::string& key, const std::string& value, std::string& unit, std::string& error) {
  if (!IsAirKey(key)) return content::CheckAircraftValue(key, value, unit, error);
  int air = AirKeyIndex(key);
  unit = air < 0 ? "" : kAirUnits[air];
  air::Settings s;
  content::AircraftParams unused;
  if (!ApplySweepValue(key, value, unused, s, error)) return false;
  return true;
}

}  // namespace

bool ApplySweepValue(const std::string& key, const std::string& value, content::AircraftParams& aircraft,
                     air::Settings& settings, std::string& error) {
  if (!IsAirKey(key)) {
    std::vector<std::string> problems;
    if (content::SetAircraftValue(key + "=" + value, aircraft, problems)) return true;
    error = problems.empty() ? key + ": refused" : problems.front();
    return false;
  }
  if (AirKeyIndex(key) < 0) {
    // A key cut short ("air.wind") means the keys it begins.
    auto distance = [&](const std::string& k) { return k.compare(0, key.size(), key) == 0 ? 0 : EditDistance(key, k); };
    std::string nearest = kAirKeys[0];
    for (const char* k : kAirKeys)
      if (distance(k) < distance(nearest)) nearest = k;
    error = "unknown key " + key + " (did you mean " + nearest + "?)";
    return false;
  }
  std::vector<std::string> words;
  if (!AirLine(key, value, settings, words, error)) return false;
  std::string why;
  if (!air::ApplyLine(words, 0, settings, why)) {
    error = key + "=" + value + ": " + why;
    return false;
  }
  return true;
}

bool ParseSweep(const std::string& sweep, SweepAxis& axis, std::string& error) {
  size_t eq = sweep.find('=');
  if (eq == std::string::npos || eq == 0) {
    error = "--sweep " + sweep + ": wants KEY=FROM:TO:COUNT or KEY=v1,v2,...";
    return false;
  }
  axis.key = sweep.substr(0, eq);
  axis.values.clear();
  std::string rest = sweep.substr(eq + 1);
  std::string unit;
  if (std::count(rest.begin(), rest.end(), ':') == 2) {
    size_t a = rest.find(':'), b = rest.find(':', a + 1);
    std::string fromText = rest.substr(0, a), toText = rest.substr(a + 1, b - a - 1), countText = rest.substr(b + 1);
    double from = 0, to = 0, count = 0;
    for (const std::string* t : {&fromText, &toText, &countText}) {
      double v;
      if (!ReadNumber(*t, v)) {
        error = "--sweep " + sweep + ": \"" + *t + "\" is not a number";
        return false;
      }
    }
    ReadNumber(fromText, from);
    ReadNumber(toText, to);
    ReadNumber(countText, count);
    if (count < 1 || count != std::floor(count)) {
      error = "--sweep " + sweep + ": COUNT must be a whole number of at least 1, not " + countText;
      return false;
    }
    if (count > double(kMaxCases)) {
      error = "--sweep " + sweep + ": " + countText + " values is more than the 100000 cases a sweep may have";
      return false;
    }
    size_t n = size_t(count);
    for (size_t i = 0; i < n; i++)
      axis.values.push_back(Text(n == 1 ? from : from + (to - from) * double(i) / double(n - 1)));
  } else {
    std::stringstream list(rest);
    std::string item;
    while (std::getline(list, item, ',')) axis.values.push_back(item);
    if (!rest.empty() && rest.back() == ',') axis.values.push_back("");
    if (axis.values.empty()) axis.values.push_back("");
  }
  for (const std::string& v : axis.values) {
    if (v.empty()) {
      error = "--sweep " + sweep + ": an empty value";
      return false;
    }
    if (!CheckValue(axis.key, v, unit, error)) {
      error = "--sweep " + sweep + ": " + error;
      return false;
    }
  }
  return true;
}

size_t CaseCount(const std::vector<SweepAxis>& axes) {
  if (axes.empty()) return 0;
  size_t n = 1;
  for (const SweepAxis& a : axes) {
    if (a.values.empty()) return 0;
    if (n > SIZE_MAX / a.values.size()) return SIZE_MAX;
    n *= a.values.size();
  }
  return n;
}

std::vector<std::string> CaseValues(const std::vector<SweepAxis>& axes, size_t index) {
  std::vector<std::string> values(axes.size());
  for (size_t i = axes.size(); i-- > 0;) {
    values[i] = axes[i].values[index % axes[i].values.size()];
    index /= axes[i].values.size();
  }
  return values;
}

Probe ReadProbe(double frameSeconds) {
  Probe p;
  const Tarnplane* a = CurrentAircraft;
  if (a == nullptr) return p;
  const pBody* f = a->fuselage;
  Vec3 right = {f->rotation.m[0], f->rotation.m[1], f->rotation.m[2]};
  Vec3 forward = {f->rotation.m[3], f->rotation.m[4], f->rotation.m[5]};
  Vec3 up = {f->rotation.m[6], f->rotation.m[7], f->rotation.m[8]};
  for (const pBody* wing : {a->leftWing, a->leftWing2, a->rightWing, a->rightWing2})
    p.thrust += Dot(wing->surfaceImpulse, forward) / PhysicsStep;
  // The tip: the left outer panel's corner farthest out to the left.
  double farthest = 0;
  bool any = false;
  for (uint32_t i = 0; i < a->leftWing->worldVertices.count; i++) {
    Vec3 r = a->leftWing->worldVertices[i] + a->leftWing->position - f->position;
    double out = -Dot(r, right);
    if (!any || out > farthest) farthest = out, p.tipHeight = Dot(r, up);
    any = true;
  }
  p.rootAngle = a->leftWing2Hinge->angle;
  for (const pAxis* h : {a->leftWing2Hinge, a->leftWingHinge, a->rightWing2Hinge, a->rightWingHinge})
    p.driveWork += h->axialWork;
  for (pEntity* e : a->parts) {
    pAxis* h = dynamic_cast<pAxis*>(e);
    if (h == nullptr) continue;
    p.maxHingeTorque = std::max(p.maxHingeTorque, std::fabs(h->axialImpulse) / frameSeconds);
    h->axialImpulse = h->axialWork = 0;
  }
  p.minStrapTension = kNaN;
  for (const pStrape* s : a->balloonStrap)
    if (s != nullptr && !(s->tension >= p.minStrapTension)) p.minStrapTension = s->tension;
  return p;
}

bool ParseWindow(const std::string& text, Window& window, std::string& error) {
  size_t colon = text.find(':');
  window = {kNaN, kNaN};
  if (colon == std::string::npos) {
    error = "--window wants FROM:TO in seconds, not \"" + text + "\"";
    return false;
  }
  std::string from = text.substr(0, colon), to = text.substr(colon + 1);
  if ((!from.empty() && !ReadNumber(from, window.from)) || (!to.empty() && !ReadNumber(to, window.to)) ||
      window.from < 0 || window.to <= window.from) {
    error = "--window wants FROM:TO in seconds with 0 <= FROM < TO, not \"" + text + "\"";
    return false;
  }
  return true;
}

Metrics Measure(const std::vector<Row>& rows, const std::vector<Probe>& probes, Window window, double chord,
                double span) {
  Metrics m;
  m.airspeed = m.groundSpeed = m.climbRate = m.headingRate = m.bank = m.heightGained = kNaN;
  m.minStrapTension = m.maxHingeTorque = m.drivePower = m.thrust = kNaN;
  m.strouhal = m.reducedFrequency = m.advanceRatio = kNaN;
  if (rows.empty()) return m;
  double end = rows.back()[kTime];
  double from = std::isnan(window.from) ? (std::isnan(window.to) ? end * 2 / 3 : 0) : window.from;
  double to = std::isnan(window.to) ? end : window.to;
  size_t first = rows.size(), last = 0;
  for (size_t i = 0; i < rows.size(); i++) {
    double t = rows[i][kTime];
    if (t < from - 1e-9 || t > to + 1e-9) continue;
    first = std::min(first, i);
    last = i;
  }
  if (first > last) return m;
  m.frames = last - first + 1;
  double n = double(m.frames);
  double air = 0, ground = 0, climb = 0, bank = 0, turned = 0, beat = 0, work = 0;
  double tipLow = 0, tipHigh = 0, rootLow = 0, rootHigh = 0;
  m.minStrapTension = kNaN;
  m.maxHingeTorque = 0;
  std::vector<size_t> wraps;
  for (size_t i = first; i <= last; i++) {
    const Row& r = rows[i];
    const Probe& p = probes[i];
    air += std::isfinite(r[kAirspeed]) ? r[kAirspeed] : std::sqrt(r[kVx] * r[kVx] + r[kVy] * r[kVy] + r[kVz] * r[kVz]);
    ground += std::sqrt(r[kVx] * r[kVx] + r[kVy] * r[kVy]);
    climb += r[kVz];
    bank += r[kRoll];
    beat += r[kBeatRate];
    if (i > first) {
      double d = r[kHeading] - rows[i - 1][kHeading];
      d -= 360 * std::floor((d + 180) / 360);  // into [-180, 180)
      turned += d;
      work += p.driveWork;
      if (r[kBeatPhase] < rows[i - 1][kBeatPhase] - 0.5) wraps.push_back(i);
    }
    tipLow = i == first ? p.tipHeight : std::min(tipLow, p.tipHeight);
    tipHigh = i == first ? p.tipHeight : std::max(tipHigh, p.tipHeight);
    rootLow = i == first ? p.rootAngle : std::min(rootLow, p.rootAngle);
    rootHigh = i == first ? p.rootAngle : std::max(rootHigh, p.rootAngle);
    if (std::isfinite(p.minStrapTension) && !(p.minStrapTension >= m.minStrapTension))
      m.minStrapTension = p.minStrapTension;
    m.maxHingeTorque = std::max(m.maxHingeTorque, p.maxHingeTorque);
    bool hardGround = std::isfinite(r[kClearance]) && r[kClearance] < 0.05 && r[kVz] < -2;
    bool inWater = r[kZ] < air::kSeaLevel;
    if (hardGround || inWater) m.hardContact = true;
  }
  double span0 = rows[last][kTime] - rows[first][kTime];
  m.airspeed = air / n;
  m.groundSpeed = ground / n;
  m.climbRate = climb / n;
  m.bank = bank / n;
  m.heightGained = rows[last][kZ] - rows[first][kZ];
  if (span0 > 0) {
    m.headingRate = turned / span0;
    m.drivePower = work / span0;
  }
  // Thrust over whole beats: from the first wrap of the beat phase to the
  // last; the whole window when it holds less than one beat.
  size_t a = first, b = last;
  if (wraps.size() >= 2) a = wraps.front(), b = wraps.back() - 1;
  double thrust = 0;
  for (size_t i = a; i <= b; i++) thrust += probes[i].thrust;
  m.thrust = thrust / double(b - a + 1);
  double f = beat / n, U = m.airspeed;
  if (U > 0.1) {
    m.strouhal = f * (tipHigh - tipLow) / U;
    m.reducedFrequency = kPi * f * chord / U;
  }
  double stroke = rootHigh - rootLow;
  if (f * stroke * span > 0) m.advanceRatio = U / (2 * stroke * f * span);
  return m;
}

std::string MetricHeader() {
  return "airspeed (m/s),ground speed (m/s),climb rate (m/s),heading rate (deg/s),bank (deg),"
         "height gained (m),lowest strap tension (N),largest hinge torque (N m),drive power (W),"
         "thrust (N),Strouhal number,reduced frequency,advance ratio,hard contact,final hash";
}

std::string MetricFields(const Metrics& m, uint64_t finalHash) {
  std::string out;
  for (double v : {m.airspeed, m.groundSpeed, m.climbRate, m.headingRate, m.bank, m.heightGained,
                   m.minStrapTension, m.maxHingeTorque, m.drivePower, m.thrust, m.strouhal,
                   m.reducedFrequency, m.advanceRatio})
    out += Field(v) + ",";
  return out + (m.hardContact ? "1," : "0,") + HashText(finalHash);
}

std::string EmptyMetricFields() { return std::string(14, ','); }

namespace {

std::string Unit(const std::string& key) {
  std::string unit, why;
  int air = AirKeyIndex(key);
  if (air >= 0) unit = kAirUnits[air];
  else content::CheckAircraftValue(key, "0", unit, why);
  return unit.empty() ? key : key + " (" + unit + ")";
}

const char kSummaryMark[] = "# tarn-flight summary: sweep ";

}  // namespace

std::string SummaryRowText(size_t index, const std::vector<std::string>& values, const std::string& status,
                           const std::string& metricFields) {
  std::string line = std::to_string(index);
  for (const std::string& v : values) line += "," + v;
  std::string clean = status;
  std::replace(clean.begin(), clean.end(), ',', ';');
  std::replace(clean.begin(), clean.end(), '\n', ' ');
  return line + "," + clean + "," + metricFields;
}

std::string SummaryText(uint64_t fingerprint, const std::vector<SweepAxis>& axes, size_t shard, size_t shards,
                        const std::vector<SummaryRow>& rows) {
  size_t cases = std::max<size_t>(1, CaseCount(axes));
  std::string out = kSummaryMark + HashText(fingerprint) + ", " + std::to_string(cases) + (cases == 1 ? " case" : " cases");
  if (shards > 1) out += ", shard " + std::to_string(shard) + "/" + std::to_string(shards);
  out += "\ncase";
  for (const SweepAxis& a : axes) out += "," + Unit(a.key);
  out += ",status," + MetricHeader() + "\n";
  for (const SummaryRow& r : rows) out += r.text + "\n";
  return out;
}

namespace {

struct ShardFile {
  std::string sweep;  // fingerprint and case count: "0123... , 12 cases"
  size_t shard = 1, shards = 1;
  std::string header;
  std::vector<std::pair<size_t, std::string>> rows;
};

bool ReadShard(const std::string& text, const std::string& name, ShardFile& s, std::string& error) {
  std::stringstream in(text);
  std::string line;
  std::getline(in, line);
  if (line.compare(0, sizeof kSummaryMark - 1, kSummaryMark) != 0) {
    error = name + ": not a tarn-flight summary (its first line is not \"" + std::string(kSummaryMark) + "...\")";
    return false;
  }
  std::string rest = line.substr(sizeof kSummaryMark - 1);
  size_t at = rest.find(", shard ");
  s.sweep = rest.substr(0, at);
  if (at != std::string::npos) {
    unsigned long i = 0, n = 0;
    if (std::sscanf(rest.c_str() + at, ", shard %lu/%lu", &i, &n) != 2 || i < 1 || i > n) {
      error = name + ": its shard is not I/N";
      return false;
    }
    s.shard = i, s.shards = n;
  }
  if (!std::getline(in, s.header)) {
    error = name + ": the header line is missing";
    return false;
  }
  while (std::getline(in, line)) {
    char* end = nullptr;
    unsigned long long index = std::strtoull(line.c_str(), &end, 10);
    if (end == line.c_str() || *end != ',') {
      error = name + ": a row without its case number: \"" + line.substr(0, 40) + "\"";
      return false;
    }
    s.rows.emplace_back(size_t(index), line);
  }
  return true;
}

}  // namespace

bool MergeSummaries(const std::vector<std::string>& texts, const std::vector<std::string>& names, std::string& out,
                    std::string& error) {
  std::vector<ShardFile> shards(texts.size());
  for (size_t i = 0; i < texts.size(); i++)
    if (!ReadShard(texts[i], names[i], shards[i], error)) return false;
  if (shards.empty()) {
    error = "--merge wants the shard summaries to join";
    return false;
  }
  const ShardFile& head = shards.front();
  std::vector<bool> seen(head.shards + 1, false);
  for (size_t i = 0; i < shards.size(); i++) {
    const ShardFile& s = shards[i];
    if (s.sweep != head.sweep || s.header != head.header) {
      error = names[i] + " is a shard of another sweep (sweep " + s.sweep + ", not " + head.sweep + " as " +
              names[0] + ")";
      return false;
    }
    if (s.shards != head.shards) {
      error = names[i] + " is shard " + std::to_string(s.shard) + " of " + std::to_string(s.shards) + ", " +
              names[0] + " one of " + std::to_string(head.shards);
      return false;
    }
    if (seen[s.shard]) {
      error = names[i] + ": shard " + std::to_string(s.shard) + "/" + std::to_string(s.shards) + " is given twice";
      return false;
    }
    seen[s.shard] = true;
  }
  for (size_t k = 1; k <= head.shards; k++) {
    if (!seen[k]) {
      error = "shard " + std::to_string(k) + "/" + std::to_string(head.shards) + " is missing";
      return false;
    }
  }
  size_t comma = head.sweep.find(", ");
  size_t cases = comma == std::string::npos ? 0 : std::strtoull(head.sweep.c_str() + comma + 2, nullptr, 10);
  if (cases == 0 || cases > kMaxCases) {
    error = names[0] + ": its first line does not say how many cases the sweep has";
    return false;
  }
  std::vector<const std::string*> rows(cases, nullptr);
  for (const ShardFile& s : shards) {
    for (const auto& r : s.rows) {
      if (r.first >= cases || rows[r.first] != nullptr || r.first % s.shards != s.shard - 1) {
        error = "case " + std::to_string(r.first) + " is out of place in shard " + std::to_string(s.shard);
        return false;
      }
      rows[r.first] = &r.second;
    }
  }
  for (size_t i = 0; i < cases; i++) {
    if (rows[i] == nullptr) {
      error = "case " + std::to_string(i) + " is missing from shard " + std::to_string(i % head.shards + 1);
      return false;
    }
  }
  out = kSummaryMark + head.sweep + "\n" + head.header + "\n";
  for (const std::string* r : rows) out += *r + "\n";
  return true;
}

// ---- The picture of a sweep ----

namespace {

std::vector<std::string> SplitCsv(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string f;
  while (std::getline(in, f, ',')) fields.push_back(f);
  if (!line.empty() && line.back() == ',') fields.push_back("");
  return fields;
}

// Round tick values (1, 2 or 5 times a power of ten apart) covering lo..hi.
std::vector<double> Ticks(double& lo, double& hi) {
  if (!(hi > lo)) lo -= 0.5, hi += 0.5;
  double raw = (hi - lo) / 5;
  double power = std::pow(10, std::floor(std::log10(raw)));
  double step = power;
  for (double k : {1.0, 2.0, 5.0, 10.0})
    if (k * power >= raw) {
      step = k * power;
      break;
    }
  lo = std::floor(lo / step + 1e-9) * step;
  hi = std::ceil(hi / step - 1e-9) * step;
  std::vector<double> ticks;
  for (double t = lo; t <= hi + step * 1e-6; t += step) ticks.push_back(std::fabs(t) < step * 1e-9 ? 0 : t);
  return ticks;
}

// Tick labels: round ticks print whole (digits = 6); a heat map's swept
// values to three figures, enough to tell its columns apart.
std::string Num(double v, int digits = 6) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*g", digits, v);
  return buf;
}

// Blue through green to yellow, t in [0, 1].
std::string Colour(double t) {
  static const double stops[3][3] = {{68, 1, 84}, {33, 145, 140}, {253, 231, 37}};
  t = std::clamp(t, 0.0, 1.0) * 2;
  int i = std::min(1, int(t));
  double u = t - i;
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", int(stops[i][0] + (stops[i + 1][0] - stops[i][0]) * u),
                int(stops[i][1] + (stops[i + 1][1] - stops[i][1]) * u),
                int(stops[i][2] + (stops[i + 1][2] - stops[i][2]) * u));
  return buf;
}

}  // namespace

bool SweepSvgText(const std::string& summary, std::string& svg, std::string& error) {
  std::stringstream in(summary);
  std::string line, header;
  std::getline(in, line);
  std::getline(in, header);
  std::vector<std::string> names = SplitCsv(header);
  size_t status = std::find(names.begin(), names.end(), "status") - names.begin();
  size_t keys = status - 1;
  if (status >= names.size() || keys < 1 || keys > 2) {
    error = "--svg draws sweeps of one or two keys";
    return false;
  }
  std::vector<std::vector<double>> table;  // per row: keys' values then metrics
  size_t metrics = names.size() - status - 2;  // without the final hash
  while (std::getline(in, line)) {
    std::vector<std::string> f = SplitCsv(line);
    f.resize(names.size());
    std::vector<double> row;
    for (size_t c = 1; c <= keys; c++) {
      double v;
      row.push_back(ReadNumber(f[c], v) ? v : kNaN);
    }
    for (size_t c = status + 1; c < status + 1 + metrics; c++) {
      double v;
      row.push_back(ReadNumber(f[c], v) ? v : kNaN);
    }
    table.push_back(row);
  }
  const int columns = 3;
  const double panelW = 300, panelH = 200, left = 70, top = 40, gapX = 140, gapY = 80;
  int rowsOfPanels = int((metrics + columns - 1) / columns);
  double width = left + columns * (panelW + gapX), height = top + rowsOfPanels * (panelH + gapY) + 20;
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" font-family=\"sans-serif\" "
                "font-size=\"11\">\n<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
                width, height);
  svg = buf;
  auto text = [&](double x, double y, const std::string& s, const char* anchor, bool bold = false) {
    std::snprintf(buf, sizeof buf, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"%s\"%s>", x, y, anchor,
                  bold ? " font-weight=\"bold\"" : "");
    svg += buf + s + "</text>\n";
  };
  // The axes' ranges from the swept values.
  std::vector<double> lo(keys), hi(keys);
  std::vector<std::vector<double>> distinct(keys);
  for (size_t k = 0; k < keys; k++) {
    for (const auto& r : table)
      if (std::isfinite(r[k])) distinct[k].push_back(r[k]);
    std::sort(distinct[k].begin(), distinct[k].end());
    distinct[k].erase(std::unique(distinct[k].begin(), distinct[k].end()), distinct[k].end());
    lo[k] = distinct[k].empty() ? 0 : distinct[k].front();
    hi[k] = distinct[k].empty() ? 1 : distinct[k].back();
  }
  for (size_t m = 0; m < metrics; m++) {
    double x0 = left + (m % columns) * (panelW + gapX), y0 = top + (m / columns) * (panelH + gapY);
    text(x0, y0 - 10, names[status + 1 + m], "start", true);
    std::snprintf(buf, sizeof buf,
                  "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" stroke=\"#888\"/>\n", x0,
                  y0, panelW, panelH);
    svg += buf;
    double vlo = kNaN, vhi = kNaN;
    for (const auto& r : table) {
      double v = r[keys + m];
      if (!std::isfinite(v)) continue;
      vlo = std::isnan(vlo) ? v : std::min(vlo, v);
      vhi = std::isnan(vhi) ? v : std::max(vhi, v);
    }
    if (std::isnan(vlo)) vlo = 0, vhi = 1;
    if (keys == 1) {
      double xlo = lo[0], xhi = hi[0];
      std::vector<double> xt = Ticks(xlo, xhi);
      auto px = [&](double x) { return x0 + (x - xlo) / (xhi - xlo) * panelW; };
      for (double t : xt) {
        text(px(t), y0 + panelH + 14, Num(t), "middle");
        std::snprintf(buf, sizeof buf, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#888\"/>\n",
                      px(t), y0 + panelH, px(t), y0 + panelH + 4);
        svg += buf;
      }
      text(x0 + panelW / 2, y0 + panelH + 30, names[1], "middle");
      double ylo = vlo, yhi = vhi;
      std::vector<double> yt = Ticks(ylo, yhi);
      auto py = [&](double v) { return y0 + panelH - (v - ylo) / (yhi - ylo) * panelH; };
      for (double t : yt) {
        text(x0 - 6, py(t) + 4, Num(t), "end");
        std::snprintf(buf, sizeof buf, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#eee\"/>\n",
                      x0, py(t), x0 + panelW, py(t));
        svg += buf;
      }
      svg += "<polyline fill=\"none\" stroke=\"#1f6fb4\" stroke-width=\"1.5\" points=\"";
      for (const auto& r : table) {
        if (!std::isfinite(r[0]) || !std::isfinite(r[1 + m])) continue;
        std::snprintf(buf, sizeof buf, "%.1f,%.1f ", px(r[0]), py(r[1 + m]));
        svg += buf;
      }
      svg += "\"/>\n";
      for (const auto& r : table) {
        if (!std::isfinite(r[0]) || !std::isfinite(r[1 + m])) continue;
        std::snprintf(buf, sizeof buf, "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"2.5\" fill=\"#1f6fb4\"/>\n", px(r[0]),
                      py(r[1 + m]));
        svg += buf;
      }
      continue;
    }
    // Two keys: a heat map, one cell per pair of swept values (first key
    // across, second up), each axis labelled with its values.
    // The colours run over the round range the legend's ticks cover.
    double clo = vlo, chi = vhi;
    const std::vector<double> legendTicks = Ticks(clo, chi);
    const size_t across = std::max<size_t>(1, distinct[0].size()), up = std::max<size_t>(1, distinct[1].size());
    const double cellW = panelW / double(across), cellH = panelH / double(up);
    auto column = [&](const std::vector<double>& d, double v) {
      return size_t(std::lower_bound(d.begin(), d.end(), v) - d.begin());
    };
    for (const auto& r : table) {
      if (!std::isfinite(r[0]) || !std::isfinite(r[1])) continue;
      double v = r[2 + m];
      std::string fill = std::isfinite(v) ? Colour((v - clo) / (chi - clo)) : "#ffffff";
      std::snprintf(buf, sizeof buf,
                    "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"/>\n",
                    x0 + double(column(distinct[0], r[0])) * cellW,
                    y0 + panelH - double(column(distinct[1], r[1]) + 1) * cellH, cellW + 0.3, cellH + 0.3,
                    fill.c_str());
      svg += buf;
    }
    // Labels: every value when they fit, else about eight of them.
    size_t everyX = (across + 7) / 8, everyY = (up + 7) / 8;
    for (size_t i = 0; i < distinct[0].size(); i += everyX)
      text(x0 + (double(i) + 0.5) * cellW, y0 + panelH + 14, Num(distinct[0][i], 3), "middle");
    for (size_t i = 0; i < distinct[1].size(); i += everyY)
      text(x0 - 6, y0 + panelH - (double(i) + 0.5) * cellH + 4, Num(distinct[1][i], 3), "end");
    text(x0 + panelW / 2, y0 + panelH + 30, names[1], "middle");
    std::snprintf(buf, sizeof buf, "<text transform=\"translate(%.1f,%.1f) rotate(-90)\" text-anchor=\"middle\">",
                  x0 - 48, y0 + panelH / 2);
    svg += buf + names[2] + "</text>\n";
    // The legend: the colour ramp beside the panel, labelled at its round ticks.
    double lx = x0 + panelW + 8;
    for (int i = 0; i < 20; i++) {
      std::snprintf(buf, sizeof buf, "<rect x=\"%.1f\" y=\"%.1f\" width=\"10\" height=\"%.1f\" fill=\"%s\"/>\n", lx,
                    y0 + panelH - (i + 1) * panelH / 20, panelH / 20 + 0.5, Colour((i + 0.5) / 20).c_str());
      svg += buf;
    }
    for (double t : legendTicks) text(lx + 13, y0 + panelH - (t - clo) / (chi - clo) * panelH + 4, Num(t), "start");
  }
  svg += "</svg>\n";
  return true;
}

}  // namespace flight
