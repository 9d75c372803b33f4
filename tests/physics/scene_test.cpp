// Whole scenes over the ground: resting, landing and reproducibility.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "app/frame_timer.h"
#include "meshes.h"

namespace {

using SceneTest = PhysicsTest;

double LowestCorner(const pBody* b) {
  double z = INFINITY;
  for (uint32_t i = 0; i < b->worldVertices.count; i++)
    z = std::fmin(z, b->worldVertices[i].z + b->position.z);
  return z;
}

TEST_F(SceneTest, BodyAtRestOnFlatGroundStaysAtRest) {
  MakeFlatGround(50, 0);
  pBody* b = Body(CubeTriangles({0, 0, 0}, {1, 1, 1}), 10.0, {0.2, 0.1, 0}, {0, 0, 0, 1}, false);
  Step(64);
  Vec3 p0 = b->position;
  Step(2000);
  EXPECT_LT(Length(b->position - p0), 1e-3);
  EXPECT_LT(Length(b->velocity), 0.02);
  EXPECT_LT(Length(b->angularVelocity), 0.02);
  EXPECT_GT(LowestCorner(b), -0.05);
  EXPECT_LT(LowestCorner(b), 0.01);
  EXPECT_GT(b->orientation.w, 0.99999);
}

TEST_F(SceneTest, BodyDroppedFromTwentyMetresLandsAndStaysAbove) {
  MakeFlatGround(100, 0);
  Quat tilt = QuatMul(QuatFromAxisAngle({1, 0, 0}, 0.3), QuatFromAxisAngle({0, 1, 0}, 0.2));
  pBody* cube = Body(CubeTriangles({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), 20.0, {3.3, -2.1, 20}, tilt, false);
  pBody* egg = Body(EllipsoidTriangles(0.6, 0.4, 0.5, 10), 8.0, {-4.2, 5.7, 20}, tilt, false);
  double lowest = INFINITY;
  bool landed = false;
  for (int i = 0; i < 4000; i++) {
    Step();
    for (pBody* b : {cube, egg}) {
      lowest = std::fmin(lowest, LowestCorner(b));
      ASSERT_TRUE(std::isfinite(b->position.z));
    }
    landed = landed || LowestCorner(cube) < 0.05;
  }
  EXPECT_TRUE(landed);
  EXPECT_GT(lowest, -0.05) << "no corner goes through the ground";
  EXPECT_LT(std::fabs(LowestCorner(cube)), 0.05);
  EXPECT_LT(std::fabs(LowestCorner(egg)), 0.05);
  EXPECT_LT(Length(cube->velocity), 0.1);
}

// Bodies, hinges (one a level-0 servo), straps, surface forces and hilly ground.
uint64_t RunScene(int steps) {
  std::vector<std::unique_ptr<MDL>> models;
  std::vector<std::unique_ptr<pEntity>> owned;
  std::vector<pBody*> bodies;
  StepCounter = 0;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> bump(-0.2, 0.2);
  GroundVertices.clear();
  GroundTriangles.clear();
  const int n = 30;
  for (int j = 0; j <= n; j++)
    for (int i = 0; i <= n; i++) GroundVertices.push({-30.0 + 2 * i, -30.0 + 2 * j, bump(rng)});
  for (int j = 0; j < n; j++)
    for (int i = 0; i < n; i++) {
      uint32_t a = j * (n + 1) + i;
      GroundTriangles.push(Triangle{{a, a + 1, a + n + 2}});
      GroundTriangles.push(Triangle{{a, a + n + 2, a + n + 1}});
    }
  GroundMeshChanged();
  auto body = [&](const TriangleList& t, double m, Vec3 p) {
    models.push_back(MakeModel("P", t));
    pBody* b = new pBody(models.back().get(), "P", m, p, QuatFromAxisAngle({0.3, 1, 0.2}, 0.4));
    owned.emplace_back(b);
    bodies.push_back(b);
    return b;
  };
  pBody* hull = body(CubeTriangles({-1, -2, -0.5}, {1, 2, 0.5}), 200, {0, 0, 3});
  pBody* wing = body(CubeTriangles({0, -0.5, -0.05}, {2, 0.5, 0.05}), 20, {1, 0, 3});
  pBody* leg = body(CubeTriangles({-0.1, -0.1, -1}, {0.1, 0.1, 0}), 10, {0, 1, 2.5});
  pBody* balloon = body(EllipsoidTriangles(1, 2, 1, 8), 5, {0, 0, 7});
  balloon->buoyancy = 1.2;
  AddDirectionalFactor(*balloon, {0, 1, 0}, 0.05, 0.5);
  AddDirectionalFactor(*balloon, {0, -1, 0}, 0.1, 0.5);
  wing->surfacePeriod = 2;
  AddDirectionalFactor(*wing, {0, 0, -1}, 7, 0.5);
  pAxis* flap = new pAxis(hull, wing, {1, 0, 3}, {0, 1, 0}, {1, 0, 0}, -0.5, 0.5);
  flap->minAngle = flap->maxAngle = 0.4;
  flap->level = 0;
  owned.emplace_back(flap);
  pAxis* knee = new pAxis(hull, leg, {0, 1, 2.5}, {1, 0, 0}, {0, 1, 0}, -1, 1);
  knee->friction = 5;
  knee->springRate = 50;
  owned.emplace_back(knee);
  owned.emplace_back(new pStrape(hull, balloon, {0.5, 1, 3.5}, {0.3, 0.5, 6}, {0, 0, 1}, 1));
  owned.emplace_back(new pStrape(hull, balloon, {-0.5, -1, 3.5}, {-0.3, -0.5, 6}, {0, 0, 1}, 1));
  for (int i = 0; i < steps; i++) {
    if (i % 500 == 0) flap->minAngle = flap->maxAngle = -flap->maxAngle;
    CurrentDt = PhysicsStep;
    WorldStep();
    StepCounter++;
  }
  uint64_t h = HashBodies(bodies);
  for (pBody* b : bodies) EXPECT_TRUE(std::isfinite(b->position.z));
  EXPECT_LT(leg->position.z, 2.5) << "the scene moved";
  while (!owned.empty()) owned.pop_back();
  return h;
}

TEST_F(SceneTest, TwoRunsOfTheSameSceneAreBitIdentical) {
  uint64_t a = RunScene(10000);
  uint64_t b = RunScene(10000);
  std::printf("scene hash after 10000 steps: %016llx\n", (unsigned long long)a);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, RunScene(9999)) << "the hash sees the state";
}

}  // namespace
