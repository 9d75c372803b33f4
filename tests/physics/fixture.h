// The physics suites' fixture: a world left clean before and after each test.
#pragma once
#include <gtest/gtest.h>

#include <cstring>

#include "tests/physics/meshes.h"

// Bit-for-bit equality of plain data.
template <class T>
bool SameBits(const T& a, const T& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class PhysicsTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetWorld(); }
  void TearDown() override {
    world_.Clear();
    EXPECT_EQ(EntityList.count, 0u) << "every owned entity leaves the list";
    ResetWorld();
  }
  // A body owned by the fixture; surface forces and buoyancy off unless quiet is false.
  pBody* Body(const TriangleList& tris, double mass, const Vec3& position,
              const Quat& orientation = {0, 0, 0, 1}, bool quiet = true) {
    pBody* b = world_.Body(tris, mass, position, orientation);
    if (quiet) b->surfacePeriod = -1, b->buoyancy = 0;
    return b;
  }
  template <class T>
  T* Own(T* e) { return world_.Own(e); }
  void Step(int n = 1) { StepWorld(n); }
  PhysicsWorld world_;
};
