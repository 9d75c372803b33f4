// Hinges: a shared pivot (pPoint) plus a common axis about which two bodies
// may turn; limits, servo, spring, motor, friction, softening and breaking.
// All of it by impulses on the two bodies' momenta.
#pragma once
#include <cstdint>

#include "foundation/math.h"
#include "physics/entity.h"

class pBody;

// A point shared by two bodies. Not registered in EntityList: its hinge works
// it through SolvePoint.
class pPoint : public pEntity {
 public:
  pBody* bodyA = nullptr;
  pBody* bodyB = nullptr;
  Vec3 anchorA = {0, 0, 0};  // the point in bodyA's frame
  Vec3 anchorB = {0, 0, 0};  // the point in bodyB's frame

  // point: world coordinates.
  pPoint(pBody* bodyA, pBody* bodyB, const Vec3& point);
  void Draw(DebugDraw& sink) override;

  // The anchors rotated into world orientation (rA, rB: relative to the
  // bodies' positions) and the same about the centres of mass (aA, aB). They
  // follow from the rotations alone, which hold still through a world step's
  // sub-steps (WorldStepSerial): worked out once per step, not once per pass.
  struct Levers {
    Vec3 rA, rB, aA, aB;
  };
  const Levers& LeversNow();

 private:
  uint64_t leverStep_ = 0;
  Levers levers_ = {};
};

// The point constraint. Phase 1 removes the relative velocity of the two
// anchors along their relative motion, scaled by strength; phase 3 applies the
// impulse that would close the gap within one world step (PhysicsStep), scaled
// by strength, and writes the gap (metres) to distanceOut when given. Nothing
// for other phases or when a body is missing.
void SolvePoint(pPoint* point, int32_t phase, double* distanceOut, double strength);

class pAxis : public pEntity {
 public:
  pBody* bodyA = nullptr;
  pBody* bodyB = nullptr;
  pPoint* point = nullptr;    // the pivot, owned; null if a body is missing
  Vec3 anchorA = {0, 0, 0};   // pivot in bodyA's frame
  Vec3 anchorB = {0, 0, 0};   // pivot in bodyB's frame
  Vec3 axis = {0, 0, 1};      // unit hinge axis, bodyA's frame
  Vec3 reference = {1, 0, 0}; // perpendicular to axis, bodyA's frame
  Mat3 relRotation;           // (rotationA^T * rotationB)^T at construction
  Quat relOrientation;        // QuatInverse(orientationA) * orientationB at construction
  bool limited = true;        // limits (servo when equal) on
  double angle = 0;           // radians, positive when B turned about +axis relative to A
  double axialRate = 0;       // relative angular velocity about the axis, rad/s
  double targetAngle = 0;     // spring rest angle, radians
  double springRate = 0;      // spring strength; 0 off
  double axialLock = 0;       // fraction of axial relative rotation also removed
  double friction = 0;        // axial friction; 0 off
  double maxAngle = 0;        // radians
  double minAngle = 0;        // radians
  double motorTorque = 0;     // about the axis, N m; 0 off
  double strength = 1.0;      // scale of every impulse
  bool broken = false;        // once set the hinge does nothing
  bool breakable = false;
  double breakAngle = 0.08726646259971647;  // 5 degrees
  double breakDistance = 0.1;               // metres
  // What the hinge has done since a reader last zeroed them (the flight
  // runner's metrics; the simulation never reads them): the angular impulse
  // about the axis it gave body B (N m s; A got the opposite) and the work
  // of those impulses on the relative rotation, impulse times axialRate (J).
  double axialImpulse = 0;
  double axialWork = 0;

  // pivot, axis and reference in world coordinates; angles in radians.
  pAxis(pBody* bodyA, pBody* bodyB, const Vec3& pivot, const Vec3& axis, const Vec3& reference,
        double minAngle, double maxAngle);
  ~pAxis() override;

  // Updates angle from the bodies' current orientations; returns the world axis.
  Vec3 MeasureAngle();

  void Draw(DebugDraw& sink) override;
  // Phase 1: velocity pass; phase 3: position pass. Every call measures the
  // angle first. Nothing when broken or a body is missing.
  void Process(int32_t phase) override;

 private:
  // The angle, the world axis and the pair inertia follow from the two
  // bodies' rotations and world inverse inertias, which hold still through
  // the sub-steps: every one of them would work out the very same bits
  // again. Each is kept for the step it was worked out in (WorldStepSerial).
  uint64_t angleStep = 0, pairInertiaStep = 0;
  double derivedAngle = 0;
  // What the angle was last worked out from. The integration stage measures
  // it after the bodies turned and the next step's force stage measures it
  // again from the very same rotations: then the last answer stands.
  struct AngleKey {
    Mat3 rotationA, rotationB, relRotation;
    Vec3 axis, reference;
  };
  AngleKey angleKey = {};
  bool angleKeyValid = false;
  Vec3 derivedAxisWorld = {0, 0, 1};
  Mat3 pairInertia;
  // Sets angle as MeasureAngle would and returns the world axis.
  Vec3 MeasureAngleCached();
  const Mat3& PairInertiaCached();
  // Process(1) and Process(3), aW the world axis.
  void VelocityPass(const Vec3& aW);
  void PositionPass(const Vec3& aW);

  // The inverse of the relative orientation at hinge angle t (radians). A
  // servo or a hinge against its limit asks for the same angle step after
  // step: the last answer is kept with the exact inputs it came from.
  struct TargetKey {
    double angle;
    Vec3 axis;
    Quat relOrientation;
  };
  TargetKey targetKey;
  bool targetValid = false;
  Quat targetInverse;
  const Quat& TargetInverse(double t);
};
