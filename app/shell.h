// The application shell: the main window and its device, the window
// procedure, the per-frame input pass with the camera and the software cursor,
// and the start-up, frame and shut-down sequences of the program.
#pragma once
#include <cstdint>

#include "app/flight_session.h"
#include "app/update.h"

// Main-loop state.
extern bool IsForeground;   // the main window is in front (tested once per frame)
extern bool WasForeground;  // IsForeground of the previous frame: mouse look turns only then
extern bool CursorHidden;   // the loop has hidden the system cursor
extern bool ShowHelp;       // the one-line key help at the bottom of the screen (H)
extern bool ShowMonitor;    // the axis monitor panel (F8)

// Covers the desktop work area (screen pixels, truncated to integers) with the
// main window and creates the device for its client area. False, after one
// console line naming what is missing, when either cannot be made.
bool CreateMainWindow(double left, double top, double width, double height);
bool CreateDevice(double clientWidth, double clientHeight);
// Before each frame: gives the device's back buffer the window's client size
// when that changed (a resize, maximise, full screen), so the picture and
// everything on it follow. Nothing while the size is the one it has.
void FollowWindowSize();
// The window's client size is not the back buffer's (not minimised): a frame
// is due even while nothing else moves.
bool WindowSizeChanged();
// F7 and Alt+Enter: full screen or back to the window.
void ToggleFullScreen();
// Releases the device and reports references still held.
void ReleaseDevice();
// Turns one window message into key-table and wheel changes.
intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam);

void InitApplication();
void DrawFrame();
// The axis monitor panel (F8): the devices and the stick inputs as text.
void DrawAxisMonitor();
void ShutdownApplication();

// Mouse look is active: the lock differs from the right button's held bit.
bool MouseLookActive();
// The cursor in client pixels, clamped to the screen; sets MouseInside.
void ReadCursor(double& x, double& y);
// The window program's input pass: SimulationInputPass (app/update.h) with the
// zoom, the F11/F12 console lines, mouse look, the free camera and H in its
// middle. Without simulation (a paused replay) only that middle part runs.
void InputPass(bool simulation = true);
void DrawCursor();

// The window program's frame (RunFrame, app/update.h): the stick and the
// flight session around the simulation, the scene drawn between the update
// and the input pass, the cursor shown only outside the window in front.
// The program's loop presents the picture after each frame.
class WindowFrameHost : public FrameHost {
 public:
  bool BeginFrame() override;
  bool Draw() override;
  bool InputPassDue() override;
  void InputPass(bool simulation) override;
  void EndFrame(bool inputPass) override;

 private:
  void FrameInputPass(bool simulation);  // the pass without the menu's
};

// The whole program: window, start-up, message loop, shut-down. Returns the
// process exit code (non-zero only when no window or device could be made).
int RunApplication(const FlightSessionOptions& flights = FlightSessionOptions());
