#include "foundation/math.h"

#include <gtest/gtest.h>

#include <algorithm>
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

Vec3 RandomVec() { return {RandomRange(-5, 5), RandomRange(-5, 5), RandomRange(-5, 5)}; }

TEST(Math, NormalizeZeroGivesUpAxisButTinyVectorsStillNormalise) {
  ExpectVecNear(Normalize({0, 0, 0}), {0, 0, 1}, 0);
  Quat q = QuatFromAxisAngle({0, 0, 0}, kPi / 2);  // about +Z
  EXPECT_NEAR(q.z, std::sin(kPi / 4), 1e-15);
  EXPECT_NEAR(q.w, std::cos(kPi / 4), 1e-15);
  ExpectVecNear(Normalize({1e-100, 0, 0}), {1, 0, 0});
}

TEST(Math, QuaternionsComposeInvertAndFollowTheRightHandRule) {
  ExpectVecNear(Rot(QuatFromAxisAngle({0, 0, 1}, kPi / 2), Vec3{1, 0, 0}), {0, 1, 0}, 1e-15);
  std::srand(7);
  for (int n = 0; n < 50; n++) {
    // Rotating by QuatMul(a, b) is rotating by b, then by a.
    Quat a = RandomUnitQuat(), b = RandomUnitQuat();
    Vec3 v = RandomVec();
    ExpectVecNear(Rot(QuatMul(a, b), v), Rot(a, Rot(b, v)), 1e-12);
    ExpectVecNear(Rot(QuatInverse(a), Rot(a, v)), v, 1e-12);
    Vec3 w = v;
    Rotate(a, w);  // in place
    ExpectVecNear(w, Rot(a, v), 1e-12);
  }
  // Not unit: the inverse divides by the squared norm.
  Quat p = QuatInverse({1, 2, 3, 4});
  EXPECT_DOUBLE_EQ(p.x, -1.0 / 30);
  EXPECT_DOUBLE_EQ(p.w, 4.0 / 30);
}

TEST(Math, RotateIsBitIdenticalToRowVectorMatrices) {
  std::srand(3);
  for (int n = 0; n < 50; n++) {
    Quat q = RandomUnitQuat();
    Vec3 v = RandomVec();
    Vec3 byQuat = Rot(q, v), byMat3 = VecMulMat3(v, QuatToMat3(q));
    EXPECT_EQ(byQuat.x, byMat3.x);
    EXPECT_EQ(byQuat.y, byMat3.y);
    EXPECT_EQ(byQuat.z, byMat3.z);
    Mat4 m4 = QuatToMat4(q);
    EXPECT_TRUE(m4.m[5] == QuatToMat3(q).m[4] && m4.m[12] == 0.0 && m4.m[15] == 1.0);
  }
}

TEST(Math, RotationVectorIsAngleTimesAxisAndNeverNaN) {
  Vec3 axis = Normalize({1, -2, 0.5});
  for (double theta : {0.0, 1e-3, 3.0}) {
    Quat q{std::sin(theta / 2) * axis.x, std::sin(theta / 2) * axis.y, std::sin(theta / 2) * axis.z,
           std::cos(theta / 2)};
    ExpectVecNear(QuatToRotationVector(q), axis * theta, 1e-9);
  }
  // A w a hair above 1 (rounding) must not give NaN.
  EXPECT_FALSE(std::isnan(QuatToRotationVector({0, 0, 0, 1.0000000000000002}).x));
}

TEST(Math, MatrixInversesAndProductOrder) {
  Mat3 a{{2, 1, 0, 0, 3, 1, 1, 0, 4}};
  Mat3 id = Mat3Mul(a, Mat3Inverse(a));
  for (int i = 0; i < 9; i++) EXPECT_NEAR(id.m[i], (i % 4 == 0) ? 1.0 : 0.0, 1e-15) << i;
  EXPECT_EQ(Mat3Add(a, Mat3Transpose(a)).m[2], 1.0);
  // (A B) applied to a row vector is A first, then B.
  Mat3 b{{0, 1, 0, -1, 0, 0, 0, 0, 1}};
  ExpectVecNear(VecMulMat3({1, 2, 3}, Mat3Mul(a, b)), VecMulMat3(VecMulMat3({1, 2, 3}, a), b), 1e-12);

  std::srand(5);
  for (int n = 0; n < 20; n++) {
    Quat q = RandomUnitQuat();
    Vec3 p = RandomVec() * 20;
    Mat4 m = Mat4FromPose(p, q);
    // A local point goes to world as R-rotated plus p.
    ExpectVecNear(Apply(m, {1, 2, 3}), Rot(q, Vec3{1, 2, 3}) + p, 1e-12);
    Mat4 id4 = Mat4Mul(Mat4Inverse(m), m);
    for (int i = 0; i < 16; i++) EXPECT_NEAR(id4.m[i], (i % 5 == 0) ? 1.0 : 0.0, 1e-12) << i;
  }
  // About a point: the point stays, a neighbour swings a quarter turn about it.
  Vec3 c{5, -3, 2};
  Mat4 m = Mat4RotateAboutPoint(c, {0, 0, 1}, kPi / 2);
  ExpectVecNear(Apply(m, c), c, 1e-12);
  ExpectVecNear(Apply(m, c + Vec3{1, 0, 0}), c + Vec3{0, 1, 0}, 1e-12);
}

TEST(Math, PlacedBoxIsTheHullOfItsRotatedCorners) {
  Box b;
  BoxReset(b);
  EXPECT_TRUE(b.empty);
  BoxExtend(b, Vec3{-1, -2, -3});
  BoxExtend(b, 1.0f, 2.0f, 3.0f);
  EXPECT_FALSE(b.empty);
  std::srand(9);
  for (int n = 0; n < 20; n++) {
    Quat r = RandomUnitQuat();
    BoxPlace(b, {10, 0, 0}, r);
    Vec3 lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};  // the rotated corners' own hull
    for (int i = 0; i < 8; i++) {
      Vec3 c = Rot(r, Vec3{(i & 1) ? 1.0 : -1.0, (i & 2) ? 2.0 : -2.0, (i & 4) ? 3.0 : -3.0}) + Vec3{10, 0, 0};
      lo = {std::min(lo.x, c.x), std::min(lo.y, c.y), std::min(lo.z, c.z)};
      hi = {std::max(hi.x, c.x), std::max(hi.y, c.y), std::max(hi.z, c.z)};
    }
    ExpectVecNear(b.worldMin, lo);
    ExpectVecNear(b.worldMax, hi);
  }
  ExpectVecNear(b.localMin, {-1, -2, -3}, 0);  // the local box is untouched
}

TEST(Math, ClampSignAboveApproachAndHexColourQuirks) {
  EXPECT_EQ(Clamp(-5, 1, 0), 0.0);  // bounds in either order
  EXPECT_EQ(SignAbove(1e-8), -1.0);
  EXPECT_EQ(SignAbove(1.1920928955078125e-07), 0.0);
  EXPECT_EQ(SignAbove(1e-6), 1.0);
  double v = 0.9;
  Approach(v, 1.0, 0.3);
  EXPECT_EQ(v, 1.0);  // no overshoot
  Approach(v, -0.1, 0.3);
  EXPECT_NEAR(v, 0.7, 1e-15);
  float c[4];
  HexColour('F', '0', '8', 'a', c);  // lower case is not recognised: 'a' (97) reads as 42
  EXPECT_EQ(c[0], 1.0f);
  EXPECT_EQ(c[1], 0.0f);
  EXPECT_EQ(c[2], float(8 / 15.0));
  EXPECT_EQ(c[3], float(42 / 15.0));
}

}  // namespace
