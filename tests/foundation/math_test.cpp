#include "foundation/math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

const double kPi = 3.14159265358979323846;

void ExpectVecNear(const Vec3& a, const Vec3& b, double tol = 1e-12) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

// The by-value rotation (a non-const lvalue argument would pick the in-place one).
Vec3 Rot(const Quat& q, const Vec3& v) { return Rotate(q, v); }

// A point through a row-vector pose matrix (translation in the last row).
Vec3 Apply(const Mat4& m, const Vec3& v) {
  return {v.x * m.m[0] + v.y * m.m[4] + v.z * m.m[8] + m.m[12], v.x * m.m[1] + v.y * m.m[5] + v.z * m.m[9] + m.m[13],
          v.x * m.m[2] + v.y * m.m[6] + v.z * m.m[10] + m.m[14]};
}

Quat RandomUnitQuat() {
  Quat q{RandomRange(-1, 1), RandomRange(-1, 1), RandomRange(-1, 1), RandomRange(-1, 1)};
  double l = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  return {q.x / l, q.y / l, q.z / l, q.w / l};
}

TEST(Math, NormalizeZeroGivesUpAxis) {
  Vec3 n = Normalize({0, 0, 0});
  EXPECT_EQ(n.x, 0.0);
  EXPECT_EQ(n.y, 0.0);
  EXPECT_EQ(n.z, 1.0);
  Quat q = QuatFromAxisAngle({0, 0, 0}, kPi / 2);
  EXPECT_EQ(q.x, 0.0);
  EXPECT_EQ(q.y, 0.0);
  EXPECT_NEAR(q.z, std::sin(kPi / 4), 1e-15);
  EXPECT_NEAR(q.w, std::cos(kPi / 4), 1e-15);
  ExpectVecNear(Normalize({3, 0, 4}), {0.6, 0, 0.8}, 1e-15);
  // A tiny but non-zero vector still normalises instead of snapping to +Z.
  ExpectVecNear(Normalize({1e-100, 0, 0}), {1, 0, 0});
}

TEST(Math, QuatMulComposesRotations) {
  // Rotating by QuatMul(a, b) is rotating by b, then by a.
  std::srand(7);
  for (int n = 0; n < 50; n++) {
    Quat a = RandomUnitQuat(), b = RandomUnitQuat();
    Vec3 v{RandomRange(-5, 5), RandomRange(-5, 5), RandomRange(-5, 5)};
    ExpectVecNear(Rot(QuatMul(a, b), v), Rot(a, Rot(b, v)), 1e-12);
  }
}

TEST(Math, InverseUndoesRotationAndScalesByNorm) {
  std::srand(11);
  for (int n = 0; n < 50; n++) {
    Quat q = RandomUnitQuat();
    Vec3 v{RandomRange(-5, 5), RandomRange(-5, 5), RandomRange(-5, 5)};
    ExpectVecNear(Rot(QuatInverse(q), Rot(q, v)), v, 1e-12);
  }
  Quat q{0, 0, 0, 2};  // not unit: the inverse divides by the squared norm
  EXPECT_EQ(QuatInverse(q).w, 0.5);
  Quat p = QuatInverse({1, 2, 3, 4});
  EXPECT_DOUBLE_EQ(p.x, -1.0 / 30);
  EXPECT_DOUBLE_EQ(p.w, 4.0 / 30);
}

TEST(Math, RotateateFollowsRightHandRule) {
  Quat q = QuatFromAxisAngle({0, 0, 1}, kPi / 2);
  ExpectVecNear(Rot(q, Vec3{1, 0, 0}), {0, 1, 0}, 1e-15);
  Vec3 v{0, 1, 0};
  Rotate(q, v);  // in place
  ExpectVecNear(v, {-1, 0, 0}, 1e-15);
}

TEST(Math, RotateateAgreesWithRowVectorMatrices) {
  std::srand(3);
  for (int n = 0; n < 50; n++) {
    Quat q = RandomUnitQuat();
    Vec3 v{RandomRange(-5, 5), RandomRange(-5, 5), RandomRange(-5, 5)};
    Vec3 byQuat = Rot(q, v);
    Vec3 byMat3 = VecMulMat3(v, QuatToMat3(q));
    EXPECT_EQ(byQuat.x, byMat3.x);
    EXPECT_EQ(byQuat.y, byMat3.y);
    EXPECT_EQ(byQuat.z, byMat3.z);
    Mat4 m4 = QuatToMat4(q);
    EXPECT_EQ(m4.m[5], QuatToMat3(q).m[4]);
    EXPECT_EQ(m4.m[12], 0.0);
    EXPECT_EQ(m4.m[15], 1.0);
  }
}

TEST(Math, RotationVectorIsAngleTimesAxis) {
  ExpectVecNear(QuatToRotationVector({0, 0, 0, 1}), {0, 0, 0}, 0);
  Vec3 axis = Normalize({1, -2, 0.5});
  for (double theta : {1e-3, 1.0, 3.0}) {
    Quat q{std::sin(theta / 2) * axis.x, std::sin(theta / 2) * axis.y, std::sin(theta / 2) * axis.z,
           std::cos(theta / 2)};
    ExpectVecNear(QuatToRotationVector(q), axis * theta, 1e-9);
  }
  // A w a hair above 1 (rounding) must not give NaN.
  Vec3 v = QuatToRotationVector({0, 0, 0, 1.0000000000000002});
  EXPECT_FALSE(std::isnan(v.x));
}

TEST(Math, Mat3Operations) {
  Mat3 a{{2, 1, 0, 0, 3, 1, 1, 0, 4}};
  Mat3 inv = Mat3Inverse(a);
  Mat3 id = Mat3Mul(a, inv);
  for (int i = 0; i < 9; i++) EXPECT_NEAR(id.m[i], (i % 4 == 0) ? 1.0 : 0.0, 1e-15) << i;
  Mat3 s = Mat3Add(a, Mat3Transpose(a));
  EXPECT_EQ(s.m[1], 1.0);
  EXPECT_EQ(s.m[2], 1.0);
  // Row vector times matrix: v * A picks rows.
  Vec3 r = VecMulMat3({0, 1, 0}, a);
  ExpectVecNear(r, {0, 3, 1}, 0);
  // The product's order: (A B) applied to a row vector is A first, then B.
  Mat3 b{{0, 1, 0, -1, 0, 0, 0, 0, 1}};
  Vec3 v{1, 2, 3};
  ExpectVecNear(VecMulMat3(v, Mat3Mul(a, b)), VecMulMat3(VecMulMat3(v, a), b), 1e-12);
}

TEST(Math, Mat4InverseAndPose) {
  std::srand(5);
  for (int n = 0; n < 20; n++) {
    Quat q = RandomUnitQuat();
    Vec3 p{RandomRange(-100, 100), RandomRange(-100, 100), RandomRange(-100, 100)};
    Mat4 m = Mat4FromPose(p, q);
    // A local point goes to world as R-rotated plus p.
    ExpectVecNear(Apply(m, {1, 2, 3}), Rot(q, Vec3{1, 2, 3}) + p, 1e-12);
    EXPECT_EQ(m.m[3] + 2 * m.m[7] + 3 * m.m[11] + m.m[15], 1.0);  // w stays 1
    Mat4 id = Mat4Mul(Mat4Inverse(m), m);
    for (int i = 0; i < 16; i++) EXPECT_NEAR(id.m[i], (i % 5 == 0) ? 1.0 : 0.0, 1e-12) << i;
  }
  Mat4 general{{2, 0, 1, 0, 1, 3, 0, 2, 0, 1, 4, 0, 1, 0, 0, 1}};
  Mat4 id = Mat4Mul(general, Mat4Inverse(general));
  for (int i = 0; i < 16; i++) EXPECT_NEAR(id.m[i], (i % 5 == 0) ? 1.0 : 0.0, 1e-14) << i;
}

TEST(Math, RotateateAboutPointKeepsThePointFixed) {
  Vec3 p{5, -3, 2};
  Mat4 m = Mat4RotateAboutPoint(p, {0, 0, 1}, kPi / 2);
  ExpectVecNear(Apply(m, p), p, 1e-12);
  // A point one metre along +X from p swings a quarter turn about p.
  ExpectVecNear(Apply(m, p + Vec3{1, 0, 0}), p + Rot(QuatFromAxisAngle({0, 0, 1}, kPi / 2), Vec3{1, 0, 0}), 1e-12);
}

TEST(Math, HexColour) {
  float c[4];
  HexColour('F', '0', '8', 'A', c);
  EXPECT_EQ(c[0], 1.0f);
  EXPECT_EQ(c[1], 0.0f);
  EXPECT_EQ(c[2], float(8 / 15.0));
  EXPECT_EQ(c[3], float(10 / 15.0));
  // Lower case is not recognised: 'a' (97) reads as 42.
  HexColour('a', '@', '9', 'G', c);
  EXPECT_EQ(c[0], float(42 / 15.0));
  EXPECT_EQ(c[1], float(16 / 15.0));
  EXPECT_EQ(c[2], float(9 / 15.0));
  EXPECT_EQ(c[3], float(16 / 15.0));
}

TEST(Math, BoxExtendAndPlace) {
  Box box;
  BoxReset(box);
  EXPECT_TRUE(box.empty);
  EXPECT_EQ(box.orientation.w, 1.0);
  BoxExtend(box, Vec3{1, 2, 3});
  EXPECT_FALSE(box.empty);
  BoxExtend(box, -1.5f, 4.0f, 0.1f);
  ExpectVecNear(box.localMin, {-1.5, 2, double(0.1f)}, 0);
  ExpectVecNear(box.localMax, {1, 4, 3}, 0);
  ExpectVecNear(box.worldMin, box.localMin, 0);

  Box b;
  BoxReset(b);
  BoxExtend(b, Vec3{-1, -2, -3});
  BoxExtend(b, Vec3{1, 2, 3});
  BoxPlace(b, {10, 0, 0}, QuatFromAxisAngle({0, 0, 1}, kPi / 2));
  ExpectVecNear(b.worldMin, {8, -1, -3}, 1e-12);
  ExpectVecNear(b.worldMax, {12, 1, 3}, 1e-12);
  ExpectVecNear(b.localMin, {-1, -2, -3}, 0);  // the local box is untouched
  // The hull contains every rotated corner, at any orientation.
  std::srand(9);
  for (int n = 0; n < 20; n++) {
    Quat r = RandomUnitQuat();
    BoxPlace(b, {0, 0, 0}, r);
    for (int i = 0; i < 8; i++) {
      Vec3 c = Rot(r, Vec3{(i & 1) ? 1.0 : -1.0, (i & 2) ? 2.0 : -2.0, (i & 4) ? 3.0 : -3.0});
      EXPECT_LE(b.worldMin.x, c.x);
      EXPECT_GE(b.worldMax.z, c.z);
    }
  }
}

TEST(Math, ScalarHelpers) {
  std::srand(1);
  for (int i = 0; i < 200; i++) {
    double r = RandomRange(0.8, 1.2);
    EXPECT_GE(r, 0.8);
    EXPECT_LE(r, 1.2);
  }
  EXPECT_EQ(Clamp(5, 0, 1), 1.0);
  EXPECT_EQ(Clamp(-5, 1, 0), 0.0);  // bounds in either order
  EXPECT_EQ(SignAbove(0.0), -1.0);
  EXPECT_EQ(SignAbove(1e-8), -1.0);
  EXPECT_EQ(SignAbove(1.1920928955078125e-07), 0.0);
  EXPECT_EQ(SignAbove(1e-6), 1.0);
  EXPECT_EQ(SignAbove(-3), -1.0);
  double v = 0.9;
  Approach(v, 1.0, 0.3);
  EXPECT_EQ(v, 1.0);  // no overshoot
  Approach(v, -0.1, 0.3);
  EXPECT_NEAR(v, 0.7, 1e-15);
  Approach(v, 0.6, 0.3);
  EXPECT_EQ(v, 0.6);
  ExpectVecNear(Cross({1, 0, 0}, {0, 1, 0}), {0, 0, 1}, 0);
}

}  // namespace
