// A strap: an elastic band between a point on each of two bodies that pulls
// them together when stretched beyond its rest length and does nothing slack.
#pragma once
#include <cstdint>

#include "foundation/math.h"
#include "physics/entity.h"

class pBody;

class pStrape : public pEntity {
 public:
  pBody* bodyA = nullptr;
  pBody* bodyB = nullptr;
  double stiffness = 0;       // stored; the pull rule does not use it
  Vec3 anchorA = {0, 0, 0};   // end A in bodyA's frame
  Vec3 anchorB = {0, 0, 0};   // end B in bodyB's frame
  double restLength = 0;      // metres, the ends' distance at construction
  double tension = 0;         // N, the pull of the latest step (read by the runner's metrics only)

  // pointA, pointB: world coordinates. up is accepted and not used. Registered
  // even when a body is missing (it then never acts).
  pStrape(pBody* bodyA, pBody* bodyB, const Vec3& pointA, const Vec3& pointB, const Vec3& up,
          double stiffness);

  Vec3 EndA() const;  // world position of end A (bodyA required)
  Vec3 EndB() const;  // world position of end B (bodyB required)

  void Draw(DebugDraw& sink) override;
  void Process(int32_t phase) override;  // phase 1 only

 private:
  // The bodies hold still through the sub-steps, so each sub-step's pull is
  // the same: worked out at the first of them (WorldStepSerial) and kept.
  uint64_t pullStep = 0;
  Vec3 leverA = {0, 0, 0}, leverB = {0, 0, 0};  // ends relative to the bodies, world
  Vec3 pullA = {0, 0, 0}, pullB = {0, 0, 0};    // impulses on A and B, N s
};
