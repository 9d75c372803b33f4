// Pieces of the image loader shared between its source files.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/image/image.h"

// The largest width or height accepted from any file. Direct3D 9 hardware
// tops out at 8192; anything larger in a header is corruption, and refusing it
// keeps a forged header from asking for gigabytes.
constexpr uint32_t kMaxImageDimension = 8192;

bool DecodeDDS(const uint8_t* bytes, size_t size, Image& out);
bool DecodeWithStb(const uint8_t* bytes, size_t size, Image& out);

inline uint32_t ReadLE16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t ReadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
