#include "physics/surface.h"

#include <cmath>

#include "app/frame_timer.h"
#include "physics/body.h"

pAD_Effect* EffectHead = nullptr;
pAD_Effect* EffectTail = nullptr;
uint32_t EffectCount = 0;

namespace {

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// A face that does not move into the air gets F = 0, and its impulse is then
// a signed zero that leaves the sums as they are, provided everything else in
// the formulas is finite. Then such faces can be passed over.
bool IdleFacesAddNothing(const pBody& body, double dt) {
  if (!std::isfinite(body.dragScale) || !std::isfinite(dt) || !Finite(body.position) ||
      !Finite(body.centreOffset))
    return false;
  for (double v : body.rotation.m)
    if (!std::isfinite(v)) return false;
  for (uint32_t j = 0; j < body.factorValues.count; j++)
    if (!std::isfinite(body.factorValues[j]) || !(body.factorExponents[j] >= 0)) return false;
  return true;
}

}  // namespace

void SurfaceForces(pBody& body) {
  if (body.surfacePeriod < 0) return;
  const double dt = CurrentDt;
  if (body.surfaceCounter > uint32_t(body.surfacePeriod)) {
    const bool skipIdle = IdleFacesAddNothing(body, dt);
    // The factor directions in world orientation, the same for every face.
    const uint32_t nf = body.factorDirections.count;
    static Array<Vec3> directions;
    directions.resize(nf);
    for (uint32_t j = 0; j < nf; j++) directions[j] = VecMulMat3(body.factorDirections[j], body.rotation);
    body.surfaceCounter = 0;
    body.surfaceImpulse = {0, 0, 0};
    body.surfaceAngularImpulse = {0, 0, 0};
    for (uint32_t i = 0; i < body.triangles.count; i++) {
      Vec3 n = VecMulMat3(body.normals[i], body.rotation);
      Vec3 c = VecMulMat3(body.centroids[i], body.rotation);
      // The air is at rest: the face meets it with its own velocity.
      Vec3 v = body.PointVelocity(c);
      double s2 = LengthSq(v);
      if (skipIdle && std::isfinite(body.areas[i])) {
        // Clearly moving away from the air: its cosine below would be
        // negative. The margin dwarfs the rounding of either form.
        double vn = Dot(v, n);
        double size = (std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z)) *
                      (std::fabs(n.x) + std::fabs(n.y) + std::fabs(n.z));
        if (s2 == 0 || vn < -1e-9 * size) continue;
      }
      Vec3 u = s2 == 0 ? Vec3{0, 0, 1} : v / Length(v);
      double cosine = Dot(u, n);
      if (cosine < 0) cosine = 0;
      if (skipIdle && (cosine == 0 || s2 == 0) && std::isfinite(body.areas[i])) continue;
      double h = 1 - 0.002 * (c.z + body.position.z);
      double f = h > 1.0 ? h : 1.0;  // fmax(1, h), NaN included, without the call
      double F = 10.0 * body.dragScale * f * s2 * cosine * body.areas[i];
      for (uint32_t j = 0; j < nf; j++) {
        double a = Dot(u, directions[j]);
        if (a < 0) a = 0;
        // Facing away from the direction: t = 0 and F stays exactly as it is.
        if (a == 0 && skipIdle && body.factorExponents[j] > 0 && std::isfinite(F)) continue;
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
