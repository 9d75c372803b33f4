// Aerodynamic surface forces: every triangle moving into the air along its
// outward normal is pushed back along the normal with a force growing with the
// square of its speed. Also the effect record list.
#pragma once
#include <cstdint>

#include "foundation/math.h"

class pBody;

// Four faces' normals and centroids (body frame) and areas side by side, the
// layout the surface force works on four faces at a time. A copy of the
// body's per-triangle arrays that AddTriangle keeps; unused lanes are zero.
struct SurfaceFaceBlock {
  double nx[4], ny[4], nz[4];
  double cx[4], cy[4], cz[4];
  double area[4];
};

// Applies the body's surface impulse for one world step of CurrentDt seconds,
// recomputing the cached impulse when surfaceCounter exceeds surfacePeriod,
// then a fixed angular damping of 0.05 * angularVelocity per step. Nothing at
// all when surfacePeriod is negative.
void SurfaceForces(pBody& body);

// Appends a directional factor: faces moving along direction (body frame,
// normalised; zero becomes +Z) have their force blended toward value * force
// by (cos angle)^exponent.
void AddDirectionalFactor(pBody& body, const Vec3& direction, double value, double exponent);

// An effect record and at the same time a node of the global effect list.
// Virtual operations in slot order: IsFinished, Draw, Force (destructor after).
class pAD_Effect {
 public:
  pAD_Effect* next = nullptr;  // null at the tail
  pAD_Effect* prev = nullptr;  // null at the head

  pAD_Effect() = default;
  pAD_Effect(const pAD_Effect&) = delete;
  pAD_Effect& operator=(const pAD_Effect&) = delete;

  virtual bool IsFinished() { return true; }
  virtual void Draw() {}
  virtual Vec3 Force(const Vec3& /*point*/) { return {0, 0, 0}; }
  virtual ~pAD_Effect() = default;
};

extern pAD_Effect* EffectHead;
extern pAD_Effect* EffectTail;
extern uint32_t EffectCount;

// Appends a record at the tail; the list owns it from then on.
void AddEffect(pAD_Effect* effect);
// The air's velocity at a world point (m/s, world frame): the sum of every
// record's Force there. The surface forces take each face's velocity
// relative to it; with no record it is zero and they are the still-air rule.
Vec3 AirVelocityAt(const Vec3& point);
// Unlinks and destroys every record whose IsFinished returns true.
void PurgeEffects();
