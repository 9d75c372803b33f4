// Pieces of the image loader shared between its source files.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/image/image.h"

// The largest width or height accepted from any file. Our largest texture is
// the 1024 x 2048 font atlas; 4096 leaves room for far larger content while a
// full chain of it stays below 90 MB. A larger header is refused before any
// pixel is decoded, so a small file cannot ask for gigabytes or for seconds
// of inflating (a PNG of 8192 x 8192 zeros packs into a few hundred KB).
constexpr uint32_t kMaxImageDimension = 4096;

bool DecodeDDS(const uint8_t* bytes, size_t size, Image& out);
bool DecodeWithStb(const uint8_t* bytes, size_t size, Image& out);

inline uint32_t ReadLE16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t ReadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
