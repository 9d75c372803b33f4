// Shared helpers of the asset tests: a fresh working directory per test,
// raw model files written with the buffer appends, file reading and writing.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
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
#include "tests/temp_dir.h"

// Each test runs in a fresh directory with the content folders, every registry
// emptied after it; a recording device (UseDevice) must end with no live objects.
class AssetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = std::filesystem::current_path();
    dir_ = MakeTempDir("tarn-assets-");
    ASSERT_FALSE(dir_.empty());
    std::filesystem::current_path(dir_);
    for (const char* d : {"Models", "Fonts", "Textures", "Shaders"}) std::filesystem::create_directory(d);
    InstallDrawingHooks();  // as the program does: models and fonts reach the device and the registries
  }
  void UseDevice() { Device = rec = CreateRecordingDevice(640, 480); }
  void TearDown() override {
    ReleaseAllModels(), ReleaseAllFonts(), ReleaseAllTextures(), ReleaseAllPixelShaders(), ReleaseAllVertexShaders();
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

// The same with the recording device current from the start.
class DeviceAssetTest : public AssetTest {
 protected:
  void SetUp() override { AssetTest::SetUp(), UseDevice(); }
};

inline void WriteBytes(const std::string& path, const void* data, size_t n) {
  std::ofstream(path, std::ios::binary).write(static_cast<const char*>(data), std::streamsize(n));
}
inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& b) { WriteBytes(path, b.data(), b.size()); }
inline void WriteText(const std::string& path, const std::string& text) { WriteBytes(path, text.data(), text.size()); }
// Sets a file's modification time to `seconds` after the epoch (one fixed
// conversion, so that equal seconds give equal times).
inline void Touch(const std::string& path, time_t seconds) {
  using namespace std::chrono;
  static const auto offset = std::filesystem::file_time_type::clock::now().time_since_epoch() -
                             duration_cast<std::filesystem::file_time_type::duration>(
                                 system_clock::now().time_since_epoch());
  std::filesystem::last_write_time(
      path, std::filesystem::file_time_type(duration_cast<std::filesystem::file_time_type::duration>(
                                                seconds * 1s) + offset));
}
inline void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) { std::memcpy(&bytes[at], &value, 4); }
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
  std::vector<VEC3F> vertices;
  std::vector<TFace> faces;
  VEC3F position{0, 0, 0};
  QUATF rotation{0, 0, 0, 1};
  VEC3F nodeScale{1, 1, 1};
};

inline std::vector<uint8_t> RawModelBytes(const std::vector<TNode>& nodes) {
  MEM m;
  m.Put_uint32(kRawModelMagic);
  m.Put_uint32(uint32_t(nodes.size()));
  for (const TNode& n : nodes) {
    m.Put_string(n.name.c_str()), m.Put_VEC3F(n.position), m.Put_QUATF(n.rotation), m.Put_VEC3F(n.nodeScale);
    m.Put_uint32(uint32_t(n.vertices.size()));
    for (const VEC3F& v : n.vertices) m.Put_VEC3F(v);
    m.Put_uint32(uint32_t(n.faces.size()));
    for (const TFace& f : n.faces) {
      m.Put_VEC3F({9, 9, 9}), m.Put_uint32(f.material), m.Put_uint32(f.smoothing);  // a stale normal to ignore
      for (uint32_t c : f.corner) m.Put_uint32(c);
      for (const VEC3F& t : f.tex0) m.Put_VEC3F(t);
      for (const VEC3F& t : f.tex1) m.Put_VEC3F(t);
    }
  }
  return std::vector<uint8_t>(m.data, m.data + m.size);
}

inline void WriteRawModel(const std::string& name, const std::vector<TNode>& nodes) {
  WriteBytes("Models/" + name + ".mdl", RawModelBytes(nodes));
}

// Two triangles sharing the edge 0-2 of the square 0..10 in z = 0, material 0,
// smoothing group 1, the same texture coordinates at the shared corners.
inline TNode Quad(const std::string& name, VEC3F position = {0, 0, 0}) {
  return TNode{name, {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}},
               {TFace{0, 1, {0, 1, 2}, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}},
                TFace{0, 1, {0, 2, 3}, {{0, 0, 0}, {1, 1, 0}, {0, 1, 0}}}}, position};
}

// Whether the captured text holds line among others.
inline ::testing::AssertionResult Logged(const LogCapture& log, const std::string& line) {
  if (log.text().find(line) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no \"" << line << "\" in:\n" << log.text();
}
inline bool SameBits(const void* a, const void* b, size_t n) { return n == 0 || std::memcmp(a, b, n) == 0; }
// The array holds n elements with the bytes at b.
template <class T>
bool Same(const Array<T>& a, const void* b, size_t n) { return a.count == n && SameBits(a.data, b, n * sizeof(T)); }
template <class T> bool Same(const Array<T>& a, const Array<T>& b) { return Same(a, b.data, b.count); }
