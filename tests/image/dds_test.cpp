// The DDS reader and writer: uncompressed layouts, DXT kept compressed, mip
// chains, cube face order, and headers that must be refused.
#include <gtest/gtest.h>

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

// Fields: width, height, mips, pixel-format flags, fourCC, bits, R, G, B, A masks.
// Decodes a one-level file with the given header and pixel bytes.
std::vector<uint8_t> DecodeLevel(const DdsHeaderFields& fields, std::vector<uint8_t> pixels) {
  auto file = DdsHeader(fields);
  file.insert(file.end(), pixels.begin(), pixels.end());
  Image back;
  EXPECT_EQ(DecodeImage(file.data(), file.size(), back), D3D_OK);
  return back.levels() ? back.faces[0][0].bytes : std::vector<uint8_t>();
}

TEST(DdsFiles, UncompressedLayoutsBecomeBgra) {
  // 32-bit without an alpha mask: the fourth byte is padding, alpha becomes 255.
  EXPECT_EQ(DecodeLevel(DdsHeaderFields{2, 1}, {1, 2, 3, 9, 4, 5, 6, 0}),
            (std::vector<uint8_t>{1, 2, 3, 255, 4, 5, 6, 255}));
  // 24-bit B, G, R.
  EXPECT_EQ(DecodeLevel(DdsHeaderFields{3, 1, 1, 0x40, 0, 24}, {10, 20, 30, 40, 50, 60, 70, 80, 90}),
            (std::vector<uint8_t>{10, 20, 30, 255, 40, 50, 60, 255, 70, 80, 90, 255}));
  // 32-bit R, G, B, A byte order (masks the other way round) with alpha.
  EXPECT_EQ(DecodeLevel(DdsHeaderFields{1, 1, 1, 0x41, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000}, {11, 22, 33, 44}),
            (std::vector<uint8_t>{33, 22, 11, 44}));
  // 16-bit 5:6:5 scales each channel to the full byte: 0xFFE0 is red and green full.
  EXPECT_EQ(DecodeLevel(DdsHeaderFields{1, 1, 1, 0x40, 0, 16, 0xF800, 0x07E0, 0x001F}, {0xE0, 0xFF}),
            (std::vector<uint8_t>{0, 255, 255, 255}));
}

TEST(DdsFiles, DxtLevelsStayCompressedAndMipCountsAreBounded) {
  // 8x8 DXT5 with a full chain: 4 blocks, then 1, 1, 1 (levels under 4x4 keep a whole block).
  DdsHeaderFields s{8, 8, 4, 0x4, D3DFMT_DXT5, 0};
  auto file = DdsHeader(s);
  for (int i = 0; i < 7 * 16; i++) file.push_back(uint8_t(i));
  Image img;
  ASSERT_EQ(DecodeImage(file.data(), file.size(), img), D3D_OK);
  EXPECT_EQ(img.format, D3DFMT_DXT5);
  ASSERT_EQ(img.levels(), 4u);
  EXPECT_EQ(img.faces[0][1].bytes[0], 64);  // level 1 starts right after level 0
  EXPECT_EQ(img.faces[0][3].bytes[15], 111);
  // Mip count 0 means one level; a count past 1x1 reads only the real chain.
  for (uint32_t count : {0u, 40u}) {
    s.mipCount = count;
    file = DdsHeader(s);
    file.insert(file.end(), 7 * 16, 0);
    ASSERT_EQ(DecodeImage(file.data(), file.size(), img), D3D_OK);
    EXPECT_EQ(img.levels(), count ? 4u : 1u);
  }
}

TEST(DdsFiles, AbsurdOrUnsupportedHeadersAreRefused) {
  // Fields: width, height, mips, pixel-format flags, fourCC, bits, R, G, B, A masks, caps2.
  const struct {
    const char* what;
    DdsHeaderFields fields;
    size_t dataBytes;
  } refused[] = {
      {"huge width", {0x7FFFFFFF}, 64},
      {"data far shorter than the header claims", {8192, 8192, 1, 0x4, D3DFMT_DXT1, 0}, 1024},
      {"extended header", {4, 4, 1, 0x4, 0x30315844 /* "DX10" */}, 256},
      {"volume", {4, 4, 1, 0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0x200000}, 256},
      {"scattered mask", {4, 4, 1, 0x40, 0, 32, 0xF0F000}, 256},
      {"cube with unequal sides", {8, 4, 1, 0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0xFE00}, 4096},
  };
  for (const auto& r : refused) {
    auto file = DdsHeader(r.fields);
    file.insert(file.end(), r.dataBytes, 0x55);
    Image img;
    EXPECT_EQ(DecodeImage(file.data(), file.size(), img), D3DXERR_INVALIDDATA) << r.what;
    EXPECT_EQ(img.levels(), 0u) << r.what;
  }
}

}  // namespace
