#include "physics/body.h"

#include <cmath>
#include <cstring>

#include "foundation/log.h"
#include "physics/debug_draw.h"
#include "physics/ground.h"
#include "physics/lanes.h"
#include "physics/surface.h"
#include "sim/frame_clock.h"

namespace {

const Mat3 kIdentity3 = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};
const Vec3 kZero = {0, 0, 0};

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool Finite(const Quat& q) {
  return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w);
}
bool Finite(const Mat3& m) {
  for (double v : m.m)
    if (!std::isfinite(v)) return false;
  return true;
}

// Grows [lo, hi] by p, or starts it at p.
void ExtendBounds(Vec3& lo, Vec3& hi, const Vec3& p, bool first) {
  if (first)
    lo = hi = p;
  else
    ::ExtendBounds(lo, hi, p);
}

// UpdatePlacement with a matrix row or a corner per vector. Lane j of a row
// of a product holds the j-th sum of Mat3Mul, and a corner's lanes the three
// sums of VecMulMat3 or Rotate, operation for operation (a rotation's rows
// are Rotate's columns), so every result has the scalar code's bits. The
// helpers are always inlined (lambdas would not be): a vector passed to a
// function not built for AVX2 would go by another convention.
TARN_LANE_INLINE Lanes4 Row(const Mat3& m, int k) {
  return Lanes4{m.m[3 * k], m.m[3 * k + 1], m.m[3 * k + 2], 0};
}
TARN_LANE_INLINE Vec3 ToVec3(Lanes4 v) { return Vec3{v[0], v[1], v[2]}; }
// VecMulMat3(v, m), the rows of m given.
TARN_LANE_INLINE Lanes4 Rotated(const Vec3& v, Lanes4 r0, Lanes4 r1, Lanes4 r2) {
  using lanes::Splat;
  return Splat<Lanes4>(v.x) * r0 + Splat<Lanes4>(v.y) * r1 + Splat<Lanes4>(v.z) * r2;
}
// Mat3Mul(Mat3Mul(Mat3Transpose(rotation), inertia), rotation), row by row.
TARN_LANE_INLINE void ToWorld(const Mat3& inertia, const Mat3& rotation, Mat3& out) {
  const Lanes4 I0 = Row(inertia, 0), I1 = Row(inertia, 1), I2 = Row(inertia, 2);
  const Lanes4 R0 = Row(rotation, 0), R1 = Row(rotation, 1), R2 = Row(rotation, 2);
  const double* rm = rotation.m;
  for (int i = 0; i < 3; i++) {
    const Lanes4 t = Rotated({rm[i], rm[3 + i], rm[6 + i]}, I0, I1, I2);
    const Lanes4 r = Rotated({t[0], t[1], t[2]}, R0, R1, R2);
    out.m[3 * i] = r[0], out.m[3 * i + 1] = r[1], out.m[3 * i + 2] = r[2];
  }
}

TARN_FOUR_LANES void PlaceFour(pBody& b) {
  b.rotation = QuatToMat3(b.orientation);
  const Lanes4 R0 = Row(b.rotation, 0), R1 = Row(b.rotation, 1), R2 = Row(b.rotation, 2);
  ToWorld(b.inertiaBody, b.rotation, b.inertiaWorld);
  ToWorld(b.inverseInertiaBody, b.rotation, b.inverseInertiaWorld);
  // BoxPlace
  Box& box = b.box;
  box.orientation = b.orientation;
  const Vec3 &a0 = box.localMin, &a1 = box.localMax;
  Lanes4 low = Rotated(a0, R0, R1, R2), high = low;
  for (int i = 1; i < 8; i++) {
    const Lanes4 r = Rotated({(i & 1) ? a1.x : a0.x, (i & 2) ? a1.y : a0.y, (i & 4) ? a1.z : a0.z}, R0, R1, R2);
    low = r < low ? r : low;  // a NaN never widens, as in BoxPlace and ExtendBounds
    high = r > high ? r : high;
  }
  box.worldMin = ToVec3(low) + b.position;
  box.worldMax = ToVec3(high) + b.position;
  b.centreOffset = ToVec3(Rotated(b.centreLocal, R0, R1, R2));
  // The corners and their bounds.
  const uint32_t count = b.vertices.count;
  if (count == 0) return;
  low = Rotated(b.vertices[0], R0, R1, R2), high = low;
  b.worldVertices[0] = ToVec3(low);
  for (uint32_t i = 1; i < count; i++) {
    const Lanes4 r = Rotated(b.vertices[i], R0, R1, R2);
    b.worldVertices[i] = ToVec3(r);
    low = r < low ? r : low;
    high = r > high ? r : high;
  }
  b.worldVertexMin = ToVec3(low);
  b.worldVertexMax = ToVec3(high);
}

// A point through a row-vector Mat4.
Vec3 Transform(const Vec3& p, const Mat4& m) {
  return {p.x * m.m[0] + p.y * m.m[4] + p.z * m.m[8] + m.m[12],
          p.x * m.m[1] + p.y * m.m[5] + p.z * m.m[9] + m.m[13],
          p.x * m.m[2] + p.y * m.m[6] + p.z * m.m[10] + m.m[14]};
}

}  // namespace

pBody::pBody(MDL* model, const String& nodeName, double mass_, const Vec3& position_,
             const Quat& orientation_) {
  // 1. Arrays start empty (their constructors); the box is reset.
  BoxReset(box);
  // 2.
  frictionLimit = 1.0;
  position = position_;
  orientation = orientation_;
  level = 0;
  kind = 1;
  rotation = QuatToMat3(orientation);
  // 3.
  momentum = angularVelocity = velocity = angularMomentum = kZero;
  centreLocal = centreOffset = kZero;
  worldVertexMin = worldVertexMax = kZero;
  volume = 0;
  area = 0;
  surfaceImpulse = surfaceAngularImpulse = kZero;
  mass = inverseMass = 1.0;
  inertiaBody = inverseInertiaBody = inertiaWorld = inverseInertiaWorld = kIdentity3;
  buoyancy = 0.1;
  dragScale = 1.0;
  surfaceCounter = 0;
  surfacePeriod = 0;
  // 4.-6.
  AddModel(model, nodeName);
  SetMass(mass_);
  lastFinite = {position, orientation, momentum, angularMomentum};
  nonFiniteReported = false;
  RegisterEntity(this);
}

pBody::~pBody() = default;

void pBody::AddModel(MDL* model, const String& nodeName) {
  if (!model) {
    Log("ERROR! pBody->AddModel get NULL model\n");
    return;
  }
  const ModelNode* node = nullptr;
  for (const ModelNode& n : model->nodes) {
    if (n.name == nodeName) {
      node = &n;
      break;
    }
  }
  if (!node) {
    MissingNodeLookups++;
    Log("ERROR! Can not find node \"%s\" in model \"%s\"\n", nodeName.c_str(), model->name.c_str());
    return;
  }
  // Indices are checked: a corrupt model must not make us read outside its arrays.
  bool reported = false;
  for (const Subset& s : node->subsets) {
    for (uint64_t t = s.first; t < uint64_t(s.first) + s.count; t++) {
      const Triangle* tri = t < model->triangles.count ? &model->triangles[uint32_t(t)] : nullptr;
      if (!tri || tri->v[0] >= model->vertices.count || tri->v[1] >= model->vertices.count ||
          tri->v[2] >= model->vertices.count) {
        if (!reported) {
          Log("ERROR! pBody->AddModel: node \"%s\" of model \"%s\" has triangles out of range\n",
              nodeName.c_str(), model->name.c_str());
          reported = true;
        }
        continue;
      }
      Vec3 p[3];
      for (int k = 0; k < 3; k++) {
        const VEC3F& v = model->vertices[tri->v[k]].position;
        p[k] = {double(v.x), double(v.y), double(v.z)};
      }
      AddTriangle(p[0], p[1], p[2]);
    }
  }
}

void pBody::AddTriangle(const Vec3& p0, const Vec3& p1, const Vec3& p2) {
  const Vec3* corners[3] = {&p0, &p1, &p2};
  // All three lookups come first, so a triangle's own new corners are never
  // shared with each other.
  int64_t found[3];
  for (int k = 0; k < 3; k++) {
    found[k] = -1;
    const Vec3& p = *corners[k];
    for (uint32_t i = 0; i < vertices.count; i++) {
      if (vertices[i].x == p.x && vertices[i].y == p.y && vertices[i].z == p.z) {
        found[k] = i;
        break;
      }
    }
  }
  Triangle tri;
  for (int k = 0; k < 3; k++) {
    if (found[k] >= 0) {
      tri.v[k] = uint32_t(found[k]);
    } else {
      BoxExtend(box, *corners[k]);
      vertices.push(*corners[k]);
      worldVertices.push(*corners[k]);
      ExtendBounds(worldVertexMin, worldVertexMax, *corners[k], worldVertices.count == 1);
      tri.v[k] = vertices.count - 1;
    }
  }
  triangles.push(tri);
  Vec3 c = Cross(p1 - p0, p2 - p0);
  double len = Length(c);
  normals.push(LengthSq(c) == 0 ? Vec3{0, 0, 1} : c / len);
  areas.push(len * 0.5);
  area += len * 0.5;
  centroids.push((p0 + p1 + p2) * 0.3333333333333333);
  const uint32_t f = triangles.count - 1, lane = f % 4;
  if (lane == 0) faceBlocks.push(SurfaceFaceBlock{});
  SurfaceFaceBlock& block = faceBlocks[f / 4];
  block.nx[lane] = normals[f].x;
  block.ny[lane] = normals[f].y;
  block.nz[lane] = normals[f].z;
  block.cx[lane] = centroids[f].x;
  block.cy[lane] = centroids[f].y;
  block.cz[lane] = centroids[f].z;
  block.area[lane] = areas[f];
}

void pBody::SetMass(double m) {
  if (!(m > 0) || !std::isfinite(m)) {
    Log("pBody->SetMass: mass %g is not a positive number, using 1\n", m);
    m = 1.0;
  }
  mass = m;
  inverseMass = 1 / m;

  double S[10] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (const Triangle& t : triangles) {
    const Vec3& a = vertices[t.v[0]];
    const Vec3& b = vertices[t.v[1]];
    const Vec3& c = vertices[t.v[2]];
    double D = Dot(a, Cross(b, c));
    S[0] += D;
    Vec3 s = (a + b + c) * D;
    S[1] += s.x;
    S[2] += s.y;
    S[3] += s.z;
    S[4] += (a.x * a.x + b.x * b.x + c.x * c.x + a.x * b.x + a.x * c.x + b.x * c.x) * D;
    S[5] += (a.y * a.y + b.y * b.y + c.y * c.y + a.y * b.y + a.y * c.y + b.y * c.y) * D;
    S[6] += (a.z * a.z + b.z * b.z + c.z * c.z + a.z * b.z + a.z * c.z + b.z * c.z) * D;
    S[7] += (2 * (a.x * a.y + b.x * b.y + c.x * c.y) + a.x * b.y + a.y * b.x + a.x * c.y +
             a.y * c.x + b.x * c.y + b.y * c.x) * D;
    S[8] += (2 * (a.x * a.z + b.x * b.z + c.x * c.z) + a.x * b.z + a.z * b.x + a.x * c.z +
             a.z * c.x + b.x * c.z + b.z * c.x) * D;
    S[9] += (2 * (a.y * a.z + b.y * b.z + c.y * c.z) + a.y * b.z + a.z * b.y + a.y * c.z +
             a.z * c.y + b.y * c.z + b.z * c.y) * D;
  }

  // A mesh with a real volume keeps it (and so its buoyancy) even when its
  // inertia cannot be worked out; only the inertia then falls back.
  const bool enclosed = S[0] != 0 && std::isfinite(S[0]);
  volume = enclosed ? S[0] / 6 : 0;
  Mat3 I;
  bool solid = enclosed;
  if (solid) {
    double k = 0.25 / S[0];
    centreLocal = Vec3{S[1], S[2], S[3]} * k;
    double k2 = 0.4 * k;
    double k3 = -0.5 * k2;
    double cx = centreLocal.x, cy = centreLocal.y, cz = centreLocal.z;
    double Ixx = (S[5] + S[6]) * k2 - (cy * cy + cz * cz);
    double Iyy = (S[4] + S[6]) * k2 - (cx * cx + cz * cz);
    double Izz = (S[4] + S[5]) * k2 - (cx * cx + cy * cy);
    double Ixy = cx * cy + S[7] * k3;
    double Ixz = cx * cz + S[8] * k3;
    double Iyz = cy * cz + S[9] * k3;
    I = {{Ixx, Ixy, Ixz, Ixy, Iyy, Iyz, Ixz, Iyz, Izz}};
    for (double& v : I.m) v = v * mass;
    Mat3 inv = Mat3Inverse(I);
    solid = Finite(centreLocal) && Finite(I) && Finite(inv);
    if (solid) {
      inertiaBody = I;
      inverseInertiaBody = inv;
    }
  }
  if (!solid) {
    // No enclosed volume: the formulas would divide by zero. Keep the mass,
    // put the centre at the mean corner and give the inertia of a solid box
    // around the corners (each side at least 0.1 m), so the body stays
    // finite and can still turn. A real volume whose moments overflow keeps
    // its volume and, when finite, its centre.
    if (enclosed)
      Log("pBody->SetMass: mesh inertia is not finite (%u triangles), using a box inertia\n", triangles.count);
    else
      Log("pBody->SetMass: mesh encloses no volume (%u triangles), using a box inertia\n", triangles.count);
    if (!enclosed || !Finite(centreLocal)) {
      Vec3 sum = kZero;
      for (const Vec3& v : vertices) sum += v;
      centreLocal = vertices.count ? sum / double(vertices.count) : kZero;
    }
    Vec3 ext = vertices.count ? box.localMax - box.localMin : kZero;
    double dx = std::fmax(ext.x, 0.1), dy = std::fmax(ext.y, 0.1), dz = std::fmax(ext.z, 0.1);
    double f = mass / 12.0;
    inertiaBody = {{(dy * dy + dz * dz) * f, 0, 0, 0, (dx * dx + dz * dz) * f, 0, 0, 0,
                    (dx * dx + dy * dy) * f}};
    inverseInertiaBody = Mat3Inverse(inertiaBody);
  }
  centreOffset = centreLocal;  // the first integration rotates it
}

Vec3 pBody::LocalToWorld(const Vec3& p) const { return VecMulMat3(p, rotation) + position; }

Vec3 pBody::WorldToLocal(const Vec3& p) const {
  return VecMulMat3(p - position, Mat3Transpose(rotation));
}

void pBody::UpdateDerived() {
  rotation = QuatToMat3(orientation);
  Mat3 rt = Mat3Transpose(rotation);
  inertiaWorld = Mat3Mul(Mat3Mul(rt, inertiaBody), rotation);
  inverseInertiaWorld = Mat3Mul(Mat3Mul(rt, inverseInertiaBody), rotation);
}

void pBody::UpdatePlacement() {
  if (UseFourLanes()) {
    PlaceFour(*this);
    return;
  }
  UpdateDerived();
  BoxPlace(box, position, orientation);
  centreOffset = VecMulMat3(centreLocal, rotation);
  for (uint32_t i = 0; i < vertices.count; i++) {
    worldVertices[i] = VecMulMat3(vertices[i], rotation);
    ExtendBounds(worldVertexMin, worldVertexMax, worldVertices[i], i == 0);
  }
}

void pBody::AirForces() {
  const double dt = CurrentDt;
  momentum += Vec3{0, 0, -9.8 * mass * dt};
  // Buoyancy grows by 0.002 per metre below height 0.
  double h = position.z + centreOffset.z;
  double f = std::fmax(1.0, 1 - 0.002 * h);
  momentum.z += 9.8 * buoyancy * volume * f * dt;
  SurfaceForces(*this);
  UpdateVelocities();
}

void pBody::GroundForces() {
  GroundContact(*this);
  UpdateVelocities();
}

void pBody::Process(int32_t phase) {
  const double dt = CurrentDt;
  if (phase == 2) {
    AirForces();
    GroundForces();
  } else if (phase == 4) {
    // Integrate about the centre of mass: move the origin there, turn, move back.
    position += velocity * dt;
    position += Rotate(orientation, static_cast<const Vec3&>(centreLocal));
    double angle = Length(angularVelocity) * dt;
    Vec3 axis = Normalize(angularVelocity);
    orientation = QuatMul(QuatFromAxisAngle(axis, angle), orientation);
    position -= Rotate(orientation, static_cast<const Vec3&>(centreLocal));
    UpdatePlacement();

    if (Finite(position) && Finite(orientation) && Finite(momentum) && Finite(angularMomentum)) {
      lastFinite = {position, orientation, momentum, angularMomentum};
      nonFiniteReported = false;
    } else {
      // A blown-up impulse must not spread NaN through the world: go back to
      // the last finite state and report it once per episode.
      if (!nonFiniteReported) {
        Log("pBody: state became non-finite, restored to the last finite state\n");
        nonFiniteReported = true;
      }
      position = lastFinite.position;
      orientation = lastFinite.orientation;
      momentum = lastFinite.momentum;
      angularMomentum = lastFinite.angularMomentum;
      UpdatePlacement();
      UpdateVelocities();
      // The cached surface impulse may be what blew up: the next step works
      // it out again from the restored state instead of re-applying it.
      if (surfacePeriod >= 0) surfaceCounter = uint32_t(surfacePeriod) + 1;
    }
  }
}

void pBody::DrawDetail(DebugDraw& sink, double intensity) {
  sink.Untextured();
  sink.SetPose(kZero, Quat{0, 0, 0, 1});
  sink.SetMode(DebugMode::Shadow);
  // A vertical shadow: the posed mesh flattened onto z = 0.01.
  Mat4 pose = Mat4FromPose(position, orientation);
  float a = float(0.4 * intensity);
  for (const Triangle& t : triangles) {
    Vec3 p[3];
    for (int k = 0; k < 3; k++) {
      p[k] = Transform(vertices[t.v[k]], pose);
      p[k].z = 0.01;
    }
    sink.Triangle(p[0], 0, 0, 0, a, p[1], 0, 0, 0, a, p[2], 0, 0, 0, a);
  }
  sink.SetMode(DebugMode::Solid);
}

void pBody::Draw(DebugDraw& sink) {
  sink.Untextured();
  sink.SetPose(position, orientation);
  for (const Triangle& t : triangles) {
    sink.Triangle(vertices[t.v[0]], 0.5f, 0, 0, 1, vertices[t.v[1]], 0, 0.5f, 0, 1,
                  vertices[t.v[2]], 0, 0, 0.5f, 1);
  }
  DrawDetail(sink, 1.0);
  sink.SetMode(DebugMode::Overlay);
  sink.BoxEdges(box, 1, 1, 1, 0.3f);
  sink.SetMode(DebugMode::Solid);
}
