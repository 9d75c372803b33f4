// The DDS reader and writer: mip chains, cube face order, uncompressed
// layouts, DXT kept compressed, and headers that must be refused.
#include <gtest/gtest.h>

#include <string>

#include "platform/image/image.h"
#include "tests/image/test_files.h"

namespace {

TEST(DdsFiles, RoundTripsWithMipsAndCubeFacesInDirect3DOrder) {
  Image img = MakeImage(Pattern(8, 4), 8, 4), back;
  BuildMipChain(img);
  std::vector<uint8_t> file;
  ASSERT_TRUE(WriteDDS(img, file));
  // 8x4 + 4x2 + 2x1 + 1x1 pixels after a 128-byte header.
  ASSERT_EQ(file.size(), 128u + (32 + 8 + 2 + 1) * 4);
  ASSERT_EQ(DecodeImage(file.data(), file.size(), back), D3D_OK);
  EXPECT_TRUE(back.format == D3DFMT_A8R8G8B8 && !back.cube);
  ASSERT_EQ(back.levels(), 4u);
  for (uint32_t i = 0; i < 4; i++) EXPECT_EQ(back.faces[0][i].bytes, img.faces[0][i].bytes) << "level " << i;
  // Inconsistent images are refused.
  img.faces[0][1].bytes.pop_back();
  EXPECT_FALSE(WriteDDS(img, file));
  EXPECT_TRUE(file.empty());
  EXPECT_FALSE(WriteDDS(Image(), file));

  // A cube: each face a uniform colour (B = face), three levels.
  Image cube;
  cube.format = D3DFMT_A8R8G8B8;
  cube.cube = true;
  for (uint32_t f = 0; f < 6; f++)
    cube.faces.push_back(MakeImage(std::vector<Rgba>(16, Rgba{77, 50, uint8_t(f * 40), uint8_t(f)}), 4, 4).faces[0]);
  BuildMipChain(cube);
  ASSERT_TRUE(WriteDDS(cube, file));
  const size_t faceBytes = (16 + 4 + 1) * 4;
  ASSERT_EQ(file.size(), 128 + 6 * faceBytes);
  // Face-major: all levels of +X first, then -X...; the first pixel of face f, level 1.
  for (uint32_t f = 0; f < 6; f++) EXPECT_EQ(file[128 + f * faceBytes + 16 * 4], f * 40);
  ASSERT_EQ(DecodeImage(file.data(), file.size(), back), D3D_OK);
  ASSERT_TRUE(back.cube && back.faces.size() == 6);
  for (uint32_t f = 0; f < 6; f++) {
    ASSERT_EQ(back.faces[f].size(), 3u);
    EXPECT_EQ(back.faces[f][2].bytes, cube.faces[f][2].bytes);
  }
  // Only the cube bit (older writers): still six faces; some faces but not
  // all: no texture can be made of it.
  file[4 + 108 + 1] = 0x02;  // cube bit 0x200 kept, face bits 0xFC00 cleared
  ASSERT_EQ(DecodeImage(file.data(), file.size(), back), D3D_OK);
  EXPECT_EQ(back.faces.size(), 6u);
  file[4 + 108 + 1] = 0x0E;  // +X and -X only
  EXPECT_EQ(DecodeImage(file.data(), file.size(), back), D3DXERR_INVALIDDATA);
}

std::vector<uint8_t> Bytes(size_t n, uint8_t from = 0, uint8_t step = 1) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; i++) v[i] = uint8_t(from + i * step);
  return v;
}

TEST(DdsFiles, HeadersChooseLayoutAndLevelsOrAreRefused) {
  const struct {
    const char* what;
    DdsHeaderFields fields;  // width, height, mips, pixel-format flags, fourCC, bits, R, G, B, A masks, caps2
    std::vector<uint8_t> data;
    uint32_t levels;                 // 0: refused
    std::vector<uint8_t> lastLevel;  // its bytes: BGRA, or DXT blocks as stored
  } cases[] = {
      {"32-bit without an alpha mask: padding, alpha 255", {2, 1}, {1, 2, 3, 9, 4, 5, 6, 0}, 1,
       {1, 2, 3, 255, 4, 5, 6, 255}},
      {"24-bit B, G, R", {2, 1, 1, 0x40, 0, 24}, {10, 20, 30, 40, 50, 60}, 1, {10, 20, 30, 255, 40, 50, 60, 255}},
      {"32-bit R, G, B, A order", {1, 1, 1, 0x41, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000}, {11, 22, 33, 44}, 1,
       {33, 22, 11, 44}},
      {"5:6:5 scaled to full bytes", {1, 1, 1, 0x40, 0, 16, 0xF800, 0x07E0, 0x001F}, {0xE0, 0xFF}, 1, {0, 255, 255, 255}},
      // 8x8 DXT5: 4 blocks, then 1, 1, 1 (levels under 4x4 keep a whole block).
      {"DXT5, mip count 0: one level", {8, 8, 0, 0x4, D3DFMT_DXT5, 0}, Bytes(112), 1, Bytes(64)},
      {"DXT5, mip count past 1x1: the real chain", {8, 8, 40, 0x4, D3DFMT_DXT5, 0}, Bytes(112), 4, Bytes(16, 96)},
      {"huge width", {0x7FFFFFFF}, Bytes(64, 0x55, 0), 0, {}},
      {"data far shorter than the header claims", {4096, 4096, 1, 0x4, D3DFMT_DXT1, 0}, Bytes(1024), 0, {}},
      {"extended header", {4, 4, 1, 0x4, 0x30315844 /* "DX10" */}, Bytes(256), 0, {}},
      {"volume", {4, 4, 1, 0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0x200000}, Bytes(256), 0, {}},
      {"scattered mask", {4, 4, 1, 0x40, 0, 32, 0xF0F000}, Bytes(256), 0, {}},
      {"cube with unequal sides", {8, 4, 1, 0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0xFE00}, Bytes(4096), 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto file = DdsHeader(c.fields);
    file.insert(file.end(), c.data.begin(), c.data.end());
    Image img;
    EXPECT_EQ(DecodeImage(file.data(), file.size(), img), c.levels ? D3D_OK : D3DXERR_INVALIDDATA);
    ASSERT_EQ(img.levels(), c.levels);
    EXPECT_EQ(c.levels ? img.faces[0].back().bytes : std::vector<uint8_t>(), c.lastLevel);
  }
}

// Each uncompressed layout steps through a mip chain and six cube faces by
// its own pixel size: every level of every face decodes exactly as the same
// bytes do on their own in a one-level file, the last level of the last face
// ending at the last byte.
TEST(DdsFiles, UncompressedLayoutsStepByTheirOwnPixelSizeThroughLevelsAndFaces) {
  const struct {
    const char* what;
    uint32_t flags, bits, r, g, b, a;
  } layouts[] = {
      {"32-bit R, G, B, A order", 0x41, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000u},
      {"24-bit", 0x40, 24, 0xFF0000, 0xFF00, 0xFF, 0},
      {"5:6:5", 0x40, 16, 0xF800, 0x07E0, 0x001F, 0},
      {"1:5:5:5", 0x41, 16, 0x7C00, 0x03E0, 0x001F, 0x8000},
      {"4:4:4:4", 0x41, 16, 0x0F00, 0x00F0, 0x000F, 0xF000},
      {"luminance 8", 0x20000, 8, 0xFF, 0, 0, 0},
      {"luminance and alpha 8:8", 0x20001, 16, 0xFF, 0, 0, 0xFF00},
      {"alpha 8", 0x2, 8, 0, 0, 0, 0xFF},
  };
  for (const auto& l : layouts) {
    for (bool cube : {false, true}) {
      SCOPED_TRACE(std::string(l.what) + (cube ? ", cube" : ""));
      const uint32_t bpp = l.bits / 8, faces = cube ? 6 : 1, pixels = 64 + 16 + 4 + 1;  // 8x8 to 1x1
      auto file = DdsHeader({8, 8, 4, l.flags, 0, l.bits, l.r, l.g, l.b, l.a, cube ? 0xFE00u : 0u});
      const std::vector<uint8_t> data = Bytes(faces * pixels * bpp, 3, 37);
      file.insert(file.end(), data.begin(), data.end());
      Image img;
      ASSERT_EQ(DecodeImage(file.data(), file.size(), img), D3D_OK);
      ASSERT_TRUE(img.faces.size() == faces && img.cube == cube);
      size_t at = 0;
      for (uint32_t f = 0; f < faces; f++) {
        ASSERT_EQ(img.faces[f].size(), 4u);
        for (uint32_t i = 0, side = 8; i < 4; i++, side /= 2) {
          auto alone = DdsHeader({side, side, 1, l.flags, 0, l.bits, l.r, l.g, l.b, l.a});
          alone.insert(alone.end(), data.begin() + at, data.begin() + at + side * side * bpp);
          at += side * side * bpp;
          Image one;
          ASSERT_EQ(DecodeImage(alone.data(), alone.size(), one), D3D_OK);
          EXPECT_EQ(img.faces[f][i].bytes, one.faces[0][0].bytes) << "face " << f << " level " << i;
        }
      }
      EXPECT_EQ(at, data.size());
      file.pop_back();
      EXPECT_EQ(DecodeImage(file.data(), file.size(), img), D3DXERR_INVALIDDATA) << "one byte short";
    }
  }
}

}  // namespace
