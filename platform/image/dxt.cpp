// DXT1/3/5 block decoding to bytes B, G, R, A, following the S3TC rules
// Direct3D 9 uses: DXT1 has a three-colour mode with transparent black when
// colour0 <= colour1; DXT3/5 colour blocks always use four colours.
#include <cstring>

#include "platform/image/image_internal.h"

namespace {

struct Colour {
  uint8_t b, g, r, a;
};

Colour From565(uint32_t c) {
  uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
  return Colour{uint8_t(b << 3 | b >> 2), uint8_t(g << 2 | g >> 4), uint8_t(r << 3 | r >> 2), 255};
}

Colour Mix(const Colour& x, uint32_t wx, const Colour& y, uint32_t wy) {
  uint32_t d = wx + wy;
  return Colour{uint8_t((x.b * wx + y.b * wy) / d), uint8_t((x.g * wx + y.g * wy) / d),
                uint8_t((x.r * wx + y.r * wy) / d), 255};
}

// Sixteen colours of one colour block, row by row.
void DecodeColourBlock(const uint8_t* block, bool allowThreeColour, Colour px[16]) {
  uint32_t c0 = ReadLE16(block), c1 = ReadLE16(block + 2);
  Colour pal[4];
  pal[0] = From565(c0);
  pal[1] = From565(c1);
  if (c0 > c1 || !allowThreeColour) {
    pal[2] = Mix(pal[0], 2, pal[1], 1);
    pal[3] = Mix(pal[0], 1, pal[1], 2);
  } else {
    pal[2] = Mix(pal[0], 1, pal[1], 1);
    pal[3] = Colour{0, 0, 0, 0};
  }
  uint32_t indices = ReadLE32(block + 4);
  for (int i = 0; i < 16; i++) px[i] = pal[(indices >> (2 * i)) & 3];
}

void DecodeExplicitAlpha(const uint8_t* block, Colour px[16]) {
  for (int i = 0; i < 16; i++) {
    uint32_t nibble = (block[i / 2] >> (4 * (i & 1))) & 15;
    px[i].a = uint8_t(nibble * 17);
  }
}

void DecodeInterpolatedAlpha(const uint8_t* block, Colour px[16]) {
  uint32_t a0 = block[0], a1 = block[1];
  uint8_t pal[8];
  pal[0] = uint8_t(a0);
  pal[1] = uint8_t(a1);
  if (a0 > a1) {
    for (uint32_t i = 1; i < 7; i++) pal[i + 1] = uint8_t(((7 - i) * a0 + i * a1) / 7);
  } else {
    for (uint32_t i = 1; i < 5; i++) pal[i + 1] = uint8_t(((5 - i) * a0 + i * a1) / 5);
    pal[6] = 0;
    pal[7] = 255;
  }
  uint64_t bits = 0;
  for (int i = 0; i < 6; i++) bits |= uint64_t(block[2 + i]) << (8 * i);
  for (int i = 0; i < 16; i++) px[i].a = pal[(bits >> (3 * i)) & 7];
}

}  // namespace

void DecompressDXT(D3DFORMAT format, const ImageLevel& in, ImageLevel& out) {
  uint32_t w = in.width, h = in.height;
  out.width = w;
  out.height = h;
  out.bytes.assign(size_t(w) * h * 4, 0);
  size_t blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
  if (format != D3DFMT_DXT1 && format != D3DFMT_DXT3 && format != D3DFMT_DXT5) return;
  uint32_t bw = (w + 3) / 4, bh = (h + 3) / 4;
  for (uint32_t by = 0; by < bh; by++) {
    for (uint32_t bx = 0; bx < bw; bx++) {
      size_t offset = (size_t(by) * bw + bx) * blockBytes;
      // A short level decodes what it has; missing blocks stay zero.
      if (offset + blockBytes > in.bytes.size()) return;
      const uint8_t* block = in.bytes.data() + offset;
      Colour px[16];
      if (format == D3DFMT_DXT1) {
        DecodeColourBlock(block, true, px);
      } else {
        DecodeColourBlock(block + 8, false, px);
        if (format == D3DFMT_DXT3)
          DecodeExplicitAlpha(block, px);
        else
          DecodeInterpolatedAlpha(block, px);
      }
      for (uint32_t y = 0; y < 4 && by * 4 + y < h; y++)
        for (uint32_t x = 0; x < 4 && bx * 4 + x < w; x++) {
          uint8_t* d = out.bytes.data() + ((size_t(by * 4 + y) * w) + bx * 4 + x) * 4;
          std::memcpy(d, &px[y * 4 + x], 4);
        }
    }
  }
}
