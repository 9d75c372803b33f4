#include "physics/axis.h"

#include <cmath>
#include <cstring>

#include "physics/body.h"
#include "physics/debug_draw.h"
#include "sim/frame_clock.h"

namespace {

const Quat kIdentityQuat = {0, 0, 0, 1};
const Mat3 kIdentity3 = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};

// The reduced inertia of the pair against relative rotation.
Mat3 PairInertia(const pBody& A, const pBody& B) {
  return Mat3Inverse(Mat3Add(A.inverseInertiaWorld, B.inverseInertiaWorld));
}

void DrawCross(DebugDraw& sink, const Vec3& p, double h) {
  sink.Line(p - Vec3{h, 0, 0}, 1, 1, 1, 1, p + Vec3{h, 0, 0}, 1, 1, 1, 1);
  sink.Line(p - Vec3{0, h, 0}, 1, 1, 1, 1, p + Vec3{0, h, 0}, 1, 1, 1, 1);
  sink.Line(p - Vec3{0, 0, h}, 1, 1, 1, 1, p + Vec3{0, 0, h}, 1, 1, 1, 1);
}

// Two distinct bodies' momenta copied out, so that a pass on them keeps them
// in registers: working on the bodies, the compiler must store and reload
// every momentum after every impulse, as the two might be one body, and the
// sub-steps wait on exactly that chain.
struct PairMomenta {
  Vec3 linearA, angularA, linearB, angularB;
};

// The point constraint's velocity pass on copied momenta: UpdateVelocities,
// PointVelocity, EffectiveMass and ApplyImpulse, operation for operation.
// Leaves the bodies' velocities as UpdateVelocities would after it.
inline __attribute__((always_inline)) void PointVelocityPass(pPoint& point, pBody& A, pBody& B,
                                                             PairMomenta& m, double s) {
  const pPoint::Levers& lever = point.LeversNow();
  const Vec3 aA = lever.aA, aB = lever.aB;
  const Vec3 vA = Cross(VecMulMat3(m.angularA, A.inverseInertiaWorld), aA) + m.linearA * A.inverseMass;
  const Vec3 vB = Cross(VecMulMat3(m.angularB, B.inverseInertiaWorld), aB) + m.linearB * B.inverseMass;
  const Vec3 n = Normalize(vB - vA);
  const double KA = 1 / Dot(n, n * A.inverseMass + Cross(VecMulMat3(Cross(aA, n), A.inverseInertiaWorld), aA));
  const double KB = 1 / Dot(n, n * B.inverseMass + Cross(VecMulMat3(Cross(aB, n), B.inverseInertiaWorld), aB));
  const double j = (Dot(vB, n) * KA * KB - Dot(vA, n) * KA * KB) / (KA + KB) * s;
  const Vec3 JA = n * j, JB = -n * j;
  m.linearA += JA;
  m.angularA += Cross(aA, JA);
  m.linearB += JB;
  m.angularB += Cross(aB, JB);
  A.velocity = m.linearA * A.inverseMass;
  A.angularVelocity = VecMulMat3(m.angularA, A.inverseInertiaWorld);
  B.velocity = m.linearB * B.inverseMass;
  B.angularVelocity = VecMulMat3(m.angularB, B.inverseInertiaWorld);
}

// The point constraint's position pass on copied momenta, as the velocity
// pass above: the gap's impulse does not depend on the momenta. Writes the
// gap (metres) to distanceOut when given.
inline __attribute__((always_inline)) void PointPositionPass(pPoint& point, pBody& A, pBody& B,
                                                             PairMomenta& m, double s, double* distanceOut) {
  const pPoint::Levers& lever = point.LeversNow();
  const Vec3 rA = lever.rA, rB = lever.rB, aA = lever.aA, aB = lever.aB;
  const Vec3 e = (rB + B.position) - (rA + A.position);  // LocalToWorld of the anchors
  if (distanceOut) *distanceOut = Length(e);
  const Vec3 n = Normalize(e);
  // EffectiveMass(rA, n) and EffectiveMass(rB, n).
  const double KA = 1 / Dot(n, n * A.inverseMass + Cross(VecMulMat3(Cross(aA, n), A.inverseInertiaWorld), aA));
  const double KB = 1 / Dot(n, n * B.inverseMass + Cross(VecMulMat3(Cross(aB, n), B.inverseInertiaWorld), aB));
  // Closes the gap within one world step.
  const Vec3 J = e * (KA * KB / (KA + KB)) * (1 / PhysicsStep) * s;
  m.linearA += J;
  m.angularA += Cross(aA, J);
  m.linearB += -J;
  m.angularB += Cross(aB, -J);
  A.velocity = m.linearA * A.inverseMass;
  A.angularVelocity = VecMulMat3(m.angularA, A.inverseInertiaWorld);
  B.velocity = m.linearB * B.inverseMass;
  B.angularVelocity = VecMulMat3(m.angularB, B.inverseInertiaWorld);
}

// Writes copied momenta back.
void StoreMomenta(pBody& A, pBody& B, const PairMomenta& m) {
  A.momentum = m.linearA;
  A.angularMomentum = m.angularA;
  B.momentum = m.linearB;
  B.angularMomentum = m.angularB;
}

}  // namespace

pPoint::pPoint(pBody* a, pBody* b, const Vec3& point) {
  level = 3;
  kind = 3;
  bodyA = a;
  bodyB = b;
  if (a) anchorA = a->WorldToLocal(point);
  if (b) anchorB = b->WorldToLocal(point);
}

const pPoint::Levers& pPoint::LeversNow() {
  if (WorldStepSerial == 0 || leverStep_ != WorldStepSerial) {
    levers_.rA = VecMulMat3(anchorA, bodyA->rotation);
    levers_.rB = VecMulMat3(anchorB, bodyB->rotation);
    levers_.aA = levers_.rA - bodyA->centreOffset;
    levers_.aB = levers_.rB - bodyB->centreOffset;
    leverStep_ = WorldStepSerial;
  }
  return levers_;
}

void pPoint::Draw(DebugDraw& sink) {
  sink.SetPose({0, 0, 0}, kIdentityQuat);
  if (bodyA) DrawCross(sink, bodyA->LocalToWorld(anchorA), 0.2);
  if (bodyB) DrawCross(sink, bodyB->LocalToWorld(anchorB), 0.1);
}

void SolvePoint(pPoint* point, int32_t phase, double* distanceOut, double s) {
  if (!point || !point->bodyA || !point->bodyB) return;
  pBody& A = *point->bodyA;
  pBody& B = *point->bodyB;
  if (phase == 1 && &A != &B) {
    PairMomenta m = {A.momentum, A.angularMomentum, B.momentum, B.angularMomentum};
    PointVelocityPass(*point, A, B, m, s);
    StoreMomenta(A, B, m);
  } else if (phase == 1) {
    // A point joining a body to itself: every impulse lands on the one body.
    Vec3 rA = VecMulMat3(point->anchorA, A.rotation);
    Vec3 rB = VecMulMat3(point->anchorB, B.rotation);
    Vec3 vA = A.PointVelocity(rA);
    Vec3 vB = B.PointVelocity(rB);
    Vec3 n = Normalize(vB - vA);
    double KA = A.EffectiveMass(rA, n);
    double KB = B.EffectiveMass(rB, n);
    double j = (Dot(vB, n) * KA * KB - Dot(vA, n) * KA * KB) / (KA + KB) * s;
    A.ApplyImpulse(rA, n * j);
    B.ApplyImpulse(rB, -n * j);
    A.UpdateVelocities();
    B.UpdateVelocities();
  } else if (phase == 3 && &A != &B) {
    PairMomenta m = {A.momentum, A.angularMomentum, B.momentum, B.angularMomentum};
    PointPositionPass(*point, A, B, m, s, distanceOut);
    StoreMomenta(A, B, m);
  } else if (phase == 3) {
    Vec3 pA = A.LocalToWorld(point->anchorA);
    Vec3 pB = B.LocalToWorld(point->anchorB);
    Vec3 e = pB - pA;
    if (distanceOut) *distanceOut = Length(e);
    Vec3 n = Normalize(e);
    Vec3 rA = VecMulMat3(point->anchorA, A.rotation);
    Vec3 rB = VecMulMat3(point->anchorB, B.rotation);
    double KA = A.EffectiveMass(rA, n);
    double KB = B.EffectiveMass(rB, n);
    // Closes the gap within one world step.
    Vec3 J = e * (KA * KB / (KA + KB)) * (1 / PhysicsStep) * s;
    A.ApplyImpulse(rA, J);
    B.ApplyImpulse(rB, -J);
    A.UpdateVelocities();
    B.UpdateVelocities();
  }
}

pAxis::pAxis(pBody* a, pBody* b, const Vec3& pivot, const Vec3& axis_, const Vec3& reference_,
             double minAngle_, double maxAngle_) {
  level = 3;
  kind = 3;
  bodyA = a;
  bodyB = b;
  point = nullptr;
  Vec3 an = Normalize(axis_);
  Vec3 r = Normalize(reference_);
  reference = Cross(Cross(an, r), an);  // r without its axial part, not renormalised
  axis = an;
  relRotation = kIdentity3;
  relOrientation = kIdentityQuat;
  limited = true;
  broken = breakable = false;
  angle = axialRate = targetAngle = springRate = axialLock = friction = motorTorque = 0;
  maxAngle = maxAngle_;
  minAngle = minAngle_;
  strength = 1.0;
  breakAngle = 0.08726646259971647;
  breakDistance = 0.1;
  if (a) {
    anchorA = a->WorldToLocal(pivot);
    Mat3 toA = Mat3Transpose(a->rotation);
    axis = VecMulMat3(axis, toA);
    reference = VecMulMat3(reference, toA);
  }
  if (a && b) {
    anchorB = b->WorldToLocal(pivot);
    relOrientation = QuatMul(QuatInverse(a->orientation), b->orientation);
    relRotation = Mat3Transpose(Mat3Mul(Mat3Transpose(a->rotation), b->rotation));
    point = new pPoint(a, b, pivot);
    MeasureAngle();
  }
  RegisterEntity(this);
}

pAxis::~pAxis() { delete point; }

Vec3 pAxis::MeasureAngle() {
  const Mat3& rotA = bodyA->rotation;
  Vec3 g = reference;
  Vec3 h = Cross(axis, reference);
  Vec3 gA = VecMulMat3(g, rotA);
  Vec3 hA = VecMulMat3(h, rotA);
  Vec3 gB = VecMulMat3(VecMulMat3(g, Mat3Transpose(relRotation)), bodyB->rotation);
  angle = SignAbove(Dot(hA, gB)) * std::acos(Clamp(Dot(gA, gB), -1, 1));
  return VecMulMat3(axis, rotA);
}

Vec3 pAxis::MeasureAngleCached() {
  if (WorldStepSerial != 0 && angleStep == WorldStepSerial) {
    angle = derivedAngle;
    return derivedAxisWorld;
  }
  const AngleKey key = {bodyA->rotation, bodyB->rotation, relRotation, axis, reference};
  if (angleKeyValid && std::memcmp(&key, &angleKey, sizeof key) == 0) {
    angle = derivedAngle;
  } else {
    derivedAxisWorld = MeasureAngle();
    derivedAngle = angle;
    angleKey = key;
    angleKeyValid = true;
  }
  angleStep = WorldStepSerial;
  return derivedAxisWorld;
}

const Mat3& pAxis::PairInertiaCached() {
  if (WorldStepSerial == 0 || pairInertiaStep != WorldStepSerial) {
    pairInertia = PairInertia(*bodyA, *bodyB);
    pairInertiaStep = WorldStepSerial;
  }
  return pairInertia;
}

const Quat& pAxis::TargetInverse(double t) {
  TargetKey key;
  key.angle = t;
  key.axis = axis;
  key.relOrientation = relOrientation;
  if (!targetValid || std::memcmp(&key, &targetKey, sizeof key) != 0) {
    targetInverse = QuatInverse(QuatMul(QuatFromAxisAngle(axis, t), relOrientation));
    targetKey = key;
    targetValid = true;
  }
  return targetInverse;
}

void pAxis::Process(int32_t phase) {
  if (broken || !bodyA || !bodyB) return;
  const Vec3 aW = MeasureAngleCached();
  if (phase == 1)
    VelocityPass(aW);
  else if (phase == 3)
    PositionPass(aW);
}

void pAxis::VelocityPass(const Vec3& aW) {
  pBody& A = *bodyA;
  pBody& B = *bodyB;
  const double dt = CurrentDt;
  Vec3 wA = VecMulMat3(A.angularMomentum, A.inverseInertiaWorld);
  Vec3 wB = VecMulMat3(B.angularMomentum, B.inverseInertiaWorld);
  Vec3 d = wB - wA;
  double w = Dot(d, aW);
  axialRate = w;
  bool blocked = limited && ((angle < minAngle && w > 0) || (angle > maxAngle && w < 0));
  Vec3 c = blocked ? d : d - aW * w * (1 - axialLock);
  if (friction > 0) {
    double m = std::fmin(std::fabs(w), friction * dt);
    c += aW * SignAbove(w) * m;
  }
  Vec3 dL = VecMulMat3(c, PairInertiaCached()) * strength;
  const double onB = -(Dot(dL, aW) + (motorTorque + springRate * (angle - targetAngle)) * dt);
  axialImpulse += onB;
  axialWork += onB * w;
  // Motor and spring, about the axis; no velocity update follows them.
  auto axial = [&](Vec3& angularA, Vec3& angularB) {
    if (motorTorque != 0) {
      Vec3 t = aW * motorTorque * dt;
      angularA += t;
      angularB -= t;
    }
    if (springRate != 0) {
      Vec3 t = aW * springRate * (angle - targetAngle) * dt;
      angularA += t;
      angularB -= t;
    }
  };
  if (point && point->bodyA == &A && point->bodyB == &B && &A != &B) {
    PairMomenta m = {A.momentum, A.angularMomentum + dL, B.momentum, B.angularMomentum - dL};
    PointVelocityPass(*point, A, B, m, strength);
    axial(m.angularA, m.angularB);
    StoreMomenta(A, B, m);
  } else {
    // One body on both sides, or a point of other bodies: one impulse after
    // the other on the bodies themselves.
    A.angularMomentum += dL;
    B.angularMomentum -= dL;
    A.UpdateVelocities();
    B.UpdateVelocities();
    SolvePoint(point, 1, nullptr, strength);
    axial(A.angularMomentum, B.angularMomentum);
  }
}

void pAxis::PositionPass(const Vec3& aW) {
  pBody& A = *bodyA;
  pBody& B = *bodyB;
  double t = limited ? Clamp(angle, minAngle, maxAngle) : angle;
  // The world rotation from where B should be to where it is.
  Quat q = QuatMul(QuatMul(B.orientation, TargetInverse(t)), QuatInverse(A.orientation));
  Vec3 e = QuatToRotationVector(q);
  double len = Length(e);
  Vec3 dL = {0, 0, 0};
  if (len > 0) {
    // An error beyond half a turn becomes the shorter opposite rotation.
    e = e - 6.283185307179586 * (e / len) * std::ceil((len - 3.141592653589793) / 6.283185307179586);
    if (breakable && RandomRange(0.8, 1.2) * breakAngle < Length(e)) broken = true;
    if (!limited) e = e - aW * Dot(e, aW);
    dL = VecMulMat3(e, PairInertiaCached()) * (1 / PhysicsStep) * 0.5 * strength;
    axialImpulse -= Dot(dL, aW);
    axialWork -= Dot(dL, aW) * axialRate;
  }
  double dist = 0;
  if (point && point->bodyA == &A && point->bodyB == &B && &A != &B) {
    PairMomenta m = {A.momentum, A.angularMomentum, B.momentum, B.angularMomentum};
    if (len > 0) {
      m.angularA += dL;
      m.angularB -= dL;
    }
    PointPositionPass(*point, A, B, m, 0.5 * strength, &dist);
    StoreMomenta(A, B, m);
  } else {
    if (len > 0) {
      A.angularMomentum += dL;
      B.angularMomentum -= dL;
      A.UpdateVelocities();
      B.UpdateVelocities();
    }
    SolvePoint(point, 3, &dist, 0.5 * strength);
  }
  if (breakable && RandomRange(0.8, 1.2) * breakDistance < dist) broken = true;
}

void pAxis::Draw(DebugDraw& sink) {
  if (!bodyA || !bodyB) return;
  if (point) point->Draw(sink);
  Vec3 pivot = bodyA->LocalToWorld(anchorA);
  Vec3 aW = VecMulMat3(axis, bodyA->rotation);
  Vec3 gA = VecMulMat3(reference, bodyA->rotation);
  Vec3 gB = VecMulMat3(VecMulMat3(reference, Mat3Transpose(relRotation)), bodyB->rotation);
  Vec3 hA = VecMulMat3(Cross(axis, reference), bodyA->rotation);
  const Vec3 o = {0, 0, 0};
  sink.SetPose(pivot, kIdentityQuat);
  sink.Line(o, 0, 1, 0, 1, aW, 0, 1, 0, 1);
  sink.Line(o, 0, 0, 1, 1, gA, 0, 0, 1, 1);
  sink.Line(o, 0, 0, 1, 1, gB * 2.0, 0, 0, 1, 1);
  sink.Line(o, 0, 0, 1, 1, hA * 4.0, 0, 0, 1, 1);
  sink.SetPose(o, kIdentityQuat);
  sink.Line(pivot, 1, 1, 1, 1, bodyB->LocalToWorld(anchorB), 1, 1, 1, 1);
}
