// Building blocks of the raw models: a node with its vertex and face lists
// (positions in model metres), shape generators that keep every closed shape
// outward-facing and counter-clockwise, texture projection into atlas
// regions, and the writer of the raw ".mdl" layout.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/math.h"
#include "foundation/mem.h"

namespace content {

// Texture coordinates as the drawing sees them: v grows downward from the
// image's top row. The writer stores the raw file's flipped v (1 - v).
struct UV {
  double u, v;
};

// A rectangle of an atlas texture, in texture coordinates.
struct Region {
  double u0, v0, u1, v1;
};

struct Face {
  uint32_t material;   // subset index
  uint32_t smoothing;  // smoothing-group bits; faces sharing a bit share normals
  uint32_t corner[3];  // counter-clockwise seen from outside
  UV tex0[3];
  double tex1u[3];  // second coordinate's u: 0 follows the fuselage, 1 the balloon
};

struct MeshNode {
  std::string name;
  Vec3 position{0, 0, 0};  // model metres; a proxy's hinge pivot
  std::vector<Vec3> vertices;
  std::vector<Face> faces;

  uint32_t AddVertex(const Vec3& p);
  // Adds a face with placeholder texture coordinates (see MapPlanar).
  void AddTriangle(uint32_t a, uint32_t b, uint32_t c, uint32_t material, uint32_t smoothing);
  uint32_t FaceCount() const { return uint32_t(faces.size()); }
};

struct ModelFile {
  double scale;  // metres per raw unit, as the simulator loads the model
  std::vector<MeshNode> nodes;

  MeshNode& Add(const std::string& name, const Vec3& position = {0, 0, 0});
};

// Appends the model in the raw ".mdl" layout (positions divided by scale).
void WriteRawModel(const ModelFile& model, std::vector<uint8_t>& out);

// --- shapes (all closed and outward-facing unless stated) ---

// Axis-aligned box; each side its own smoothing bit, so it shades flat.
void AddBox(MeshNode& node, const Vec3& lo, const Vec3& hi, uint32_t material);

// A ring of a loft: its points run counter-clockwise about the loft's
// direction (from the first ring toward the last). A ring of one point is a
// tip. Materials: one per side segment of each band (index = band * n + i),
// or empty for `material` everywhere.
struct LoftOptions {
  uint32_t material = 0;
  uint32_t capMaterial = 0;      // material of the flat end caps
  uint32_t endCapMaterial = ~0u; // last cap's material when set
  uint32_t smoothing = 1;        // side faces
  bool caps = true;              // close flat ends with a fan about their centroid
  std::vector<uint32_t> segmentMaterial;  // per side face of a ring (around), optional
  std::vector<uint32_t> bandMaterial;     // per band (along), optional; wins over segment
  bool cylindricalUV = false;    // u around, v along, into `region`
  Region region{0, 0, 1, 1};
};
// Returns the index of the first face added.
uint32_t AddLoft(MeshNode& node, const std::vector<std::vector<Vec3>>& rings, const LoftOptions& options);

// Points of an ellipse-like ring about the axis a = e1 x e2, counter-clockwise
// about a: centre + e1 * cos(t) * r1 + e2 * sin(t) * r2. `power` > 2 squares
// the corners (superellipse).
std::vector<Vec3> Ring(const Vec3& centre, const Vec3& e1, const Vec3& e2, double r1, double r2, int count,
                       double power = 2.0);

// Thin square tube from a to b (closed), `half` its half width. The second
// texture coordinate runs from 0 at a to 1 at b.
void AddTube(MeshNode& node, const Vec3& a, const Vec3& b, double half, uint32_t material, const Vec3& side);

// --- texture coordinates ---

// Projects faces [first, end) onto the plane across each face's dominant
// normal axis, scaled so their common bounding box fills `region`.
void MapPlanar(MeshNode& node, uint32_t first, const Region& region);
// Sets the second texture coordinate's u of faces [first, end).
void SetTex1(MeshNode& node, uint32_t first, double u);

// --- checks shared by the builder and its tests ---

// Signed volume enclosed by a node's faces (positive when outward-facing).
double SignedVolume(const std::vector<Vec3>& vertices, const std::vector<Face>& faces);
// True when every directed edge appears once and its reverse once.
bool IsClosed(const std::vector<Face>& faces);

}  // namespace content
