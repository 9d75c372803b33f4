#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "foundation/log.h"
#include "platform/gpu/device.h"
#include "platform/gpu/recording.h"
#include "platform/shader_asm/shader_asm.h"
#include "tests/gpu/test_files.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

namespace {

std::string TempPath(const char* name) { return std::string(TARN_BINARY_DIR) + "/tests/gpu/" + name; }

class D3DXTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(dev->Release(), 0u); }
  RecordingDevice* dev = CreateRecordingDevice();
};

TEST_F(D3DXTest, ShaderFilesAssembleLikeTheTextAndErrorsNameFileAndLine) {
  const char* source = "vs_1_1\ndcl_position v0\ndcl_texcoord0 v7\nm4x4 oPos, v0, c0 ; clip position\nmov oT0, v7\n";
  std::string path = TempPath("d3dx_ok.VSH");
  WriteBytes(path, source, std::strlen(source));
  LogCapture log;
  ID3DXBuffer* code = nullptr;
  ASSERT_EQ(D3DXAssembleShaderFromFileA(path.c_str(), nullptr, nullptr, 0, &code, nullptr), D3D_OK);
  ASSERT_NE(code, nullptr);
  ShaderProgram direct;
  ASSERT_EQ(AssembleShaderText(source, std::strlen(source), "x", direct), D3D_OK);
  std::vector<uint32_t> tokens;
  SerializeShader(direct, tokens);
  ASSERT_EQ(code->GetBufferSize(), tokens.size() * 4);
  EXPECT_EQ(std::memcmp(code->GetBufferPointer(), tokens.data(), tokens.size() * 4), 0);
  EXPECT_EQ(code->Release(), 0u);
  EXPECT_EQ(log.text(), "");

  path = TempPath("d3dx_bad.PSH");
  const char* bad = "ps_2_0\ndcl v0\nfrobnicate r0, r1\n";
  WriteBytes(path, bad, std::strlen(bad));
  ID3DXBuffer* errors = nullptr;
  EXPECT_EQ(D3DXAssembleShaderFromFileA(path.c_str(), nullptr, nullptr, 0, &code, &errors),
            D3DXERR_INVALIDDATA);
  EXPECT_EQ(code, nullptr);
  ASSERT_EQ(log.lines().size(), 1u) << log.text();
  EXPECT_EQ(log.lines()[0].rfind(path + "(3): error: ", 0), 0u) << log.text();
  ASSERT_NE(errors, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(errors->GetBufferPointer())), log.text());
  errors->Release();
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Missing files fail; a PNG gets its full mip chain and is no cube map; a cube file as a plain texture
// gives its first face. Truncated and damaged copies load or fail with D3DXERR_INVALIDDATA, silently,
// never handing the device an image it refuses. The decoders are fuzzed on their own; this is the glue.
TEST_F(D3DXTest, TextureFilesLoadAndDamagedCopiesFailCleanly) {
  std::vector<std::vector<std::vector<uint8_t>>> faces(6);
  for (int f = 0; f < 6; ++f) faces[f].push_back(std::vector<uint8_t>(8 * 8 * 4, uint8_t(f + 1)));
  std::string cubePath = TempPath("d3dx_fuzz_src.dds"), pngPath = TempPath("d3dx_fuzz_src.png");
  WriteDDS(cubePath, 8, 8, 0, faces);
  unsigned char rgba[16 * 8 * 4];
  for (size_t i = 0; i < sizeof rgba; ++i) rgba[i] = uint8_t(i * 7);
  ASSERT_TRUE(stbi_write_png(pngPath.c_str(), 16, 8, 4, rgba, 64));
  LogCapture log;
  IDirect3DTexture9* tex = reinterpret_cast<IDirect3DTexture9*>(1);
  IDirect3DCubeTexture9* cube = nullptr;
  EXPECT_EQ(D3DXCreateTextureFromFileA(dev, "no/such/file.png", &tex), D3DXERR_INVALIDDATA);
  EXPECT_EQ(tex, nullptr);
  EXPECT_EQ(D3DXCreateCubeTextureFromFileA(dev, "no/such/cube.dds", &cube), D3DXERR_INVALIDDATA);
  EXPECT_EQ(D3DXCreateTextureFromFileA(nullptr, pngPath.c_str(), &tex), D3DERR_INVALIDCALL);
  ASSERT_EQ(D3DXCreateTextureFromFileA(dev, pngPath.c_str(), &tex), D3D_OK);
  EXPECT_EQ(tex->LevelCount(), 5u);  // 16x8 down to 1x1
  tex->Release();
  EXPECT_EQ(D3DXCreateCubeTextureFromFileA(dev, pngPath.c_str(), &cube), D3DXERR_INVALIDDATA);
  EXPECT_EQ(cube, nullptr);
  ASSERT_EQ(D3DXCreateTextureFromFileA(dev, cubePath.c_str(), &tex), D3D_OK);
  EXPECT_EQ(static_cast<RecordingTexture*>(tex)->image.faces[0][0].bytes[0], 1);
  tex->Release();

  std::mt19937 random(1234);
  std::string damaged = TempPath("d3dx_fuzz.bin");
  int loaded = 0, refused = 0;
  for (const std::string& source : {cubePath, pngPath}) {
    const std::vector<uint8_t> good = ReadBytes(source);
    ASSERT_FALSE(good.empty());
    auto tryLoad = [&](const std::vector<uint8_t>& bytes, size_t n) {
      WriteBytes(damaged, bytes.data(), n);
      tex = nullptr;
      HRESULT hr = D3DXCreateTextureFromFileA(dev, damaged.c_str(), &tex);
      EXPECT_TRUE(hr == D3D_OK || hr == D3DXERR_INVALIDDATA) << std::hex << hr;
      (hr == D3D_OK ? loaded : refused)++;
      if (tex) tex->Release();
      cube = nullptr;
      hr = D3DXCreateCubeTextureFromFileA(dev, damaged.c_str(), &cube);
      EXPECT_TRUE(hr == D3D_OK || hr == D3DXERR_INVALIDDATA) << std::hex << hr;
      if (cube) cube->Release();
    };
    for (size_t n = 0; n < good.size(); n += 1 + n / 4) tryLoad(good, n);
    for (int round = 0; round < 60; ++round) {
      std::vector<uint8_t> bytes = good;
      for (int i = 1 + int(random() % 8); i > 0; --i) bytes[random() % bytes.size()] = uint8_t(random());
      tryLoad(bytes, bytes.size());
    }
  }
  EXPECT_GT(loaded, 0);
  EXPECT_GT(refused, 0);
  EXPECT_EQ(log.text(), "");
  for (const RecordedCall& c : dev->calls()) EXPECT_EQ(c.result, D3D_OK) << c.describe();
  EXPECT_EQ(dev->liveResources(), 0u);
}

}  // namespace
