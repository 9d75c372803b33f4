// The simulation part of a frame: the clock tick, the fixed world steps the
// elapsed time calls for, the aircraft's camera, the scene reset and the
// simulation's share of the input pass. Needs no window: the program and the
// headless flight runner run exactly this.
#pragma once
#include "aircraft/aircraft.h"

// Ticks the frame timer; unless paused, runs a world step of PhysicsStep
// seconds while more than one step of real time is waiting (no cap: a slow
// frame is caught up completely) and carries the remainder over; paused time
// is discarded. Then places the camera for the aircraft's camera mode.
void UpdateFrame();
// The camera placed for the aircraft's camera mode: the end of UpdateFrame,
// and the whole of a turn that runs no simulation (a paused replay).
void PlaceAircraftCamera();

// Resets the view, light, mouse and frame-clock values (the simulation is
// paused afterwards) and re-creates the aircraft. Start-up and F1.
void ResetScene();

// The input pass every program shares, in this order: F1 resets the scene;
// then `viewPass` when given (the window program's zoom, mouse look, free
// camera and help keys); Pause toggles the pause; the wheel flag is cleared;
// the aircraft reads its keys. The flight runner passes no view pass.
void SimulationInputPass(void (*viewPass)() = nullptr);

// What differs from one frame loop to the next: the window program (and its
// benchmark) read the stick, draw and run the flight session; the headless
// runner records or replays straight from the flight files.
class FrameHost {
 public:
  virtual ~FrameHost() = default;
  // The inputs that arrive between frames (the stick) and the recording or
  // replay's frame start. False: this turn runs no simulation (a paused
  // replay, or its next frame not yet due).
  virtual bool BeginFrame() = 0;
  // The picture, after the update. False when the device is lost: the frame
  // ends there.
  virtual bool Draw() { return true; }
  // Whether a simulated frame's input pass includes the simulation's part.
  virtual bool InputPassDue() = 0;
  // The frame's input pass; simulation says whether its simulation part runs.
  virtual void InputPass(bool simulation) {
    if (simulation) SimulationInputPass();
  }
  // After the input pass of a simulated frame; inputPass as it ran.
  virtual void EndFrame(bool inputPass) = 0;
};

// One frame's simulation part, the same for every loop that flies: the
// host's frame start, UpdateFrame (or only the camera when the host runs no
// simulation this turn), the drawing, the input pass, the host's frame end.
// False when the drawing failed (nothing after it ran).
bool RunFrame(FrameHost& host);

// The view values (CameraPosition, CameraOrientation, LookOrientation,
// FreeCamera) as the aircraft's camera modes see them, and back.
CameraView CurrentCameraView();
void ApplyCameraView(const CameraView& view);
