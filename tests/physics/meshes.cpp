#include "meshes.h"

#include <cmath>

#include "sim/frame_clock.h"

TriangleList CubeTriangles(const Vec3& lo, const Vec3& hi) {
  Vec3 c[8];
  for (int i = 0; i < 8; i++) c[i] = {i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z};
  // Faces as quads (outward, counter-clockwise), split into two triangles.
  const int q[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  TriangleList t;
  for (auto& f : q) t.insert(t.end(), {c[f[0]], c[f[1]], c[f[2]], c[f[0]], c[f[2]], c[f[3]]});
  return t;
}

TriangleList EllipsoidTriangles(double a, double b, double c, int rings, const Vec3& centre) {
  const double pi = 3.141592653589793;
  int segs = 2 * rings;
  auto P = [&](int i, int j) {
    double th = pi * i / rings, ph = 2 * pi * (j % segs) / segs;
    if (i == 0 || i == rings) return Vec3{0, 0, i == 0 ? c : -c} + centre;
    return Vec3{a * std::sin(th) * std::cos(ph), b * std::sin(th) * std::sin(ph), c * std::cos(th)} + centre;
  };
  TriangleList t;
  for (int i = 0; i < rings; i++)
    for (int j = 0; j < segs; j++) {
      Vec3 p00 = P(i, j), p01 = P(i, j + 1), p10 = P(i + 1, j), p11 = P(i + 1, j + 1);
      if (i != 0) t.insert(t.end(), {p00, p10, p01});
      if (i != rings - 1) t.insert(t.end(), {p01, p10, p11});
    }
  return t;
}

std::unique_ptr<MDL> MakeModel(const char* nodeName, const TriangleList& tris) {
  auto m = std::make_unique<MDL>();
  m->name = "TestModel";
  ModelNode node{};
  node.name = nodeName;
  node.subsets.push(Subset{0, uint32_t(tris.size() / 3)});
  for (const Vec3& p : tris) m->vertices.push(ModelVertex{{float(p.x), float(p.y), float(p.z)}, {}, {}, {}, {}, {}});
  for (uint32_t i = 0; i < tris.size() / 3; i++) m->triangles.push(Triangle{{3 * i, 3 * i + 1, 3 * i + 2}});
  m->nodes.push(node);
  return m;
}

void ResetWorld() {
  ClearEntityList();
  GroundVertices.clear(), GroundTriangles.clear();
  GroundMeshChanged();
  WorldStepAircraftHook = nullptr;
  PhysicsStep = 0.002;
  CurrentDt = 0.002;
  StepCounter = 0;
}

void StepWorld(int n) {
  for (int i = 0; i < n; i++) ClockedWorldStep(PhysicsStep);
}

uint64_t HashBodies(const std::vector<pBody*>& bodies) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&](const void* p, size_t n) {
    for (size_t i = 0; i < n; i++) h = (h ^ static_cast<const uint8_t*>(p)[i]) * 1099511628211ull;
  };
  for (const pBody* b : bodies) {
    for (const Vec3* v : {&b->position, &b->momentum, &b->angularMomentum}) mix(v, sizeof *v);
    mix(&b->orientation, sizeof b->orientation);
  }
  return h;
}

pBody* PhysicsWorld::Body(const TriangleList& tris, double mass, const Vec3& position, const Quat& orientation) {
  models.push_back(MakeModel("Mesh Proxy", tris));
  pBody* b = Own(new pBody(models.back().get(), "Mesh Proxy", mass, position, orientation));
  bodies.push_back(b);
  return b;
}
