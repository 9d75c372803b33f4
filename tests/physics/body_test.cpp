// Rigid bodies: mass properties, bad models, forces, integration, corner bounds, non-finite state.
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "fixture.h"
#include "foundation/log.h"
#include "physics/lanes.h"
#include "sim/frame_clock.h"

namespace {

using BodyTest = PhysicsTest;

TEST_F(BodyTest, UnitCubeMassProperties) {
  pBody* b = Body(CubeTriangles({0, 0, 0}, {1, 1, 1}), 2.0, {0, 0, 0});
  EXPECT_EQ(b->vertices.count, 8u) << "corners are shared";
  for (auto [x, want] : {std::pair{b->area, 6.0}, {b->volume, 1.0}, {b->inverseMass, 0.5}}) EXPECT_DOUBLE_EQ(x, want);
  for (double c : {b->centreLocal.x, b->centreLocal.y, b->centreLocal.z}) EXPECT_DOUBLE_EQ(c, 0.5);
  // m / 6 on the diagonal about the centre, nothing off it.
  for (int i = 0; i < 9; i++) {
    EXPECT_NEAR(b->inertiaBody.m[i], i % 4 == 0 ? 1.0 / 3 : 0.0, 1e-14) << i;
    EXPECT_NEAR(b->inverseInertiaBody.m[i], i % 4 == 0 ? 3.0 : 0.0, 1e-12) << i;
  }
}

TEST_F(BodyTest, EllipsoidVolumeAndInertiaConvergeToAnalyticValues) {
  const double a = 1.3, bb = 2.6, c = 0.9, m = 5.0;
  const double V = 4.0 / 3.0 * 3.141592653589793 * a * bb * c;
  const double Ixx = m / 5 * (bb * bb + c * c), Iyy = m / 5 * (a * a + c * c), Izz = m / 5 * (a * a + bb * bb);
  double lastErr = 1e9;
  for (int rings : {8, 16, 32, 64}) {
    pBody* b = Body(EllipsoidTriangles(a, bb, c, rings), m, {0, 0, 0});
    const double* I = b->inertiaBody.m;
    double err = std::fmax(std::fabs(b->volume - V) / V, std::fabs(I[0] - Ixx) / Ixx);
    err = std::fmax(err, std::fmax(std::fabs(I[4] - Iyy) / Iyy, std::fabs(I[8] - Izz) / Izz));
    EXPECT_LT(err, lastErr * 0.5) << rings << " rings: refining must shrink the error";
    lastErr = err;
    EXPECT_NEAR(b->centreLocal.z, 0, 1e-6);
    EXPECT_NEAR(I[5], 0, 1e-6 * Izz);
  }
  EXPECT_LT(lastErr, 0.005);
}

// No model (so no volume), no such node, indices out of range (past the vertices, a subset
// past the triangles, one wrapping 32 bits): each gets its line and a body that still integrates.
TEST_F(BodyTest, BadModelsGetTheirLineAndAUsableBody) {
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
  EXPECT_TRUE(missing->triangles.count == 0 && corrupt->triangles.count == 11);
  EXPECT_TRUE(SameBits(none->centreLocal, Vec3{0, 0, 0}) && none->mass == 2.0) << "mass kept, centre at the origin";
  for (int i = 0; i < 9; i++) EXPECT_TRUE(std::isfinite(none->inverseInertiaBody.m[i]));
  none->angularMomentum = {0.1, 0.2, 0.3}, none->surfacePeriod = -1;
  Step(20);
  EXPECT_TRUE(std::isfinite(none->orientation.w));
  EXPECT_NE(none->orientation.x, 0.0) << "it still turns";
  // A zero or negative mass would divide by zero: it becomes 1 with a line.
  log.clear();
  none->SetMass(0);
  EXPECT_EQ(log.lines().at(0), "pBody->SetMass: mass 0 is not a positive number, using 1");
  EXPECT_EQ(none->inverseMass, 1.0);
}

TEST_F(BodyTest, GravityBuoyancyWithItsHeightFactorAndIntegrationAboutTheCentre) {
  pBody* b = Body(CubeTriangles({0, 0, 0}, {1, 1, 1}), 2.0, {0, 0, -100.5});
  Step(3);
  EXPECT_DOUBLE_EQ(b->velocity.z, -3 * 9.8 * 0.002);
  // Buoyancy of 0.1 kg/m3 on 1 m3, 1.2 times stronger 100 m below height 0.
  b->position.z = -100.5, b->momentum = {0, 0, 0}, b->buoyancy = 0.1;
  b->UpdatePlacement(), b->Process(2);
  double h = -100.5 + 0.5;
  EXPECT_DOUBLE_EQ(b->momentum.z, -9.8 * 2.0 * 0.002 + 9.8 * 0.1 * 1.0 * (1 - 0.002 * h) * 0.002);
  // The cube's origin is a corner: spinning must not move its centre.
  b->buoyancy = 0, b->angularMomentum = {0.05, 0.1, 0.2}, b->momentum = {1.0, 0, 0};  // 0.5 m/s
  Step(1);  // the first integration brings the world inertia in line
  Vec3 c0 = b->position + b->centreOffset;
  Step(100);
  Vec3 c1 = b->position + b->centreOffset;
  // The centre drifts with its velocity (and falls), nothing else; the turn stays a unit quaternion.
  EXPECT_NEAR(c1.x - c0.x, 0.5 * 100 * 0.002, 1e-9);
  EXPECT_NEAR(c1.y - c0.y, 0, 1e-9);
  const Quat& q = b->orientation;
  EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0, 1e-9);
}

// Ground contact reads the world corners' bounds instead of visiting every
// corner each step: they must be the corners' exact bounds at all times.
TEST_F(BodyTest, WorldVertexBoundsFollowTheCorners) {
  auto expectExact = [](const pBody& b, const char* when) {
    Vec3 lo = b.worldVertices[0], hi = lo;
    for (const Vec3& v : b.worldVertices) ExtendBounds(lo, hi, v);
    auto eq = [](const Vec3& u, const Vec3& v) { return u.x == v.x && u.y == v.y && u.z == v.z; };
    EXPECT_TRUE(eq(lo, b.worldVertexMin) && eq(hi, b.worldVertexMax)) << when;
  };
  pBody* b = Body(CubeTriangles({-1, -2, -3}, {1, 2, 3}), 1.0, {0, 0, 50});
  expectExact(*b, "built");
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
    const double* corners = &b->worldVertices[0].x;
    std::vector<double> s(corners, corners + 3 * b->worldVertices.count);
    for (const Mat3* m : {&b->rotation, &b->inertiaWorld, &b->inverseInertiaWorld}) s.insert(s.end(), m->m, m->m + 9);
    for (const Vec3* v : {&b->centreOffset, &b->box.worldMin, &b->box.worldMax}) s.insert(s.end(), {v->x, v->y, v->z});
    const Quat& o = b->box.orientation;
    s.insert(s.end(), {o.x, o.y, o.z, o.w});
    return s;
  };
  for (int trial = 0; trial < 20; trial++) {
    for (int i = 0; i < 9; i++) b->inertiaBody.m[i] = r(rng), b->inverseInertiaBody.m[i] = r(rng);
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
  const Vec3 p = b->position, mo = b->momentum;
  const Quat o = b->orientation;
  LogCapture log;
  b->momentum.x = NAN;
  Step(1);
  EXPECT_EQ(log.lines(), std::vector<std::string>{"pBody: state became non-finite, restored to the last finite state"});
  EXPECT_TRUE(SameBits(b->position, p) && SameBits(b->orientation, o) && SameBits(b->momentum, mo));
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
  // A cached surface impulse that blew up is worked out again after the
  // restore, not re-applied for the rest of its period.
  pBody* s = Body(CubeTriangles({0, 0, 0}, {1, 1, 1}), 1.0, {5, 0, 10});
  s->surfacePeriod = 50;
  Step(2);
  s->surfaceImpulse.x = NAN;
  Step(1);
  const Vec3 restored = s->position;
  Step(1);
  EXPECT_EQ(log.lines().size(), 3u);
  EXPECT_TRUE(std::isfinite(s->surfaceImpulse.x) && s->position.z != restored.z) << "moving again";
  // A real volume whose inertia cannot be inverted (a 10 micrometre cube of
  // 1e-100 kg: its determinant underflows) keeps its volume, so its
  // buoyancy; only the inertia falls back to the box's.
  log.clear();
  pBody* tiny = Body(CubeTriangles({0, 0, 0}, {1e-5, 1e-5, 1e-5}), 1e-100, {0, 0, 0});
  EXPECT_EQ(log.lines(), std::vector<std::string>{"pBody->SetMass: mesh inertia is not finite (12 triangles), using a box inertia"});
  EXPECT_NEAR(tiny->volume / 1e-15, 1.0, 1e-6);
  EXPECT_NEAR(tiny->centreLocal.z / 0.5e-5, 1.0, 1e-6);
  for (double v : tiny->inverseInertiaBody.m) EXPECT_TRUE(std::isfinite(v));
}

}  // namespace
