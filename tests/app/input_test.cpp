// The window procedure and the input pass on synthetic messages: key bytes,
// wheel, pause, modifiers, reset, quitting, and the two diagnostics. No window
// and no device: the window layer's queue works without either.
#include <gtest/gtest.h>

#include <cmath>

#include "aircraft/aircraft.h"
#include "app/camera.h"
#include "app/frame_timer.h"
#include "app/keys.h"
#include "app/shell.h"
#include "assets/model.h"
#include "foundation/log.h"
#include "physics/entity.h"
#include "platform/gpu/device.h"
#include "platform/window/window.h"
#include "render/draw.h"
#include "render/resources.h"
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
    WheelMoved = false;
    WheelNotches = 0;
    FieldOfView = 60;
    Paused = true;
    FreeCamera = true;
    MouseLookLock = false;
    CameraPosition = Vec3{0, 0, 0};
    CameraOrientation = Quat{0, 0, 0, 1};
    LookOrientation = CameraOrientation;
    CurrentDt = 0.01;
    ScreenLeft = ScreenTop = 0;
    ScreenRight = 799;
    ScreenBottom = 599;
    ScreenCentreX = 400;
    ScreenCentreY = 300;
    MouseX = MouseY = 0;
  }
  void TearDown() override {
    if (CurrentAircraft) DestroyAircraft();
    DrainMessages();
    for (auto& b : KeyState) b = 0;
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
  for (int i = 0; i < 70; i++) Key(WM_KEYDOWN, 'Q');
  EXPECT_EQ(KeyState['Q'] & 63, 63);
  EXPECT_EQ(KeyState['Q'] & 0x40, 0);  // 70 flips
  Key(WM_KEYDOWN, 'Q');
  EXPECT_EQ(KeyState['Q'], 0x80 | 0x40 | 63);

  // Only the low byte of wParam names the key.
  Key(WM_KEYDOWN, 0x100 | 'E');
  EXPECT_EQ(KeyState['E'], 0xC1);
  Key(WM_SYSKEYDOWN, VK_MENU);  // Alt arrives as a system key and is held like any other
  EXPECT_TRUE(KeyHeld(VK_MENU));
  Key(WM_SYSKEYUP, VK_MENU);
  EXPECT_FALSE(KeyHeld(VK_MENU));

  // Mouse buttons are keys: the middle one is 4.
  EXPECT_EQ(WindowProc(WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(5, 6)), 0);
  EXPECT_EQ(KeyState[VK_MBUTTON], 0xC1);
  EXPECT_EQ(WindowProc(WM_MBUTTONUP, 0, MAKELPARAM(5, 6)), 0);
  EXPECT_EQ(KeyState[VK_MBUTTON], 0x41);
  // Nothing else touched the table.
  int touched = 0;
  for (int c = 0; c < 256; c++) touched += KeyState[c] != 0;
  EXPECT_EQ(touched, 4);  // Q, E, Alt and the button
}

TEST_F(InputTest, WheelNotchesAndFieldOfViewLimits) {
  WindowProc(WM_MOUSEWHEEL, WheelParam(-119), 0);
  EXPECT_EQ(WheelNotches, 0);  // truncated toward zero
  EXPECT_TRUE(WheelMoved);

  // A sub-notch message still counts as a wheel movement: no change at 0 notches.
  WindowProc(WM_MOUSEWHEEL, WheelParam(60) | MK_SHIFT, 0);
  InputPass();
  EXPECT_EQ(FieldOfView, 60);
  EXPECT_FALSE(WheelMoved);

  WindowProc(WM_MOUSEWHEEL, WheelParam(120), 0);  // one notch away: narrower
  InputPass();
  EXPECT_DOUBLE_EQ(FieldOfView, 60 - 75.0 / 100 * 10);

  FieldOfView = 120;
  WindowProc(WM_MOUSEWHEEL, WheelParam(-120), 0);
  InputPass();
  EXPECT_EQ(FieldOfView, 120);
  WindowProc(WM_MOUSEWHEEL, WheelParam(32760), 0);  // 273 notches forward
  InputPass();
  EXPECT_EQ(FieldOfView, 2);
  WindowProc(WM_MOUSEWHEEL, WheelParam(-240), 0);
  InputPass();
  EXPECT_DOUBLE_EQ(FieldOfView, 2 + 17.0 / 100 * 20);
}

TEST_F(InputTest, PausePressesActOncePerPass) {
  Paused = true;
  Key(WM_KEYDOWN, VK_PAUSE);
  Key(WM_KEYUP, VK_PAUSE);
  Key(WM_KEYDOWN, VK_PAUSE);
  Key(WM_KEYUP, VK_PAUSE);
  InputPass();
  EXPECT_FALSE(Paused);  // two presses, inverted once
  Key(WM_KEYDOWN, VK_PAUSE);
  InputPass();
  EXPECT_TRUE(Paused);
  InputPass();  // held, but no new press
  EXPECT_TRUE(Paused);
}

TEST_F(InputTest, FreeCameraFliesAlongItsOwnAxesWithModifierFactors) {
  struct Case {
    uint32_t keys[3];
    double factor;
  } cases[] = {{{VK_CONTROL, 0, 0}, 0.1},
               {{VK_SHIFT, VK_MENU, 0}, 50},
               {{VK_SHIFT, VK_MENU, VK_CONTROL}, 5}};
  for (const Case& c : cases) {
    for (auto& b : KeyState) b = 0;
    CameraPosition = Vec3{0, 0, 0};
    for (uint32_t k : c.keys)
      if (k) PressKey(k);
    PressKey('W');
    InputPass();
    EXPECT_NEAR(CameraPosition.y, 0.01 * 100 * c.factor, 1e-12) << c.factor;
    EXPECT_NEAR(CameraPosition.x, 0, 1e-12);
  }

  // Directions are the camera's: turned a quarter to the left, forward is -X,
  // right is +Y; R and F follow the camera's own up.
  for (auto& b : KeyState) b = 0;
  CameraOrientation = QuatFromAxisAngle(Vec3{0, 0, 1}, M_PI / 2);
  const struct {
    uint32_t key;
    Vec3 move;
  } moves[] = {{'W', {-1, 0, 0}}, {'D', {0, 1, 0}}, {'F', {0, 0, -1}}};
  for (const auto& m : moves) {
    CameraPosition = Vec3{10, 20, 30};
    PressKey(m.key);
    InputPass();
    ReleaseKey(m.key);
    EXPECT_NEAR(CameraPosition.x, 10 + m.move.x, 1e-12) << char(m.key);
    EXPECT_NEAR(CameraPosition.y, 20 + m.move.y, 1e-12) << char(m.key);
    EXPECT_NEAR(CameraPosition.z, 30 + m.move.z, 1e-12) << char(m.key);
  }
  CameraOrientation = QuatFromAxisAngle(Vec3{1, 0, 0}, M_PI / 2);  // looking straight up
  CameraPosition = Vec3{0, 0, 0};
  PressKey('R');
  InputPass();
  EXPECT_NEAR(CameraPosition.y, -1, 1e-12);  // the camera's up is now world -Y
  EXPECT_NEAR(CameraPosition.z, 0, 1e-12);

  // Outside free mode the keys do not move the camera.
  FreeCamera = false;
  CameraPosition = Vec3{0, 0, 0};
  InputPass();
  EXPECT_EQ(CameraPosition.y, 0);
}

TEST_F(InputTest, MiddleButtonLatchesMouseLookFromTheNextPass) {
  ScreenCentreX = 321;
  ScreenCentreY = 123;
  WindowProc(WM_MBUTTONDOWN, MK_MBUTTON, 0);
  WindowProc(WM_MBUTTONUP, 0, 0);
  EXPECT_FALSE(MouseLookActive());
  InputPass();
  EXPECT_TRUE(MouseLookLock);
  EXPECT_TRUE(MouseLookActive());
  EXPECT_EQ(MouseX, 0);  // the lock changed after this pass's look step
  InputPass();
  EXPECT_EQ(MouseX, 321);  // latched: the anchor is the screen centre
  EXPECT_EQ(MouseY, 123);
  // The right button now switches mouse look off.
  WindowProc(WM_RBUTTONDOWN, MK_RBUTTON, 0);
  EXPECT_FALSE(MouseLookActive());
  WindowProc(WM_RBUTTONUP, 0, 0);
  WindowProc(WM_MBUTTONDOWN, MK_MBUTTON, 0);
  InputPass();
  EXPECT_FALSE(MouseLookLock);
}

TEST_F(InputTest, DiagnosticKeysPrintHeldKeysAndTheViewDirection) {
  PressKey(VK_F12);
  PressKey('A');
  PressKey(VK_LBUTTON);
  PressKey('B');
  ReleaseKey('B');
  {
    LogCapture log;
    InputPass();
    EXPECT_EQ(log.text(), "\n\n\nKey 1 is down.\n\nKey 65 is down.\n\n");
  }
  for (auto& b : KeyState) b = 0;
  PressKey(VK_F11);
  CameraOrientation = QuatFromAxisAngle(Vec3{0, 0, 1}, -M_PI / 2);  // facing +X
  LogCapture log;
  InputPass();
  EXPECT_EQ(log.text(), "1.000000, 0.000000, 0.000000\n");
}

TEST_F(InputTest, RandomMessagesOnlyTouchTheKeyTableAndTheWheel) {
  uint32_t seed = 99;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed;
  };
  const uint32_t messages[] = {WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_MOUSEWHEEL,
                               WM_LBUTTONDOWN, WM_MBUTTONUP, WM_MOUSEMOVE, WM_XBUTTONDOWN, WM_NULL, 0x0400};
  LogCapture log;  // a random F1 builds an aircraft from no model: its lines go here
  for (int i = 0; i < 600; i++) {
    uint32_t message = messages[next() % (sizeof messages / sizeof messages[0])];
    uintptr_t wParam = uintptr_t(next()) << 32 | next();
    EXPECT_EQ(WindowProc(message, wParam, intptr_t(next())), 0);
    if (message == WM_MOUSEWHEEL) {
      EXPECT_GE(WheelNotches, -273);
      EXPECT_LE(WheelNotches, 273);
    }
    if (i % 23 == 0) {
      InputPass();
      EXPECT_GE(FieldOfView, 2);
      EXPECT_LE(FieldOfView, 120);
    }
  }
  for (int c = 0; c < 256; c++) EXPECT_LE(KeyState[c] & 63, 63);
  DrainMessages();
  if (CurrentAircraft) DestroyAircraft();
  ReleaseAllModels();
  ReleaseAllTextures();
  ReleaseAllVertexShaders();
  ReleaseAllPixelShaders();
}

TEST_F(InputTest, EscapeQuitsOnKeyDownAndAltF4ClosesThroughCloseDestroyAndQuit) {
  MSG m;
  Key(WM_KEYUP, VK_ESCAPE);
  Key(WM_SYSKEYDOWN, VK_ESCAPE);
  EXPECT_FALSE(PeekWindowMessage(m));
  Key(WM_KEYDOWN, VK_ESCAPE);
  ASSERT_TRUE(PeekWindowMessage(m));
  EXPECT_EQ(m.message, uint32_t(WM_QUIT));
  EXPECT_EQ(m.wParam, 0u);

  Key(WM_KEYDOWN, VK_F4);  // F4 alone does nothing
  EXPECT_FALSE(PeekWindowMessage(m));
  Key(WM_SYSKEYDOWN, VK_F4);
  EXPECT_TRUE(KeyHeld(VK_F4));
  ASSERT_TRUE(PeekWindowMessage(m));
  EXPECT_EQ(m.message, uint32_t(WM_CLOSE));
  EXPECT_FALSE(PeekWindowMessage(m)) << "no quit yet: the close goes through the default handling";
  WindowProc(m.message, m.wParam, m.lParam);
  ASSERT_TRUE(PeekWindowMessage(m));
  EXPECT_EQ(m.message, uint32_t(WM_DESTROY));
  WindowProc(m.message, m.wParam, m.lParam);
  ASSERT_TRUE(PeekWindowMessage(m));
  EXPECT_EQ(m.message, uint32_t(WM_QUIT));
}

TEST_F(InputTest, F1ResetsTheSceneAndTheAircraftKeysRunLast) {
  MDL* model = RegisterTestAircraftModel();
  ClearEntityList();
  ResetScene();
  ASSERT_NE(CurrentAircraft, nullptr);
  Tarnplane* first = CurrentAircraft;
  first->cameraMode = 2;
  FieldOfView = 30;
  WheelNotches = 4;
  MouseLookLock = true;
  FreeCamera = false;
  Paused = false;

  PressKey(VK_F1);
  PressKey('E');  // read by the aircraft after the reset, in the same pass
  InputPass();
  ASSERT_NE(CurrentAircraft, nullptr);
  EXPECT_EQ(CurrentAircraft->cameraMode, 1);
  EXPECT_TRUE(CurrentAircraft->flapArmed);
  EXPECT_EQ(FieldOfView, 60);
  EXPECT_EQ(WheelNotches, 0);
  EXPECT_FALSE(MouseLookLock);
  EXPECT_TRUE(FreeCamera);
  EXPECT_TRUE(Paused);
  EXPECT_EQ(RunTime, 0.0);
  EXPECT_EQ(EntityList.count, 32u);
  EXPECT_EQ(KeyState[VK_F1] & 63, 0);

  DestroyAircraft();
  ReleaseModel(model);
  ReleaseAllTextures();
  ReleaseAllVertexShaders();
  ReleaseAllPixelShaders();
}

}  // namespace
