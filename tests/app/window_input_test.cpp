// The cursor and mouse look with a real window on the X server; skipped without a display.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "app/camera.h"
#include "app/shell.h"
#include "platform/gpu/device.h"
#include "platform/window/window.h"
#include "render/draw.h"
#include "sim/keys.h"

namespace {

class WindowInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no X display";
    ASSERT_TRUE(StartWindowSystem("Rariroz class")) << WindowSystemError();
    ASSERT_TRUE(OpenWindow("Tarn sim", 0, 0, 640, 480)) << WindowSystemError();
    int32_t w = 0, h = 0;
    GetClientSize(w, h);
    ASSERT_TRUE(w > 100 && h > 100) << w << "x" << h;
    ScreenLeft = ScreenTop = 0;
    ScreenRight = w - 1, ScreenBottom = h - 1, ScreenCentreX = w / 2, ScreenCentreY = h / 2;
    for (auto& b : KeyState) b = 0;
    Device = nullptr;
    FieldOfView = 60;
    FreeCamera = ScaleLookByFov = WasForeground = true;  // the program never clears the scaling
    LookSensitivityX = LookSensitivityY = 0.0023;
    MouseLookLock = false;
    CameraOrientation = LookOrientation = Quat{0, 0, 0, 1};
    Pump();
  }
  void TearDown() override { StopWindowSystem(); }
  // Lets the X server catch up with a warp.
  static void Pump() {
    MSG m;
    for (int i = 0; i < 20; i++)
      while (PeekWindowMessage(m)) {
      }
  }
  static void MoveCursor(int32_t x, int32_t y) { SetCursorClientPos(x, y), Pump(); }
  // Where the cursor is once the X server has caught up.
  static std::pair<double, double> Cursor() {
    Pump();
    double x = -1, y = -1;
    ReadCursor(x, y);
    return {x, y};
  }
  static Vec3 Forward() { return Rotate(CameraOrientation, Vec3{0, 1, 0}); }
};

TEST_F(WindowInputTest, ReadCursorClampsToTheClientArea) {
  // The last pixel is inside; right of the window the cursor is clamped to the edge.
  const int32_t r = ScreenRight, b = ScreenBottom;
  const struct {
    int32_t x, y, readX;
    bool inside;
  } cases[] = {{100, 50, 100, true}, {r, b, r, true}, {r + 40, 20, r, false}};
  for (const auto& c : cases) {
    MoveCursor(c.x, c.y);
    EXPECT_EQ(Cursor(), std::make_pair(double(c.readX), double(c.y)));
    EXPECT_EQ(MouseInside, c.inside) << c.x;
  }
  MoveCursor(77, 66);  // outside mouse look the pass just follows the cursor
  InputPass();
  EXPECT_EQ(std::make_pair(MouseX, MouseY), std::make_pair(77.0, 66.0));
}

TEST_F(WindowInputTest, MovingRightTurnsRightMovingUpLooksUpAndTheCursorGoesBack) {
  PressKey(VK_RBUTTON);
  MouseX = 200, MouseY = 150;
  // One pass of mouse look from straight ahead with the cursor moved to (x, y).
  auto lookFrom = [](int32_t x, int32_t y) {
    CameraOrientation = LookOrientation = Quat{0, 0, 0, 1};
    MoveCursor(x, y);
    InputPass();
  };
  lookFrom(210, 150);  // ten pixels to the right of the anchor
  double turn = 10 * 0.0023 * 60 * M_PI / 180;  // toward +X: to the right of +Y
  EXPECT_NEAR(Length(Forward() - Vec3{std::sin(turn), std::cos(turn), 0}), 0, 1e-9);
  // The cursor went back to the anchor, which stays where the look began.
  EXPECT_EQ(Cursor(), std::make_pair(200.0, 150.0));
  EXPECT_EQ(MouseX, 200);
  lookFrom(200, 140);  // ten pixels up
  EXPECT_NEAR(Length(Forward() - Vec3{0, std::cos(turn), std::sin(turn)}), 0, 1e-9);

  // Outside free mode the look orientation turns but the camera does not.
  FreeCamera = false;
  lookFrom(220, 150);
  EXPECT_EQ(CameraOrientation.w, 1);
  EXPECT_NEAR(Rotate(LookOrientation, Vec3{0, 1, 0}).x, std::sin(2 * turn), 1e-9);

  // The first frame back in front only warps: no jump.
  WasForeground = false, FreeCamera = true;
  lookFrom(350, 260);
  EXPECT_EQ(CameraOrientation.w, 1);
  EXPECT_EQ(Cursor(), std::make_pair(200.0, 150.0));
}

}  // namespace
