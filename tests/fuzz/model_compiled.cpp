// Compiled models (".mdc") as the loader finds them beside no raw file.
#include <filesystem>

#include "tests/fuzz/model_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::StartModelTarget();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Scratch scratch;
  fuzz::WriteFile("Models/Fuzz.mdc", data, size);
  LogCapture quiet;
  fuzz::CheckAndDraw(LoadModel(String("Fuzz"), 0.1f));
  fuzz::ReleaseModels();
  return 0;
}
