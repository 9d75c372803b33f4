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
#include "platform/window/window.h"
#include "render/draw.h"

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

}  // namespace
