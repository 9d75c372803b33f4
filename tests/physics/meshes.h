// Meshes, grounds and world ownership shared by the physics tests and benchmarks (so no
// test framework here). Bodies are built from an in-memory model, as the aircraft builds them.
#pragma once
#include <memory>
#include <vector>

#include "assets/model.h"
#include "physics/physics.h"

// Triangles as corner triples, counter-clockwise seen from outside.
using TriangleList = std::vector<Vec3>;

TriangleList CubeTriangles(const Vec3& lo, const Vec3& hi);
// An ellipsoid with semi-axes a, b, c about centre: `rings` latitude bands, 2 * rings longitude segments.
TriangleList EllipsoidTriangles(double a, double b, double c, int rings, const Vec3& centre = {0, 0, 0});

// A model with one node of the given name made of the triangles (float positions, as loaded).
std::unique_ptr<MDL> MakeModel(const char* nodeName, const TriangleList& tris);

// Ground of n x n quads over [x0, x0 + size] x [y0, y0 + size], two triangles
// each; point(x, y) gives the vertex at each grid position, row by row.
template <class Point>
void MakeGridGround(int n, double x0, double y0, double size, Point point) {
  GroundVertices.clear(), GroundTriangles.clear();
  for (int j = 0; j <= n; j++)
    for (int i = 0; i <= n; i++) GroundVertices.push(point(x0 + size * i / n, y0 + size * j / n));
  for (int j = 0; j < n; j++)
    for (int i = 0; i < n; i++) {
      uint32_t a = j * (n + 1) + i;
      GroundTriangles.push(Triangle{{a, a + 1, a + n + 2}});
      GroundTriangles.push(Triangle{{a, a + n + 2, a + n + 1}});
    }
  GroundMeshChanged();
}
// Two triangles covering [-size, size]^2 at height z, split along x == y.
inline void MakeFlatGround(double size, double z) {
  MakeGridGround(1, -size, -size, 2 * size, [z](double x, double y) { return Vec3{x, y, z}; });
}

// Empty entity list and ground, no aircraft hook, StepCounter 0, 2 ms steps.
void ResetWorld();
// World steps as the main loop runs them.
void StepWorld(int n = 1);
// FNV-1a over every body's integrated state, for determinism checks.
uint64_t HashBodies(const std::vector<pBody*>& bodies);

// Owns a scene's models and entities; entities go newest first, as an owner destroys them.
struct PhysicsWorld {
  std::vector<std::unique_ptr<MDL>> models;
  std::vector<std::unique_ptr<pEntity>> owned;
  std::vector<pBody*> bodies;

  pBody* Body(const TriangleList& tris, double mass, const Vec3& position, const Quat& orientation = {0, 0, 0, 1});
  template <class T>
  T* Own(T* e) { return static_cast<T*>(owned.emplace_back(e).get()); }
  void Clear() {
    while (!owned.empty()) owned.pop_back();
    bodies.clear();
  }
  ~PhysicsWorld() { Clear(); }
};
