#include "app/frame_pacing.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "app/camera.h"
#include "app/flight_session.h"
#include "app/shell.h"
#include "diag/result_codes.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "platform/gpu/device.h"
#include "platform/window/window.h"
#include "render/draw.h"
#include "render/view.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"

namespace {

constexpr double kLookEvery = 1.0;         // seconds between looks while resting
constexpr double kMinimisedLimit = 20;     // frames a second nobody sees

double frameLimit = 0;
double lastPresent = -1;     // wall seconds after the last present
double lastRest = 0;         // wall seconds when the rest began or last looked
int framesDue = 0;           // after input: its frame, and the next that draws what its input pass did
bool rested = false;
bool deviceLost = false;
bool presentFailureShown = false;

// What the last two frames showed: equal, and nothing else moving, is rest.
struct Shown {
  Vec3 position;
  Quat orientation, look;
  double fieldOfView;
  bool help, monitor;
};
Shown shown[2];
int framesShown = 0;

Shown Now() { return {CameraPosition, CameraOrientation, LookOrientation, FieldOfView, ShowHelp, ShowMonitor}; }

// Bit for bit: a camera still to the last bit is still.
template <class T>
bool Bits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}
bool Same(const Shown& a, const Shown& b) {
  return Bits(a.position, b.position) && Bits(a.orientation, b.orientation) && Bits(a.look, b.look) &&
         Bits(a.fieldOfView, b.fieldOfView) && a.help == b.help && a.monitor == b.monitor;
}

bool AnyKeyHeld() {
  for (uint8_t k : KeyState)
    if (k & 0x80) return true;
  return false;
}

bool Idle() {
  // A resize may come while the loop takes messages (Wine sends it from the
  // peek itself), so the size is asked here rather than waited for.
  if (!Paused || FlightSessionNeedsFrames() || MouseLookActive() || AnyKeyHeld() || WindowSizeChanged()) return false;
  return framesShown >= 2 && Same(shown[0], shown[1]) && Same(shown[1], Now());
}

// A lost device draws nothing until Direct3D lets it be reset.
bool DeviceStillLost() {
  HRESULT hr = Device->TestCooperativeLevel();
  if (hr == D3DERR_DEVICENOTRESET) hr = Device->Reset();
  if (SUCCEEDED(hr)) {
    deviceLost = false;
    framesShown = 0;
    Log("The display is back: drawing again\n");
    return false;
  }
  WaitWindowMessage(0.1);
  return true;
}

}  // namespace

void StartFramePacing(bool vsync, double limit) {
  RequestDisplaySync(vsync);
  frameLimit = limit;
  lastPresent = -1;
  framesShown = 0;
  framesDue = 0;
  rested = deviceLost = presentFailureShown = false;
}

bool RestBeforeFrame() {
  rested = false;
  if (Device && deviceLost) return rested = DeviceStillLost();
  if (framesDue > 0 || !Idle()) {
    if (framesDue > 0) framesDue--;
    lastRest = WallSeconds();
    return false;
  }
  double left = kLookEvery - (WallSeconds() - lastRest);
  if (left <= 0) {
    lastRest = WallSeconds();
    return false;  // the half-second look
  }
  if (WaitWindowMessage(left)) framesDue = 2;
  return rested = true;
}

void PresentFrame() {
  shown[0] = shown[1];
  shown[1] = Now();
  if (framesShown < 2) framesShown++;
  if (Device) {
    HRESULT hr = Device->Present();
    if (hr == D3DERR_DEVICELOST) {
      deviceLost = true;
      Log("The display device was lost (the screen locked or the driver restarted): waiting for it\n");
    } else if (FAILED(hr) && !presentFailureShown) {
      presentFailureShown = true;
      Log("Present failed: %s\n", resultCodeName(uint32_t(hr)));
    }
  }
  double limit = WindowIsMinimised() && (frameLimit == 0 || frameLimit > kMinimisedLimit) ? kMinimisedLimit : frameLimit;
  double now = WallSeconds();
  if (limit > 0 && lastPresent >= 0) {
    double wait = 1 / limit - (now - lastPresent);
    if (wait > 0) {
      std::this_thread::sleep_for(std::chrono::duration<double>(wait));
      now = WallSeconds();
    }
  }
  lastPresent = now;
}

bool FrameRested() { return rested; }
