// A whole frame of the program, drawn by the OpenGL device (llvmpipe in tests) with the content the build makes,
// compared with the picture committed beside this file: a change that shows (a piece missing, a wrong texture, the
// lighting, the shadows, the depth test) fails; a reordering that shows nothing passes. A few pixels may differ by
// more than the tolerance, where another Mesa rounds an edge the other way.
//   TARN_WRITE_PICTURE=1 rewrites the reference (look at it before committing it).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "aircraft/aircraft.h"
#include "app/camera.h"
#include "app/shell.h"
#include "assets/font.h"
#include "foundation/log.h"
#include "platform/gl/gl_device.h"
#include "platform/gpu/device.h"
#include "platform/image/image.h"
#include "render/view.h"
#include "sim/keys.h"
#include "tests/aircraft/test_model.h"
#include "tests/gl/gl_context.h"
#include "tools/contactsheet/contactsheet.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kWidth = 480, kHeight = 360;
constexpr int kTolerance = 10;        // per channel, of 255
constexpr size_t kDifferingAllowed = 40;
const char* const kReference = TARN_SOURCE_DIR "/tests/app/frame_picture.png";

// Pixels differing by more than the tolerance in any colour channel.
size_t Differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  size_t n = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); i++)
    for (int shift : {0, 8, 16})
      if (std::abs(int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF)) > kTolerance) {
        n++;
        break;
      }
  return n;
}

TEST(FramePicture, TheStartFrameLooksAsTheReference) {
  std::string why;
  if (!GLTestContext::Get(&why)) GTEST_SKIP() << "no OpenGL 3.3 context: " << why;
  const fs::path run = TARN_BINARY_DIR "/run";
  ASSERT_TRUE(fs::exists(run / "Models/PlaneTarn.mdl")) << "the build makes the content";
  char tmpl[] = "/tmp/tarn-picture-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const fs::path dir = tmpl, old = fs::current_path();
  for (const char* sub : {"Textures", "Shaders", "Fonts"}) fs::create_directory_symlink(run / sub, dir / sub);
  fs::create_directory(dir / "Models");
  for (const char* m : {"Models/PlaneTarn.mdl", "Models/InvBox.mdl", "Models/Windsock.mdl", "Models/OpenSea.mdl"})
    fs::create_symlink(run / m, dir / m);
  fs::current_path(dir);

  // The flat island (its compilation would dominate the test) shows every body's shadow on the ground.
  RegisterFlatIsland(0);
  ASSERT_EQ(CreateGLDevice(kWidth, kHeight, &Device), D3D_OK);
  const uint32_t errors = GLErrorCount();
  for (auto& k : KeyState) k = 0;
  ShowHelp = true;
  {
    LogCapture quiet;
    InitApplication();
  }
  ASSERT_NE(CurrentAircraft, nullptr);
  // From the front quarter, a little above, so that the wings, the cockpit, the balloon with its straps and the
  // shadows are all in the view; the sky above the horizon. The cursor sits clear of the aircraft.
  CameraPosition = {61, 64, 5};
  CameraOrientation = contactsheet::LookAt(CameraPosition, {70, 70, 3.2});
  MouseX = 420, MouseY = 300;
  Device->BeginScene();
  DrawFrame();
  Device->EndScene();
  std::vector<uint32_t> frame;
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(ReadGLBackBuffer(Device, frame, &w, &h));
  ASSERT_TRUE(w == kWidth && h == kHeight);
  EXPECT_EQ(GLErrorCount(), errors);

  std::string reason;
  if (getenv("TARN_WRITE_PICTURE")) {
    EXPECT_TRUE(WritePngFile(kReference, w, h, frame, reason)) << kReference << ": " << reason;
  } else {
    Image want;
    ASSERT_EQ(LoadImageFile(kReference, want), D3D_OK) << kReference;
    ASSERT_TRUE(want.width() == w && want.height() == h);
    const std::vector<uint8_t>& bytes = want.faces[0][0].bytes;
    std::vector<uint32_t> reference(bytes.size() / 4);
    for (size_t i = 0; i < reference.size(); i++)
      reference[i] = bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 | uint32_t(bytes[4 * i + 3]) << 24;
    const size_t differing = Differing(frame, reference);
    if (differing > kDifferingAllowed) {
      const std::string seen = (old / "frame_picture_seen.png").string();
      WritePngFile(seen.c_str(), w, h, frame, reason);
      ADD_FAILURE() << differing << " pixels differ by more than " << kTolerance << " from " << kReference
                    << "; the frame drawn is " << seen;
    }
  }
  {
    LogCapture quiet;
    ShutdownApplication();
  }
  EXPECT_EQ(Device->Release(), 0u);
  Device = nullptr;
  fs::current_path(old);
  fs::remove_all(dir);
}

}  // namespace
