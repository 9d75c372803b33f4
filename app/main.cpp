// Program entry: the main window over the desktop work area, the start-up
// sequence, one frame per idle turn of the message loop, and the orderly
// shut-down that reports leaks.
#include "aircraft/aircraft.h"
#include "app/aircraft_reload.h"
#include "app/camera.h"
#include "app/field_view.h"
#include "app/flight_panel.h"
#include "app/flight_session.h"
#include "app/frame_pacing.h"
#include "app/key_help.h"
#include "app/screen_messages.h"
#include "app/menu/menu.h"
#include "app/shell.h"
#include "app/stick.h"
#include "app/update.h"
#include "assets/font.h"
#include "assets/model.h"
#include "foundation/log.h"
#include "foundation/mem.h"
#include "platform/gpu/device.h"
#include "platform/input/joystick.h"
#include "platform/window/window.h"
#include "render/draw.h"
#include "render/resources.h"
#include "render/scene.h"
#include "render/text.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"

bool IsForeground = false;
bool WasForeground = false;
bool CursorHidden = false;
bool ShowHelp = true;
bool ShowMonitor = false;

namespace {

// The free camera's keys are the keys at their places on this layout, entered
// under the codes the key bindings give them.
void UpdateFreeCameraKeys() {
  for (int i = 0; i < 6; i++) FreeCameraKeys[i] = KeyBinding[VirtualKeyAtPlace(FreeCameraPlaces[i]) & 0xFF];
}

// Each entry creates only what it does not hold yet: loads that failed before
// the device existed get their one more attempt.
void ReloadPass() {
  for (PixelShaderRecord* r = PixelShaderList; r; r = r->next) LoadPixelShaderData(r);
  for (VertexShaderRecord* r = VertexShaderList; r; r = r->next) LoadVertexShaderData(r);
  for (TextureRecord* r = TextureList; r; r = r->next) LoadTextureData(r);
  for (MDL* m = ModelRegistry; m; m = m->next) LoadModelData(m);
  for (Font* f = FontRegistry; f; f = f->next) ReadFont(f);
}

}  // namespace

void InitApplication() {
  InstallDrawingHooks();
  BuildScene();
  PhysicsStep = 0.002;
  SetupFrame(0.1, 50000);
  CurrentFont = LoadFont(String("basic"));
  CameraOrientation = Quat{0, 0, 0, 1};
  CameraPosition = Vec3{0, 0, 5};
  ReloadPass();
  ResetScene();
}

void DrawFrame() {
  ClearTarget(0.02f, 0.06f, 0.1f);
  SetupFrame(0.1, 100000);
  DrawScene();
  DrawFlightSession();
  if (ShowFlightPanel) DrawFlightPanel();
  DrawPausedBanner();
  DrawScreenMessages();
  DrawHelp();
  if (ShowMonitor) DrawAxisMonitor();
  DrawAircraftReloadText();
  if (MenuOpen()) DrawMenu();
  DrawCursor();
}

void DrawAxisMonitor() {
  // Dark under light, one pixel apart, readable over sky and ground alike;
  // below the head-up text.
  String text(MonitorText(Joysticks()).c_str());
  SetPixelConstantVector(0, 0, 0, 1);
  DrawText(9, 91, 16, text);
  SetPixelConstantVector(1, 1, 0.6f, 1);
  DrawText(8, 90, 16, text);
}

void ShutdownApplication() {
  ShutdownMenu();
  if (CurrentAircraft) DestroyAircraft();
  ReleaseAllFonts();
  ReleaseAllModels();
  ReleaseAllTextures();
  ReleaseAllVertexShaders();
  ReleaseAllPixelShaders();
  Log("Memory objects left: %u\n", MemoryObjectCount);
}

bool WindowFrameHost::BeginFrame() {
  // The stick is read between frames, as the keyboard's messages come, with
  // the window in front at the last look.
  const std::vector<JoystickReading>& devices = UpdateJoysticks();
  if (IsForeground && MenuOpen()) {
    // Behind the menu the stick's buttons do nothing but close it.
    Settings menu = UserSettings;
    for (int i = 0; i < kActionCount; i++)
      if (i != kActMenu) menu.buttons[i].clear();
    StickBeforeFrame(devices, menu);
  } else if (IsForeground) {
    StickBeforeFrame(devices, UserSettings);
  }
  PollAircraftFile();
  return FlightFrameBegin();
}

bool WindowFrameHost::Draw() {
  if (FAILED(Device->BeginScene())) {
    Log("BeginScene Failed\n");
    return false;
  }
  PlaceFieldCamera();
  DrawFrame();
  Device->EndScene();
  FlightSessionAfterDraw();
  WasForeground = IsForeground;
  IsForeground = IsForegroundWindow();
  return true;
}

// A replay runs the input passes its recording ran, in front or not.
bool WindowFrameHost::InputPassDue() { return FlightInputPassDue(IsForeground); }

void WindowFrameHost::InputPass(bool simulation) {
  FrameInputPass(simulation);
  // The menu last: the keys it enters as it opens or closes (the pause, the
  // releases of held keys) are read by the next frame's pass, where a
  // recording puts them, so a replay pauses and resumes on the same frames.
  if (IsForeground) MenuInputPass();
}

void WindowFrameHost::FrameInputPass(bool simulation) {
  if (IsForeground && MenuOpen()) {
    // The menu has the mouse and the keyboard; the simulation takes only
    // the keys the menu entered (the pause).
    if (simulation) SimulationInputPass();
    return;
  }
  if (IsForeground) {
    UpdateFreeCameraKeys();
    if (MouseInside) {
      if (!CursorHidden) {
        CursorHidden = true;
        ShowCursor(false);
      }
    } else if (CursorHidden) {
      CursorHidden = false;
      ShowCursor(true);
    }
    ::InputPass(simulation);
  } else {
    if (CursorHidden) {
      CursorHidden = false;
      ShowCursor(true);
    }
    if (simulation) SimulationInputPass();
  }
}

void WindowFrameHost::EndFrame(bool inputPass) { FlightFrameEnd(inputPass); }

int RunApplication(const FlightSessionOptions& flights) {
  if (!StartWindowSystem("Rariroz class")) {
#ifdef _WIN32
    Log("Tarn sim needs Windows' Direct3D 9: %s\n", WindowSystemError());
#else
    Log("Tarn sim needs a display with OpenGL 3.3: %s\n", WindowSystemError());
#endif
    return 1;
  }
  StartFramePacing(UserSettings.vsync, UserSettings.frameLimit);
  RequestAntialiasing(UserSettings.antialias);
  WindowRect area;
  if (!GetWorkArea(area)) {
    Log("Cannot read the desktop work area: %s\n", WindowSystemError());
    StopWindowSystem();
    return 1;
  }
  if (!CreateMainWindow(area.left, area.top, area.right - area.left, area.bottom - area.top)) {
    StopWindowSystem();
    return 1;
  }
  if (UserSettings.antialias > 0) {
    int samples = WindowDeviceSamples(Device);
    if (samples > 0) Log("Anti-aliasing: %d samples a pixel\n", samples);
    else Log("Anti-aliasing with %d samples a pixel is not offered by the graphics driver: drawing without\n",
             UserSettings.antialias);
  }

  MSG msg = {};
  StartJoysticks();
  StartFlightSession(flights);
  InitApplication();
  FlightSessionStarted();
  WindowFrameHost host;
  while (msg.message != WM_QUIT) {
    if (PeekWindowMessage(msg)) {
      // WM_QUIT belongs to no window: it only ends the loop.
      if (msg.message != WM_QUIT) WindowProc(msg.message, msg.wParam, msg.lParam);
      continue;
    }
    // Idle (paused, nothing moving) it waits for input instead of drawing.
    if (RestBeforeFrame()) continue;
    FollowWindowSize();
    // A device that fails to begin a scene ends the program here, as it
    // always has: no clean-up.
    if (!RunFrame(host)) return 0;
    PresentFrame();
  }

  EndFlightSession();
  ShutdownApplication();
  StopJoysticks();
  ReleaseDevice();
  StopWindowSystem();
  return 0;
}
