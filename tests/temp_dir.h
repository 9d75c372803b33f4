// A new, empty directory under the system's temporary folder for one test
// (what mkdtemp does, on every system the suites run on), with forward
// slashes so paths built on it read the same in expected console lines.
#pragma once
#include <filesystem>
#include <random>
#include <string>

inline std::string MakeTempDir(const char* prefix) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path p =
        std::filesystem::temp_directory_path() / (std::string(prefix) + std::to_string(random()));
    std::error_code ec;
    if (std::filesystem::create_directory(p, ec)) return p.generic_string();
  }
  return std::string();
}
