// World step of a scene shaped like the aircraft: 15 bodies from closed
// meshes of 80-288 triangles, 13 hinges (two of them solved once per step),
// 4 straps, standing on a terrain of about 100,000 ground triangles.
//
//   taskset -c 1 build/bench/physics/physics_bench --benchmark_repetitions=5
//
// WorldStep: the average over the 64-step cycle; WorldStepTwoLanes: the same
// on the two-lane path every x86-64 takes (four lanes need AVX2);
// BroadPhaseStep: a step in which every body rebuilds its ground candidates;
// NarrowPhaseStep: the 63 steps in between; BroadPhase{Grid,Linear}: one
// body's candidate query. Pinning to one core steadies the figures.
#include <benchmark/benchmark.h>

#include <cmath>

#include "physics/lanes.h"
#include "sim/frame_clock.h"
#include "tests/physics/meshes.h"

namespace {

double TerrainHeight(double x, double y) {
  double r2 = x * x + y * y;
  return 3 * std::sin(x / 37) * std::cos(y / 53) * (1 - std::exp(-r2 / 900));
}

struct Scene {
  PhysicsWorld world;
  std::vector<pBody*>& bodies = world.bodies;

  // Mesh in model coordinates, as the aircraft's proxies are: the body sits at the origin.
  pBody* Body(double a, double b, double c, int rings, double mass, Vec3 centre) {
    return world.Body(EllipsoidTriangles(a, b, c, rings, centre), mass, {0, 0, 0});
  }
  pAxis* Hinge(pBody* a, pBody* b, Vec3 pivot, Vec3 axis, Vec3 ref, double angle) {
    pAxis* h = world.Own(new pAxis(a, b, pivot, axis, ref, -1, 1));
    h->minAngle = h->maxAngle = angle;
    return h;
  }

  Scene() {
    ResetWorld();
    // About 100,000 ground triangles over 1 km, hills away from the origin.
    MakeGridGround(224, -500, -500, 1000, [](double x, double y) { return Vec3{x, y, TerrainHeight(x, y)}; });

    const double z = 1.9;  // fuselage centre: the feet touch the ground
    pBody* fuselage = Body(0.4, 2.0, 0.5, 9, 1500, {0, 0, z});
    fuselage->buoyancy = 1.0;
    fuselage->surfacePeriod = 5;
    pBody* balloon = Body(1.3, 2.6, 1.3, 8, 50, {0, 0, z + 5});
    balloon->buoyancy = 100;
    balloon->dragScale = 15;
    balloon->surfacePeriod = 2;
    AddDirectionalFactor(*balloon, {0, 1, 0}, 0.05, 0.5);
    AddDirectionalFactor(*balloon, {0, -1, 0}, 0.1, 0.5);
    pBody* wing[2], *wing2[2];
    for (int s = 0; s < 2; s++) {
      double sx = s ? -1 : 1;
      wing[s] = Body(1.0, 0.5, 0.04, 6, 50, {sx * 3.0, 0, z + 0.3});
      wing[s]->dragScale = 2;
      AddDirectionalFactor(*wing[s], {0, 0, -1}, 7, 0.5);
      wing2[s] = Body(0.8, 0.5, 0.04, 5, 50, {sx * 1.2, 0, z + 0.3});
      wing2[s]->surfacePeriod = -1;
    }
    pBody* tail = Body(0.9, 0.35, 0.03, 5, 40, {0, -2.65, z});
    tail->dragScale = 5;
    tail->surfacePeriod = 2;
    pBody* tail2 = Body(0.03, 0.35, 0.45, 5, 40, {0, -2.65, z + 0.5});
    tail2->dragScale = 5;
    tail2->surfacePeriod = 2;
    pBody* leg[2][3];
    for (int s = 0; s < 2; s++) {
      double sx = s ? -0.3 : 0.3;
      leg[s][0] = Body(0.08, 0.08, 0.3, 5, 50, {sx, 0.3, z - 0.8});
      leg[s][1] = Body(0.07, 0.07, 0.3, 5, 40, {sx, 0.3, z - 1.4});
      leg[s][2] = Body(0.1, 0.25, 0.05, 5, 30, {sx, 0.3, z - 1.85});
      leg[s][2]->frictionLimit = 10;
      for (pBody* b : leg[s]) b->surfacePeriod = -1;
    }
    pBody* camera = Body(0.15, 0.15, 0.15, 5, 20, {0, 1.5, z + 0.7});

    Hinge(fuselage, tail, {0, -2.3, z}, {1, 0, 0}, {0, -1, 0}, 0);
    Hinge(fuselage, tail2, {0, -2.3, z + 0.2}, {0, 0, 1}, {0, -1, 0}, 0);
    for (int s = 0; s < 2; s++) {
      double sx = s ? -1 : 1;
      Hinge(fuselage, wing2[s], {sx * 0.4, 0, z + 0.3}, {0, -sx, 0}, {1, 0, 0}, 0)->level = 0;
      Hinge(wing2[s], wing[s], {sx * 2.0, 0, z + 0.3}, {1, 0, 0}, {0, 1, 0}, 0);
    }
    for (int s = 0; s < 2; s++) {
      double sx = s ? -0.3 : 0.3;
      Hinge(fuselage, leg[s][0], {sx, 0.3, z - 0.5}, {1, 0, 0}, {0, 0, -1}, 0);
      Hinge(leg[s][0], leg[s][1], {sx, 0.3, z - 1.1}, {1, 0, 0}, {0, 0, -1}, 0);
      Hinge(leg[s][1], leg[s][2], {sx, 0.3, z - 1.7}, {1, 0, 0}, {0, 0, -1}, 0);
    }
    for (int k = 0; k < 4; k++) {
      double sx = (k & 1) ? -0.4 : 0.4, sy = (k & 2) ? -1.5 : 1.5;
      world.Own(new pStrape(fuselage, balloon, {sx, sy, z + 0.5}, {sx * 0.5, sy * 0.8, z + 3.8},
                            {0, 1, 0}, 0.04));
    }
    pAxis* cam = Hinge(fuselage, camera, {0, 1.5, z - 0.3}, {1, 0, 0}, {0, 0, 1}, 0);
    cam->strength = 0.2;
    cam->axialLock = 0.1;
    StepWorld(1000);  // settle on the ground first
  }
  ~Scene() {
    world.Clear();
    ResetWorld();
  }
  void Step() { StepWorld(); }
};

void BM_WorldStep(benchmark::State& state) {
  Scene scene;
  for (auto _ : state) scene.Step();
  state.counters["bodies"] = double(scene.bodies.size());
  state.counters["ground_triangles"] = double(GroundTriangles.count);
  uint32_t candidates = 0;
  for (pBody* b : scene.bodies) candidates += b->contactTriangles.count;
  state.counters["candidates"] = double(candidates);
  state.counters["z_fuselage"] = scene.bodies[0]->position.z + scene.bodies[0]->centreOffset.z;
  state.counters["lanes"] = UseFourLanes() ? 4 : 2;
}
BENCHMARK(BM_WorldStep)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void BM_WorldStepTwoLanes(benchmark::State& state) {
  const uint32_t before = PhysicsLaneWidth;
  PhysicsLaneWidth = 2;
  BM_WorldStep(state);
  PhysicsLaneWidth = before;
}
BENCHMARK(BM_WorldStepTwoLanes)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void BM_BroadPhaseStep(benchmark::State& state) {
  Scene scene;
  for (auto _ : state) {
    StepCounter = (StepCounter + 63) & ~63u;  // a rebuild step
    scene.Step();
  }
}
BENCHMARK(BM_BroadPhaseStep)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

void BM_NarrowPhaseStep(benchmark::State& state) {
  Scene scene;
  for (auto _ : state) {
    if ((StepCounter & 63) == 0) StepCounter++;  // never a rebuild
    scene.Step();
  }
}
BENCHMARK(BM_NarrowPhaseStep)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

template <bool Grid>
void BM_BroadPhaseQuery(benchmark::State& state) {
  Scene scene;
  Array<uint32_t> out;
  const Box& box = scene.bodies[0]->box;
  for (auto _ : state) {
    if (Grid)
      GroundCandidates(box.worldMin, box.worldMax, 2.0, out);
    else
      GroundCandidatesLinear(box.worldMin, box.worldMax, 2.0, out);
    benchmark::DoNotOptimize(out.data);
  }
  state.counters["candidates"] = out.count;
}
BENCHMARK_TEMPLATE(BM_BroadPhaseQuery, true)->Name("BroadPhaseGrid")->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_BroadPhaseQuery, false)->Name("BroadPhaseLinear")->Unit(benchmark::kMicrosecond);

}  // namespace
