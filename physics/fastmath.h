// Inline copies of the foundation operations the inner loops use, with the
// very same arithmetic in the same order (so results are bit-identical; a
// test compares them). The foundation versions are out of line, and the
// call overhead dominated the world step.
#pragma once
#include <cmath>

#include "foundation/math.h"

namespace fast {

// VecMulMat3(v, a)
inline Vec3 Mul(const Vec3& v, const Mat3& a) {
  return {v.x * a.m[0] + v.y * a.m[3] + v.z * a.m[6],
          v.x * a.m[1] + v.y * a.m[4] + v.z * a.m[7],
          v.x * a.m[2] + v.y * a.m[5] + v.z * a.m[8]};
}
// VecMulMat3(v, Mat3Transpose(a))
inline Vec3 MulTransposed(const Vec3& v, const Mat3& a) {
  return {v.x * a.m[0] + v.y * a.m[1] + v.z * a.m[2],
          v.x * a.m[3] + v.y * a.m[4] + v.z * a.m[5],
          v.x * a.m[6] + v.y * a.m[7] + v.z * a.m[8]};
}
// Length(a)
inline double Length(const Vec3& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
// Normalize(v)
inline Vec3 Normalize(const Vec3& v) {
  double l2 = v.x * v.x + v.y * v.y + v.z * v.z;
  if (l2 == 0.0) return {0.0, 0.0, 1.0};
  double l = std::sqrt(l2);
  return {v.x / l, v.y / l, v.z / l};
}

}  // namespace fast
