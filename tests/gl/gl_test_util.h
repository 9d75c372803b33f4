// Shared pieces of the GL device tests: a fixture owning a device on the
// test context, read-back, and small builders for images and shaders.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gl/gl_device.h"
#include "platform/gpu/device_base.h"
#include "platform/image/image.h"
#include "platform/shader_asm/shader_asm.h"
#include "tests/gl/gl_context.h"

inline std::vector<uint32_t> AssembleTokens(const std::string& text) {
  ShaderProgram p;
  EXPECT_EQ(AssembleShaderText(text.data(), text.size(), "test", p), D3D_OK) << text;
  std::vector<uint32_t> tokens;
  SerializeShader(p, tokens);
  return tokens;
}

// What the tests clear the back buffer to: no drawing colour.
constexpr uint32_t kClear = 0xFF102030;

struct RhwColourVertex { float x, y, z, rhw; uint32_t colour; };

class GLDeviceTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 64, kHeight = 64;

  void SetUp() override {
    std::string why;
    if (!GLTestContext::Get(&why)) GTEST_SKIP() << "no OpenGL 3.3 context: " << why;
    errorsBefore_ = GLErrorCount();
    ASSERT_EQ(CreateGLDevice(kWidth, kHeight, &dev), D3D_OK);
    // As the frame set-up leaves the device: no lighting, clockwise culled.
    dev->SetRenderState(D3DRS_LIGHTING, 0);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
  }
  void TearDown() override {
    if (!dev) return;
    dev->SetTexture(0, nullptr);  // what the tests left bound
    dev->SetVertexShader(nullptr);
    dev->SetPixelShader(nullptr);
    EXPECT_EQ(dev->Release(), 0u) << "resources leaked";
    EXPECT_EQ(GLErrorCount(), errorsBefore_) << "OpenGL reported errors";
  }

  void Read() {
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(ReadGLBackBuffer(dev, pixels_, &w, &h));
    ASSERT_TRUE(int(w) == kWidth && int(h) == kHeight) << w << "x" << h;
  }
  // Reads the back buffer again and returns pixel (x, y), y from the top.
  uint32_t Pixel(int x, int y) { return Read(), PixelCached(x, y); }
  uint32_t PixelCached(int x, int y) const { return pixels_.at(size_t(y) * kWidth + x); }

  // Binds a texture of w x h packed ARGB texels (top row first, with its mip
  // chain) to stage 0; the device keeps it while bound.
  void BindTexels(uint32_t w, uint32_t h, const uint32_t* texels) {
    Image img;
    img.format = D3DFMT_A8R8G8B8;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(texels);
    img.faces = {{ImageLevel{w, h, std::vector<uint8_t>(bytes, bytes + size_t(w) * h * 4)}}};
    BuildMipChain(img);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(dev->CreateTextureFromImage(img, &tex), D3D_OK);
    dev->SetTexture(0, tex);
    tex->Release();
  }

  // A screen quad with corners in the order the text drawing emits them,
  // which appears counter-clockwise on screen.
  void ColouredQuad(float x0, float y0, float x1, float y1, uint32_t colour, float z = 0.0f) {
    RhwColourVertex v[4] = {{x0, y0, z, 1, colour}, {x0, y1, z, 1, colour}, {x1, y0, z, 1, colour},
                            {x1, y1, z, 1, colour}};
    dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(RhwColourVertex)), D3D_OK);
  }
  void TexturedQuad(float x0, float y0, float x1, float y1, float u0 = 0, float v0 = 0,
                    float u1 = 1, float v1 = 1) {
    float v[4][6] = {{x0, y0, 0, 1, u0, v0}, {x0, y1, 0, 1, u0, v1}, {x1, y0, 0, 1, u1, v0}, {x1, y1, 0, 1, u1, v1}};
    dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]), D3D_OK);
  }

  IDirect3DDevice9* dev = nullptr;
  std::vector<uint32_t> pixels_;

 private:
  uint32_t errorsBefore_ = 0;
};

// Channel-wise closeness of two packed colours.
inline ::testing::AssertionResult ColourNear(uint32_t got, uint32_t want, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8)
    if (std::abs(int(got >> shift & 0xFF) - int(want >> shift & 0xFF)) > tolerance)
      return ::testing::AssertionFailure() << std::hex << "got 0x" << got << ", want 0x" << want << " (+-"
                                           << std::dec << tolerance << ")";
  return ::testing::AssertionSuccess();
}
