// Raw model compilation: smoothing-group normals, face tangent frames,
// welding of identical corners and grouping of each node's triangles by
// material. Runs once per model; the result is cached as the ".mdc" file.
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "assets/model.h"
#include "foundation/clock.h"
#include "foundation/log.h"

namespace {

// Corners weld when position, normal and both texture coordinates are equal
// float for float. A linear scan over the node's vertices finds the first
// equal one; since a vertex is only appended when no equal one exists, there
// is never more than one, so a hash of the twelve floats finds the same vertex
// without the quadratic cost.
class WeldTable {
 public:
  void Reset(uint32_t expected) {
    uint32_t size = NextPowerOfTwo(expected * 2 < 16 ? 16 : expected * 2);
    slots_.assign(size, kEmpty);
    mask_ = size - 1;
    used_ = 0;
  }
  // Index of the vertex equal to candidate among vertices[start..], or kNone.
  uint32_t Find(const ModelVertex& candidate, const Array<ModelVertex>& vertices, uint32_t& slot) const {
    slot = Hash(candidate) & mask_;
    while (slots_[slot] != kEmpty) {
      if (Equal(vertices[slots_[slot]], candidate)) return slots_[slot];
      slot = (slot + 1) & mask_;
    }
    return kNone;
  }
  // Records vertex index in the empty slot Find returned.
  void Insert(uint32_t slot, uint32_t index, const Array<ModelVertex>& vertices) {
    slots_[slot] = index;
    if (++used_ * 2 > slots_.size()) Rehash(vertices);
  }

  static constexpr uint32_t kNone = 0xFFFFFFFFu;

  static bool Equal(const ModelVertex& a, const ModelVertex& b) {
    return a.position.x == b.position.x && a.position.y == b.position.y && a.position.z == b.position.z &&
           a.normal.x == b.normal.x && a.normal.y == b.normal.y && a.normal.z == b.normal.z &&
           a.tex0.x == b.tex0.x && a.tex0.y == b.tex0.y && a.tex0.z == b.tex0.z && a.tex1.x == b.tex1.x &&
           a.tex1.y == b.tex1.y && a.tex1.z == b.tex1.z;
  }

 private:
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;

  // Equal floats must hash alike: -0 and +0 compare equal, so both hash as +0.
  static uint32_t Bits(float f) {
    f += 0.0f;
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
  }
  static uint32_t Hash(const ModelVertex& v) {
    const float values[12] = {v.position.x, v.position.y, v.position.z, v.normal.x, v.normal.y, v.normal.z,
                              v.tex0.x,     v.tex0.y,     v.tex0.z,     v.tex1.x,   v.tex1.y,   v.tex1.z};
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (float f : values) {
      h ^= Bits(f);
      h *= 0xFF51AFD7ED558CCDull;
      h ^= h >> 32;
    }
    return uint32_t(h ^ (h >> 29));
  }
  void Rehash(const Array<ModelVertex>& vertices) {
    std::vector<uint32_t> old;
    old.swap(slots_);
    slots_.assign(old.size() * 2, kEmpty);
    mask_ = uint32_t(slots_.size() - 1);
    for (uint32_t index : old) {
      if (index == kEmpty) continue;
      uint32_t slot = Hash(vertices[index]) & mask_;
      while (slots_[slot] != kEmpty) slot = (slot + 1) & mask_;
      slots_[slot] = index;
    }
  }

  std::vector<uint32_t> slots_;
  uint32_t mask_ = 0;
  uint32_t used_ = 0;
};

bool IsPrefix(const String& word, const char* prefix) {
  return word.size == 3 && std::memcmp(word.data, prefix, 3) == 0;
}

// The name without its two-letter prefix and the separator after it. A name
// that is only the prefix has nothing left (not even room for the NUL a
// shorter copy would need), so it becomes the empty name.
String StripPrefix(const String& name) {
  if (name.size <= 3) return String();
  return Substring(name, name.size - 3);
}

void NormalizeInPlace(VEC3F& v) {
  Vec3 n = Normalize(Vec3{v.x, v.y, v.z});
  v = {float(n.x), float(n.y), float(n.z)};
}

// Tangent (increasing u) and binormal (increasing v) of a face, from the
// corner positions and the raw texture coordinates (before the v flip).
void FaceTangentFrame(const RawNode& raw, const RawFace& face, VEC3F& T, VEC3F& B) {
  const VEC3F& PK = raw.vertices[face.corner[0]].position;
  const VEC3F& PL = raw.vertices[face.corner[1]].position;
  const VEC3F& PM = raw.vertices[face.corner[2]].position;
  const float uK = face.tex0[0].x, vK = face.tex0[0].y;
  const float uL = face.tex0[1].x, vL = face.tex0[1].y;
  const float uM = face.tex0[2].x, vM = face.tex0[2].y;
  const float r = 1.0f / ((uL - uM) * (vK - vM) - (uM - uK) * (vM - vL));
  const float a = vK - vM, b = vM - vL, c = uM - uK, d = uL - uM;
  const VEC3F e1 = {PL.x - PM.x, PL.y - PM.y, PL.z - PM.z};
  const VEC3F e2 = {PK.x - PM.x, PK.y - PM.y, PK.z - PM.z};
  T = {r * (a * e1.x + b * e2.x), r * (a * e1.y + b * e2.y), r * (a * e1.z + b * e2.z)};
  B = {r * (c * e1.x + d * e2.x), r * (c * e1.y + d * e2.y), r * (c * e1.z + d * e2.z)};
  // Texture coordinates without area (a zero denominator) give no direction;
  // unit axes stand in so the vertex frame stays finite.
  if (!(std::isfinite(T.x) && std::isfinite(T.y) && std::isfinite(T.z) && std::isfinite(B.x) &&
        std::isfinite(B.y) && std::isfinite(B.z))) {
    T = {1, 0, 0};
    B = {0, 1, 0};
  }
}

void CompileNode(MDL* model, Array<RawNode>& rawNodes, uint32_t i, WeldTable& weld) {
  ModelNode& node = model->nodes[model->nodes.count - 1];
  bool centred = false;
  {
    const String& rawName = rawNodes[i].name;
    uint32_t pos = 0;
    String word = NextWord(rawName, pos);
    if (IsPrefix(word, "/c") || IsPrefix(word, "/s") || IsPrefix(word, "/d")) {
      node.name = StripPrefix(rawName);
      centred = !IsPrefix(word, "/d");
      if (IsPrefix(word, "/s")) {
        // The added node keeps the place the centred node had. Appending may
        // move the raw nodes, so node i is addressed by index afterwards.
        String pointName(node.name);
        pointName.Insert(pointName.size - 1, "_point", 6);
        VEC3F position = rawNodes[i].position;
        QUATF rotation = rawNodes[i].rotation;
        VEC3F nodeScale = rawNodes[i].nodeScale;
        rawNodes.resize(rawNodes.count + 1);
        RawNode& point = *new (&rawNodes[rawNodes.count - 1]) RawNode();
        point.name = pointName;
        point.position = position;
        point.rotation = rotation;
        point.nodeScale = nodeScale;
      }
    }
  }
  const RawNode& raw = rawNodes[i];
  node.position = raw.position;
  node.rotation = raw.rotation;
  node.nodeScale = raw.nodeScale;

  // Triangles per material, then one subset per material value in order.
  std::vector<uint32_t> counter;
  for (const RawFace& face : raw.faces) {
    if (face.material >= counter.size()) counter.resize(size_t(face.material) + 1, 0);
    counter[face.material]++;
  }
  uint32_t running = model->triangles.count;
  for (uint32_t count : counter) {
    node.subsets.push(Subset{running, count});
    running += count;
  }
  for (Subset& s : node.subsets) s.count = 0;  // now the fill position

  const uint32_t firstTriangle = model->triangles.count;
  model->triangles.resize(firstTriangle + raw.faces.count);
  const uint32_t start = model->vertices.count;
  model->vertices.resize(start + 3 * raw.faces.count);
  model->vertices.resize(start);
  weld.Reset(3 * raw.faces.count);

  for (const RawFace& face : raw.faces) {
    VEC3F T, B;
    FaceTangentFrame(raw, face, T, B);
    Triangle tri;
    for (int k = 0; k < 3; k++) {
      const RawVertex& v = raw.vertices[face.corner[k]];
      ModelVertex candidate;
      candidate.position = v.position;
      if (centred) {
        candidate.position = {v.position.x - raw.position.x, v.position.y - raw.position.y,
                              v.position.z - raw.position.z};
      }
      // One pass: each face sharing the vertex joins when it shares a group
      // with the mask as it stands at that moment.
      uint32_t mask = face.smoothing;
      for (uint32_t f : v.faceList) {
        if (raw.faces[f].smoothing & mask) mask |= raw.faces[f].smoothing;
      }
      VEC3F normal = {0, 0, 0};
      for (uint32_t f : v.faceList) {
        const RawFace& other = raw.faces[f];
        if (other.smoothing & mask) {
          normal.x += other.normal.x;
          normal.y += other.normal.y;
          normal.z += other.normal.z;
        }
      }
      candidate.normal = normal;
      candidate.tangent = T;
      candidate.binormal = B;
      candidate.tex0 = {face.tex0[k].x, 1 - face.tex0[k].y, face.tex0[k].z};
      candidate.tex1 = {face.tex1[k].x, 1 - face.tex1[k].y, face.tex1[k].z};

      uint32_t slot;
      uint32_t index = weld.Find(candidate, model->vertices, slot);
      if (index != WeldTable::kNone) {
        ModelVertex& found = model->vertices[index];
        found.tangent.x += T.x;
        found.tangent.y += T.y;
        found.tangent.z += T.z;
        found.binormal.x += B.x;
        found.binormal.y += B.y;
        found.binormal.z += B.z;
      } else {
        index = model->vertices.count;
        model->vertices.push(candidate);
        weld.Insert(slot, index, model->vertices);
      }
      tri.v[k] = index;
    }
    Subset& s = node.subsets[face.material];
    model->triangles[s.first + s.count] = tri;
    s.count++;
  }

  for (uint32_t v = start; v < model->vertices.count; v++) {
    NormalizeInPlace(model->vertices[v].normal);
    NormalizeInPlace(model->vertices[v].tangent);
    NormalizeInPlace(model->vertices[v].binormal);
  }
  if (centred) node.position = {0, 0, 0};
}

}  // namespace

void CompileRawModel(MDL* model, Array<RawNode>& rawNodes) {
  double t0 = GetSeconds();
  model->vertices.clear();
  model->triangles.clear();
  model->nodes.clear();

  WeldTable weld;
  for (uint32_t i = 0; i < rawNodes.count; i++) {
    model->nodes.resize(model->nodes.count + 1);
    ModelNode& node = *new (&model->nodes[model->nodes.count - 1]) ModelNode();
    node.name = rawNodes[i].name;
    BoxReset(node.bounds);
    CompileNode(model, rawNodes, i, weld);
  }
  rawNodes.clear();

  for (ModelNode& node : model->nodes) {
    BoxReset(node.bounds);
    uint32_t total = 0;
    for (const Subset& s : node.subsets) total += s.count;
    if (total == 0) continue;
    const uint32_t first = node.subsets[0].first;
    for (uint32_t t = first; t < first + total; t++) {
      for (int k = 0; k < 3; k++) {
        const VEC3F& p = model->vertices[model->triangles[t].v[k]].position;
        BoxExtend(node.bounds, p.x, p.y, p.z);
      }
    }
  }
  Log("   Compiling: %f sec\n", GetSeconds() - t0);
}
