#include "content/random.h"

#include <cmath>

namespace content {
namespace {

uint32_t Mix(uint32_t h) {
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return h;
}

double Smooth(double t) { return t * t * (3.0 - 2.0 * t); }
double Lerp(double a, double b, double t) { return a + (b - a) * t; }

}  // namespace

double Hash2(int32_t x, int32_t y, uint32_t seed) {
  uint32_t h = Mix(uint32_t(x) * 0x8DA6B343u ^ Mix(uint32_t(y) * 0xD8163841u ^ seed));
  return double(h >> 8) * (1.0 / 16777216.0);
}

double Hash3(int32_t x, int32_t y, int32_t z, uint32_t seed) {
  uint32_t h = Mix(uint32_t(x) * 0x8DA6B343u ^
                   Mix(uint32_t(y) * 0xD8163841u ^ Mix(uint32_t(z) * 0xCB1AB31Fu ^ seed)));
  return double(h >> 8) * (1.0 / 16777216.0);
}

double ValueNoise2(double x, double y, uint32_t seed) {
  double fx = std::floor(x), fy = std::floor(y);
  int32_t ix = int32_t(fx), iy = int32_t(fy);
  double tx = Smooth(x - fx), ty = Smooth(y - fy);
  double a = Hash2(ix, iy, seed), b = Hash2(ix + 1, iy, seed);
  double c = Hash2(ix, iy + 1, seed), d = Hash2(ix + 1, iy + 1, seed);
  return Lerp(Lerp(a, b, tx), Lerp(c, d, tx), ty);
}

double ValueNoise3(double x, double y, double z, uint32_t seed) {
  double fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
  int32_t ix = int32_t(fx), iy = int32_t(fy), iz = int32_t(fz);
  double tx = Smooth(x - fx), ty = Smooth(y - fy), tz = Smooth(z - fz);
  double v[2];
  for (int k = 0; k < 2; ++k) {
    double a = Hash3(ix, iy, iz + k, seed), b = Hash3(ix + 1, iy, iz + k, seed);
    double c = Hash3(ix, iy + 1, iz + k, seed), d = Hash3(ix + 1, iy + 1, iz + k, seed);
    v[k] = Lerp(Lerp(a, b, tx), Lerp(c, d, tx), ty);
  }
  return Lerp(v[0], v[1], tz);
}

double Fractal2(double x, double y, int octaves, uint32_t seed) {
  double sum = 0, amp = 0.5, norm = 0;
  for (int i = 0; i < octaves; ++i) {
    sum += amp * ValueNoise2(x, y, seed + uint32_t(i) * 101u);
    norm += amp;
    x *= 2.0;
    y *= 2.0;
    amp *= 0.5;
  }
  return sum / norm;
}

double Fractal3(double x, double y, double z, int octaves, uint32_t seed) {
  double sum = 0, amp = 0.5, norm = 0;
  for (int i = 0; i < octaves; ++i) {
    sum += amp * ValueNoise3(x, y, z, seed + uint32_t(i) * 101u);
    norm += amp;
    x *= 2.0;
    y *= 2.0;
    z *= 2.0;
    amp *= 0.5;
  }
  return sum / norm;
}

}  // namespace content
