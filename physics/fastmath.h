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

// Clamp(x, a, b): bounds in either order
inline double Clamp(double x, double a, double b) {
  double lo = a < b ? a : b;
  double hi = a < b ? b : a;
  if (x < lo) return lo;
  if (x > hi) return hi;
  return x;
}
// SignAbove(x): +1 above the float epsilon, 0 at it, -1 otherwise
inline double SignAbove(double x) {
  const double epsilon = 1.1920928955078125e-07;
  if (x > epsilon) return 1.0;
  if (x == epsilon) return 0.0;
  return -1.0;
}
// Mat3Inverse(Mat3Add(a, b))
inline Mat3 InverseOfSum(const Mat3& a, const Mat3& b) {
  double m[9];
  for (int i = 0; i < 9; i++) m[i] = a.m[i] + b.m[i];
  double c00 = m[4] * m[8] - m[5] * m[7];
  double c01 = m[5] * m[6] - m[3] * m[8];
  double c02 = m[3] * m[7] - m[4] * m[6];
  double det = m[0] * c00 + m[1] * c01 + m[2] * c02;
  return {{c00 / det, (m[2] * m[7] - m[1] * m[8]) / det, (m[1] * m[5] - m[2] * m[4]) / det,
           c01 / det, (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
           c02 / det, (m[1] * m[6] - m[0] * m[7]) / det, (m[0] * m[4] - m[1] * m[3]) / det}};
}

}  // namespace fast
