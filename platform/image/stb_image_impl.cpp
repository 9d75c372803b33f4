// The one home of stb_image's implementation: only the four formats we read,
// kept private to this file so nothing else in the program clashes with it.
#include "platform/image/image_internal.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ONLY_PNG
#define STBI_ONLY_TGA
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_MAX_DIMENSIONS 4096
#include <stb_image.h>
#pragma GCC diagnostic pop

static_assert(STBI_MAX_DIMENSIONS == kMaxImageDimension, "one limit for every format");

bool DecodeWithStb(const uint8_t* bytes, size_t size, Image& out) {
  if (size == 0 || size > 0x7FFFFFFF) return false;
  int w = 0, h = 0, n = 0;
  stbi_uc* rgba = stbi_load_from_memory(bytes, int(size), &w, &h, &n, 4);
  if (!rgba) return false;
  if (w <= 0 || h <= 0) {
    stbi_image_free(rgba);
    return false;
  }
  Image img;
  img.format = D3DFMT_A8R8G8B8;
  img.faces.resize(1);
  img.faces[0].resize(1);
  ImageLevel& level = img.faces[0][0];
  level.width = uint32_t(w);
  level.height = uint32_t(h);
  size_t count = size_t(w) * size_t(h);
  level.bytes.resize(count * 4);
  // stb gives R, G, B, A; the texture format wants B, G, R, A.
  for (size_t i = 0; i < count; i++) {
    level.bytes[i * 4 + 0] = rgba[i * 4 + 2];
    level.bytes[i * 4 + 1] = rgba[i * 4 + 1];
    level.bytes[i * 4 + 2] = rgba[i * 4 + 0];
    level.bytes[i * 4 + 3] = rgba[i * 4 + 3];
  }
  stbi_image_free(rgba);
  out = std::move(img);
  return true;
}
