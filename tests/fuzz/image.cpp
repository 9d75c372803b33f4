// Texture images (DDS by our reader; PNG, TGA and the rest through stb): the
// decoder, then what the device does with a decoded image: the mip chain, the
// expansion of compressed blocks, and for DDS-writable images the round trip
// through the writer.
#include <cstring>

#include "platform/image/image.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Level sizes and byte counts as the decoder promises them.
void CheckShape(const Image& image) {
  FUZZ_CHECK(!image.faces.empty() && image.faces.size() == (image.cube ? 6u : 1u));
  for (const auto& face : image.faces) {
    FUZZ_CHECK(!face.empty() && face.size() == image.levels());
    for (const ImageLevel& level : face)
      FUZZ_CHECK(level.bytes.size() == ImageLevelBytes(image.format, level.width, level.height));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Image image;
  if (DecodeImage(data, size, image) != D3D_OK) return 0;
  CheckShape(image);
  // Expanding and filtering cost in proportion to the pixels; the decoder's
  // own limits are what the fuzzer tests, so large images stop here.
  if (uint64_t(image.width()) * image.height() > (1u << 20)) return 0;
  if (image.format != D3DFMT_A8R8G8B8) {
    for (const ImageLevel& level : image.faces[0]) {
      ImageLevel expanded;
      DecompressDXT(image.format, level, expanded);
      FUZZ_CHECK(expanded.bytes.size() == size_t(level.width) * level.height * 4);
    }
  }
  std::vector<uint8_t> written;
  FUZZ_CHECK(WriteDDS(image, written));
  Image again;
  FUZZ_CHECK(DecodeImage(written.data(), written.size(), again) == D3D_OK);
  FUZZ_CHECK(again.format == image.format && again.cube == image.cube && again.faces.size() == image.faces.size());
  for (size_t f = 0; f < image.faces.size(); f++) {
    FUZZ_CHECK(again.faces[f].size() == image.faces[f].size());
    for (size_t l = 0; l < image.faces[f].size(); l++)
      FUZZ_CHECK(again.faces[f][l].bytes == image.faces[f][l].bytes);
  }
  BuildMipChain(image);
  CheckShape(image);
  return 0;
}
