// The content builder's output, read back through the simulator's own
// readers: every name the simulator asks for, closed proxies with the masses
// and buoyancy the assembly gives them, ground under the start pose, shaders
// that assemble, textures that decode, the font, and byte-identical rebuilds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "assets/font.h"
#include "assets/model.h"
#include "content/builders.h"
#include "foundation/log.h"
#include "foundation/str.h"
#include "platform/image/image.h"
#include "platform/shader_asm/shader_asm.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Builds the content once into a temporary run directory and works there.
class ContentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char tmpl[] = "/tmp/tarn-content-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = new fs::path(tmpl);
    LogCapture quiet;
    ASSERT_TRUE(content::BuildContent(TARN_SOURCE_DIR "/content", dir_->string(), TARN_CONTENT_FONT));
  }
  static void TearDownTestSuite() {
    fs::remove_all(*dir_);
    delete dir_;
  }
  void SetUp() override {
    old_ = fs::current_path();
    fs::current_path(*dir_);
  }
  void TearDown() override {
    ReleaseAllModels();
    fs::current_path(old_);
  }

  static MDL* Load(const char* name, float scale) {
    LogCapture quiet;
    return LoadModel(String(name), scale);
  }

  static fs::path* dir_;
  fs::path old_;
};
fs::path* ContentTest::dir_ = nullptr;

const ModelNode* FindNode(MDL* m, const std::string& name) {
  for (uint32_t i = 0; i < m->nodes.count; ++i)
    if (name == m->nodes[i].name.c_str()) return &m->nodes[i];
  return nullptr;
}

uint32_t NodeTriangleCount(const ModelNode& n) {
  uint32_t c = 0;
  for (uint32_t i = 0; i < n.subsets.count; ++i) c += n.subsets[i].count;
  return c;
}

// A node's triangles as corner positions welded by exact position, so
// closure is judged on geometry rather than on split texture seams.
struct Mesh {
  std::vector<Vec3> points;
  std::vector<std::array<uint32_t, 3>> tris;
};
Mesh NodeMesh(MDL* m, const ModelNode& n) {
  Mesh mesh;
  std::map<std::array<float, 3>, uint32_t> index;
  if (n.subsets.count == 0) return mesh;
  uint32_t first = n.subsets[0].first, count = NodeTriangleCount(n);
  for (uint32_t t = first; t < first + count; ++t) {
    std::array<uint32_t, 3> tri;
    for (int k = 0; k < 3; ++k) {
      const VEC3F& p = m->vertices[m->triangles[t].v[k]].position;
      std::array<float, 3> key{p.x, p.y, p.z};
      auto it = index.find(key);
      if (it == index.end()) {
        it = index.emplace(key, uint32_t(mesh.points.size())).first;
        mesh.points.push_back({p.x, p.y, p.z});
      }
      tri[k] = it->second;
    }
    mesh.tris.push_back(tri);
  }
  return mesh;
}

bool Closed(const Mesh& mesh) {
  std::map<std::pair<uint32_t, uint32_t>, int> edges;
  for (const auto& t : mesh.tris)
    for (int k = 0; k < 3; ++k) ++edges[{t[k], t[(k + 1) % 3]}];
  for (const auto& e : edges)
    if (e.second != 1 || edges.count({e.first.second, e.first.first}) != 1 ||
        edges[{e.first.second, e.first.first}] != 1)
      return false;
  return !mesh.tris.empty();
}

double Volume(const Mesh& mesh) {
  double s = 0;
  for (const auto& t : mesh.tris) s += Dot(mesh.points[t[0]], Cross(mesh.points[t[1]], mesh.points[t[2]]));
  return s / 6.0;
}

// The bodies the physics builds from the aircraft model.
const char* const kProxies[] = {"Fuselage Proxy", "Ballon Proxy", "Left Wing Proxy", "Left Wing2 Proxy",
                                "Right Wing Proxy", "Right Wing2 Proxy", "Tail Proxy", "Tail2 Proxy",
                                "RLeg1 Proxy", "RLeg2 Proxy", "RLeg3 Proxy", "LLeg1 Proxy", "LLeg2 Proxy",
                                "LLeg3 Proxy", "CameraPoint", "Ballast"};

TEST_F(ContentTest, TwoBuildsAreByteIdentical) {
  char tmpl[] = "/tmp/tarn-content2-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  fs::path second(tmpl);
  {
    LogCapture quiet;
    ASSERT_TRUE(content::BuildContent(TARN_SOURCE_DIR "/content", second.string(), TARN_CONTENT_FONT));
  }
  size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(second)) {
    if (!e.is_regular_file()) continue;
    fs::path rel = fs::relative(e.path(), second);
    EXPECT_EQ(ReadAll(e.path()), ReadAll(*dir_ / rel)) << rel;
    ++files;
  }
  fs::remove_all(second);
  EXPECT_EQ(files, 17u);  // 3 models, 6 textures, 8 shaders... and the font description
}

TEST_F(ContentTest, AircraftHasEveryNodeAndSubsetTheSimulatorUses) {
  MDL* m = Load("PlaneTarn", 0.02f);
  std::map<std::string, std::vector<uint32_t>> subsets = {
      {"Fuselage", {0, 1, 2, 3, 8}}, {"Left Wing", {0, 5, 6, 7}}, {"Right Wing", {0, 5, 6, 7}},
      {"Left Wing2", {0, 5}},        {"Right Wing2", {0, 5}},     {"Strapes", {0, 4}}};
  for (const auto& s : subsets) {
    const ModelNode* n = FindNode(m, s.first);
    ASSERT_NE(n, nullptr) << s.first;
    for (uint32_t i : s.second) {
      ASSERT_LT(i, n->subsets.count) << s.first;
      EXPECT_GT(n->subsets[i].count, 0u) << s.first << " subset " << i;
    }
    // Exactly those: a material the drawing never selects would stay unseen.
    EXPECT_EQ(n->subsets.count, s.second.back() + 1) << s.first;
    for (uint32_t i = 0; i < n->subsets.count; ++i)
      if (std::find(s.second.begin(), s.second.end(), i) == s.second.end()) {
        EXPECT_EQ(n->subsets[i].count, 0u) << s.first << " subset " << i;
      }
  }
  // Pieces drawn whole use one material.
  for (const char* name : {"Tail", "Tail2", "LLeg1", "LLeg2", "LLeg3", "RLeg1", "RLeg2", "RLeg3", "Cockpit1",
                           "Ballon", "Joke"}) {
    const ModelNode* n = FindNode(m, name);
    ASSERT_NE(n, nullptr) << name;
    EXPECT_EQ(n->subsets.count, 1u) << name;
    EXPECT_GT(NodeTriangleCount(*n), 0u) << name;
  }

  LogCapture log;
  Vec3 axis = GetAxis(m, String("Joke"));
  EXPECT_EQ(log.text(), "");
  EXPECT_NEAR(Length(axis), 1.0, 1e-9);
  EXPECT_LT(axis.y, -0.9);  // the yoke's column points back at the pilot
  Vec3 pivot = GetNodePosition(m, String("Joke"));
  EXPECT_GT(Length(pivot), 0.1);  // uncentred: the node keeps its pivot

  // Every vertex is finite (no zero-area texture mapping anywhere).
  for (uint32_t i = 0; i < m->vertices.count; ++i) {
    const float* f = &m->vertices[i].position.x;
    for (int k = 0; k < 18; ++k) ASSERT_TRUE(std::isfinite(f[k])) << "vertex " << i;
  }
}

TEST_F(ContentTest, ProxiesAreClosedAndHingedWhereTheJointsTurn) {
  MDL* m = Load("PlaneTarn", 0.02f);
  for (const char* name : kProxies) {
    const ModelNode* n = FindNode(m, name);
    ASSERT_NE(n, nullptr) << name;
    Mesh mesh = NodeMesh(m, *n);
    EXPECT_TRUE(Closed(mesh)) << name;
    EXPECT_GT(Volume(mesh), 1e-5) << name;
    // Sides: left parts on -X, right parts on +X.
    for (const Vec3& p : mesh.points)
      if ((name[0] == 'L' && p.x >= 0.0) || (name[0] == 'R' && p.x <= 0.0)) ADD_FAILURE() << name << " x " << p.x;
    // A pivot lies on or in its own proxy's bounds.
    Vec3 pivot = GetNodePosition(m, String(name));
    const Vec3 &lo = n->bounds.localMin, &hi = n->bounds.localMax;
    EXPECT_TRUE(pivot.x >= lo.x - 1e-4 && pivot.x <= hi.x + 1e-4 && pivot.y >= lo.y - 1e-4 &&
                pivot.y <= hi.y + 1e-4 && pivot.z >= lo.z - 1e-4 && pivot.z <= hi.z + 1e-4)
        << name;
  }
  auto pos = [&](const char* n) { return GetNodePosition(m, String(n)); };
  const ModelNode* fus = FindNode(m, "Fuselage Proxy");
  // Wing roots at the fuselage sides, outer hinges at the inner panels' tips.
  EXPECT_NEAR(pos("Left Wing2 Proxy").x, fus->bounds.localMin.x, 1e-4);
  EXPECT_NEAR(pos("Right Wing2 Proxy").x, fus->bounds.localMax.x, 1e-4);
  EXPECT_NEAR(pos("Left Wing Proxy").x, FindNode(m, "Left Wing2 Proxy")->bounds.localMin.x, 1e-4);
  EXPECT_NEAR(pos("Right Wing Proxy").x, FindNode(m, "Right Wing2 Proxy")->bounds.localMax.x, 1e-4);
  // Tail hinges at the leading edges; legs hip above knee above ankle.
  EXPECT_NEAR(pos("Tail Proxy").y, FindNode(m, "Tail Proxy")->bounds.localMax.y, 1e-4);
  EXPECT_NEAR(pos("Tail2 Proxy").y, FindNode(m, "Tail2 Proxy")->bounds.localMax.y, 1e-4);
  EXPECT_NEAR(pos("Tail2 Proxy").z, FindNode(m, "Tail2 Proxy")->bounds.localMin.z, 1e-4);
  for (const char* side : {"L", "R"}) {
    std::string s = side;
    Vec3 hip = pos((s + "Leg1 Proxy").c_str()), knee = pos((s + "Leg2 Proxy").c_str()),
         ankle = pos((s + "Leg3 Proxy").c_str());
    EXPECT_GT(hip.z, knee.z);
    EXPECT_GT(knee.z, ankle.z);
    EXPECT_NEAR(hip.z, fus->bounds.localMin.z, 1e-4);  // hips under the fuselage
  }
  // Ballast low in the fuselage; the camera above the hinge it hangs from.
  const ModelNode* ballast = FindNode(m, "Ballast");
  EXPECT_NEAR(ballast->bounds.localMin.z, fus->bounds.localMin.z, 1e-4);
  EXPECT_LT(ballast->bounds.localMax.z, 0.0);
  EXPECT_GT(FindNode(m, "Ballon Proxy")->bounds.localMin.z, fus->bounds.localMax.z + 2.0);
}

// Triangles of a node mirrored across x = 0 (winding reversed), each as its
// corners rounded to 0.1 mm and rotated to start at the smallest.
std::multiset<std::array<long, 9>> MirroredTriangles(const Mesh& mesh, bool mirror) {
  std::multiset<std::array<long, 9>> out;
  for (const auto& t : mesh.tris) {
    std::array<std::array<long, 3>, 3> c;
    for (int k = 0; k < 3; ++k) {
      const Vec3& p = mesh.points[t[mirror ? (3 - k) % 3 : k]];
      c[k] = {std::lround((mirror ? -p.x : p.x) * 1e4), std::lround(p.y * 1e4), std::lround(p.z * 1e4)};
    }
    int first = int(std::min_element(c.begin(), c.end()) - c.begin());
    std::array<long, 9> key;
    for (int k = 0; k < 3; ++k)
      for (int j = 0; j < 3; ++j) key[k * 3 + j] = c[(first + k) % 3][j];
    out.insert(key);
  }
  return out;
}

TEST_F(ContentTest, ProxiesAreMirrorSymmetric) {
  // Surface forces act per triangle: a left side that is not the mirror image
  // of the right one, triangle for triangle, makes the machine yaw.
  MDL* m = Load("PlaneTarn", 0.02f);
  auto mesh = [&](const char* n) { return NodeMesh(m, *FindNode(m, n)); };
  const std::pair<const char*, const char*> pairs[] = {
      {"Left Wing Proxy", "Right Wing Proxy"}, {"Left Wing2 Proxy", "Right Wing2 Proxy"},
      {"LLeg1 Proxy", "RLeg1 Proxy"},         {"LLeg2 Proxy", "RLeg2 Proxy"},
      {"LLeg3 Proxy", "RLeg3 Proxy"},         {"Fuselage Proxy", "Fuselage Proxy"},
      {"Ballon Proxy", "Ballon Proxy"},       {"Tail Proxy", "Tail Proxy"},
      {"Tail2 Proxy", "Tail2 Proxy"},         {"Ballast", "Ballast"},
      {"CameraPoint", "CameraPoint"}};
  for (const auto& p : pairs)
    EXPECT_EQ(MirroredTriangles(mesh(p.first), true), MirroredTriangles(mesh(p.second), false))
        << p.first << " / " << p.second;
}

TEST_F(ContentTest, MachineIsALittleHeavierThanItsBuoyancy) {
  MDL* m = Load("PlaneTarn", 0.02f);
  auto vol = [&](const char* n) {
    const ModelNode* node = FindNode(m, n);
    return node ? Volume(NodeMesh(m, *node)) : 0.0;
  };
  // Masses and buoyancy densities of the aircraft's assembly: the fuselage
  // carries the ballast's triangles three times; unnamed bodies keep 0.1.
  struct Body {
    const char* node;
    double mass, buoyancy;
  };
  const Body bodies[] = {{"Fuselage Proxy", 1500, 1.0}, {"Ballon Proxy", 50, 100},   {"Left Wing Proxy", 50, 0.1},
                         {"Left Wing2 Proxy", 50, 0.1}, {"Right Wing Proxy", 50, 0.1}, {"Right Wing2 Proxy", 50, 0.1},
                         {"Tail Proxy", 40, 0.1},       {"Tail2 Proxy", 40, 0.1},     {"RLeg1 Proxy", 50, 0.1},
                         {"RLeg2 Proxy", 40, 0.1},      {"RLeg3 Proxy", 30, 0.1},     {"LLeg1 Proxy", 50, 0.1},
                         {"LLeg2 Proxy", 40, 0.1},      {"LLeg3 Proxy", 30, 0.1},     {"CameraPoint", 20, 0.1}};
  double mass = 0, lift = 0;
  for (const Body& b : bodies) {
    double v = vol(b.node);
    if (std::string(b.node) == "Fuselage Proxy") v += 3.0 * vol("Ballast");
    mass += b.mass;
    lift += b.buoyancy * v;
  }
  EXPECT_DOUBLE_EQ(mass, 2090.0);
  EXPECT_LT(lift, mass);         // stands on its legs at rest
  EXPECT_GT(lift, 0.75 * mass);  // and flaps itself up
  EXPECT_NEAR(vol("Ballon Proxy"), 17.5, 0.6);
}

TEST_F(ContentTest, StrapsAndBalloonTellTheTwoMatrixShaderWhomToFollow) {
  MDL* m = Load("PlaneTarn", 0.02f);
  const ModelNode* straps = FindNode(m, "Strapes");
  const ModelNode* balloon = FindNode(m, "Ballon");
  ASSERT_TRUE(straps && balloon);
  uint32_t first = balloon->subsets[0].first, count = NodeTriangleCount(*balloon);
  for (uint32_t t = first; t < first + count; ++t)
    for (uint32_t v : m->triangles[t].v) ASSERT_EQ(m->vertices[v].tex1.x, 1.0f);
  std::vector<Vec3> low, high;
  for (int i = 1; i <= 4; ++i) {
    low.push_back(GetNodePosition(m, String(("StrapesPoint" + std::to_string(i) + "a").c_str())));
    high.push_back(GetNodePosition(m, String(("StrapesPoint" + std::to_string(i) + "b").c_str())));
  }
  first = straps->subsets[0].first;
  count = NodeTriangleCount(*straps);
  int nearLow = 0, nearHigh = 0;
  for (uint32_t t = first; t < first + count; ++t)
    for (uint32_t v : m->triangles[t].v) {
      const ModelVertex& mv = m->vertices[v];
      Vec3 p{mv.position.x, mv.position.y, mv.position.z};
      for (int i = 0; i < 4; ++i) {
        if (Length(p - low[i]) < 0.1) {
          EXPECT_EQ(mv.tex1.x, 0.0f);
          ++nearLow;
        }
        if (Length(p - high[i]) < 0.1) {
          EXPECT_EQ(mv.tex1.x, 1.0f);
          ++nearHigh;
        }
      }
    }
  EXPECT_GT(nearLow, 0);
  EXPECT_GT(nearHigh, 0);
  // Fuselage ends on the fuselage's top, balloon ends under the envelope.
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(low[i].z, 0.5, 1e-4);
    EXPECT_GT(high[i].z, 3.5);
    EXPECT_LT(high[i].z, balloon->bounds.localMin.z + 1.0);
  }
}

// Ground height under world (x, y), or NaN when no triangle covers it.
double GroundAt(MDL* m, double x, double y) {
  for (uint32_t t = 0; t < m->triangles.count; ++t) {
    const VEC3F& a = m->vertices[m->triangles[t].v[0]].position;
    const VEC3F& b = m->vertices[m->triangles[t].v[1]].position;
    const VEC3F& c = m->vertices[m->triangles[t].v[2]].position;
    double d = (b.y - c.y) * (a.x - c.x) + (c.x - b.x) * (a.y - c.y);
    if (d == 0) continue;
    double l1 = ((b.y - c.y) * (x - c.x) + (c.x - b.x) * (y - c.y)) / d;
    double l2 = ((c.y - a.y) * (x - c.x) + (a.x - c.x) * (y - c.y)) / d;
    double l3 = 1 - l1 - l2;
    if (l1 >= -1e-9 && l2 >= -1e-9 && l3 >= -1e-9) return l1 * a.z + l2 * b.z + l3 * c.z;
  }
  return NAN;
}

TEST_F(ContentTest, IslandIsGroundEverywhereWithAMeadowUnderTheFeet) {
  MDL* island = Load("DivadiZarov", 0.1f);
  ASSERT_GT(island->triangles.count, 10000u);
  EXPECT_LE(island->triangles.count, 150000u);
  EXPECT_GE(island->nodes.count, 4u);
  double minX = 1e9, maxX = -1e9, landMinX = 1e9, landMaxX = -1e9, top = -1e9;
  for (uint32_t i = 0; i < island->vertices.count; ++i) {
    const VEC3F& p = island->vertices[i].position;
    minX = std::min(minX, double(p.x));
    maxX = std::max(maxX, double(p.x));
    top = std::max(top, double(p.z));
    if (p.z > content::kSeaLevel + 0.5) {
      landMinX = std::min(landMinX, double(p.x));
      landMaxX = std::max(landMaxX, double(p.x));
    }
  }
  EXPECT_GT(landMaxX - landMinX, 1200.0);
  EXPECT_LT(landMaxX - landMinX, 1900.0);
  EXPECT_GT(top, 40.0);
  EXPECT_LT(minX, 70.0 - 4000.0);
  EXPECT_GT(maxX, 70.0 + 4000.0);
  // Counter-clockwise seen from above: every face's normal points up.
  for (uint32_t t = 0; t < island->triangles.count; ++t) {
    const VEC3F& a = island->vertices[island->triangles[t].v[0]].position;
    const VEC3F& b = island->vertices[island->triangles[t].v[1]].position;
    const VEC3F& c = island->vertices[island->triangles[t].v[2]].position;
    double nz = double(b.x - a.x) * (c.y - a.y) - double(b.y - a.y) * (c.x - a.x);
    ASSERT_GT(nz, 0.0) << "triangle " << t;
  }
  // Flat meadow of 40 m around the start.
  for (int k = 0; k < 16; ++k)
    for (double r : {0.0, 20.0, 40.0}) {
      double x = 70 + r * std::cos(k * M_PI / 8), y = 70 + r * std::sin(k * M_PI / 8);
      EXPECT_NEAR(GroundAt(island, x, y), content::kMeadowHeight, 1e-3) << x << ", " << y;
    }
  // Under every foot corner of the start pose (model (x, y, z) lands at
  // world (70 - y, 70 + x, 2 + z)) the ground lies a few centimetres down.
  MDL* plane = Load("PlaneTarn", 0.02f);
  for (const char* foot : {"LLeg3 Proxy", "RLeg3 Proxy"}) {
    const ModelNode* n = FindNode(plane, foot);
    ASSERT_NE(n, nullptr);
    for (double fx : {n->bounds.localMin.x, n->bounds.localMax.x})
      for (double fy : {n->bounds.localMin.y, n->bounds.localMax.y}) {
        double wx = 70 - fy, wy = 70 + fx, wz = 2 + n->bounds.localMin.z;
        double g = GroundAt(island, wx, wy);
        ASSERT_TRUE(std::isfinite(g)) << foot;
        EXPECT_GT(wz - g, 0.01) << foot;
        EXPECT_LT(wz - g, 0.10) << foot;
      }
  }
}

TEST_F(ContentTest, SkyBoxFacesInward) {
  MDL* sky = Load("InvBox", 0.1f);
  ASSERT_EQ(sky->nodes.count, 1u);
  Mesh mesh = NodeMesh(sky, sky->nodes[0]);
  EXPECT_TRUE(Closed(mesh));
  EXPECT_LT(Volume(mesh), -1000.0);  // inside-out: the volume counts negative
  EXPECT_GT(sky->nodes[0].bounds.localMax.x, 5.0);
}

TEST_F(ContentTest, EveryShaderAssembles) {
  for (const char* name : {"Default.VSH", "Sky.VSH", "2SourceAnim.VSH", "Default.PSH", "Textured.PSH", "Sky.PSH",
                           "Ballon.PSH", "font.PSH"}) {
    std::vector<uint8_t> text = ReadAll(fs::path("Shaders") / name);
    ASSERT_FALSE(text.empty()) << name;
    ShaderProgram program;
    LogCapture log;
    EXPECT_EQ(AssembleShaderText(reinterpret_cast<const char*>(text.data()), text.size(), name, program), D3D_OK)
        << log.text();
    bool vertex = std::string(name).find(".VSH") != std::string::npos;
    EXPECT_EQ(program.kind, vertex ? ShaderKind::Vertex : ShaderKind::Pixel) << name;
    EXPECT_EQ(program.major, 2) << name;
  }
}

TEST_F(ContentTest, EveryTextureDecodes) {
  for (const char* path : {"Textures/Island.png", "Textures/TarnPlane/Body.png", "Textures/TarnPlane/Cockpit.tga",
                           "Textures/SkyCube.dds", "Textures/Fonts/basic.png"}) {
    Image img;
    ASSERT_EQ(LoadImageFile(path, img), D3D_OK) << path;
    EXPECT_EQ(img.faces.size(), std::string(path).find("Sky") != std::string::npos ? 6u : 1u) << path;
  }
  // The canopy glass is see-through, the panel opaque (bytes B, G, R, A).
  Image cockpit;
  ASSERT_EQ(LoadImageFile("Textures/TarnPlane/Cockpit.tga", cockpit), D3D_OK);
  const auto& px = cockpit.faces[0][0].bytes;
  auto alphaAt = [&](int x, int y) { return px[(size_t(y) * 256 + x) * 4 + 3]; };
  EXPECT_EQ(alphaAt(40, 40), 255);
  EXPECT_LT(alphaAt(60, 200), 128);
  // The sun: the light direction (1, 1, 2) looks up (1, 2, 1) in the cube,
  // which lands on the +Y face at three quarters across and down.
  Image sky;
  ASSERT_EQ(LoadImageFile("Textures/SkyCube.dds", sky), D3D_OK);
  const auto& top = sky.faces[2][0].bytes;
  size_t at = (size_t(192) * 256 + 192) * 4;
  EXPECT_GT(top[at + 0], 230);
  EXPECT_GT(top[at + 1], 230);
  EXPECT_GT(top[at + 2], 230);
  // Straight down (the -Y face) is darker than the horizon haze.
  const auto& bottom = sky.faces[3][0].bytes;
  EXPECT_LT(bottom[(size_t(128) * 256 + 128) * 4 + 2], 150);
}

TEST_F(ContentTest, FontReadsCleanlyWithCellsAndCursors) {
  LogCapture log;
  Font* font = LoadFont(String("basic"));
  Font* previous = CurrentFont;
  CurrentFont = font;
  for (const std::string& line : log.lines()) {
    EXPECT_EQ(line.find("Wrong word"), std::string::npos) << line;
    EXPECT_EQ(line.find("ERROR"), std::string::npos) << line;
  }
  EXPECT_GE(font->symbols.count, 264u);
  EXPECT_DOUBLE_EQ(font->textureWidth, content::kFontAtlasWidth);
  EXPECT_DOUBLE_EQ(font->textureHeight, content::kFontAtlasHeight);
  Image atlas;
  ASSERT_EQ(LoadImageFile("Textures/Fonts/basic.png", atlas), D3D_OK);
  auto coverage = [&](double l, double t, double r, double b) {
    uint32_t sum = 0;
    for (int y = int(t * atlas.height()); y < int(b * atlas.height()); ++y)
      for (int x = int(l * atlas.width()); x < int(r * atlas.width()); ++x)
        sum += atlas.faces[0][0].bytes[(size_t(y) * atlas.width() + x) * 4 + 3];
    return sum;
  };
  // Printable characters have ink in their cells, the space has none.
  for (int c : {int('A'), 0xE9}) {
    const FontSymbol& s = font->symbols[c];
    EXPECT_GT(coverage(s.left, s.top, s.right, s.bottom), 1000u) << c;
  }
  const FontSymbol& space = font->symbols[' '];
  EXPECT_EQ(coverage(space.left, space.top, space.right, space.bottom), 0u);
  for (const content::CursorCell& cell : content::kCursorCells) {
    int32_t i = FindSymbol(String(cell.name));
    ASSERT_GE(i, 256) << cell.name;
    const FontSymbol& s = font->symbols[i];
    EXPECT_DOUBLE_EQ(s.left * content::kFontAtlasWidth, cell.x) << cell.name;
    EXPECT_DOUBLE_EQ(s.top * content::kFontAtlasHeight, cell.y) << cell.name;
    EXPECT_DOUBLE_EQ((s.right - s.left) * content::kFontAtlasWidth, cell.size) << cell.name;
    EXPECT_GT(coverage(s.left, s.top, s.right, s.bottom), 255u * 100) << cell.name;
  }
  CurrentFont = previous;
  ReleaseAllFonts();
}

}  // namespace
