#include "physics/surface.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "physics/body.h"
#include "physics/lanes.h"
#include "sim/frame_clock.h"

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

using lanes::Abs;
using lanes::Load;
using lanes::Splat;
using lanes::Store;

// What the sequential part needs of four faces: whether each adds anything,
// its direction of motion u, world normal n, lever r about the centre of
// mass and pressure force F before the directional factors.
struct FaceLanes {
  double ux[4], uy[4], uz[4], nx[4], ny[4], nz[4], rx[4], ry[4], rz[4], F[4];
  int64_t skip[4];
};

// The moving air over a body to first order about its centre of mass: at a
// lever r the air's velocity is at + r.x * dx + r.y * dy + r.z * dz. A few
// queries of the effect list per body instead of one per face: the air's
// length scales (metres to hundreds of metres) are long against a body.
struct BodyAir {
  Vec3 at, dx, dy, dz;
};

BodyAir AirOver(const pBody& body) {
  const Vec3 centre = body.position + body.centreOffset;
  BodyAir air;
  air.at = AirVelocityAt(centre);
  air.dx = AirVelocityAt(centre + Vec3{1, 0, 0}) - air.at;
  air.dy = AirVelocityAt(centre + Vec3{0, 1, 0}) - air.at;
  air.dz = AirVelocityAt(centre + Vec3{0, 0, 1}) - air.at;
  return air;
}

// Everything of every face up to the directional factors; the faces are
// independent until their impulses are summed. Still air (kAir false) is
// the rule exactly as it always was.
template <class V, class M, bool kAir>
TARN_LANE_INLINE void FaceLanesOf(const pBody& body, bool skipIdle, const BodyAir* air,
                                  FaceLanes* out) {
  constexpr int W = sizeof(V) / sizeof(double);
  // Two passes over the blocks, each with few enough constants to keep them
  // in registers. First the rotated normal, the lever about the centre of
  // mass and the height factor.
  {
    const double* m = body.rotation.m;
    const V m0 = Splat<V>(m[0]), m1 = Splat<V>(m[1]), m2 = Splat<V>(m[2]), m3 = Splat<V>(m[3]),
            m4 = Splat<V>(m[4]), m5 = Splat<V>(m[5]), m6 = Splat<V>(m[6]), m7 = Splat<V>(m[7]),
            m8 = Splat<V>(m[8]);
    const V offX = Splat<V>(body.centreOffset.x), offY = Splat<V>(body.centreOffset.y),
            offZ = Splat<V>(body.centreOffset.z);
    const V one = Splat<V>(1.0), fall = Splat<V>(0.002), posZ = Splat<V>(body.position.z);
    for (uint32_t b = 0; b < body.faceBlocks.count; b++) {
      const SurfaceFaceBlock& face = body.faceBlocks[b];
      FaceLanes& o = out[b];
      for (int h = 0; h < 4; h += W) {
        const V bnx = Load<V>(face.nx + h), bny = Load<V>(face.ny + h), bnz = Load<V>(face.nz + h);
        const V bcx = Load<V>(face.cx + h), bcy = Load<V>(face.cy + h), bcz = Load<V>(face.cz + h);
        // n = VecMulMat3(normal, rotation), c likewise.
        Store(o.nx + h, bnx * m0 + bny * m3 + bnz * m6);
        Store(o.ny + h, bnx * m1 + bny * m4 + bnz * m7);
        Store(o.nz + h, bnx * m2 + bny * m5 + bnz * m8);
        const V cx = bcx * m0 + bcy * m3 + bcz * m6;
        const V cy = bcx * m1 + bcy * m4 + bcz * m7;
        const V cz = bcx * m2 + bcy * m5 + bcz * m8;
        Store(o.rx + h, cx - offX), Store(o.ry + h, cy - offY), Store(o.rz + h, cz - offZ);
        const V up = one - fall * (cz + posZ);
        Store(o.F + h, up > one ? up : one);  // fmax(1, h), NaN included; the force comes next
      }
    }
  }
  const V wX = Splat<V>(body.angularVelocity.x), wY = Splat<V>(body.angularVelocity.y),
          wZ = Splat<V>(body.angularVelocity.z);
  const V velX = Splat<V>(body.velocity.x), velY = Splat<V>(body.velocity.y),
          velZ = Splat<V>(body.velocity.z);
  const V zero = Splat<V>(0.0), one = Splat<V>(1.0), margin = Splat<V>(-1e-9);
  const V scale = Splat<V>(10.0 * body.dragScale);
  M skipping;  // all ones when idle faces may be passed over
  for (int k = 0; k < W; k++) skipping[k] = skipIdle ? -1 : 0;
  for (uint32_t b = 0; b < body.faceBlocks.count; b++) {
    const SurfaceFaceBlock& face = body.faceBlocks[b];
    FaceLanes& o = out[b];
    for (int h = 0; h < 4; h += W) {
      const V nx = Load<V>(o.nx + h), ny = Load<V>(o.ny + h), nz = Load<V>(o.nz + h);
      const V rx = Load<V>(o.rx + h), ry = Load<V>(o.ry + h), rz = Load<V>(o.rz + h);
      const V area = Load<V>(face.area + h);
      // The air is at rest: the face meets it with its own velocity,
      // PointVelocity(c) = Cross(angularVelocity, c - centreOffset) + velocity.
      V vx = (wY * rz - wZ * ry) + velX;
      V vy = (wZ * rx - wX * rz) + velY;
      V vz = (wX * ry - wY * rx) + velZ;
      if constexpr (kAir) {
        // Relative to the moving air.
        vx = vx - (Splat<V>(air->at.x) + Splat<V>(air->dx.x) * rx + Splat<V>(air->dy.x) * ry +
                   Splat<V>(air->dz.x) * rz);
        vy = vy - (Splat<V>(air->at.y) + Splat<V>(air->dx.y) * rx + Splat<V>(air->dy.y) * ry +
                   Splat<V>(air->dz.y) * rz);
        vz = vz - (Splat<V>(air->at.z) + Splat<V>(air->dx.z) * rx + Splat<V>(air->dy.z) * ry +
                   Splat<V>(air->dz.z) * rz);
      }
      const V s2 = vx * vx + vy * vy + vz * vz;
      const M still = s2 == zero;
      const M finiteArea = (area - area) == zero;
      // Clearly moving away from the air: its cosine below would be
      // negative. The margin dwarfs the rounding of either form.
      const V vn = vx * nx + vy * ny + vz * nz;
      const V size = (Abs<V, M>(vx) + Abs<V, M>(vy) + Abs<V, M>(vz)) *
                     (Abs<V, M>(nx) + Abs<V, M>(ny) + Abs<V, M>(nz));
      M skip = skipping & finiteArea & (still | (vn < margin * size));
      V length;
      for (int k = 0; k < W; k++) length[k] = std::sqrt(s2[k]);
      const V ux = still ? zero : vx / length;
      const V uy = still ? zero : vy / length;
      const V uz = still ? one : vz / length;
      V cosine = ux * nx + uy * ny + uz * nz;
      cosine = cosine < zero ? zero : cosine;
      skip |= skipping & finiteArea & ((cosine == zero) | still);
      Store(o.F + h, scale * Load<V>(o.F + h) * s2 * cosine * area);
      Store(o.ux + h, ux), Store(o.uy + h, uy), Store(o.uz + h, uz);
      std::memcpy(o.skip + h, &skip, sizeof skip);
    }
  }
}

void FaceLanesTwo(const pBody& body, bool skipIdle, const BodyAir* air, FaceLanes* out) {
  if (air)
    FaceLanesOf<Lanes2, Mask2, true>(body, skipIdle, air, out);
  else
    FaceLanesOf<Lanes2, Mask2, false>(body, skipIdle, air, out);
}

TARN_FOUR_LANES void FaceLanesFour(const pBody& body, bool skipIdle, const BodyAir* air,
                                   FaceLanes* out) {
  if (air)
    FaceLanesOf<Lanes4, Mask4, true>(body, skipIdle, air, out);
  else
    FaceLanesOf<Lanes4, Mask4, false>(body, skipIdle, air, out);
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
    // Grown only: resizing down and up again for each body would clear the
    // whole scratch every time.
    static std::vector<FaceLanes> faceLanes;
    if (faceLanes.size() < body.faceBlocks.count) faceLanes.resize(body.faceBlocks.count);
    BodyAir moving;
    const BodyAir* air = nullptr;
    if (EffectHead != nullptr) moving = AirOver(body), air = &moving;
    if (UseFourLanes())
      FaceLanesFour(body, skipIdle, air, faceLanes.data());
    else
      FaceLanesTwo(body, skipIdle, air, faceLanes.data());
    // The directional factors, face by face. Kept apart from the sums: the
    // calls to pow would make the sums go through memory on every face.
    const uint32_t faces = std::min(body.triangles.count, 4 * body.faceBlocks.count);
    if (nf > 0) {
      for (uint32_t i = 0; i < faces; i++) {
        FaceLanes& o = faceLanes[i / 4];
        const int k = int(i % 4);
        if (o.skip[k]) continue;
        const Vec3 u = {o.ux[k], o.uy[k], o.uz[k]};
        double F = o.F[k];
        for (uint32_t j = 0; j < nf; j++) {
          double a = Dot(u, directions[j]);
          if (a < 0) a = 0;
          // Facing away from the direction: t = 0 and F stays exactly as it is.
          if (a == 0 && skipIdle && body.factorExponents[j] > 0 && std::isfinite(F)) continue;
          double t = std::pow(a, body.factorExponents[j]);
          F = t * F * body.factorValues[j] + (1 - t) * F;
        }
        o.F[k] = F;
      }
    }
    // The sums, face by face in order.
    Vec3 impulse = {0, 0, 0}, angular = {0, 0, 0};
    for (uint32_t i = 0; i < faces; i++) {
      const FaceLanes& o = faceLanes[i / 4];
      const int k = int(i % 4);
      if (o.skip[k]) continue;
      const Vec3 n = {o.nx[k], o.ny[k], o.nz[k]};
      Vec3 J = -n * o.F[k] * dt;
      impulse += J;
      angular += Cross(Vec3{o.rx[k], o.ry[k], o.rz[k]}, J);
    }
    body.surfaceImpulse = impulse;
    body.surfaceAngularImpulse = angular;
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

Vec3 AirVelocityAt(const Vec3& point) {
  Vec3 sum = {0, 0, 0};
  for (pAD_Effect* e = EffectHead; e; e = e->next) sum += e->Force(point);
  return sum;
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
