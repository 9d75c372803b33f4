// Textures on the GL device: files through the D3DX loaders, cube maps,
// fixed-function vertices feeding an assembled pixel shader, unbound samplers.
#include "tests/gl/gl_test_util.h"
#include "tests/gpu/test_files.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

namespace {

std::string TempPath(const char* name) { return std::string(TARN_BINARY_DIR) + "/tests/gl/" + name; }

// One image as a PNG, an uncompressed DDS and a DXT1 DDS: the three loads
// (a decoder flipping rows, a different upload per format) must show the same
// texels, top row first.
TEST_F(GLDeviceTest, PngAndDdsFilesShowTheSameImage) {
  // 8x8: four 4x4 blocks, each with its top half in one colour and its
  // bottom half in another; all colours exact in 5:6:5, the top one the
  // greater there.
  const uint32_t top[4] = {0xFFFF0000, 0xFFFFFF00, 0xFFFF00FF, 0xFFFFFFFF};
  const uint32_t bottom[4] = {0xFF0000FF, 0xFF00FF00, 0xFF00FFFF, 0xFF000000};
  uint32_t argb[64];
  uint8_t rgba[64 * 4];
  for (int i = 0; i < 64; ++i) {
    // Through a pointer: GCC 12 with -fsanitize=undefined indexes `(c ? a : b)[k]`
    // of two arrays one element off.
    const uint32_t* half = (i / 8) % 4 < 2 ? top : bottom;
    argb[i] = half[(i / 32) * 2 + (i % 8) / 4];
    for (int k = 0; k < 4; ++k) rgba[i * 4 + k] = uint8_t(argb[i] >> (k == 3 ? 24 : 16 - 8 * k));
  }
  auto to565 = [](uint32_t c) { return uint16_t((c >> 8 & 0xF800) | (c >> 5 & 0x07E0) | (c >> 3 & 0x1F)); };
  std::vector<uint8_t> dxt1;
  for (int b = 0; b < 4; ++b) {
    // colour0 > colour1 selects the four-colour mode; rows 0-1 index 0 (colour0), rows 2-3 index 1.
    Put32(dxt1, uint32_t(to565(bottom[b])) << 16 | to565(top[b]));
    Put32(dxt1, 0x55550000);
  }
  const std::string paths[3] = {TempPath("same.png"), TempPath("same.dds"), TempPath("same_dxt1.dds")};
  ASSERT_TRUE(stbi_write_png(paths[0].c_str(), 8, 8, 4, rgba, 32));
  WriteDDS(paths[1], 8, 8, 0, {{std::vector<uint8_t>((uint8_t*)argb, (uint8_t*)argb + sizeof argb)}});
  WriteDDS(paths[2], 8, 8, 0x31545844, {{dxt1}});

  dev->Clear(D3DCLEAR_TARGET, kClear, 1.0f, 0);
  for (int i = 0; i < 3; ++i) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(dev, paths[i].c_str(), &t), D3D_OK);
    dev->SetTexture(0, t);
    t->Release();  // the device keeps it while bound
    float x = 4.0f + 12.0f * float(i);
    TexturedQuad(x - 0.5f, 4 - 0.5f, x + 8 - 0.5f, 12 - 0.5f);
  }
  Read();
  for (int i = 0; i < 3; ++i)
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        EXPECT_EQ(PixelCached(4 + 12 * i + x, 4 + y), argb[y * 8 + x]) << "file " << i << " texel " << x << "," << y;
}

// Each axis as a cube texture coordinate gives the face Direct3D puts there:
// +X, -X, +Y, -Y, +Z, -Z in file order.
TEST_F(GLDeviceTest, CubeMapSampledAlongEachAxisGivesThatFace) {
  const uint32_t faceColours[6] = {0xFFFF0000, 0xFF00FFFF, 0xFF00FF00, 0xFFFF00FF, 0xFF0000FF, 0xFFFFFF00};
  std::vector<std::vector<std::vector<uint8_t>>> faces(6);
  for (int f = 0; f < 6; ++f)
    for (uint32_t s = 4; s >= 1; s /= 2) {
      faces[f].emplace_back(s * s * 4);
      for (uint32_t i = 0; i < s * s; ++i) std::memcpy(&faces[f].back()[i * 4], &faceColours[f], 4);
    }
  std::string path = TempPath("axes_cube.dds");
  WriteDDS(path, 4, 4, 0, faces);
  IDirect3DCubeTexture9* cube = nullptr;
  ASSERT_EQ(D3DXCreateCubeTextureFromFileA(dev, path.c_str(), &cube), D3D_OK);
  EXPECT_EQ(cube->LevelCount(), 3u);
  // A pixel shader reading the cube on stage 7 as the sky does, along the
  // direction in c0; quad i at (4 + 10 i, 4) looks along axis i.
  auto ps = AssembleTokens("ps_2_0\ndcl_cube s7\nmov r1, c0\ntexld r0, r1, s7\nmov oC0, r0\n");
  IDirect3DPixelShader9* shader = nullptr;
  ASSERT_EQ(dev->CreatePixelShader(ps.data(), &shader), D3D_OK);
  dev->SetPixelShader(shader);
  shader->Release();
  auto drawAxes = [&](bool bound) {
    dev->Clear(D3DCLEAR_TARGET, kClear, 1.0f, 0);
    for (int i = 0; i < 6; ++i) {
      float d[4] = {};
      d[i / 2] = i % 2 ? -1.0f : 1.0f;
      dev->SetPixelShaderConstantF(0, d, 1);
      TexturedQuad(4.0f + 10.0f * float(i), 4, 10.0f + 10.0f * float(i), 10);
    }
    Read();
    for (int i = 0; i < 6; ++i)
      EXPECT_EQ(PixelCached(7 + 10 * i, 7), bound ? faceColours[i] : 0xFF000000u) << "face " << i;
  };
  dev->SetTexture(7, cube);
  drawAxes(true);
  dev->SetTexture(7, nullptr);
  drawAxes(false);  // unbound, the declared cube sampler reads (0, 0, 0, 1)
  EXPECT_EQ(cube->Release(), 0u);
}

// The text path: pre-transformed vertices with texture coordinates and no
// diffuse colour (v0 reads white), no vertex shader, the "font" kind of
// pixel shader with the text colour in c2.
TEST_F(GLDeviceTest, FixedFunctionVerticesFeedAnAssembledPixelShader) {
  auto ps = AssembleTokens("ps_2_0\ndcl v0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\nmul r0, r0, v0\n"
                           "mul r0, r0, c2\nmov oC0, r0\n");
  IDirect3DPixelShader9* shader = nullptr;
  ASSERT_EQ(dev->CreatePixelShader(ps.data(), &shader), D3D_OK);
  const uint32_t texel = 0xFF80FF40;
  BindTexels(1, 1, &texel);
  dev->SetPixelShader(shader);
  shader->Release();
  const float c2[4] = {1.0f, 0.5f, 1.0f, 1.0f};
  dev->SetPixelShaderConstantF(2, c2, 1);
  dev->Clear(D3DCLEAR_TARGET, kClear, 1.0f, 0);
  TexturedQuad(20, 8, 28, 16);
  // texture (0x80, 0xFF, 0x40) x white x c2 (1, 0.5, 1).
  EXPECT_TRUE(ColourNear(Pixel(24, 12), 0xFF807F40, 1));
}

}  // namespace
