// The content builder's output read back through the simulator's readers
// (rebuilds, every requested node and subset, proxies, mass against
// buoyancy, strap weights, ground under the feet, the font), and its bad
// inputs reported without a crash. Loading, drawing, resting and flying show
// in the GL, scene, flight and end-to-end suites.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "aircraft/aircraft.h"
#include "assets/font.h"
#include "assets/model.h"
#include "content/builders.h"
#include "content/random.h"
#include "foundation/log.h"
#include "foundation/str.h"
#include "physics/body.h"
#include "platform/image/image.h"
#include "render/resources.h"

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
    dir_ = tmpl;
    LogCapture quiet;
    ASSERT_TRUE(content::BuildContent(TARN_SOURCE_DIR "/content", dir_.string(), TARN_CONTENT_FONT));
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }
  void SetUp() override {
    old_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    ReleaseAllModels();
    fs::current_path(old_);
  }
  static MDL* Load(const char* name, float scale) {
    LogCapture quiet;
    return LoadModel(String(name), scale);
  }
  static inline fs::path dir_;
  fs::path old_;
};

const ModelNode* FindNode(MDL* m, const std::string& name) {
  for (uint32_t i = 0; i < m->nodes.count; ++i)
    if (name == m->nodes[i].name.c_str()) return &m->nodes[i];
  return nullptr;
}

// A node's triangles (first, past the last) in the model's triangle list.
std::pair<uint32_t, uint32_t> NodeTriangles(const ModelNode& n) {
  uint32_t c = 0;
  for (uint32_t i = 0; i < n.subsets.count; ++i) c += n.subsets[i].count;
  return n.subsets.count ? std::make_pair(n.subsets[0].first, n.subsets[0].first + c) : std::make_pair(0u, 0u);
}

// A node's triangles by their corners rounded to 0.1 mm, each rotated to start
// at its smallest corner, in sorted order; mirrored across x = 0 (winding
// reversed) if asked.
using Corner = std::array<long, 3>;
using Triangles = std::vector<std::array<Corner, 3>>;
Triangles NodeCorners(MDL* m, const ModelNode& n, bool mirror = false) {
  Triangles out;
  for (uint32_t t = NodeTriangles(n).first; t < NodeTriangles(n).second; ++t) {
    std::array<Corner, 3> c;
    for (int k = 0; k < 3; ++k) {
      const VEC3F& p = m->vertices[m->triangles[t].v[mirror ? (3 - k) % 3 : k]].position;
      c[k] = {std::lround((mirror ? -p.x : p.x) * 1e4), std::lround(p.y * 1e4), std::lround(p.z * 1e4)};
    }
    std::rotate(c.begin(), std::min_element(c.begin(), c.end()), c.end());
    out.push_back(c);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Closed: every directed edge once, and its reverse once.
bool Closed(const Triangles& tris) {
  std::map<std::pair<Corner, Corner>, int> edges;
  for (const auto& t : tris)
    for (int k = 0; k < 3; ++k) ++edges[{t[k], t[(k + 1) % 3]}];
  for (const auto& e : edges) {
    auto back = edges.find({e.first.second, e.first.first});
    if (e.second != 1 || back == edges.end() || back->second != 1) return false;
  }
  return !tris.empty();
}

double Volume(const Triangles& tris) {
  double s = 0;
  auto at = [](const Corner& c) { return Vec3{c[0] * 1e-4, c[1] * 1e-4, c[2] * 1e-4}; };
  for (const auto& t : tris) s += Dot(at(t[0]), Cross(at(t[1]), at(t[2])));
  return s / 6.0;
}

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
    EXPECT_EQ(ReadAll(e.path()), ReadAll(dir_ / rel)) << rel;
    ++files;
  }
  fs::remove_all(second);
  // 5 models (the open sea among them), 7 textures (the detail grain), 11 shaders (the menu's and the ground's),
  // the font description and 3 aircraft files
  EXPECT_EQ(files, 27u);
}

TEST_F(ContentTest, AircraftNodesSubsetsStrapWeightsAndFiniteVertices) {
  MDL* m = Load("PlaneTarn", 0.02f);
  // The drawn pieces (the proxies are checked below), then the position and
  // axis nodes, which print a line when missing.
  for (const char* name : {"Tail", "Tail2", "LLeg1", "LLeg2", "LLeg3", "RLeg1", "RLeg2", "RLeg3", "Cockpit1",
                           "Ballon", "Joke"}) {
    const ModelNode* n = FindNode(m, name);
    ASSERT_NE(n, nullptr) << name;
    EXPECT_GT(NodeTriangles(*n).second, NodeTriangles(*n).first) << name;
  }
  {
    LogCapture log;
    for (int i = 1; i <= 4; ++i)
      for (const char* end : {"a", "b"}) GetNodePosition(m, String(("StrapesPoint" + std::to_string(i) + end).c_str()));
    GetAxis(m, String("Joke"));
    EXPECT_EQ(log.text(), "");
  }
  EXPECT_GT(Load("InvBox", 0.1f)->triangles.count, 0u);
  MDL* windsock = Load("Windsock", 0.1f);
  for (const char* name : {"Mast", "Sock"}) {
    const ModelNode* n = FindNode(windsock, name);
    ASSERT_NE(n, nullptr) << name;
    EXPECT_GT(NodeTriangles(*n).second, NodeTriangles(*n).first) << name;
  }
  std::map<std::string, std::vector<uint32_t>> subsets = {
      {"Fuselage", {0, 1, 2, 3, 8}}, {"Left Wing", {0, 5, 6, 7}}, {"Right Wing", {0, 5, 6, 7}},
      {"Left Wing2", {0, 5}},        {"Right Wing2", {0, 5}},     {"Strapes", {0, 4}}};
  for (const auto& s : subsets) {
    const ModelNode* n = FindNode(m, s.first);
    ASSERT_NE(n, nullptr) << s.first;
    // Exactly those: a material the drawing never selects would stay unseen.
    ASSERT_EQ(n->subsets.count, s.second.back() + 1) << s.first;
    for (uint32_t i = 0; i < n->subsets.count; ++i) {
      bool drawn = std::find(s.second.begin(), s.second.end(), i) != s.second.end();
      EXPECT_EQ(n->subsets[i].count > 0, drawn) << s.first << " subset " << i;
    }
  }
  // The two-matrix shader follows the balloon where the second weight is 1.
  const ModelNode* straps = FindNode(m, "Strapes");
  const ModelNode* balloon = FindNode(m, "Ballon");
  ASSERT_TRUE(straps && balloon);
  for (uint32_t t = NodeTriangles(*balloon).first; t < NodeTriangles(*balloon).second; ++t)
    for (uint32_t v : m->triangles[t].v) ASSERT_EQ(m->vertices[v].tex1.x, 1.0f);
  // Strap vertices near a fuselage end weigh 0, near a balloon end 1.
  int near[2] = {0, 0};
  for (int i = 1; i <= 4; ++i) {
    Vec3 ends[2] = {GetNodePosition(m, String(("StrapesPoint" + std::to_string(i) + "a").c_str())),
                    GetNodePosition(m, String(("StrapesPoint" + std::to_string(i) + "b").c_str()))};
    for (uint32_t t = NodeTriangles(*straps).first; t < NodeTriangles(*straps).second; ++t)
      for (uint32_t v : m->triangles[t].v) {
        const ModelVertex& mv = m->vertices[v];
        for (int e = 0; e < 2; ++e)
          if (Length(Vec3{mv.position.x, mv.position.y, mv.position.z} - ends[e]) < 0.1) {
            EXPECT_EQ(mv.tex1.x, float(e));
            ++near[e];
          }
      }
  }
  EXPECT_GT(near[0], 0);
  EXPECT_GT(near[1], 0);
  // Every vertex is finite (no zero-area texture mapping anywhere).
  for (uint32_t i = 0; i < m->vertices.count; ++i) {
    const float* f = &m->vertices[i].position.x;
    for (int k = 0; k < 18; ++k) ASSERT_TRUE(std::isfinite(f[k])) << "vertex " << i;
  }
}

TEST_F(ContentTest, ProxiesAreClosedOnTheirSidesAndMirrorSymmetric) {
  // Surface forces act per triangle: a left side that is not the mirror image
  // of the right one, triangle for triangle, makes the machine yaw.
  MDL* m = Load("PlaneTarn", 0.02f);
  for (const char* name : {"Fuselage Proxy", "Ballon Proxy", "Left Wing Proxy", "Left Wing2 Proxy", "Tail Proxy",
                           "Tail2 Proxy", "LLeg1 Proxy", "LLeg2 Proxy", "LLeg3 Proxy", "CameraPoint", "Ballast"}) {
    std::string twin = name;
    if (twin.compare(0, 5, "Left ") == 0) twin = "Right " + twin.substr(5);
    if (twin[0] == 'L' && twin[1] == 'L') twin[0] = 'R';
    const ModelNode *n = FindNode(m, name), *other = FindNode(m, twin);
    ASSERT_TRUE(n && other) << name << " / " << twin;
    for (const ModelNode* node : {n, other}) {
      std::string side = node->name.c_str();
      Triangles tris = NodeCorners(m, *node);
      EXPECT_TRUE(Closed(tris)) << side;
      EXPECT_GT(Volume(tris), 1e-5) << side;
      // Left parts on -X, right parts on +X.
      for (const auto& t : tris)
        for (const Corner& c : t)
          if ((side[0] == 'L' && c[0] >= 0) || (side[0] == 'R' && c[0] <= 0)) ADD_FAILURE() << side << " x " << c[0];
    }
    EXPECT_EQ(NodeCorners(m, *n, true), NodeCorners(m, *other)) << name << " / " << twin;
  }
}

TEST_F(ContentTest, MachineIsALittleHeavierThanItsBuoyancy) {
  // The assembled aircraft's bodies, with the masses and media densities it
  // gives them and the volumes of their meshes.
  Tarnplane* plane;
  {
    LogCapture quiet;
    plane = new Tarnplane();
  }
  double mass = 0, lift = 0;
  for (pEntity* e : plane->parts)
    if (const pBody* b = dynamic_cast<const pBody*>(e)) {
      mass += b->mass;
      lift += b->buoyancy * b->volume;
    }
  std::printf("balloon volume %.3f m3; mass %.1f kg against %.1f kg of buoyancy (ratio %.3f)\n",
              plane->balloon->volume, mass, lift, lift / mass);
  EXPECT_LT(lift, mass);         // stands on its legs at rest
  EXPECT_GT(lift, 0.75 * mass);  // and flaps itself up
  delete plane;
  ReleaseAllTextures();
  ReleaseAllVertexShaders();
  ReleaseAllPixelShaders();
}

TEST_F(ContentTest, IslandFacesUpAndLiesJustUnderTheFeet) {
  // The foot corners of the start pose: model (x, y, z) lands at world (70 - y, 70 + x, 2 + z).
  MDL* plane = Load("PlaneTarn", 0.02f);
  std::vector<Vec3> feet;
  for (const char* foot : {"LLeg3 Proxy", "RLeg3 Proxy"}) {
    const ModelNode* n = FindNode(plane, foot);
    ASSERT_NE(n, nullptr);
    for (double fx : {n->bounds.localMin.x, n->bounds.localMax.x})
      for (double fy : {n->bounds.localMin.y, n->bounds.localMax.y})
        feet.push_back({70 - fy, 70 + fx, 2 + n->bounds.localMin.z});
  }
  std::vector<double> ground(feet.size(), NAN);
  MDL* island = Load("DivadiZarov", 0.1f);
  for (uint32_t t = 0; t < island->triangles.count; ++t) {
    const VEC3F& a = island->vertices[island->triangles[t].v[0]].position;
    const VEC3F& b = island->vertices[island->triangles[t].v[1]].position;
    const VEC3F& c = island->vertices[island->triangles[t].v[2]].position;
    // Counter-clockwise seen from above: every face's normal points up.
    ASSERT_GT(double(b.x - a.x) * (c.y - a.y) - double(b.y - a.y) * (c.x - a.x), 0.0) << "triangle " << t;
    double d = (b.y - c.y) * (a.x - c.x) + (c.x - b.x) * (a.y - c.y);
    for (size_t f = 0; f < feet.size(); ++f) {
      double l1 = ((b.y - c.y) * (feet[f].x - c.x) + (c.x - b.x) * (feet[f].y - c.y)) / d;
      double l2 = ((c.y - a.y) * (feet[f].x - c.x) + (a.x - c.x) * (feet[f].y - c.y)) / d;
      if (std::isnan(ground[f]) && l1 >= -1e-9 && l2 >= -1e-9 && 1 - l1 - l2 >= -1e-9)
        ground[f] = l1 * a.z + l2 * b.z + (1 - l1 - l2) * c.z;
    }
  }
  // The ground lies 1 to 10 cm down (NaN, no ground at all, fails).
  for (size_t f = 0; f < feet.size(); ++f) EXPECT_NEAR(feet[f].z - ground[f], 0.055, 0.045) << "corner " << f;
}

// The open sea stretches the island map's border texels over kilometres: any grain there shows as streaks
// running out to the horizon, so the border is one plain colour. The detail grain tiles without a seam and
// averages to mid-grey (its small mip levels leave the map's colours as they are).
TEST(ContentPictures, TheMapsBorderIsPlainAndTheDetailGrainTilesAroundMidGrey) {
  content::Bitmap map = content::PaintIslandTexture();
  const uint8_t* corner = map.At(0, 0);
  size_t unlike = 0;
  for (int i = 0; i < map.width; ++i)
    for (int ring = 0; ring < 3; ++ring)
      for (const uint8_t* p : {map.At(i, ring), map.At(i, map.height - 1 - ring), map.At(ring, i),
                               map.At(map.width - 1 - ring, i)})
        unlike += !std::equal(p, p + 3, corner);
  EXPECT_EQ(unlike, 0u);

  content::Bitmap grain = content::PaintDetailTexture();
  const int n = grain.width;
  double sum = 0, across = 0, within = 0;
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      sum += grain.At(c, r)[0];
      EXPECT_TRUE(grain.At(c, r)[0] == grain.At(c, r)[1] && grain.At(c, r)[1] == grain.At(c, r)[2]);
    }
  for (int k = 0; k < n; ++k) {
    across += std::abs(grain.At(n - 1, k)[0] - grain.At(0, k)[0]) + std::abs(grain.At(k, n - 1)[0] - grain.At(k, 0)[0]);
    within += std::abs(grain.At(1, k)[0] - grain.At(0, k)[0]) + std::abs(grain.At(k, 1)[0] - grain.At(k, 0)[0]);
  }
  EXPECT_NEAR(sum / (double(n) * n), 128.0, 1.0);
  EXPECT_LT(across, 1.5 * within + n) << "the seam is no rougher than the inside";
  EXPECT_GT(within, 0.5 * n) << "there is grain at all";
}

TEST_F(ContentTest, FontReadsCleanlyAndPlacesTheCursorCellsWhereTheAtlasHasThem) {
  LogCapture log;
  Font* font = LoadFont(String("basic"));
  EXPECT_EQ(log.text(), "");  // no "Wrong word", no refused entry
  EXPECT_GE(font->symbols.count, 264u);
  Font* previous = CurrentFont;
  CurrentFont = font;
  EXPECT_DOUBLE_EQ(font->textureWidth, content::kFontAtlasWidth);
  EXPECT_DOUBLE_EQ(font->textureHeight, content::kFontAtlasHeight);
  Image atlas;
  ASSERT_EQ(LoadImageFile("Textures/Fonts/basic.png", atlas), D3D_OK);
  for (const content::CursorCell& cell : content::kCursorCells) {
    int32_t i = FindSymbol(String(cell.name));
    ASSERT_GE(i, 256) << cell.name;
    const FontSymbol& s = font->symbols[i];
    EXPECT_DOUBLE_EQ(s.left * content::kFontAtlasWidth, cell.x) << cell.name;
    EXPECT_DOUBLE_EQ(s.top * content::kFontAtlasHeight, cell.y) << cell.name;
    EXPECT_DOUBLE_EQ((s.right - s.left) * content::kFontAtlasWidth, cell.size) << cell.name;
    uint32_t ink = 0;
    for (int y = cell.y; y < cell.y + cell.size; ++y)
      for (int x = cell.x; x < cell.x + cell.size; ++x)
        ink += atlas.faces[0][0].bytes[(size_t(y) * atlas.width() + x) * 4 + 3];
    EXPECT_GT(ink, 255u * 100) << cell.name;
  }
  CurrentFont = previous;
  ReleaseAllFonts();
}

TEST(ContentInput, MissingTruncatedAndCorruptFontsAreRefused) {
  const std::vector<unsigned char> good = ReadAll(TARN_CONTENT_FONT);
  ASSERT_GT(good.size(), 1000u);
  char tmpl[] = "/tmp/tarn-font-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string path = std::string(tmpl) + "/font.ttf";
  // Writes the bytes (none: no file) and paints from them; a refusal names the file.
  auto attempt = [&](const std::vector<unsigned char>* bytes) {
    std::filesystem::remove(path);
    if (bytes)
      std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    LogCapture log;
    content::Bitmap atlas;
    bool ok = content::PaintFontAtlas(path.c_str(), atlas);
    if (!ok) {
      EXPECT_EQ(log.text(), "tarn-content: cannot read the font \"" + path + "\"\n");
    }
    return ok;
  };
  EXPECT_FALSE(attempt(nullptr));
  EXPECT_TRUE(attempt(&good));
  for (size_t n : {size_t(0), size_t(4), size_t(12), size_t(100), good.size() / 2, good.size() * 3 / 4}) {
    std::vector<unsigned char> cut(good.begin(), good.begin() + n);
    EXPECT_FALSE(attempt(&cut)) << n;
  }
  content::Rng rng(7);
  int refused = 0;
  for (int i = 0; i < 200; ++i) {
    std::vector<unsigned char> bad = good;
    int changes = 1 + int(rng.Next() % 8);
    for (int k = 0; k < changes; ++k) bad[rng.Next() % bad.size()] ^= uint8_t(1 + rng.Next() % 255);
    refused += !attempt(&bad);
  }
  EXPECT_GT(refused, 170);  // only changes in padding between tables pass
  std::filesystem::remove_all(tmpl);
}

TEST(ContentInput, UnwritableOutputAndMissingSourcesFail) {
  LogCapture log;
  EXPECT_FALSE(content::BuildContent(TARN_SOURCE_DIR "/content", "/dev/null/run", TARN_CONTENT_FONT));
  EXPECT_NE(log.text().find("tarn-content: cannot create \"/dev/null/run\""), std::string::npos) << log.text();
  log.clear();
  char tmpl[] = "/tmp/tarn-content-nosrc-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  EXPECT_FALSE(content::BuildContent("/nonexistent/content", tmpl, TARN_CONTENT_FONT));
  EXPECT_NE(log.text().find("cannot read \"/nonexistent/content/shaders/Default.VSH\""), std::string::npos);
  EXPECT_NE(log.text().find("tarn-content: FAILED writing"), std::string::npos);
  std::filesystem::remove_all(tmpl);
}

}  // namespace
