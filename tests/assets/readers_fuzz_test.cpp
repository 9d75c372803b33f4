// Every reader over truncated and randomly damaged copies of valid files:
// raw models, compiled models and font descriptions. Nothing may crash,
// hang or touch memory out of bounds (the sanitizer build checks the last),
// and whatever loads must be consistent enough to draw.
#include <random>

#include "test_support.h"

namespace {

class ReadersFuzzTest : public AssetTest {
 protected:
  void SetUp() override {
    AssetTest::SetUp();
    UseDevice(false);
  }
};

std::vector<uint8_t> Mutate(std::vector<uint8_t> bytes, std::mt19937& rng) {
  if (bytes.empty()) return bytes;
  uint32_t edits = 1 + rng() % 8;
  for (uint32_t i = 0; i < edits; i++) {
    size_t at = rng() % bytes.size();
    switch (rng() % 4) {
      case 0: bytes[at] = uint8_t(rng()); break;
      case 1: bytes[at] ^= uint8_t(1u << (rng() % 8)); break;
      case 2: bytes[at] = 0xFF; break;
      default:  // a whole 32-bit field
        for (size_t k = at; k < at + 4 && k < bytes.size(); k++) bytes[k] = uint8_t(rng());
        break;
    }
  }
  if (rng() % 4 == 0) bytes.resize(rng() % bytes.size());
  return bytes;
}

// What a loaded model must satisfy before anything draws it.
void ExpectConsistent(MDL* m) {
  for (const Triangle& t : m->triangles)
    for (uint32_t v : t.v) ASSERT_LT(v, m->vertices.count);
  for (const ModelNode& n : m->nodes) {
    uint64_t total = 0;
    for (const Subset& s : n.subsets) {
      ASSERT_LE(uint64_t(s.first) + s.count, m->triangles.count);
      total += s.count;
    }
    if (total) {
      ASSERT_LE(n.subsets[0].first + total, m->triangles.count);
    }
  }
}

void LoadAndDraw(const char* name) {
  MDL* m = LoadModel(String(name), 0.5f);
  ExpectConsistent(m);
  DrawModel(m);
  for (const ModelNode& n : m->nodes) {
    DrawNode(m, n.name);
    DrawNodeSubset(m, n.name, 0);
  }
  ReleaseModel(m);
}

std::vector<TNode> SampleNodes() {
  TNode a = TerrainNode(3, 2);
  TNode b = a;
  b.name = "/s Hub";
  b.nodeScale = {-1, 1, 1};
  b.faces[1].material = 3;
  b.faces[2].smoothing = 6;
  TNode c;
  c.name = "Empty";
  return {a, b, c};
}

// Every truncation near the head (sparser after), then random damage.
void FuzzModelFile(const std::vector<uint8_t>& bytes, const char* name, const char* path, bool raw, int rounds,
                   uint32_t seed) {
  std::mt19937 rng(seed);
  LogCapture quiet;
  auto once = [&](const uint8_t* data, size_t n) {
    WriteBytes(path, data, n);
    if (raw) std::filesystem::remove(std::string("Models/") + name + ".mdc");
    LoadAndDraw(name);
    quiet.clear();
  };
  for (size_t cut = 0; cut <= bytes.size(); cut += (cut < 200 ? 1 : 7)) once(bytes.data(), cut);
  for (int i = 0; i < rounds; i++) {
    std::vector<uint8_t> m = Mutate(bytes, rng);
    once(m.data(), m.size());
  }
}

TEST_F(ReadersFuzzTest, RawModels) {
  MEM good = RawModelBytes(SampleNodes());
  Device = rec;
  FuzzModelFile(std::vector<uint8_t>(good.data, good.data + good.size), "R", "Models/R.mdl", true, 300, 7);
}

TEST_F(ReadersFuzzTest, CompiledModels) {
  WriteRawModel("Src", SampleNodes());
  {
    LogCapture quiet;
    ReleaseModel(LoadModel(String("Src"), 0.5f));
  }
  std::vector<uint8_t> bytes = ReadBytes("Models/Src.mdc");
  ASSERT_GT(bytes.size(), 100u);
  Device = rec;
  FuzzModelFile(bytes, "C", "Models/C.mdc", false, 300, 11);
}

TEST_F(ReadersFuzzTest, FontDescriptions) {
  const std::string good =
      "// test font\nTexture \"font.png\"\nTextureSize \"1024 1024\"\n"
      "SymbolArray Chars { Symbols 256 RowLen 16 RowStart 0 Size \"43 72\" Step \"51 80\" StartPos \"4 4\" }\n"
      "/* named */\nSymbol \"Cursor Default\" { Pos \"4 900\" Size \"32 32\" }\n"
      "Symbol \"Cursor Cross\" { Pos \"40 900\" Size \"32 32\" }\n";
  std::vector<uint8_t> bytes(good.begin(), good.end());
  std::mt19937 rng(3);
  LogCapture quiet;
  auto once = [&](const std::vector<uint8_t>& b) {
    WriteBytes("Fonts/f.fnt", b.data(), b.size());
    Font* f = LoadFont(String("f"));
    CurrentFont = f;
    FindSymbol(String("Cursor Default"));
    ReleaseAllFonts();
    ReleaseAllTextures();
    ReleaseAllPixelShaders();
    quiet.clear();
  };
  for (size_t cut = 0; cut <= bytes.size(); cut++) once(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut));
  for (int i = 0; i < 300; i++) once(Mutate(bytes, rng));
  EXPECT_EQ(CurrentFont, nullptr);
}

}  // namespace
