// Model files and compilation: reading raw and compiled models, the compiled
// round trip, welding (the hashed search against a plain linear one),
// smoothing, mirroring, prefixes, bad indices and the model registry.
#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <random>

#include "assets/model.h"
#include "test_support.h"

namespace {

class ModelTest : public AssetTest {
 protected:
  // Loads quietly, or handing back what the load printed.
  MDL* Load(const char* name, float scale = 1, std::string* log = nullptr) {
    LogCapture capture;
    MDL* m = LoadModel(String(name), scale);
    if (log) *log = capture.text();
    return m;
  }
};

Vec3 V(const VEC3F& v) { return {v.x, v.y, v.z}; }
const VEC3F kUp{0, 0, 1};

TEST_F(ModelTest, RawModelLoadsScalesCompilesAndSaves) {
  WriteRawModel("Plate", {Quad("Plate", {5, 6, 7})});
  LogCapture log;
  MDL* m = LoadModel(String("Plate"), 0.5f);
  auto lines = log.lines();
  ASSERT_EQ(lines.size(), 4u) << log.text();
  EXPECT_EQ(lines[0], "Loading RAW model \"Models/Plate.mdl\", Nodes: 1");
  EXPECT_TRUE(lines[1].rfind("   Loading: ", 0) == 0 && lines[1].find(" sec") != std::string::npos);
  EXPECT_TRUE(lines[2].rfind("   Compiling: ", 0) == 0 && lines[3].rfind("   Saving: ", 0) == 0);
  EXPECT_FALSE(ReadBytes("Models/Plate.mdc").empty());

  ASSERT_EQ(m->nodes.count, 1u);
  EXPECT_EQ(m->nodes[0].name, String("Plate"));
  EXPECT_TRUE(m->nodes[0].position.x == 2.5f && m->nodes[0].position.z == 3.5f);
  // Both faces in group 1, same texture coordinates at the shared corners:
  // four welded vertices, positions scaled, v flipped, normals up
  // (counter-clockwise seen from above), u growing along +x and v along +y.
  EXPECT_EQ(m->vertices.count, 4u);
  EXPECT_EQ(m->triangles.count, 2u);
  EXPECT_TRUE(m->vertices[1].position.x == 5.0f && m->vertices[0].tex0.y == 1.0f);
  for (const ModelVertex& v : m->vertices) EXPECT_TRUE(v.normal.z == 1 && v.tangent.x == 1 && v.binormal.y == 1);
  EXPECT_EQ(m->nodes[0].bounds.localMax.x, 5.0);
}

TEST_F(ModelTest, CompiledRoundTripIsBitForBitAndPreferred) {
  TNode a = Quad("Flat", {1, 2, 3}), b = Quad("/c Wheel", {3, 4, 5}), c = Quad("Empty");
  a.faces[0].smoothing = 0;
  a.faces[1].tex1[2] = {0.5f, 0.25f, 0};
  b.faces[1].material = 2;
  b.rotation = {0, 0.6f, 0, 0.8f};
  b.nodeScale = {-1, 2, 1};
  c.faces.clear();
  WriteRawModel("Round", {a, b, c});
  MDL* first = Load("Round", 0.1f);
  MDL copy;  // the ".mdc" just written, read into a detached model
  copy.name = String("Round");
  LogCapture log;
  LoadModelData(&copy);
  EXPECT_EQ(log.text(), "");  // a compiled file prints nothing
  EXPECT_TRUE(Same(copy.vertices, first->vertices) && Same(copy.triangles, first->triangles));
  ASSERT_EQ(copy.nodes.count, first->nodes.count);
  for (uint32_t i = 0; i < copy.nodes.count; i++) {
    const ModelNode &x = copy.nodes[i], &y = first->nodes[i];
    EXPECT_TRUE(x.name == y.name && SameBits(&x.position, &y.position, 12) && SameBits(&x.rotation, &y.rotation, 16) &&
                SameBits(&x.nodeScale, &y.nodeScale, 12) && Same(x.subsets, y.subsets))
        << i;
    EXPECT_TRUE(x.bounds.empty == y.bounds.empty && SameBits(&x.bounds.localMin, &y.bounds.localMin, 2 * sizeof(Vec3)));
  }
  DestroyModel(&copy);

  // The compiled file wins while it is not older than the raw file: a raw file
  // of the same date with other content is not read, and the compiled file
  // keeps the scale it was made with.
  const float x1 = first->vertices[1].position.x;
  ReleaseAllModels();
  WriteRawModel("Round", {Quad("FromRaw")});
  Touch("Models/Round.mdl", 1000), Touch("Models/Round.mdc", 1000);
  MDL* again = LoadModel(String("Round"), 3.0f);
  EXPECT_TRUE(log.text().empty() && again->nodes.count == 3 && again->vertices[1].position.x == x1);

  // A raw file newer than the compiled one is compiled again.
  ReleaseAllModels();
  Touch("Models/Round.mdl", 2000);
  again = LoadModel(String("Round"), 3.0f);
  EXPECT_EQ(log.lines()[0], "Model file \"Models/Round.mdc\" is older than \"Models/Round.mdl\", recompiling");
  EXPECT_TRUE(Logged(log, "Loading RAW model \"Models/Round.mdl\", Nodes: 1\n") && again->nodes.count == 1);
}

// A compiled file that is not the compiler's whole output (cut short by a
// failed write, or with an index that rejects it) is never trusted while the
// raw model is there: one line, a recompilation, and a sound file again.
TEST_F(ModelTest, DamagedCompiledFilesAreRecompiledFromTheRawModel) {
  WriteRawModel("Cut", {Quad("Wing"), Quad("Tail", {0, 0, 5})});
  Load("Cut");
  const std::vector<uint8_t> good = ReadBytes("Models/Cut.mdc");
  std::vector<uint8_t> badIndex = good;
  Put32(badIndex, 8 + size_t(8) * 72 + 4, 99);  // first corner of the first triangle, after 8 vertices
  const std::vector<uint8_t> damaged[2] = {{good.begin(), good.begin() + good.size() * 6 / 10}, badIndex};
  for (const std::vector<uint8_t>& bytes : damaged) {
    ReleaseAllModels();
    WriteBytes("Models/Cut.mdc", bytes);
    Touch("Models/Cut.mdl", 1000), Touch("Models/Cut.mdc", 2000);
    LogCapture log;
    MDL* m = LoadModel(String("Cut"), 1);
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 5u) << log.text() << bytes.size();
    EXPECT_EQ(lines[0], "Model file \"Models/Cut.mdc\" is damaged, recompiling \"Models/Cut.mdl\"");
    EXPECT_EQ(lines[1], "Loading RAW model \"Models/Cut.mdl\", Nodes: 2");
    EXPECT_TRUE(m->nodes.count == 2 && m->triangles.count == 4 && ReadBytes("Models/Cut.mdc") == good);
    ReleaseAllModels();
    log.clear();
    EXPECT_EQ(LoadModel(String("Cut"), 1)->nodes.count, 2u);
    EXPECT_EQ(log.text(), "");  // and the next run loads it silently
  }
}

// With a cache folder the compiled files go there, named by what they were
// made from: the content's folder stays untouched, a second load is silent,
// and a changed raw model gets its own compiled file instead of an old one.
TEST_F(ModelTest, CacheFolderHoldsCompiledModelsKeyedByTheirSource) {
  const std::string cache = (dir_ / "cache").string();
  std::filesystem::create_directory(cache);
  struct Restore {
    ~Restore() { CompiledModelCache.clear(); }
  } restore;
  CompiledModelCache = cache;
  auto cached = [&] {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(cache)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  };
  WriteRawModel("Kept", {Quad("One")});
  std::string text;
  Load("Kept", 1, &text);
  EXPECT_EQ(text.rfind("Loading RAW model \"Models/Kept.mdl\", Nodes: 1\n", 0), 0u) << text;
  ASSERT_EQ(cached().size(), 1u);
  EXPECT_EQ(cached()[0].size(), std::string("Kept-0123456789abcdef.mdc").size());
  EXPECT_EQ(cached()[0].rfind("Kept-", 0), 0u);
  EXPECT_FALSE(std::filesystem::exists("Models/Kept.mdc"));
  ReleaseAllModels();
  EXPECT_EQ(Load("Kept", 1, &text)->nodes.count, 1u);
  EXPECT_EQ(text, "");

  ReleaseAllModels();
  WriteRawModel("Kept", {Quad("One"), Quad("Two")});
  Touch("Models/Kept.mdl", 1000);  // older than the cached file: the key still tells them apart
  EXPECT_EQ(Load("Kept", 1, &text)->nodes.count, 2u);
  EXPECT_NE(text.find("Loading RAW model"), std::string::npos);
  EXPECT_EQ(cached().size(), 2u);
  ReleaseAllModels();
  EXPECT_EQ(Load("Kept", 2, &text)->nodes.count, 2u);  // another scale, another result
  EXPECT_EQ(cached().size(), 3u);
}

TEST_F(ModelTest, MissingFilesAndUnknownMagic) {
  LogCapture log;
  MDL* m = LoadModel(String("Nothing"), 0.1f);
  EXPECT_EQ(log.text(), "Model file not found: \"Models/Nothing.mdc\", \"Models/Nothing.mdl\"\n");
  EXPECT_TRUE(m->nodes.count == 0 && m->Refs == 1 && ModelRegistry == m);
  log.clear();
  EXPECT_EQ(GetNodePosition(m, String("Hub")).x, 0.0);
  EXPECT_EQ(log.text(), "Can't find node Hub\n");

  std::string text;
  const uint32_t junk[2] = {0x12345678, 7};  // an unknown magic: nothing loads, silently
  WriteBytes("Models/Junk.mdl", junk, sizeof junk);
  MDL* j = Load("Junk", 0.1f, &text);
  EXPECT_TRUE(text.empty() && j->vertices.count == 0 && j->nodes.count == 0);
  WriteBytes("Models/Void.mdc", "", 0);  // empty file: the load prints its line, nothing more
  EXPECT_EQ(Load("Void", 0.1f, &text)->nodes.count, 0u);
  EXPECT_EQ(text, "fread failed\n");
}

TEST_F(ModelTest, SmoothingGroupsTextureSeamsAndDegenerateFrames) {
  // Two faces folded along the shared edge 0-1, in different groups, then in none.
  TNode n{"Fold", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 1}},
          {TFace{0, 1, {0, 1, 2}, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}},
           TFace{0, 2, {1, 0, 3}, {{1, 0, 0}, {0, 0, 0}, {0, 1, 0}}}}};
  WriteRawModel("Split", {n});
  n.faces[0].smoothing = n.faces[1].smoothing = 0;
  WriteRawModel("Flat", {n});
  MDL* split = Load("Split");
  EXPECT_EQ(split->vertices.count, 6u);  // each face keeps its own normal
  EXPECT_FLOAT_EQ(split->vertices[split->triangles[0].v[0]].normal.z, 1.0f);
  // No smoothing: every corner gets (0, 0, 1), the side face's too.
  for (const ModelVertex& v : Load("Flat")->vertices) EXPECT_TRUE(SameBits(&v.normal, &kUp, 12));

  TNode seam = Quad("Seam");  // other texture coordinates at one shared corner split it
  seam.faces[1].tex0[0] = {0.5f, 0.5f, 0};
  WriteRawModel("Seam", {seam});
  EXPECT_EQ(Load("Seam")->vertices.count, 5u);

  // Texture coordinates without area give unit tangent frames, never NaN.
  for (TFace& f : seam.faces) f.tex0[0] = f.tex0[1] = f.tex0[2] = {0.5f, 0.5f, 0};
  WriteRawModel("Degenerate", {seam});
  for (const ModelVertex& v : Load("Degenerate")->vertices)
    for (const VEC3F* w : {&v.tangent, &v.binormal, &v.normal})
      EXPECT_NEAR(w->x * w->x + w->y * w->y + w->z * w->z, 1.0f, 1e-6);  // false for NaN too
}

TEST_F(ModelTest, SmoothingMaskIsOnePassInListOrder) {
  // Vertex 0 is shared by faces read in the order A (group 4), B (2|4),
  // C (1|2), D (1). From D's corner the mask is 1: A and B are tested while
  // it is still 1 and stay out, C widens it to 3, and the final mask 3 takes
  // B, C and D, never A (a repeated pass would have reached A through B).
  // From A's corner the mask grows 4, 6, 7 and takes all four.
  TNode n{"Fan", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0.2f}, {-1, 0, 0.5f}, {0, -1, 0.7f}, {1, -1, 0.3f}}, {}};
  const uint32_t groups[4] = {4, 2 | 4, 1 | 2, 1};
  for (uint32_t i = 0; i < 4; i++)  // same coordinates at the shared corner
    n.faces.push_back(TFace{0, groups[i], {0, i + 1, i + 2}, {{0.5f, 0.5f, 0}, {1, 0, 0}, {0, 1, 0}}});
  WriteRawModel("Fan", {n});
  MDL* m = Load("Fan");
  auto expect = [&](uint32_t vertex, std::vector<int> faces) {
    Vec3 s{0, 0, 0};
    for (int i : faces) s = s + Normalize(Cross(V(n.vertices[i + 1]), V(n.vertices[i + 2])));  // corner 0 at the origin
    EXPECT_LT(Length(V(m->vertices[vertex].normal) - Normalize(s)), 1e-6) << vertex;
  };
  ASSERT_EQ(m->triangles.count, 4u);  // one material: face order
  expect(m->triangles[0].v[0], {0, 1, 2, 3});
  expect(m->triangles[3].v[0], {1, 2, 3});
  EXPECT_TRUE(m->triangles[1].v[0] == m->triangles[0].v[0] && m->triangles[2].v[0] == m->triangles[0].v[0]);
  EXPECT_NE(m->triangles[3].v[0], m->triangles[0].v[0]);
}

TEST_F(ModelTest, MirroredNodeReversesWindingOnly) {
  TNode plain = Quad("Plain"), mirrored = Quad("Mirror"), zero = Quad("Zero");
  mirrored.nodeScale = {-1, 1, 1};
  zero.nodeScale = {0, -1, 1};  // a zero component: not mirrored
  WriteRawModel("Mirror", {plain, mirrored, zero});
  MDL* m = Load("Mirror");
  ASSERT_EQ(m->nodes.count, 3u);
  auto first = [&](int node) { return m->triangles[m->nodes[node].subsets[0].first]; };
  const Triangle p = first(0), q = first(1), z = first(2);
  for (int k = 0; k < 3; k++) {
    const ModelVertex &a = m->vertices[p.v[k]], &b = m->vertices[q.v[2 - k]];
    // Texture coordinates stay with their corner; the computed normal turns over.
    EXPECT_TRUE(SameBits(&a.position, &b.position, 12) && SameBits(&a.tex0, &b.tex0, 12));
    EXPECT_TRUE(a.normal.z == 1 && b.normal.z == -1 && SameBits(&a.position, &m->vertices[z.v[k]].position, 12));
  }
}

TEST_F(ModelTest, PrefixesAxesAndNodeLookups) {
  TNode s = Quad("/s Hub", {1, 2, 3});
  s.rotation = {0, 0, 0.6f, 0.8f};
  WriteRawModel("Nodes", {Quad("/c Wheel", {10, 20, 30}), s, Quad("/d Door", {4, 5, 6}), Quad("/c"),
                          Quad("/cx Name"), Quad("Joke_point", {2, 4, 6}), Quad("Joke_axis", {2, 4, 10}),
                          Quad("Same_point", {7, 7, 7}), Quad("Same_axis", {7, 7, 7}), Quad("Twin", {2, 0, 0}),
                          Quad("Twin", {4, 0, 0}), Quad("Lone_point")});
  MDL* m = Load("Nodes", 0.5f);
  ASSERT_EQ(m->nodes.count, 13u);
  EXPECT_TRUE(m->nodes[0].name == String("Wheel") && m->nodes[0].position.x == 0);
  // Vertices relative to the old (scaled) position: (0,0,0)*0.5 - (5,10,15).
  const ModelVertex& v = m->vertices[m->triangles[m->nodes[0].subsets[0].first].v[0]];
  EXPECT_TRUE(v.position.x == -5 && v.position.y == -10);
  EXPECT_TRUE(m->nodes[2].name == String("Door") && m->nodes[2].position.x == 2);  // "/d" renames only
  EXPECT_TRUE(m->nodes[3].name == String("") && m->nodes[4].name == String("/cx Name"));  // nothing after "/c"
  // The point node "/s" added is compiled last, empty, at the old place.
  EXPECT_TRUE(m->nodes[12].name == String("Hub_point") && m->nodes[12].rotation.z == 0.6f &&
              m->nodes[12].subsets.count == 0);
  const Vec3 p = GetNodePosition(m, String("Hub_point")), a = GetAxis(m, String("Joke"));
  EXPECT_TRUE(p.x == 0.5 && p.y == 1 && a.x == 0 && a.z == -1);
  LogCapture log;
  EXPECT_TRUE(GetAxis(m, String("Same")).z == 1 && log.text().empty());  // coincident ends: a unit axis, never NaN
  EXPECT_EQ(GetAxis(m, String("Lone")).z, 1.0);
  EXPECT_EQ(log.text(), "Can't find axis: Lone\n");
  EXPECT_EQ(GetNodePosition(m, String("Twin")).x, 1.0);  // the first of that name
}

TEST_F(ModelTest, BadIndicesAndCountsAreRejected) {
  TNode n = Quad("Bad");
  n.faces[1].corner[2] = 4;  // one past the four vertices
  n.faces.push_back(Quad("x").faces[0]);
  n.faces[2].material = 100000;
  WriteRawModel("Bad", {n});
  LogCapture log;
  MDL* m = LoadModel(String("Bad"), 1);
  EXPECT_TRUE(Logged(log, "Model file \"Models/Bad.mdl\": face 1 of node \"Bad\" uses vertex 4 of 4, face skipped\n"));
  EXPECT_TRUE(Logged(log, "face 2 of node \"Bad\" has material 100000 (above 4095), face skipped\n"));
  EXPECT_EQ(m->triangles.count, 1u);

  // A compiled file with a triangle index beyond its vertices loads nothing.
  std::vector<uint8_t> mdc = ReadBytes("Models/Bad.mdc");
  ASSERT_GT(mdc.size(), 8u);
  uint32_t vertexCount;
  std::memcpy(&vertexCount, &mdc[4], 4);
  Put32(mdc, 8 + size_t(vertexCount) * 72 + 4 + 4, vertexCount);
  WriteBytes("Models/Bad2.mdc", mdc);
  std::string text, count = std::to_string(vertexCount);
  MDL* m2 = Load("Bad2", 1, &text);
  EXPECT_EQ(text, "Model file \"Models/Bad2.mdc\": triangle 0 uses vertex " + count + " of " + count +
                      ", file rejected\n");
  EXPECT_EQ(m2->vertices.count + m2->triangles.count + m2->nodes.count, 0u);

  // A subset running past the triangles rejects the file too.
  mdc = ReadBytes("Models/Bad.mdc");
  Put32(mdc, mdc.size() - 8, 7);  // first of the last subset
  WriteBytes("Models/Bad3.mdc", mdc);
  EXPECT_EQ(Load("Bad3", 1, &text)->nodes.count, 0u);
  EXPECT_EQ(text, "Model file \"Models/Bad3.mdc\": node \"Bad\" runs beyond 1 triangles, file rejected\n");

  // A raw vertex count beyond the data left is bounded, then the reads run dry.
  std::vector<uint8_t> raw = RawModelBytes({Quad("N")});
  const size_t at = 8 + 2 + 12 + 16 + 12;  // magic and count, "N", position, rotation, scale
  Put32(raw, at, 0xFFFFFFF0u);
  raw.resize(at + 4 + 12);
  WriteBytes("Models/Huge.mdl", raw);
  log.clear();
  EXPECT_EQ(LoadModel(String("Huge"), 1)->nodes.count, 1u);
  EXPECT_TRUE(Logged(log, "\"Models/Huge.mdl\": vertex count 4294967280 exceeds the data left, reading 2\n"));
  EXPECT_TRUE(Logged(log, "__ERR__ MEM->Get_uint32: no data\n"));  // the face count
}

TEST_F(ModelTest, RegistrySharesCountsAndReleases) {
  WriteRawModel("Shared", {Quad("A")});
  const uint32_t objects = MemoryObjectCount;
  MDL* a = Load("Shared", 0.5f);
  EXPECT_EQ(Load("Shared", 2.0f), a);  // the second scale is ignored
  EXPECT_TRUE(a->Refs == 2 && a->vertices[1].position.x == 5.0f);
  MDL* other = Load("shared");  // names are case-sensitive
  EXPECT_NE(other, a);
  ReleaseModel(a);
  EXPECT_EQ(a->Refs, 1u);
  ReleaseModel(a);
  EXPECT_TRUE(ModelRegistry == other && other->next == nullptr);
  LogCapture log;
  other->Refs = 0;
  ReleaseModel(other);
  EXPECT_TRUE(log.text() == "ERROR, MDL.Refs<0\n" && ModelRegistry == other) << log.text();
  // Release-all empties the registry whatever the counts, a stale 0 included.
  Load("Shared")->Refs = 3;
  ReleaseAllModels();
  EXPECT_EQ(ModelRegistry, nullptr);
  EXPECT_EQ(MemoryObjectCount, objects);  // every name, node and buffer freed
}

// The compilation written plainly, a vertex as its 18 floats (position,
// normal, tangent, binormal, tex0, tex1), welding by a linear first-match
// search over the node's vertices and smoothing every corner afresh over all
// faces of its vertex: the compiler's hashed search and its once-per-mask
// smoothing must agree bit for bit.
using Flat = std::array<float, 18>;
struct LinearModel {
  std::vector<Flat> vertices;
  std::vector<Triangle> triangles;
  std::vector<std::vector<Subset>> subsets;  // per node
};

std::array<float, 3> A(const VEC3F& v) { return {v.x, v.y, v.z}; }

LinearModel LinearCompile(const Array<RawNode>& nodes) {
  LinearModel out;
  for (const RawNode& raw : nodes) {
    const bool centred = !std::strncmp(raw.name.c_str(), "/c ", 3) || !std::strncmp(raw.name.c_str(), "/s ", 3);
    const std::array<float, 3> o = centred ? A(raw.position) : std::array<float, 3>{0, 0, 0};
    const size_t start = out.vertices.size();
    std::vector<std::vector<Triangle>> byMaterial;
    for (const RawFace& f : raw.faces) {
      const std::array<float, 3> K = A(raw.vertices[f.corner[0]].position), L = A(raw.vertices[f.corner[1]].position),
                                 M = A(raw.vertices[f.corner[2]].position);
      const float a = f.tex0[0].y - f.tex0[2].y, b = f.tex0[2].y - f.tex0[1].y, c = f.tex0[2].x - f.tex0[0].x,
                  d = f.tex0[1].x - f.tex0[2].x, r = 1.0f / (d * a - c * b);
      std::array<float, 6> tb;  // face tangent and binormal
      for (int j = 0; j < 3; j++) {
        tb[j] = r * (a * (L[j] - M[j]) + b * (K[j] - M[j]));
        tb[3 + j] = r * (c * (L[j] - M[j]) + d * (K[j] - M[j]));
      }
      if (!std::all_of(tb.begin(), tb.end(), [](float x) { return std::isfinite(x); })) tb = {1, 0, 0, 0, 1, 0};
      Triangle tri;
      for (int k = 0; k < 3; k++) {
        const RawVertex& v = raw.vertices[f.corner[k]];
        Flat w = {v.position.x - o[0], v.position.y - o[1], v.position.z - o[2], 0, 0, 0, tb[0], tb[1], tb[2],
                  tb[3], tb[4], tb[5], f.tex0[k].x, 1 - f.tex0[k].y, f.tex0[k].z, f.tex1[k].x, 1 - f.tex1[k].y,
                  f.tex1[k].z};
        uint32_t mask = f.smoothing;
        for (uint32_t g : v.faceList)
          if (raw.faces[g].smoothing & mask) mask |= raw.faces[g].smoothing;
        for (uint32_t g : v.faceList)
          if (raw.faces[g].smoothing & mask)
            for (int j = 0; j < 3; j++) w[3 + j] += A(raw.faces[g].normal)[j];
        auto same = [&](const Flat& x) {  // position, normal and both texture coordinates, float for float
          return std::equal(x.begin(), x.begin() + 6, w.begin()) && std::equal(x.begin() + 12, x.end(), w.begin() + 12);
        };
        size_t i = start;
        while (i < out.vertices.size() && !same(out.vertices[i])) i++;
        if (i < out.vertices.size())
          for (int j = 6; j < 12; j++) out.vertices[i][j] += w[j];  // tangent and binormal sums
        else
          out.vertices.push_back(w);
        tri.v[k] = uint32_t(i);
      }
      if (f.material >= byMaterial.size()) byMaterial.resize(f.material + 1);
      byMaterial[f.material].push_back(tri);
    }
    out.subsets.emplace_back();
    for (const std::vector<Triangle>& list : byMaterial) {
      out.subsets.back().push_back(Subset{uint32_t(out.triangles.size()), uint32_t(list.size())});
      out.triangles.insert(out.triangles.end(), list.begin(), list.end());
    }
    for (size_t i = start; i < out.vertices.size(); i++)
      for (int j = 3; j < 12; j += 3) {
        Flat& w = out.vertices[i];
        const Vec3 n = Normalize(Vec3{w[j], w[j + 1], w[j + 2]});
        w[j] = float(n.x), w[j + 1] = float(n.y), w[j + 2] = float(n.z);
      }
  }
  return out;
}

// Nodes built to weld often: few distinct positions (-0 among them) and
// texture coordinates, overlapping smoothing groups, centred nodes. Crowded
// nodes put hundreds of faces on a handful of vertices, with masks of one to
// three of all 32 groups (0 now and then), so the smoothing pass meets many
// distinct masks at one vertex.
Array<RawNode> RandomNodes(std::mt19937& rng, bool crowded = false) {
  const char* names[] = {"Plain", "/c Centred", "/d Door", "/s Hub"};
  const float coords[] = {0.0f, -0.0f, 1.0f, 2.5f, -3.0f}, uv[] = {0.0f, 0.5f, 1.0f};
  const uint32_t groups[] = {0, 1, 2, 3, 4, 6, 1, 1};
  Array<RawNode> nodes;
  for (uint32_t count = 1 + rng() % 4; nodes.count < count;) {
    nodes.resize(nodes.count + 1);
    RawNode& n = *new (&nodes[nodes.count - 1]) RawNode();
    n.name = names[rng() % 4];
    n.position = {float(rng() % 5) * 0.5f, float(rng() % 3), -1.0f};
    for (uint32_t i = 0, vertices = crowded ? 3 + rng() % 3 : 4 + rng() % 40; i < vertices; i++)
      n.vertices.push(RawVertex{{coords[rng() % 5], coords[rng() % 5], coords[rng() % 5]}, {}});
    for (uint32_t i = 0, faces = rng() % (crowded ? 600 : 300); i < faces; i++) {
      uint32_t mask = groups[rng() % 8];
      if (crowded) mask = rng() % 8 ? 1u << rng() % 32 | 1u << rng() % 32 | (rng() % 2) << rng() % 32 : 0;
      RawFace f{{}, uint32_t(rng() % 4), mask, {}, {}, {}};
      for (int k = 0; k < 3; k++) {
        f.corner[k] = rng() % n.vertices.count;
        f.tex0[k] = {uv[rng() % 3], uv[rng() % 3], 0};
        f.tex1[k] = {uv[rng() % 2], 0, 0};
        n.vertices[f.corner[k]].faceList.push(n.faces.count);
      }
      auto P = [&](int k) { return V(n.vertices[f.corner[k]].position); };
      const Vec3 nn = Normalize(Cross(P(1) - P(0), P(2) - P(0)));
      f.normal = {float(nn.x), float(nn.y), float(nn.z)};
      n.faces.push(f);
    }
  }
  return nodes;
}

TEST(ModelWeldTest, HashedWeldAndSharedSmoothingMatchThePlainCompilationOnRandomNodes) {
  std::mt19937 rng(20261206);
  size_t corners = 0, welded = 0;
  LogCapture quiet;
  for (int round = 0; round < 80; round++) {
    Array<RawNode> raw = RandomNodes(rng, round >= 60);
    LinearModel ref = LinearCompile(raw);
    MDL model;
    CompileRawModel(&model, raw);
    EXPECT_TRUE(Same(model.vertices, ref.vertices.data(), ref.vertices.size())) << round;
    EXPECT_TRUE(Same(model.triangles, ref.triangles.data(), ref.triangles.size())) << round;
    for (uint32_t i = 0; i < ref.subsets.size(); i++)
      EXPECT_TRUE(Same(model.nodes[i].subsets, ref.subsets[i].data(), ref.subsets[i].size())) << round;
    corners += 3 * ref.triangles.size(), welded += 3 * ref.triangles.size() - ref.vertices.size();
    DestroyModel(&model);
  }
  EXPECT_GT(welded, corners / 4);  // the search often finds a match
}

}  // namespace
