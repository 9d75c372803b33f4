// Joints: the hinge's angle across steps, its servo, the point constraint's
// velocity pass, the strap's tension-only pull, and joints that cannot act.
#include <cmath>
#include <cstring>
#include <random>

#include "app/frame_timer.h"
#include "fixture.h"

namespace {

class JointTest : public PhysicsTest {
 protected:
  // Two unit cubes stacked on the Z axis, hinged between them about Z.
  void Stack(double minAngle, double maxAngle) {
    A = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 1.0, {0, 0, 10});
    B = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 1.0, {0, 0, 11});
    A->UpdatePlacement();
    B->UpdatePlacement();
    H = Own(new pAxis(A, B, {0, 0, 10.5}, {0, 0, 3}, {1, 0, 0}, minAngle, maxAngle));
  }
  // Two 1 kg unit cubes centred at (0, 0, 10) and (2, 0, 10), for a strap.
  void Pair() {
    A = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 1.0, {0, 0, 10});
    B = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 1.0, {2, 0, 10});
  }
  void Turn(pBody* b, double angle) {
    b->orientation = QuatFromAxisAngle({0, 0, 1}, angle);
    b->UpdatePlacement();
  }
  pBody* A = nullptr;
  pBody* B = nullptr;
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

TEST_F(JointTest, HingeServoReachesItsAngleWithoutOvershoot) {
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
      x->UpdatePlacement();
      x->UpdateVelocities();
    }
  };
  auto same = [](const Vec3& a, const Vec3& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  Stack(-1, 1);
  pBody* A2 = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 1.0, {0, 0, 10});
  pBody* B2 = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 1.0, {0, 0, 11});
  for (int trial = 0; trial < 100; trial++) {
    randomState(A, A2);
    randomState(B, B2);
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
// and cancel: the body keeps its momenta (to rounding). Missing a body, a
// hinge or strap registers but never acts.
TEST_F(JointTest, JointsWithoutTwoDistinctBodiesExertNothing) {
  A = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 1.0, {0, 0, 10});
  A->angularMomentum = {0.1, 0.2, 0.3};
  A->momentum = {1, 0, 0};
  A->UpdatePlacement();
  A->UpdateVelocities();
  H = Own(new pAxis(A, A, {0.5, 0, 10}, {0, 0, 1}, {1, 0, 0}, 0.3, 0.3));
  H->motorTorque = 50;
  H->springRate = 20;
  const Vec3 L = A->angularMomentum, P = A->momentum;
  pAxis* lone = Own(new pAxis(A, nullptr, {0, 0, 10.5}, {0, 0, 1}, {1, 0, 0}, -1, 1));
  pStrape* loose = Own(new pStrape(A, nullptr, {0, 0, 10}, {2, 0, 10}, {0, 0, 1}, 1.0));
  EXPECT_EQ(lone->point, nullptr);
  ASSERT_EQ(EntityList.count, 4u);
  EXPECT_TRUE(EntityList[2] == lone && EntityList[3] == loose);
  for (int phase : {1, 2, 3, 4, 1}) {
    H->Process(phase);
    lone->Process(phase);
    loose->Process(phase);
    EXPECT_LT(Length(A->angularMomentum - L), 1e-12) << "phase " << phase;
    EXPECT_LT(Length(A->momentum - P), 1e-12) << "phase " << phase;
  }
}

// The pull is worked out once per world step; moved between steps, by the
// integration or by hand, the strap must see where its ends are now.
TEST_F(JointTest, StrapPullFollowsEndsMovedBetweenSteps) {
  Pair();
  Own(new pStrape(A, B, {0, 0, 10}, {2, 0, 10}, {0, 0, 1}, 1.0));
  Step();
  EXPECT_NEAR(B->momentum.x, 0.0, 1e-15) << "slack: gravity only";
  B->position.x = 2.2;
  B->UpdatePlacement();
  Step();
  const double first = B->momentum.x;
  EXPECT_LT(first, 0.0) << "stretched by hand: pulled back";
  // Four sub-steps, four equal pulls of 0.2 * K * 10 (K = 0.5 for two free
  // 1 kg bodies pulled through their centres).
  EXPECT_NEAR(first, -4 * 0.2 * 0.5 * 10, 1e-9);
  EXPECT_NEAR(A->momentum.x + B->momentum.x, 0.0, 1e-15) << "equal and opposite";
  A->momentum = B->momentum = {0, 0, 0};
  A->UpdateVelocities();
  B->UpdateVelocities();
  B->position.x = 2.0;
  B->UpdatePlacement();
  Step();
  EXPECT_NEAR(B->momentum.x, 0.0, 1e-12) << "slack again: the stretched pull is not kept";
}

}  // namespace
