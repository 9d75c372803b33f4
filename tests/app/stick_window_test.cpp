// The axis monitor drawn in a real window, a virtual gamepad connected;
// skipped without a display. The picture is left in the test's temporary
// folder (axis_monitor.ppm) for a person to look at.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/shell.h"
#include "app/stick.h"
#include "assets/font.h"
#include "platform/gl/gl_device.h"
#include "platform/gpu/device.h"
#include "platform/input/joystick.h"
#include "platform/window/window.h"
#include "render/draw.h"
#include "render/resources.h"

namespace {

TEST(AxisMonitor, ShowsAConnectedPadsAxesAndButtonsInTheWindow) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) GTEST_SKIP() << "no X display";
  const std::filesystem::path run = TARN_BINARY_DIR "/run", old = std::filesystem::current_path();
  ASSERT_TRUE(std::filesystem::exists(run / "Fonts/basic.fnt")) << "the build makes the content";
  ASSERT_TRUE(StartWindowSystem("Rariroz class")) << WindowSystemError();
  ASSERT_TRUE(OpenWindow("Tarn sim", 0, 0, 800, 600)) << WindowSystemError();
  ASSERT_TRUE(CreateDevice(800, 600));
  std::filesystem::current_path(run);
  InstallDrawingHooks();
  CurrentFont = LoadFont(String("basic"));
  std::filesystem::current_path(old);
  ASSERT_TRUE(StartJoysticks());

  SDL_VirtualJoystickDesc desc;
  SDL_zero(desc);
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = SDL_CONTROLLER_AXIS_MAX;
  desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
  desc.name = "Virtual Pad";
  int index = SDL_JoystickAttachVirtualEx(&desc);
  ASSERT_GE(index, 0) << SDL_GetError();
  SDL_Joystick* pad = SDL_JoystickOpen(index);
  SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTY, -16384);
  SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, 32767);
  SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_A, 1);
  ApplyStick(UpdateJoysticks(), DefaultSettings());

  // Yellow text pixels in the panel's place, on a plain blue.
  auto frame = [](bool monitor) {
    Device->BeginScene();
    ClearTarget(0.2f, 0.4f, 0.8f);
    SetupFrame(0.1, 1000);
    if (monitor) DrawAxisMonitor();
    Device->EndScene();
    std::vector<uint32_t> argb;
    uint32_t w = 0, h = 0;
    EXPECT_TRUE(ReadGLBackBuffer(Device, argb, &w, &h));
    Device->Present();
    int yellow = 0;
    for (uint32_t y = 90; y < 200 && y < h; y++)
      for (uint32_t x = 0; x < 700 && x < w; x++) {
        uint32_t p = argb[y * w + x];
        yellow += ((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) > 200 && (p & 0xFF) < 180;
      }
    if (monitor) {
      std::ofstream out(::testing::TempDir() + "axis_monitor.ppm", std::ios::binary);
      out << "P6\n" << w << " " << h << "\n255\n";
      for (uint32_t p : argb) out << char(p >> 16) << char(p >> 8) << char(p);
    }
    return yellow;
  };
  EXPECT_EQ(frame(false), 0);
  EXPECT_GT(frame(true), 500);

  SDL_JoystickClose(pad);
  SDL_JoystickDetachVirtual(index);
  StopJoysticks();
  ReleaseAllFonts();
  ReleaseDevice();
  StopWindowSystem();
}

}  // namespace
