// Rigid bodies: the mesh, the mass properties, the state operations, the
// once-per-step forces and the integration.
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "app/frame_timer.h"
#include "foundation/log.h"
#include "fixture.h"
#include "physics/lanes.h"

namespace {

using BodyTest = PhysicsTest;

TEST_F(BodyTest, UnitCubeMassProperties) {
  pBody* b = Body(CubeTriangles({0, 0, 0}, {1, 1, 1}), 2.0, {0, 0, 0});
  EXPECT_EQ(b->vertices.count, 8u) << "corners are shared";
  EXPECT_DOUBLE_EQ(b->area, 6.0);
  EXPECT_DOUBLE_EQ(b->volume, 1.0);
  EXPECT_DOUBLE_EQ(b->inverseMass, 0.5);
  for (double c : {b->centreLocal.x, b->centreLocal.y, b->centreLocal.z}) EXPECT_DOUBLE_EQ(c, 0.5);
  // m / 6 on the diagonal about the centre, nothing off it.
  for (int i = 0; i < 9; i++) {
    EXPECT_NEAR(b->inertiaBody.m[i], i % 4 == 0 ? 1.0 / 3 : 0.0, 1e-14) << i;
    EXPECT_NEAR(b->inverseInertiaBody.m[i], i % 4 == 0 ? 3.0 : 0.0, 1e-12) << i;
  }
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
  // Moving the mesh moves the centre but not the inertia about it.
  pBody* b = Body(EllipsoidTriangles(a, bb, c, 8), m, {0, 0, 0});
  pBody* t = Body(EllipsoidTriangles(a, bb, c, 8, {3, -2, 5}), m, {0, 0, 0});
  EXPECT_NEAR(t->centreLocal.x, 3, 1e-6);
  EXPECT_NEAR(t->centreLocal.z, 5, 1e-6);
  for (int i = 0; i < 9; i++) EXPECT_NEAR(t->inertiaBody.m[i], b->inertiaBody.m[i], 1e-6 * Izz) << i;
}

// Each kind of unusable model gets its line and a body that still integrates.
TEST_F(BodyTest, BadModelsGetTheirLineAndAUsableBody) {
  // No model (so no volume either), no such node, indices out of range (one
  // past the vertices, a subset running past the triangles, one wrapping 32 bits).
  LogCapture log;
  pBody* none = Own(new pBody(nullptr, "X", 2.0, {1, 2, 3}, {0, 0, 0, 1}));
  auto m = MakeModel("P", CubeTriangles({0, 0, 0}, {1, 1, 1}));
  pBody* missing = Own(new pBody(m.get(), "Q", 2.0, {0, 0, 0}, {0, 0, 0, 1}));
  m->triangles[3].v[1] = 999;
  m->nodes[0].subsets[0].count = 20;
  m->nodes[0].subsets.push(Subset{0xFFFFFFF0u, 0x20});
  pBody* corrupt = Own(new pBody(m.get(), "P", 1.0, {0, 0, 0}, {0, 0, 0, 1}));
  auto lines = log.lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "ERROR! pBody->AddModel get NULL model");
  EXPECT_EQ(lines[1], "pBody->SetMass: mesh encloses no volume (0 triangles), using a box inertia");
  EXPECT_EQ(lines[2], "ERROR! Can not find node \"Q\" in model \"TestModel\"");
  EXPECT_EQ(lines[4], "ERROR! pBody->AddModel: node \"P\" of model \"TestModel\" has triangles out of range");
  EXPECT_EQ(missing->triangles.count, 0u);
  EXPECT_EQ(corrupt->triangles.count, 11u);
  EXPECT_EQ(none->centreLocal.x, 0.0);
  EXPECT_EQ(none->mass, 2.0);
  for (int i = 0; i < 9; i++) EXPECT_TRUE(std::isfinite(none->inverseInertiaBody.m[i]));
  none->angularMomentum = {0.1, 0.2, 0.3};
  none->surfacePeriod = -1;
  Step(20);
  EXPECT_TRUE(std::isfinite(none->orientation.w));
  EXPECT_NE(none->orientation.x, 0.0) << "it still turns";

  // A zero or negative mass would divide by zero: it becomes 1 with a line.
  log.clear();
  none->SetMass(0);
  EXPECT_EQ(log.lines().at(0), "pBody->SetMass: mass 0 is not a positive number, using 1");
  EXPECT_EQ(none->inverseMass, 1.0);
}

TEST_F(BodyTest, GravityAndBuoyancy) {
  pBody* b = Body(CubeTriangles({0, 0, 0}, {1, 1, 1}), 2.0, {0, 0, 5});
  Step(3);
  EXPECT_DOUBLE_EQ(b->velocity.z, -3 * 9.8 * 0.002);

  // Buoyancy 0.1 kg/m3 on 1 m3, 1.2 times stronger 100 m below height 0.
  pBody* deep = Body(CubeTriangles({0, 0, 0}, {1, 1, 1}), 2.0, {0, 0, -100.5});
  deep->buoyancy = 0.1;
  deep->UpdatePlacement();
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
  // Placed by hand on four lanes and on two: exact bounds and the same bits in
  // corners, box, offset and inertias (full matrices, so every product counts).
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
    add(&b->rotation, sizeof(Mat3)), add(&b->inertiaWorld, sizeof(Mat3));
    add(&b->inverseInertiaWorld, sizeof(Mat3)), add(&b->centreOffset, sizeof(Vec3));
    add(&b->box.worldMin, sizeof(Vec3)), add(&b->box.worldMax, sizeof(Vec3)), add(&b->box.orientation, sizeof(Quat));
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
}

}  // namespace
