// Test meshes and world set-up shared by the physics suites: closed meshes
// held in an in-memory model, so bodies are built exactly as the aircraft
// builds them, and a fixture that leaves the global physics state clean.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "assets/model.h"
#include "physics/physics.h"

// Triangles as corner triples, body frame, counter-clockwise seen from outside.
using TriangleList = std::vector<Vec3>;

TriangleList CubeTriangles(const Vec3& lo, const Vec3& hi);
// An ellipsoid with semi-axes a, b, c about the origin: `rings` latitude bands
// and 2 * rings longitude segments.
TriangleList EllipsoidTriangles(double a, double b, double c, int rings);
// A flat square of side 1 in the plane z = 0 facing +z, centred on the origin.
TriangleList SquareTriangles();

// A model with one node of the given name made of the triangles (positions
// stored as floats, as a loaded model holds them).
std::unique_ptr<MDL> MakeModel(const char* nodeName, const TriangleList& tris);

// A flat ground of two triangles covering [-size, size]^2 at height z.
void MakeFlatGround(double size, double z);

// Places a body's derived state (world vertices, centre offset, box hull)
// for its current position and orientation, as an integration would.
void Place(pBody& body);

// Sum over all bodies of the state bits, for determinism checks.
uint64_t HashBodies(const std::vector<pBody*>& bodies);

class PhysicsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A body owned by the fixture from the triangles, with surface forces and
  // buoyancy off unless the test turns them on.
  pBody* Body(const TriangleList& tris, double mass, const Vec3& position,
              const Quat& orientation = {0, 0, 0, 1}, bool quiet = true);
  template <class T>
  T* Own(T* e) {
    owned_.emplace_back(e);
    return e;
  }
  void Step(int n = 1);  // world steps as the main loop runs them

  std::vector<std::unique_ptr<MDL>> models_;
  std::vector<std::unique_ptr<pEntity>> owned_;
};
