// Bad input: truncated and randomly mutated copies of valid files must give
// D3DXERR_INVALIDDATA or a consistent image, never a crash, hang or a read
// outside the data (the sanitizer build runs this suite).
#include <gtest/gtest.h>

#include <random>

#include "platform/image/image.h"
#include "tests/image/test_files.h"

namespace {

// Whatever decoded must be internally consistent: right face count, level
// sizes and byte counts matching the format.
void ExpectConsistent(const Image& img) {
  ASSERT_EQ(img.faces.size(), img.cube ? 6u : 1u);
  for (const auto& face : img.faces) {
    ASSERT_EQ(face.size(), img.levels());
    for (const ImageLevel& l : face)
      ASSERT_TRUE(l.width > 0 && l.height > 0 && l.bytes.size() == ImageLevelBytes(img.format, l.width, l.height));
  }
}

// Recomputes every PNG chunk's CRC so mutations reach the decoder itself
// instead of stopping at the checksum.
void FixPngCrcs(std::vector<uint8_t>& b) {
  for (size_t at = 8, length; at + 12 <= b.size(); at += 12 + length) {
    length = size_t(b[at]) << 24 | size_t(b[at + 1]) << 16 | size_t(b[at + 2]) << 8 | b[at + 3];
    if (length > b.size() - at - 12) return;
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = at + 4; i < at + 8 + length; i++) {
      c ^= b[i];
      for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    for (int i = 0; i < 4; i++) b[at + 8 + length + i] = uint8_t(~c >> (24 - 8 * i));
  }
}

struct Sample {
  const char* name;
  std::vector<uint8_t> bytes;
};

// One file of each format and layout: 2D, cube and DXT3 DDS files with mips.
std::vector<Sample> ValidFiles() {
  auto px = Pattern(7, 5);
  std::vector<Sample> files = {{"png", Encode(Encoding::Png, px, 7, 5, 4)},
                               {"tga", Encode(Encoding::Tga, px, 7, 5, 4)},
                               {"tga rle", Encode(Encoding::TgaRle, px, 7, 5, 4)},
                               {"bmp", Encode(Encoding::Bmp, px, 7, 5, 3)}};
  Image img = MakeImage(Pattern(8, 8), 8, 8), cube, dxt;
  cube.format = D3DFMT_A8R8G8B8;
  cube.cube = true;
  cube.faces.assign(6, MakeImage(Pattern(4, 4), 4, 4).faces[0]);
  dxt.format = D3DFMT_DXT3;
  dxt.faces.resize(1);
  for (uint32_t s = 8; s > 0; s /= 2) {
    std::vector<uint8_t> blocks(ImageLevelBytes(D3DFMT_DXT3, s, s));
    for (size_t k = 0; k < blocks.size(); k++) blocks[k] = uint8_t(k * 37 + s);
    dxt.faces[0].push_back(ImageLevel{s, s, blocks});
  }
  BuildMipChain(img);
  BuildMipChain(cube);
  for (auto [name, image] : {std::pair<const char*, Image*>{"dds", &img}, {"dds cube", &cube}, {"dds dxt3", &dxt}}) {
    files.push_back({name, {}});
    WriteDDS(*image, files.back().bytes);
  }
  return files;
}

TEST(CorruptImages, EveryTruncationIsRefusedAndRandomMutationsNeverCrash) {
  std::mt19937 rng(20260612);
  auto files = ValidFiles();
  files.push_back({"jpg", Encode(Encoding::Jpg, Pattern(9, 7), 9, 7, 3)});
  for (const Sample& s : files) {
    Image img;
    ASSERT_EQ(DecodeImage(s.bytes.data(), s.bytes.size(), img), D3D_OK) << s.name;
    ExpectConsistent(img);
    for (size_t n = 0; n < s.bytes.size(); n++) {
      // A private copy of exactly n bytes, so reading past it is caught.
      std::vector<uint8_t> cut(s.bytes.begin(), s.bytes.begin() + n);
      HRESULT hr = DecodeImage(n ? cut.data() : nullptr, n, img);
      ASSERT_TRUE(hr == D3DXERR_INVALIDDATA && img.levels() == 0) << s.name << " cut to " << n;
    }
    bool png = s.bytes[1] == 'P' && s.bytes[2] == 'N' && s.bytes[3] == 'G';
    int refused = 0;
    for (int round = 0; round < 250; round++) {
      std::vector<uint8_t> bad = s.bytes;
      for (int c = int(rng() % 8); c >= 0; c--) {
        // Half the time hit the header, where sizes and offsets live.
        size_t range = rng() % 2 ? std::min<size_t>(bad.size(), 130) : bad.size();
        size_t at = rng() % range;
        bad[at] = uint8_t(rng());
      }
      if (png && round % 2) FixPngCrcs(bad);
      if (round % 5 == 0) bad.resize(rng() % bad.size());  // and truncate some too
      HRESULT hr = DecodeImage(bad.data(), bad.size(), img);
      refused += hr != D3D_OK;
      if (hr == D3D_OK) ExpectConsistent(img);
      else ASSERT_TRUE(hr == D3DXERR_INVALIDDATA && img.levels() == 0) << s.name << " round " << round;
    }
    EXPECT_GT(refused, 0) << s.name;  // the mutations did reach something that checks
  }
}

TEST(CorruptImages, ForgedJpegTableAndBmpOffsetAreRefused) {
  Image img;
  // A JPEG Huffman table declaring more than 256 codes.
  auto jpg = Encode(Encoding::Jpg, Pattern(8, 8), 8, 8, 3);
  size_t dht = 2;
  while (dht + 1 < jpg.size() && !(jpg[dht] == 0xFF && jpg[dht + 1] == 0xC4)) dht++;
  ASSERT_LT(dht + 21, jpg.size());
  jpg[dht + 5] = 200;  // code counts of the first table: lengths 1 and 2
  jpg[dht + 6] = 200;
  EXPECT_EQ(DecodeImage(jpg.data(), jpg.size(), img), D3DXERR_INVALIDDATA);
  // A BMP whose pixel offset points past the end of the file.
  auto bmp = Encode(Encoding::Bmp, Pattern(4, 4), 4, 4, 3);
  bmp[10] = 0xFF, bmp[11] = 0xFF;
  EXPECT_EQ(DecodeImage(bmp.data(), bmp.size(), img), D3DXERR_INVALIDDATA);
}

}  // namespace
