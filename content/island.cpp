// The island "DivadiZarov": a terrain grid of about 1.5 km of land with
// hills, beaches on the south and west, cliffs on the north-east, a flat
// meadow at the start point, and a sea surface reaching 6 km out. Everything
// is wound counter-clockwise seen from above: all of it is ground.
#include <algorithm>
#include <cmath>
#include <string>

#include "content/builders.h"
#include "content/random.h"

namespace content {
namespace {

constexpr double kIslandScale = 0.1;  // metres per raw unit
constexpr double kCentreX = 380.0, kCentreY = 330.0;  // the island's middle (world metres)
constexpr double kCoastRadius = 690.0;                // mean coast distance from the middle
constexpr double kCoastWobble = 0.22;                 // relative coast variation
constexpr double kGridHalf = 1100.0;                  // terrain grid half size
constexpr int kGridCells = 220;                       // cells per side (10 m)
constexpr int kNodesPerSide = 4;
constexpr double kSeaHalf = 6000.0;                   // the sea surface's half size
constexpr double kOpenSeaHalf = 60000.0;              // the drawn open sea's, beyond the ground's
constexpr double kBeachRise = 2.5;                    // beach top above the sea
constexpr double kHillHeight = 115.0;
constexpr double kCliffHeight = 30.0;
constexpr uint32_t kSeed = 0x7A22u;

double SmoothStep(double a, double b, double x) {
  double t = std::clamp((x - a) / (b - a), 0.0, 1.0);
  return t * t * (3.0 - 2.0 * t);
}
double Mix(double a, double b, double t) { return a + (b - a) * t; }

// Angle distance in radians, folded into [0, pi].
double AngleGap(double a, double b) {
  double d = std::fabs(std::remainder(a - b, 2.0 * M_PI));
  return d;
}

// Height without the water surface: the sea floor shows through as depth.
double TrueHeight(double x, double y) {
  const double dx = x - kCentreX, dy = y - kCentreY;
  const double d = std::sqrt(dx * dx + dy * dy);
  const double theta = std::atan2(dy, dx);
  const double wobble = Fractal2(std::cos(theta) * 1.7 + 11.0, std::sin(theta) * 1.7 + 7.0, 4, kSeed) - 0.5;
  const double rho = d / (kCoastRadius * (1.0 + 2.0 * kCoastWobble * wobble));

  // Cliffs along the north-east shore.
  const double cliff = 1.0 - SmoothStep(0.45, 0.9, AngleGap(theta, 0.8));

  // Low land around the start meadow, hills elsewhere.
  const double mx = x - kMeadowX, my = y - kMeadowY;
  const double lowland = SmoothStep(230.0, 560.0, std::sqrt(mx * mx + my * my));
  const double hills = kHillHeight * std::pow(std::max(0.0, 1.0 - rho), 1.3) *
                       (0.3 + Fractal2(x / 320.0, y / 320.0, 5, kSeed + 1)) * lowland;
  const double bumps = 4.0 * Fractal2(x / 60.0, y / 60.0, 3, kSeed + 2) * SmoothStep(1.0, 0.85, rho);

  double land;
  if (rho < 1.0) {
    const double beach = kBeachRise * std::min(1.0, (1.0 - rho) / 0.08);
    land = beach + (hills + bumps) * SmoothStep(0.98, 0.82, rho);
  } else {
    land = -1.0 - 55.0 * std::min(1.0, (rho - 1.0) * 2.5);  // sea floor
  }
  // Cliff profile: a high edge dropping steeply into deep water.
  double cliffLand;
  if (rho < 0.955)
    cliffLand = kCliffHeight + hills * 0.8 + bumps;
  else if (rho < 0.985)
    cliffLand = Mix(kCliffHeight + hills * 0.8 + bumps, -8.0, SmoothStep(0.955, 0.985, rho));
  else
    cliffLand = -8.0 - 50.0 * std::min(1.0, (rho - 0.985) * 2.5);
  double h = kSeaLevel + Mix(land, cliffLand, cliff);

  // The start meadow: flat grass a few centimetres under the aircraft's feet.
  const double md = std::sqrt(mx * mx + my * my);
  h = Mix(kMeadowHeight, h, SmoothStep(kMeadowRadius, kMeadowRadius + 90.0, md));
  return h;
}

// The terrain grid's border points, counter-clockwise seen from above, at z 0.
std::vector<Vec3> GridEdge() {
  const double x0 = kCentreX - kGridHalf, y0 = kCentreY - kGridHalf;
  const double step = 2.0 * kGridHalf / kGridCells;
  std::vector<Vec3> edge;
  for (int i = 0; i < kGridCells; ++i) edge.push_back({x0 + step * i, y0, 0});
  for (int j = 0; j < kGridCells; ++j) edge.push_back({x0 + 2 * kGridHalf, y0 + step * j, 0});
  for (int i = kGridCells; i > 0; --i) edge.push_back({x0 + step * i, y0 + 2 * kGridHalf, 0});
  for (int j = kGridCells; j > 0; --j) edge.push_back({x0, y0 + step * j, 0});
  return edge;
}

// Value noise that repeats every `period` lattice cells, for textures that tile.
double PeriodicNoise(double x, double y, int period, uint32_t seed) {
  const int ix = int(std::floor(x)), iy = int(std::floor(y));
  const double tx = SmoothStep(0.0, 1.0, x - ix), ty = SmoothStep(0.0, 1.0, y - iy);
  auto at = [&](int i, int j) { return Hash2(((i % period) + period) % period, ((j % period) + period) % period, seed); };
  return Mix(Mix(at(ix, iy), at(ix + 1, iy), tx), Mix(at(ix, iy + 1), at(ix + 1, iy + 1), tx), ty);
}

}  // namespace

double IslandSurfaceHeight(double x, double y) { return std::max(TrueHeight(x, y), kSeaLevel); }

ModelFile BuildIslandModel() {
  ModelFile m;
  m.scale = kIslandScale;
  const double x0 = kCentreX - kGridHalf, y0 = kCentreY - kGridHalf;
  const double step = 2.0 * kGridHalf / kGridCells;
  const int per = kGridCells / kNodesPerSide;
  auto uvOf = [&](double x, double y) { return UV{(x - x0) / (2.0 * kGridHalf), 1.0 - (y - y0) / (2.0 * kGridHalf)}; };

  for (int ny = 0; ny < kNodesPerSide; ++ny)
    for (int nx = 0; nx < kNodesPerSide; ++nx) {
      MeshNode& node = m.Add("Island " + std::to_string(ny * kNodesPerSide + nx));
      const int i0 = nx * per, j0 = ny * per;
      for (int j = 0; j <= per; ++j)
        for (int i = 0; i <= per; ++i) {
          double x = x0 + step * (i0 + i), y = y0 + step * (j0 + j);
          node.AddVertex({x, y, IslandSurfaceHeight(x, y)});
        }
      auto at = [&](int i, int j) { return uint32_t(j * (per + 1) + i); };
      for (int j = 0; j < per; ++j)
        for (int i = 0; i < per; ++i) {
          uint32_t a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
          node.AddTriangle(a, b, c, 0, 1);
          node.AddTriangle(a, c, d, 0, 1);
        }
      for (Face& f : node.faces)
        for (int k = 0; k < 3; ++k) {
          const Vec3& p = node.vertices[f.corner[k]];
          f.tex0[k] = uvOf(p.x, p.y);
        }
    }

  // The open sea: a ring of quads from the grid's edge out to the horizon.
  MeshNode& sea = m.Add("Sea");
  const std::vector<Vec3> edge = GridEdge();
  const double out = kSeaHalf / kGridHalf;
  std::vector<uint32_t> inner, outer;
  std::vector<UV> innerUV, outerUV;
  for (const Vec3& e : edge) {
    Vec3 b{e.x, e.y, IslandSurfaceHeight(e.x, e.y)};
    Vec3 f{kCentreX + (e.x - kCentreX) * out, kCentreY + (e.y - kCentreY) * out, kSeaLevel};
    inner.push_back(sea.AddVertex(b));
    outer.push_back(sea.AddVertex(f));
    UV uv = uvOf(e.x, e.y);
    innerUV.push_back(uv);
    // Far corners sample just inside the map's deep-water border.
    outerUV.push_back({0.5 + (uv.u - 0.5) * 0.996, 0.5 + (uv.v - 0.5) * 0.996});
  }
  for (size_t k = 0; k < edge.size(); ++k) {
    size_t l = (k + 1) % edge.size();
    sea.AddTriangle(inner[k], outer[k], outer[l], 0, 1);
    sea.faces.back().tex0[0] = innerUV[k];
    sea.faces.back().tex0[1] = outerUV[k];
    sea.faces.back().tex0[2] = outerUV[l];
    sea.AddTriangle(inner[k], outer[l], inner[l], 0, 1);
    sea.faces.back().tex0[0] = innerUV[k];
    sea.faces.back().tex0[1] = outerUV[l];
    sea.faces.back().tex0[2] = innerUV[l];
  }
  return m;
}

Bitmap PaintIslandTexture() {
  const int n = 1024;
  Bitmap img(n, n, 3);
  const double x0 = kCentreX - kGridHalf, y0 = kCentreY - kGridHalf, texel = 2.0 * kGridHalf / n;
  std::vector<double> h(size_t(n) * n);
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) h[size_t(r) * n + c] = TrueHeight(x0 + (c + 0.5) * texel, y0 + (n - r - 0.5) * texel);
  auto H = [&](int c, int r) { return h[size_t(std::clamp(r, 0, n - 1)) * n + std::clamp(c, 0, n - 1)]; };

  struct Col {
    double r, g, b;
  };
  auto mix = [](Col a, Col b, double t) { return Col{Mix(a.r, b.r, t), Mix(a.g, b.g, t), Mix(a.b, b.b, t)}; };
  const Col deep{18, 52, 98}, shallow{38, 140, 150}, foam{200, 225, 220}, sand{214, 196, 142}, grass{92, 138, 56},
      meadow{118, 158, 62}, forest{38, 78, 36}, rock{120, 112, 100}, darkRock{82, 76, 70};

  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      const double x = x0 + (c + 0.5) * texel, y = y0 + (n - r - 0.5) * texel;
      const double z = H(c, r);
      const double gx = (H(c + 1, r) - H(c - 1, r)) / (2 * texel), gy = (H(c, r - 1) - H(c, r + 1)) / (2 * texel);
      const double slope = std::sqrt(gx * gx + gy * gy);
      // Toward the map's border the water's grain fades out: the open sea
      // around the grid stretches the border texels over kilometres, where
      // any grain would show as streaks running out to the horizon.
      const double border = SmoothStep(4.0, 40.0, std::min(std::min(c, r), std::min(n - 1 - c, n - 1 - r)));
      const double fine = 0.5 + (Fractal2(x / 9.0, y / 9.0, 3, kSeed + 7) - 0.5) * border;
      const double patch = Fractal2(x / 70.0, y / 70.0, 4, kSeed + 8);
      const double above = z - kSeaLevel;
      Col col;
      if (above < 0) {
        col = mix(shallow, deep, SmoothStep(0.0, 14.0, -above + (fine - 0.5) * 2.0));
        col = mix(foam, col, SmoothStep(0.0, 0.5, -above));  // surf line
      } else {
        Col land = mix(grass, meadow, SmoothStep(0.35, 0.7, patch));
        // Forest on the middle slopes where the patch noise says so.
        double trees = SmoothStep(0.5, 0.56, patch + 0.25 * (fine - 0.5)) * SmoothStep(6.0, 14.0, above) *
                       (1.0 - SmoothStep(75.0, 95.0, above));
        land = mix(land, forest, trees);
        // Rock on steep ground and the high tops.
        double stone = std::max(SmoothStep(0.55, 0.9, slope + 0.2 * (fine - 0.5)), SmoothStep(95.0, 115.0, above));
        land = mix(land, mix(rock, darkRock, fine), stone);
        // Sand along the waterline.
        double beach = 1.0 - SmoothStep(1.0, 1.6, above + (fine - 0.5) * 0.6);
        col = mix(land, sand, beach * (1.0 - stone));
      }
      const double grain = 0.9 + 0.2 * fine;
      uint8_t* p = img.At(c, r);
      p[0] = uint8_t(std::clamp(col.r * grain, 0.0, 255.0));
      p[1] = uint8_t(std::clamp(col.g * grain, 0.0, 255.0));
      p[2] = uint8_t(std::clamp(col.b * grain, 0.0, 255.0));
    }
  return img;
}

ModelFile BuildOpenSeaModel() {
  ModelFile m;
  m.scale = kIslandScale;
  MeshNode& sea = m.Add("Open Sea");
  // From the island's sea ring's outer edge (the same points, so no crack)
  // out to kOpenSeaHalf, all of it one texel of the map's plain deep water.
  const double out = kSeaHalf / kGridHalf, far = kOpenSeaHalf / kGridHalf;
  const UV water{0.998, 0.998};
  std::vector<uint32_t> inner, outer;
  for (const Vec3& e : GridEdge()) {
    inner.push_back(sea.AddVertex({kCentreX + (e.x - kCentreX) * out, kCentreY + (e.y - kCentreY) * out, kSeaLevel}));
    outer.push_back(sea.AddVertex({kCentreX + (e.x - kCentreX) * far, kCentreY + (e.y - kCentreY) * far, kSeaLevel}));
  }
  for (size_t k = 0; k < inner.size(); ++k) {
    size_t l = (k + 1) % inner.size();
    sea.AddTriangle(inner[k], outer[k], outer[l], 0, 1);
    sea.AddTriangle(inner[k], outer[l], inner[l], 0, 1);
  }
  for (Face& f : sea.faces)
    for (UV& uv : f.tex0) uv = water;
  return m;
}

Bitmap PaintDetailTexture() {
  const int n = 256;
  Bitmap img(n, n, 3);
  // Five octaves that all repeat within the tile; the mean is taken out so
  // that the texture, averaged by its smaller mip levels, leaves the map's
  // colours as they are.
  std::vector<double> v(size_t(n) * n);
  double mean = 0;
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      double sum = 0, amplitude = 0.5;
      for (int period = 8; period <= 128; period *= 2, amplitude *= 0.7)
        sum += amplitude * PeriodicNoise(c * period / double(n), r * period / double(n), period, kSeed + 20 + period);
      v[size_t(r) * n + c] = sum;
      mean += sum;
    }
  mean /= double(n) * n;
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      const uint8_t g = uint8_t(std::clamp(128.0 + (v[size_t(r) * n + c] - mean) * 75.0, 0.0, 255.0));
      uint8_t* p = img.At(c, r);
      p[0] = p[1] = p[2] = g;
    }
  return img;
}

ModelFile BuildSkyBoxModel() {
  ModelFile m;
  m.scale = 0.1;
  MeshNode& box = m.Add("Sky");
  AddBox(box, {-10, -10, -10}, {10, 10, 10}, 0);
  // Seen from inside: reverse every face.
  for (Face& f : box.faces) {
    std::swap(f.corner[1], f.corner[2]);
    f.smoothing = 0;
  }
  MapPlanar(box, 0, {0, 0, 1, 1});
  return m;
}

}  // namespace content
