// Test files written on the spot: DDS files in the layouts the loaders read.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

inline void WriteBytes(const std::string& path, const void* bytes, size_t n) {
  FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(bytes, 1, n, out);
  std::fclose(out);
}

// A DDS file: fourCC 0 means uncompressed 32-bit ARGB. levels[face][level].
inline void WriteDDS(const std::string& path, uint32_t w, uint32_t h, uint32_t fourCC,
                     const std::vector<std::vector<std::vector<uint8_t>>>& levels) {
  bool cube = levels.size() == 6, dxt = fourCC != 0;
  uint32_t mips = uint32_t(levels[0].size());
  std::vector<uint8_t> f = {'D', 'D', 'S', ' '};
  for (uint32_t v : {124u, 0x1u | 0x2 | 0x4 | 0x1000 | 0x20000 | (dxt ? 0x80000 : 0x8), h, w,
                     dxt ? uint32_t(levels[0][0].size()) : w * 4, 0u, mips})
    Put32(f, v);
  for (int i = 0; i < 11; ++i) Put32(f, 0);
  // Pixel format, then the caps.
  for (uint32_t v : {32u, dxt ? 0x4u : 0x41u, fourCC, dxt ? 0u : 32u, dxt ? 0u : 0xFF0000u,
                     dxt ? 0u : 0xFF00u, dxt ? 0u : 0xFFu, dxt ? 0u : 0xFF000000u,
                     0x1000u | (mips > 1 ? 0x400008u : 0u) | (cube ? 0x8u : 0u),
                     cube ? 0x200u | 0xFC00u : 0u, 0u, 0u, 0u})
    Put32(f, v);
  for (const auto& face : levels)
    for (const auto& level : face) f.insert(f.end(), level.begin(), level.end());
  WriteBytes(path, f.data(), f.size());
}
