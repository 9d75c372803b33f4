// Rigid body: mesh, mass properties from the mesh, state as momenta, and the
// once-per-step forces (gravity, buoyancy, surface pressure, ground contact)
// followed by a semi-implicit integration about the centre of mass.
// Units: metres, kilograms, seconds, radians; world +Z is up.
#pragma once
#include <cstdint>

#include "assets/model.h"
#include "foundation/array.h"
#include "foundation/math.h"
#include "foundation/str.h"
#include "physics/entity.h"
#include "physics/surface.h"

// A body's kinematic state, kept as the last known finite values so a blown-up
// step can be undone.
struct pBodyState {
  Vec3 position;
  Quat orientation;
  Vec3 momentum;
  Vec3 angularMomentum;
};

// In the operations below, "a point relative to the body" is a world-oriented
// vector from `position` to the point.
class pBody : public pEntity {
 public:
  double frictionLimit;       // scales the cap on ground friction impulses; 1.0
  Vec3 position;              // world, origin of the body frame (metres)
  Quat orientation;           // body-to-world rotation
  Mat3 rotation;              // QuatToMat3(orientation): rows are the body axes in world
  Vec3 momentum;              // world, kg m/s
  Vec3 angularVelocity;       // world, rad/s
  Vec3 velocity;              // world, of the centre of mass, m/s
  Vec3 angularMomentum;       // world, about the centre of mass
  double mass, inverseMass;   // kg; 1.0 until SetMass
  Mat3 inertiaBody, inverseInertiaBody;    // body frame, about the centre of mass
  Mat3 inertiaWorld, inverseInertiaWorld;  // world frame; identity until the first integration
  Vec3 centreLocal;           // centre of mass, body frame
  Vec3 centreOffset;          // centre of mass minus position, world orientation
  double volume;              // m^3 enclosed by the mesh
  double area;                // m^2 of all triangles
  double buoyancy;            // density of the surrounding medium, kg/m^3; 0.1
  double dragScale;           // multiplier of the surface pressure forces; 1.0
  Array<Vec3> vertices;       // distinct mesh corners, body frame
  Array<Vec3> worldVertices;  // the same rotated into world orientation (not translated)
  Vec3 worldVertexMin, worldVertexMax;  // bounds of worldVertices, kept with them
  Array<Triangle> triangles;  // corner indices into vertices
  Array<Vec3> contactVertices;       // copied corners of nearby ground triangles, world
  Array<Triangle> contactTriangles;  // indices into contactVertices
  // Unit normal n and offset d (n . p = d on the plane) of each contact
  // triangle, worked out when the triangles are chosen.
  Array<Vec3> contactNormals;
  Array<double> contactOffsets;
  Array<Vec3> normals;        // unit normal per triangle, body frame
  Array<double> areas;        // area per triangle
  Array<Vec3> centroids;      // centroid per triangle, body frame
  Array<SurfaceFaceBlock> faceBlocks;  // normals, centroids and areas again, four faces a block
  Array<Vec3> factorDirections;    // directional factors, unit, body frame
  Array<double> factorValues;
  Array<double> factorExponents;
  Vec3 surfaceImpulse;        // cached surface impulse per world step, world
  Vec3 surfaceAngularImpulse; // cached, about the centre of mass, world
  uint32_t surfaceCounter;    // steps since the cache was refreshed; 0
  int32_t surfacePeriod;      // cache refresh period; negative switches surface forces off; 0
  Box box;                    // bounds of vertices (body frame) and their world hull

  // Last state that was entirely finite (taken after each integration), and
  // whether the current blow-up has been reported already.
  pBodyState lastFinite;
  bool nonFiniteReported;

  // Builds the body from the triangles of the named node of model, with the
  // given mass (kg), world position and orientation, and registers it.
  pBody(MDL* model, const String& nodeName, double mass, const Vec3& position,
        const Quat& orientation);
  ~pBody() override;

  void AddModel(MDL* model, const String& nodeName);
  // One triangle, body frame; corners equal in all three components are shared.
  void AddTriangle(const Vec3& p0, const Vec3& p1, const Vec3& p2);
  // Mass in kg; volume, centre of mass and inertia from the mesh (uniform density).
  void SetMass(double m);

  Vec3 LocalToWorld(const Vec3& p) const;  // p * rotation + position
  Vec3 WorldToLocal(const Vec3& p) const;  // (p - position) * rotation^T
  // World velocity of the point r (relative to the body).
  Vec3 PointVelocity(const Vec3& r) const;
  // The mass an impulse along unit n at r (relative to the body) sees.
  double EffectiveMass(const Vec3& r, const Vec3& n) const;
  // Adds impulse J (world, N s) at r (relative to the body) to the momenta;
  // velocities are left as they are.
  void ApplyImpulse(const Vec3& r, const Vec3& J);
  void UpdateVelocities();  // velocities from the momenta
  void UpdateDerived();     // rotation and world inertia from the orientation
  // UpdateDerived, then the box's world hull, centreOffset and worldVertices
  // (with their bounds) for the current position and orientation.
  void UpdatePlacement();

  void Draw(DebugDraw& sink) override;
  void DrawDetail(DebugDraw& sink, double intensity) override;
  // Phase 2: gravity, buoyancy, surface forces, ground contact.
  // Phase 4: integration. Other phases do nothing.
  void Process(int32_t phase) override;
  // Phase 2 in its two halves, in this order (the step's profile times them
  // apart): gravity, buoyancy and the surface forces; then ground contact.
  void AirForces();
  void GroundForces();
};

// The state operations run in every inner loop of the world step: inline.
inline Vec3 pBody::PointVelocity(const Vec3& r) const {
  return Cross(angularVelocity, r - centreOffset) + velocity;
}

inline double pBody::EffectiveMass(const Vec3& r, const Vec3& n) const {
  Vec3 a = r - centreOffset;
  Vec3 w = VecMulMat3(Cross(a, n), inverseInertiaWorld);
  return 1 / Dot(n, n * inverseMass + Cross(w, a));
}

inline void pBody::ApplyImpulse(const Vec3& r, const Vec3& J) {
  momentum += J;
  angularMomentum += Cross(r - centreOffset, J);
}

inline void pBody::UpdateVelocities() {
  velocity = momentum * inverseMass;
  angularVelocity = VecMulMat3(angularMomentum, inverseInertiaWorld);
}
