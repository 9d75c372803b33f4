#include "content/aircraft_file.h"

#include "foundation/files.h"

#include <ini.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/edit_distance.h"
#include "foundation/str.h"
#include "foundation/text_lines.h"

namespace content {
namespace {

enum class Kind { Real, Whole, Angle };

struct Entry {
  Kind kind;
  const char* section;
  const char* key;
  double def, lo, hi;
  const char* unit;
  const char* doc;
  double AircraftParams::*real;
  int32_t AircraftParams::*whole;
};

#define AIRCRAFT_KIND_D Kind::Real
#define AIRCRAFT_KIND_A Kind::Angle
#define AIRCRAFT_KIND_I Kind::Whole
#define AIRCRAFT_REAL_D(member) &AircraftParams::member, nullptr
#define AIRCRAFT_REAL_A(member) &AircraftParams::member, nullptr
#define AIRCRAFT_REAL_I(member) nullptr, &AircraftParams::member
#define AIRCRAFT_ENTRY(type, section, key, member, def, lo, hi, unit, doc) \
  {AIRCRAFT_KIND_##type, #section, #key, def, lo, hi, unit, doc, AIRCRAFT_REAL_##type(member)},
const Entry kEntries[] = {AIRCRAFT_VALUES(AIRCRAFT_ENTRY)};
#undef AIRCRAFT_ENTRY

double Get(const AircraftParams& p, const Entry& e) { return e.real ? p.*e.real : double(p.*e.whole); }
void Put(AircraftParams& p, const Entry& e, double v) {
  if (e.real)
    p.*e.real = v;
  else
    p.*e.whole = int32_t(v);
}

// The shortest decimal text that reads back to the same double.
std::string Number(double v) {
  char buf[40];
  if (v == std::floor(v) && std::fabs(v) < 1e15) {
    std::snprintf(buf, sizeof buf, "%.0f", v);
    return buf;
  }
  for (int precision = 1; precision <= 17; precision++) {
    std::snprintf(buf, sizeof buf, "%.*g", precision, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  return buf;
}

std::string Range(const Entry& e) {
  std::string r = Number(e.lo) + " to " + Number(e.hi);
  if (e.unit[0]) r += std::string(" ") + e.unit;
  return r;
}

std::string Name(const Entry& e) { return std::string(e.section) + "." + e.key; }

const Entry* Find(const std::string& section, const std::string& key) {
  for (const Entry& e : kEntries)
    if (section == e.section && key == e.key) return &e;
  return nullptr;
}

std::string Nearest(const std::string& name) {
  const Entry* best = &kEntries[0];
  size_t bestDistance = SIZE_MAX;
  for (const Entry& e : kEntries) {
    size_t d = EditDistance(name, Name(e));
    if (d < bestDistance) bestDistance = d, best = &e;
  }
  return Name(*best);
}

// Reads one value's text into v; the message on failure names the rule.
bool Convert(const Entry& e, const std::string& text, double& v, std::string& why) {
  const char* s = text.c_str();
  char* end = nullptr;
  errno = 0;
  v = std::strtod(s, &end);
  if (end == s || *end != '\0' || errno == ERANGE || !std::isfinite(v)) {
    why = "\"" + text + "\" is not a finite number";
    return false;
  }
  if (e.kind == Kind::Whole && v != std::floor(v)) {
    why = "\"" + text + "\" is not a whole number";
    return false;
  }
  if (v < e.lo || v > e.hi) {
    why = text + " is outside " + Range(e);
    return false;
  }
  return true;
}

// Sets one value; a problem leaves the value as it was.
void Assign(const std::string& section, const std::string& key, const std::string& value, AircraftParams& p,
            const std::string& where, std::vector<std::string>& problems) {
  const Entry* e = Find(section, key);
  std::string name = section + "." + key;
  if (e == nullptr) {
    problems.push_back(where + "unknown key " + name + " (did you mean " + Nearest(name) + "?)");
    return;
  }
  double v;
  std::string why;
  if (!Convert(*e, value, v, why)) {
    problems.push_back(where + name + ": " + why + "; it stays " + Number(Get(p, *e)));
    return;
  }
  Put(p, *e, v);
}

struct Parse {
  TextLines lines;
  const std::string* file;
  AircraftParams* params;
  std::vector<std::string>* problems;
  std::string Where() const { return *file + ":" + std::to_string(lines.line) + ": "; }
};

int OnValue(void* user, const char* section, const char* name, const char* value) {
  Parse& r = *static_cast<Parse*>(user);
  Assign(section, name, TrimmedText(value), *r.params, r.Where(), *r.problems);
  return 1;
}

}  // namespace

bool operator==(const AircraftParams& a, const AircraftParams& b) {
  for (const Entry& e : kEntries) {
    double x = Get(a, e), y = Get(b, e);
    if (std::memcmp(&x, &y, sizeof x) != 0) return false;
  }
  return true;
}

double Radians(double degrees) { return degrees / 180.0 * 3.141592653589793; }

bool ParseAircraft(const std::string& text, const std::string& file, AircraftParams& params,
                   std::vector<std::string>& problems) {
  size_t before = problems.size();
  if (text.find('\0') != std::string::npos) {
    problems.push_back(file + ": not a text file; the aircraft stays as it was");
    return false;
  }
  AircraftParams read = params;
  Parse r;
  r.lines.text = &text;
  r.file = &file;
  r.params = &read;
  r.problems = &problems;
  int bad = ini_parse_stream(ReadTextLine, &r.lines, OnValue, &r);
  if (bad > 0) problems.push_back(file + ":" + std::to_string(bad) + ": not a \"key = value\" line or a [section]");
  if (!CheckAircraft(read, file + ": ", problems)) return false;
  params = read;
  return problems.size() == before;
}

bool ReadAircraftFile(const std::string& path, AircraftParams& params, std::vector<std::string>& problems) {
  std::string text, reason;
  if (!ReadWholeFile(path, FileKind::Aircraft, text, reason)) {
    problems.push_back(path + ": " + reason);
    return false;
  }
  return ParseAircraft(text, path, params, problems);
}

bool SetAircraftValue(const std::string& assignment, AircraftParams& params, std::vector<std::string>& problems) {
  size_t dot = assignment.find('.'), eq = assignment.find('=');
  if (dot == std::string::npos || eq == std::string::npos || dot > eq) {
    problems.push_back("--set " + assignment + ": wants section.key=value");
    return false;
  }
  size_t before = problems.size();
  AircraftParams changed = params;
  Assign(TrimmedText(assignment.substr(0, dot)), TrimmedText(assignment.substr(dot + 1, eq - dot - 1)),
         TrimmedText(assignment.substr(eq + 1)), changed, "--set " + assignment + ": ", problems);
  if (problems.size() != before || !CheckAircraft(changed, "--set " + assignment + ": ", problems)) return false;
  params = changed;
  return true;
}

bool CheckAircraftValue(const std::string& name, const std::string& value, std::string& unit, std::string& why) {
  size_t dot = name.find('.');
  const Entry* e = dot == std::string::npos ? nullptr : Find(name.substr(0, dot), name.substr(dot + 1));
  if (e == nullptr) {
    why = "unknown key " + name + " (did you mean " + Nearest(name) + "?)";
    return false;
  }
  unit = e->unit;
  double v;
  if (!Convert(*e, value, v, why)) {
    why = name + ": " + why;
    return false;
  }
  return true;
}

bool CheckAircraft(const AircraftParams& p, const std::string& where, std::vector<std::string>& problems) {
  size_t before = problems.size();
  auto rule = [&](bool ok, const char* what) {
    if (!ok) problems.push_back(where + what);
  };
  rule(p.wingRootX < p.wingBreakX && p.wingBreakX < p.wingTipX,
       "the wing must run root_x < break_x < tip_x");
  rule(p.tailTrailingY < p.tailLeadingY, "tail.trailing_y must lie behind tail.leading_y");
  rule(p.finTrailingY < p.finLeadingY, "fin.trailing_y must lie behind fin.leading_y");
  rule(p.finTrailingY >= p.hullTailY, "the fin must stand on the tail boom (fin.trailing_y >= fuselage.hull_tail_y)");
  rule(p.footBottomZ < p.hipZ - p.thighLength - p.shinLength, "the sole must lie below the ankle");
  rule(p.footBack < p.footLength, "the foot must reach in front of the ankle (foot_back < foot_length)");
  rule(p.balloonCentreZ - p.balloonRadius > p.fuselageHalfHeight,
       "the balloon must float above the fuselage (centre_z - radius > half_height)");
  rule(p.strapTopX < p.balloonRadius && p.strapTopY < std::min(p.balloonFrontLength, p.balloonRearLength),
       "the straps' balloon ends must lie under the envelope");
  rule(p.ballastHeight <= 2 * p.fuselageHalfHeight, "the ballast must fit in the fuselage");
  auto order = [&](double lo, double angle, double hi, const char* what) { rule(lo <= angle && angle <= hi, what); };
  order(p.tailHingeMin, 0, p.tailHingeMax, "tail: hinge_min <= 0 <= hinge_max");
  order(p.finHingeMin, p.finAngle, p.finHingeMax, "fin: hinge_min <= angle <= hinge_max");
  order(p.wingRootMin, 0, p.wingRootMax, "wing: root_min <= 0 <= root_max");
  order(p.wingOuterMin, 0, p.wingOuterMax, "wing: outer_min <= 0 <= outer_max");
  order(p.hipMin, p.hipAngle, p.hipMax, "legs: hip_min <= hip_angle <= hip_max");
  order(p.kneeMin, p.kneeAngle, p.kneeMax, "legs: knee_min <= knee_angle <= knee_max");
  order(p.ankleMin, p.ankleAngle, p.ankleMax, "legs: ankle_min <= ankle_angle <= ankle_max");
  order(p.cameraMin, p.cameraAngle, p.cameraMax, "cockpit: camera_min <= camera_angle <= camera_max");
  rule(p.beatRestFrom < p.beatRestTo, "beat: rest_from < rest_to");
  if (problems.size() != before) problems.back() += "; the aircraft stays as it was";
  return problems.size() == before;
}

std::string AircraftText(const AircraftParams& p) {
  std::string out =
      "# Tarn sim aircraft. Every number that shapes the machine: its geometry (model\n"
      "# metres: +Y forward, +X right, +Z up, origin in the fuselage's middle), the\n"
      "# bodies' masses and surface settings, the hinges, the straps, the wing beat and\n"
      "# the control law. Angles in degrees. Each line: key = value ; unit, allowed range,\n"
      "# what it does. A key left out keeps the value shown here.\n";
  const char* section = "";
  for (const Entry& e : kEntries) {
    if (std::strcmp(section, e.section) != 0) {
      section = e.section;
      out += std::string("\n[") + section + "]\n";
    }
    out += std::string(e.key) + " = " + Number(Get(p, e)) + " ; " + Range(e) + ": " + e.doc + "\n";
  }
  return out;
}

bool WriteAircraftFile(const std::string& path, const AircraftParams& params, std::string& reason) {
  std::string text = AircraftText(params);
  return WriteWholeFile(path, text.data(), text.size(), reason);
}

std::vector<std::pair<std::string, std::string>> AircraftChanges(const AircraftParams& before,
                                                                 const AircraftParams& after) {
  std::vector<std::pair<std::string, std::string>> changes;
  for (const Entry& e : kEntries) {
    double a = Get(before, e), b = Get(after, e);
    if (std::memcmp(&a, &b, sizeof a) != 0) changes.push_back({Name(e), Number(b)});
  }
  return changes;
}

std::vector<std::string> AircraftDifferences(const AircraftParams& before, const AircraftParams& after) {
  std::vector<std::string> lines;
  for (const Entry& e : kEntries) {
    double a = Get(before, e), b = Get(after, e);
    if (std::memcmp(&a, &b, sizeof a) != 0) lines.push_back(Name(e) + ": " + Number(a) + " -> " + Number(b));
  }
  return lines;
}

uint64_t AircraftHash(const AircraftParams& params) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (const Entry& e : kEntries) {
    double v = Get(params, e);
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&v);
    for (size_t i = 0; i < sizeof v; i++) hash = (hash ^ b[i]) * 0x100000001B3ull;
  }
  return hash;
}

}  // namespace content
