// The built content loaded and drawn on the OpenGL device (llvmpipe in tests)
// in every pairing of vertex and pixel shader the scene and the aircraft
// drawing use: every texture decodes, every shader assembles, compiles and
// links, no GL error, and the pictures show things.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "content/builders.h"
#include "foundation/log.h"
#include "platform/gl/gl_device.h"
#include "platform/gpu/device.h"
#include "tests/gl/gl_context.h"
#include "tools/contactsheet/contactsheet.h"

namespace fs = std::filesystem;

namespace {

TEST(ContentGL, EveryTextureAndShaderLoadsAndEveryPairingLinksAndDraws) {
  std::string why;
  if (!GLTestContext::Get(&why)) GTEST_SKIP() << "no OpenGL 3.3 context: " << why;
  char tmpl[] = "/tmp/tarn-content-gl-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const fs::path old = fs::current_path();
  LogCapture log;
  ASSERT_TRUE(content::BuildContent(TARN_SOURCE_DIR "/content", tmpl, TARN_CONTENT_FONT));
  fs::current_path(tmpl);
  ASSERT_EQ(CreateGLDevice(320, 240, &Device), D3D_OK);
  const uint32_t errors = GLErrorCount();
  log.clear();  // from here on only the loading and drawing speak
  using namespace contactsheet;
  Content* c = LoadContent();
  ResetView();
  auto pixels = [] {
    std::vector<uint32_t> argb;
    uint32_t w, h;
    EXPECT_TRUE(ReadGLBackBuffer(Device, argb, &w, &h));
    return argb;
  };

  Frame plane;  // the aircraft from its front quarter, over the island
  plane.eye = {58, 64, 6};
  plane.look = LookAt(plane.eye, {70, 70, 4});
  DrawFrame(c, plane);
  std::vector<uint32_t> withPlane = pixels();
  Frame cut = plane;  // the balloon alone: default vertex shader, balloon pixel shader
  cut.strapsCut = true;
  DrawFrame(c, cut);
  Frame empty = plane;
  empty.aircraft = false;
  DrawFrame(c, empty);
  std::vector<uint32_t> without = pixels();
  size_t differ = 0;
  for (size_t i = 0; i < withPlane.size(); ++i) differ += withPlane[i] != without[i];
  EXPECT_GT(differ, withPlane.size() / 20);  // the aircraft covers part of the view

  Frame sky;  // looking up: blue sky from the inside of the sky box
  sky.look = LookAt({0, 0, 0}, {0.2, 0.1, 1});
  sky.island = sky.aircraft = false;
  sky.text = true;  // fixed-function vertices with the font pixel shader
  DrawFrame(c, sky);
  std::vector<uint32_t> up = pixels();
  uint32_t p = up[200 * 320 + 300];
  EXPECT_GT(p & 0xFF, (p >> 16) & 0xFF) << std::hex << p;  // more blue than red
  uint32_t dark = 0;  // black text in the top-left corner
  for (int y = 8; y < 28; ++y)
    for (int x = 8; x < 200; ++x) dark += (up[y * 320 + x] & 0xFF) < 60;
  EXPECT_GT(dark, 100u);

  EXPECT_EQ(GLErrorCount(), errors);
  // Loading speaks only when a texture or shader fails.
  for (const std::string& line : log.lines())
    for (const char* bad : {"GLSL", "failed", "Uninitialized", "Loading texture", "Assembling", "Creating"})
      EXPECT_EQ(line.find(bad), std::string::npos) << line;
  // Sky, island, textured airframe, flat colours, balloon, straps (both
  // shaders), balloon alone, font: all linked.
  EXPECT_GE(GLProgramsLinked(Device), 8u);
  ReleaseContent(c);
  Device->Release();
  Device = nullptr;
  fs::current_path(old);
  fs::remove_all(tmpl);
}

}  // namespace
