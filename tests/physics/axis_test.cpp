// Hinges: angle measurement, velocity and position passes, limits, servo,
// friction, motor, spring, breaking, and the point constraint.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "app/frame_timer.h"
#include "meshes.h"

namespace {

const double kPi = 3.141592653589793;

class AxisTest : public PhysicsTest {
 protected:
  // Two unit cubes stacked on the Z axis, hinged between them about Z.
  void Stack(double minAngle, double maxAngle) {
    A = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 1.0, {0, 0, 10});
    B = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 1.0, {0, 0, 11});
    Place(*A);
    Place(*B);
    H = Own(new pAxis(A, B, {0, 0, 10.5}, {0, 0, 3}, {1, 0, 0}, minAngle, maxAngle));
  }
  void Turn(pBody* b, double angle) {
    b->orientation = QuatFromAxisAngle({0, 0, 1}, angle);
    Place(*b);
  }
  // Turns B about Z and re-anchors the pivot on it, so only the angle is off.
  void TurnAtPivot(double angle) {
    Turn(B, angle);
    H->point->anchorB = B->WorldToLocal({0, 0, 10.5});
  }
  // B spinning at w rad/s about Z (a 1 kg unit cube), A still.
  void Spin(double w) {
    A->angularMomentum = {0, 0, 0};
    B->angularMomentum = {0, 0, w / 6};
  }
  double RelativeSpin() {
    return VecMulMat3(B->angularMomentum, B->inverseInertiaWorld).z -
           VecMulMat3(A->angularMomentum, A->inverseInertiaWorld).z;
  }
  pBody* A = nullptr;
  pBody* B = nullptr;
  pAxis* H = nullptr;
};

TEST_F(AxisTest, ConstructionAndAngleMeasurement) {
  Stack(-1, 1);
  EXPECT_EQ(EntityList.count, 3u) << "the hinge registers, its point does not";
  EXPECT_DOUBLE_EQ(H->axis.z, 1.0);
  // A reference off the perpendicular loses its axial part and is not renormalised.
  pAxis* slanted = new pAxis(A, B, {0, 0, 10.5}, {0, 0, 1}, {1, 0, 1}, -1, 1);
  EXPECT_EQ(slanted->reference.z, 0.0);
  EXPECT_NEAR(slanted->reference.x, 0.7071067811865476, 1e-15);
  delete slanted;

  Turn(B, kPi);
  H->MeasureAngle();
  EXPECT_DOUBLE_EQ(H->angle, -kPi) << "half a turn measures -pi";
  Turn(B, 0);
  Turn(A, -0.4);
  H->MeasureAngle();
  EXPECT_NEAR(H->angle, 0.4, 1e-12) << "relative to bodyA";

  // A hinge with a missing body registers but never acts.
  pAxis* lone = Own(new pAxis(A, nullptr, {0, 0, 10.5}, {0, 0, 1}, {1, 0, 0}, -1, 1));
  EXPECT_EQ(lone->point, nullptr);
  EXPECT_EQ(EntityList[3], lone);
  lone->Process(1);
  lone->Process(3);
  EXPECT_EQ(A->angularMomentum.z, 0.0);
}

// A hinge keeps what it derives from the orientations for the rest of a world
// step; what it leaves behind and what it sees next must still be current.
TEST_F(AxisTest, AngleFollowsTheBodiesAcrossStepsAndHandPlacement) {
  Stack(-1, 1);
  H->motorTorque = 3;
  for (int i = 0; i < 20; i++) {
    Step();
    double left = H->angle;
    H->MeasureAngle();
    ASSERT_EQ(left, H->angle) << "the angle a step leaves is that of the integrated bodies, step " << i;
  }
  EXPECT_GT(std::fabs(H->angle), 0.01) << "the motor turned the pair";
  H->motorTorque = 0;
  // Turned by hand between steps: the next step starts from there.
  Turn(A, 0);
  Turn(B, 0.5);
  A->angularMomentum = B->angularMomentum = {0, 0, 0};
  A->UpdateVelocities();
  B->UpdateVelocities();
  Step();
  EXPECT_NEAR(H->angle, 0.5, 1e-3);
  // Outside a world step every call measures afresh.
  Turn(B, -0.2);
  H->Process(1);
  EXPECT_NEAR(H->angle, -0.2, 1e-12);
  Turn(B, 0.25);
  H->Process(3);
  EXPECT_NEAR(H->angle, 0.25, 1e-12);
}

TEST_F(AxisTest, ServoReachesItsAngleWithoutOvershoot) {
  Stack(0.3, 0.3);
  std::vector<double> angles;
  for (int i = 0; i < 60; i++) {
    Step();
    H->MeasureAngle();
    angles.push_back(H->angle);
  }
  EXPECT_NEAR(angles[0], 0.15, 1e-9) << "half the way in the first step";
  for (size_t i = 1; i < angles.size(); i++) {
    EXPECT_GT(angles[i], angles[i - 1] - 1e-15) << i;
    EXPECT_LE(angles[i], 0.3 + 1e-12) << i;
  }
  // Errors below about 1e-8 rad vanish in the rotation-vector conversion.
  EXPECT_NEAR(angles.back(), 0.3, 1e-7);
  // The pivot stays joined while both bodies fall.
  Vec3 gap = B->LocalToWorld(H->point->anchorB) - A->LocalToWorld(H->point->anchorA);
  EXPECT_LT(Length(gap), 1e-9);
}

TEST_F(AxisTest, FreeHingeConservesThePairsAngularMomentum) {
  // Side by side along X, hinged at the touching edge about Z.
  A = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 1.0, {0, 0, 10});
  B = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 3.0, {1, 0, 10});
  H = Own(new pAxis(A, B, {0.5, 0, 10}, {0, 0, 1}, {1, 0, 0}, 0, 0));
  H->limited = false;
  B->angularMomentum = {0, 0, 0.5};
  B->momentum = {0, 0.3, 0};
  auto total = [&] {
    double m = A->mass + B->mass;
    Vec3 C = ((A->position + A->centreOffset) * A->mass + (B->position + B->centreOffset) * B->mass) / m;
    return A->angularMomentum + B->angularMomentum +
           Cross(A->position + A->centreOffset - C, A->momentum) +
           Cross(B->position + B->centreOffset - C, B->momentum);
  };
  Vec3 L0 = total();
  double spin0 = 0;
  for (int i = 0; i < 2000; i++) {
    Step();
    if (i == 0) spin0 = RelativeSpin();
  }
  Vec3 L1 = total();
  EXPECT_LT(Length(L1 - L0), 1e-6 * std::fabs(L0.z));
  EXPECT_NE(spin0, 0.0) << "the pair turns about the hinge";
  // Pivot held, off-axis rotation held.
  Vec3 gap = B->LocalToWorld(H->point->anchorB) - A->LocalToWorld(H->point->anchorA);
  EXPECT_LT(Length(gap), 1e-3);
  Vec3 zA = {A->rotation.m[6], A->rotation.m[7], A->rotation.m[8]};
  Vec3 zB = {B->rotation.m[6], B->rotation.m[7], B->rotation.m[8]};
  EXPECT_GT(Dot(zA, zB), 0.99999);
  H->MeasureAngle();
  EXPECT_GT(std::fabs(H->angle), 0.1) << "it turned freely";
}

TEST_F(AxisTest, VelocityPassLimitsFrictionMotorAndSpring) {
  Stack(-0.5, 0.5);
  H->limited = false;
  CurrentDt = 0.00025;
  // Friction at least |w| / dt stops the axial spin in one sub-step.
  Spin(1);
  H->friction = 1.0 / 0.00025 * 2;
  H->Process(1);
  EXPECT_NEAR(RelativeSpin(), 0.0, 1e-12);
  EXPECT_NEAR(H->axialRate, 1.0, 1e-12);
  H->friction = 0;

  // Limited, outside the upper limit and turning back (w < 0): blocked,
  // all relative rotation removed. Turning further out: the axial part is free.
  H->limited = true;
  TurnAtPivot(0.6);
  Spin(-1);
  H->Process(1);
  EXPECT_NEAR(RelativeSpin(), 0.0, 1e-12);
  Spin(1);
  H->Process(1);
  EXPECT_NEAR(RelativeSpin(), 1.0, 1e-12);

  // axialLock removes that fraction of the free axial part.
  Spin(1);
  H->axialLock = 0.25;
  H->Process(1);
  EXPECT_NEAR(RelativeSpin(), 0.75, 1e-12);
  H->axialLock = 0;

  // Motor and spring change only the momenta, equal and opposite.
  TurnAtPivot(0.2);
  Spin(0);
  A->UpdateVelocities();
  B->UpdateVelocities();
  H->motorTorque = 3.0;
  H->springRate = 10.0;
  H->targetAngle = 0.05;
  H->Process(1);
  EXPECT_NEAR(A->angularMomentum.z, 3.0 * 0.00025 + 10.0 * 0.15 * 0.00025, 1e-12);
  EXPECT_NEAR(B->angularMomentum.z, -A->angularMomentum.z, 1e-15);
  EXPECT_EQ(A->angularVelocity.z, 0.0) << "velocities follow at the next update";
}

TEST_F(AxisTest, BreakingByAngleAndByDistance) {
  Stack(0, 0);
  H->breakable = true;
  auto strainedBy = [&](double angle, double gap) {
    Turn(B, angle);
    B->position = {gap, 0, 11};
    Place(*B);
    A->angularMomentum = B->angularMomentum = A->momentum = B->momentum = {0, 0, 0};
    H->broken = false;
    H->Process(3);
    return H->broken;
  };
  for (unsigned seed = 1; seed <= 10; seed++) {
    srand(seed);
    EXPECT_TRUE(strainedBy(0.11, 0)) << "above 1.2 * 5 degrees, seed " << seed;
    EXPECT_FALSE(strainedBy(0.05, 0)) << "below 0.8 * 5 degrees, seed " << seed;
    EXPECT_TRUE(strainedBy(0, 0.2)) << "a 0.2 gap, seed " << seed;
  }
  // Once broken, nothing at all happens.
  strainedBy(0.11, 0);
  ASSERT_TRUE(H->broken);
  A->angularMomentum = {0, 0, 0};
  H->Process(3);
  EXPECT_EQ(A->angularMomentum.z, 0.0);
  // Not breakable: never breaks, however strained.
  H->breakable = false;
  EXPECT_FALSE(strainedBy(2.0, 0.5));
}

TEST_F(AxisTest, PositionPassWrapsAndUnlimitedHingesKeepTheirAngle) {
  Stack(0, 0);
  // Three quarters of a turn off the target is corrected the short way.
  Turn(B, 1.5 * kPi);
  H->Process(3);
  EXPECT_GT(RelativeSpin(), 0.0) << "B turns on toward 2 pi, not back";
  // Unlimited: the axial error is left alone.
  Spin(0);
  H->limited = false;
  TurnAtPivot(0.7);
  H->Process(3);
  EXPECT_NEAR(RelativeSpin(), 0.0, 1e-12);
}

// The velocity pass works on copies of the two bodies' momenta; it must give
// the bits of the body operations it stands for, applied one after another.
TEST_F(AxisTest, PointVelocityPassEqualsTheBodyOperations) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> r(-1, 1);
  auto randomState = [&](pBody* b) {
    b->orientation = QuatFromAxisAngle({r(rng), r(rng), r(rng)}, 3 * r(rng));
    b->momentum = Vec3{r(rng), r(rng), r(rng)} * 2.0;
    b->angularMomentum = Vec3{r(rng), r(rng), r(rng)} * 0.5;
    Place(*b);
    b->UpdateVelocities();
  };
  auto same = [](const Vec3& a, const Vec3& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  Stack(-1, 1);
  pBody* A2 = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 1.0, {0, 0, 10});
  pBody* B2 = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 1.0, {0, 0, 11});
  for (int trial = 0; trial < 100; trial++) {
    randomState(A);
    randomState(B);
    for (pBody* b : {A2, B2}) {
      const pBody* from = b == A2 ? A : B;
      b->orientation = from->orientation;
      b->momentum = from->momentum;
      b->angularMomentum = from->angularMomentum;
      Place(*b);
      b->UpdateVelocities();
    }
    const double s = trial % 2 ? 1.0 : 0.2;
    SolvePoint(H->point, 1, nullptr, s);
    // The same by the body operations.
    Vec3 rA = VecMulMat3(H->point->anchorA, A2->rotation);
    Vec3 rB = VecMulMat3(H->point->anchorB, B2->rotation);
    Vec3 vA = A2->PointVelocity(rA), vB = B2->PointVelocity(rB);
    Vec3 n = Normalize(vB - vA);
    double KA = A2->EffectiveMass(rA, n), KB = B2->EffectiveMass(rB, n);
    double j = (Dot(vB, n) * KA * KB - Dot(vA, n) * KA * KB) / (KA + KB) * s;
    A2->ApplyImpulse(rA, n * j);
    B2->ApplyImpulse(rB, -n * j);
    A2->UpdateVelocities();
    B2->UpdateVelocities();
    for (int k = 0; k < 2; k++) {
      const pBody* x = k ? B : A;
      const pBody* y = k ? B2 : A2;
      ASSERT_TRUE(same(x->momentum, y->momentum) && same(x->angularMomentum, y->angularMomentum) &&
                  same(x->velocity, y->velocity) && same(x->angularVelocity, y->angularVelocity))
          << "trial " << trial << (k ? ", body B" : ", body A");
    }
  }
}

// Joined to itself, a hinge's impulses land on one body one after the other
// and cancel: the body keeps its momenta (to rounding).
TEST_F(AxisTest, HingeJoiningABodyToItselfExertsNothing) {
  A = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 1.0, {0, 0, 10});
  A->angularMomentum = {0.1, 0.2, 0.3};
  A->momentum = {1, 0, 0};
  Place(*A);
  A->UpdateVelocities();
  H = Own(new pAxis(A, A, {0.5, 0, 10}, {0, 0, 1}, {1, 0, 0}, 0.3, 0.3));
  H->motorTorque = 50;
  H->springRate = 20;
  const Vec3 L = A->angularMomentum, P = A->momentum;
  for (int phase : {1, 3, 1}) {
    H->Process(phase);
    EXPECT_LT(Length(A->angularMomentum - L), 1e-12) << "phase " << phase;
    EXPECT_LT(Length(A->momentum - P), 1e-12) << "phase " << phase;
  }
}

}  // namespace
