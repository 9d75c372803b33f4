// The compiler's hashed weld against a plain linear first-match search, on
// random nodes built to weld often (few distinct positions, normals and
// texture coordinates) and with smoothing groups, centring and seams.
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "assets/model.h"
#include "test_support.h"

namespace {

// Straight transcription of the compilation steps with the linear weld
// search over the node's vertices.
struct Reference {
  std::vector<ModelVertex> vertices;
  std::vector<Triangle> triangles;
  std::vector<std::vector<Subset>> subsets;
};

VEC3F Unit(VEC3F v) {
  Vec3 n = Normalize(Vec3{v.x, v.y, v.z});
  return {float(n.x), float(n.y), float(n.z)};
}

Reference ReferenceCompile(const std::vector<const RawNode*>& nodes, const std::vector<bool>& centred) {
  Reference out;
  for (size_t ni = 0; ni < nodes.size(); ni++) {
    const RawNode& raw = *nodes[ni];
    uint32_t highest = 0;
    bool any = raw.faces.count > 0;
    for (const RawFace& f : raw.faces) highest = std::max(highest, f.material);
    std::vector<uint32_t> counter(any ? highest + 1 : 0, 0);
    for (const RawFace& f : raw.faces) counter[f.material]++;
    std::vector<Subset> subsets;
    uint32_t running = uint32_t(out.triangles.size());
    for (uint32_t c : counter) {
      subsets.push_back({running, 0});
      running += c;
    }
    out.triangles.resize(out.triangles.size() + raw.faces.count);
    const size_t start = out.vertices.size();
    for (const RawFace& face : raw.faces) {
      const VEC3F &PK = raw.vertices[face.corner[0]].position, &PL = raw.vertices[face.corner[1]].position,
                  &PM = raw.vertices[face.corner[2]].position;
      float uK = face.tex0[0].x, vK = face.tex0[0].y, uL = face.tex0[1].x, vL = face.tex0[1].y,
            uM = face.tex0[2].x, vM = face.tex0[2].y;
      float r = 1.0f / ((uL - uM) * (vK - vM) - (uM - uK) * (vM - vL));
      VEC3F T, B;
      T.x = r * ((vK - vM) * (PL.x - PM.x) + (vM - vL) * (PK.x - PM.x));
      T.y = r * ((vK - vM) * (PL.y - PM.y) + (vM - vL) * (PK.y - PM.y));
      T.z = r * ((vK - vM) * (PL.z - PM.z) + (vM - vL) * (PK.z - PM.z));
      B.x = r * ((uM - uK) * (PL.x - PM.x) + (uL - uM) * (PK.x - PM.x));
      B.y = r * ((uM - uK) * (PL.y - PM.y) + (uL - uM) * (PK.y - PM.y));
      B.z = r * ((uM - uK) * (PL.z - PM.z) + (uL - uM) * (PK.z - PM.z));
      bool finite = true;
      for (float x : {T.x, T.y, T.z, B.x, B.y, B.z}) finite = finite && std::isfinite(x);
      if (!finite) {
        T = {1, 0, 0};
        B = {0, 1, 0};
      }
      Triangle tri;
      for (int k = 0; k < 3; k++) {
        const RawVertex& v = raw.vertices[face.corner[k]];
        ModelVertex c;
        c.position = v.position;
        if (centred[ni])
          c.position = {v.position.x - raw.position.x, v.position.y - raw.position.y, v.position.z - raw.position.z};
        uint32_t mask = face.smoothing;
        for (uint32_t f : v.faceList)
          if (raw.faces[f].smoothing & mask) mask |= raw.faces[f].smoothing;
        c.normal = {0, 0, 0};
        for (uint32_t f : v.faceList) {
          if (raw.faces[f].smoothing & mask) {
            c.normal.x += raw.faces[f].normal.x;
            c.normal.y += raw.faces[f].normal.y;
            c.normal.z += raw.faces[f].normal.z;
          }
        }
        c.tangent = T;
        c.binormal = B;
        c.tex0 = {face.tex0[k].x, 1 - face.tex0[k].y, face.tex0[k].z};
        c.tex1 = {face.tex1[k].x, 1 - face.tex1[k].y, face.tex1[k].z};
        size_t found = out.vertices.size();
        for (size_t i = start; i < out.vertices.size(); i++) {
          const ModelVertex& w = out.vertices[i];
          if (w.position.x == c.position.x && w.position.y == c.position.y && w.position.z == c.position.z &&
              w.normal.x == c.normal.x && w.normal.y == c.normal.y && w.normal.z == c.normal.z &&
              w.tex0.x == c.tex0.x && w.tex0.y == c.tex0.y && w.tex0.z == c.tex0.z && w.tex1.x == c.tex1.x &&
              w.tex1.y == c.tex1.y && w.tex1.z == c.tex1.z) {
            found = i;
            break;
          }
        }
        if (found == out.vertices.size()) {
          out.vertices.push_back(c);
        } else {
          ModelVertex& w = out.vertices[found];
          w.tangent = {w.tangent.x + T.x, w.tangent.y + T.y, w.tangent.z + T.z};
          w.binormal = {w.binormal.x + B.x, w.binormal.y + B.y, w.binormal.z + B.z};
        }
        tri.v[k] = uint32_t(found);
      }
      Subset& s = subsets[face.material];
      out.triangles[s.first + s.count] = tri;
      s.count++;
    }
    for (size_t i = start; i < out.vertices.size(); i++) {
      out.vertices[i].normal = Unit(out.vertices[i].normal);
      out.vertices[i].tangent = Unit(out.vertices[i].tangent);
      out.vertices[i].binormal = Unit(out.vertices[i].binormal);
    }
    out.subsets.push_back(subsets);
  }
  return out;
}

void AddRandomNode(Array<RawNode>& nodes, std::mt19937& rng, const char* name) {
  nodes.resize(nodes.count + 1);
  RawNode& n = *new (&nodes[nodes.count - 1]) RawNode();
  n.name = name;
  auto pick = [&](int k) { return int(rng() % uint32_t(k)); };
  n.position = {float(pick(5)) * 0.5f, float(pick(3)), -1.0f};
  n.rotation = {0, 0, 0, 1};
  n.nodeScale = {1, 1, 1};
  uint32_t vertexCount = 4 + rng() % 40;
  for (uint32_t i = 0; i < vertexCount; i++) {
    RawVertex v;
    // Few distinct coordinates, some repeated, -0 among them.
    const float coords[] = {0.0f, -0.0f, 1.0f, 2.5f, -3.0f};
    v.position = {coords[pick(5)], coords[pick(5)], coords[pick(5)]};
    n.vertices.push(v);
  }
  uint32_t faceCount = rng() % 300;
  for (uint32_t i = 0; i < faceCount; i++) {
    RawFace f;
    f.material = rng() % 4;
    const uint32_t groups[] = {0, 1, 2, 3, 4, 6, 1, 1};
    f.smoothing = groups[pick(8)];
    for (int k = 0; k < 3; k++) {
      f.corner[k] = rng() % vertexCount;
      const float uv[] = {0.0f, 0.5f, 1.0f};
      f.tex0[k] = {uv[pick(3)], uv[pick(3)], 0};
      f.tex1[k] = {uv[pick(2)], 0, 0};
    }
    Vec3 p0{n.vertices[f.corner[0]].position.x, n.vertices[f.corner[0]].position.y,
            n.vertices[f.corner[0]].position.z};
    Vec3 p1{n.vertices[f.corner[1]].position.x, n.vertices[f.corner[1]].position.y,
            n.vertices[f.corner[1]].position.z};
    Vec3 p2{n.vertices[f.corner[2]].position.x, n.vertices[f.corner[2]].position.y,
            n.vertices[f.corner[2]].position.z};
    Vec3 nn = Normalize(Cross(p1 - p0, p2 - p0));
    f.normal = {float(nn.x), float(nn.y), float(nn.z)};
    uint32_t index = n.faces.count;
    n.faces.push(f);
    for (int k = 0; k < 3; k++) n.vertices[f.corner[k]].faceList.push(index);
  }
}

TEST(WeldTest, HashedWeldMatchesLinearFirstMatch) {
  std::mt19937 rng(20261206);
  const char* names[] = {"Plain", "/c Centred", "/d Door", "Other", "/s Hub"};
  for (int round = 0; round < 60; round++) {
    Array<RawNode> raw;
    uint32_t count = 1 + rng() % 4;
    for (uint32_t i = 0; i < count; i++) AddRandomNode(raw, rng, names[rng() % 5]);
    std::vector<const RawNode*> order;
    std::vector<bool> centred;
    for (uint32_t i = 0; i < raw.count; i++) {
      order.push_back(&raw[i]);
      std::string name = raw[i].name.c_str();
      centred.push_back(name.rfind("/c ", 0) == 0 || name.rfind("/s ", 0) == 0);
    }
    Reference ref = ReferenceCompile(order, centred);

    Array<RawNode> work(raw);
    MDL model;
    {
      LogCapture quiet;
      CompileRawModel(&model, work);
    }
    ASSERT_EQ(model.vertices.count, ref.vertices.size()) << "round " << round;
    ASSERT_EQ(model.triangles.count, ref.triangles.size());
    EXPECT_TRUE(SameBits(model.vertices.data, ref.vertices.data(), ref.vertices.size() * sizeof(ModelVertex)))
        << "round " << round;
    EXPECT_TRUE(SameBits(model.triangles.data, ref.triangles.data(), ref.triangles.size() * sizeof(Triangle)));
    for (size_t i = 0; i < ref.subsets.size(); i++) {
      ASSERT_EQ(model.nodes[uint32_t(i)].subsets.count, ref.subsets[i].size());
      EXPECT_TRUE(SameBits(model.nodes[uint32_t(i)].subsets.data, ref.subsets[i].data(),
                           ref.subsets[i].size() * sizeof(Subset)));
    }
    // Within a node no two vertices weld: the hash found every match.
    EXPECT_EQ(work.count, 0u);
  }
}

TEST(WeldTest, LargeGridWeldsSharedCornersAndSplitsSeams) {
  // 8 x 8 cells, seams every 4 cells: each 4 x 4 tile has 5 x 5 own vertices.
  TNode t = TerrainNode(8, 4);
  Array<RawNode> raw;
  raw.resize(1);
  RawNode& n = *new (&raw[0]) RawNode();
  n.name = "Terrain";
  n.rotation = {0, 0, 0, 1};
  n.nodeScale = {1, 1, 1};
  for (const VEC3F& v : t.vertices) {
    RawVertex rv;
    rv.position = v;
    n.vertices.push(rv);
  }
  for (const TFace& tf : t.faces) {
    RawFace f;
    f.material = 0;
    f.smoothing = 1;
    for (int k = 0; k < 3; k++) {
      f.corner[k] = tf.corner[k];
      f.tex0[k] = tf.tex0[k];
      f.tex1[k] = tf.tex1[k];
    }
    f.normal = {0, 0, 1};
    uint32_t index = n.faces.count;
    n.faces.push(f);
    for (int k = 0; k < 3; k++) n.vertices[f.corner[k]].faceList.push(index);
  }
  MDL model;
  LogCapture quiet;
  CompileRawModel(&model, raw);
  EXPECT_EQ(model.vertices.count, 4u * 25u);
  EXPECT_EQ(model.triangles.count, 128u);
}

}  // namespace
