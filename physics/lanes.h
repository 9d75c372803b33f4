// Vector lanes for the physics' inner loops. Each lane does the very
// arithmetic of the scalar formula, operation for operation: element-wise IEEE
// operations, never contracted (the build has -ffp-contract=off), so lanes
// give the bits the one-at-a-time code gives. Two lanes run on every x86-64
// (SSE2) and ARM64 processor; four where the processor has AVX2, through
// functions built for it (TARN_FOUR_LANES) and chosen at run time.
#pragma once
#include <cstdint>
#include <cstring>

typedef double Lanes2 __attribute__((vector_size(16)));
typedef int64_t Mask2 __attribute__((vector_size(16)));
// The alignment is spelled out: without AVX the compiler would give these
// types 16 while the functions built for AVX2 assume 32.
typedef double Lanes4 __attribute__((vector_size(32), aligned(32)));
typedef int64_t Mask4 __attribute__((vector_size(32), aligned(32)));

// Lanes the physics may use: 4 (the default) or 2. Four are used only where
// the processor has AVX2. Both widths give the same bits; tests compare them.
extern uint32_t PhysicsLaneWidth;
// Whether PhysicsLaneWidth asks for four lanes and the processor has them.
bool UseFourLanes();

#if defined(__x86_64__) && defined(__GNUC__)
#define TARN_FOUR_LANES __attribute__((target("avx2")))
#else
#define TARN_FOUR_LANES
#endif

// The helpers are always inlined into their callers, built for two or four
// lanes: the calling convention for 32-byte vectors that GCC notes under
// -Wpsabi never applies (the physics builds with -Wno-psabi).
#define TARN_LANE_INLINE inline __attribute__((always_inline))

namespace lanes {

template <class V>
TARN_LANE_INLINE V Load(const double* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class V>
TARN_LANE_INLINE void Store(double* p, V v) {
  std::memcpy(p, &v, sizeof v);
}
template <class V>
TARN_LANE_INLINE V Splat(double x) {
  V v;
  for (size_t k = 0; k < sizeof v / sizeof x; k++) v[k] = x;
  return v;
}
template <class V, class M>
TARN_LANE_INLINE V Abs(V x) {
  return (V)((M)x & 0x7FFFFFFFFFFFFFFF);
}

}  // namespace lanes
