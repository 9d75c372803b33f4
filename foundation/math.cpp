#include "foundation/math.h"

#include <cmath>
#include <cstdlib>

double Length(const Vec3& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

Vec3 Normalize(const Vec3& v) {
  double l2 = v.x * v.x + v.y * v.y + v.z * v.z;
  if (l2 == 0.0) return {0.0, 0.0, 1.0};
  double l = std::sqrt(l2);
  return {v.x / l, v.y / l, v.z / l};
}

Quat QuatMul(const Quat& a, const Quat& b) {
  Quat r;
  r.x = a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y;
  r.y = a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z;
  r.z = a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x;
  r.w = a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z;
  return r;
}

Quat QuatFromAxisAngle(const Vec3& axis, double angle) {
  Vec3 n = Normalize(axis);
  double s = std::sin(angle / 2.0);
  return {n.x * s, n.y * s, n.z * s, std::cos(angle / 2.0)};
}

Quat QuatInverse(const Quat& q) {
  double d = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
  return {-q.x / d, -q.y / d, -q.z / d, q.w / d};
}

namespace {
// R(q), the column-vector rotation of a unit quaternion, row by row.
void RotationRows(const Quat& q, double r[9]) {
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

Mat4 Translation(const Vec3& p) {
  Mat4 t = Mat4Identity();
  t.m[12] = p.x;
  t.m[13] = p.y;
  t.m[14] = p.z;
  return t;
}
}  // namespace

Vec3 Rotate(const Quat& q, const Vec3& v) {
  double r[9];
  RotationRows(q, r);
  return {r[0] * v.x + r[1] * v.y + r[2] * v.z,
          r[3] * v.x + r[4] * v.y + r[5] * v.z,
          r[6] * v.x + r[7] * v.y + r[8] * v.z};
}

void Rotate(const Quat& q, Vec3& v) { v = Rotate(q, static_cast<const Vec3&>(v)); }

Vec3 QuatToRotationVector(const Quat& q) {
  double s = std::sqrt(1.0 - q.w * q.w);
  // |w| a rounding step above 1 makes s NaN: that is no rotation either.
  if (!(s >= 2.220446049250313e-16)) return {0.0, 0.0, 0.0};
  double w = q.w;
  if (w > 1.0) w = 1.0;
  if (w < -1.0) w = -1.0;
  double angle = 2.0 * std::acos(w);
  return {q.x / s * angle, q.y / s * angle, q.z / s * angle};
}

Mat3 QuatToMat3(const Quat& q) {
  double r[9];
  RotationRows(q, r);
  return {{r[0], r[3], r[6], r[1], r[4], r[7], r[2], r[5], r[8]}};
}

Mat4 QuatToMat4(const Quat& q) {
  Mat3 a = QuatToMat3(q);
  return {{a.m[0], a.m[1], a.m[2], 0.0,
           a.m[3], a.m[4], a.m[5], 0.0,
           a.m[6], a.m[7], a.m[8], 0.0,
           0.0, 0.0, 0.0, 1.0}};
}

Mat3 Mat3Add(const Mat3& a, const Mat3& b) {
  Mat3 r;
  for (int i = 0; i < 9; i++) r.m[i] = a.m[i] + b.m[i];
  return r;
}

Mat3 Mat3Mul(const Mat3& a, const Mat3& b) {
  Mat3 r;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++)
      r.m[i * 3 + j] = a.m[i * 3 + 0] * b.m[0 + j] + a.m[i * 3 + 1] * b.m[3 + j] + a.m[i * 3 + 2] * b.m[6 + j];
  return r;
}

Mat3 Mat3Transpose(const Mat3& a) {
  return {{a.m[0], a.m[3], a.m[6], a.m[1], a.m[4], a.m[7], a.m[2], a.m[5], a.m[8]}};
}

Mat3 Mat3Inverse(const Mat3& a) {
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

Vec3 VecMulMat3(const Vec3& v, const Mat3& a) {
  return {v.x * a.m[0] + v.y * a.m[3] + v.z * a.m[6],
          v.x * a.m[1] + v.y * a.m[4] + v.z * a.m[7],
          v.x * a.m[2] + v.y * a.m[5] + v.z * a.m[8]};
}

Mat4 Mat4Identity() {
  return {{1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0}};
}

Mat4 Mat4Mul(const Mat4& a, const Mat4& b) {
  Mat4 r;
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++)
      r.m[i * 4 + j] = a.m[i * 4 + 0] * b.m[0 + j] + a.m[i * 4 + 1] * b.m[4 + j] +
                       a.m[i * 4 + 2] * b.m[8 + j] + a.m[i * 4 + 3] * b.m[12 + j];
  return r;
}

Mat4 Mat4FromPose(const Vec3& p, const Quat& q) { return Mat4Mul(QuatToMat4(q), Translation(p)); }

Mat4 Mat4RotateAboutPoint(const Vec3& p, const Vec3& axis, double angle) {
  Mat4 r = Mat4Mul(Translation(-p), QuatToMat4(QuatFromAxisAngle(axis, angle)));
  return Mat4Mul(r, Translation(p));
}

Mat4 Mat4Inverse(const Mat4& a) {
  const double* m = a.m;
  double inv[16];
  // Each entry is the cofactor of the transposed position (the adjugate).
  inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] +
           m[9] * m[7] * m[14] + m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
  inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] -
           m[8] * m[7] * m[14] - m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
  inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] +
           m[8] * m[7] * m[13] + m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
  inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] -
            m[8] * m[6] * m[13] - m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
  inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] -
           m[9] * m[3] * m[14] - m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
  inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] +
           m[8] * m[3] * m[14] + m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
  inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] -
           m[8] * m[3] * m[13] - m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
  inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] +
            m[8] * m[2] * m[13] + m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
  inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] +
           m[5] * m[3] * m[14] + m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
  inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] -
           m[4] * m[3] * m[14] - m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
  inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] +
            m[4] * m[3] * m[13] + m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
  inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] -
            m[4] * m[2] * m[13] - m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
  inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] -
           m[5] * m[3] * m[10] - m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
  inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] +
           m[4] * m[3] * m[10] + m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
  inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] -
            m[4] * m[3] * m[9] - m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
  inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] +
            m[4] * m[2] * m[9] + m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
  double det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
  Mat4 r;
  for (int i = 0; i < 16; i++) r.m[i] = inv[i] / det;
  return r;
}

namespace {
float HexDigit(char c) {
  int code = static_cast<unsigned char>(c);
  int value = code <= 64 ? code - 48 : code - 55;
  return float(value / 15.0);
}
}  // namespace

void HexColour(char c1, char c2, char c3, char c4, float out[4]) {
  out[0] = HexDigit(c1);
  out[1] = HexDigit(c2);
  out[2] = HexDigit(c3);
  out[3] = HexDigit(c4);
}

void BoxReset(Box& box) {
  box.localMin = {0.0, 0.0, 0.0};
  box.localMax = {0.0, 0.0, 0.0};
  box.orientation = {0.0, 0.0, 0.0, 1.0};
  box.worldMin = {0.0, 0.0, 0.0};
  box.worldMax = {0.0, 0.0, 0.0};
  box.empty = true;
}

void BoxExtend(Box& box, const Vec3& p) {
  if (box.empty) {
    box.localMin = p;
    box.localMax = p;
    box.empty = false;
  } else {
    if (p.x < box.localMin.x) box.localMin.x = p.x;
    if (p.y < box.localMin.y) box.localMin.y = p.y;
    if (p.z < box.localMin.z) box.localMin.z = p.z;
    if (p.x > box.localMax.x) box.localMax.x = p.x;
    if (p.y > box.localMax.y) box.localMax.y = p.y;
    if (p.z > box.localMax.z) box.localMax.z = p.z;
  }
  box.worldMin = box.localMin;
  box.worldMax = box.localMax;
}

void BoxExtend(Box& box, float x, float y, float z) { BoxExtend(box, Vec3{x, y, z}); }

void BoxPlace(Box& box, const Vec3& p, const Quat& q) {
  box.orientation = q;
  const Vec3& a = box.localMin;
  const Vec3& b = box.localMax;
  Vec3 lo{0.0, 0.0, 0.0}, hi{0.0, 0.0, 0.0};
  for (int i = 0; i < 8; i++) {
    const Vec3 corner{(i & 1) ? b.x : a.x, (i & 2) ? b.y : a.y, (i & 4) ? b.z : a.z};
    Vec3 r = Rotate(q, corner);
    if (i == 0) {
      lo = r;
      hi = r;
      continue;
    }
    if (r.x < lo.x) lo.x = r.x;
    if (r.y < lo.y) lo.y = r.y;
    if (r.z < lo.z) lo.z = r.z;
    if (r.x > hi.x) hi.x = r.x;
    if (r.y > hi.y) hi.y = r.y;
    if (r.z > hi.z) hi.z = r.z;
  }
  box.worldMin = lo + p;
  box.worldMax = hi + p;
}

double RandomRange(double a, double b) {
  // The generator this design was tuned with yields 0..32767; wider
  // generators are cut to their low fifteen bits to keep that range.
  int r = std::rand() & 0x7FFF;
  return a + (b - a) * r / 32767.0;
}

double Clamp(double x, double a, double b) {
  double lo = a < b ? a : b;
  double hi = a < b ? b : a;
  if (x < lo) return lo;
  if (x > hi) return hi;
  return x;
}

double SignAbove(double x) {
  const double epsilon = 1.1920928955078125e-07;
  if (x > epsilon) return 1.0;
  if (x == epsilon) return 0.0;
  return -1.0;
}

void Approach(double& value, double target, double step) {
  if (value < target) {
    value += step;
    if (value > target) value = target;
  } else if (value > target) {
    value -= step;
    if (value < target) value = target;
  }
}
