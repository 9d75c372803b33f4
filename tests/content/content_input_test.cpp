// The content builder's bad inputs: a missing or damaged font file and an
// unwritable output are reported and never crash the builder. (The generator's
// repeatability shows in the byte-identical rebuild of the built content.)
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "content/builders.h"
#include "content/random.h"
#include "foundation/log.h"

namespace {

using namespace content;

std::vector<unsigned char> ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

TEST(ContentInput, MissingTruncatedAndCorruptFontsAreRefused) {
  Bitmap atlas;
  {
    LogCapture log;
    EXPECT_FALSE(PaintFontAtlas("/nonexistent/font.ttf", atlas));
    EXPECT_EQ(log.text(), "tarn-content: cannot read the font \"/nonexistent/font.ttf\"\n");
  }
  const std::vector<unsigned char> good = ReadFile(TARN_CONTENT_FONT);
  ASSERT_GT(good.size(), 1000u);
  char tmpl[] = "/tmp/tarn-font-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string path = std::string(tmpl) + "/font.ttf";
  auto attempt = [&](const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    LogCapture log;
    bool ok = PaintFontAtlas(path.c_str(), atlas);
    if (!ok) {
      EXPECT_EQ(log.text(), "tarn-content: cannot read the font \"" + path + "\"\n");
    }
    return ok;
  };
  EXPECT_TRUE(attempt(good));
  for (size_t n : {size_t(0), size_t(4), size_t(12), size_t(100), good.size() / 2, good.size() * 3 / 4})
    EXPECT_FALSE(attempt(std::vector<unsigned char>(good.begin(), good.begin() + n))) << n;
  Rng rng(7);
  int refused = 0;
  for (int i = 0; i < 60; ++i) {
    std::vector<unsigned char> bad = good;
    int changes = 1 + int(rng.Next() % 8);
    for (int k = 0; k < changes; ++k) bad[rng.Next() % bad.size()] ^= uint8_t(1 + rng.Next() % 255);
    if (!attempt(bad)) ++refused;
  }
  EXPECT_GT(refused, 50);  // only changes in padding between tables pass
  std::filesystem::remove_all(tmpl);
}

TEST(ContentInput, UnwritableOutputAndMissingSourcesFail) {
  LogCapture log;
  EXPECT_FALSE(BuildContent(TARN_SOURCE_DIR "/content", "/dev/null/run", TARN_CONTENT_FONT));
  EXPECT_NE(log.text().find("tarn-content: cannot create \"/dev/null/run\""), std::string::npos) << log.text();
  log.clear();
  char tmpl[] = "/tmp/tarn-content-nosrc-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string out = tmpl;
  EXPECT_FALSE(BuildContent("/nonexistent/content", out, TARN_CONTENT_FONT));
  EXPECT_NE(log.text().find("cannot read \"/nonexistent/content/shaders/Default.VSH\""), std::string::npos);
  EXPECT_NE(log.text().find("tarn-content: FAILED writing"), std::string::npos);
  std::filesystem::remove_all(out);
}

}  // namespace
