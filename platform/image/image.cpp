// Image loading: reads the file, recognises DDS by its magic and hands the
// rest to stb_image. stb fills missing TGA and BMP pixel data with zeros and
// skips PNG checksums instead of failing, and overruns on some malformed
// JPEG tables, so those are checked first.
#include <cstdio>
#include <cstring>

#include "foundation/files.h"
#include "platform/image/image_internal.h"

namespace {

bool IsPng(const uint8_t* b, size_t n) {
  static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return n >= 8 && std::memcmp(b, sig, 8) == 0;
}
bool IsJpeg(const uint8_t* b, size_t n) { return n >= 2 && b[0] == 0xFF && b[1] == 0xD8; }
bool IsBmp(const uint8_t* b, size_t n) { return n >= 2 && b[0] == 'B' && b[1] == 'M'; }
bool IsDds(const uint8_t* b, size_t n) { return n >= 4 && ReadLE32(b) == 0x20534444; }

uint32_t Crc32(const uint8_t* p, size_t n) {
  static uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (uint32_t i = 0; i < 256; i++) {
      uint32_t c = i;
      for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    ready = true;
  }
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; i++) c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

uint32_t ReadBE32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Every PNG chunk must be whole with a matching CRC, up to IEND: stb checks
// neither, and would hand back damaged pixels as a good image.
bool PngIntact(const uint8_t* b, size_t n) {
  size_t at = 8;
  for (;;) {
    if (n - at < 12) return false;
    uint64_t length = ReadBE32(b + at);
    if (length > n - at - 12) return false;
    const uint8_t* type = b + at + 4;
    if (Crc32(type, size_t(length) + 4) != ReadBE32(type + 4 + length)) return false;
    if (std::memcmp(type, "IEND", 4) == 0) return true;
    at += 12 + size_t(length);
  }
}

// Huffman tables of more than 256 codes overrun stb's tables (fixed only in
// later stb releases): refuse any JPEG that declares one. Bytes past the end
// count as zero, as stb reads them.
bool JpegTablesSane(const uint8_t* b, size_t n) {
  auto byteAt = [&](size_t i) -> uint32_t { return i < n ? b[i] : 0; };
  size_t at = 2;
  while (at + 1 < n) {
    if (b[at] != 0xFF) {  // entropy-coded data
      at++;
      continue;
    }
    uint32_t m = b[at + 1];
    if (m == 0xFF) {  // fill byte
      at++;
      continue;
    }
    if (m == 0x00 || m == 0x01 || m == 0xD8 || (m >= 0xD0 && m <= 0xD7)) {  // no length field
      at += 2;
      continue;
    }
    if (m == 0xD9) return true;  // end of image
    if (at + 3 >= n) return true;
    size_t length = byteAt(at + 2) << 8 | byteAt(at + 3);
    if (length < 2) return false;
    if (m == 0xC4) {
      long left = long(length) - 2;
      size_t p = at + 4;
      while (left > 0) {
        uint32_t codes = 0;
        for (int i = 0; i < 16; i++) codes += byteAt(p + 1 + i);
        if (codes > 256) return false;
        p += 17 + codes;
        left -= long(17 + codes);
      }
    }
    at += 2 + length;
  }
  return true;
}

// A BMP with uncompressed or bit-field pixels must hold all of its rows.
bool BmpComplete(const uint8_t* b, size_t n) {
  if (n < 26) return false;
  uint64_t offset = ReadLE32(b + 10);
  uint32_t headerSize = ReadLE32(b + 14);
  int64_t w, h;
  uint32_t bpp, compression;
  if (headerSize == 12) {
    w = ReadLE16(b + 18);
    h = int16_t(ReadLE16(b + 20));
    bpp = ReadLE16(b + 24);
    compression = 0;
  } else {
    if (n < 34) return false;
    w = int32_t(ReadLE32(b + 18));
    h = int32_t(ReadLE32(b + 22));
    bpp = ReadLE16(b + 28);
    compression = ReadLE32(b + 30);
  }
  if (w <= 0 || h == 0) return false;
  if (h < 0) h = -h;
  if (w > kMaxImageDimension || h > kMaxImageDimension) return false;
  if (compression != 0 && compression != 3 && compression != 6) return true;  // stb refuses these itself
  uint64_t stride = ((uint64_t(w) * bpp + 31) / 32) * 4;
  return offset + stride * uint64_t(h) <= n;
}

// A TGA (the only format here without a signature) must hold its palette and
// all of its pixels, run-length packets included.
bool TgaComplete(const uint8_t* b, size_t n) {
  if (n < 18) return false;
  uint32_t idLength = b[0], mapType = b[1], type = b[2];
  uint32_t mapLength = ReadLE16(b + 5), mapBits = b[7];
  uint32_t w = ReadLE16(b + 12), h = ReadLE16(b + 14), bits = b[16];
  if (mapType > 1 || w == 0 || h == 0) return false;
  bool rle = type >= 9;
  uint32_t base = rle ? type - 8 : type;
  if (base < 1 || base > 3) return false;
  if (w > kMaxImageDimension || h > kMaxImageDimension) return false;
  uint32_t pixelBytes = (bits + 7) / 8;
  if (pixelBytes == 0 || pixelBytes > 4) return false;
  uint64_t at = 18 + uint64_t(idLength);
  if (mapType == 1) at += uint64_t(mapLength) * ((mapBits + 7) / 8);
  uint64_t pixels = uint64_t(w) * h;
  if (!rle) return at + pixels * pixelBytes <= n;
  uint64_t done = 0;
  while (done < pixels) {
    if (at >= n) return false;
    uint8_t packet = b[at++];
    uint64_t count = (packet & 0x7F) + 1;
    at += (packet & 0x80) ? pixelBytes : count * pixelBytes;
    if (at > n) return false;
    done += count;
  }
  return true;
}

}  // namespace

HRESULT DecodeImage(const uint8_t* bytes, size_t size, Image& out) {
  out = Image();
  if (!bytes || size == 0) return D3DXERR_INVALIDDATA;
  bool ok;
  if (IsDds(bytes, size)) {
    ok = DecodeDDS(bytes, size, out);
  } else if (IsPng(bytes, size)) {
    ok = PngIntact(bytes, size) && DecodeWithStb(bytes, size, out);
  } else if (IsJpeg(bytes, size)) {
    ok = JpegTablesSane(bytes, size) && DecodeWithStb(bytes, size, out);
  } else if (IsBmp(bytes, size)) {
    ok = BmpComplete(bytes, size) && DecodeWithStb(bytes, size, out);
  } else {
    ok = TgaComplete(bytes, size) && DecodeWithStb(bytes, size, out);
  }
  if (!ok) {
    out = Image();
    return D3DXERR_INVALIDDATA;
  }
  return D3D_OK;
}

HRESULT LoadImageFile(const char* path, Image& out) {
  out = Image();
  if (!path) return D3DXERR_INVALIDDATA;
  // A directory, a FIFO, a device or a file past the content cap reads as
  // nothing: invalid data, as any unreadable texture.
  std::string data, reason;
  if (!ReadWholeFile(path, FileKind::Content, data, reason)) return D3DXERR_INVALIDDATA;
  return DecodeImage(reinterpret_cast<const uint8_t*>(data.data()), data.size(), out);
}
