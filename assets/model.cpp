// Model files: reading raw and compiled models, saving the compiled layout;
// the model registry and node queries. The device objects and the drawing
// are render/model_draw's.
#include "assets/model.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>

#include "assets/drawing_hooks.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "tarn_version.h"

MDL* ModelRegistry = nullptr;
std::string CompiledModelCache;
uint32_t MissingNodeLookups = 0;

namespace {

// Timings and counts for developers: the console only, never the screen.
template <class F>
void LogProgress(F print) {
  LogConsoleOnly progress;
  print();
}

// Smallest number of bytes one record can take in a file; a count is never
// believed beyond what the bytes left could hold, so a corrupt count cannot
// make the reader allocate gigabytes or print billions of short-read lines.
constexpr uint32_t kRawNodeMinBytes = 1 + 12 + 16 + 12 + 4 + 4;  // empty name, no vertices, no faces
constexpr uint32_t kRawVertexBytes = 12;
constexpr uint32_t kRawFaceBytes = 104;
constexpr uint32_t kCompiledVertexBytes = 72;
constexpr uint32_t kTriangleBytes = 12;
constexpr uint32_t kCompiledNodeMinBytes = 1 + 12 + 16 + 12 + 4;
constexpr uint32_t kSubsetBytes = 8;

// Material indices select subsets; one subset is made per index up to the
// highest used, so an index from a damaged file must not reach billions.
constexpr uint32_t kMaxMaterial = 4095;

// What one model may hold, far above real content (the island, the largest,
// has about 100,000 triangles in a few dozen nodes with a handful of
// materials). A raw file asking for more has the excess skipped with one line
// per kind; a compiled file asking for more is rejected. These bound the
// memory a hostile file can make the reader and compiler use to a few hundred
// megabytes and the ".mdc" written from it to about the size of the ".mdl".
constexpr uint32_t kMaxNodes = 65536;       // raw nodes; a compiled model may have twice (the added points)
constexpr uint32_t kMaxVertices = 1u << 20;  // raw vertices, all nodes together
constexpr uint32_t kMaxFaces = 1u << 20;     // raw faces (compiled triangles), all nodes together
constexpr uint32_t kMaxSubsets = 65536;      // subsets of all nodes together: the sum of highest material + 1

uint32_t BytesLeft(const MEM& file) { return file.pos < file.size ? file.size - file.pos : 0; }

// The records that fit, plus one that runs into the end: a file cut short
// still prints its short-read lines and yields a record of zeros, as any
// truncated file does, but a damaged count cannot ask for billions.
uint32_t ClampCount(const MEM& file, uint32_t count, uint32_t recordBytes, const char* path,
                    const char* what) {
  uint32_t limit = BytesLeft(file) / recordBytes + 1;
  if (count > limit) {
    Log("Model file \"%s\": %s count %u exceeds the data left, reading %u\n", path, what, count, limit);
    return limit;
  }
  return count;
}

std::string ModelPath(const MDL* model, const char* extension) {
  std::string path = "Models/";
  path += model->name.c_str();
  path += extension;
  return path;
}

Vec3 Widen(const VEC3F& v) { return {v.x, v.y, v.z}; }

// Appends a default-constructed element and returns it.
template <class T>
T& Append(Array<T>& array) {
  array.resize(array.count + 1);
  return *new (&array[array.count - 1]) T();
}

// The part of a raw model's total that is still free; asking for more says so
// once per kind and file.
class Budget {
 public:
  Budget(uint32_t limit, const char* what) : left_(limit), limit_(limit), what_(what) {}
  // As much of n as is left.
  uint32_t Take(uint32_t n, const char* path) {
    if (n > left_) Tell(path);
    n = n < left_ ? n : left_;
    left_ -= n;
    return n;
  }
  // All of n or nothing.
  bool TakeAll(uint32_t n, const char* path) {
    if (n > left_) return Tell(path);
    left_ -= n;
    return true;
  }

 private:
  bool Tell(const char* path) {
    if (!told_) Log("Model file \"%s\": more than %u %s in the model, the rest skipped\n", path, limit_, what_);
    told_ = true;
    return false;
  }

  uint32_t left_, limit_;
  const char* what_;
  bool told_ = false;
};

void ReadRawModel(MDL* model, MEM& file, const char* path, Array<RawNode>& rawNodes) {
  double t0 = WallSeconds();
  LogProgress([&] { Log("Loading RAW model \"%s\"", path); });
  uint32_t nodeCount = file.Get_uint32();
  LogProgress([&] { Log(", Nodes: %u\n", nodeCount); });
  nodeCount = ClampCount(file, nodeCount, kRawNodeMinBytes, path, "node");
  const float scale = model->scale;
  Budget nodes(kMaxNodes, "nodes"), vertices(kMaxVertices, "vertices"), faces(kMaxFaces, "faces"),
      subsets(kMaxSubsets, "material subsets");
  nodeCount = nodes.Take(nodeCount, path);

  for (uint32_t n = 0; n < nodeCount; n++) {
    RawNode& node = Append(rawNodes);
    file.Get_string(node.name);
    VEC3F p = file.Get_VEC3F();
    node.position = {p.x * scale, p.y * scale, p.z * scale};
    node.rotation = file.Get_QUATF();
    node.nodeScale = file.Get_VEC3F();
    const bool mirrored = node.nodeScale.x * node.nodeScale.y * node.nodeScale.z < 0;

    // Vertices and faces past the model's limits are read over, not kept.
    const uint32_t vertexCount = ClampCount(file, file.Get_uint32(), kRawVertexBytes, path, "vertex");
    const uint32_t keptVertices = vertices.Take(vertexCount, path);
    node.vertices.resize(keptVertices);
    for (uint32_t v = 0; v < vertexCount; v++) {
      VEC3F q = file.Get_VEC3F();
      if (v >= keptVertices) continue;
      RawVertex& vertex = *new (&node.vertices[v]) RawVertex();
      vertex.position = {q.x * scale, q.y * scale, q.z * scale};
    }

    const uint32_t faceCount = ClampCount(file, file.Get_uint32(), kRawFaceBytes, path, "face");
    uint32_t facesLeft = faces.Take(faceCount, path);
    node.faces.resize(facesLeft);
    node.faces.resize(0);
    uint32_t subsetCount = 0;  // this node's: its highest material + 1
    for (uint32_t f = 0; f < faceCount; f++) {
      RawFace face;
      file.Get_VEC3F();  // the stored normal is recomputed below
      face.material = file.Get_uint32();
      face.smoothing = file.Get_uint32();
      // A mirrored node stores its corners in reverse, which turns the
      // winding back to counter-clockwise; each corner keeps its own data.
      const int order[3] = {mirrored ? 2 : 0, 1, mirrored ? 0 : 2};
      for (int k = 0; k < 3; k++) face.corner[order[k]] = file.Get_uint32();
      for (int k = 0; k < 3; k++) face.tex0[order[k]] = file.Get_VEC3F();
      for (int k = 0; k < 3; k++) face.tex1[order[k]] = file.Get_VEC3F();

      bool valid = true;
      for (int k = 0; k < 3 && valid; k++) {
        if (face.corner[k] >= node.vertices.count && face.corner[k] < vertexCount) {
          valid = false;  // a vertex past the model's limit: that line was said
        } else if (face.corner[k] >= node.vertices.count) {
          Log("Model file \"%s\": face %u of node \"%s\" uses vertex %u of %u, face skipped\n", path, f,
              node.name.c_str(), face.corner[k], node.vertices.count);
          valid = false;
        }
      }
      if (valid && face.material > kMaxMaterial) {
        Log("Model file \"%s\": face %u of node \"%s\" has material %u (above %u), face skipped\n", path, f,
            node.name.c_str(), face.material, kMaxMaterial);
        valid = false;
      }
      if (!valid || facesLeft == 0) continue;
      // A higher material costs a subset for every index up to it.
      if (face.material >= subsetCount) {
        if (!subsets.TakeAll(face.material + 1 - subsetCount, path)) continue;
        subsetCount = face.material + 1;
      }
      facesLeft--;

      Vec3 p0 = Widen(node.vertices[face.corner[0]].position);
      Vec3 p1 = Widen(node.vertices[face.corner[1]].position);
      Vec3 p2 = Widen(node.vertices[face.corner[2]].position);
      Vec3 n = Normalize(Cross(p1 - p0, p2 - p0));
      face.normal = {float(n.x), float(n.y), float(n.z)};

      uint32_t index = node.faces.count;
      node.faces.push(face);
      for (int k = 0; k < 3; k++) node.vertices[face.corner[k]].faceList.push(index);
    }
  }
  LogProgress([&] { Log("   Loading: %f sec\n", WallSeconds() - t0); });
}

void SaveCompiledModel(const MDL* model, const char* path) {
  double t0 = WallSeconds();
  MEM out;
  out.Put_uint32(kCompiledModelMagic);
  out.Put_uint32(model->vertices.count);
  for (const ModelVertex& v : model->vertices) {
    out.Put_VEC3F(v.position);
    out.Put_VEC3F(v.normal);
    out.Put_VEC3F(v.tangent);
    out.Put_VEC3F(v.binormal);
    out.Put_VEC3F(v.tex0);
    out.Put_VEC3F(v.tex1);
  }
  out.Put_uint32(model->triangles.count);
  for (const Triangle& t : model->triangles) {
    out.Put_uint32(t.v[0]);
    out.Put_uint32(t.v[1]);
    out.Put_uint32(t.v[2]);
  }
  out.Put_uint32(model->nodes.count);
  for (const ModelNode& node : model->nodes) {
    out.Put_string(node.name.c_str());
    out.Put_VEC3F(node.position);
    out.Put_QUATF(node.rotation);
    out.Put_VEC3F(node.nodeScale);
    out.Put_uint32(node.subsets.count);
    for (const Subset& s : node.subsets) {
      out.Put_uint32(s.first);
      out.Put_uint32(s.count);
    }
  }
  SaveFile(path, out);
  LogProgress([&] { Log("   Saving: %f sec\n", WallSeconds() - t0); });
}

void ClearGeometry(MDL* model) {
  model->vertices.clear();
  model->triangles.clear();
  model->nodes.clear();
}

// The triangles a node draws: from its first subset's first, the sum of its
// subset counts.
bool NodeRun(const ModelNode& node, uint64_t& first, uint64_t& total) {
  total = 0;
  for (const Subset& s : node.subsets) total += s.count;
  first = node.subsets.count ? node.subsets[0].first : 0;
  return total != 0;
}

void RebuildBounds(MDL* model) {
  for (ModelNode& node : model->nodes) {
    BoxReset(node.bounds);
    uint64_t first, total;
    if (!NodeRun(node, first, total)) continue;
    for (uint64_t t = first; t < first + total; t++) {
      const Triangle& tri = model->triangles[uint32_t(t)];
      for (int k = 0; k < 3; k++) {
        const VEC3F& p = model->vertices[tri.v[k]].position;
        BoxExtend(node.bounds, p.x, p.y, p.z);
      }
    }
  }
}

// Indices are checked before anything uses them: a triangle must name
// existing vertices, and every subset and every node's run must lie within
// the triangles. One bad index rejects the whole file.
bool CheckCompiledModel(const MDL* model, const char* path) {
  const uint32_t vertexCount = model->vertices.count;
  const uint64_t triangleCount = model->triangles.count;
  for (uint32_t t = 0; t < model->triangles.count; t++) {
    for (int k = 0; k < 3; k++) {
      if (model->triangles[t].v[k] >= vertexCount) {
        Log("Model file \"%s\": triangle %u uses vertex %u of %u, file rejected\n", path, t,
            model->triangles[t].v[k], vertexCount);
        return false;
      }
    }
  }
  for (const ModelNode& node : model->nodes) {
    bool ok = true;
    for (const Subset& s : node.subsets) ok = ok && uint64_t(s.first) + s.count <= triangleCount;
    uint64_t first, total;
    if (NodeRun(node, first, total)) ok = ok && first + total <= triangleCount;
    if (!ok) {
      Log("Model file \"%s\": node \"%s\" runs beyond %u triangles, file rejected\n", path, node.name.c_str(),
          model->triangles.count);
      return false;
    }
  }
  return true;
}

// A compiled model is only ever written within the raw model's limits; a
// count beyond them is a damaged or foreign file.
bool WithinLimit(uint64_t count, uint64_t limit, const char* path, const char* what) {
  if (count <= limit) return true;
  Log("Model file \"%s\": more than %llu %s, file rejected\n", path, static_cast<unsigned long long>(limit), what);
  return false;
}

void ReadCompiledModel(MDL* model, MEM& file, const char* path) {
  ClearGeometry(model);
  uint32_t vertexCount = ClampCount(file, file.Get_uint32(), kCompiledVertexBytes, path, "vertex");
  if (!WithinLimit(vertexCount, 3ull * kMaxFaces, path, "vertices")) return;
  model->vertices.resize(vertexCount);
  for (ModelVertex& v : model->vertices) {
    v.position = file.Get_VEC3F();
    v.normal = file.Get_VEC3F();
    v.tangent = file.Get_VEC3F();
    v.binormal = file.Get_VEC3F();
    v.tex0 = file.Get_VEC3F();
    v.tex1 = file.Get_VEC3F();
  }
  uint32_t triangleCount = ClampCount(file, file.Get_uint32(), kTriangleBytes, path, "triangle");
  if (!WithinLimit(triangleCount, kMaxFaces, path, "triangles")) return ClearGeometry(model);
  model->triangles.resize(triangleCount);
  for (Triangle& t : model->triangles) {
    t.v[0] = file.Get_uint32();
    t.v[1] = file.Get_uint32();
    t.v[2] = file.Get_uint32();
  }
  uint32_t nodeCount = ClampCount(file, file.Get_uint32(), kCompiledNodeMinBytes, path, "node");
  if (!WithinLimit(nodeCount, 2ull * kMaxNodes, path, "nodes")) return ClearGeometry(model);
  model->nodes.resize(nodeCount);
  uint64_t subsetTotal = 0;
  for (uint32_t n = 0; n < nodeCount; n++) {
    ModelNode& node = *new (&model->nodes[n]) ModelNode();
    file.Get_string(node.name);
    node.position = file.Get_VEC3F();
    node.rotation = file.Get_QUATF();
    node.nodeScale = file.Get_VEC3F();
    uint32_t subsetCount = ClampCount(file, file.Get_uint32(), kSubsetBytes, path, "subset");
    subsetTotal += subsetCount;
    if (!WithinLimit(subsetTotal, kMaxSubsets, path, "material subsets")) {
      model->nodes.resize(n + 1);  // only the nodes made so far are destroyed
      return ClearGeometry(model);
    }
    node.subsets.resize(subsetCount);
    for (Subset& s : node.subsets) {
      s.first = file.Get_uint32();
      s.count = file.Get_uint32();
    }
  }
  if (!CheckCompiledModel(model, path)) {
    ClearGeometry(model);
    return;
  }
  RebuildBounds(model);
}

void UnlinkModel(MDL* model) {
  if (model->next) model->next->prev = model->prev;
  if (model->prev)
    model->prev->next = model->next;
  else if (ModelRegistry == model)
    ModelRegistry = model->next;
  model->prev = model->next = nullptr;
}

String WithSuffix(const String& name, const char* suffix) {
  std::string s(name.c_str());
  s += suffix;
  return String(s.c_str());
}

// 64-bit FNV-1a over a block of bytes, continuing from `hash`.
uint64_t HashBytes(uint64_t hash, const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; i++) hash = (hash ^ p[i]) * 0x100000001B3ull;
  return hash;
}

// The cache name of a raw model's compiled form. It covers everything the
// result depends on: the raw bytes, the scale they are read with, the
// compiled layout and the program that compiled them. A changed raw model or
// a new compiler therefore never meets an old result, whatever the files'
// dates say (a package keeps the dates it was built with).
uint64_t CacheKey(float scale, const MEM& raw) {
  uint64_t hash = HashBytes(0xCBF29CE484222325ull, raw.data, raw.size);
  hash = HashBytes(hash, &scale, sizeof scale);
  hash = HashBytes(hash, &kCompiledModelMagic, sizeof kCompiledModelMagic);
  return HashBytes(hash, TARN_VERSION, sizeof TARN_VERSION);
}

std::string CacheFileName(const MDL* model, uint64_t hash, const std::string& folder) {
  char key[17];
  std::snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(hash));
  return folder + "/" + model->name.c_str() + "-" + key + ".mdc";
}

std::string CacheFileName(const MDL* model, const MEM& raw) {
  return CacheFileName(model, CacheKey(model->scale, raw), CompiledModelCache);
}

bool IsOlder(const std::string& a, const std::string& b) {
  std::error_code ea, eb;
  auto ta = std::filesystem::last_write_time(FsPath(a), ea), tb = std::filesystem::last_write_time(FsPath(b), eb);
  return !ea && !eb && ta < tb;
}

// Reads a compiled file that stands in for a raw model. Any complaint while
// reading it (a short file, a count beyond its data, a bad index, a foreign
// magic) means it is not the compiler's complete output: the model is left
// empty and false returned, quietly, so the caller can recompile instead.
bool ReadTrustedCompiled(MDL* model, const char* path) {
  LogCapture quiet;
  MEM file;
  LoadFile(path, file);
  if (file.size == 0 || file.Get_uint32() != kCompiledModelMagic) return false;
  ReadCompiledModel(model, file, path);
  bool complete = quiet.text().empty() && file.pos == file.size;
  if (!complete) ClearGeometry(model);
  return complete;
}

// Reads whatever file `path` holds by its magic: a raw model is compiled and
// saved to `compiledPath`.
void ReadModelFile(MDL* model, MEM& file, const char* path, const std::string& compiledPath) {
  if (file.size == 0) return;
  file.pos = 0;
  uint32_t magic = file.Get_uint32();
  if (magic == kRawModelMagic) {
    Array<RawNode> rawNodes;
    ReadRawModel(model, file, path, rawNodes);
    CompileRawModel(model, rawNodes);
    SaveCompiledModel(model, compiledPath.c_str());
  } else if (magic == kCompiledModelMagic) {
    ReadCompiledModel(model, file, path);
  }
}

void LoadGeometry(MDL* model) {
  const std::string rawPath = ModelPath(model, ".mdl");
  std::string compiledPath = ModelPath(model, ".mdc");
  const bool haveRaw = FileExists(rawPath.c_str());
  MEM raw;
  if (haveRaw && !CompiledModelCache.empty()) {
    LoadFile(rawPath.c_str(), raw);
    if (raw.size == 0) return;
    compiledPath = CacheFileName(model, raw);
  }
  const char* compiled = compiledPath.c_str();
  if (FileExists(compiled)) {
    if (!haveRaw) {
      // Nothing to fall back on: the compiled file is read as it is, with
      // whatever lines its damage earns.
      MEM file;
      LoadFile(compiled, file);
      ReadModelFile(model, file, compiled, compiledPath);
      return;
    }
    if (CompiledModelCache.empty() && IsOlder(compiledPath, rawPath)) {
      Log("Model file \"%s\" is older than \"%s\", recompiling\n", compiled, rawPath.c_str());
    } else if (ReadTrustedCompiled(model, compiled)) {
      return;
    } else {
      Log("Model file \"%s\" is damaged, recompiling \"%s\"\n", compiled, rawPath.c_str());
    }
  } else if (!haveRaw) {
    Log("Model file not found: \"%s\", \"%s\"\n", compiled, rawPath.c_str());
    return;
  }
  if (raw.size == 0) LoadFile(rawPath.c_str(), raw);
  ReadModelFile(model, raw, rawPath.c_str(), compiledPath);
}

}  // namespace

void LoadModelData(MDL* model) {
  if (model->vertices.count == 0 && model->triangles.count == 0 && model->nodes.count == 0) LoadGeometry(model);
  if (Drawing.createModelObjects) Drawing.createModelObjects(model);
}

namespace {

// A new empty model at the head of the registry.
MDL* Register(const String& name, float scale) {
  MDL* model = new MDL();
  model->scale = scale;
  model->name = name;
  model->next = ModelRegistry;
  if (ModelRegistry) ModelRegistry->prev = model;
  ModelRegistry = model;
  return model;
}

}  // namespace

MDL* LoadGeneratedModel(const String& name, float scale, const MEM& raw) {
  const uint64_t key = CacheKey(scale, raw);
  for (MDL* m = ModelRegistry; m; m = m->next) {
    if (m->name == name && (m->generatedKey == key || m->generatedKey == 0)) {
      m->Refs++;
      return m;
    }
  }
  MDL* model = Register(name, scale);
  model->generatedKey = key;
  const std::string compiled =
      CacheFileName(model, key, CompiledModelCache.empty() ? std::string("Models") : CompiledModelCache);
  if (!FileExists(compiled.c_str()) || !ReadTrustedCompiled(model, compiled.c_str())) {
    MEM copy;
    copy.Put_bytes(raw.data, raw.size);
    copy.pos = 0;
    // It stands in for the raw model of that name, and says so as that file did.
    const std::string label = std::string("Models/") + name.c_str() + ".mdl";
    ReadModelFile(model, copy, label.c_str(), compiled);
  }
  if (Drawing.createModelObjects) Drawing.createModelObjects(model);
  return model;
}

MDL* LoadModel(const String& name, float scale) {
  for (MDL* m = ModelRegistry; m; m = m->next) {
    if (m->name == name) {
      m->Refs++;
      return m;
    }
  }
  MDL* model = Register(name, scale);
  LoadModelData(model);
  return model;
}

void ReleaseModel(MDL* model) {
  if (model->Refs == 1) {
    UnlinkModel(model);
    DestroyModel(model);
    delete model;
  } else if (model->Refs == 0) {
    Log("ERROR, MDL.Refs<0\n");
  } else {
    model->Refs--;
  }
}

void ReleaseAllModels() {
  while (ModelRegistry) {
    MDL* head = ModelRegistry;
    // A count that already fell to 0 cannot be counted down; it is reported
    // and the model destroyed anyway so the loop always ends.
    if (head->Refs == 0) {
      Log("ERROR, MDL.Refs<0\n");
      head->Refs = 1;
    }
    ReleaseModel(head);
  }
}

void DestroyModel(MDL* model) {
  if (Drawing.releaseModelObjects) Drawing.releaseModelObjects(model);
  ClearGeometry(model);
  model->name = String();
}

Vec3 GetNodePosition(MDL* model, String name) {
  for (const ModelNode& node : model->nodes) {
    if (node.name == name) return Widen(node.position);
  }
  MissingNodeLookups++;
  Log("Can't find node %s\n", name.c_str());
  return {0, 0, 0};
}

Vec3 GetAxis(MDL* model, String name) {
  String pointName = WithSuffix(name, "_point");
  String axisName = WithSuffix(name, "_axis");
  for (const ModelNode& p : model->nodes) {
    if (p.name != pointName) continue;
    for (const ModelNode& a : model->nodes) {
      if (a.name != axisName) continue;
      // The difference is taken in single precision, as the positions are stored.
      VEC3F df = {p.position.x - a.position.x, p.position.y - a.position.y, p.position.z - a.position.z};
      Vec3 d = Widen(df);
      double length = Length(d);
      if (length == 0) return {0, 0, 1};
      return d / length;
    }
  }
  MissingNodeLookups++;
  Log("Can't find axis: %s\n", name.c_str());
  return {0, 0, 1};
}
