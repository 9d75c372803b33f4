// The screen's messages and size in a real window; skipped without a display.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/flight_session.h"
#include "app/screen_messages.h"
#include "app/shell.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "platform/gpu/device.h"
#include "platform/window/events.h"
#include "platform/window/window.h"
#include "render/draw.h"
#include "render/view.h"

namespace fs = std::filesystem;

namespace {

TEST(ScreenWindow, F2NamesTheSavedPictureOnScreen) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) GTEST_SKIP() << "no X display";
  const fs::path pictures = fs::path(::testing::TempDir()) / "screen-window-pictures";
  fs::remove_all(pictures);
  setenv("XDG_PICTURES_DIR", pictures.c_str(), 1);
  ASSERT_TRUE(StartWindowSystem("Rariroz class")) << WindowSystemError();
  ASSERT_TRUE(OpenWindow("Tarn sim", 0, 0, 320, 240)) << WindowSystemError();
  ASSERT_TRUE(CreateDevice(320, 240));
  StartScreenMessages();
  {
    LogCapture quiet;
    StartFlightSession(FlightSessionOptions());
    Device->BeginScene();
    ClearTarget(0.2f, 0.4f, 0.8f);
    Device->EndScene();
    FlightSessionKey(0x71, true);  // F2
    FlightSessionKey(0x71, false);
    FlightSessionAfterDraw();
    EndFlightSession();
  }
  std::vector<ScreenMessage> shown = VisibleMessages(WallSeconds());
  ASSERT_EQ(shown.size(), 1u);
  const std::string prefix = "Screenshot saved to ";
  ASSERT_EQ(shown[0].text.rfind(prefix, 0), 0u) << shown[0].text;
  const fs::path saved = shown[0].text.substr(prefix.size());
  EXPECT_EQ(saved.parent_path(), pictures / "tarnsim");
  EXPECT_TRUE(fs::is_regular_file(saved)) << saved;
  StopScreenMessages();
  unsetenv("XDG_PICTURES_DIR");
  fs::remove_all(pictures);
  ReleaseDevice();
  StopWindowSystem();
}

// The window under Xvfb resized by hand and put in full screen: the device
// draws at the new size, the whole new picture is drawn, and the frame's
// screen rectangle follows. Nothing changes while the size stays.
TEST(ScreenWindow, ThePictureFollowsAResizeAndFullScreen) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) GTEST_SKIP() << "no X display";
  ASSERT_TRUE(StartWindowSystem("Rariroz class")) << WindowSystemError();
  ASSERT_TRUE(OpenWindow("Tarn sim", 0, 0, 320, 240)) << WindowSystemError();
  ASSERT_TRUE(CreateDevice(320, 240));
  // Draws a frame at the size the window has now; the drawn size and the
  // colour of the bottom-right pixel.
  auto frame = [](uint32_t& w, uint32_t& h) {
    FollowWindowSize();
    Device->BeginScene();
    SetupFrame(0.1, 100000);
    ClearTarget(0.2f, 0.4f, 0.8f);
    Device->EndScene();
    std::vector<uint32_t> pixels;
    EXPECT_TRUE(ReadWindowDevicePixels(Device, pixels, &w, &h));
    Device->Present();
    return pixels.empty() ? 0u : pixels.back() & 0xFFFFFFu;
  };
  // Waits (the X server answers in its own time) for the client size.
  auto waitClient = [](int32_t w, int32_t h, bool exact) {
    for (int i = 0; i < 200; i++) {
      MSG m;
      while (PeekWindowMessage(m)) {
      }
      int32_t cw = 0, ch = 0;
      GetClientSize(cw, ch);
      if (exact ? cw == w && ch == h : cw > w && ch > h) return true;
      SDL_Delay(10);
    }
    return false;
  };
  const uint32_t blue = 0x3366CC;
  uint32_t w = 0, h = 0;
  EXPECT_EQ(frame(w, h), blue);
  EXPECT_EQ(w, 320u);
  EXPECT_EQ(h, 240u);

  SDL_SetWindowSize(MainSdlWindow(), 480, 300);
  ASSERT_TRUE(waitClient(480, 300, true));
  EXPECT_EQ(frame(w, h), blue);
  EXPECT_EQ(w, 480u);
  EXPECT_EQ(h, 300u);
  EXPECT_EQ(ScreenRight, 479);
  EXPECT_EQ(ScreenBottom, 299);
  EXPECT_EQ(ScreenCentreX, 240);

  ASSERT_TRUE(SetFullScreen(true)) << WindowSystemError();
  EXPECT_TRUE(WindowIsFullScreen());
  ASSERT_TRUE(waitClient(480, 300, false));
  int32_t cw = 0, ch = 0;
  GetClientSize(cw, ch);
  EXPECT_EQ(frame(w, h), blue);
  EXPECT_EQ(int32_t(w), cw);
  EXPECT_EQ(int32_t(h), ch);
  ASSERT_TRUE(SetFullScreen(false));
  ASSERT_TRUE(waitClient(480, 300, true)) << (GetClientSize(cw, ch), cw) << "x" << ch;
  EXPECT_EQ(frame(w, h), blue);
  EXPECT_EQ(w, 480u);
  ReleaseDevice();
  StopWindowSystem();
}

}  // namespace
