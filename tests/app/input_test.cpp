// The window procedure and the input pass on synthetic messages (the queue needs no window or device).
#include <gtest/gtest.h>

#include <cmath>

#include "aircraft/aircraft.h"
#include "app/camera.h"
#include "app/shell.h"
#include "app/update.h"
#include "assets/model.h"
#include "foundation/log.h"
#include "physics/entity.h"
#include "platform/gpu/device.h"
#include "platform/window/window.h"
#include "render/draw.h"
#include "render/resources.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"
#include "tests/aircraft/test_model.h"

namespace {

uintptr_t WheelParam(int delta) { return uintptr_t(uint16_t(int16_t(delta))) << 16; }

// Drains the window layer's queue (WM_QUIT included).
void DrainMessages() {
  MSG m;
  while (PeekWindowMessage(m)) {
  }
}

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto& b : KeyState) b = 0;
    Device = nullptr;
    CurrentAircraft = nullptr;
    DrainMessages();
    WheelMoved = MouseLookLock = false;
    WheelNotches = ScreenLeft = ScreenTop = 0;
    MouseX = MouseY = 0;
    FieldOfView = 60;
    Paused = FreeCamera = true;
    CameraPosition = Vec3{0, 0, 0};
    CameraOrientation = LookOrientation = Quat{0, 0, 0, 1};
    CurrentDt = 0.01;
    ScreenRight = 799, ScreenBottom = 599, ScreenCentreX = 400, ScreenCentreY = 300;
  }
  void TearDown() override {
    if (CurrentAircraft) DestroyAircraft();
    ReleaseAllModels();
    ReleaseAllTextures();
    ReleaseAllVertexShaders();
    ReleaseAllPixelShaders();
    DrainMessages();
  }
  void Key(uint32_t message, uintptr_t vk) { EXPECT_EQ(WindowProc(message, vk, 0), 0); }
};

TEST_F(InputTest, KeyBytesCountToggleAndHold) {
  Key(WM_KEYDOWN, 'Z');
  EXPECT_EQ(KeyState['Z'], 0xC1);  // held, toggled, one press
  Key(WM_KEYDOWN, 'Z');           // auto-repeat: another press, toggle back
  EXPECT_EQ(KeyState['Z'], 0x82);
  Key(WM_KEYUP, 'Z');
  EXPECT_EQ(KeyState['Z'], 0x02);  // only the held bit goes
  EXPECT_TRUE(ConsumePresses('Z'));
  EXPECT_EQ(KeyState['Z'], 0x00);
  EXPECT_FALSE(ConsumePresses('Z'));
  // The count saturates at 63 while the toggle keeps flipping.
  for (int i = 0; i < 71; i++) Key(WM_KEYDOWN, 'Q');
  EXPECT_EQ(KeyState['Q'], 0x80 | 0x40 | 63);
  // Only the low byte of wParam names the key; Alt arrives as a system key and is held like any other.
  Key(WM_KEYDOWN, 0x100 | 'E');
  EXPECT_EQ(KeyState['E'], 0xC1);
  Key(WM_SYSKEYDOWN, VK_MENU);
  EXPECT_TRUE(KeyHeld(VK_MENU));
  Key(WM_SYSKEYUP, VK_MENU);
  EXPECT_EQ(KeyState[VK_MENU], 0x41);
  int touched = 0;  // nothing else touched the table
  for (int c = 0; c < 256; c++) touched += KeyState[c] != 0;
  EXPECT_EQ(touched, 3);  // Q, E and Alt
}

TEST_F(InputTest, WheelNotchesAndFieldOfViewLimits) {
  WindowProc(WM_MOUSEWHEEL, WheelParam(-119) | MK_SHIFT, 0);
  EXPECT_EQ(WheelNotches, 0);  // truncated toward zero
  EXPECT_TRUE(WheelMoved);
  InputPass();
  EXPECT_EQ(FieldOfView, 60);
  EXPECT_FALSE(WheelMoved);
  // Before, wheel delta, after: one notch away narrows by a tenth of (fov + 15); limits 2 and 120.
  const double steps[][3] = {{60, 120, 60 - 7.5}, {120, -120, 120}, {60, 32760, 2}, {2, -240, 2 + 17.0 / 100 * 20}};
  for (const auto& s : steps) {
    FieldOfView = s[0];
    WindowProc(WM_MOUSEWHEEL, WheelParam(int(s[1])), 0);
    InputPass();
    EXPECT_DOUBLE_EQ(FieldOfView, s[2]) << s[1];
  }
}

TEST_F(InputTest, PausePressesToggleOncePerPass) {
  // Two presses before a pass invert once; a key held on presses nothing more.
  for (uint32_t message : {WM_KEYDOWN, WM_KEYUP, WM_KEYDOWN, WM_KEYUP}) Key(message, VK_PAUSE);
  InputPass();
  EXPECT_FALSE(Paused);
  InputPass();
  EXPECT_FALSE(Paused);
  Key(WM_KEYDOWN, VK_PAUSE);
  InputPass();
  EXPECT_TRUE(Paused);
  InputPass();
  EXPECT_TRUE(Paused);
}

TEST_F(InputTest, FreeCameraFliesAlongItsOwnAxesWithModifierFactors) {
  // 100 m/s at 10 ms a frame; Shift x5, Alt x10, Ctrl x0.1, and they multiply. The axes are the camera's own:
  // turned a quarter left, W flies -X, D +Y, F -Z; looking straight up, R flies -Y.
  const Quat ahead{0, 0, 0, 1}, left = QuatFromAxisAngle(Vec3{0, 0, 1}, M_PI / 2),
             up = QuatFromAxisAngle(Vec3{1, 0, 0}, M_PI / 2);
  const struct {
    Quat orientation;
    uint32_t keys[4];
    Vec3 move;
  } cases[] = {{ahead, {'W'}, {0, 1, 0}},          {ahead, {'W', VK_SHIFT}, {0, 5, 0}},
               {ahead, {'W', VK_MENU}, {0, 10, 0}}, {ahead, {'W', VK_CONTROL}, {0, 0.1, 0}},
               {ahead, {'W', VK_SHIFT, VK_MENU}, {0, 50, 0}}, {ahead, {'W', VK_SHIFT, VK_MENU, VK_CONTROL}, {0, 5, 0}},
               {left, {'W'}, {-1, 0, 0}}, {left, {'D'}, {0, 1, 0}}, {left, {'F'}, {0, 0, -1}}, {up, {'R'}, {0, -1, 0}}};
  for (const auto& c : cases) {
    for (auto& b : KeyState) b = 0;
    for (uint32_t k : c.keys)
      if (k) PressKey(k);
    CameraOrientation = c.orientation;
    CameraPosition = Vec3{10, 20, 30};
    InputPass();
    EXPECT_NEAR(Length(CameraPosition - Vec3{10, 20, 30} - c.move), 0, 1e-12) << c.keys[0] << " " << c.keys[1];
  }
  CameraPosition = Vec3{0, 0, 0};
  FreeCamera = false;  // outside free mode the keys do not move the camera
  PressKey('W');
  InputPass();
  EXPECT_EQ(Length(CameraPosition), 0);
}

TEST_F(InputTest, MiddleButtonLatchesMouseLookFromTheNextPassRightButtonUnlatches) {
  ScreenCentreX = 321, ScreenCentreY = 123;
  WindowProc(WM_MBUTTONDOWN, MK_MBUTTON, 0);
  WindowProc(WM_MBUTTONUP, 0, 0);
  EXPECT_EQ(KeyState[VK_MBUTTON], 0x41);  // mouse buttons are keys
  EXPECT_FALSE(MouseLookActive());
  InputPass();
  EXPECT_TRUE(MouseLookLock);
  EXPECT_TRUE(MouseLookActive());
  EXPECT_EQ(MouseX, 0);  // the lock changed after this pass's look step
  InputPass();
  EXPECT_EQ(std::make_pair(MouseX, MouseY), std::make_pair(321.0, 123.0));  // latched: anchored at the centre
  WindowProc(WM_RBUTTONDOWN, MK_RBUTTON, 0);
  EXPECT_FALSE(MouseLookActive());
  WindowProc(WM_RBUTTONUP, 0, 0);
  WindowProc(WM_MBUTTONDOWN, MK_MBUTTON, 0);
  InputPass();
  EXPECT_FALSE(MouseLookLock);
}

TEST_F(InputTest, RandomMessagesOnlyTouchTheKeyTableAndTheWheel) {
  uint32_t seed = 99;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  const uint32_t messages[] = {WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_MOUSEWHEEL, WM_LBUTTONDOWN,
                               WM_MBUTTONUP, WM_MOUSEMOVE, WM_XBUTTONDOWN, WM_NULL, 0x0400};
  LogCapture log;  // a random F1 builds an aircraft from no model: its lines go here
  for (int i = 0; i < 600; i++) {
    uint32_t message = messages[next() % (sizeof messages / sizeof messages[0])];
    uintptr_t wParam = uintptr_t(next()) << 32 | next();
    EXPECT_EQ(WindowProc(message, wParam, intptr_t(next())), 0);
    EXPECT_LE(std::abs(WheelNotches), 273);
    if (i % 23 == 0) InputPass();
    EXPECT_TRUE(FieldOfView >= 2 && FieldOfView <= 120) << FieldOfView;
  }
}

TEST_F(InputTest, AltF4ClosesThroughCloseDestroyAndQuit) {
  MSG m;
  Key(WM_KEYUP, VK_ESCAPE);  // Escape released or with Alt held, and F4 alone, post nothing
  Key(WM_SYSKEYDOWN, VK_ESCAPE);
  Key(WM_KEYDOWN, VK_F4);
  EXPECT_FALSE(PeekWindowMessage(m));
  Key(WM_SYSKEYDOWN, VK_F4);
  ASSERT_TRUE(PeekWindowMessage(m));
  EXPECT_EQ(m.message, uint32_t(WM_CLOSE));
  EXPECT_FALSE(PeekWindowMessage(m)) << "no quit yet: the close goes through the default handling";
  for (uint32_t next : {uint32_t(WM_DESTROY), uint32_t(WM_QUIT)}) {
    WindowProc(m.message, m.wParam, m.lParam);
    ASSERT_TRUE(PeekWindowMessage(m));
    EXPECT_EQ(m.message, next);
  }
  EXPECT_EQ(m.wParam, 0u);
}

TEST_F(InputTest, F1ResetsTheSceneAndTheAircraftKeysRunLast) {
  RegisterTestAircraftModel();
  ClearEntityList();
  ResetScene();
  ASSERT_NE(CurrentAircraft, nullptr);
  CurrentAircraft->cameraMode = 2, FieldOfView = 30, WheelNotches = 4;
  MouseLookLock = true;
  FreeCamera = Paused = false;
  PressKey(VK_F1);
  PressKey('E');  // read by the aircraft after the reset, in the same pass
  InputPass();
  ASSERT_NE(CurrentAircraft, nullptr);
  EXPECT_EQ(CurrentAircraft->cameraMode, 1);
  EXPECT_TRUE(CurrentAircraft->flapArmed);
  EXPECT_EQ(FieldOfView, 60);
  EXPECT_EQ(WheelNotches, 0);
  EXPECT_TRUE(FreeCamera && Paused && !MouseLookLock);
  EXPECT_EQ(RunTime, 0.0);
  EXPECT_EQ(EntityList.count, 32u);
  EXPECT_EQ(KeyState[VK_F1] & 63, 0);
}

}  // namespace
