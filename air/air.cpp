#include "air/air.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "aircraft/island_ground.h"
#include "physics/ground.h"
#include "physics/surface.h"
#include "sim/frame_clock.h"

namespace air {

Settings Current;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMaxWind = 50;  // m/s: beyond any flyable air
// The square the thermal field covers: the island's terrain grid.
constexpr double kIslandX = 380, kIslandY = 330, kIslandHalf = 1100;

double Now() { return double(StepCounter) * PhysicsStep; }

// Direction the air moves for a bearing it blows from (degrees).
Vec3 Toward(double from) {
  double rad = from * kPi / 180.0;
  return {-std::sin(rad), -std::cos(rad), 0};
}

// The surface under p: its height and whether it is the sea. Taken at the
// middle of p's cell of kCell metres (the island's terrain cells are 10 m),
// so every point of that cell sees the same surface and the answer can be
// remembered (a ground query costs more than all the air's arithmetic); no
// ground at all is open sea.
constexpr double kCell = 4.0;
struct Surface {
  double height;
  bool sea;
  double gx = 0, gy = 0;  // the surface's slope, dz/dx and dz/dy (the sea's level is flat)
};
struct SurfaceCell {
  int64_t x = 0, y = 0;
  bool used = false;
  Surface s = {kSeaLevel, true};
};
std::vector<SurfaceCell> surfaceCells;
const SurfaceCell* lastCell = nullptr;  // into surfaceCells; null when they are cleared

// What the remembered cells were taken from: the ground's arrays and a hash
// of 64 evenly spread vertices (a mesh refilled in place with the same counts
// is still noticed). Each rebuild of the air keeps the cells while the ground
// is the same: a ground query costs far more than the air's arithmetic, and a
// scene reset refills the same island.
struct GroundKey {
  const void* vertices = nullptr;
  const void* triangles = nullptr;
  uint32_t vertexCount = 0, triangleCount = 0;
  uint64_t hash = 0;
  bool operator==(const GroundKey& o) const {
    return vertices == o.vertices && triangles == o.triangles && vertexCount == o.vertexCount &&
           triangleCount == o.triangleCount && hash == o.hash;
  }
};
GroundKey surfaceKey;

GroundKey CurrentGround() {
  GroundKey key;
  key.vertices = GroundVertices.data, key.triangles = GroundTriangles.data;
  key.vertexCount = GroundVertices.count, key.triangleCount = GroundTriangles.count;
  uint64_t h = 1469598103934665603ull;
  for (uint32_t k = 0; k < 64 && GroundVertices.count; k++) {
    const Vec3& v = GroundVertices[uint32_t(uint64_t(GroundVertices.count - 1) * k / 63)];
    for (double d : {v.x, v.y, v.z}) {
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      h = (h ^ bits) * 1099511628211ull;
    }
  }
  key.hash = h;
  return key;
}
Surface SurfaceBelow(const Vec3& p) {
  if (!(std::fabs(p.x) < 1e9 && std::fabs(p.y) < 1e9)) return {kSeaLevel, true};
  const int64_t x = int64_t(std::floor(p.x / kCell)), y = int64_t(std::floor(p.y / kCell));
  // The records ask about one point after another, and a body's probes
  // mostly share its cell: the last cell answers before the table.
  if (lastCell != nullptr && lastCell->x == x && lastCell->y == y) return lastCell->s;
  if (surfaceCells.empty()) surfaceCells.resize(1 << 14);
  uint64_t h = uint64_t(x) * 0x9E3779B97F4A7C15ull ^ uint64_t(y) * 0xC2B2AE3D27D4EB4Full;
  SurfaceCell& cell = surfaceCells[(h ^ (h >> 31)) & (surfaceCells.size() - 1)];
  lastCell = &cell;
  if (cell.used && cell.x == x && cell.y == y) return cell.s;
  const double cx = (double(x) + 0.5) * kCell, cy = (double(y) + 0.5) * kCell;
  double ground = kSeaLevel;
  // The highest surface on the line (the island has no overhangs).
  bool found = GroundHeightBelow(Vec3{cx, cy, 1.0e5}, 0.0, &ground);
  cell.x = x, cell.y = y, cell.used = true;
  cell.s = {found ? ground : kSeaLevel, !found || ground <= kSeaLevel + 0.01};
  // The slope by centred differences across kSlopeBase: the terrain's 10 m
  // cells are flat facets, and the air turns over the hill, not each facet.
  auto level = [](double px, double py) {
    double z = kSeaLevel;
    return GroundHeightBelow(Vec3{px, py, 1.0e5}, 0.0, &z) ? std::max(z, kSeaLevel) : kSeaLevel;
  };
  const double d = 0.5 * kSlopeBase;
  cell.s.gx = (level(cx + d, cy) - level(cx - d, cy)) / kSlopeBase;
  cell.s.gy = (level(cx, cy + d) - level(cx, cy - d)) / kSlopeBase;
  return cell.s;
}

// Every air record; Clear() marks them so the purge takes them at once.
class AirRecord : public pAD_Effect {
 public:
  bool dead = false;
};

class WindRecord : public AirRecord {
 public:
  WindRecord(double speed, double from) : velocity_(Toward(from) * speed) {}
  bool IsFinished() override { return dead; }
  // LogProfile with its denominators taken once: the same bits, one log1p a
  // query instead of two.
  Vec3 Force(const Vec3& p) override {
    Surface s = SurfaceBelow(p);
    const double h = p.z - s.height;
    if (!(h > 0)) return velocity_ * 0.0;
    Vec3 v = velocity_ * (s.sea ? std::log1p(h / kSeaRoughness) / seaAt10_
                                : std::log1p(h / kLandRoughness) / landAt10_);
    // Slope lift: the wind follows the hillside (flat ground and the sea add
    // nothing, and leave the bits of the level wind alone).
    if (s.gx != 0 || s.gy != 0) v.z += SlopeLift(v.x, v.y, s.gx, s.gy, h);
    return v;
  }

 private:
  Vec3 velocity_;
  const double landAt10_ = std::log1p(10.0 / kLandRoughness);
  const double seaAt10_ = std::log1p(10.0 / kSeaRoughness);
};

class TurbulenceRecord : public AirRecord {
 public:
  TurbulenceRecord(Random& random, double w20, double speed, double from)
      : field_(random, w20, speed, from) {}
  bool IsFinished() override { return dead; }
  Vec3 Force(const Vec3& p) override { return field_.At(p, Now(), SurfaceBelow(p).height); }

 private:
  TurbulenceField field_;
};

class GustRecord : public AirRecord {
 public:
  explicit GustRecord(const Gust& g) : g_(g) {
    dir_ = g.vertical != 0 ? Vec3{0, 0, double(g.vertical)} : Toward(g.from);
  }
  bool IsFinished() override { return dead || Now() > g_.start + g_.rise + g_.hold + g_.fall; }
  Vec3 Force(const Vec3&) override {
    double t = Now() - g_.start;
    double a = 0;
    if (t <= 0) a = 0;
    else if (t < g_.rise) a = 0.5 * (1 - std::cos(kPi * t / g_.rise));
    else if (t < g_.rise + g_.hold) a = 1;
    else if (t < g_.rise + g_.hold + g_.fall) a = 0.5 * (1 + std::cos(kPi * (t - g_.rise - g_.hold) / g_.fall));
    return dir_ * (g_.amplitude * a);
  }

 private:
  Gust g_;
  Vec3 dir_;
};

// The random thermal field's state: the generator the turbulence started
// and the births carry on, and the drift of the thermals with the wind.
struct Field {
  std::unique_ptr<Random> random;
  Vec3 drift = {0, 0, 0};
};
Field field;

class ThermalRecord : public AirRecord {
 public:
  ThermalRecord(const PlacedThermal& t, double born, bool renews)
      : t_(t), born_(born), renews_(renews), drift_(field.drift) {}
  bool IsFinished() override;
  // Where it is now, its core radius and core strength; false when not alive.
  bool Where(Vec3& centre, double& radius, double& strength) const {
    const double age = Now() - born_;
    if (age < 0 || age > t_.life) return false;
    centre = {t_.x + drift_.x * age, t_.y + drift_.y * age, 0};
    radius = t_.radius;
    strength = t_.strength * std::min(1.0, std::min(age, t_.life - age) / 30.0);
    return true;
  }
  Vec3 Force(const Vec3& p) override {
    // Where the thermal is and how strong, once a step: every face of every
    // body asks at the same time.
    const double now = Now();
    if (!(now == at_)) {
      at_ = now;
      const double age = now - born_;
      alive_ = !(age < 0 || age > t_.life);
      // Grows over its first half minute and fades over its last.
      core_ = t_.strength * std::min(1.0, std::min(age, t_.life - age) / 30.0);
      cx_ = t_.x + drift_.x * age, cy_ = t_.y + drift_.y * age;
    }
    if (!alive_) return {0, 0, 0};
    const double dx = p.x - cx_, dy = p.y - cy_;
    // Beyond five radii the sink ring has faded to below 1e-9 of the core.
    const double r2 = dx * dx + dy * dy;
    if (r2 > 25 * t_.radius * t_.radius) return {0, 0, 0};
    double r = std::sqrt(r2);
    if (r > 5 * t_.radius) return {0, 0, 0};
    return {0, 0, ThermalProfile(core_, t_.radius, r, p.z - SurfaceBelow(p).height)};
  }

 private:
  double at_ = -1e300, core_ = 0, cx_ = 0, cy_ = 0;  // the memo of the last time asked
  bool alive_ = false;
  PlacedThermal t_;
  double born_;
  bool renews_;  // part of the field: a new one is born when it dies
  Vec3 drift_;
};

// A thermal of the field at a random place over the land.
// False when a thousand tries found no land (no island loaded).
bool DrawThermal(PlacedThermal& t) {
  Random& r = *field.random;
  t.strength = std::max(0.3, r.Normal(1.5, 0.3));
  t.radius = r.Between(20, 40);
  t.life = r.Between(240, 300);
  for (int tries = 0; tries < 1000; tries++) {
    t.x = r.Between(kIslandX - kIslandHalf, kIslandX + kIslandHalf);
    t.y = r.Between(kIslandY - kIslandHalf, kIslandY + kIslandHalf);
    if (!SurfaceBelow(Vec3{t.x, t.y, 0}).sea) return true;
  }
  return false;
}

bool ThermalRecord::IsFinished() {
  if (dead) return true;
  if (Now() < born_ + t_.life) return false;
  PlacedThermal next;
  if (renews_ && field.random && DrawThermal(next)) AddEffect(new ThermalRecord(next, Now(), true));
  return true;
}

bool ReadNumber(const std::string& s, double& out) {
  const char* p = s.c_str();
  char* stop = nullptr;
  out = std::strtod(p, &stop);
  return stop != p && *stop == 0 && std::isfinite(out);
}

std::string Number(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

const char* const kSeverityNames[] = {"off", "light", "moderate", "severe"};

}  // namespace

bool Settings::Moves() const {
  return windSpeed != 0 || turbulence != Severity::Off || thermals || !gusts.empty() ||
         !placed.empty();
}

void DrawAir(DebugDraw& sink, const Vec3& at) {
  if (!Moving()) return;
  sink.Untextured();
  sink.SetMode(DebugMode::Overlay);
  for (pAD_Effect* e = EffectHead; e; e = e->next) {
    const auto* t = dynamic_cast<const ThermalRecord*>(e);
    Vec3 centre;
    double radius = 0, strength = 0;
    if (t == nullptr || !t->Where(centre, radius, strength)) continue;
    const double ground = SurfaceBelow(centre).height;
    const float a = float(std::min(1.0, 0.3 + 0.3 * strength));
    constexpr int kSides = 16;
    for (int k = 0; k < kSides; k++) {
      const double u = 2 * kPi * k / kSides, v = 2 * kPi * (k + 1) / kSides;
      const Vec3 p = {centre.x + radius * std::cos(u), centre.y + radius * std::sin(u), 0};
      const Vec3 q = {centre.x + radius * std::cos(v), centre.y + radius * std::sin(v), 0};
      for (double h : {ground, ground + 200.0})
        sink.Line({p.x, p.y, h}, 1, 0.6f, 0.1f, a, {q.x, q.y, h}, 1, 0.6f, 0.1f, a);
      if (k % 4 == 0)
        sink.Line({p.x, p.y, ground}, 1, 0.6f, 0.1f, a, {p.x, p.y, ground + 200}, 1, 0.6f, 0.1f, a);
    }
  }
  const Vec3 air = AirVelocityAt(at), tip = at + air;
  sink.Line(at, 0.2f, 0.9f, 1, 1, tip, 0.2f, 0.9f, 1, 1);
  const double speed = std::sqrt(Dot(air, air));
  if (speed > 1e-6) {
    // Two barbs a quarter of the shaft long, in the plane of the shaft and
    // the vertical (or of the shaft and +X when it stands upright).
    const Vec3 dir = air * (1 / speed);
    Vec3 side = Cross(dir, Vec3{0, 0, 1});
    if (Dot(side, side) < 1e-6) side = Cross(dir, Vec3{1, 0, 0});
    side = side * (1 / std::sqrt(Dot(side, side)));
    const double barb = 0.25 * speed;
    for (double sgn : {1.0, -1.0})
      sink.Line(tip, 0.2f, 0.9f, 1, 1, tip - dir * barb + side * (sgn * 0.5 * barb), 0.2f, 0.9f,
                1, 1);
  }
  sink.SetMode(DebugMode::Solid);
}

double LogProfile(double height, double z0) {
  if (!(height > 0)) return 0;
  return std::log1p(height / z0) / std::log1p(10.0 / z0);
}

double SlopeLift(double vx, double vy, double gx, double gy, double height) {
  if (!(height > 0)) return 0;
  return (vx * gx + vy * gy) * std::exp(-height / kSlopeFade);
}

double ThermalProfile(double w0, double radius, double r, double height) {
  if (!(height > 0)) return 0;
  double s = (r / radius) * (r / radius);
  return w0 * (1 - s) * std::exp(-s) * (1 - std::exp(-height / 30.0));
}

double Random::Uniform() { return double(engine_() >> 11) * (1.0 / 9007199254740992.0); }

double Random::Normal(double mean, double sd) {
  double u1 = 1.0 - Uniform();  // (0, 1]: the logarithm stays finite
  double u2 = Uniform();
  return mean + sd * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

void Clear() {
  bool any = false;
  for (pAD_Effect* e = EffectHead; e; e = e->next)
    if (AirRecord* a = dynamic_cast<AirRecord*>(e)) a->dead = any = true;
  if (any) PurgeEffects();
  field.random.reset();
}

bool Moving() {
  for (pAD_Effect* e = EffectHead; e; e = e->next)
    if (dynamic_cast<AirRecord*>(e)) return true;
  return false;
}

void Rebuild() {
  Clear();
  const GroundKey ground = CurrentGround();
  if (!(ground == surfaceKey)) surfaceCells.clear(), lastCell = nullptr, surfaceKey = ground;
  const Settings& s = Current;
  if (!s.Moves()) return;
  field.random = std::make_unique<Random>(s.seed);
  field.drift = Toward(s.windFrom) * s.windSpeed;
  if (s.windSpeed > 0) AddEffect(new WindRecord(s.windSpeed, s.windFrom));
  if (s.turbulence != Severity::Off)
    AddEffect(new TurbulenceRecord(*field.random, SeverityWind(s.turbulence), s.windSpeed, s.windFrom));
  for (const Gust& g : s.gusts) AddEffect(new GustRecord(g));
  const double now = Now();
  for (const PlacedThermal& t : s.placed) AddEffect(new ThermalRecord(t, now, false));
  if (s.thermals) {
    // The land's share of the island square, from a coarse survey.
    int land = 0;
    for (int i = 0; i < 16; i++)
      for (int j = 0; j < 16; j++) {
        Vec3 p = {kIslandX - kIslandHalf + (i + 0.5) * kIslandHalf / 8,
                  kIslandY - kIslandHalf + (j + 0.5) * kIslandHalf / 8, 0};
        if (!SurfaceBelow(p).sea) land++;
      }
    double km2 = (2 * kIslandHalf / 1000) * (2 * kIslandHalf / 1000) * land / 256.0;
    int count = int(std::lround(s.thermalDensity * km2));
    for (int i = 0; i < count; i++) {
      PlacedThermal t;
      if (!DrawThermal(t)) break;
      // Of every age, so they do not all die together.
      double age = field.random->Uniform() * t.life;
      AddEffect(new ThermalRecord(t, now - age, true));
    }
  }
}

bool IsAirWord(const std::string& w) {
  return w == "wind" || w == "gust" || w == "turbulence" || w == "thermals" || w == "thermal" ||
         w == "seed";
}

bool ApplyLine(const std::vector<std::string>& t, double now, Settings& settings, std::string& error) {
  if (t.empty() || !IsAirWord(t[0])) {
    error = "not an air line";
    return false;
  }
  const std::string& k = t[0];
  std::vector<double> v;
  std::vector<std::string> w = t;  // the words numbers() reads
  Settings s = settings;
  auto numbers = [&](size_t first, size_t least, size_t most, const char* form) {
    if (w.size() < first + least || w.size() > first + most) {
      error = std::string("\"") + k + "\" wants " + form;
      return false;
    }
    for (size_t i = first; i < w.size(); i++) {
      double x;
      if (!ReadNumber(w[i], x)) {
        error = "\"" + w[i] + "\" is not a number";
        return false;
      }
      v.push_back(x);
    }
    return true;
  };
  if (k == "wind") {
    if (!numbers(1, 2, 2, "SPEED FROM (m/s, degrees)")) return false;
    if (v[0] < 0 || v[0] > kMaxWind) {
      error = "wind speed " + t[1] + " is outside 0..50 m/s";
      return false;
    }
    s.windSpeed = v[0];
    s.windFrom = std::fmod(std::fmod(v[1], 360.0) + 360.0, 360.0);
  } else if (k == "gust") {
    Gust g;
    g.start = now;
    if (t.size() >= 3 && (t[2] == "up" || t[2] == "down")) {
      g.vertical = t[2] == "up" ? 1 : -1;
      w[2] = "0";
    }
    if (!numbers(1, 2, 6, "AMPLITUDE FROM|up|down [RISE [HOLD [FALL [START]]]]")) return false;
    if (!(v[0] >= 0 && v[0] <= kMaxWind)) {
      error = "gust amplitude " + t[1] + " is outside 0..50 m/s";
      return false;
    }
    g.amplitude = v[0];
    if (!g.vertical) g.from = std::fmod(std::fmod(v[1], 360.0) + 360.0, 360.0);
    if (v.size() > 2) g.rise = v[2];
    if (v.size() > 3) g.hold = v[3];
    if (v.size() > 4) g.fall = v[4];
    if (v.size() > 5) g.start = v[5];
    if (!(g.rise > 0 && g.fall > 0 && g.hold >= 0 && g.rise <= 600 && g.hold <= 3600 &&
          g.fall <= 600 && g.start >= 0)) {
      error = "gust times must be rise > 0, hold >= 0, fall > 0 seconds (at most 600, 3600, 600)";
      return false;
    }
    s.gusts.push_back(g);
  } else if (k == "turbulence") {
    int found = -1;
    for (int i = 0; i < 4; i++)
      if (t.size() == 2 && t[1] == kSeverityNames[i]) found = i;
    if (found < 0) {
      error = "turbulence is off, light, moderate or severe";
      return false;
    }
    s.turbulence = Severity(found);
  } else if (k == "thermals") {
    if (t.size() < 2 || t.size() > 3 || (t[1] != "on" && t[1] != "off")) {
      error = "\"thermals\" wants on or off [and thermals per square kilometre]";
      return false;
    }
    s.thermals = t[1] == "on";
    if (t.size() == 3) {
      double d;
      if (!ReadNumber(t[2], d) || d < 0 || d > 50) {
        error = "thermal density " + t[2] + " is outside 0..50 per square kilometre";
        return false;
      }
      s.thermalDensity = d;
    }
  } else if (k == "thermal") {
    if (!numbers(1, 2, 5, "X Y [STRENGTH [RADIUS [LIFE]]] (metres, m/s, metres, seconds)")) return false;
    PlacedThermal p;
    p.x = v[0], p.y = v[1];
    if (v.size() > 2) p.strength = v[2];
    if (v.size() > 3) p.radius = v[3];
    if (v.size() > 4) p.life = v[4];
    if (!(std::fabs(p.x) <= 1e5 && std::fabs(p.y) <= 1e5 && p.strength >= -10 && p.strength <= 20 &&
          p.radius >= 1 && p.radius <= 1000 && p.life > 0 && p.life <= 3600)) {
      error = "a thermal needs |x|, |y| <= 100 km, strength -10..20 m/s, radius 1..1000 m, life 0..3600 s";
      return false;
    }
    s.placed.push_back(p);
  } else {  // seed
    bool ok = t.size() == 2 && !t[1].empty() && t[1].size() <= 20;
    uint64_t seed = 0;
    for (size_t i = 0; ok && i < t[1].size(); i++) {
      char c = t[1][i];
      if (c < '0' || c > '9' || seed > (UINT64_MAX - uint64_t(c - '0')) / 10) ok = false;
      else seed = seed * 10 + uint64_t(c - '0');
    }
    if (!ok) {
      error = "\"seed\" wants a whole number 0..18446744073709551615";
      return false;
    }
    s.seed = seed;
  }
  settings = s;
  return true;
}

std::vector<std::string> Lines(const Settings& s) {
  std::vector<std::string> out;
  if (!s.Moves()) return out;
  out.push_back("seed " + std::to_string(s.seed));
  if (s.windSpeed != 0) out.push_back("wind " + Number(s.windSpeed) + " " + Number(s.windFrom));
  if (s.turbulence != Severity::Off) out.push_back(std::string("turbulence ") + kSeverityNames[int(s.turbulence)]);
  if (s.thermals) out.push_back("thermals on " + Number(s.thermalDensity));
  for (const Gust& g : s.gusts)
    out.push_back("gust " + Number(g.amplitude) + " " +
                  (g.vertical > 0 ? std::string("up") : g.vertical < 0 ? std::string("down") : Number(g.from)) +
                  " " + Number(g.rise) + " " + Number(g.hold) + " " + Number(g.fall) + " " + Number(g.start));
  for (const PlacedThermal& p : s.placed)
    out.push_back("thermal " + Number(p.x) + " " + Number(p.y) + " " + Number(p.strength) + " " +
                  Number(p.radius) + " " + Number(p.life));
  return out;
}

uint64_t Fold(uint64_t hash, const Settings& s) {
  for (const std::string& line : Lines(s))
    for (unsigned char c : line + "\n") hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

}  // namespace air
