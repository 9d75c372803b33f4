// DDS files: our own reader (uncompressed RGB/luminance with bit masks,
// DXT1/3/5 kept compressed, mip chains, cube maps) and a small writer.
// Every size is computed from the header and checked against the file length
// before a byte is copied.
#include <cstring>

#include "platform/image/image_internal.h"

namespace {

constexpr uint32_t kMagic = 0x20534444;  // "DDS "
constexpr size_t kHeaderBytes = 4 + 124;

// Header flags.
constexpr uint32_t DDSD_CAPS = 0x1, DDSD_HEIGHT = 0x2, DDSD_WIDTH = 0x4, DDSD_PITCH = 0x8,
                   DDSD_PIXELFORMAT = 0x1000, DDSD_MIPMAPCOUNT = 0x20000,
                   DDSD_LINEARSIZE = 0x80000;
// Pixel format flags.
constexpr uint32_t DDPF_ALPHAPIXELS = 0x1, DDPF_ALPHA = 0x2, DDPF_FOURCC = 0x4, DDPF_RGB = 0x40,
                   DDPF_LUMINANCE = 0x20000;
// Caps.
constexpr uint32_t DDSCAPS_COMPLEX = 0x8, DDSCAPS_TEXTURE = 0x1000, DDSCAPS_MIPMAP = 0x400000;
constexpr uint32_t DDSCAPS2_CUBEMAP = 0x200, DDSCAPS2_ALLFACES = 0xFC00,
                   DDSCAPS2_VOLUME = 0x200000;

// One channel of an uncompressed format: where its bits are and how wide.
struct Channel {
  uint32_t mask = 0;
  uint32_t shift = 0;
  uint32_t bits = 0;
};

bool MakeChannel(uint32_t mask, Channel& c) {
  c = Channel();
  if (mask == 0) return true;
  c.mask = mask;
  while (!((mask >> c.shift) & 1)) c.shift++;
  uint32_t m = mask >> c.shift;
  while (m & 1) {
    c.bits++;
    m >>= 1;
  }
  return m == 0;  // the mask's bits must be contiguous
}

// Scales a channel value of any width up or down to 8 bits.
inline uint8_t Expand(uint32_t pixel, const Channel& c) {
  uint32_t v = (pixel & c.mask) >> c.shift;
  if (c.bits == 8) return uint8_t(v);
  uint32_t maxv = c.bits >= 32 ? 0xFFFFFFFFu : (1u << c.bits) - 1;
  return uint8_t((uint64_t(v) * 255 + maxv / 2) / maxv);
}

struct PixelLayout {
  bool compressed = false;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  uint32_t bytesPerPixel = 0;
  bool luminance = false;
  Channel r, g, b, a;
};

bool ReadPixelFormat(const uint8_t* pf, PixelLayout& layout) {
  uint32_t flags = ReadLE32(pf + 4);
  uint32_t fourCC = ReadLE32(pf + 8);
  uint32_t bitCount = ReadLE32(pf + 12);
  uint32_t rMask = ReadLE32(pf + 16), gMask = ReadLE32(pf + 20), bMask = ReadLE32(pf + 24),
           aMask = ReadLE32(pf + 28);
  if (flags & DDPF_FOURCC) {
    if (fourCC == D3DFMT_DXT1 || fourCC == D3DFMT_DXT3 || fourCC == D3DFMT_DXT5) {
      layout.compressed = true;
      layout.format = D3DFORMAT(fourCC);
      return true;
    }
    return false;  // DX10 headers, DXT2/4, floating point and the rest: not supported
  }
  if (!(flags & (DDPF_RGB | DDPF_LUMINANCE | DDPF_ALPHA))) return false;
  if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) return false;
  layout.format = D3DFMT_A8R8G8B8;
  layout.bytesPerPixel = bitCount / 8;
  if (!(flags & (DDPF_ALPHAPIXELS | DDPF_ALPHA))) aMask = 0;
  if (flags & DDPF_RGB) {
    if (!MakeChannel(rMask, layout.r) || !MakeChannel(gMask, layout.g) ||
        !MakeChannel(bMask, layout.b))
      return false;
    if (!rMask && !gMask && !bMask) return false;
  } else if (flags & DDPF_LUMINANCE) {
    if (!MakeChannel(rMask, layout.r) || !rMask) return false;
    layout.luminance = true;
  }
  if (!MakeChannel(aMask, layout.a)) return false;
  if (!(flags & (DDPF_RGB | DDPF_LUMINANCE)) && !aMask) return false;  // alpha-only needs a mask
  // Masks must lie inside the pixel.
  uint64_t limit = bitCount == 32 ? 0x100000000ull : (1ull << bitCount);
  if (rMask >= limit || gMask >= limit || bMask >= limit || aMask >= limit) return false;
  return true;
}

// Converts one uncompressed level to bytes B, G, R, A.
void ConvertLevel(const uint8_t* src, const PixelLayout& l, ImageLevel& level) {
  size_t count = size_t(level.width) * level.height;
  level.bytes.resize(count * 4);
  uint8_t* dst = level.bytes.data();
  const uint32_t bpp = l.bytesPerPixel;
  // The common case, bytes already B, G, R(, A): copy straight through.
  if (bpp == 4 && l.r.mask == 0xFF0000 && l.g.mask == 0xFF00 && l.b.mask == 0xFF) {
    std::memcpy(dst, src, count * 4);
    if (l.a.mask != 0xFF000000)
      for (size_t i = 0; i < count; i++) dst[i * 4 + 3] = l.a.mask ? Expand(ReadLE32(src + i * 4), l.a) : 255;
    return;
  }
  for (size_t i = 0; i < count; i++, src += bpp, dst += 4) {
    uint32_t p = 0;
    for (uint32_t k = 0; k < bpp; k++) p |= uint32_t(src[k]) << (8 * k);
    uint8_t r, g, b;
    if (l.luminance) {
      r = g = b = Expand(p, l.r);
    } else {
      r = l.r.mask ? Expand(p, l.r) : 0;
      g = l.g.mask ? Expand(p, l.g) : 0;
      b = l.b.mask ? Expand(p, l.b) : 0;
    }
    dst[0] = b;
    dst[1] = g;
    dst[2] = r;
    dst[3] = l.a.mask ? Expand(p, l.a) : 255;  // no alpha in the file: opaque
  }
}

uint32_t FullChainLength(uint32_t w, uint32_t h) {
  uint32_t n = 1;
  while (w > 1 || h > 1) {
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
    n++;
  }
  return n;
}

void PutLE32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  v[at] = uint8_t(x);
  v[at + 1] = uint8_t(x >> 8);
  v[at + 2] = uint8_t(x >> 16);
  v[at + 3] = uint8_t(x >> 24);
}

}  // namespace

uint64_t ImageLevelBytes(D3DFORMAT format, uint32_t width, uint32_t height) {
  uint64_t w = width ? width : 1, h = height ? height : 1;
  switch (format) {
    case D3DFMT_DXT1:
      return ((w + 3) / 4) * ((h + 3) / 4) * 8;
    case D3DFMT_DXT3:
    case D3DFMT_DXT5:
      return ((w + 3) / 4) * ((h + 3) / 4) * 16;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
      return w * h * 4;
    case D3DFMT_R8G8B8:
      return w * h * 3;
    default:
      return 0;
  }
}

bool DecodeDDS(const uint8_t* bytes, size_t size, Image& out) {
  if (size < kHeaderBytes || ReadLE32(bytes) != kMagic) return false;
  const uint8_t* h = bytes + 4;
  if (ReadLE32(h) != 124 || ReadLE32(h + 72) != 32) return false;  // header and pixel format sizes
  uint32_t height = ReadLE32(h + 8);
  uint32_t width = ReadLE32(h + 12);
  uint32_t mipCount = ReadLE32(h + 24);
  uint32_t caps2 = ReadLE32(h + 108);
  if (width == 0 || height == 0 || width > kMaxImageDimension || height > kMaxImageDimension)
    return false;
  if (caps2 & DDSCAPS2_VOLUME) return false;

  PixelLayout layout;
  if (!ReadPixelFormat(h + 72, layout)) return false;

  if (mipCount == 0) mipCount = 1;
  // A count beyond 1x1 names levels that cannot exist: read the real chain only.
  uint32_t full = FullChainLength(width, height);
  if (mipCount > full) mipCount = full;

  uint32_t faceCount = 1;
  bool cube = (caps2 & DDSCAPS2_CUBEMAP) != 0;
  if (cube) {
    uint32_t faces = caps2 & DDSCAPS2_ALLFACES;
    // Old writers set only the cube bit; a partial cube cannot become a texture.
    if (faces != 0 && faces != DDSCAPS2_ALLFACES) return false;
    if (width != height) return false;
    faceCount = 6;
  }

  // Sizes first, all of them, against what the file holds.
  uint64_t need = 0;
  for (uint32_t i = 0; i < mipCount; i++) {
    uint32_t w = width >> i ? width >> i : 1, hh = height >> i ? height >> i : 1;
    need += layout.compressed ? ImageLevelBytes(layout.format, w, hh)
                              : uint64_t(w) * hh * layout.bytesPerPixel;
  }
  need *= faceCount;
  if (need > uint64_t(size - kHeaderBytes)) return false;

  Image img;
  img.format = layout.format;
  img.cube = cube;
  img.faces.resize(faceCount);
  const uint8_t* p = bytes + kHeaderBytes;
  for (uint32_t f = 0; f < faceCount; f++) {
    img.faces[f].resize(mipCount);
    for (uint32_t i = 0; i < mipCount; i++) {
      ImageLevel& level = img.faces[f][i];
      level.width = width >> i ? width >> i : 1;
      level.height = height >> i ? height >> i : 1;
      if (layout.compressed) {
        size_t n = size_t(ImageLevelBytes(layout.format, level.width, level.height));
        level.bytes.assign(p, p + n);
        p += n;
      } else {
        ConvertLevel(p, layout, level);
        p += size_t(level.width) * level.height * layout.bytesPerPixel;
      }
    }
  }
  out = std::move(img);
  return true;
}

bool WriteDDS(const Image& image, std::vector<uint8_t>& out) {
  out.clear();
  D3DFORMAT fmt = image.format;
  bool compressed = fmt == D3DFMT_DXT1 || fmt == D3DFMT_DXT3 || fmt == D3DFMT_DXT5;
  if (fmt != D3DFMT_A8R8G8B8 && !compressed) return false;
  size_t faceCount = image.faces.size();
  if (faceCount != (image.cube ? 6u : 1u)) return false;
  uint32_t levels = image.levels();
  uint32_t width = image.width(), height = image.height();
  if (levels == 0 || width == 0 || height == 0) return false;
  if (image.cube && width != height) return false;
  if (levels > FullChainLength(width, height)) return false;
  uint64_t dataBytes = 0;
  for (const auto& face : image.faces) {
    if (face.size() != levels) return false;
    for (uint32_t i = 0; i < levels; i++) {
      uint32_t w = width >> i ? width >> i : 1, h = height >> i ? height >> i : 1;
      if (face[i].width != w || face[i].height != h) return false;
      if (face[i].bytes.size() != ImageLevelBytes(fmt, w, h)) return false;
      dataBytes += face[i].bytes.size();
    }
  }

  out.assign(kHeaderBytes, 0);
  PutLE32(out, 0, kMagic);
  const size_t h = 4;
  uint32_t flags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
  flags |= compressed ? DDSD_LINEARSIZE : DDSD_PITCH;
  if (levels > 1) flags |= DDSD_MIPMAPCOUNT;
  PutLE32(out, h + 0, 124);
  PutLE32(out, h + 4, flags);
  PutLE32(out, h + 8, height);
  PutLE32(out, h + 12, width);
  PutLE32(out, h + 16, compressed ? uint32_t(ImageLevelBytes(fmt, width, height)) : width * 4);
  PutLE32(out, h + 24, levels);
  PutLE32(out, h + 72, 32);
  if (compressed) {
    PutLE32(out, h + 76, DDPF_FOURCC);
    PutLE32(out, h + 80, fmt);
  } else {
    PutLE32(out, h + 76, DDPF_RGB | DDPF_ALPHAPIXELS);
    PutLE32(out, h + 84, 32);
    PutLE32(out, h + 88, 0x00FF0000);
    PutLE32(out, h + 92, 0x0000FF00);
    PutLE32(out, h + 96, 0x000000FF);
    PutLE32(out, h + 100, 0xFF000000);
  }
  uint32_t caps = DDSCAPS_TEXTURE;
  if (levels > 1) caps |= DDSCAPS_COMPLEX | DDSCAPS_MIPMAP;
  if (image.cube) caps |= DDSCAPS_COMPLEX;
  PutLE32(out, h + 104, caps);
  PutLE32(out, h + 108, image.cube ? DDSCAPS2_CUBEMAP | DDSCAPS2_ALLFACES : 0);

  out.reserve(out.size() + size_t(dataBytes));
  for (const auto& face : image.faces)
    for (const auto& level : face) out.insert(out.end(), level.bytes.begin(), level.bytes.end());
  return true;
}
