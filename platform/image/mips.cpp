// Mip chains: every texture gets levels down to 1x1, as the texture loaders
// of the original platform built them.
#include "platform/image/image_internal.h"

namespace {

// One box-filtered level: each destination pixel averages the source pixels
// its area covers (2x2 for even sizes; odd sizes widen the box by one so no
// row or column is lost).
ImageLevel Downsample(const ImageLevel& src) {
  ImageLevel dst;
  dst.width = src.width > 1 ? src.width / 2 : 1;
  dst.height = src.height > 1 ? src.height / 2 : 1;
  dst.bytes.resize(size_t(dst.width) * dst.height * 4);
  for (uint32_t y = 0; y < dst.height; y++) {
    uint32_t y0 = uint32_t(uint64_t(y) * src.height / dst.height);
    uint32_t y1 = uint32_t((uint64_t(y + 1) * src.height + dst.height - 1) / dst.height);
    for (uint32_t x = 0; x < dst.width; x++) {
      uint32_t x0 = uint32_t(uint64_t(x) * src.width / dst.width);
      uint32_t x1 = uint32_t((uint64_t(x + 1) * src.width + dst.width - 1) / dst.width);
      uint32_t sum[4] = {0, 0, 0, 0};
      uint32_t n = (y1 - y0) * (x1 - x0);
      for (uint32_t sy = y0; sy < y1; sy++)
        for (uint32_t sx = x0; sx < x1; sx++) {
          const uint8_t* p = src.bytes.data() + (size_t(sy) * src.width + sx) * 4;
          for (int c = 0; c < 4; c++) sum[c] += p[c];
        }
      uint8_t* d = dst.bytes.data() + (size_t(y) * dst.width + x) * 4;
      for (int c = 0; c < 4; c++) d[c] = uint8_t((sum[c] + n / 2) / n);
    }
  }
  return dst;
}

}  // namespace

void BuildMipChain(Image& image) {
  if (image.format != D3DFMT_A8R8G8B8) return;  // compressed: keep the file's levels
  for (auto& face : image.faces) {
    if (face.empty()) continue;
    for (;;) {
      const ImageLevel& last = face.back();
      if (last.width <= 1 && last.height <= 1) break;
      if (last.bytes.size() != size_t(last.width) * last.height * 4) break;  // not ours to guess
      face.push_back(Downsample(last));
    }
  }
}
