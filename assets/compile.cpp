// Raw model compilation: smoothing-group normals, face tangent frames,
// welding of identical corners and grouping of each node's triangles by
// material. Runs once per model; the result is cached as the ".mdc" file.
#include <cmath>
#include <cstring>
#include <new>
#include <unordered_map>
#include <vector>

#include "assets/model.h"
#include "foundation/clock.h"
#include "foundation/log.h"

namespace {

// Corners weld when position, normal and both texture coordinates are equal
// float for float. A linear scan over the node's vertices finds the first
// equal one; since a vertex is only appended when no equal one exists, there
// is never more than one, so a hash of the twelve floats finds the same vertex
// without the quadratic cost. Floats are compared by their bits with -0 taken
// as +0, which is == for every number; a NaN (only in a damaged file) then
// welds with the same NaN instead of never matching while always hashing
// alike, which would make every probe walk all the NaN corners before it.
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
    uint32_t x[12], y[12];
    Key(a, x);
    Key(b, y);
    return std::memcmp(x, y, sizeof x) == 0;
  }

 private:
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;

  // -0 and +0 compare equal, so both become +0.
  static uint32_t Bits(float f) {
    f += 0.0f;
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
  }
  // The twelve welded floats as bits.
  static void Key(const ModelVertex& v, uint32_t out[12]) {
    const float values[12] = {v.position.x, v.position.y, v.position.z, v.normal.x, v.normal.y, v.normal.z,
                              v.tex0.x,     v.tex0.y,     v.tex0.z,     v.tex1.x,   v.tex1.y,   v.tex1.z};
    for (int i = 0; i < 12; i++) out[i] = Bits(values[i]);
  }
  static uint32_t Hash(const ModelVertex& v) {
    uint32_t key[12];
    Key(v, key);
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (uint32_t bits : key) {
      h ^= bits;
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

// The faces of one crowded vertex in read order, in blocks of 32, under a
// binary tree whose every node keeps, per smoothing group g, the union of the
// masks of its faces that have g. A face grows a mask M exactly when it
// shares a group with M and has one outside it, so a node holds such a face
// exactly when some g in M has a union reaching outside M; and a node holds
// one exactly when one of its children does. The next face to grow M is
// then found by descending the tree instead of walking every face between.
class GrowthTree {
 public:
  GrowthTree(const RawNode& raw, const Array<uint32_t>& faces) : raw_(raw), faces_(faces) {
    const uint32_t blocks = (faces.count + kBlock - 1) / kBlock;
    while (leaves_ < blocks) leaves_ *= 2;
    unions_.assign(size_t(2) * leaves_ * 32, 0);
    for (uint32_t i = 0; i < faces.count; i++) {
      uint32_t s = Mask(i);
      for (uint32_t g = 0; g < 32; g++)
        if (s >> g & 1) unions_[(size_t(leaves_) + i / kBlock) * 32 + g] |= s;
    }
    for (size_t n = leaves_ - 1; n >= 1; n--)
      for (uint32_t g = 0; g < 32; g++) unions_[n * 32 + g] = unions_[2 * n * 32 + g] | unions_[(2 * n + 1) * 32 + g];
  }

  // The mask after one pass over the faces in read order from start.
  uint32_t Grow(uint32_t mask) const {
    for (uint32_t at = Next(mask, 0); at < faces_.count; at = Next(mask, at + 1)) mask |= Mask(at);
    return mask;
  }

 private:
  static constexpr uint32_t kBlock = 32;

  uint32_t Mask(uint32_t i) const { return raw_.faces[faces_[i]].smoothing; }
  static bool Grows(uint32_t s, uint32_t mask) { return (s & mask) && (s & ~mask); }
  bool Holds(size_t node, uint32_t mask) const {
    for (uint32_t m = mask; m; m &= m - 1)
      if (unions_[node * 32 + __builtin_ctz(m)] & ~mask) return true;
    return false;
  }
  // The first face at or after from that grows mask; faces_.count when none.
  uint32_t Next(uint32_t mask, uint32_t from) const {
    uint32_t block = from / kBlock;
    if (block >= leaves_) return faces_.count;
    for (uint32_t i = from; i < faces_.count && i < (block + 1) * kBlock; i++)
      if (Grows(Mask(i), mask)) return i;
    uint32_t found = FirstBlock(1, 0, leaves_, block + 1, mask);
    if (found >= leaves_) return faces_.count;
    for (uint32_t i = found * kBlock; i < faces_.count; i++)
      if (Grows(Mask(i), mask)) return i;
    return faces_.count;  // not reached: the block holds one
  }
  // The first block in [lo, hi) of node, at or after from, holding a face that grows mask.
  uint32_t FirstBlock(size_t node, uint32_t lo, uint32_t hi, uint32_t from, uint32_t mask) const {
    if (hi <= from || !Holds(node, mask)) return leaves_;
    if (hi - lo == 1) return lo;
    uint32_t mid = (lo + hi) / 2;
    uint32_t left = FirstBlock(2 * node, lo, mid, from, mask);
    return left < leaves_ ? left : FirstBlock(2 * node + 1, mid, hi, from, mask);
  }

  const RawNode& raw_;
  const Array<uint32_t>& faces_;
  uint32_t leaves_ = 1;
  std::vector<uint32_t> unions_;  // 32 per node, node 1 the root, leaves_ + b the block b
};

// The smoothed normal of a corner: the sum of the face normals of every face
// at its vertex that shares a smoothing group with the corner's mask, where
// the mask is grown in one pass over the vertex's faces in read order (a face
// joins when it shares a group with the mask as it stands at that moment).
// Both steps depend only on the vertex and the starting mask, so a vertex
// shared by many faces works each distinct mask out once, and grows it by
// jumping from one face that widens it to the next (at most 32 jumps). Sums
// keep the read order, so the normals are exactly those of doing it afresh
// for every corner.
class SmoothNormals {
 public:
  explicit SmoothNormals(const RawNode& raw) : raw_(raw) {}

  VEC3F Normal(uint32_t vertex, uint32_t startMask) {
    const Array<uint32_t>& faces = raw_.vertices[vertex].faceList;
    if (faces.count <= kFewFaces) return Sum(faces, Grow(faces, startMask));
    auto known = byStart_.find(Key(vertex, startMask));
    if (known != byStart_.end()) return known->second;
    auto tree = trees_.find(vertex);
    if (tree == trees_.end()) tree = trees_.emplace(vertex, GrowthTree(raw_, faces)).first;
    uint32_t mask = tree->second.Grow(startMask);
    auto summed = byFinal_.find(Key(vertex, mask));
    VEC3F normal = summed != byFinal_.end() ? summed->second : Sum(faces, mask);
    byFinal_.emplace(Key(vertex, mask), normal);
    byStart_.emplace(Key(vertex, startMask), normal);
    return normal;
  }

 private:
  // Up to this many faces at a vertex, working it out again is cheaper than looking it up.
  static constexpr uint32_t kFewFaces = 16;

  static uint64_t Key(uint32_t vertex, uint32_t mask) { return uint64_t(vertex) << 32 | mask; }

  uint32_t Grow(const Array<uint32_t>& faces, uint32_t mask) const {
    for (uint32_t f : faces) {
      uint32_t s = raw_.faces[f].smoothing;
      if (s & mask) mask |= s;
    }
    return mask;
  }
  VEC3F Sum(const Array<uint32_t>& faces, uint32_t mask) const {
    VEC3F normal = {0, 0, 0};
    for (uint32_t f : faces) {
      const RawFace& other = raw_.faces[f];
      if (other.smoothing & mask) {
        normal.x += other.normal.x;
        normal.y += other.normal.y;
        normal.z += other.normal.z;
      }
    }
    return normal;
  }

  const RawNode& raw_;
  std::unordered_map<uint64_t, VEC3F> byStart_, byFinal_;
  std::unordered_map<uint32_t, GrowthTree> trees_;
};

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
  SmoothNormals smoothing(raw);

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
      candidate.normal = smoothing.Normal(face.corner[k], face.smoothing);
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
  double t0 = WallSeconds();
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
  {
    LogConsoleOnly progress;  // a developer's timing, not news for the pilot
    Log("   Compiling: %f sec\n", WallSeconds() - t0);
  }
}
