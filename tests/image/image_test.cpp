// Decoding of the stb formats, file loading, mip chains and DXT expansion.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "platform/image/image.h"
#include "tests/image/test_files.h"

namespace {

bool SamePixel(const Rgba& a, const Rgba& b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }

void ExpectPattern(const Image& img, const std::vector<Rgba>& px, uint32_t w, uint32_t h, bool alpha) {
  ASSERT_EQ(img.format, D3DFMT_A8R8G8B8);
  ASSERT_FALSE(img.cube);
  ASSERT_EQ(img.faces.size(), 1u);
  ASSERT_EQ(img.levels(), 1u);
  ASSERT_EQ(img.width(), w);
  ASSERT_EQ(img.height(), h);
  ASSERT_EQ(img.faces[0][0].bytes.size(), size_t(w) * h * 4);
  for (uint32_t y = 0; y < h; y++)
    for (uint32_t x = 0; x < w; x++) {
      Rgba want = px[y * w + x];
      if (!alpha) want.a = 255;
      Rgba got = PixelAt(img.faces[0][0], x, y);
      ASSERT_TRUE(SamePixel(got, want)) << "pixel " << x << "," << y << " got " << int(got.r) << " "
                                        << int(got.g) << " " << int(got.b) << " " << int(got.a);
    }
}

TEST(ImageDecode, LosslessFormatsGiveBgraTopRowFirst) {
  const uint32_t w = 5, h = 3;  // odd sizes catch row padding and stride mistakes
  auto px = Pattern(w, h);
  struct Encoded {
    const char* name;
    std::vector<uint8_t> bytes;
    bool alpha;
  } files[] = {{"png", EncodePng(px, w, h, 4), true},        {"png rgb", EncodePng(px, w, h, 3), false},
               {"tga rgb", EncodeTga(px, w, h, 3, false), false}, {"tga rle", EncodeTga(px, w, h, 4, true), true},
               {"bmp", EncodeBmp(px, w, h, 4), true},        {"bmp rgb", EncodeBmp(px, w, h, 3), false}};
  for (const Encoded& f : files) {
    SCOPED_TRACE(f.name);
    Image img;
    ASSERT_EQ(DecodeImage(f.bytes.data(), f.bytes.size(), img), D3D_OK);
    ExpectPattern(img, px, w, h, f.alpha);
  }
}

TEST(ImageLoad, ReadsFilesAndRejectsMissingOrUnreadableOnes) {
  auto px = Pattern(4, 2);
  std::string path = TempPath("load.png");
  WriteFile(path, EncodePng(px, 4, 2, 4));
  Image img;
  EXPECT_EQ(LoadImageFile(path.c_str(), img), D3D_OK);
  ExpectPattern(img, px, 4, 2, true);
  std::remove(path.c_str());

  EXPECT_EQ(LoadImageFile(path.c_str(), img), D3DXERR_INVALIDDATA);  // gone now
  EXPECT_EQ(img.levels(), 0u);
  EXPECT_EQ(LoadImageFile("/tmp", img), D3DXERR_INVALIDDATA);  // a directory
  EXPECT_EQ(LoadImageFile(nullptr, img), D3DXERR_INVALIDDATA);

  std::string empty = TempPath("empty.tga");
  WriteFile(empty, {});
  EXPECT_EQ(LoadImageFile(empty.c_str(), img), D3DXERR_INVALIDDATA);
  std::remove(empty.c_str());

  const uint8_t text[] = "this is not a picture at all, just words";
  EXPECT_EQ(DecodeImage(text, sizeof text, img), D3DXERR_INVALIDDATA);
  EXPECT_EQ(img.format, D3DFMT_UNKNOWN);
}

TEST(MipChain, BoxFilterHalvesOddSizesAndKeepsExistingLevels) {
  // 4x4 with 2x2 quadrants of known values; the average of each quadrant is exact.
  std::vector<Rgba> px(16);
  for (uint32_t y = 0; y < 4; y++)
    for (uint32_t x = 0; x < 4; x++) {
      uint8_t v = uint8_t((y * 4 + x) * 10);  // 0..150
      px[y * 4 + x] = Rgba{v, uint8_t(255 - v), uint8_t(x < 2 ? 0 : 100), uint8_t(y < 2 ? 255 : 1)};
    }
  Image img = MakeImage(px, 4, 4);
  BuildMipChain(img);
  ASSERT_EQ(img.levels(), 3u);
  const ImageLevel& l1 = img.faces[0][1];
  const ImageLevel& l2 = img.faces[0][2];
  ASSERT_TRUE(l1.width == 2 && l1.height == 2 && l2.width == 1 && l2.height == 1);
  // Top-right quadrant: values 20, 30, 60, 70 -> 45; bottom-left 80, 90, 120, 130 -> 105.
  EXPECT_TRUE(SamePixel(PixelAt(l1, 1, 0), Rgba{45, 210, 100, 255}));
  EXPECT_TRUE(SamePixel(PixelAt(l1, 0, 1), Rgba{105, 150, 0, 1}));
  // 1x1: mean of the four (rounded half up): r 75, g 180, b 50, a 128.
  EXPECT_TRUE(SamePixel(PixelAt(l2, 0, 0), Rgba{75, 180, 50, 128}));

  Image odd = MakeImage(Pattern(5, 3), 5, 3);
  BuildMipChain(odd);
  ASSERT_EQ(odd.levels(), 3u);  // 5x3, 2x1, 1x1
  EXPECT_TRUE(odd.faces[0][1].width == 2 && odd.faces[0][1].height == 1);

  // A chain that already has levels continues from the last one, untouched.
  Image part = MakeImage(Pattern(4, 4), 4, 4);
  part.faces[0].push_back(MakeImage(std::vector<Rgba>(4, Rgba{9, 9, 9, 9}), 2, 2).faces[0][0]);
  BuildMipChain(part);
  ASSERT_EQ(part.levels(), 3u);
  EXPECT_TRUE(SamePixel(PixelAt(part.faces[0][1], 1, 1), Rgba{9, 9, 9, 9}));
  EXPECT_TRUE(SamePixel(PixelAt(part.faces[0][2], 0, 0), Rgba{9, 9, 9, 9}));
}

// DXT helpers: a colour block from two 565 colours and sixteen 2-bit indices.
std::vector<uint8_t> ColourBlock(uint16_t c0, uint16_t c1, const uint8_t idx[16]) {
  uint32_t bits = 0;
  for (int i = 0; i < 16; i++) bits |= uint32_t(idx[i] & 3) << (2 * i);
  return {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8),
          uint8_t(bits), uint8_t(bits >> 8), uint8_t(bits >> 16), uint8_t(bits >> 24)};
}

const uint8_t kRamp[16] = {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3};

TEST(DecompressDXT, Dxt1FourAndThreeColourModes) {
  // White (0xFFFF) over black: the two inner colours are 2/3 and 1/3 of the way.
  ImageLevel in{4, 4, ColourBlock(0xFFFF, 0x0000, kRamp)}, out;
  DecompressDXT(D3DFMT_DXT1, in, out);
  ASSERT_EQ(out.bytes.size(), 64u);
  EXPECT_TRUE(SamePixel(PixelAt(out, 2, 3), Rgba{170, 170, 170, 255}));
  EXPECT_TRUE(SamePixel(PixelAt(out, 3, 1), Rgba{85, 85, 85, 255}));

  // colour0 <= colour1: pure red 0xF800 and pure blue 0x001F swapped -> three colours.
  ImageLevel three{4, 4, ColourBlock(0x001F, 0xF800, kRamp)};
  DecompressDXT(D3DFMT_DXT1, three, out);
  EXPECT_TRUE(SamePixel(PixelAt(out, 0, 0), Rgba{0, 0, 255, 255}));
  EXPECT_TRUE(SamePixel(PixelAt(out, 1, 0), Rgba{255, 0, 0, 255}));
  EXPECT_TRUE(SamePixel(PixelAt(out, 2, 0), Rgba{127, 0, 127, 255}));
  EXPECT_TRUE(SamePixel(PixelAt(out, 3, 0), Rgba{0, 0, 0, 0}));  // transparent black

  // A 2x1 level still reads its one block, clipped.
  DecompressDXT(D3DFMT_DXT1, ImageLevel{2, 1, ColourBlock(0x07E0, 0x0000, kRamp)}, out);
  ASSERT_EQ(out.bytes.size(), 8u);
  EXPECT_TRUE(SamePixel(PixelAt(out, 0, 0), Rgba{0, 255, 0, 255}));

  // Missing blocks decode to zeros, never read past the data.
  DecompressDXT(D3DFMT_DXT1, ImageLevel{8, 8, ColourBlock(0xFFFF, 0, kRamp)}, out);
  ASSERT_EQ(out.bytes.size(), 256u);
  EXPECT_EQ(PixelAt(out, 0, 0).a, 255);
  EXPECT_TRUE(SamePixel(PixelAt(out, 7, 7), Rgba{0, 0, 0, 0}));
}

TEST(DecompressDXT, Dxt3ExplicitAndDxt5InterpolatedAlpha) {
  // DXT3: alpha nibbles 0..15 in pixel order; colour block always four-colour,
  // even with colour0 <= colour1.
  std::vector<uint8_t> b3;
  for (int i = 0; i < 8; i++) b3.push_back(uint8_t((2 * i) | (2 * i + 1) << 4));
  auto colour = ColourBlock(0x0000, 0xFFFF, kRamp);
  b3.insert(b3.end(), colour.begin(), colour.end());
  ImageLevel out;
  DecompressDXT(D3DFMT_DXT3, ImageLevel{4, 4, b3}, out);
  for (uint32_t i = 0; i < 16; i++) EXPECT_EQ(PixelAt(out, i % 4, i / 4).a, i * 17) << i;
  EXPECT_EQ(PixelAt(out, 2, 0).r, 85);   // (2*0 + 255) / 3, not the midpoint
  EXPECT_EQ(PixelAt(out, 3, 0).r, 170);  // and never transparent black
  EXPECT_EQ(PixelAt(out, 3, 0).a, 51);

  // DXT5, eight-alpha mode (a0 > a1): codes 0..7 over the sixteen pixels twice.
  auto alphaBlock = [](uint8_t a0, uint8_t a1) {
    std::vector<uint8_t> b{a0, a1};
    uint64_t bits = 0;
    for (int i = 0; i < 16; i++) bits |= uint64_t(i % 8) << (3 * i);
    for (int i = 0; i < 6; i++) b.push_back(uint8_t(bits >> (8 * i)));
    return b;
  };
  std::vector<uint8_t> b5 = alphaBlock(210, 70);
  b5.insert(b5.end(), colour.begin(), colour.end());
  DecompressDXT(D3DFMT_DXT5, ImageLevel{4, 4, b5}, out);
  const uint8_t eight[8] = {210, 70, 190, 170, 150, 130, 110, 90};
  for (uint32_t i = 0; i < 16; i++) EXPECT_EQ(PixelAt(out, i % 4, i / 4).a, eight[i % 8]) << i;

  // Six-alpha mode (a0 <= a1) with the fixed 0 and 255 codes.
  std::vector<uint8_t> b6 = alphaBlock(50, 150);
  b6.insert(b6.end(), colour.begin(), colour.end());
  DecompressDXT(D3DFMT_DXT5, ImageLevel{4, 4, b6}, out);
  const uint8_t six[8] = {50, 150, 70, 90, 110, 130, 0, 255};
  for (uint32_t i = 0; i < 16; i++) EXPECT_EQ(PixelAt(out, i % 4, i / 4).a, six[i % 8]) << i;
}

}  // namespace
