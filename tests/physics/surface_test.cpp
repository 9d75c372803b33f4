// Surface pressure forces, directional factors, the cache period, the angular damping.
#include <cmath>
#include <random>

#include "fixture.h"
#include "physics/lanes.h"
#include "sim/frame_clock.h"

namespace {

using SurfaceTest = PhysicsTest;

TEST_F(SurfaceTest, FactorsPeriodCacheAndDamping) {
  CurrentDt = 0.002;
  // Unit squares facing +Z at height 10; the impulse of one call at a speed along Z.
  const Vec3 p{-0.5, -0.5, 0}, q{0.5, -0.5, 0}, r{0.5, 0.5, 0}, s{-0.5, 0.5, 0};
  pBody* strong = Body({p, q, r, p, r, s}, 1.0, {0, 0, 10});
  pBody* b = Body({p, q, r, p, r, s}, 1.0, {0, 0, 10});
  strong->UpdatePlacement(), b->UpdatePlacement();
  auto impulse = [](pBody* x, double vz) {
    x->velocity = {0, 0, vz}, x->momentum = x->angularMomentum = {0, 0, 0};
    SurfaceForces(*x);
    return x->momentum.z;
  };
  // A downstroke factor pressing seven times harder, given unnormalised; a
  // zero direction becomes up.
  strong->surfacePeriod = 0;
  AddDirectionalFactor(*strong, {0, 0, 5}, 7.0, 1.0);
  EXPECT_EQ(strong->factorDirections[0].z, 1.0);
  impulse(strong, 1);
  EXPECT_DOUBLE_EQ(impulse(strong, 1), -0.14);
  AddDirectionalFactor(*strong, {0, 0, 0}, 1.0, 1.0);
  EXPECT_EQ(strong->factorDirections[1].z, 1.0);
  // The first call after construction applies the empty cache; then it is
  // refreshed when the counter exceeds the period: every third call.
  b->surfacePeriod = 2;
  std::vector<double> seen;
  for (int i = 0; i < 7; i++) seen.push_back(impulse(b, 1.0 + i));  // a new force every call
  EXPECT_EQ(seen[2], 0.0);
  EXPECT_DOUBLE_EQ(seen[3], -0.02 * 16);
  EXPECT_EQ(seen[5], seen[3]);
  EXPECT_DOUBLE_EQ(seen[6], -0.02 * 49);
  // Angular damping: a fixed 0.05 of the angular velocity per call, not scaled by dt.
  b->angularVelocity = {1, -2, 4}, b->angularMomentum = b->momentum = {0, 0, 0};
  CurrentDt = 1.0;
  SurfaceForces(*b);
  EXPECT_DOUBLE_EQ(b->angularMomentum.x - b->surfaceAngularImpulse.x, -0.05);
  EXPECT_DOUBLE_EQ(b->angularMomentum.z - b->surfaceAngularImpulse.z, -0.2);
}

// The surface force works on several faces at once and passes over faces that add nothing;
// its sums must be those of the plain face-by-face formula, bit for bit, on two lanes and four.
TEST_F(SurfaceTest, FaceLanesGiveTheFaceByFaceBits) {
  CurrentDt = 0.002;
  auto reference = [](const pBody& b, Vec3& impulse, Vec3& angular) {
    impulse = angular = {0, 0, 0};
    for (uint32_t i = 0; i < b.triangles.count; i++) {
      Vec3 n = VecMulMat3(b.normals[i], b.rotation);
      Vec3 c = VecMulMat3(b.centroids[i], b.rotation);
      Vec3 v = b.PointVelocity(c);
      double s2 = LengthSq(v);
      Vec3 u = s2 == 0 ? Vec3{0, 0, 1} : v / Length(v);
      double cosine = std::fmax(Dot(u, n), 0.0);
      double F = 10.0 * b.dragScale * std::fmax(1.0, 1 - 0.002 * (c.z + b.position.z)) * s2 * cosine * b.areas[i];
      for (uint32_t j = 0; j < b.factorDirections.count; j++) {
        double t = std::pow(std::fmax(Dot(u, VecMulMat3(b.factorDirections[j], b.rotation)), 0.0), b.factorExponents[j]);
        F = t * F * b.factorValues[j] + (1 - t) * F;
      }
      Vec3 J = -n * F * CurrentDt;
      impulse += J;
      angular += Cross(c - b.centreOffset, J);
    }
  };
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> r(-1, 1);
  // 4 r (r - 1) faces, plus one degenerate and one ordinary: the last block is half full.
  pBody* b = Body(EllipsoidTriangles(1.0, 0.6, 0.2, 5), 3.0, {0, 0, -40});
  b->AddTriangle({0, 0, 0}, {1, 0, 0}, {2, 0, 0});
  b->AddTriangle({0, 0, 0.3}, {0.5, 0, 0.3}, {0, 0.5, 0.3});
  b->dragScale = 1.7, b->surfacePeriod = 0;
  AddDirectionalFactor(*b, {0, 0, -1}, 7, 0.5);
  AddDirectionalFactor(*b, {0, 1, 0.2}, 0.05, 0);
  const uint32_t widthBefore = PhysicsLaneWidth;
  for (int trial = 0; trial < 200; trial++) {
    b->orientation = QuatFromAxisAngle({r(rng), r(rng), r(rng)}, 3 * r(rng));
    b->UpdatePlacement();
    b->velocity = Vec3{r(rng), r(rng), r(rng)} * (trial % 7 == 0 ? 0.0 : 5.0);
    b->angularVelocity = Vec3{r(rng), r(rng), r(rng)} * (trial % 5 == 0 ? 0.0 : 3.0);
    Vec3 impulse, angular;
    reference(*b, impulse, angular);
    for (uint32_t width : {4u, 2u}) {
      PhysicsLaneWidth = width;
      b->surfaceCounter = 1;
      SurfaceForces(*b);
      EXPECT_TRUE(SameBits(b->surfaceImpulse, impulse) && SameBits(b->surfaceAngularImpulse, angular))
          << "trial " << trial << ", " << width << " lanes";
    }
  }
  PhysicsLaneWidth = widthBefore;
  EXPECT_GT(Length(b->surfaceImpulse), 0.0) << "the trials exerted forces";
}

}  // namespace
