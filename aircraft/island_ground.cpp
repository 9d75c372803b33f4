#include "aircraft/island_ground.h"

#include <cmath>
#include <cstring>

#include "assets/model.h"
#include "physics/ground.h"

namespace {

// Whether the ground mesh holds exactly the island's corners and triangles,
// bit for bit.
bool HoldsMesh(const MDL& island) {
  if (GroundVertices.count != island.vertices.count || GroundTriangles.count != island.triangles.count)
    return false;
  for (uint32_t i = 0; i < GroundVertices.count; i++) {
    const VEC3F& p = island.vertices[i].position;
    const Vec3 v = {double(p.x), double(p.y), double(p.z)};
    if (std::memcmp(&v, &GroundVertices[i], sizeof v) != 0) return false;
  }
  for (uint32_t i = 0; i < GroundTriangles.count; i++) {
    const Triangle& a = island.triangles[i];
    const Triangle& b = GroundTriangles[i];
    if (a.v[0] != b.v[0] || a.v[1] != b.v[1] || a.v[2] != b.v[2]) return false;
  }
  return true;
}

}  // namespace

void FillGroundMesh(const MDL* island) {
  // The same island again (a sweep's worker forked after its parent loaded
  // it): the mesh stays, and with it the broad phase's grid.
  if (island != nullptr && HoldsMesh(*island)) return;
  GroundVertices.clear();
  GroundTriangles.clear();
  if (island != nullptr) {
    for (const ModelVertex& v : island->vertices)
      GroundVertices.push(Vec3{double(v.position.x), double(v.position.y), double(v.position.z)});
    for (const Triangle& t : island->triangles) GroundTriangles.push(t);
  }
  GroundMeshChanged();
}

MDL* LoadIslandGround() {
  MDL* island = LoadModel(String("DivadiZarov"), 0.1f);
  FillGroundMesh(island);
  return island;
}

bool GroundHeightBelow(const Vec3& p, double above, double* height) {
  // Candidates near the vertical line; the z range only has to cover the island.
  // The list is kept from call to call: the flight runner asks for every
  // body in every frame.
  static Array<uint32_t> candidates;
  GroundCandidates(Vec3{p.x, p.y, -1.0e6}, Vec3{p.x, p.y, 1.0e6}, 0.0, candidates);
  bool haveBelow = false, haveAny = false;
  double best = 0, lowest = 0;
  uint32_t vertexCount = GroundVertices.count;
  for (uint32_t index : candidates) {
    if (index >= GroundTriangles.count) continue;
    const Triangle& t = GroundTriangles[index];
    if (t.v[0] >= vertexCount || t.v[1] >= vertexCount || t.v[2] >= vertexCount) continue;
    const Vec3& a = GroundVertices[t.v[0]];
    const Vec3& b = GroundVertices[t.v[1]];
    const Vec3& c = GroundVertices[t.v[2]];
    // Barycentric coordinates of (p.x, p.y) in the triangle's ground-plan.
    double det = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
    if (det == 0) continue;  // vertical or degenerate: no single height
    double u = ((p.x - a.x) * (c.y - a.y) - (c.x - a.x) * (p.y - a.y)) / det;
    double v = ((b.x - a.x) * (p.y - a.y) - (p.x - a.x) * (b.y - a.y)) / det;
    if (u < 0 || v < 0 || u + v > 1) continue;
    double z = a.z + u * (b.z - a.z) + v * (c.z - a.z);
    if (!haveAny || z < lowest) lowest = z;
    haveAny = true;
    if (z <= p.z + above && (!haveBelow || z > best)) {
      best = z;
      haveBelow = true;
    }
  }
  if (!haveAny) return false;
  *height = haveBelow ? best : lowest;
  return true;
}
