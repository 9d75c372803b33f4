#include <cmath>

#include "aircraft/aircraft.h"
#include "app/camera.h"
#include "app/field_view.h"
#include "app/flight_panel.h"
#include "app/key_help.h"
#include "app/screen_messages.h"
#include "app/settings.h"
#include "foundation/clock.h"
#include "app/shell.h"
#include "app/update.h"
#include "assets/font.h"
#include "foundation/log.h"
#include "foundation/math.h"
#include "platform/window/window.h"
#include "render/draw.h"
#include "render/text.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"

namespace {

const char* const CursorNames[8] = {"Cursor Default", "Cursor Cross",  "Cursor Move",   "Cursor Rotate",
                                    "Cursor MoveV",   "Cursor MoveH",  "Cursor Move45", "Cursor Move135"};

}  // namespace

bool MouseLookActive() { return MouseLookLock != KeyHeld(VK_RBUTTON); }

void ReadCursor(double& x, double& y) {
  int32_t cx = 0, cy = 0;
  GetCursorClientPos(cx, cy);
  MouseInside = ScreenLeft <= cx && cx <= ScreenRight && ScreenTop <= cy && cy <= ScreenBottom;
  if (cx < ScreenLeft) cx = ScreenLeft;
  if (cx > ScreenRight) cx = ScreenRight;
  if (cy < ScreenTop) cy = ScreenTop;
  if (cy > ScreenBottom) cy = ScreenBottom;
  x = cx;
  y = cy;
}

namespace {

// The window program's share of the input pass, between the scene reset and
// the pause key of the shared pass.
void ViewInputPass() {
  if (WheelMoved) {
    // A notch away from the user narrows the view by a tenth of (fov + 15).
    FieldOfView = FieldOfView - (15 + FieldOfView) / 100 * (WheelNotches * 10);
    FieldOfView = Clamp(FieldOfView, 2, 120);
  }

  {
    // These dumps repeat every frame a key is held: console only.
    LogConsoleOnly dumps;
    if (KeyHeld(VK_F12)) {
      Log("\n\n\n");
      for (uint32_t code = 0; code < 256; code++)
        if (code != VK_F12 && KeyHeld(code)) Log("Key %u is down.\n\n", code);
    }
    if (KeyHeld(VK_F11)) {
      Vec3 forward = Rotate(CameraOrientation, Vec3{0, 1, 0});
      Log("%f, %f, %f\n", forward.x, forward.y, forward.z);
    }
  }

  if (MouseLookActive()) {
    // The first frame back in front only re-anchors: no jump.
    if (WasForeground) {
      double x, y;
      ReadCursor(x, y);
      double dx = MouseX - x, dy = MouseY - y;
      double s = ScaleLookByFov ? FieldOfView : 90;
      Quat yaw = QuatFromAxisAngle(Vec3{0, 0, 1}, dx * LookSensitivityX * s * M_PI / 180);
      LookOrientation = QuatMul(yaw, LookOrientation);  // about the world's up axis
      Quat pitch = QuatFromAxisAngle(Vec3{1, 0, 0}, dy * LookSensitivityY * s * M_PI / 180);
      LookOrientation = QuatMul(LookOrientation, pitch);  // about the camera's own right axis
      if (FreeCamera) CameraOrientation = LookOrientation;
    }
    if (MouseLookLock) {
      MouseX = ScreenCentreX;
      MouseY = ScreenCentreY;
    }
    SetCursorClientPos(int32_t(MouseX), int32_t(MouseY));
  } else {
    ReadCursor(MouseX, MouseY);
  }

  if (ConsumePresses(VK_MBUTTON)) MouseLookLock = !MouseLookLock;

  if (FreeCamera) {
    double speed = CurrentDt * 100;
    if (KeyHeld(VK_SHIFT)) speed *= 5;
    if (KeyHeld(VK_MENU)) speed *= 10;
    if (KeyHeld(VK_CONTROL)) speed *= 0.1;
    // Camera-local directions of FreeCameraKeys: forward, back, right, left, up, down.
    static const Vec3 moves[6] = {{0, 1, 0}, {0, -1, 0}, {1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1}};
    for (int i = 0; i < 6; i++)
      if (KeyHeld(FreeCameraKeys[i])) CameraPosition += Rotate(CameraOrientation, moves[i]) * speed;
  }

  // Not part of the design's keys: H hides and shows the help line, F8 the
  // axis monitor, and the screen's own keys (app/settings.h) the rest.
  if (ConsumePresses(ActionKey(kActHelp))) ShowHelp = !ShowHelp;
  if (ConsumePresses(ActionKey(kActMonitor))) ShowMonitor = !ShowMonitor;
  if (ConsumePresses(ActionKey(kActPanel))) {
    // Panel, panel with the frame rate, nothing.
    if (ShowFlightPanel && !ShowFrameRate) ShowFrameRate = true;
    else ShowFlightPanel = !ShowFlightPanel, ShowFrameRate = false;
  }
  if (ConsumePresses(ActionKey(kActFullHelp))) ShowFullHelp = !ShowFullHelp;
  if (ConsumePresses(ActionKey(kActMessages))) RecallMessages(WallSeconds());
  if (ConsumePresses(ActionKey(kActFieldView))) ToggleFieldView();
  // The camera key leaves the field view for the cycle it always had.
  if (FieldView && (KeyState[ActionKey(kActCamera) & 0xFF] & 0x3F)) ToggleFieldView();
}

}  // namespace

void InputPass(bool simulation) {
  if (simulation) {
    SimulationInputPass(ViewInputPass);
  } else {
    ViewInputPass();
    WheelMoved = false;
  }
}

void DrawCursor() {
  double size = 35;
  if (MouseLookActive()) size = 30;
  if (KeyHeld(VK_LBUTTON)) size = 40;
  int32_t kind = CursorKind >= 0 && CursorKind < 8 ? CursorKind : 0;
  int32_t symbol = FindSymbol(String(CursorNames[kind]));

  // A half-pixel dark outline, then the symbol in white.
  SetPixelConstantVector(0, 0, 0, 1);
  for (int i = 0; i < 4; i++) {
    double theta = i * M_PI / 2;
    DrawSymbolCentred(uint32_t(symbol), MouseX + 0.5 * cos(theta), MouseY + 0.5 * sin(theta), size);
  }
  SetPixelConstantVector(1, 1, 1, 1);
  DrawSymbolCentred(uint32_t(symbol), MouseX, MouseY, size);
}
