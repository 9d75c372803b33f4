// Hinges, points and straps: angle, servo, free turning, the passes, the tension-only pull.
#include <cmath>
#include <cstdlib>
#include <random>

#include "fixture.h"
#include "sim/frame_clock.h"

namespace {

const TriangleList kCube = CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5});

class JointTest : public PhysicsTest {
 protected:
  // Two unit cubes stacked on the Z axis, hinged between them about Z.
  void Stack(double minAngle, double maxAngle) {
    A = Body(kCube, 1.0, {0, 0, 10}), B = Body(kCube, 1.0, {0, 0, 11});
    A->UpdatePlacement(), B->UpdatePlacement();
    H = Own(new pAxis(A, B, {0, 0, 10.5}, {0, 0, 3}, {1, 0, 0}, minAngle, maxAngle));
  }
  void Turn(pBody* b, double angle) {
    b->orientation = QuatFromAxisAngle({0, 0, 1}, angle);
    b->UpdatePlacement();
  }
  void Halt() {
    A->momentum = B->momentum = A->angularMomentum = B->angularMomentum = {0, 0, 0};
    A->UpdateVelocities(), B->UpdateVelocities();
  }
  // B's spin about Z relative to A's, from the momenta (rad/s).
  double RelativeSpin() {
    return VecMulMat3(B->angularMomentum, B->inverseInertiaWorld).z -
           VecMulMat3(A->angularMomentum, A->inverseInertiaWorld).z;
  }
  pBody *A = nullptr, *B = nullptr;
  pAxis* H = nullptr;
};

// A hinge keeps what it derives from the orientations for the rest of a world
// step; what it leaves behind and what it sees next must still be current.
TEST_F(JointTest, HingeAngleFollowsTheBodiesAcrossStepsAndHandPlacement) {
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
  Turn(A, 0), Turn(B, 0.5), Halt();
  Step();
  EXPECT_NEAR(H->angle, 0.5, 1e-3);
}

TEST_F(JointTest, HingeServoReachesItsAngleWithoutOvershoot) {
  Stack(0.3, 0.3);
  double last = 0;
  for (int i = 0; i < 60; i++) {
    Step();
    H->MeasureAngle();
    if (i == 0) { EXPECT_NEAR(H->angle, 0.15, 1e-9) << "half the way in the first step"; }
    EXPECT_GT(H->angle, last - 1e-15) << i;
    EXPECT_LE(H->angle, 0.3 + 1e-12) << i;
    last = H->angle;
  }
  // Errors below about 1e-8 rad vanish in the rotation-vector conversion.
  EXPECT_NEAR(last, 0.3, 1e-7);
}

TEST_F(JointTest, FreeHingeConservesThePairsAngularMomentum) {
  // Side by side along X, hinged at the touching edge about Z.
  A = Body(kCube, 1.0, {0, 0, 10}), B = Body(kCube, 3.0, {1, 0, 10});
  H = Own(new pAxis(A, B, {0.5, 0, 10}, {0, 0, 1}, {1, 0, 0}, 0, 0));
  H->limited = false;
  B->angularMomentum = {0.2, -0.1, 0.5}, B->momentum = {0, 0.3, 0};  // off the axis too: the hinge takes that up
  auto total = [&] {
    Vec3 cA = A->position + A->centreOffset, cB = B->position + B->centreOffset;
    Vec3 C = (cA * A->mass + cB * B->mass) / (A->mass + B->mass);
    return A->angularMomentum + B->angularMomentum + Cross(cA - C, A->momentum) + Cross(cB - C, B->momentum);
  };
  const Vec3 L0 = total();
  Step(2000);
  EXPECT_LT(Length(total() - L0), 1e-6 * std::fabs(L0.z));
  H->MeasureAngle();
  EXPECT_GT(std::fabs(H->angle), 0.1) << "it turned freely";
  // Pivot and off-axis rotation held.
  EXPECT_LT(Length(B->LocalToWorld(H->point->anchorB) - A->LocalToWorld(H->point->anchorA)), 1e-3);
  const double *zA = &A->rotation.m[6], *zB = &B->rotation.m[6];
  EXPECT_GT(zA[0] * zB[0] + zA[1] * zB[1] + zA[2] * zB[2], 0.99999) << "both Z axes stay together";
}

// One sub-step of the velocity pass on a unit cube pair (inertia 1/6) whose
// upper cube spins about the hinge axis relative to the lower one.
TEST_F(JointTest, HingeVelocityPassBlocksFreesBrakesAndDrives) {
  Stack(-0.5, 0.5);
  CurrentDt = 0.00025;
  struct Row { double angle; bool limited; double friction, axialLock, spin, left; const char* what; } rows[] = {
      {0, false, 8000, 0, 1, 0, "friction of at least |w| / dt stops the spin"},
      {0, false, 400, 0, 1, 0.9, "smaller friction takes friction * dt"},
      {0, false, 400, 0, -1, -0.9, "friction opposes either sense"},
      {0.6, true, 0, 0, -1, 0, "past the upper limit turning back: blocked"},
      {0.6, true, 0, 0, 1, 1, "past the upper limit turning out: free"},
      {-0.6, true, 0, 0, 1, 0, "past the lower limit turning back: blocked"},
      {-0.6, true, 0, 0, -1, -1, "past the lower limit turning out: free"},
      {0.6, false, 0, 0, -1, -1, "not limited: free"},
      {0.6, true, 0, 0.25, 1, 0.75, "the axial lock takes its fraction"},
  };
  auto pose = [&](double angle) { Turn(B, angle), H->point->anchorB = B->WorldToLocal({0, 0, 10.5}); };
  for (const Row& r : rows) {
    pose(r.angle);
    H->limited = r.limited, H->friction = r.friction, H->axialLock = r.axialLock;
    A->angularMomentum = {0, 0, 0}, B->angularMomentum = {0, 0, r.spin / 6};
    H->Process(1);
    EXPECT_NEAR(H->axialRate, r.spin, 1e-12) << r.what;
    EXPECT_NEAR(RelativeSpin(), r.left, 1e-12) << r.what;
  }
  // Motor and spring change only the momenta, equal and opposite.
  H->friction = H->axialLock = 0;
  pose(0.2), Halt();
  H->motorTorque = 3.0, H->springRate = 10.0, H->targetAngle = 0.05;
  H->Process(1);
  EXPECT_NEAR(A->angularMomentum.z, 3.0 * 0.00025 + 10.0 * 0.15 * 0.00025, 1e-12);
  EXPECT_NEAR(B->angularMomentum.z, -A->angularMomentum.z, 1e-15);
  EXPECT_EQ(A->angularVelocity.z, 0.0) << "velocities follow at the next update";
}

TEST_F(JointTest, HingePositionPassWrapsAndBreaks) {
  Stack(0, 0);
  // Three quarters of a turn off the target is corrected the short way.
  Turn(B, 1.5 * 3.141592653589793);
  H->Process(3);
  EXPECT_GT(RelativeSpin(), 0.0) << "B turns on toward a full turn, not back";
  H->breakable = true;
  auto strainedBy = [&](double angle, double gap) {
    B->position = {gap, 0, 11};
    Turn(B, angle);
    Halt();
    H->broken = false, H->Process(3);
    return H->broken;
  };
  // The random factor lies in [0.8, 1.2]: 0.11 rad and a 0.2 m gap always
  // break, 0.05 rad never does.
  for (unsigned seed = 1; seed <= 50; seed++) {
    srand(seed);
    EXPECT_TRUE(strainedBy(0.11, 0)) << "seed " << seed;
    EXPECT_FALSE(strainedBy(0.05, 0)) << "seed " << seed;
    EXPECT_TRUE(strainedBy(0, 0.2)) << "seed " << seed;
  }
  // Once broken, nothing at all happens.
  ASSERT_TRUE(strainedBy(0.11, 0));
  A->angularMomentum = {0, 0, 0};
  H->Process(3), H->Process(1);
  EXPECT_EQ(A->angularMomentum.z, 0.0);
  // Not breakable: never breaks, however strained.
  H->breakable = false;
  EXPECT_FALSE(strainedBy(2.0, 0.5));
}

// The velocity pass works on copies of the two bodies' momenta; it must give
// the bits of the body operations it stands for, applied one after another.
TEST_F(JointTest, HingePointVelocityPassEqualsTheBodyOperations) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> r(-1, 1);
  auto randomState = [&](pBody* b, pBody* copy) {
    const Quat o = QuatFromAxisAngle({r(rng), r(rng), r(rng)}, 3 * r(rng));
    const Vec3 p = Vec3{r(rng), r(rng), r(rng)} * 2.0, L = Vec3{r(rng), r(rng), r(rng)} * 0.5;
    for (pBody* x : {b, copy}) {
      x->orientation = o, x->momentum = p, x->angularMomentum = L;
      x->UpdatePlacement(), x->UpdateVelocities();
    }
  };
  Stack(-1, 1);
  pBody *A2 = Body(kCube, 1.0, {0, 0, 10}), *B2 = Body(kCube, 1.0, {0, 0, 11});
  for (int trial = 0; trial < 100; trial++) {
    randomState(A, A2), randomState(B, B2);
    const double s = trial % 2 ? 1.0 : 0.2;
    SolvePoint(H->point, 1, nullptr, s);
    // The same by the body operations.
    Vec3 rA = VecMulMat3(H->point->anchorA, A2->rotation), rB = VecMulMat3(H->point->anchorB, B2->rotation);
    Vec3 vA = A2->PointVelocity(rA), vB = B2->PointVelocity(rB);
    Vec3 n = Normalize(vB - vA);
    double KA = A2->EffectiveMass(rA, n), KB = B2->EffectiveMass(rB, n);
    double j = (Dot(vB, n) * KA * KB - Dot(vA, n) * KA * KB) / (KA + KB) * s;
    A2->ApplyImpulse(rA, n * j), B2->ApplyImpulse(rB, -n * j);
    A2->UpdateVelocities(), B2->UpdateVelocities();
    for (auto [x, y] : {std::pair{A, A2}, {B, B2}})
      ASSERT_TRUE(SameBits(x->momentum, y->momentum) && SameBits(x->angularMomentum, y->angularMomentum) &&
                  SameBits(x->velocity, y->velocity) && SameBits(x->angularVelocity, y->angularVelocity))
          << "trial " << trial << (x == B ? ", body B" : ", body A");
  }
}

// Joined to itself, a hinge's impulses land on one body one after the other
// and cancel: the body keeps its momenta (to rounding). Missing a body, a
// hinge or strap registers but never acts.
TEST_F(JointTest, JointsWithoutTwoDistinctBodiesExertNothing) {
  A = Body(kCube, 1.0, {0, 0, 10});
  A->angularMomentum = {0.1, 0.2, 0.3}, A->momentum = {1, 0, 0};
  A->UpdatePlacement(), A->UpdateVelocities();
  H = Own(new pAxis(A, A, {0.5, 0, 10}, {0, 0, 1}, {1, 0, 0}, 0.3, 0.3));
  H->motorTorque = 50, H->springRate = 20;
  const Vec3 L = A->angularMomentum, P = A->momentum;
  pAxis* lone = Own(new pAxis(A, nullptr, {0, 0, 10.5}, {0, 0, 1}, {1, 0, 0}, -1, 1));
  pStrape* loose = Own(new pStrape(A, nullptr, {0, 0, 10}, {2, 0, 10}, {0, 0, 1}, 1.0));
  ASSERT_EQ(EntityList.count, 4u);
  EXPECT_TRUE(EntityList[2] == lone && EntityList[3] == loose);
  for (int phase : {1, 2, 3, 4, 1}) {
    H->Process(phase), lone->Process(phase), loose->Process(phase);
    EXPECT_LT(Length(A->angularMomentum - L) + Length(A->momentum - P), 1e-12) << "phase " << phase;
  }
}

// The pull is worked out once per world step; moved between steps, by the
// integration or by hand, the strap must see where its ends are now.
TEST_F(JointTest, StrapPullFollowsEndsMovedBetweenSteps) {
  A = Body(kCube, 1.0, {0, 0, 10}), B = Body(kCube, 1.0, {2, 0, 10});
  Own(new pStrape(A, B, {0, 0, 10}, {2, 0, 10}, {0, 0, 1}, 1.0));
  Step();
  EXPECT_NEAR(B->momentum.x, 0.0, 1e-15) << "slack: gravity only";
  B->position.x = 2.2, B->UpdatePlacement();
  Step();
  // Stretched by hand, pulled back: four sub-steps, four equal pulls of 0.2 * K * 10
  // (K = 0.5 for two free 1 kg bodies pulled through their centres).
  EXPECT_NEAR(B->momentum.x, -4 * 0.2 * 0.5 * 10, 1e-9);
  EXPECT_NEAR(A->momentum.x + B->momentum.x, 0.0, 1e-15) << "equal and opposite";
  // At and below its rest length it exerts nothing: the stretched pull is not kept.
  for (double x : {2.0, 1.5}) {
    Halt();
    B->position.x = x, B->UpdatePlacement();
    Step();
    EXPECT_NEAR(B->momentum.x, 0.0, 1e-12) << x;
    EXPECT_NEAR(A->momentum.x, 0.0, 1e-12) << x;
  }
}

}  // namespace
