// Rigid bodies: the mesh, the mass properties, the state operations, the
// once-per-step forces and the integration.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "app/frame_timer.h"
#include "foundation/log.h"
#include "meshes.h"
#include "physics/lanes.h"

namespace {

using BodyTest = PhysicsTest;

TEST_F(BodyTest, CubeMassPropertiesAndTranslatedMesh) {
  pBody* b = Body(CubeTriangles({0, 0, 0}, {1, 1, 1}), 2.0, {0, 0, 0});
  EXPECT_EQ(b->vertices.count, 8u) << "corners are shared";
  EXPECT_DOUBLE_EQ(b->volume, 1.0);
  for (int i = 0; i < 9; i++) EXPECT_NEAR(b->inverseInertiaBody.m[i], i % 4 == 0 ? 3.0 : 0.0, 1e-12) << i;
  // Translating the mesh moves the centre but not the inertia about it.
  pBody* t = Body(CubeTriangles({3, -2, 5}, {4, -1, 6}), 2.0, {0, 0, 0});
  EXPECT_NEAR(t->centreLocal.x, 3.5, 1e-12);
  EXPECT_NEAR(t->centreLocal.z, 5.5, 1e-12);
  for (int i = 0; i < 9; i++) EXPECT_NEAR(t->inertiaBody.m[i], b->inertiaBody.m[i], 1e-11) << i;
}

TEST_F(BodyTest, EllipsoidVolumeAndInertiaConvergeToAnalyticValues) {
  const double a = 1.3, bb = 2.6, c = 0.9, m = 5.0;
  const double pi = 3.141592653589793;
  const double V = 4.0 / 3.0 * pi * a * bb * c;
  const double Ixx = m / 5 * (bb * bb + c * c), Iyy = m / 5 * (a * a + c * c),
               Izz = m / 5 * (a * a + bb * bb);
  double lastErr = 1e9;
  for (int rings : {8, 16, 32, 64}) {
    pBody* b = Body(EllipsoidTriangles(a, bb, c, rings), m, {0, 0, 0});
    double err = std::fabs(b->volume - V) / V;
    err = std::fmax(err, std::fabs(b->inertiaBody.m[0] - Ixx) / Ixx);
    err = std::fmax(err, std::fabs(b->inertiaBody.m[4] - Iyy) / Iyy);
    err = std::fmax(err, std::fabs(b->inertiaBody.m[8] - Izz) / Izz);
    EXPECT_LT(err, lastErr * 0.5) << rings << " rings: refining must shrink the error";
    lastErr = err;
    EXPECT_NEAR(b->centreLocal.z, 0, 1e-6);
    EXPECT_NEAR(b->inertiaBody.m[5], 0, 1e-6 * Izz);
  }
  EXPECT_LT(lastErr, 0.005);
}

TEST_F(BodyTest, TriangleSharingDegenerateTrianglesAndOpenMeshes) {
  LogCapture log;
  // Two triangles sharing an edge: 4 corners, not 6.
  pBody* sq = Body(SquareTriangles(), 1.0, {0, 0, 0});
  EXPECT_EQ(sq->vertices.count, 4u);
  EXPECT_EQ(sq->normals[0].z, 1.0);
  // A flat open mesh through the origin encloses nothing: the mass is kept,
  // the centre is the mean corner, the inertia finite and invertible.
  EXPECT_EQ(log.lines().at(0),
            "pBody->SetMass: mesh encloses no volume (2 triangles), using a box inertia");
  EXPECT_EQ(sq->mass, 1.0);
  EXPECT_EQ(sq->centreLocal.x, 0.0);
  for (int i = 0; i < 9; i++) EXPECT_TRUE(std::isfinite(sq->inverseInertiaBody.m[i]));
  EXPECT_GT(sq->inverseInertiaBody.m[8], 0.0);

  // A degenerate triangle: normal +Z, area 0; a repeated corner is shared.
  pBody* d = Body({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}, 3.0, {0, 0, 0});
  EXPECT_EQ(d->normals[0].z, 1.0);
  EXPECT_EQ(d->areas[0], 0.0);
  d->AddTriangle({0, 0, 0}, {0, 0, 0}, {1, 1, 1});
  EXPECT_EQ(d->vertices.count, 3u);
  EXPECT_EQ(d->triangles[1].v[1], 0u);

  // No model and no node: the design's lines, an empty mesh at the origin
  // that still integrates to finite values.
  log.clear();
  pBody* none = Own(new pBody(nullptr, "X", 2.0, {1, 2, 3}, {0, 0, 0, 1}));
  auto m = MakeModel("A Proxy", CubeTriangles({0, 0, 0}, {1, 1, 1}));
  pBody* missing = Own(new pBody(m.get(), "A Prox", 2.0, {0, 0, 0}, {0, 0, 0, 1}));
  auto lines = log.lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "ERROR! pBody->AddModel get NULL model");
  EXPECT_EQ(lines[1], "pBody->SetMass: mesh encloses no volume (0 triangles), using a box inertia");
  EXPECT_EQ(lines[2], "ERROR! Can not find node \"A Prox\" in model \"TestModel\"");
  EXPECT_EQ(none->centreLocal.x, 0.0);
  EXPECT_EQ(missing->triangles.count, 0u);
  none->angularMomentum = {0.1, 0.2, 0.3};
  none->surfacePeriod = -1;
  Step(20);
  EXPECT_TRUE(std::isfinite(none->orientation.w));
  EXPECT_NE(none->orientation.x, 0.0) << "it still turns";
}

TEST_F(BodyTest, CorruptModelIndicesAreSkippedWithOneLine) {
  auto m = MakeModel("P", CubeTriangles({0, 0, 0}, {1, 1, 1}));
  m->triangles[3].v[1] = 999;           // vertex out of range
  m->nodes[0].subsets[0].count = 20;    // runs past the triangle array
  m->nodes[0].subsets.push(Subset{0xFFFFFFF0u, 0x20});  // wraps 32 bits
  LogCapture log;
  pBody* b = Own(new pBody(m.get(), "P", 1.0, {0, 0, 0}, {0, 0, 0, 1}));
  EXPECT_EQ(b->triangles.count, 11u);
  ASSERT_GE(log.lines().size(), 1u);
  EXPECT_EQ(log.lines()[0],
            "ERROR! pBody->AddModel: node \"P\" of model \"TestModel\" has triangles out of range");
}

TEST_F(BodyTest, PointOperations) {
  // Turned 90 degrees about Z, at (10, 0, 0).
  Quat q = QuatFromAxisAngle({0, 0, 1}, 1.5707963267948966);
  pBody* b = Body(CubeTriangles({-1, -1, -1}, {1, 1, 1}), 4.0, {10, 0, 0}, q);
  Vec3 w = b->LocalToWorld({1, 0, 0});
  EXPECT_NEAR(w.y, 1, 1e-12);
  EXPECT_NEAR(b->WorldToLocal(w).x, 1, 1e-12);
  // At the centre an impulse sees the whole mass; off-centre and across, less.
  Place(*b);
  EXPECT_NEAR(b->EffectiveMass({0, 0, 0}, {1, 0, 0}), 4.0, 1e-12);
  EXPECT_LT(b->EffectiveMass({0, 1, 0}, {1, 0, 0}), 4.0);
  // An impulse at an arm adds the angular momentum r x J, velocities untouched.
  b->ApplyImpulse({0, 1, 0}, {2, 0, 0});
  EXPECT_EQ(b->momentum.x, 2.0);
  EXPECT_EQ(b->angularMomentum.z, -2.0);
  EXPECT_EQ(b->velocity.x, 0.0);
  b->UpdateVelocities();
  EXPECT_EQ(b->velocity.x, 0.5);
  EXPECT_NE(b->PointVelocity({0, 1, 0}).x, 0.5) << "the turn adds to the point's velocity";
}

TEST_F(BodyTest, GravityAndBuoyancy) {
  pBody* b = Body(CubeTriangles({0, 0, 0}, {1, 1, 1}), 2.0, {0, 0, 5});
  Step(3);
  EXPECT_DOUBLE_EQ(b->velocity.z, -3 * 9.8 * 0.002);

  // Buoyancy 0.1 kg/m3 on 1 m3, 1.2 times stronger 100 m below height 0.
  pBody* deep = Body(CubeTriangles({0, 0, 0}, {1, 1, 1}), 2.0, {0, 0, -100.5});
  deep->buoyancy = 0.1;
  Place(*deep);
  CurrentDt = 0.002;
  deep->Process(2);
  double h = -100.5 + 0.5;
  EXPECT_DOUBLE_EQ(deep->momentum.z, -9.8 * 2.0 * 0.002 + 9.8 * 0.1 * 1.0 * (1 - 0.002 * h) * 0.002);
}

TEST_F(BodyTest, IntegrationTurnsAboutTheCentreOfMass) {
  // A cube whose origin is a corner: spinning must not move its centre.
  pBody* b = Body(CubeTriangles({0, 0, 0}, {1, 1, 1}), 1.0, {3, 4, 50});
  b->angularMomentum = {0.05, 0.1, 0.2};
  b->momentum = {0.5, 0, 0};
  Step(1);  // the first integration brings the world inertia in line
  Vec3 c0 = b->position + b->centreOffset;
  Step(100);
  Vec3 c1 = b->position + b->centreOffset;
  // The centre drifts with its velocity and falls under gravity, nothing else.
  double t = 100 * 0.002;
  EXPECT_NEAR(c1.x - c0.x, 0.5 * t, 1e-9);
  EXPECT_NEAR(c1.y - c0.y, 0, 1e-9);
  EXPECT_NEAR(b->LocalToWorld(b->vertices[7]).x, b->worldVertices[7].x + b->position.x, 1e-12);
  double qn = b->orientation.x * b->orientation.x + b->orientation.y * b->orientation.y +
              b->orientation.z * b->orientation.z + b->orientation.w * b->orientation.w;
  EXPECT_NEAR(qn, 1.0, 1e-9);
}

// Ground contact reads the world corners' bounds instead of visiting every
// corner each step: they must be the corners' exact bounds at all times.
TEST_F(BodyTest, WorldVertexBoundsFollowTheCorners) {
  auto expectExact = [](const pBody& b, const char* when) {
    Vec3 lo = b.worldVertices[0], hi = lo;
    for (const Vec3& v : b.worldVertices) {
      lo = {std::fmin(lo.x, v.x), std::fmin(lo.y, v.y), std::fmin(lo.z, v.z)};
      hi = {std::fmax(hi.x, v.x), std::fmax(hi.y, v.y), std::fmax(hi.z, v.z)};
    }
    EXPECT_TRUE(lo.x == b.worldVertexMin.x && lo.y == b.worldVertexMin.y && lo.z == b.worldVertexMin.z) << when;
    EXPECT_TRUE(hi.x == b.worldVertexMax.x && hi.y == b.worldVertexMax.y && hi.z == b.worldVertexMax.z) << when;
  };
  pBody* b = Body(CubeTriangles({-1, -2, -3}, {1, 2, 3}), 1.0, {0, 0, 50});
  expectExact(*b, "built");
  b->angularMomentum = {0.3, -0.2, 0.5};
  Step(7);
  expectExact(*b, "turned");
  b->AddTriangle({5, 0, 0}, {0, 6, 0}, {0, 0, -7});  // unturned, as added corners are
  expectExact(*b, "grown");
  b->orientation = QuatFromAxisAngle({1, 1, 0}, 0.7);
  b->UpdatePlacement();
  expectExact(*b, "placed by hand");
  // Four lanes and two give the same bits: corners, box, offset, inertias
  // (full matrices, so that every product and sum counts).
  const uint32_t widthBefore = PhysicsLaneWidth;
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> r(-1, 1);
  Quat turn;
  auto placed = [&](uint32_t width) {
    PhysicsLaneWidth = width;
    b->orientation = turn;
    b->UpdatePlacement();
    expectExact(*b, width == 4 ? "four lanes" : "two lanes");
    std::vector<double> state;
    auto add = [&](const void* p, size_t n) {
      const double* d = static_cast<const double*>(p);
      state.insert(state.end(), d, d + n / sizeof(double));
    };
    add(b->worldVertices.data, b->worldVertices.count * sizeof(Vec3));
    add(&b->rotation, sizeof(Mat3));
    add(&b->inertiaWorld, sizeof(Mat3));
    add(&b->inverseInertiaWorld, sizeof(Mat3));
    add(&b->box.worldMin, sizeof(Vec3));
    add(&b->box.worldMax, sizeof(Vec3));
    add(&b->box.orientation, sizeof(Quat));
    add(&b->centreOffset, sizeof(Vec3));
    return state;
  };
  for (int trial = 0; trial < 20; trial++) {
    for (double& v : b->inertiaBody.m) v = r(rng);
    for (double& v : b->inverseInertiaBody.m) v = r(rng);
    b->centreLocal = {r(rng), r(rng), r(rng)};
    turn = QuatFromAxisAngle({r(rng), r(rng), r(rng)}, 3 * r(rng));
    std::vector<double> four = placed(4), two = placed(2);
    ASSERT_EQ(four.size(), two.size());
    EXPECT_EQ(std::memcmp(four.data(), two.data(), four.size() * sizeof(double)), 0) << "trial " << trial;
  }
  PhysicsLaneWidth = widthBefore;
}

TEST_F(BodyTest, NonFiniteStateIsRestoredAndReportedOnce) {
  pBody* b = Body(CubeTriangles({0, 0, 0}, {1, 1, 1}), 1.0, {0, 0, 10});
  Step(3);
  Vec3 p = b->position;
  Quat o = b->orientation;
  Vec3 mo = b->momentum;
  LogCapture log;
  b->momentum.x = NAN;
  Step(1);
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_EQ(log.lines()[0], "pBody: state became non-finite, restored to the last finite state");
  EXPECT_EQ(b->position.z, p.z);
  EXPECT_EQ(b->orientation.w, o.w);
  EXPECT_EQ(b->momentum.z, mo.z);
  // It keeps failing without a new line, then recovers.
  b->angularMomentum.y = INFINITY;
  Step(1);
  EXPECT_EQ(log.lines().size(), 1u);
  EXPECT_TRUE(std::isfinite(b->angularVelocity.y));
  Step(5);
  EXPECT_LT(b->position.z, p.z) << "falls again";
  b->momentum.z = NAN;
  Step(1);
  EXPECT_EQ(log.lines().size(), 2u) << "a new episode is reported again";

  // A zero or negative mass would divide by zero: it becomes 1 with a line.
  log.clear();
  b->SetMass(0);
  EXPECT_EQ(log.lines().at(0), "pBody->SetMass: mass 0 is not a positive number, using 1");
  EXPECT_EQ(b->inverseMass, 1.0);
}

}  // namespace
