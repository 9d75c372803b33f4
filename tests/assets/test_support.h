// Shared helpers of the asset tests: a fresh working directory per test with
// the content folders, writing raw model files with the buffer appends, and
// reading and writing files.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "assets/font.h"
#include "assets/model.h"
#include "foundation/log.h"
#include "foundation/mem.h"
#include "foundation/str.h"
#include "platform/gpu/recording.h"
#include "render/resources.h"

// Each test runs in its own empty directory holding Models/, Fonts/,
// Textures/ and Shaders/, removed afterwards, with every registry emptied.
// UseDevice() adds a recording device, which must end with no live objects.
class AssetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = std::filesystem::current_path();
    char tmpl[] = "/tmp/tarn-assets-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    std::filesystem::current_path(dir_);
    for (const char* d : {"Models", "Fonts", "Textures", "Shaders"}) std::filesystem::create_directory(d);
  }
  void UseDevice(bool current = true) {
    rec = CreateRecordingDevice(640, 480);
    if (current) Device = rec;
  }
  void TearDown() override {
    ReleaseAllModels();
    ReleaseAllFonts();
    ReleaseAllTextures();
    ReleaseAllPixelShaders();
    ReleaseAllVertexShaders();
    CurrentFont = nullptr;
    if (rec) {
      EXPECT_EQ(rec->liveResources(), 0u);
      Device = nullptr;
      rec->Release();
    }
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path old_, dir_;
  RecordingDevice* rec = nullptr;
};

inline void WriteBytes(const std::string& path, const void* data, size_t n) {
  std::ofstream(path, std::ios::binary).write(static_cast<const char*>(data), std::streamsize(n));
}
inline void WriteText(const std::string& path, const std::string& text) { WriteBytes(path, text.data(), text.size()); }
inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A raw model as the exporter would write it.
struct TFace {
  uint32_t material = 0, smoothing = 1;
  uint32_t corner[3] = {0, 1, 2};
  VEC3F tex0[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  VEC3F tex1[3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
};
struct TNode {
  std::string name;
  VEC3F position{0, 0, 0};
  QUATF rotation{0, 0, 0, 1};
  VEC3F nodeScale{1, 1, 1};
  std::vector<VEC3F> vertices;
  std::vector<TFace> faces;
};

inline std::vector<uint8_t> RawModelBytes(const std::vector<TNode>& nodes) {
  MEM m;
  m.Put_uint32(kRawModelMagic);
  m.Put_uint32(uint32_t(nodes.size()));
  for (const TNode& n : nodes) {
    m.Put_string(n.name.c_str());
    m.Put_VEC3F(n.position);
    m.Put_QUATF(n.rotation);
    m.Put_VEC3F(n.nodeScale);
    m.Put_uint32(uint32_t(n.vertices.size()));
    for (const VEC3F& v : n.vertices) m.Put_VEC3F(v);
    m.Put_uint32(uint32_t(n.faces.size()));
    for (const TFace& f : n.faces) {
      m.Put_VEC3F({9, 9, 9});  // a stale normal the reader must ignore
      m.Put_uint32(f.material);
      m.Put_uint32(f.smoothing);
      for (uint32_t c : f.corner) m.Put_uint32(c);
      for (const VEC3F& t : f.tex0) m.Put_VEC3F(t);
      for (const VEC3F& t : f.tex1) m.Put_VEC3F(t);
    }
  }
  return std::vector<uint8_t>(m.data, m.data + m.size);
}

inline void WriteRawModel(const std::string& name, const std::vector<TNode>& nodes) {
  std::vector<uint8_t> bytes = RawModelBytes(nodes);
  WriteBytes("Models/" + name + ".mdl", bytes.data(), bytes.size());
}

// A terrain grid of cells x cells quads (two triangles each) in smoothing
// group 1, with texture coordinates relative to tiles of seamEvery cells so
// the texture seams split vertices; materials alternate every 8 columns.
inline TNode TerrainNode(uint32_t cells, uint32_t seamEvery) {
  TNode n;
  n.name = "Terrain";
  const uint32_t side = cells + 1;
  for (uint32_t y = 0; y < side; y++)
    for (uint32_t x = 0; x < side; x++)
      n.vertices.push_back({float(x), float(y), float(std::sin(x * 0.37) * 3.0 + std::cos(y * 0.23) * 2.0)});
  for (uint32_t y = 0; y < cells; y++) {
    for (uint32_t x = 0; x < cells; x++) {
      const float x0 = float(x - x % seamEvery), y0 = float(y - y % seamEvery), s = float(seamEvery);
      auto uv = [&](uint32_t cx, uint32_t cy) { return VEC3F{(cx - x0) / s, (cy - y0) / s, 0}; };
      uint32_t a = y * side + x, b = a + 1, c = a + side, d = c + 1;
      const uint32_t material = (x / 8) % 2;
      n.faces.push_back(TFace{material, 1, {a, b, d}, {uv(x, y), uv(x + 1, y), uv(x + 1, y + 1)}});
      n.faces.push_back(TFace{material, 1, {a, d, c}, {uv(x, y), uv(x + 1, y + 1), uv(x, y + 1)}});
    }
  }
  return n;
}

inline bool SameBits(const void* a, const void* b, size_t n) { return n == 0 || std::memcmp(a, b, n) == 0; }
