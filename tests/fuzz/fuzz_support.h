// Shared by the fuzz targets: a private scratch directory with the content
// folders (the readers open files by content-relative names), file writing,
// and a check that stops the run loudly so libFuzzer records the input.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#define FUZZ_CHECK(condition)                                                           \
  do {                                                                                  \
    if (!(condition)) {                                                                 \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                     \
    }                                                                                   \
  } while (0)

namespace fuzz {

// A fresh directory under $TMPDIR (or /tmp) holding empty Models, Fonts,
// Textures and Shaders folders, made once and removed at a normal exit. While
// a Scratch lives the process works in it; libFuzzer's own paths (corpora,
// forked jobs, merges) stay relative to where it was started.
class Scratch {
 public:
  Scratch() {
    static const std::string dir = Make();
    FUZZ_CHECK(getcwd(home_, sizeof home_) != nullptr && chdir(dir.c_str()) == 0);
  }
  ~Scratch() { FUZZ_CHECK(chdir(home_) == 0); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

 private:
  static std::string Make() {
    const char* base = std::getenv("TMPDIR");
    static std::string dir = std::string(base && *base ? base : "/tmp") + "/tarn-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(&dir[0]) != nullptr);
    for (const char* d : {"Models", "Fonts", "Textures", "Shaders"})
      std::filesystem::create_directory(std::filesystem::path(dir) / d);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(dir, ignored);
    });
    return dir;
  }
  char home_[4096];
};

inline void WriteFile(const char* path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path, "wb");
  FUZZ_CHECK(f != nullptr);
  FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
  std::fclose(f);
}

// With TARN_FUZZ_SAVE set to a folder, a target keeps what it derives from
// an input for the next reader down (a compiled model, a token stream):
// scripts/fuzz.sh seeds those readers' corpora this way.
inline void SaveDerived(const char* name, const void* data, size_t size) {
  const char* dir = std::getenv("TARN_FUZZ_SAVE");
  if (!dir || !*dir) return;
  uint64_t h = 1469598103934665603ull;  // FNV-1a names the file by its bytes
  for (size_t i = 0; i < size; i++) h = (h ^ static_cast<const uint8_t*>(data)[i]) * 1099511628211ull;
  char path[4096];
  std::snprintf(path, sizeof path, "%s/%s-%016llx", dir, name, static_cast<unsigned long long>(h));
  WriteFile(path, static_cast<const uint8_t*>(data), size);
}

}  // namespace fuzz
