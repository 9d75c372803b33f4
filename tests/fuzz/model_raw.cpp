// Raw models (".mdl") through the reader and the compiler, then the compiled
// file the load saved read back: it must give the very same model.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/model_support.h"

namespace {

std::string ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::StartModelTarget();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Scratch scratch;
  std::error_code ignored;
  std::filesystem::remove("Models/Fuzz.mdc", ignored);
  fuzz::WriteFile("Models/Fuzz.mdl", data, size);
  LogCapture quiet;
  MDL* m = LoadModel(String("Fuzz"), 0.1f);
  fuzz::CheckAndDraw(m);
  const std::vector<ModelVertex> vertices(m->vertices.begin(), m->vertices.end());
  const std::vector<Triangle> triangles(m->triangles.begin(), m->triangles.end());
  std::vector<Subset> subsets;
  for (const ModelNode& n : m->nodes) subsets.insert(subsets.end(), n.subsets.begin(), n.subsets.end());
  const uint32_t nodes = m->nodes.count;
  fuzz::ReleaseModels();

  std::filesystem::remove("Models/Fuzz.mdl", ignored);
  if (!std::filesystem::exists("Models/Fuzz.mdc")) return 0;
  if (std::getenv("TARN_FUZZ_SAVE")) {
    const std::string bytes = ReadAll("Models/Fuzz.mdc");
    fuzz::SaveDerived("compiled", bytes.data(), bytes.size());
  }
  m = LoadModel(String("Fuzz"), 0.1f);
  FUZZ_CHECK(m->vertices.count == vertices.size() && m->triangles.count == triangles.size());
  FUZZ_CHECK(vertices.empty() || std::memcmp(m->vertices.begin(), vertices.data(), vertices.size() * sizeof(ModelVertex)) == 0);
  FUZZ_CHECK(triangles.empty() || std::memcmp(m->triangles.begin(), triangles.data(), triangles.size() * sizeof(Triangle)) == 0);
  FUZZ_CHECK(m->nodes.count == nodes);
  size_t k = 0;
  for (const ModelNode& n : m->nodes)
    for (const Subset& s : n.subsets) {
      FUZZ_CHECK(k < subsets.size() && s.first == subsets[k].first && s.count == subsets[k].count);
      k++;
    }
  FUZZ_CHECK(k == subsets.size());
  fuzz::CheckAndDraw(m);
  fuzz::ReleaseModels();
  return 0;
}
