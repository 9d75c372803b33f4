// Every reader over truncated and randomly damaged copies of valid files (raw
// models, compiled models, font descriptions): no crash, hang or out-of-bounds
// access (the sanitizer build checks), and what loads is consistent to draw.
#include <functional>
#include <random>

#include "render/model_draw.h"
#include "test_support.h"

namespace {

using ReadersFuzzTest = AssetTest;

std::vector<uint8_t> Mutate(std::vector<uint8_t> bytes, std::mt19937& rng) {
  for (uint32_t i = 0, edits = 1 + rng() % 8; i < edits; i++) {
    const size_t at = rng() % bytes.size(), kind = rng() % 4;
    if (kind == 0) bytes[at] = uint8_t(rng());
    if (kind == 1) bytes[at] ^= uint8_t(1u << (rng() % 8));
    if (kind == 2) bytes[at] = 0xFF;
    for (size_t k = at; kind == 3 && k < at + 4 && k < bytes.size(); k++) bytes[k] = uint8_t(rng());  // a 32-bit field
  }
  if (rng() % 4 == 0) bytes.resize(rng() % bytes.size());
  return bytes;
}

// Every truncation near the head (sparser after), then random damage; each
// copy is written to path and handed to load. Logged lines are dropped.
void Fuzz(const std::vector<uint8_t>& good, const std::string& path, uint32_t seed, const std::function<void()>& load) {
  ASSERT_FALSE(good.empty());
  std::mt19937 rng(seed);
  LogCapture quiet;
  auto once = [&](const std::vector<uint8_t>& bytes) { WriteBytes(path, bytes), load(), quiet.clear(); };
  for (size_t cut = 0; cut <= good.size(); cut += (cut < 400 ? 1 : 7)) once({good.begin(), good.begin() + long(cut)});
  for (int i = 0; i < 300; i++) once(Mutate(good, rng));
}

// Loads, checks what a loaded model must satisfy before anything draws it,
// draws every node and subset 0, and releases.
void LoadAndDraw(const char* name) {
  MDL* m = LoadModel(String(name), 0.5f);
  for (const Triangle& t : m->triangles)
    for (uint32_t v : t.v) ASSERT_LT(v, m->vertices.count);
  for (const ModelNode& n : m->nodes) {
    uint64_t total = 0;
    for (const Subset& s : n.subsets) {
      ASSERT_LE(uint64_t(s.first) + s.count, m->triangles.count);
      total += s.count;
    }
    ASSERT_TRUE(total == 0 || n.subsets[0].first + total <= m->triangles.count);
  }
  DrawModel(m);
  for (const ModelNode& n : m->nodes) DrawNode(m, n.name), DrawNodeSubset(m, n.name, 0);
  ReleaseModel(m);
}

// Two materials, smoothing groups, a mirrored point node and an empty node.
std::vector<TNode> SampleNodes() {
  TNode a = Quad("Plate"), b = Quad("/s Hub", {1, 2, 3}), c{"Empty", {}, {}};
  a.faces[1].material = 3;
  b.nodeScale = {-1, 1, 1};
  b.faces[0].smoothing = 6;
  return {a, b, c};
}

TEST_F(ReadersFuzzTest, RawModels) {
  UseDevice();
  Fuzz(RawModelBytes(SampleNodes()), "Models/R.mdl", 7, [] {
    std::filesystem::remove("Models/R.mdc");  // compiled on every load
    LoadAndDraw("R");
  });
}

TEST_F(ReadersFuzzTest, CompiledModels) {
  WriteRawModel("Src", SampleNodes());
  LogCapture quiet;
  ReleaseModel(LoadModel(String("Src"), 0.5f));
  UseDevice();
  Fuzz(ReadBytes("Models/Src.mdc"), "Models/C.mdc", 11, [] { LoadAndDraw("C"); });
}

TEST_F(ReadersFuzzTest, FontDescriptions) {
  const std::string good =
      "// test font\nTexture \"font.png\"\nTextureSize \"1024 1024\"\n"
      "SymbolArray Chars { Symbols 256 RowLen 16 RowStart 0 Size \"43 72\" Step \"51 80\" StartPos \"4 4\" }\n"
      "/* named */\nSymbol \"Cursor Default\" { Pos \"4 900\" Size \"32 32\" }\n"
      "Symbol \"Cursor Cross\" { Pos \"40 900\" Size \"32 32\" }\n";
  Fuzz({good.begin(), good.end()}, "Fonts/f.fnt", 3, [] {
    CurrentFont = LoadFont(String("f"));
    FindSymbol(String("Cursor Default"));
    ReleaseAllFonts(), ReleaseAllTextures(), ReleaseAllPixelShaders();
  });
  EXPECT_EQ(CurrentFont, nullptr);
}

}  // namespace
