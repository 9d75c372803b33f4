// The cursor and mouse look with a real window on the X server: reading and
// clamping the cursor, warping it back to the anchor, and the directions the
// mouse turns the camera. Skipped when there is no display.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "app/camera.h"
#include "app/keys.h"
#include "app/shell.h"
#include "platform/gpu/device.h"
#include "platform/window/window.h"
#include "render/draw.h"

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
    ASSERT_GT(w, 100);
    ASSERT_GT(h, 100);
    ScreenLeft = ScreenTop = 0;
    ScreenRight = w - 1;
    ScreenBottom = h - 1;
    ScreenCentreX = w / 2;
    ScreenCentreY = h / 2;
    for (auto& b : KeyState) b = 0;
    Device = nullptr;
    FieldOfView = 60;
    FreeCamera = ScaleLookByFov = WasForeground = true;  // the program never clears the scaling
    LookSensitivityX = LookSensitivityY = 0.0023;
    MouseLookLock = false;
    CameraOrientation = LookOrientation = Quat{0, 0, 0, 1};
    Pump();
  }
  void TearDown() override {
    StopWindowSystem();
    for (auto& b : KeyState) b = 0;
  }
  // Lets the X server catch up with a warp.
  static void Pump() {
    MSG m;
    for (int i = 0; i < 20; i++)
      while (PeekWindowMessage(m)) {
      }
  }
  static void MoveCursor(int32_t x, int32_t y) {
    SetCursorClientPos(x, y);
    Pump();
  }
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
  MoveCursor(100, 50);
  EXPECT_EQ(Cursor(), std::make_pair(100.0, 50.0));
  EXPECT_TRUE(MouseInside);
  MoveCursor(ScreenRight, ScreenBottom);  // the last pixel is inside
  EXPECT_EQ(Cursor(), std::make_pair(double(ScreenRight), double(ScreenBottom)));
  EXPECT_TRUE(MouseInside);
  MoveCursor(ScreenRight + 40, 20);  // right of the window: clamped to the edge
  EXPECT_EQ(Cursor(), std::make_pair(double(ScreenRight), 20.0));
  EXPECT_FALSE(MouseInside);
  // Outside mouse look the pass just follows the cursor.
  MoveCursor(77, 66);
  InputPass();
  EXPECT_EQ(MouseX, 77);
  EXPECT_EQ(MouseY, 66);
}

TEST_F(WindowInputTest, MovingRightTurnsRightMovingUpLooksUpAndTheCursorGoesBack) {
  PressKey(VK_RBUTTON);
  MouseX = 200;
  MouseY = 150;
  MoveCursor(210, 150);  // ten pixels to the right of the anchor
  InputPass();
  Vec3 f = Forward();
  double turn = 10 * 0.0023 * 60 * M_PI / 180;
  EXPECT_NEAR(f.x, std::sin(turn), 1e-9);  // turned toward +X: to the right of +Y
  EXPECT_NEAR(f.y, std::cos(turn), 1e-9);
  EXPECT_NEAR(f.z, 0, 1e-9);
  // The cursor went back to the anchor, which stays where the look began.
  EXPECT_EQ(Cursor(), std::make_pair(200.0, 150.0));
  EXPECT_EQ(MouseX, 200);

  CameraOrientation = LookOrientation = Quat{0, 0, 0, 1};
  MoveCursor(200, 140);  // ten pixels up
  InputPass();
  EXPECT_NEAR(Forward().z, std::sin(turn), 1e-9);
  EXPECT_NEAR(Forward().x, 0, 1e-9);

  // Outside free mode the look orientation turns but the camera does not.
  FreeCamera = false;
  CameraOrientation = LookOrientation = Quat{0, 0, 0, 1};
  MoveCursor(220, 150);
  InputPass();
  EXPECT_EQ(CameraOrientation.w, 1);
  EXPECT_NEAR(Rotate(LookOrientation, Vec3{0, 1, 0}).x, std::sin(2 * turn), 1e-9);

  // The first frame back in front only warps: no jump.
  WasForeground = false;
  CameraOrientation = LookOrientation = Quat{0, 0, 0, 1};
  FreeCamera = true;
  MoveCursor(350, 260);
  InputPass();
  EXPECT_EQ(CameraOrientation.w, 1);
  EXPECT_EQ(Cursor(), std::make_pair(200.0, 150.0));
}

}  // namespace
