#include "physics/ground.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "physics/body.h"
#include "sim/frame_clock.h"

Array<Vec3> GroundVertices;
Array<Triangle> GroundTriangles;

namespace {

// Broad-phase margin around a body's box, metres, and the rebuild period.
constexpr double kMargin = 2.0;
constexpr uint32_t kRebuildMask = 63;

bool ValidTriangle(const Triangle& t) {
  uint32_t n = GroundVertices.count;
  return t.v[0] < n && t.v[1] < n && t.v[2] < n;
}

// The rejection test of the broad phase: all three corners strictly beyond
// the widened box on one side of one axis (x, then y, then z).
bool Rejected(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& lo, const Vec3& hi) {
  if (a.x < lo.x && b.x < lo.x && c.x < lo.x) return true;
  if (a.x > hi.x && b.x > hi.x && c.x > hi.x) return true;
  if (a.y < lo.y && b.y < lo.y && c.y < lo.y) return true;
  if (a.y > hi.y && b.y > hi.y && c.y > hi.y) return true;
  if (a.z < lo.z && b.z < lo.z && c.z < lo.z) return true;
  if (a.z > hi.z && b.z > hi.z && c.z > hi.z) return true;
  return false;
}

bool Accepted(uint32_t i, const Vec3& lo, const Vec3& hi) {
  const Triangle& t = GroundTriangles[i];
  if (!ValidTriangle(t)) return false;  // corrupt indices never reach the narrow phase
  return !Rejected(GroundVertices[t.v[0]], GroundVertices[t.v[1]], GroundVertices[t.v[2]], lo, hi);
}

// Uniform grids over the ground's x-y extent, one inside the other: the
// finest has cells about twice the typical triangle, each next one cells
// eight times as wide. A triangle is listed in every cell its x-y bounds
// touch on the finest grid where that is at most 64 cells, so a large one
// (the sea, the lagoon) sits in a coarse grid instead of being checked by
// every query. Triangles too large even for the coarsest grid, and those with
// non-finite corners, are in a separate list that every query includes. The
// grids only narrow the search: the exact rejection test still decides, and
// results are sorted, so the candidates equal the linear scan's.
struct GridLevel {
  double originX = 0, originY = 0, cellSize = 1;
  int32_t nx = 0, ny = 0;
  std::vector<uint32_t> cellStart;  // nx*ny + 1 offsets into cellItems
  std::vector<uint32_t> cellItems;

  // Monotonic in x, clamped: a larger coordinate never maps to a smaller cell.
  int32_t CellX(double x) const { return Cell((x - originX) / cellSize, nx); }
  int32_t CellY(double y) const { return Cell((y - originY) / cellSize, ny); }
  static int32_t Cell(double f, int32_t n) {
    double c = std::floor(f);
    if (!(c > 0)) return 0;
    if (c > double(n - 1)) return n - 1;
    return int32_t(c);
  }
};

struct GroundGrid {
  bool built = false;
  uint32_t vertexCount = 0, triangleCount = 0;
  const void* vertexData = nullptr;
  const void* triangleData = nullptr;
  uint64_t fingerprint = 0;

  std::vector<GridLevel> levels;    // finest first
  std::vector<uint32_t> always;     // ascending
  std::vector<uint32_t> stamp;      // per triangle: last query that saw it
  uint32_t query = 0;
};

GroundGrid grid;

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// A hash of 64 evenly spread vertices and triangles (first and last
// included): a mesh refilled in place with the same counts is still noticed.
uint64_t Fingerprint() {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](uint64_t w) { h = (h ^ w) * 1099511628211ull; };
  auto bits = [](double d) {
    uint64_t u;
    std::memcpy(&u, &d, 8);
    return u;
  };
  const uint32_t kSamples = 64;
  for (uint32_t k = 0; k < kSamples && GroundVertices.count; k++) {
    const Vec3& v = GroundVertices[uint32_t(uint64_t(GroundVertices.count - 1) * k / (kSamples - 1))];
    mix(bits(v.x));
    mix(bits(v.y));
    mix(bits(v.z));
  }
  for (uint32_t k = 0; k < kSamples && GroundTriangles.count; k++) {
    const Triangle& t = GroundTriangles[uint32_t(uint64_t(GroundTriangles.count - 1) * k / (kSamples - 1))];
    mix(uint64_t(t.v[0]) | uint64_t(t.v[1]) << 32);
    mix(t.v[2]);
  }
  return h;
}

bool GridCurrent() {
  return grid.built && grid.vertexCount == GroundVertices.count &&
         grid.triangleCount == GroundTriangles.count && grid.vertexData == GroundVertices.data &&
         grid.triangleData == GroundTriangles.data && grid.fingerprint == Fingerprint();
}

void BuildGrid() {
  GroundGrid g;
  g.built = true;
  g.vertexCount = GroundVertices.count;
  g.triangleCount = GroundTriangles.count;
  g.vertexData = GroundVertices.data;
  g.triangleData = GroundTriangles.data;
  g.fingerprint = Fingerprint();
  g.stamp.assign(GroundTriangles.count, 0);

  // x-y bounds of every usable triangle.
  struct Span {
    double x0, y0, x1, y1;
  };
  std::vector<Span> spans(GroundTriangles.count);
  std::vector<uint8_t> usable(GroundTriangles.count, 0);
  std::vector<double> sizes;
  double bx0 = INFINITY, by0 = INFINITY, bx1 = -INFINITY, by1 = -INFINITY;
  for (uint32_t i = 0; i < GroundTriangles.count; i++) {
    const Triangle& t = GroundTriangles[i];
    if (!ValidTriangle(t)) continue;  // never a candidate
    const Vec3& a = GroundVertices[t.v[0]];
    const Vec3& b = GroundVertices[t.v[1]];
    const Vec3& c = GroundVertices[t.v[2]];
    if (!Finite(a) || !Finite(b) || !Finite(c)) {
      g.always.push_back(i);
      continue;
    }
    Span s = {std::min({a.x, b.x, c.x}), std::min({a.y, b.y, c.y}), std::max({a.x, b.x, c.x}),
              std::max({a.y, b.y, c.y})};
    spans[i] = s;
    usable[i] = 1;
    sizes.push_back(std::max(s.x1 - s.x0, s.y1 - s.y0));
    bx0 = std::min(bx0, s.x0);
    by0 = std::min(by0, s.y0);
    bx1 = std::max(bx1, s.x1);
    by1 = std::max(by1, s.y1);
  }
  if (!sizes.empty()) {
    // Cells about twice the typical triangle, at most about four cells per triangle.
    std::nth_element(sizes.begin(), sizes.begin() + sizes.size() / 2, sizes.end());
    double typical = sizes[sizes.size() / 2];
    double w = bx1 - bx0, h = by1 - by0;
    if (!std::isfinite(w) || !std::isfinite(h)) {
      // Extents beyond double range: no grid, every triangle is checked.
      for (uint32_t i = 0; i < GroundTriangles.count; i++)
        if (usable[i] == 1) g.always.push_back(i);
      std::sort(g.always.begin(), g.always.end());
      grid = std::move(g);
      return;
    }
    double cs = 2 * typical;
    if (!(cs > 0) || !std::isfinite(cs)) cs = std::max({w, h, 1.0}) / std::sqrt(double(sizes.size()));
    if (!(cs > 0) || !std::isfinite(cs)) cs = 1;
    const double maxCells = 4.0 * double(sizes.size()) + 16;
    for (;;) {
      double cx = std::floor(w / cs) + 1, cy = std::floor(h / cs) + 1;
      if (cx * cy <= maxCells) break;
      cs *= 1.5;
    }
    // Each triangle goes to the finest grid where it touches at most kBig
    // cells; the grids coarsen until every triangle has found one.
    const int64_t kBig = 64;
    std::vector<uint8_t> placed(GroundTriangles.count, 0);
    uint32_t unplaced = 0;
    for (uint32_t i = 0; i < GroundTriangles.count; i++) unplaced += usable[i];
    for (double size = cs; unplaced > 0; size *= 8) {
      GridLevel L;
      L.originX = bx0;
      L.originY = by0;
      L.cellSize = size;
      L.nx = int32_t(std::floor(w / size)) + 1;
      L.ny = int32_t(std::floor(h / size)) + 1;
      // Two passes (count, then fill) into one flat list.
      std::vector<uint32_t> counts(size_t(L.nx) * L.ny + 1, 0);
      std::vector<uint32_t> mine;
      for (uint32_t i = 0; i < GroundTriangles.count; i++) {
        if (!usable[i] || placed[i]) continue;
        const Span& s = spans[i];
        int32_t x0 = L.CellX(s.x0), x1 = L.CellX(s.x1), y0 = L.CellY(s.y0), y1 = L.CellY(s.y1);
        if (int64_t(x1 - x0 + 1) * (y1 - y0 + 1) > kBig) continue;
        placed[i] = 1;
        unplaced--;
        mine.push_back(i);
        for (int32_t y = y0; y <= y1; y++)
          for (int32_t x = x0; x <= x1; x++) counts[size_t(y) * L.nx + x]++;
      }
      L.cellStart.assign(counts.size(), 0);
      uint32_t total = 0;
      for (size_t c = 0; c + 1 < counts.size(); c++) {
        L.cellStart[c] = total;
        total += counts[c];
      }
      L.cellStart.back() = total;
      L.cellItems.resize(total);
      std::vector<uint32_t> fill(L.cellStart.begin(), L.cellStart.end() - 1);
      for (uint32_t i : mine) {
        const Span& s = spans[i];
        int32_t x0 = L.CellX(s.x0), x1 = L.CellX(s.x1), y0 = L.CellY(s.y0), y1 = L.CellY(s.y1);
        for (int32_t y = y0; y <= y1; y++)
          for (int32_t x = x0; x <= x1; x++) L.cellItems[fill[size_t(y) * L.nx + x]++] = i;
      }
      if (!mine.empty()) g.levels.push_back(std::move(L));
    }
    std::sort(g.always.begin(), g.always.end());
  }
  grid = std::move(g);
}

}  // namespace

void GroundMeshChanged() { grid.built = false; }

void PrepareGroundGrid() {
  if (!GridCurrent()) BuildGrid();
}

void GroundCandidatesLinear(const Vec3& lo, const Vec3& hi, double margin, Array<uint32_t>& out) {
  out.resize(0);
  const Vec3 wlo = {lo.x - margin, lo.y - margin, lo.z - margin};
  const Vec3 whi = {hi.x + margin, hi.y + margin, hi.z + margin};
  for (uint32_t i = 0; i < GroundTriangles.count; i++)
    if (Accepted(i, wlo, whi)) out.push(i);
}

void GroundCandidates(const Vec3& lo, const Vec3& hi, double margin, Array<uint32_t>& out) {
  const Vec3 wlo = {lo.x - margin, lo.y - margin, lo.z - margin};
  const Vec3 whi = {hi.x + margin, hi.y + margin, hi.z + margin};
  // A non-finite box accepts triangles the grid cannot place: scan them all.
  if (!Finite(wlo) || !Finite(whi)) {
    GroundCandidatesLinear(lo, hi, margin, out);
    return;
  }
  if (!GridCurrent()) BuildGrid();
  out.resize(0);
  if (++grid.query == 0) {  // the stamps wrapped: start them afresh
    std::fill(grid.stamp.begin(), grid.stamp.end(), 0);
    grid.query = 1;
  }
  const uint32_t q = grid.query;
  for (uint32_t i : grid.always) {
    grid.stamp[i] = q;
    if (Accepted(i, wlo, whi)) out.push(i);
  }
  for (const GridLevel& L : grid.levels) {
    // Bounds taken in either order, as an inverted box still accepts
    // triangles spanning it.
    int32_t xa = L.CellX(wlo.x), xb = L.CellX(whi.x);
    int32_t ya = L.CellY(wlo.y), yb = L.CellY(whi.y);
    if (xa > xb) std::swap(xa, xb);
    if (ya > yb) std::swap(ya, yb);
    for (int32_t y = ya; y <= yb; y++) {
      for (int32_t x = xa; x <= xb; x++) {
        size_t c = size_t(y) * L.nx + x;
        for (uint32_t k = L.cellStart[c]; k < L.cellStart[c + 1]; k++) {
          uint32_t i = L.cellItems[k];
          if (grid.stamp[i] == q) continue;
          grid.stamp[i] = q;
          if (Accepted(i, wlo, whi)) out.push(i);
        }
      }
    }
  }
  std::sort(out.begin(), out.end());
}

void GroundContact(pBody& body) {
  if (body.vertices.count == 0) return;
  const double dt = CurrentDt;

  // Broad phase: the ground triangles near the box at this moment, kept until
  // the next rebuild even as the body moves.
  if ((StepCounter & kRebuildMask) == 0) {
    static Array<uint32_t> candidates;
    GroundCandidates(body.box.worldMin, body.box.worldMax, kMargin, candidates);
    body.contactVertices.resize(0);
    body.contactTriangles.resize(0);
    for (uint32_t i : candidates) {
      const Triangle& t = GroundTriangles[i];
      body.contactVertices.push(GroundVertices[t.v[0]]);
      body.contactVertices.push(GroundVertices[t.v[1]]);
      body.contactVertices.push(GroundVertices[t.v[2]]);
      uint32_t n = body.contactVertices.count;
      body.contactTriangles.push(Triangle{{n - 3, n - 2, n - 1}});
    }
    body.contactNormals.resize(0);
  }
  // The planes hold until the next rebuild. Contact triangles set by other
  // means get theirs here.
  const uint32_t nt = body.contactTriangles.count;
  if (body.contactNormals.count != nt || body.contactOffsets.count != nt) {
    body.contactNormals.resize(nt);
    body.contactOffsets.resize(nt);
    for (uint32_t k = 0; k < nt; k++) {
      const Triangle& tri = body.contactTriangles[k];
      const Vec3& t0 = body.contactVertices[tri.v[0]];
      Vec3 n = Normalize(Cross(body.contactVertices[tri.v[1]] - t0, body.contactVertices[tri.v[2]] - t0));
      body.contactNormals[k] = n;
      body.contactOffsets[k] = Dot(n, t0);
    }
  }

  // Narrow phase. First a cheap bound: the box around the corners now, grown
  // by the farthest any corner can move in this step. A ground plane clearly
  // below that box has no corner that would end up below it, so the corner
  // loop would find nothing there; this shortcut never decides a contact.
  // The slack is far beyond the rounding of the products involved.
  // Adding the position keeps the order of the coordinates, so these are
  // the bounds of the translated corners.
  const uint32_t nv = body.worldVertices.count;
  const Vec3 lo = body.worldVertexMin + body.position, hi = body.worldVertexMax + body.position;
  const Vec3 centre = (lo + hi) * 0.5;
  const Vec3 half = (hi - lo) * 0.5;
  const double reach = Length(centre - (body.position + body.centreOffset)) + Length(half);
  const double travel = (Length(body.velocity) + Length(body.angularVelocity) * reach) * dt;
  const Vec3 extent = {(half.x + travel) * (1 + 1e-9), (half.y + travel) * (1 + 1e-9),
                       (half.z + travel) * (1 + 1e-9)};
  const double scale = std::fabs(centre.x) + std::fabs(centre.y) + std::fabs(centre.z) +
                       extent.x + extent.y + extent.z;
  const bool boundUsable = std::isfinite(scale);

  static Array<uint8_t> near;
  near.resize(nt);
  bool anyNear = false;
  for (uint32_t k = 0; k < nt; k++) {
    const Vec3& n = body.contactNormals[k];
    const double d = body.contactOffsets[k];
    double below = std::fabs(n.x) * extent.x + std::fabs(n.y) * extent.y + std::fabs(n.z) * extent.z;
    near[k] = !(boundUsable && Dot(n, centre) - below > d + 1e-9 * (1 + std::fabs(d) + scale));
    anyNear = anyNear || near[k];
  }
  if (!anyNear) return;

  // A corner's position and predicted position do not depend on the
  // triangle: work them out once.
  static Array<Vec3> now, predicted;
  now.resize(nv);
  predicted.resize(nv);
  for (uint32_t i = 0; i < nv; i++) {
    Vec3 p = body.worldVertices[i] + body.position;
    Vec3 r = p - body.position - body.centreOffset;
    now[i] = p;
    predicted[i] = p + (Cross(body.angularVelocity, r) + body.velocity) * dt;
  }
  uint32_t count = 0;
  Vec3 sumNormals = {0, 0, 0};
  Vec3 sumOffsets = {0, 0, 0};
  double deepest = 0;
  for (uint32_t k = 0; k < nt; k++) {
    if (!near[k]) continue;
    const Triangle& tri = body.contactTriangles[k];
    const Vec3& t0 = body.contactVertices[tri.v[0]];
    const Vec3& t1 = body.contactVertices[tri.v[1]];
    const Vec3& t2 = body.contactVertices[tri.v[2]];
    const Vec3& n = body.contactNormals[k];
    const double d = body.contactOffsets[k];
    for (uint32_t i = 0; i < nv; i++) {
      // Only corners that would be below the plane after this step.
      if (!(Dot(n, predicted[i]) < d)) continue;
      const Vec3& p = now[i];
      double np = Dot(n, p);
      Vec3 q = p - n * (np - d);
      // Strictly inside: a corner on an edge is no contact.
      if (!(Dot(Cross(q - t0, t1 - q), n) < 0)) continue;
      if (!(Dot(Cross(q - t1, t2 - q), n) < 0)) continue;
      if (!(Dot(Cross(q - t2, t0 - q), n) < 0)) continue;
      if (np <= d) {
        if (np <= d - 0.05) continue;  // too deep: through the ground, not on it
        if (d - np > deepest) deepest = d - np;
      }
      sumOffsets += p - body.position;
      sumNormals += n;
      count++;
    }
  }
  if (count == 0) return;

  Vec3 N = Normalize(sumNormals / double(count));
  Vec3 R = sumOffsets / double(count);
  Vec3 v = body.PointVelocity(R);
  double K = body.EffectiveMass(R, N);
  double j = std::fmax(0.0, -Dot(N, v) * K);
  body.ApplyImpulse(R, N * j);
  // Friction from the same velocity, before the normal impulse.
  Vec3 t = -(v - N * Dot(v, N));
  double s = Length(t);
  Vec3 u = Normalize(t);
  double jt = body.EffectiveMass(R, u) * s;
  double cap = body.frictionLimit * 20000.0 * dt;
  if (jt > cap) jt = cap;
  body.ApplyImpulse(R, u * jt);
  body.position += N * deepest * 0.1;
}
