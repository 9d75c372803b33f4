#include "physics/strap.h"

#include <cmath>

#include "physics/body.h"
#include "physics/debug_draw.h"
#include "sim/frame_clock.h"

pStrape::pStrape(pBody* a, pBody* b, const Vec3& pointA, const Vec3& pointB, const Vec3& /*up*/,
                 double stiffness_) {
  level = 2;
  kind = 3;
  bodyA = a;
  bodyB = b;
  stiffness = stiffness_;
  if (a && b) {
    anchorA = a->WorldToLocal(pointA);
    anchorB = b->WorldToLocal(pointB);
    restLength = Length(pointB - pointA);
  }
  RegisterEntity(this);
}

Vec3 pStrape::EndA() const { return bodyA->LocalToWorld(anchorA); }
Vec3 pStrape::EndB() const { return bodyB->LocalToWorld(anchorB); }

void pStrape::Process(int32_t phase) {
  if (phase != 1 || !bodyA || !bodyB) return;
  pBody& A = *bodyA;
  pBody& B = *bodyB;
  if (WorldStepSerial == 0 || pullStep != WorldStepSerial) {
    Vec3 pA = A.LocalToWorld(anchorA);
    Vec3 pB = B.LocalToWorld(anchorB);
    double L = Length(pB - pA);
    leverA = pA - A.position;
    leverB = pB - B.position;
    Vec3 n = Normalize(pB - pA);
    double KA = A.EffectiveMass(leverA, n);
    double KB = B.EffectiveMass(leverB, n);
    double x = std::fmax(0.0, L - restLength);
    // Pulls only; the same impulse whatever the sub-step length.
    double J = x * (KA * KB / (KA + KB)) * 10.0;
    pullA = n * J;
    pullB = -n * J;
    pullStep = WorldStepSerial;
    tension = CurrentDt > 0 ? J / CurrentDt : 0;  // the impulse comes once per sub-step
  }
  A.ApplyImpulse(leverA, pullA);
  B.ApplyImpulse(leverB, pullB);
  A.UpdateVelocities();
  B.UpdateVelocities();
}

void pStrape::Draw(DebugDraw& sink) {
  if (!bodyA || !bodyB) return;
  Vec3 a = EndA();
  Vec3 b = EndB();
  double L = Length(b - a);
  float r = 0, g = 1, bl = 0;
  if (L > restLength + 0.1) {
    r = 1, g = 0;
  } else if (L < restLength - 0.1) {
    g = 0, bl = 1;
  }
  sink.SetPose({0, 0, 0}, {0, 0, 0, 1});
  sink.Line(a, r, g, bl, 1, b, r, g, bl, 1);
}
