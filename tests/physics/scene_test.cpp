// Whole scenes over the ground: landing, resting and reproducibility.
#include <cmath>
#include <cstdio>
#include <random>

#include "fixture.h"
#include "sim/frame_clock.h"

namespace {

using SceneTest = PhysicsTest;

double LowestCorner(const pBody* b) {
  double z = INFINITY;
  for (const Vec3& v : b->worldVertices) z = std::fmin(z, v.z + b->position.z);
  return z;
}

TEST_F(SceneTest, BodiesDroppedFromTwentyMetresLandStayAboveAndComeToRest) {
  MakeFlatGround(100, 0);
  Quat tilt = QuatMul(QuatFromAxisAngle({1, 0, 0}, 0.3), QuatFromAxisAngle({0, 1, 0}, 0.2));
  pBody* cube = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 20.0, {3.3, -2.1, 20}, tilt, false);
  pBody* egg = Body(EllipsoidTriangles(0.6, 0.4, 0.5, 10), 8.0, {-4.2, 5.7, 20}, tilt, false);
  double lowest = INFINITY;
  for (int i = 0; i < 4000; i++) {
    Step();
    lowest = std::fmin(lowest, std::fmin(LowestCorner(cube), LowestCorner(egg)));
  }
  EXPECT_GT(lowest, -0.05) << "no corner goes through the ground";
  EXPECT_LT(std::fabs(LowestCorner(cube)), 0.05);
  EXPECT_LT(std::fabs(LowestCorner(egg)), 0.05);
  // Landed, it stays at rest.
  Vec3 p0 = cube->position;
  Step(2000);
  EXPECT_LT(Length(cube->position - p0), 1e-3);
  EXPECT_LT(Length(cube->velocity), 0.02);
  EXPECT_LT(Length(cube->angularVelocity), 0.02);
  EXPECT_GT(LowestCorner(cube), -0.05);
}

// Bodies, hinges (one a level-0 servo), straps, surface forces and hilly ground.
uint64_t RunScene(int steps) {
  PhysicsWorld world;
  StepCounter = 0;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> bump(-0.2, 0.2);
  MakeGridGround(30, -30, -30, 60, [&](double x, double y) { return Vec3{x, y, bump(rng)}; });
  const Quat q = QuatFromAxisAngle({0.3, 1, 0.2}, 0.4);
  pBody* hull = world.Body(CubeTriangles({-1, -2, -0.5}, {1, 2, 0.5}), 200, {0, 0, 3}, q);
  pBody* wing = world.Body(CubeTriangles({0, -0.5, -0.05}, {2, 0.5, 0.05}), 20, {1, 0, 3}, q);
  pBody* leg = world.Body(CubeTriangles({-0.1, -0.1, -1}, {0.1, 0.1, 0}), 10, {0, 1, 2.5}, q);
  pBody* balloon = world.Body(EllipsoidTriangles(1, 2, 1, 8), 5, {0, 0, 7}, q);
  balloon->buoyancy = 1.2, wing->surfacePeriod = 2;
  AddDirectionalFactor(*balloon, {0, 1, 0}, 0.05, 0.5);
  AddDirectionalFactor(*balloon, {0, -1, 0}, 0.1, 0.5);
  AddDirectionalFactor(*wing, {0, 0, -1}, 7, 0.5);
  pAxis* flap = world.Own(new pAxis(hull, wing, {1, 0, 3}, {0, 1, 0}, {1, 0, 0}, -0.5, 0.5));
  flap->minAngle = flap->maxAngle = 0.4, flap->level = 0;
  pAxis* knee = world.Own(new pAxis(hull, leg, {0, 1, 2.5}, {1, 0, 0}, {0, 1, 0}, -1, 1));
  knee->friction = 5, knee->springRate = 50;
  world.Own(new pStrape(hull, balloon, {0.5, 1, 3.5}, {0.3, 0.5, 6}, {0, 0, 1}, 1));
  world.Own(new pStrape(hull, balloon, {-0.5, -1, 3.5}, {-0.3, -0.5, 6}, {0, 0, 1}, 1));
  for (int i = 0; i < steps; i++) {
    if (i % 500 == 0) flap->minAngle = flap->maxAngle = -flap->maxAngle;
    StepWorld();
  }
  for (pBody* b : world.bodies) EXPECT_TRUE(std::isfinite(b->position.z));
  EXPECT_LT(leg->position.z, 2.5) << "the scene moved";
  return HashBodies(world.bodies);
}

TEST_F(SceneTest, TwoRunsOfTheSameSceneAreBitIdentical) {
  const uint64_t a = RunScene(10000), b = RunScene(10000);
  std::printf("scene hash after 10000 steps: %016llx\n", (unsigned long long)a);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, RunScene(9999)) << "the hash sees the state";
}

}  // namespace
