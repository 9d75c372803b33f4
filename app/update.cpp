#include "app/update.h"

#include <cmath>

#include "air/air.h"
#include "aircraft/aircraft.h"
#include "app/camera.h"
#include "app/frame_timer.h"
#include "physics/entity.h"
#include "render/view.h"
#include "sim/keys.h"

void UpdateFrame() {
  TickFrameTimer();
  if (!Paused) {
    // CurrentDt keeps the frame's own duration for the input pass that
    // follows; each step sees the fixed step.
    while (StepAccumulator > PhysicsStep) {
      ClockedWorldStep(PhysicsStep);
      StepAccumulator -= PhysicsStep;
    }
  } else {
    StepAccumulator = 0;
  }
  PlaceAircraftCamera();
}

bool RunFrame(FrameHost& host) {
  const bool simulate = host.BeginFrame();
  if (simulate) UpdateFrame();
  else PlaceAircraftCamera();
  if (!host.Draw()) return false;
  const bool pass = simulate && host.InputPassDue();
  host.InputPass(pass);
  if (simulate) host.EndFrame(pass);
  return true;
}

void PlaceAircraftCamera() {
  if (CurrentAircraft == nullptr) return;
  CameraView view = CurrentCameraView();
  UpdateAircraftCamera(view);
  ApplyCameraView(view);
}

void ResetScene() {
  FieldOfView = 60;
  MouseX = double(ScreenCentreX);
  MouseY = double(ScreenCentreY);
  LookOrientation = CameraOrientation;
  WheelMoved = false;
  LookSensitivityX = 0.0023;
  WheelNotches = 0;
  LookSensitivityY = 0.0023;
  MouseLookLock = false;
  FreeCamera = true;
  ScaleLookByFov = true;
  CursorKind = 0;
  ResetFrameTimer();
  double k = 1 / std::sqrt(6.0);
  LightDirection = {k, k, 2 / std::sqrt(6.0)};
  const float colour1[3] = {0.77f, 0.66f, 0.55f};
  const float colour3[3] = {0.56f, 0.49f, 0.42f};
  const float colour0[3] = {0.12f, 0.24f, 0.36f};
  for (int i = 0; i < 3; i++) ShaderColour1[i] = colour1[i];
  for (int i = 0; i < 3; i++) ShaderColour3[i] = colour3[i];
  for (int i = 0; i < 3; i++) ShaderColour0[i] = colour0[i];
  RecreateAircraft();
  // The air starts again with the scene: the same settings and seed, the same air.
  air::Rebuild();
}

void SimulationInputPass(void (*viewPass)()) {
  if (ConsumePresses(VK_F1)) ResetScene();
  if (viewPass) viewPass();
  if (ConsumePresses(VK_PAUSE)) Paused = !Paused;
  WheelMoved = false;
  if (CurrentAircraft) {
    CameraView view = CurrentCameraView();
    HandleAircraftKeys(view);
    ApplyCameraView(view);
  }
}

CameraView CurrentCameraView() { return {CameraPosition, CameraOrientation, LookOrientation, FreeCamera}; }

void ApplyCameraView(const CameraView& view) {
  CameraPosition = view.position;
  CameraOrientation = view.orientation;
  LookOrientation = view.look;
  FreeCamera = view.freeCamera;
}
