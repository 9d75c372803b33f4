#include "foundation/math.h"

#include <cmath>
#include <cstdlib>






namespace {

Mat4 Translation(const Vec3& p) {
  Mat4 t = Mat4Identity();
  t.m[12] = p.x;
  t.m[13] = p.y;
  t.m[14] = p.z;
  return t;
}
}  // namespace



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


Mat4 QuatToMat4(const Quat& q) {
  Mat3 a = QuatToMat3(q);
  return {{a.m[0], a.m[1], a.m[2], 0.0,
           a.m[3], a.m[4], a.m[5], 0.0,
           a.m[6], a.m[7], a.m[8], 0.0,
           0.0, 0.0, 0.0, 1.0}};
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
    ExtendBounds(box.localMin, box.localMax, p);
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
    ExtendBounds(lo, hi, r);
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



void Approach(double& value, double target, double step) {
  if (value < target) {
    value += step;
    if (value > target) value = target;
  } else if (value > target) {
    value -= step;
    if (value < target) value = target;
  }
}
