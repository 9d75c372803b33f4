#include "tests/image/test_files.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

void Append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  auto* p = static_cast<uint8_t*>(data);
  out->insert(out->end(), p, p + size);
}

std::vector<uint8_t> Channels(const std::vector<Rgba>& px, int comp) {
  std::vector<uint8_t> v;
  for (const Rgba& p : px) {
    v.insert(v.end(), {p.r, p.g, p.b});
    if (comp == 4) v.push_back(p.a);
  }
  return v;
}

}  // namespace

std::vector<Rgba> Pattern(uint32_t w, uint32_t h) {
  std::vector<Rgba> px;
  for (uint32_t y = 0; y < h; y++)
    for (uint32_t x = 0; x < w; x++)
      px.push_back(Rgba{uint8_t(10 + x * 20), uint8_t(15 + y * 30), uint8_t(200 - x * 7 - y * 11),
                        uint8_t(255 - x * 13 - y * 5)});
  return px;
}

std::vector<uint8_t> Encode(Encoding e, const std::vector<Rgba>& px, uint32_t w, uint32_t h, int comp) {
  if (e == Encoding::Jpg) comp = 3;
  std::vector<uint8_t> out, c = Channels(px, comp);
  stbi_write_tga_with_rle = e == Encoding::TgaRle ? 1 : 0;
  if (e == Encoding::Png) stbi_write_png_to_func(Append, &out, int(w), int(h), comp, c.data(), int(w) * comp);
  if (e == Encoding::Tga || e == Encoding::TgaRle) stbi_write_tga_to_func(Append, &out, int(w), int(h), comp, c.data());
  if (e == Encoding::Bmp) stbi_write_bmp_to_func(Append, &out, int(w), int(h), comp, c.data());
  if (e == Encoding::Jpg) stbi_write_jpg_to_func(Append, &out, int(w), int(h), 3, c.data(), 90);
  return out;
}

std::vector<uint8_t> DdsHeader(const DdsHeaderFields& s) {
  std::vector<uint8_t> v(128, 0);
  const uint32_t fields[][2] = {
      {0, 0x20534444}, {4, 124}, {8, 0x1007u | (s.mipCount > 1 ? 0x20000u : 0u)},
      {12, s.height},  {16, s.width}, {28, s.mipCount}, {76, 32}, {80, s.pfFlags}, {84, s.fourCC},
      {88, s.bitCount}, {92, s.rMask}, {96, s.gMask}, {100, s.bMask}, {104, s.aMask}, {108, 0x1000},
      {112, s.caps2}};
  for (const auto& f : fields)
    for (int i = 0; i < 4; i++) v[f[0] + i] = uint8_t(f[1] >> (8 * i));
  return v;
}

Image MakeImage(const std::vector<Rgba>& px, uint32_t w, uint32_t h) {
  Image img;
  img.format = D3DFMT_A8R8G8B8;
  img.faces.assign(1, {ImageLevel{w, h, {}}});
  for (const Rgba& p : px) img.faces[0][0].bytes.insert(img.faces[0][0].bytes.end(), {p.b, p.g, p.r, p.a});
  return img;
}

Rgba PixelAt(const ImageLevel& level, uint32_t x, uint32_t y) {
  const uint8_t* p = level.bytes.data() + (size_t(y) * level.width + x) * 4;
  return Rgba{p[2], p[1], p[0], p[3]};
}
