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

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, size_t n) {
  FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(bytes.data(), 1, n, out);
  std::fclose(out);
}

// A DDS file: fourCC 0 means uncompressed 32-bit ARGB. levels[face][level].
inline void WriteDDS(const std::string& path, uint32_t w, uint32_t h, uint32_t fourCC,
                     const std::vector<std::vector<std::vector<uint8_t>>>& levels) {
  bool cube = levels.size() == 6;
  uint32_t mips = uint32_t(levels[0].size());
  std::vector<uint8_t> f = {'D', 'D', 'S', ' '};
  Put32(f, 124);
  Put32(f, 0x1 | 0x2 | 0x4 | 0x1000 | 0x20000 | (fourCC ? 0x80000 : 0x8));
  Put32(f, h);
  Put32(f, w);
  Put32(f, fourCC ? uint32_t(levels[0][0].size()) : w * 4);
  Put32(f, 0);
  Put32(f, mips);
  for (int i = 0; i < 11; ++i) Put32(f, 0);
  Put32(f, 32);  // pixel format
  Put32(f, fourCC ? 0x4 : 0x41);
  Put32(f, fourCC);
  Put32(f, fourCC ? 0 : 32);
  Put32(f, fourCC ? 0 : 0xFF0000);
  Put32(f, fourCC ? 0 : 0xFF00);
  Put32(f, fourCC ? 0 : 0xFF);
  Put32(f, fourCC ? 0 : 0xFF000000);
  Put32(f, 0x1000 | (mips > 1 ? 0x400008 : 0) | (cube ? 0x8 : 0));
  Put32(f, cube ? 0x200 | 0xFC00 : 0);
  Put32(f, 0);
  Put32(f, 0);
  Put32(f, 0);
  for (const auto& face : levels)
    for (const auto& level : face) f.insert(f.end(), level.begin(), level.end());
  WriteBytes(path, f, f.size());
}
