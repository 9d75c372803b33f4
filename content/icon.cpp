// The program's icon: the aircraft under its balloon, seen from ahead and to
// the left, drawn from the same model and body texture the simulator loads by
// a small z-buffered rasteriser (four samples a side per pixel, flat faces
// lit by one light), on a transparent ground.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "content/builders.h"

namespace content {
namespace {

struct Colour {
  double r, g, b;
};

// The flat colours the aircraft drawing gives its untextured materials.
bool MaterialColour(uint32_t material, Colour& c) {
  switch (material) {
    case 1: c = {90, 84, 78}; return true;     // cockpit
    case 2: c = {170, 205, 230}; return true;  // canopy glass
    case 3: c = {36, 25, 22}; return true;     // keel
    case 4: c = {255, 190, 224}; return true;  // strap bands
    case 5: c = {64, 64, 64}; return true;     // spars
    case 6: c = {255, 172, 0}; return true;    // wing tips
    case 7: c = {200, 100, 25}; return true;   // trailing edges
    case 8: c = {64, 140, 225}; return true;   // nose
    default: return false;                     // from the body texture
  }
}

// The pieces a viewer sees; hinge proxies, mass and camera helpers and the
// marker nodes are not drawn.
bool Drawn(const std::string& name) {
  for (const char* hidden : {"Proxy", "CameraPoint", "Ballast", "Point", "_point", "_axis"})
    if (name.find(hidden) != std::string::npos) return false;
  return true;
}

struct Sample {
  double depth = -1e30;  // larger is nearer
  Colour colour{0, 0, 0};
  bool covered = false;
};

}  // namespace

Bitmap PaintIcon(int size) {
  const ModelFile plane = BuildPlaneModel();
  const Bitmap body = PaintBodyTexture();
  const int ss = 4, n = size * ss;

  // Orthographic view from ahead (+Y), to the left (-X) and above; Z is up.
  const Vec3 toEye = Normalize(Vec3{-0.9, 1.2, 0.45});
  const Vec3 right = Normalize(Cross(Vec3{0, 0, 1}, toEye));
  const Vec3 up = Cross(toEye, right);
  const Vec3 light = Normalize(Vec3{-0.4, 0.6, 0.8});

  double minX = 1e30, maxX = -1e30, minY = 1e30, maxY = -1e30;
  for (const MeshNode& node : plane.nodes) {
    if (!Drawn(node.name) || node.faces.empty()) continue;
    for (const Vec3& p : node.vertices) {
      minX = std::min(minX, Dot(p, right)), maxX = std::max(maxX, Dot(p, right));
      minY = std::min(minY, Dot(p, up)), maxY = std::max(maxY, Dot(p, up));
    }
  }
  const double span = std::max(maxX - minX, maxY - minY);
  const double scale = n * 0.94 / span;
  const double cx = (minX + maxX) / 2, cy = (minY + maxY) / 2;
  auto project = [&](const Vec3& p, double& x, double& y, double& z) {
    x = n / 2.0 + (Dot(p, right) - cx) * scale;
    y = n / 2.0 - (Dot(p, up) - cy) * scale;
    z = Dot(p, toEye);
  };

  std::vector<Sample> samples(size_t(n) * n);
  for (const MeshNode& node : plane.nodes) {
    if (!Drawn(node.name)) continue;
    for (const Face& f : node.faces) {
      const Vec3 &a = node.vertices[f.corner[0]], &b = node.vertices[f.corner[1]], &c = node.vertices[f.corner[2]];
      Vec3 normal = Normalize(Cross(b - a, c - a));
      if (Dot(normal, toEye) < 0) normal = normal * -1.0;  // thin panels show both sides
      const double shade = 0.4 + 0.6 * std::max(0.0, Dot(normal, light));
      Colour flat{0, 0, 0};
      const bool textured = !MaterialColour(f.material, flat);
      double x[3], y[3], z[3];
      project(a, x[0], y[0], z[0]);
      project(b, x[1], y[1], z[1]);
      project(c, x[2], y[2], z[2]);
      const double area = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
      if (std::fabs(area) < 1e-12) continue;
      const int x0 = std::max(0, int(std::floor(std::min({x[0], x[1], x[2]})))),
                x1 = std::min(n - 1, int(std::ceil(std::max({x[0], x[1], x[2]})))),
                y0 = std::max(0, int(std::floor(std::min({y[0], y[1], y[2]})))),
                y1 = std::min(n - 1, int(std::ceil(std::max({y[0], y[1], y[2]}))));
      for (int py = y0; py <= y1; py++) {
        for (int px = x0; px <= x1; px++) {
          const double sx = px + 0.5, sy = py + 0.5;
          double w[3];
          for (int k = 0; k < 3; k++) {
            const int i = (k + 1) % 3, j = (k + 2) % 3;
            w[k] = ((x[j] - x[i]) * (sy - y[i]) - (sx - x[i]) * (y[j] - y[i])) / area;
          }
          if (w[0] < 0 || w[1] < 0 || w[2] < 0) continue;
          const double depth = w[0] * z[0] + w[1] * z[1] + w[2] * z[2];
          Sample& s = samples[size_t(py) * n + px];
          if (s.covered && depth <= s.depth) continue;
          Colour base = flat;
          if (textured) {
            const double u = w[0] * f.tex0[0].u + w[1] * f.tex0[1].u + w[2] * f.tex0[2].u;
            const double v = w[0] * f.tex0[0].v + w[1] * f.tex0[1].v + w[2] * f.tex0[2].v;
            const int tx = std::clamp(int(u * body.width), 0, body.width - 1);
            const int ty = std::clamp(int(v * body.height), 0, body.height - 1);
            const uint8_t* t = &body.pixels[(size_t(ty) * body.width + tx) * body.channels];
            base = {double(t[0]), double(t[1]), double(t[2])};
          }
          s = {depth, {base.r * shade, base.g * shade, base.b * shade}, true};
        }
      }
    }
  }

  // Each pixel averages its samples; uncovered ones are transparent.
  Bitmap icon(size, size, 4);
  for (int y = 0; y < size; y++) {
    for (int x = 0; x < size; x++) {
      double r = 0, g = 0, b = 0, covered = 0;
      for (int j = 0; j < ss; j++) {
        for (int i = 0; i < ss; i++) {
          const Sample& s = samples[size_t(y * ss + j) * n + (x * ss + i)];
          if (!s.covered) continue;
          r += s.colour.r, g += s.colour.g, b += s.colour.b, covered += 1;
        }
      }
      uint8_t* p = icon.At(x, y);
      if (covered == 0) continue;
      p[0] = uint8_t(std::lround(std::min(255.0, r / covered)));
      p[1] = uint8_t(std::lround(std::min(255.0, g / covered)));
      p[2] = uint8_t(std::lround(std::min(255.0, b / covered)));
      p[3] = uint8_t(std::lround(255.0 * covered / (ss * ss)));
    }
  }
  return icon;
}

}  // namespace content
