// Test images made on the fly: stb_image_write for PNG/TGA/BMP/JPG, hand-built
// DDS headers for the layouts our writer does not produce.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/image/image.h"

struct Rgba {
  uint8_t r, g, b, a;
  bool operator==(const Rgba& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

// A width x height picture whose every pixel differs: handy for order checks.
std::vector<Rgba> Pattern(uint32_t width, uint32_t height);

// comp: 3 (RGB) or 4 (RGBA); JPEG is always RGB at quality 90.
enum class Encoding { Png, Tga, TgaRle, Bmp, Jpg };
std::vector<uint8_t> Encode(Encoding e, const std::vector<Rgba>& px, uint32_t w, uint32_t h, int comp);

// A DDS header (128 bytes, magic included) with the given pixel format.
struct DdsHeaderFields {
  uint32_t width = 4, height = 4, mipCount = 1, pfFlags = 0x40, fourCC = 0, bitCount = 32;
  uint32_t rMask = 0xFF0000, gMask = 0xFF00, bMask = 0xFF, aMask = 0, caps2 = 0;
};
std::vector<uint8_t> DdsHeader(const DdsHeaderFields& fields);

// A one-level A8R8G8B8 image from RGBA pixels, and pixel (x, y) of such a level.
Image MakeImage(const std::vector<Rgba>& px, uint32_t w, uint32_t h);
Rgba PixelAt(const ImageLevel& level, uint32_t x, uint32_t y);
