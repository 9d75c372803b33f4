// The aircraft's textures and the sky cube, painted procedurally.
#include <algorithm>
#include <cmath>

#include "content/atlas.h"
#include "content/builders.h"
#include "content/random.h"

namespace content {
namespace {

struct Col {
  double r, g, b;
};
Col Mix(Col a, Col b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
Col Scale(Col a, double s) { return {a.r * s, a.g * s, a.b * s}; }
double SmoothStep(double a, double b, double x) {
  double t = std::clamp((x - a) / (b - a), 0.0, 1.0);
  return t * t * (3.0 - 2.0 * t);
}
uint8_t Byte(double v) { return uint8_t(std::clamp(v, 0.0, 255.0)); }

void Put(Bitmap& img, int x, int y, Col c, double alpha = 255.0) {
  uint8_t* p = img.At(x, y);
  p[0] = Byte(c.r);
  p[1] = Byte(c.g);
  p[2] = Byte(c.b);
  if (img.channels == 4) p[3] = Byte(alpha);
}

// Distance of t from the nearest multiple of `period`.
double LineDistance(double t, double period) {
  double f = t / period;
  return std::fabs(f - std::round(f)) * period;
}

// Paints `region` of img with fn(s, t), s and t in 0..1 across the region.
template <typename Fn>
void PaintRegion(Bitmap& img, const Region& r, Fn fn) {
  int x0 = int(std::floor(r.u0 * img.width)) - 2, x1 = int(std::ceil(r.u1 * img.width)) + 2;
  int y0 = int(std::floor(r.v0 * img.height)) - 2, y1 = int(std::ceil(r.v1 * img.height)) + 2;
  for (int y = std::max(0, y0); y < std::min(img.height, y1); ++y)
    for (int x = std::max(0, x0); x < std::min(img.width, x1); ++x) {
      double s = ((x + 0.5) / img.width - r.u0) / (r.u1 - r.u0);
      double t = ((y + 0.5) / img.height - r.v0) / (r.v1 - r.v0);
      fn(x, y, std::clamp(s, 0.0, 1.0), std::clamp(t, 0.0, 1.0));
    }
}

}  // namespace

Bitmap PaintBodyTexture() {
  const int n = 512;
  Bitmap img(n, n, 3);
  // Doped linen: a fine weave, ribs across the span and a taped border.
  PaintRegion(img, atlas::kFabric, [&](int x, int y, double s, double t) {
    Col linen{232, 221, 188};
    double weave = 0.94 + 0.06 * Hash2(x, y, 11) + 0.04 * ((x + y) % 2);
    double rib = 1.0 - SmoothStep(0.004, 0.012, LineDistance(s, 0.125));
    double tape = 1.0 - SmoothStep(0.01, 0.025, std::min(std::min(s, 1 - s), std::min(t, 1 - t)));
    Col c = Scale(linen, weave);
    c = Mix(c, Col{176, 150, 104}, rib * 0.8);
    c = Mix(c, Col{200, 186, 150}, tape * 0.7);
    Put(img, x, y, c);
  });
  // Hull planking: planks run along the hull (constant s), grain along t.
  PaintRegion(img, atlas::kPlanks, [&](int x, int y, double s, double t) {
    int plank = int(s * 12.0);
    double tone = 0.85 + 0.3 * Hash2(plank, 0, 21);
    double grain = ValueNoise2(s * 400.0, t * 18.0 + plank * 3.1, 22);
    double seam = 1.0 - SmoothStep(0.002, 0.006, LineDistance(s, 1.0 / 12.0));
    double nail = LineDistance(t, 0.1) < 0.006 && std::fabs(std::fmod(s * 12.0, 1.0) - 0.5) < 0.06 ? 1.0 : 0.0;
    Col c = Scale(Col{201, 156, 100}, tone * (0.88 + 0.18 * grain) * (0.97 + 0.03 * Hash2(x, y, 23)));
    c = Mix(c, Col{70, 46, 26}, seam * 0.9);
    c = Mix(c, Col{60, 60, 64}, nail);
    Put(img, x, y, c);
  });
  // Balloon gores: red and cream stripes with sewn seams.
  PaintRegion(img, atlas::kGores, [&](int x, int y, double s, double t) {
    int gore = int(s * 16.0);
    Col base = gore % 2 ? Col{236, 226, 200} : Col{196, 38, 34};
    double seam = 1.0 - SmoothStep(0.002, 0.005, LineDistance(s, 1.0 / 16.0));
    double panel = 1.0 - SmoothStep(0.003, 0.007, LineDistance(t, 1.0 / 6.0));
    Col c = Scale(base, 0.95 + 0.05 * Hash2(x, y, 31));
    c = Mix(c, Col{90, 60, 50}, std::max(seam, panel * 0.6) * 0.7);
    Put(img, x, y, c);
  });
  // Varnished dark wood.
  PaintRegion(img, atlas::kDarkWood, [&](int x, int y, double s, double t) {
    double grain = ValueNoise2(s * 6.0 + 3.0 * ValueNoise2(s * 4, t * 4, 41), t * 90.0, 42);
    Col c = Mix(Col{72, 42, 22}, Col{128, 78, 40}, grain);
    c = Scale(c, 0.95 + 0.07 * Hash2(x, y, 43));
    Put(img, x, y, c);
  });
  return img;
}

Bitmap PaintCockpitTexture() {
  const int n = 256;
  Bitmap img(n, n, 4);
  // Instrument panel: six dials on dark paint.
  PaintRegion(img, atlas::kPanelFace, [&](int x, int y, double s, double t) {
    Col c = Scale(Col{46, 48, 52}, 0.95 + 0.05 * Hash2(x, y, 51));
    double cx = (std::floor(s * 3.0) + 0.5) / 3.0, cy = (std::floor(t * 2.0) + 0.5) / 2.0;
    double dx = (s - cx) * 3.0, dy = (t - cy) * 2.0;  // -0.5 .. 0.5 within a dial's cell
    double r = std::sqrt(dx * dx + dy * dy);
    int dial = int(std::floor(s * 3.0)) + 3 * int(std::floor(t * 2.0));  // render/instruments.h order
    if (r < 0.42) {
      c = Col{18, 18, 20};
      double a = std::atan2(dy, dx);
      double tick = LineDistance(a, M_PI / 6.0);
      if (r > 0.32 && r < 0.4 && tick < 0.06) c = Col{235, 235, 225};
      // No needles: the program draws them from the flight state. The
      // variometer's zero (nine o'clock) and the ends of the 270 degree
      // sweeps (seven-thirty, four-thirty) are marked in red.
      bool sweep = dial == 0 || dial == 4;
      double red = 10;
      if (sweep) red = std::min(LineDistance(a - 0.75 * M_PI, 2 * M_PI), LineDistance(a - 0.25 * M_PI, 2 * M_PI));
      if (dial == 2) red = LineDistance(a - M_PI, 2 * M_PI);
      if (r > 0.26 && r < 0.4 && red < 0.05) c = Col{220, 40, 30};
      if (r < 0.035) c = Col{200, 200, 200};
    }
    if (r >= 0.42 && r < 0.46) c = Col{160, 150, 120};  // bezel
    Put(img, x, y, c, 255);
  });
  // Quilted leather.
  PaintRegion(img, atlas::kSeat, [&](int x, int y, double s, double t) {
    double q = std::min(LineDistance(s + t, 0.25), LineDistance(s - t, 0.25));
    double puff = SmoothStep(0.0, 0.06, q);
    Col c = Scale(Col{126, 70, 40}, 0.7 + 0.3 * puff);
    c = Scale(c, 0.95 + 0.05 * Hash2(x, y, 61));
    if (q < 0.004) c = Col{200, 170, 120};  // stitching
    Put(img, x, y, c, 255);
  });
  // Canopy glass: a light blue tint with a reflection streak and frame bars.
  PaintRegion(img, atlas::kGlass, [&](int x, int y, double s, double t) {
    Col c{170, 200, 225};
    double alpha = 56;
    double streak = std::exp(-std::pow((s + t - 0.8) * 9.0, 2.0));
    c = Mix(c, Col{255, 255, 255}, streak * 0.6);
    alpha += streak * 60;
    double frame = std::min(std::min(s, 1 - s), std::min(t, 1 - t));
    if (frame < 0.03 || std::fabs(s - 0.5) < 0.012) {
      c = Col{60, 62, 66};
      alpha = 255;
    }
    Put(img, x, y, c, alpha);
  });
  return img;
}

namespace {

// Sky colour seen along the unit world direction w (Z up).
Col SkyColour(const Vec3& w) {
  static const Vec3 sun = Normalize(Vec3{1, 1, 2});
  const Col zenith{52, 102, 186}, horizon{184, 208, 232}, below{112, 132, 150};
  double e = std::asin(std::clamp(w.z, -1.0, 1.0));
  Col c;
  if (e >= 0)
    c = Mix(horizon, zenith, std::pow(std::min(1.0, e / (M_PI / 2)), 0.45));
  else
    c = Mix(horizon, below, SmoothStep(0.0, 0.12, -e));
  // Clouds: noise on a flat cloud deck, thinning toward the horizon.
  if (w.z > 0.02) {
    double k = 1.0 / (w.z + 0.08);
    double cx = w.x * k * 1.6, cy = w.y * k * 1.6;
    double cover = Fractal2(cx + 40.0, cy + 40.0, 5, 77);
    double cloud = SmoothStep(0.56, 0.72, cover) * SmoothStep(0.02, 0.25, w.z);
    double shade = 0.82 + 0.18 * Fractal2(cx * 2.0 + 5.0, cy * 2.0 + 9.0, 3, 78);
    c = Mix(c, Scale(Col{250, 250, 252}, shade), cloud * 0.9);
  }
  // The sun: a bright disc and a warm glow around it.
  double a = std::acos(std::clamp(Dot(w, sun), -1.0, 1.0));
  c = Mix(c, Col{255, 244, 214}, 0.55 * std::exp(-a * 6.0));
  if (a < 0.03) c = Mix(Col{255, 252, 236}, c, SmoothStep(0.02, 0.03, a));
  return c;
}

}  // namespace

CubeMap PaintSkyCube() {
  CubeMap cube;
  cube.size = 256;
  const int n = cube.size;
  for (int f = 0; f < 6; ++f) {
    cube.faces[f] = Bitmap(n, n, 4);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        double sc = 2.0 * (i + 0.5) / n - 1.0, tc = 2.0 * (j + 0.5) / n - 1.0;
        Vec3 l;  // lookup direction, Direct3D cube face layout
        switch (f) {
          case 0: l = {1, -tc, -sc}; break;
          case 1: l = {-1, -tc, sc}; break;
          case 2: l = {sc, 1, tc}; break;
          case 3: l = {sc, -1, -tc}; break;
          case 4: l = {sc, -tc, 1}; break;
          default: l = {-sc, -tc, -1}; break;
        }
        // The sky shader looks up with the world direction's (x, z, y):
        // the cube's +Y face is the zenith.
        Vec3 w = Normalize(Vec3{l.x, l.z, l.y});
        Put(cube.faces[f], i, j, SkyColour(w), 255);
      }
  }
  return cube;
}

}  // namespace content
