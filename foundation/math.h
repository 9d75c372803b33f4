// Double-precision value types of all simulation and drawing arithmetic.
// Row vectors throughout: world = local * M + position. World +Z is up.
// The formulas keep a fixed order of operations: results feed a deterministic
// simulation, so do not "simplify" them. The operations of the physics
// inner loops are defined here, inline: calls to them dominated a world step.
#pragma once
#include <cmath>
#include <cstdint>

struct Vec3 {
  double x, y, z;
};
struct Quat {  // Hamilton quaternion, scalar last; identity (0, 0, 0, 1)
  double x, y, z, w;
};
struct Mat3 {  // row-major; a rotation's rows are the rotated frame's axes in world
  double m[9];
};
struct Mat4 {  // row-major, row vectors, translation in elements 12..14
  double m[16];
};
struct Box {  // local bounds of a mesh with the world-space hull around them
  Vec3 localMin, localMax;
  Quat orientation;
  Vec3 worldMin, worldMax;
  bool empty;
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(const Vec3& a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator*(const Vec3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(double s, const Vec3& a) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator/(const Vec3& a, double s) { return {a.x / s, a.y / s, a.z / s}; }
inline Vec3& operator+=(Vec3& a, const Vec3& b) { a.x += b.x; a.y += b.y; a.z += b.z; return a; }
inline Vec3& operator-=(Vec3& a, const Vec3& b) { a.x -= b.x; a.y -= b.y; a.z -= b.z; return a; }
inline Vec3& operator*=(Vec3& a, double s) { a.x *= s; a.y *= s; a.z *= s; return a; }
inline double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double LengthSq(const Vec3& a) { return a.x * a.x + a.y * a.y + a.z * a.z; }
inline double Length(const Vec3& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

// v / |v|; exactly (0, 0, 1) when |v|^2 is 0.
inline Vec3 Normalize(const Vec3& v) {
  double l2 = v.x * v.x + v.y * v.y + v.z * v.z;
  if (l2 == 0.0) return {0.0, 0.0, 1.0};
  double l = std::sqrt(l2);
  return {v.x / l, v.y / l, v.z / l};
}

inline Quat QuatMul(const Quat& a, const Quat& b) {
  Quat r;
  r.x = a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y;
  r.y = a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z;
  r.z = a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x;
  r.w = a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z;
  return r;
}

// radians
inline Quat QuatFromAxisAngle(const Vec3& axis, double angle) {
  Vec3 n = Normalize(axis);
  double s = std::sin(angle / 2.0);
  return {n.x * s, n.y * s, n.z * s, std::cos(angle / 2.0)};
}

inline Quat QuatInverse(const Quat& q) {
  double d = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
  return {-q.x / d, -q.y / d, -q.z / d, q.w / d};
}

// R(q), the column-vector rotation of a unit quaternion, row by row.
inline void QuatRotationRows(const Quat& q, double r[9]) {
  const double x = q.x, y = q.y, z = q.z, w = q.w;
  r[0] = 1.0 - 2.0 * y * y - 2.0 * z * z;
  r[1] = 2.0 * x * y - 2.0 * z * w;
  r[2] = 2.0 * x * z + 2.0 * y * w;
  r[3] = 2.0 * x * y + 2.0 * z * w;
  r[4] = 1.0 - 2.0 * x * x - 2.0 * z * z;
  r[5] = 2.0 * y * z - 2.0 * x * w;
  r[6] = 2.0 * x * z - 2.0 * y * w;
  r[7] = 2.0 * y * z + 2.0 * x * w;
  r[8] = 1.0 - 2.0 * x * x - 2.0 * y * y;
}

// R(q) v, column-vector rotation
inline Vec3 Rotate(const Quat& q, const Vec3& v) {
  double r[9];
  QuatRotationRows(q, r);
  return {r[0] * v.x + r[1] * v.y + r[2] * v.z,
          r[3] * v.x + r[4] * v.y + r[5] * v.z,
          r[6] * v.x + r[7] * v.y + r[8] * v.z};
}

inline void Rotate(const Quat& q, Vec3& v) { v = Rotate(q, static_cast<const Vec3&>(v)); }  // in place
Vec3 QuatToRotationVector(const Quat& q);   // axis * angle (radians)

// R(q) transposed: rows are rotated axes
inline Mat3 QuatToMat3(const Quat& q) {
  double r[9];
  QuatRotationRows(q, r);
  return {{r[0], r[3], r[6], r[1], r[4], r[7], r[2], r[5], r[8]}};
}
Mat4 QuatToMat4(const Quat& q);

inline Mat3 Mat3Add(const Mat3& a, const Mat3& b) {
  Mat3 r;
  for (int i = 0; i < 9; i++) r.m[i] = a.m[i] + b.m[i];
  return r;
}

inline Mat3 Mat3Mul(const Mat3& a, const Mat3& b) {
  Mat3 r;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++)
      r.m[i * 3 + j] = a.m[i * 3 + 0] * b.m[0 + j] + a.m[i * 3 + 1] * b.m[3 + j] + a.m[i * 3 + 2] * b.m[6 + j];
  return r;
}

inline Mat3 Mat3Transpose(const Mat3& a) {
  return {{a.m[0], a.m[3], a.m[6], a.m[1], a.m[4], a.m[7], a.m[2], a.m[5], a.m[8]}};
}

// no singularity test
inline Mat3 Mat3Inverse(const Mat3& a) {
  const double* m = a.m;
  // Cofactors of the first row give the determinant.
  double c00 = m[4] * m[8] - m[5] * m[7];
  double c01 = m[5] * m[6] - m[3] * m[8];
  double c02 = m[3] * m[7] - m[4] * m[6];
  double det = m[0] * c00 + m[1] * c01 + m[2] * c02;
  Mat3 r;
  r.m[0] = c00 / det;
  r.m[1] = (m[2] * m[7] - m[1] * m[8]) / det;
  r.m[2] = (m[1] * m[5] - m[2] * m[4]) / det;
  r.m[3] = c01 / det;
  r.m[4] = (m[0] * m[8] - m[2] * m[6]) / det;
  r.m[5] = (m[2] * m[3] - m[0] * m[5]) / det;
  r.m[6] = c02 / det;
  r.m[7] = (m[1] * m[6] - m[0] * m[7]) / det;
  r.m[8] = (m[0] * m[4] - m[1] * m[3]) / det;
  return r;
}

inline Vec3 VecMulMat3(const Vec3& v, const Mat3& a) {
  return {v.x * a.m[0] + v.y * a.m[3] + v.z * a.m[6],
          v.x * a.m[1] + v.y * a.m[4] + v.z * a.m[7],
          v.x * a.m[2] + v.y * a.m[5] + v.z * a.m[8]};
}

Mat4 Mat4Identity();
Mat4 Mat4Mul(const Mat4& a, const Mat4& b);
Mat4 Mat4FromPose(const Vec3& p, const Quat& q);  // rotate, then translate by p
Mat4 Mat4RotateAboutPoint(const Vec3& p, const Vec3& axis, double angle);
Mat4 Mat4Inverse(const Mat4& a);

// Four hexadecimal digit characters to four floats in 0..1 (digit / 15).
void HexColour(char c1, char c2, char c3, char c4, float out[4]);

// Grows the bounds [lo, hi] to take in p; a NaN coordinate never widens them.
inline void ExtendBounds(Vec3& lo, Vec3& hi, const Vec3& p) {
  if (p.x < lo.x) lo.x = p.x;
  if (p.y < lo.y) lo.y = p.y;
  if (p.z < lo.z) lo.z = p.z;
  if (p.x > hi.x) hi.x = p.x;
  if (p.y > hi.y) hi.y = p.y;
  if (p.z > hi.z) hi.z = p.z;
}

void BoxReset(Box& box);
void BoxExtend(Box& box, const Vec3& p);
void BoxExtend(Box& box, float x, float y, float z);
void BoxPlace(Box& box, const Vec3& p, const Quat& q);

double RandomRange(double a, double b);  // uses the C library's rand()
// bounds in either order
inline double Clamp(double x, double a, double b) {
  double lo = a < b ? a : b;
  double hi = a < b ? b : a;
  if (x < lo) return lo;
  if (x > hi) return hi;
  return x;
}
// +1 above float epsilon, 0 at it, -1 otherwise
inline double SignAbove(double x) {
  const double epsilon = 1.1920928955078125e-07;
  if (x > epsilon) return 1.0;
  if (x == epsilon) return 0.0;
  return -1.0;
}
void Approach(double& value, double target, double step);
