// Decoded texture images, ready to upload: PNG, TGA, JPG and BMP through
// stb_image, DDS through our own reader (compressed blocks kept compressed).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gpu/types.h"

struct ImageLevel {
  uint32_t width, height;
  std::vector<uint8_t> bytes;  // tightly packed rows, top row first
};

struct Image {
  // D3DFMT_A8R8G8B8 (bytes B, G, R, A per pixel), D3DFMT_DXT1, _DXT3 or _DXT5.
  D3DFORMAT format = D3DFMT_UNKNOWN;
  bool cube = false;  // six faces in Direct3D order +X, -X, +Y, -Y, +Z, -Z
  // faces[face][level]: one face for a 2D image; level 0 is the full size.
  std::vector<std::vector<ImageLevel>> faces;

  uint32_t width() const { return faces.empty() || faces[0].empty() ? 0 : faces[0][0].width; }
  uint32_t height() const { return faces.empty() || faces[0].empty() ? 0 : faces[0][0].height; }
  uint32_t levels() const { return faces.empty() ? 0 : uint32_t(faces[0].size()); }
};

// Reads and decodes a file by its contents (DDS by magic, the rest by stb).
// Returns D3D_OK, or D3DXERR_INVALIDDATA for a missing, unreadable or
// undecodable file (nothing is printed: callers print their own line).
HRESULT LoadImageFile(const char* path, Image& out);
HRESULT DecodeImage(const uint8_t* bytes, size_t size, Image& out);

// Completes the mip chain of every face down to 1x1 (box filter for
// A8R8G8B8, block-wise re-encoding is not attempted: compressed images keep
// the levels the file had, and the device limits sampling to them).
void BuildMipChain(Image& image);

// Expands DXT1/3/5 blocks to A8R8G8B8 (tests and readback).
void DecompressDXT(D3DFORMAT format, const ImageLevel& in, ImageLevel& out);

// Writes an A8R8G8B8 image (2D or cube, every level it holds) as a DDS file
// image with 32-bit BGRA pixels and an alpha mask; DXT1/3/5 images are written
// with their blocks as they are. Returns false, leaving out empty, when the
// image is inconsistent (faces differing in levels, a level's size or byte
// count not matching the chain).
bool WriteDDS(const Image& image, std::vector<uint8_t>& out);

// Writes width x height A8R8G8B8 pixels (top row first) as an opaque PNG
// file, written the one safe way (foundation/files.h). False with a plain
// reason when the size does not match or the file cannot be written; path
// is then as it was.
bool WritePngFile(const char* path, uint32_t width, uint32_t height,
                  const std::vector<uint32_t>& argb, std::string& reason);

// Bytes one level occupies in the given format (blocks of 4x4 for DXT).
uint64_t ImageLevelBytes(D3DFORMAT format, uint32_t width, uint32_t height);
