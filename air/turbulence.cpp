// The Dryden model as a frozen field of random Fourier modes.
//
// Length-scale convention: MIL-F-8785C's, with the same L in the transverse
// spectra as in the longitudinal one (Phi_v = sigma^2 L/pi (1 + 3 (L W)^2) /
// (1 + (L W)^2)^2, Lv = Lu), not MIL-HDBK-1797's 2 Lv = Lu form. Its
// longitudinal and transverse spectra are then exactly the pair an isotropic,
// divergence-free field with correlation exp(-r / L) has, so one random-mode
// field per length scale gives u and v (scale Lu) and another gives w (scale
// Lw), each with the right spectrum along the wind: integral scales Lu for
// u, Lu / 2 for v and Lw / 2 for w.
#include <algorithm>
#include <cmath>

#include "air/air.h"
#include "physics/lanes.h"

namespace air {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFeet = 0.3048;

// Share of the energy spectrum E(k) = 8/pi L^5 k^4 / (1 + L^2 k^2)^3 below
// k = tan(theta) / L, as a function of theta (E integrates to sin^4 there).
double EnergyBelow(double theta) {
  return 16.0 / (3.0 * kPi) *
         (3.0 * theta / 8.0 - std::sin(2.0 * theta) / 4.0 + std::sin(4.0 * theta) / 32.0);
}

// The scaled wavenumber L k whose share of the energy is p (0 <= p < 1).
double WavenumberAt(double p) {
  double lo = 0, hi = kPi / 2;
  for (int i = 0; i < 60; i++) {
    double mid = 0.5 * (lo + hi);
    (EnergyBelow(mid) < p ? lo : hi) = mid;
  }
  return std::tan(0.5 * (lo + hi));
}

}  // namespace

double SeverityWind(Severity s) {
  constexpr double knot = 0.514444;
  switch (s) {
    case Severity::Light: return 15 * knot;
    case Severity::Moderate: return 30 * knot;
    case Severity::Severe: return 45 * knot;
    default: return 0;
  }
}

Dryden DrydenAt(double height, double w20) {
  double h = std::min(300.0, std::max(3.0, height)) / kFeet;
  double base = 0.177 + 0.000823 * h;
  Dryden d;
  d.lw = h * kFeet;
  // base^1.2 as (base^0.4)^3: one pow a query instead of two.
  const double fifth = std::pow(base, 0.4);
  d.lu = h / (fifth * fifth * fifth) * kFeet;
  d.sigmaW = 0.1 * w20;
  d.sigmaU = d.sigmaW / fifth;
  return d;
}

TurbulenceField::TurbulenceField(Random& random, double w20, double windSpeed, double windFrom)
    : w20_(w20) {
  const double rad = windFrom * kPi / 180.0;
  // The wind blows toward the bearing opposite the one it comes from.
  along_ = {-std::sin(rad), -std::cos(rad), 0};
  across_ = {-along_.y, along_.x, 0};
  drift_ = along_ * windSpeed;
  for (int family = 0; family < 2; family++) {
    Modes& modes = modes_[family];
    // Stratified draws. Modes come in groups of four with one direction
    // relative to the wind: two turns about the wind's axis a quarter turn
    // apart, each with two polarisations a quarter turn apart, so a group's
    // share of each component's variance depends on that direction alone.
    // The groups' wavenumber slices and directions along the wind form a
    // Fibonacci lattice (55 groups, generator 34) shifted at random, which
    // covers the plane of both evenly. Independent draws leave a single
    // field's integral scales 20-40% off with a few hundred modes.
    const double shiftK = random.Uniform(), shiftMu = random.Uniform();
    double power[3] = {0, 0, 0};
    for (int group = 0; group < kGroups; group++) {
      double lattice = (double((group * kLattice) % kGroups) + shiftMu) / kGroups;
      double mu = -1.0 + 2.0 * lattice;
      double side = std::sqrt(std::max(0.0, 1 - mu * mu));
      double around = 2 * kPi * random.Uniform(), turn = 2 * kPi * random.Uniform();
      for (int member = 0; member < 4; member++) {
        int n = group * 4 + member;
        double k = WavenumberAt((n + shiftK) / kModes);
        double spin = around + (member / 2) * kPi / 2;
        Vec3 dir = {mu, side * std::cos(spin), side * std::sin(spin)};
        // The mode's velocity lies across its wavenumber: divergence-free.
        Vec3 e1 = {-side, mu * std::cos(spin), mu * std::sin(spin)};
        Vec3 e2 = Cross(dir, e1);
        double polar = turn + (member % 2) * kPi / 2;
        Vec3 a = e1 * std::cos(polar) + e2 * std::sin(polar);
        const double kx = k * dir.x, ky = k * dir.y, kz = k * dir.z;
        modes.kx[n] = kx, modes.ky[n] = ky, modes.kz[n] = kz;
        modes.phase[n] = 2 * kPi * random.Uniform();
        // Interpolating between lattice nodes keeps (2 + cos(k_d step)) / 3
        // of a mode's variance along each axis on average: given back, up to
        // a factor 2 for the short waves the lattice cannot hold.
        double kept = (2 + std::cos(kx * kStep)) / 3 * (2 + std::cos(ky * kStep)) / 3 *
                      (2 + std::cos(kz * kStep)) / 3;
        double boost = std::min(2.0, 1 / std::sqrt(kept));
        a = a * boost;
        modes.ax[n] = a.x, modes.ay[n] = a.y, modes.az[n] = a.z;
        power[0] += a.x * a.x / 2 * kept, power[1] += a.y * a.y / 2 * kept, power[2] += a.z * a.z / 2 * kept;
      }
    }
    // Each component to unit variance exactly: the draws of the mode
    // directions would otherwise leave a few per cent of chance in sigma.
    for (int n = 0; n < kModes; n++) {
      modes.ax[n] /= std::sqrt(power[0]);
      modes.ay[n] /= std::sqrt(power[1]);
      modes.az[n] /= std::sqrt(power[2]);
    }
  }
}

namespace {

// The slot of lattice indices in a table of `size` (a power of two) slots.
size_t SlotOf(int64_t i, int64_t j, int64_t k, size_t size) {
  uint64_t h = uint64_t(i) * 0x9E3779B97F4A7C15ull ^ uint64_t(j) * 0xC2B2AE3D27D4EB4Full ^
               uint64_t(k) * 0x165667B19E3779F9ull;
  return size_t((h ^ (h >> 29)) & (size - 1));
}

}  // namespace

Vec3 TurbulenceField::Node(int family, int64_t i, int64_t j, int64_t k) const {
  std::vector<NodeSlot>& nodes = nodes_[family];
  if (nodes.empty()) nodes.resize(1 << 15);
  // A node's slot from its indices; a slot holds one node at a time.
  NodeSlot& node = nodes[SlotOf(i, j, k, nodes.size())];
  if (!node.used || node.i != i || node.j != j || node.k != k) {
    Vec3 v = Sum(family, Vec3{double(i) * kStep, double(j) * kStep, double(k) * kStep});
    node.i = i, node.j = j, node.k = k, node.used = true;
    node.v[0] = v.x, node.v[1] = v.y, node.v[2] = v.z;
  }
  return {node.v[0], node.v[1], node.v[2]};
}

Vec3 TurbulenceField::Unit(int family, const Vec3& xi) const {
  const double gx = xi.x / kStep, gy = xi.y / kStep, gz = xi.z / kStep;
  const double fx = std::floor(gx), fy = std::floor(gy), fz = std::floor(gz);
  const double sx = gx - fx, sy = gy - fy, sz = gz - fz;
  const int64_t i0 = int64_t(fx), j0 = int64_t(fy), k0 = int64_t(fz);
  // The cell's eight corners, remembered together: the bodies of the
  // machine and the probes about each of them mostly share cells, and one
  // look-up a query costs far less than eight.
  std::vector<CellSlot>& cells = cells_[family];
  if (cells.empty()) cells.resize(1 << 12);
  CellSlot& cell = cells[SlotOf(i0, j0, k0, cells.size())];
  if (!cell.used || cell.i != i0 || cell.j != j0 || cell.k != k0) {
    for (int c = 0; c < 8; c++) {
      Vec3 v = Node(family, i0 + (c & 1), j0 + (c >> 1 & 1), k0 + (c >> 2));
      cell.v[c][0] = v.x, cell.v[c][1] = v.y, cell.v[c][2] = v.z;
    }
    cell.i = i0, cell.j = j0, cell.k = k0, cell.used = true;
  }
  Vec3 out = {0, 0, 0};
  for (int c = 0; c < 8; c++) {
    const double w = ((c & 1) ? sx : 1 - sx) * ((c >> 1 & 1) ? sy : 1 - sy) * ((c >> 2) ? sz : 1 - sz);
    out.x += w * cell.v[c][0], out.y += w * cell.v[c][1], out.z += w * cell.v[c][2];
  }
  return out;
}

namespace {

using lanes::Load;
using lanes::Splat;
using lanes::Store;

// cos(x) to about 1e-12, lane by lane: a node is a sum over 220 modes, and
// the library's cos, one call each, was nearly all of the turbulence's cost.
// Arguments stay far below 2^51 (the rounding by adding 1.5 * 2^52 needs it).
template <class V, class M>
TARN_LANE_INLINE V CosLanes(V x) {
  const V n = (x * Splat<V>(0.15915494309189535) + Splat<V>(6755399441055744.0)) -
              Splat<V>(6755399441055744.0);
  // x - 2 pi n in two parts: r lies in [-pi, pi].
  const V r = (x - n * Splat<V>(6.283185307179586)) - n * Splat<V>(2.4492935982947064e-16);
  V a = lanes::Abs<V, M>(r);
  // cos(a) = -cos(pi - a) folds the range to [0, pi/2].
  const M far = a > Splat<V>(1.5707963267948966);
  a = far ? Splat<V>(3.141592653589793) - a : a;
  const V a2 = a * a;
  V c = Splat<V>(1.0 / 20922789888000.0);  // Taylor to a^16
  c = c * a2 - Splat<V>(1.0 / 87178291200.0);
  c = c * a2 + Splat<V>(1.0 / 479001600.0);
  c = c * a2 - Splat<V>(1.0 / 3628800.0);
  c = c * a2 + Splat<V>(1.0 / 40320.0);
  c = c * a2 - Splat<V>(1.0 / 720.0);
  c = c * a2 + Splat<V>(1.0 / 24.0);
  c = c * a2 - Splat<V>(0.5);
  c = c * a2 + Splat<V>(1.0);
  return far ? -c : c;
}

// Each mode's cos(k . xi + phase) into out, W modes at a time.
template <class V, class M>
TARN_LANE_INLINE void ModeCosines(const double* kx, const double* ky, const double* kz,
                                  const double* phase, int count, const Vec3& xi, double* out) {
  constexpr int W = sizeof(V) / sizeof(double);
  const V x = Splat<V>(xi.x), y = Splat<V>(xi.y), z = Splat<V>(xi.z);
  for (int n = 0; n < count; n += W)
    Store(out + n, CosLanes<V, M>(Load<V>(kx + n) * x + Load<V>(ky + n) * y + Load<V>(kz + n) * z +
                                  Load<V>(phase + n)));
}

void CosinesTwo(const double* kx, const double* ky, const double* kz, const double* phase,
                int count, const Vec3& xi, double* out) {
  ModeCosines<Lanes2, Mask2>(kx, ky, kz, phase, count, xi, out);
}
TARN_FOUR_LANES void CosinesFour(const double* kx, const double* ky, const double* kz,
                                 const double* phase, int count, const Vec3& xi, double* out) {
  ModeCosines<Lanes4, Mask4>(kx, ky, kz, phase, count, xi, out);
}

}  // namespace

Vec3 TurbulenceField::Sum(int family, const Vec3& xi) const {
  static_assert(kModes % 4 == 0, "the modes go four lanes at a time");
  const Modes& m = modes_[family];
  double c[kModes];
  if (UseFourLanes())
    CosinesFour(m.kx, m.ky, m.kz, m.phase, kModes, xi, c);
  else
    CosinesTwo(m.kx, m.ky, m.kz, m.phase, kModes, xi, c);
  double x = 0, y = 0, z = 0;
  for (int n = 0; n < kModes; n++) x += m.ax[n] * c[n], y += m.ay[n] * c[n], z += m.az[n] * c[n];
  return {x, y, z};
}

Vec3 TurbulenceField::At(const Vec3& p, double t, double ground) const {
  double h = std::min(300.0, std::max(3.0, p.z - ground));
  // The probes about a body share its height: its parameters are remembered.
  if (!(h == memo_.height)) memo_ = {h, DrydenAt(h, w20_), std::log(h)};
  const Dryden& d = memo_.dryden;
  Vec3 q = p - drift_ * t;
  double a = Dot(q, along_), c = Dot(q, across_);
  // Vertical coordinate in local length scales: ln h for Lw = h; for Lu the
  // same scaled by Lw / Lu at this height (they vary slowly with height).
  const double level = memo_.level;
  Vec3 uv = Unit(0, Vec3{a / d.lu, c / d.lu, level * d.lw / d.lu});
  Vec3 w = Unit(1, Vec3{a / d.lw, c / d.lw, level});
  return along_ * (d.sigmaU * uv.x) + across_ * (d.sigmaU * uv.y) + Vec3{0, 0, d.sigmaW * w.z};
}

}  // namespace air
