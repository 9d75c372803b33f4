// Moving air: steady wind, Dryden turbulence, 1-cosine gusts and thermals,
// each an effect record on the physics effect list (physics/surface.h). A
// record's Force(point) is the air's velocity there (world frame, m/s, at the
// current simulated time); the surface forces take each face's velocity
// relative to the sum. With no record the list is empty and the surface rule
// is exactly the still-air one.
//
// Every random number comes from one std::mt19937_64 seeded with the air's
// seed, through transforms written here: the standard distributions differ
// between standard libraries, the engine does not.
//
// World frame: +X east, +Y north, +Z up, metres. Directions of the wind and
// of gusts are the compass bearing they blow FROM, degrees clockwise from +Y.
#pragma once
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "foundation/math.h"
#include "physics/debug_draw.h"

namespace air {

// Turbulence severities of the low-altitude Dryden model; the wind at 6 m
// (20 ft) they stand for is 15, 30 and 45 knots.
enum class Severity : int { Off = 0, Light, Moderate, Severe };

// A 1-cosine gust: the speed rises as (1 - cos) over `rise` seconds, holds
// `amplitude` for `hold` seconds and falls back over `fall` seconds. The same
// everywhere (a gust front crossing a 8 m machine in well under its rise time).
struct Gust {
  double start = 0;      // simulated seconds since the reset
  double amplitude = 0;  // m/s
  double from = 0;       // bearing it blows from, degrees; ignored when vertical
  int vertical = 0;      // +1 an updraft, -1 a downdraft, 0 horizontal
  double rise = 1, hold = 0, fall = 1;  // seconds
};

// A thermal placed by hand (script line "thermal"), in addition to the field.
struct PlacedThermal {
  double x = 0, y = 0;     // world metres, where it is born
  double strength = 1.5;   // core updraft, m/s
  double radius = 30;      // core radius, metres
  double life = 270;       // seconds
};

struct Settings {
  double windSpeed = 0;  // m/s at 10 m above the surface
  double windFrom = 0;   // degrees
  Severity turbulence = Severity::Off;
  bool thermals = false;          // the random thermal field over the land
  double thermalDensity = 2.0;    // thermals alive per square kilometre of land
  uint64_t seed = 1;
  std::vector<Gust> gusts;
  std::vector<PlacedThermal> placed;

  // True when any record would be made: the air moves.
  bool Moves() const;
};

// The air in force; changed by the settings file, script lines and a
// flight's header. ResetScene-style callers rebuild the records from it.
extern Settings Current;

// Replaces every air record on the effect list by records made from
// Current: the same settings and seed give the same air, bit for bit. The
// records' clocks run from StepCounter * PhysicsStep, so call it after the
// scene's reset. Still air leaves the list empty.
void Rebuild();
// Removes every air record (other effect records stay).
void Clear();

// True when at least one air record is on the effect list.
bool Moving();

// Reads one air line: "wind SPEED FROM", "gust AMPLITUDE FROM|up|down [RISE
// [HOLD [FALL]]]", "turbulence off|light|moderate|severe", "thermals on|off
// [DENSITY]", "thermal X Y [STRENGTH [RADIUS [LIFE]]]", "seed N". Applies it
// to settings (a gust starts at `now` seconds). On bad input returns false
// with a reason and leaves settings as they were.
bool ApplyLine(const std::vector<std::string>& words, double now, Settings& settings,
               std::string& error);
// True when word is one of the air lines' first words.
bool IsAirWord(const std::string& word);

// The settings as lines ApplyLine reads back to the same settings (gusts
// with their start times: "gust AMPLITUDE FROM RISE HOLD FALL START"), one
// per line without a newline; empty for still air.
std::vector<std::string> Lines(const Settings& settings);

// Folds the settings into a 64-bit FNV-1a hash of exact bits (for the state
// hash, only when the air moves).
uint64_t Fold(uint64_t hash, const Settings& settings);

// The debug view's picture of the air, only while it moves: each live
// thermal as a column (its core radius, from the ground to 200 m above it,
// orange, brighter the stronger) and the air's velocity at `at` (world
// metres; the aircraft) as an arrow from there, one metre per m/s, cyan.
// Drawn over everything, so the view keeps its mode afterwards as it found
// Solid.
void DrawAir(DebugDraw& sink, const Vec3& at);

// ---- The models, exposed for tests and the drawing ----

// Mean wind speed factor at height h above a surface of roughness z0 (both
// metres), relative to 10 m: ln(1 + h/z0) / ln(1 + 10/z0); 0 at and below
// the surface.
double LogProfile(double height, double z0);
constexpr double kLandRoughness = 0.03;  // m, short grass
constexpr double kSeaRoughness = 0.0002; // m, open water
constexpr double kSeaLevel = -2.0;       // world z of the island's sea surface

// Slope lift: the vertical air speed (m/s) of a level wind (vx, vy, m/s)
// over ground of slope (gx, gy) (dz/dx, dz/dy) at height h (metres) above
// it: (v . grad z) exp(-h / kSlopeFade). At the surface the air moves along
// the slope; the deflection fades on the scale of the hills (in linear flow
// over terrain of wavelength lambda it decays as exp(-2 pi h / lambda); the
// island's hills repeat every 300 m or so). Up the windward side, down the lee.
double SlopeLift(double vx, double vy, double gx, double gy, double height);
constexpr double kSlopeFade = 50.0;  // m
constexpr double kSlopeBase = 20.0;  // m, the span the slope is measured over

// Low-altitude Dryden parameters at height h (metres, clamped to 3..300 m)
// for the wind at 6 m w20 (m/s), MIL-F-8785C: Lw = h, Lu = Lv = h /
// (0.177 + 0.000823 h)^1.2 (h in feet there), sigma_w = 0.1 w20, sigma_u =
// sigma_v = sigma_w / (0.177 + 0.000823 h)^0.4.
struct Dryden {
  double lu, lw;           // metres
  double sigmaU, sigmaW;   // m/s
};
Dryden DrydenAt(double height, double w20);
double SeverityWind(Severity s);  // w20, m/s

// A thermal's vertical air speed (m/s) at distance r from its centre and
// height h above the ground: w0 * (1 - s) * exp(-s) * (1 - exp(-h / 30)),
// s = (r / radius)^2: the core updraft, zero at r = radius, a sink ring
// outside it (deepest at r = 1.41 radius) and no net flow through a level.
double ThermalProfile(double w0, double radius, double r, double height);

// The seeded generator and the transforms over it.
class Random {
 public:
  explicit Random(uint64_t seed) : engine_(seed) {}
  double Uniform();                       // [0, 1), 53 bits
  double Normal(double mean, double sd);  // Box-Muller
  double Between(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
  uint64_t Bits() { return engine_(); }

 private:
  std::mt19937_64 engine_;
};

// The frozen turbulence field: two isotropic fields of random Fourier modes
// whose spectra are Dryden's (one for u and v with scale Lu, one for w with
// Lw), in coordinates scaled by the local length scale and carried by the
// mean wind. Velocity in the wind's axes (u along the wind, v across, w up)
// turned into the world frame.
class TurbulenceField {
 public:
  TurbulenceField(Random& random, double w20, double windSpeed, double windFrom);
  // Air velocity at world point p and time t (seconds), ground height below.
  Vec3 At(const Vec3& p, double t, double ground) const;
  // The unit-variance field of one family (0: scale Lu, 1: scale Lw) at a
  // point of scaled coordinates, components along the wind, across, up:
  // interpolated between the nodes of a lattice of spacing kStep, each node
  // a sum over the modes, remembered once computed (the field is frozen, so
  // a node's value never changes).
  Vec3 Unit(int family, const Vec3& xi) const;
  static constexpr int kGroups = 55, kLattice = 34, kModes = 4 * kGroups;
  static constexpr double kStep = 1.0 / 8;  // lattice spacing, in length scales

 private:
  // The modes by component, so a node's sum runs over them lane by lane.
  struct alignas(32) Modes {
    double kx[kModes], ky[kModes], kz[kModes], phase[kModes], ax[kModes], ay[kModes], az[kModes];
  };
  struct NodeSlot {
    int64_t i = 0, j = 0, k = 0;
    bool used = false;
    double v[3] = {0, 0, 0};
  };
  struct CellSlot {
    int64_t i = 0, j = 0, k = 0;  // the corner of the lowest indices
    bool used = false;
    double v[8][3];
  };
  struct Memo {
    double height = -1;  // metres above the ground, clamped; -1: none yet
    Dryden dryden = {0, 0, 0, 0};
    double level = 0;
  };
  Vec3 Sum(int family, const Vec3& xi) const;
  Vec3 Node(int family, int64_t i, int64_t j, int64_t k) const;
  Modes modes_[2];
  mutable std::vector<NodeSlot> nodes_[2];
  mutable std::vector<CellSlot> cells_[2];
  mutable Memo memo_;
  double w20_;
  Vec3 along_, across_, drift_;  // unit along the wind, unit across, the carrying wind
};

}  // namespace air
