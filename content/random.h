// Deterministic randomness for content generation. The builder must write the
// same bytes on every build and machine, so nothing here touches rand() or
// any platform generator, and noise is built from integer hashing.
#pragma once
#include <cstdint>

namespace content {

// SplitMix64: small, fast and identical everywhere.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1).
  double Unit() { return double(Next() >> 11) * (1.0 / 9007199254740992.0); }
  double Range(double a, double b) { return a + (b - a) * Unit(); }

 private:
  uint64_t state_;
};

// Lattice hash in [0, 1) for integer coordinates and a seed.
double Hash2(int32_t x, int32_t y, uint32_t seed);
double Hash3(int32_t x, int32_t y, int32_t z, uint32_t seed);

// Smooth value noise in [0, 1), one lattice cell per unit.
double ValueNoise2(double x, double y, uint32_t seed);
double ValueNoise3(double x, double y, double z, uint32_t seed);
// Sum of octaves, each twice the frequency and half the amplitude; result in
// about [0, 1).
double Fractal2(double x, double y, int octaves, uint32_t seed);
double Fractal3(double x, double y, double z, int octaves, uint32_t seed);

}  // namespace content
