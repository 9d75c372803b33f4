// Test images made on the fly: stb_image_write for PNG/TGA/BMP/JPG, hand-built
// DDS headers for the layouts our writer does not produce.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/image/image.h"

struct Rgba {
  uint8_t r, g, b, a;
};

// A width x height picture whose every pixel differs: handy for order checks.
std::vector<Rgba> Pattern(uint32_t width, uint32_t height);

// comp: 3 (RGB) or 4 (RGBA). tgaRle picks run-length TGA.
std::vector<uint8_t> EncodePng(const std::vector<Rgba>& px, uint32_t w, uint32_t h, int comp);
std::vector<uint8_t> EncodeTga(const std::vector<Rgba>& px, uint32_t w, uint32_t h, int comp, bool tgaRle);
std::vector<uint8_t> EncodeBmp(const std::vector<Rgba>& px, uint32_t w, uint32_t h, int comp);
std::vector<uint8_t> EncodeJpg(const std::vector<Rgba>& px, uint32_t w, uint32_t h, int quality);

// A DDS header (128 bytes, magic included) with the given pixel format.
struct DdsHeaderFields {
  uint32_t width = 4, height = 4, mipCount = 1;
  uint32_t pfFlags = 0x40, fourCC = 0, bitCount = 32;
  uint32_t rMask = 0xFF0000, gMask = 0xFF00, bMask = 0xFF, aMask = 0;
  uint32_t caps2 = 0;
};
std::vector<uint8_t> DdsHeader(const DdsHeaderFields& fields);

// A one-level A8R8G8B8 image from RGBA pixels.
Image MakeImage(const std::vector<Rgba>& px, uint32_t w, uint32_t h);

// Pixel (x, y) of an A8R8G8B8 level as RGBA.
Rgba PixelAt(const ImageLevel& level, uint32_t x, uint32_t y);

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::string TempPath(const std::string& name);
