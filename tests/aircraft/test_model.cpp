#include "tests/aircraft/test_model.h"

#include <cstring>
#include <new>

namespace {

struct Node {
  const char* name;
  Vec3 position;  // the node's own position, its pivot (model metres)
  Vec3 lo{}, hi{};  // its box; a point node has none (lo == hi)
};

// Proportions of a machine that stands on its legs under its balloon.
const Node kNodes[] = {
    {"Fuselage Proxy", {0, 0, 0}, {-0.4, -2.0, -0.5}, {0.4, 2.0, 0.5}},
    {"Ballast", {0, 0, -0.4}, {-0.2, -0.3, -0.5}, {0.2, 0.3, -0.3}},
    {"Ballon Proxy", {0, 0, 5}, {-1.3, -2.6, 3.7}, {1.3, 2.6, 6.3}},
    {"Left Wing2 Proxy", {-0.4, 0, 0.3}, {-2.0, -0.5, 0.26}, {-0.4, 0.5, 0.34}},
    {"Left Wing Proxy", {-2.0, 0, 0.3}, {-4.0, -0.5, 0.26}, {-2.0, 0.5, 0.34}},
    {"Right Wing2 Proxy", {0.4, 0, 0.3}, {0.4, -0.5, 0.26}, {2.0, 0.5, 0.34}},
    {"Right Wing Proxy", {2.0, 0, 0.3}, {2.0, -0.5, 0.26}, {4.0, 0.5, 0.34}},
    {"Tail Proxy", {0, -2.3, 0}, {-0.9, -3.0, -0.04}, {0.9, -2.3, 0.04}},
    {"Tail2 Proxy", {0, -2.3, 0}, {-0.04, -3.0, 0.0}, {0.04, -2.3, 0.95}},
    {"RLeg1 Proxy", {0.3, 0.3, -0.5}, {0.25, 0.25, -1.1}, {0.35, 0.35, -0.5}},
    {"RLeg2 Proxy", {0.3, 0.3, -1.1}, {0.25, 0.25, -1.7}, {0.35, 0.35, -1.1}},
    {"RLeg3 Proxy", {0.3, 0.3, -1.7}, {0.2, 0.05, -1.85}, {0.4, 0.55, -1.7}},
    {"LLeg1 Proxy", {-0.3, 0.3, -0.5}, {-0.35, 0.25, -1.1}, {-0.25, 0.35, -0.5}},
    {"LLeg2 Proxy", {-0.3, 0.3, -1.1}, {-0.35, 0.25, -1.7}, {-0.25, 0.35, -1.1}},
    {"LLeg3 Proxy", {-0.3, 0.3, -1.7}, {-0.4, 0.05, -1.85}, {-0.2, 0.55, -1.7}},
    {"CameraPoint", {0, 1.1, 0.3}, {-0.1, 1.0, 0.2}, {0.1, 1.2, 0.4}},
    {"StrapesPoint1a", {0.4, 1.5, 0.5}},   {"StrapesPoint1b", {1.0, 1.5, 3.9}},
    {"StrapesPoint2a", {-0.4, 1.5, 0.5}},  {"StrapesPoint2b", {-1.0, 1.5, 3.9}},
    {"StrapesPoint3a", {0.4, -1.5, 0.5}},  {"StrapesPoint3b", {1.0, -1.5, 3.9}},
    {"StrapesPoint4a", {-0.4, -1.5, 0.5}}, {"StrapesPoint4b", {-1.0, -1.5, 3.9}},
};

VEC3F Narrow(const Vec3& v) { return {float(v.x), float(v.y), float(v.z)}; }

ModelNode& AddNode(MDL* m, const char* name, const Vec3& position) {
  m->nodes.resize(m->nodes.count + 1);
  ModelNode& node = *new (&m->nodes[m->nodes.count - 1]) ModelNode();
  node.name = String(name);
  node.position = Narrow(position);
  node.rotation = {0, 0, 0, 1};
  node.nodeScale = {1, 1, 1};
  BoxReset(node.bounds);
  return node;
}

void AddVertex(MDL* m, const Vec3& p) { m->vertices.push(ModelVertex{Narrow(p), {0, 0, 1}, {}, {}, {}, {}}); }

MDL* NewModel(const char* name, float scale) {
  MDL* m = new MDL();
  m->name = String(name);
  m->scale = scale;
  m->next = ModelRegistry;
  if (ModelRegistry) ModelRegistry->prev = m;
  return ModelRegistry = m;
}

}  // namespace

MDL* RegisterTestAircraftModel(bool withNodes) {
  MDL* m = NewModel("PlaneTarn", 0.02f);
  // A closed box, outward faces counter-clockwise seen from outside.
  static const uint32_t faces[12][3] = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6},
                                        {0, 1, 5}, {0, 5, 4}, {2, 6, 7}, {2, 7, 3},
                                        {0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}};
  if (!withNodes) return m;
  for (const Node& b : kNodes) {
    ModelNode& node = AddNode(m, b.name, b.position);
    if (b.lo.x == b.hi.x) continue;
    uint32_t base = m->vertices.count;
    for (int i = 0; i < 8; i++)
      AddVertex(m, {(i & 1) ? b.hi.x : b.lo.x, (i & 2) ? b.hi.y : b.lo.y, (i & 4) ? b.hi.z : b.lo.z});
    node.subsets.push(Subset{m->triangles.count, 12});
    for (const auto& f : faces) m->triangles.push(Triangle{{base + f[0], base + f[1], base + f[2]}});
  }
  return m;
}

MDL* RegisterFlatIsland(double height) {
  MDL* m = NewModel("DivadiZarov", 0.1f);
  for (int i = 0; i < 4; i++) AddVertex(m, {(i & 1) ? 270.0 : -130.0, (i & 2) ? 270.0 : -130.0, height});
  AddNode(m, "Ground", {0, 0, 0}).subsets.push(Subset{0, 2});
  m->triangles.push(Triangle{{0, 1, 3}});  // counter-clockwise seen from above
  m->triangles.push(Triangle{{0, 3, 2}});
  return m;
}

Vec3 TestNodePosition(const char* name) {
  // As stored: in single precision, widened again. Through volatile floats:
  // GCC 12 at -O2 folds the vectorised round trip of x and y away.
  for (const Node& n : kNodes)
    if (std::strcmp(n.name, name) == 0) {
      volatile float x = float(n.position.x), y = float(n.position.y), z = float(n.position.z);
      return Vec3{x, y, z};
    }
  return {0, 0, 0};
}
