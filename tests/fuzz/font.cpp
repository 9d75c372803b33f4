// Font descriptions (".fnt"): the tokenizer, the blocks and their values.
#include "assets/font.h"
#include "foundation/log.h"
#include "render/resources.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InstallDrawingHooks();  // the texture and shader records a font asks for
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Scratch scratch;
  fuzz::WriteFile("Fonts/Fuzz.fnt", data, size);
  LogCapture quiet;
  Font* font = LoadFont(String("Fuzz"));
  CurrentFont = font;
  // The first symbol of a key is the one a lookup finds.
  for (uint32_t i = 0; i < font->symbols.count && i < 8; i++) {
    int32_t found = FindSymbol(font->symbols[i].key);
    FUZZ_CHECK(found >= 0 && uint32_t(found) <= i);
  }
  ReleaseAllFonts();
  ReleaseAllTextures();
  ReleaseAllPixelShaders();
  FUZZ_CHECK(CurrentFont == nullptr);
  return 0;
}
