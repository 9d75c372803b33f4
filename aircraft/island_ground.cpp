#include "aircraft/island_ground.h"

#include <cmath>

#include "assets/model.h"
#include "physics/ground.h"

void FillGroundMesh(const MDL* island) {
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
  Array<uint32_t> candidates;
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
