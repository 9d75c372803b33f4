// Ground contact: the grid broad phase against the linear scan; the narrow phase.
#include <algorithm>
#include <cmath>
#include <random>

#include "fixture.h"
#include "sim/frame_clock.h"

namespace {

using GroundTest = PhysicsTest;

TEST_F(GroundTest, GridCandidatesEqualTheLinearScanOnRandomBoxes) {
  // Hilly terrain of 120 x 120 quads over [0, 300]^2, plus two huge sea triangles,
  // a degenerate one, one with a NaN corner and one with a corrupt index.
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> jitter(-0.3, 0.3);
  MakeGridGround(120, 0, 0, 300.0, [&](double x, double y) {
    return Vec3{x + jitter(rng), y + jitter(rng), 3 * std::sin(x * 0.1) * std::cos(y * 0.13)};
  });
  uint32_t s = GroundVertices.count;
  for (Vec3 p : {Vec3{-1e4, -1e4, -1}, {1e4, -1e4, -1}, {1e4, 1e4, -1}, {-1e4, 1e4, -1}, {NAN, 5, 0}})
    GroundVertices.push(p);
  for (Triangle t : {Triangle{{s, s + 1, s + 2}}, Triangle{{s, s + 2, s + 3}}, Triangle{{0, 0, 0}},
                     Triangle{{s + 4, 1, 2}}, Triangle{{1, 2, 0xFFFFFFFFu}}})
    GroundTriangles.push(t);
  GroundMeshChanged();
  std::uniform_real_distribution<double> pos(-20, 320), ext(0, 15), hz(-6, 6);
  Array<uint32_t> grid, linear;
  auto same = [&](const Vec3& lo, const Vec3& hi, double margin) {
    GroundCandidates(lo, hi, margin, grid);
    GroundCandidatesLinear(lo, hi, margin, linear);
    return grid.count == linear.count && std::equal(grid.begin(), grid.end(), linear.begin());
  };
  size_t nonEmpty = 0;
  for (int k = 0; k < 3000; k++) {
    Vec3 lo = {pos(rng), pos(rng), hz(rng)}, hi = lo + Vec3{ext(rng), ext(rng), ext(rng)};
    if (k % 50 == 0) std::swap(lo.x, hi.x);  // inverted boxes too
    if (k % 97 == 0) hi = {1e300, 1e300, 1e300};
    ASSERT_TRUE(same(lo, hi, 2.0)) << "box " << k;
    nonEmpty += grid.count > 3;
  }
  EXPECT_GT(nonEmpty, 1000u) << "the boxes meet terrain, not just the sea";
  EXPECT_TRUE(same({NAN, 0, 0}, {1, 1, 1}, 2.0)) << "a non-finite box";
  // The corrupt triangle is never a candidate, the NaN one always.
  GroundCandidatesLinear({-1e9, -1e9, -1e9}, {1e9, 1e9, 1e9}, 2.0, linear);
  EXPECT_EQ(linear.count, GroundTriangles.count - 1);
  // The grid follows changes of the mesh: a triangle added, then every vertex
  // moved 1 km east in place (same counts, same storage).
  for (Vec3 p : {Vec3{150, 150, 50}, {151, 150, 50}, {150, 151, 50}}) GroundVertices.push(p);
  uint32_t v = GroundVertices.count;
  GroundTriangles.push(Triangle{{v - 3, v - 2, v - 1}});
  EXPECT_TRUE(same({149, 149, 49}, {150, 150, 50.5}, 0.0));
  ASSERT_GT(grid.count, 0u);
  EXPECT_EQ(grid[grid.count - 1], GroundTriangles.count - 1);
  for (Vec3& p : GroundVertices) p.x += 1000;
  EXPECT_TRUE(same({1100, 100, -5}, {1110, 110, 5}, 2.0));
  EXPECT_GT(grid.count, 10u);
}

using ContactTest = PhysicsTest;

TEST_F(ContactTest, StopPushOutCappedFrictionBandAndPrediction) {
  MakeFlatGround(50, 0);
  // A 2 kg tetrahedron with its lowest corner at the local origin, placed at
  // `at` with the given momentum, after one contact with the ground at height 0.
  auto touch = [&](const Vec3& at, const Vec3& momentum, double frictionLimit = 1.0) {
    const Vec3 o{0, 0, 0}, p{1, -1, 1}, q{-1, -1, 1}, r{0, 1, 1};
    pBody* b = Body({o, p, q, o, r, p, o, q, r, p, r, q}, 2.0, at);
    b->frictionLimit = frictionLimit, b->momentum = momentum;
    b->UpdatePlacement(), b->UpdateVelocities();
    GroundContact(*b);
    b->UpdateVelocities();
    return b;
  };
  pBody* b = touch({0.3, 0.2, -0.01}, {0, 0, -2});
  EXPECT_EQ(b->contactTriangles.count, 2u);
  EXPECT_NEAR(b->PointVelocity({0, 0, 0}).z, 0.0, 1e-12) << "the corner's velocity along N is gone";
  EXPECT_NEAR(b->position.z, -0.01 + 0.001, 1e-15) << "pushed out";
  EXPECT_EQ(b->position.x, 0.3) << "no sliding, no push sideways";
  EXPECT_TRUE(b->momentum.x == 0.0 && b->momentum.y == 0.0) << "no friction without sliding";
  // Sliding fast: the friction impulse is capped at frictionLimit * 20000 * dt = 0.02 N s.
  EXPECT_NEAR(touch({0.3, 0.2, -0.01}, {2 * 5.0, 0, -2}, 0.0005)->momentum.x, 10.0 - 0.02, 1e-12);
  EXPECT_EQ(touch({0.3, 0.2, -0.06}, {0, 0, -2})->momentum.z, -2.0) << "0.06 below: outside the band";
  // Above the plane, fast enough to cross it in this step (30 m/s: 0.06 m): caught, not pushed.
  pBody* fast = touch({0.3, 0.2, 0.05}, {0, 0, -2 * 30});
  EXPECT_NEAR(fast->PointVelocity({0, 0, 0}).z, 0.0, 1e-12);
  EXPECT_EQ(fast->position.z, 0.05);
  // A body without vertices does nothing at all.
  pBody* empty = Own(new pBody(nullptr, "none", 1.0, {0, 0, -0.01}, {0, 0, 0, 1}));
  GroundContact(*empty);
  EXPECT_EQ(empty->contactTriangles.count, 0u);
}

}  // namespace
