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

// The view values (CameraPosition, CameraOrientation, LookOrientation,
// FreeCamera) as the aircraft's camera modes see them, and back.
CameraView CurrentCameraView();
void ApplyCameraView(const CameraView& view);
