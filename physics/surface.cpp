#include "physics/surface.h"

#include <cmath>

#include "app/frame_timer.h"
#include "physics/body.h"

pAD_Effect* EffectHead = nullptr;
pAD_Effect* EffectTail = nullptr;
uint32_t EffectCount = 0;

void SurfaceForces(pBody& body) {
  if (body.surfacePeriod < 0) return;
  const double dt = CurrentDt;
  if (body.surfaceCounter > uint32_t(body.surfacePeriod)) {
    body.surfaceCounter = 0;
    body.surfaceImpulse = {0, 0, 0};
    body.surfaceAngularImpulse = {0, 0, 0};
    for (uint32_t i = 0; i < body.triangles.count; i++) {
      Vec3 n = VecMulMat3(body.normals[i], body.rotation);
      Vec3 c = VecMulMat3(body.centroids[i], body.rotation);
      // The air is at rest: the face meets it with its own velocity.
      Vec3 v = body.PointVelocity(c);
      double s2 = LengthSq(v);
      Vec3 u = s2 == 0 ? Vec3{0, 0, 1} : v / Length(v);
      double cosine = Dot(u, n);
      if (cosine < 0) cosine = 0;
      double f = std::fmax(1.0, 1 - 0.002 * (c.z + body.position.z));
      double F = 10.0 * body.dragScale * f * s2 * cosine * body.areas[i];
      for (uint32_t j = 0; j < body.factorDirections.count; j++) {
        Vec3 e = VecMulMat3(body.factorDirections[j], body.rotation);
        double a = Dot(u, e);
        if (a < 0) a = 0;
        double t = std::pow(a, body.factorExponents[j]);
        F = t * F * body.factorValues[j] + (1 - t) * F;
      }
      Vec3 J = -n * F * dt;
      body.surfaceImpulse += J;
      body.surfaceAngularImpulse += Cross(c - body.centreOffset, J);
    }
  }
  body.surfaceCounter += 1;
  body.momentum += body.surfaceImpulse;
  body.angularMomentum += body.surfaceAngularImpulse;
  // A fixed amount per world step, not scaled by the step.
  body.angularMomentum -= 0.05 * body.angularVelocity;
}

void AddDirectionalFactor(pBody& body, const Vec3& direction, double value, double exponent) {
  body.factorDirections.push(Normalize(direction));
  body.factorValues.push(value);
  body.factorExponents.push(exponent);
}

void AddEffect(pAD_Effect* effect) {
  effect->next = nullptr;
  effect->prev = EffectTail;
  if (EffectTail)
    EffectTail->next = effect;
  else
    EffectHead = effect;
  EffectTail = effect;
  EffectCount++;
}

void PurgeEffects() {
  pAD_Effect* e = EffectHead;
  while (e) {
    pAD_Effect* following = e->next;  // read before the record may go
    if (e->IsFinished()) {
      if (e->prev)
        e->prev->next = e->next;
      else
        EffectHead = e->next;
      if (e->next)
        e->next->prev = e->prev;
      else
        EffectTail = e->prev;
      EffectCount--;
      delete e;
    }
    e = following;
  }
}
