// Models: the raw exporter format (".mdl"), its compilation into the
// render-ready layout, the compiled format (".mdc"), the registry that shares
// models by name and node queries. The device objects the model holds are
// made and drawn by render/model_draw.
//
// Positions are in model units multiplied by the model's scale (metres in the
// simulator). A model is one vertex array and one triangle array shared by its
// nodes; each node owns a contiguous run of triangles grouped by material.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/array.h"
#include "foundation/math.h"
#include "foundation/mem.h"
#include "foundation/str.h"

// Device objects, made and released by the drawing side.
class IDirect3DVertexBuffer9;
class IDirect3DIndexBuffer9;
class IDirect3DVertexDeclaration9;

// One vertex, 72 bytes, identical in memory, in the ".mdc" file and in the
// vertex buffer.
struct ModelVertex {
  VEC3F position;  // model space, or node-local for a centred node (metres)
  VEC3F normal;    // unit length
  VEC3F tangent;   // unit length, direction of increasing texture u
  VEC3F binormal;  // unit length, direction of increasing texture v
  VEC3F tex0;      // u, v, w; v already flipped (1 - v of the raw file)
  VEC3F tex1;      // u, v, w; v already flipped
};
static_assert(sizeof(ModelVertex) == 72, "ModelVertex is the 72-byte file and buffer layout");

// Three indices into MDL::vertices, counter-clockwise seen from the front.
struct Triangle {
  uint32_t v[3];
};
static_assert(sizeof(Triangle) == 12, "a triangle is three 32-bit indices");

// One material's run of triangles in MDL::triangles.
struct Subset {
  uint32_t first;  // index of the first triangle
  uint32_t count;  // number of triangles (0 for a material no face uses)
};

struct ModelNode {
  String name;              // without its "/c", "/s" or "/d" prefix
  VEC3F position;           // metres (already scaled); (0, 0, 0) for a centred node
  QUATF rotation;           // as exported, w last
  VEC3F nodeScale;          // as exported; only the sign of the product is used (mirroring)
  Array<Subset> subsets;    // one per material 0 .. highest material used, contiguous
  Box bounds;               // around the node's triangle corners as stored; rebuilt on load
};
TARN_BYTEWISE_MOVABLE(ModelNode);

struct MDL {
  float scale = 0.1f;  // applied to raw positions when read; no effect on a ".mdc"
  MDL* prev = nullptr;  // registry links (newest first)
  MDL* next = nullptr;
  uint32_t Refs = 1;
  String name;  // without folder and extension
  uint64_t generatedKey = 0;  // LoadGeneratedModel's cache key; 0 for a model read from its files
  Array<ModelVertex> vertices;
  Array<Triangle> triangles;
  Array<ModelNode> nodes;  // in file order
  IDirect3DVertexBuffer9* vertexBuffer = nullptr;
  IDirect3DIndexBuffer9* indexBuffer = nullptr;
  IDirect3DVertexDeclaration9* vertexDeclaration = nullptr;
};

// Intermediate records of a raw model, used only while it is read and compiled.
struct RawVertex {
  VEC3F position;            // scaled
  Array<uint32_t> faceList;  // indices of the node's faces using this vertex, in read order
};
TARN_BYTEWISE_MOVABLE(RawVertex);

struct RawFace {  // 104 bytes, the file's face record with the normal recomputed
  VEC3F normal;        // unit face normal, (0, 0, 1) for a degenerate face
  uint32_t material;   // material (subset) index
  uint32_t smoothing;  // bit set of smoothing groups; 0 = none
  uint32_t corner[3];  // indices into the node's vertices
  VEC3F tex0[3];       // per corner, as in the file (v not yet flipped)
  VEC3F tex1[3];
};
static_assert(sizeof(RawFace) == 104, "RawFace mirrors the 104-byte face record");

struct RawNode {
  String name;  // as in the file, prefix included
  VEC3F position;
  QUATF rotation;
  VEC3F nodeScale;
  Array<RawVertex> vertices;
  Array<RawFace> faces;
};
TARN_BYTEWISE_MOVABLE(RawNode);

// File magics: "MDLR" and "MDLC" read as little-endian 32-bit values.
constexpr uint32_t kRawModelMagic = 0x524C444Du;
constexpr uint32_t kCompiledModelMagic = 0x434C444Du;

// Fills a model whose name and scale are set from its compiled file (preferred)
// or "Models/<name>.mdl" (compiled, then saved as the compiled file), then has
// the drawing side create its device objects (drawing_hooks.h; only when a
// device exists). Safe to call again: a model that holds geometry only gets
// its missing device objects.
// The compiled file is "Models/<name>.mdc", or in CompiledModelCache when
// that is set. When the raw model is there too, a compiled file older than
// it, or one that reads short or is rejected, is recompiled from the raw
// model after one line saying so.
void LoadModelData(MDL* model);

// Turns raw nodes into the model's vertices, triangles and nodes (normals,
// smoothing, tangent frames, welding, grouping by material).
void CompileRawModel(MDL* model, Array<RawNode>& rawNodes);

// Where compiled models go when the content directory may not be written
// (an absolute folder), or empty: then "Models/<name>.mdc" beside the raw
// model. In the folder a compiled model is "<name>-<key>.mdc", the key being
// 16 hex digits of a hash of the raw model's bytes, its scale and the program
// version, so that one folder serves every content directory and version.
extern std::string CompiledModelCache;

// Registry, newest first; null when empty.
extern MDL* ModelRegistry;

// Load-or-get by name; never null. The scale of a later request for a loaded
// name is ignored.
MDL* LoadModel(const String& name, float scale);
// Load-or-get a model the program generated itself: `raw` holds it in the
// raw ".mdl" layout. Its compiled form is cached as "<name>-<key>.mdc" in
// Models/ (or in CompiledModelCache), the key being a hash of the raw bytes,
// the scale and the program version, so a changed generator input compiles
// once and is read back afterwards. A registered model of that name with the
// same key is shared; so is one registered under the name by other means (a
// stand-in a test put there). Never null.
MDL* LoadGeneratedModel(const String& name, float scale, const MEM& raw);
void ReleaseModel(MDL* model);  // drops one reference; destroys at the last
void ReleaseAllModels();        // empties the registry whatever the counts
void DestroyModel(MDL* model);  // frees what the model owns (not the record)

// Lookups of a node by name (here and in what builds bodies from models) that
// found none, counted from the start: a machine built while it rose is
// incomplete.
extern uint32_t MissingNodeLookups;

// Position (model metres) of the first node of that name; (0, 0, 0) and a
// line when there is none.
Vec3 GetNodePosition(MDL* model, String name);
// Unit direction from the node name + "_axis" to the node name + "_point";
// (0, 0, 1) when they coincide or are missing (with a line when missing).
Vec3 GetAxis(MDL* model, String name);
