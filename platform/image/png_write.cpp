// PNG writing through stb_image_write, private to this file (static) so the
// tests and tools that carry their own copy do not clash with it.
#include <cstdio>

#include "foundation/files.h"
#include "platform/image/image.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb_image_write.h>
#pragma GCC diagnostic pop

namespace {
void Append(void* context, void* data, int size) {
  auto* bytes = static_cast<std::string*>(context);
  bytes->append(static_cast<const char*>(data), size_t(size));
}
}  // namespace

bool WritePngFile(const char* path, uint32_t width, uint32_t height,
                  const std::vector<uint32_t>& argb, std::string& reason) {
  if (width == 0 || height == 0 || width > 0x7FFF || height > 0x7FFF ||
      argb.size() != size_t(width) * height) {
    reason = "no picture to write";
    return false;
  }
  std::vector<uint8_t> rgba(argb.size() * 4);
  for (size_t i = 0; i < argb.size(); i++) {
    uint32_t p = argb[i];
    rgba[i * 4 + 0] = uint8_t(p >> 16);
    rgba[i * 4 + 1] = uint8_t(p >> 8);
    rgba[i * 4 + 2] = uint8_t(p);
    rgba[i * 4 + 3] = 255;  // the window has no transparency
  }
  // Encoded in memory, then written the one safe way: a file that could not be
  // written whole never appears under the name.
  std::string png;
  if (stbi_write_png_to_func(Append, &png, int(width), int(height), 4, rgba.data(), int(width) * 4) == 0) {
    reason = "the picture could not be encoded";
    return false;
  }
  return WriteWholeFile(path, png, reason);
}
