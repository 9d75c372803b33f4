// Decoding of the stb formats, file loading, mip chains and DXT expansion.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/image/image.h"
#include "tests/image/test_files.h"

namespace {

TEST(ImageDecode, LosslessFormatsGiveBgraTopRowFirst) {
  const uint32_t w = 5, h = 3;  // odd sizes catch row padding and stride mistakes
  auto px = Pattern(w, h);
  const std::pair<Encoding, int> files[] = {{Encoding::Png, 4}, {Encoding::Png, 3}, {Encoding::Tga, 3},
                                            {Encoding::TgaRle, 4}, {Encoding::Bmp, 4}, {Encoding::Bmp, 3}};
  for (auto [encoding, comp] : files) {
    SCOPED_TRACE(testing::Message() << "encoding " << int(encoding) << ", " << comp << " channels");
    auto bytes = Encode(encoding, px, w, h, comp);
    Image img;
    ASSERT_EQ(DecodeImage(bytes.data(), bytes.size(), img), D3D_OK);
    ASSERT_TRUE(img.format == D3DFMT_A8R8G8B8 && !img.cube && img.faces.size() == 1 && img.levels() == 1);
    ASSERT_EQ(img.faces[0][0].width, w);
    ASSERT_EQ(img.faces[0][0].bytes.size(), size_t(w) * h * 4);
    for (uint32_t i = 0; i < w * h; i++) {
      Rgba want = px[i];
      if (comp == 3) want.a = 255;
      ASSERT_EQ(PixelAt(img.faces[0][0], i % w, i / w), want) << "pixel " << i;
    }
  }
}

// Loading a good file is covered by the texture loader's tests; here the refusals.
TEST(ImageLoad, RejectsEmptyMissingAndUnreadableFiles) {
  std::string path = ::testing::TempDir() + "tarn_image_" + std::to_string(getpid()) + ".png";
  std::ofstream(path).flush();  // empty
  Image img = MakeImage(Pattern(2, 2), 2, 2);
  for (const char* bad : {path.c_str(), "/nonexistent/x.png", "/tmp", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(LoadImageFile(bad, img), D3DXERR_INVALIDDATA) << (bad ? bad : "null");
    EXPECT_EQ(img.levels(), 0u);
  }
  std::remove(path.c_str());
}

TEST(MipChain, BoxFilterHalvesOddSizesAndKeepsExistingLevels) {
  // 4x4 with 2x2 quadrants of known values; the average of each quadrant is exact.
  std::vector<Rgba> px(16);
  for (uint32_t i = 0; i < 16; i++) {
    uint8_t v = uint8_t(i * 10), x = uint8_t(i % 4), y = uint8_t(i / 4);
    px[i] = Rgba{v, uint8_t(255 - v), uint8_t(x < 2 ? 0 : 100), uint8_t(y < 2 ? 255 : 1)};
  }
  Image img = MakeImage(px, 4, 4), odd = MakeImage(Pattern(5, 3), 5, 3), part = MakeImage(Pattern(4, 4), 4, 4);
  // A chain that already has levels continues from the last one, untouched.
  part.faces[0].push_back(MakeImage(std::vector<Rgba>(4, Rgba{9, 9, 9, 9}), 2, 2).faces[0][0]);
  for (Image* i : {&img, &odd, &part}) BuildMipChain(*i);
  ASSERT_EQ(img.levels(), 3u);
  // Top-right quadrant: values 20, 30, 60, 70 -> 45; the 1x1 rounds half up.
  EXPECT_EQ(PixelAt(img.faces[0][1], 1, 0), (Rgba{45, 210, 100, 255}));
  EXPECT_EQ(PixelAt(img.faces[0][2], 0, 0), (Rgba{75, 180, 50, 128}));
  ASSERT_EQ(odd.levels(), 3u);  // 5x3, 2x1, 1x1
  EXPECT_TRUE(odd.faces[0][1].width == 2 && odd.faces[0][1].height == 1);
  ASSERT_EQ(part.levels(), 3u);
  EXPECT_EQ(PixelAt(part.faces[0][2], 0, 0), (Rgba{9, 9, 9, 9}));
}

// A DXT colour block from two 565 colours, pixel i using index i % 4.
std::vector<uint8_t> ColourBlock(uint16_t c0, uint16_t c1) {
  return {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8), 0xE4, 0xE4, 0xE4, 0xE4};
}

TEST(DecompressDXT, ColourModesAlphaModesAndShortLevels) {
  // DXT1, white over black: the inner colours are 2/3 and 1/3 of the way.
  ImageLevel out;
  DecompressDXT(D3DFMT_DXT1, ImageLevel{4, 4, ColourBlock(0xFFFF, 0x0000)}, out);
  ASSERT_EQ(out.bytes.size(), 64u);
  EXPECT_EQ(PixelAt(out, 2, 3), (Rgba{170, 170, 170, 255}));
  // colour0 <= colour1 (blue, red): three colours and transparent black.
  DecompressDXT(D3DFMT_DXT1, ImageLevel{4, 4, ColourBlock(0x001F, 0xF800)}, out);
  EXPECT_EQ(PixelAt(out, 2, 0), (Rgba{127, 0, 127, 255}));
  EXPECT_EQ(PixelAt(out, 3, 0), (Rgba{0, 0, 0, 0}));
  // A 2x1 level still reads its one block, clipped; missing blocks decode to
  // zeros, never read past the data.
  DecompressDXT(D3DFMT_DXT1, ImageLevel{2, 1, ColourBlock(0x07E0, 0x0000)}, out);
  ASSERT_EQ(out.bytes.size(), 8u);
  EXPECT_EQ(PixelAt(out, 0, 0), (Rgba{0, 255, 0, 255}));
  DecompressDXT(D3DFMT_DXT1, ImageLevel{8, 8, ColourBlock(0xFFFF, 0)}, out);
  EXPECT_EQ(PixelAt(out, 7, 7), (Rgba{0, 0, 0, 0}));

  // DXT3: alpha nibbles 0..15 in pixel order, and always four colours.
  auto colour = ColourBlock(0x0000, 0xFFFF);
  std::vector<uint8_t> b3;
  for (int i = 0; i < 8; i++) b3.push_back(uint8_t((2 * i) | (2 * i + 1) << 4));
  b3.insert(b3.end(), colour.begin(), colour.end());
  DecompressDXT(D3DFMT_DXT3, ImageLevel{4, 4, b3}, out);
  for (uint32_t i = 0; i < 16; i++) EXPECT_EQ(PixelAt(out, i % 4, i / 4).a, i * 17) << i;
  EXPECT_EQ(PixelAt(out, 3, 0).r, 170);  // not transparent black

  // DXT5: codes 0..7 over the sixteen pixels twice, eight-alpha mode (a0 > a1)
  // and six-alpha mode with the fixed 0 and 255 codes.
  const uint8_t eight[8] = {210, 70, 190, 170, 150, 130, 110, 90}, six[8] = {50, 150, 70, 90, 110, 130, 0, 255};
  for (const uint8_t* want : {eight, six}) {
    std::vector<uint8_t> b5{want[0], want[1], 0x88, 0xC6, 0xFA, 0x88, 0xC6, 0xFA};
    b5.insert(b5.end(), colour.begin(), colour.end());
    DecompressDXT(D3DFMT_DXT5, ImageLevel{4, 4, b5}, out);
    for (uint32_t i = 0; i < 16; i++) EXPECT_EQ(PixelAt(out, i % 4, i / 4).a, want[i % 8]) << i;
  }
}

}  // namespace
