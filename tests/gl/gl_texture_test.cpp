// Textures on the GL device: files through the D3DX loaders, cube maps,
// fixed-function vertices feeding an assembled pixel shader, unbound samplers.
#include "tests/gl/gl_test_util.h"
#include "tests/gpu/test_files.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

namespace {

constexpr uint32_t kClear = 0xFF102030;

std::string TempPath(const char* name) { return std::string(TARN_BINARY_DIR) + "/tests/gl/" + name; }

uint16_t To565(uint32_t argb) {
  return uint16_t((((argb >> 16) & 0xFF) >> 3) << 11 | (((argb >> 8) & 0xFF) >> 2) << 5 |
                  ((argb & 0xFF) >> 3));
}

TEST_F(GLDeviceTest, DdsAndPngFilesShowTheSameImage) {
  // 8x8: four 4x4 blocks, each with its top half in one colour and its
  // bottom half in another; all colours exact in 5:6:5.
  const uint32_t top[4] = {0xFFFF0000, 0xFF0000FF, 0xFF00FF00, 0xFFFFFFFF};
  const uint32_t bottom[4] = {0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF, 0xFF000000};
  uint32_t argb[64];
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      int b = (y / 4) * 2 + x / 4;
      argb[y * 8 + x] = (y % 4) < 2 ? top[b] : bottom[b];
    }
  uint8_t rgba[64 * 4];
  std::vector<uint8_t> bgra(64 * 4);
  std::memcpy(bgra.data(), argb, sizeof argb);
  for (int i = 0; i < 64 * 4; ++i)  // R, G, B, A from B, G, R, A
    rgba[i] = bgra[(i & ~3) + ((i & 3) == 3 ? 3 : 2 - (i & 3))];
  std::vector<uint8_t> dxt1;
  for (int b = 0; b < 4; ++b) {
    // colour0 > colour1 selects the four-colour mode; index 0 = colour0, 1 = colour1.
    uint16_t c0 = To565(top[b]), c1 = To565(bottom[b]);
    uint32_t bits = 0x55550000;  // rows 0-1 index 0, rows 2-3 index 1
    if (c0 <= c1) {
      std::swap(c0, c1);
      bits = 0x00005555;
    }
    if (c0 == c1) bits = 0;
    Put32(dxt1, uint32_t(c1) << 16 | c0);
    Put32(dxt1, bits);
  }
  std::string png = TempPath("same.png"), dds = TempPath("same.dds"), dxt = TempPath("same_dxt1.dds");
  ASSERT_TRUE(stbi_write_png(png.c_str(), 8, 8, 4, rgba, 32));
  WriteDDS(dds, 8, 8, 0, {{bgra}});
  WriteDDS(dxt, 8, 8, 0x31545844, {{dxt1}});

  IDirect3DTexture9* t[3] = {};
  ASSERT_EQ(D3DXCreateTextureFromFileA(dev, png.c_str(), &t[0]), D3D_OK);
  ASSERT_EQ(D3DXCreateTextureFromFileA(dev, dds.c_str(), &t[1]), D3D_OK);
  ASSERT_EQ(D3DXCreateTextureFromFileA(dev, dxt.c_str(), &t[2]), D3D_OK);
  dev->Clear(D3DCLEAR_TARGET, kClear, 1.0f, 0);
  for (int i = 0; i < 3; ++i) {
    dev->SetTexture(0, t[i]);
    float x = 4.0f + 12.0f * float(i);
    TexturedQuad(x - 0.5f, 4 - 0.5f, x + 8 - 0.5f, 12 - 0.5f);
  }
  Read();
  for (int i = 0; i < 3; ++i)
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        EXPECT_EQ(PixelCached(4 + 12 * i + x, 4 + y), argb[y * 8 + x])
            << "file " << i << " texel " << x << "," << y;
  dev->SetTexture(0, nullptr);
  for (auto* tex : t) tex->Release();
}

class GLCubeTest : public GLDeviceTest {
 protected:
  static constexpr uint32_t kFaces[6] = {0xFFFF0000, 0xFF00FFFF, 0xFF00FF00,
                                         0xFFFF00FF, 0xFF0000FF, 0xFFFFFF00};
  static constexpr float kAxes[6][3] = {{1, 0, 0},  {-1, 0, 0}, {0, 1, 0},
                                        {0, -1, 0}, {0, 0, 1},  {0, 0, -1}};
  struct V {
    float x, y, z, rhw;
    float dir[3];
  };
  // Quad i at (4 + 10 i, 4), texture coordinate 0 the axis direction.
  void DrawAxes() {
    static const D3DVERTEXELEMENT9 decl[] = {
        {0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
        {0, 16, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_TEXCOORD, 0},
        D3DDECL_END()};
    IDirect3DVertexDeclaration9* vd = nullptr;
    ASSERT_EQ(dev->CreateVertexDeclaration(decl, &vd), D3D_OK);
    dev->SetVertexDeclaration(vd);
    for (int i = 0; i < 6; ++i) {
      float x0 = 4.0f + 10.0f * float(i), x1 = x0 + 6, y0 = 4, y1 = 10;
      const float* d = kAxes[i];
      V q[4] = {{x0, y0, 0, 1, {d[0], d[1], d[2]}},
                {x0, y1, 0, 1, {d[0], d[1], d[2]}},
                {x1, y0, 0, 1, {d[0], d[1], d[2]}},
                {x1, y1, 0, 1, {d[0], d[1], d[2]}}};
      ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(V)), D3D_OK);
    }
    dev->SetVertexDeclaration(nullptr);
    vd->Release();
  }
  void ExpectFaces() {
    Read();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(PixelCached(7 + 10 * i, 7), kFaces[i]) << "face " << i;
  }
};
constexpr uint32_t GLCubeTest::kFaces[6];
constexpr float GLCubeTest::kAxes[6][3];

TEST_F(GLCubeTest, CubeMapSampledAlongEachAxisGivesThatFace) {
  // A DDS cube map, faces in Direct3D order, with its mip chain.
  std::vector<std::vector<std::vector<uint8_t>>> faces(6);
  for (int f = 0; f < 6; ++f)
    for (uint32_t s = 4; s >= 1; s /= 2) {
      std::vector<uint8_t> level(s * s * 4);
      for (uint32_t i = 0; i < s * s; ++i) std::memcpy(&level[i * 4], &kFaces[f], 4);
      faces[f].push_back(level);
    }
  std::string path = TempPath("axes_cube.dds");
  WriteDDS(path, 4, 4, 0, faces);
  IDirect3DCubeTexture9* cube = nullptr;
  ASSERT_EQ(D3DXCreateCubeTextureFromFileA(dev, path.c_str(), &cube), D3D_OK);
  EXPECT_EQ(cube->LevelCount(), 3u);

  // Fixed function: stage 0 samples the cube with texture coordinate 0.
  dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
  dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  dev->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
  dev->Clear(D3DCLEAR_TARGET, kClear, 1.0f, 0);
  dev->SetTexture(0, cube);
  DrawAxes();
  ExpectFaces();
  dev->SetTexture(0, nullptr);

  // An assembled pixel shader reading the cube on stage 7, as the sky does.
  auto ps = AssembleTokens("ps_2_0\ndcl t0.xyz\ndcl_cube s7\ntexld r0, t0, s7\nmov oC0, r0\n");
  IDirect3DPixelShader9* shader = nullptr;
  ASSERT_EQ(dev->CreatePixelShader(ps.data(), &shader), D3D_OK);
  dev->Clear(D3DCLEAR_TARGET, kClear, 1.0f, 0);
  dev->SetPixelShader(shader);
  dev->SetTexture(7, cube);
  DrawAxes();
  ExpectFaces();
  // Unbound, the declared cube sampler reads (0, 0, 0, 1).
  dev->SetTexture(7, nullptr);
  DrawAxes();
  Read();
  for (int i = 0; i < 6; ++i) EXPECT_EQ(PixelCached(7 + 10 * i, 7), 0xFF000000u);
  dev->SetPixelShader(nullptr);
  shader->Release();
  cube->Release();
}

TEST_F(GLDeviceTest, FixedFunctionVerticesFeedAnAssembledPixelShader) {
  // The text path: pre-transformed vertices with diffuse and texture
  // coordinates, no vertex shader, the "font" kind of pixel shader.
  auto ps = AssembleTokens(
      "ps_2_0\n"
      "dcl v0\n"
      "dcl t0.xy\n"
      "dcl_2d s0\n"
      "texld r0, t0, s0\n"
      "mul r0, r0, v0\n"
      "mul r0, r0, c2\n"
      "mov oC0, r0\n");
  IDirect3DPixelShader9* shader = nullptr;
  ASSERT_EQ(dev->CreatePixelShader(ps.data(), &shader), D3D_OK);
  IDirect3DTexture9* tex = nullptr;
  ASSERT_EQ(dev->CreateTextureFromImage(SolidImage(4, {0xFF80FF40}), &tex), D3D_OK);
  dev->SetTexture(0, tex);
  dev->SetPixelShader(shader);
  const float c2[4] = {1.0f, 0.5f, 1.0f, 1.0f};
  dev->SetPixelShaderConstantF(2, c2, 1);
  struct V {
    float x, y, z, rhw;
    uint32_t c;
    float u, v;
  } q[4] = {{8, 8, 0, 1, 0xFFFFFF80, 0, 0},
            {8, 16, 0, 1, 0xFFFFFF80, 0, 1},
            {16, 8, 0, 1, 0xFFFFFF80, 1, 0},
            {16, 16, 0, 1, 0xFFFFFF80, 1, 1}};
  dev->Clear(D3DCLEAR_TARGET, kClear, 1.0f, 0);
  dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(V)), D3D_OK);
  // texture (0x80, 0xFF, 0x40) x diffuse (1, 1, 0.5) x c2 (1, 0.5, 1).
  EXPECT_TRUE(ColourNear(Pixel(12, 12), 0xFF807F20, 1));
  // Without a diffuse colour v0 is white.
  dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
  TexturedQuad(20, 8, 28, 16);
  EXPECT_TRUE(ColourNear(Pixel(24, 12), 0xFF807F40, 1));
  dev->SetTexture(0, nullptr);
  dev->SetPixelShader(nullptr);
  shader->Release();
  tex->Release();
}

}  // namespace
