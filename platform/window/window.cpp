// The one main window on SDL2: creation over the work area, the GL context,
// a Windows-like message queue and the cursor.
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "platform/gl/gl_device.h"
#include "platform/window/events.h"

namespace {

struct WindowSystem {
  bool started = false;
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;
  bool destroyed = false;
  int32_t frameWidth = 0, frameHeight = 0;
  std::deque<MSG> posted;   // PostMessage and DestroyWindow
  std::deque<MSG> pending;  // further messages of one translated event
  bool quitPosted = false;
  int32_t quitCode = 0;
  EventState events;
  int32_t cursorCounter = 0;
  bool captureArmed = false;
  bool captured = false;
  bool synced = false;  // presents wait for the display's refresh
  bool fullScreen = false;
  int32_t windowedX = 0, windowedY = 0, windowedW = 0, windowedH = 0;  // before full screen
  std::string error;
};

WindowSystem sys;
bool syncWanted = false;  // RequestDisplaySync's answer outlives a restart
int samplesWanted = 0;    // RequestAntialiasing's, likewise

bool Fail(const char* what) {
  sys.error = std::string(what) + ": " + SDL_GetError();
  return false;
}

void Capture(bool on) {
  if (on == sys.captured) return;
  // Only a focused window can capture; a refusal just leaves it uncaptured.
  if (SDL_CaptureMouse(on ? SDL_TRUE : SDL_FALSE) == 0 || !on) sys.captured = on;
}

// Capture follows the buttons, as Windows' does after SetCapture: held while
// a button that went down in the window stays down.
void UpdateCapture(const MSG& m) {
  switch (m.message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
      if (sys.captureArmed) Capture(true);
      break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_XBUTTONUP:
      if ((m.wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON | MK_XBUTTON1 | MK_XBUTTON2)) == 0)
        Capture(false);
      break;
    case WM_KILLFOCUS:
      sys.captureArmed = false;
      Capture(false);
      break;
    default:
      break;
  }
}

// With an X server named, the window belongs on it. A server can refuse a
// connection now and then while it is busy (Xvfb does under load), and SDL
// would then quietly fall back to an invisible offscreen driver: try the X
// server a few times before letting SDL choose.
bool InitVideo() {
  const uint32_t systems = SDL_INIT_VIDEO | SDL_INIT_EVENTS;
  const char* display = std::getenv("DISPLAY");
  const char* chosen = SDL_GetHint(SDL_HINT_VIDEODRIVER);
  if (display && *display && !(chosen && *chosen)) {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    for (int attempt = 0; attempt < 10; attempt++) {
      if (SDL_Init(systems) == 0) {
        SDL_ResetHint(SDL_HINT_VIDEODRIVER);
        return true;
      }
      SDL_Delay(20);
    }
    SDL_ResetHint(SDL_HINT_VIDEODRIVER);
  }
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (!(chosen && *chosen) && !(display && *display) && !(wayland && *wayland)) {
    // Nothing to show a window on. Asking SDL anyway only adds the video
    // libraries' own complaints to the console before the same answer.
    SDL_SetError("no display to open a window on (DISPLAY or WAYLAND_DISPLAY is not set or not answering)");
    return false;
  }
  if (SDL_Init(systems) != 0) return false;
  // Left to itself SDL ends on an invisible driver when no display answers;
  // a window nobody can see is no use to a person, so say so instead. A
  // driver chosen on purpose (tests ask for "dummy") is kept.
  const char* driver = SDL_GetCurrentVideoDriver();
  bool invisible = driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
  if (invisible && !(chosen && *chosen)) {
    SDL_Quit();
    SDL_SetError("no display to open a window on (DISPLAY or WAYLAND_DISPLAY is not set or not answering)");
    return false;
  }
  return true;
}

}  // namespace

SDL_Window* MainSdlWindow() { return sys.window; }

bool StartWindowSystem(const char* windowClass) {
  if (sys.started) return true;
  sys = WindowSystem();
  // The X11 class is read when video starts, from the environment.
  if (windowClass) setenv("SDL_VIDEO_X11_WMCLASS", windowClass, 1);
  // Capture is ours to decide (SetCapture), not SDL's.
  SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
  if (!InitVideo()) return Fail("SDL_Init");
  // Keys arrive as key messages only; no text or input-method events.
  SDL_StopTextInput();
  sys.started = true;
  return true;
}

void StopWindowSystem() {
  if (!sys.started) return;
  if (sys.captured) SDL_CaptureMouse(SDL_FALSE);
  if (sys.context) SDL_GL_DeleteContext(sys.context);
  if (sys.window) SDL_DestroyWindow(sys.window);
  SDL_Quit();
  sys = WindowSystem();
}

const char* WindowSystemError() { return sys.error.c_str(); }

bool GetWorkArea(WindowRect& area) {
  area = WindowRect{0, 0, 0, 0};
  if (!sys.started) {
    sys.error = "GetWorkArea: the window system is not started";
    return false;
  }
  SDL_Rect r;
  if (SDL_GetDisplayUsableBounds(0, &r) != 0) return Fail("SDL_GetDisplayUsableBounds");
  area = WindowRect{r.x, r.y, r.x + r.w, r.y + r.h};
  return true;
}

bool OpenWindow(const char* title, int32_t left, int32_t top, int32_t width, int32_t height) {
  if (!sys.started) {
    sys.error = "OpenWindow: the window system is not started";
    return false;
  }
  if (sys.window) {
    sys.error = "OpenWindow: there is already a window";
    return false;
  }
  if (width < 1) width = 1;
  if (height < 1) height = 1;
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  // Created hidden at the work area's corner with the full size; once shown
  // and decorated, shrunk by the frame so the outer window fits the area.
  sys.window = SDL_CreateWindow(title ? title : "", left, top, width, height,
                                SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
  if (!sys.window) return Fail("SDL_CreateWindow");
  sys.context = SDL_GL_CreateContext(sys.window);
  if (!sys.context) {
    Fail("SDL_GL_CreateContext");
    SDL_DestroyWindow(sys.window);
    sys.window = nullptr;
    return false;
  }
  SDL_GL_MakeCurrent(sys.window, sys.context);
  // Tied to the display's refresh only when asked; a driver may refuse.
  sys.synced = syncWanted && SDL_GL_SetSwapInterval(1) == 0;
  if (!sys.synced) SDL_GL_SetSwapInterval(0);
  // Resizable, but not below what the panel and the help line can use.
  SDL_SetWindowMinimumSize(sys.window, 320, 240);
  SDL_ShowWindow(sys.window);

  int bt = 0, bl = 0, bb = 0, br = 0;
  if (SDL_GetWindowBordersSize(sys.window, &bt, &bl, &bb, &br) != 0) bt = bl = bb = br = 0;
  sys.frameWidth = bl + br;
  sys.frameHeight = bt + bb;
  if (sys.frameWidth > 0 || sys.frameHeight > 0) {
    int cw = width - sys.frameWidth, ch = height - sys.frameHeight;
    SDL_SetWindowSize(sys.window, cw > 1 ? cw : 1, ch > 1 ? ch : 1);
    SDL_SetWindowPosition(sys.window, left + bl, top + bt);  // SDL places the client area
  }
  SDL_GetWindowPosition(sys.window, &sys.events.windowX, &sys.events.windowY);
  sys.events.windowId = SDL_GetWindowID(sys.window);
  sys.destroyed = false;
  return true;
}

void GetWindowFrameSize(int32_t& extraWidth, int32_t& extraHeight) {
  extraWidth = sys.frameWidth;
  extraHeight = sys.frameHeight;
}

void GetClientSize(int32_t& width, int32_t& height) {
  width = height = 0;
  if (sys.window) SDL_GetWindowSize(sys.window, &width, &height);
}

void SwapWindowBuffers() {
  if (sys.window && !sys.destroyed) SDL_GL_SwapWindow(sys.window);
}

HRESULT CreateWindowDevice(int32_t width, int32_t height, IDirect3DDevice9** out) {
  HRESULT hr = CreateGLDevice(width, height, out, samplesWanted);
  if (FAILED(hr) || !out || !*out) {
    sys.error = "OpenGL 3.3 core is required";
    return FAILED(hr) ? hr : E_FAIL_;
  }
  SetGLPresentFunction(*out, [](void*) { SwapWindowBuffers(); }, nullptr);
  return hr;
}

bool ReadWindowDevicePixels(IDirect3DDevice9* device, std::vector<uint32_t>& argb, uint32_t* width,
                            uint32_t* height) {
  return ReadGLBackBuffer(device, argb, width, height);
}

void RequestAntialiasing(int samples) { samplesWanted = samples; }
int WindowDeviceSamples(IDirect3DDevice9* device) { return GLDeviceSamples(device); }

bool SetFullScreen(bool on) {
  if (!sys.window || sys.destroyed) return false;
  if (on == sys.fullScreen) return true;
  // A window manager (it decorates the window) makes a window full screen
  // when asked; without one nobody would, and SDL would only believe it had
  // happened: the window itself then covers its display, frameless.
  const bool managed = sys.frameWidth > 0 || sys.frameHeight > 0;
  if (on) {
    SDL_GetWindowPosition(sys.window, &sys.windowedX, &sys.windowedY);
    SDL_GetWindowSize(sys.window, &sys.windowedW, &sys.windowedH);
  }
  if (managed) {
    // The desktop's mode: no mode switch, the window just covers the display.
    if (SDL_SetWindowFullscreen(sys.window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0)
      return Fail("SDL_SetWindowFullscreen");
  } else if (on) {
    SDL_Rect r;
    int display = SDL_GetWindowDisplayIndex(sys.window);
    if (SDL_GetDisplayBounds(display < 0 ? 0 : display, &r) != 0) return Fail("SDL_GetDisplayBounds");
    SDL_SetWindowPosition(sys.window, r.x, r.y);
    SDL_SetWindowSize(sys.window, r.w, r.h);
  }
  if (!on) {
    SDL_SetWindowSize(sys.window, sys.windowedW, sys.windowedH);
    SDL_SetWindowPosition(sys.window, sys.windowedX, sys.windowedY);
  }
  sys.fullScreen = on;
  SDL_GetWindowPosition(sys.window, &sys.events.windowX, &sys.events.windowY);
  return true;
}

bool WindowIsFullScreen() { return sys.fullScreen; }

bool WindowIsOpen() { return sys.window && !sys.destroyed; }

bool PeekWindowMessage(MSG& msg) {
  if (!sys.posted.empty()) {
    msg = sys.posted.front();
    sys.posted.pop_front();
    return true;
  }
  if (sys.quitPosted) {
    sys.quitPosted = false;
    msg = MSG{WM_QUIT, uintptr_t(intptr_t(sys.quitCode)), 0};
    return true;
  }
  if (!sys.pending.empty()) {
    msg = sys.pending.front();
    sys.pending.pop_front();
    return true;
  }
  if (!sys.started) return false;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    // When the focus leaves, SDL releases every held key itself. A window
    // that has lost the focus hears no key going up, so those keys stay
    // held in the key table until their next up message arrives here.
    if (e.type == SDL_KEYUP && sys.window && SDL_GetKeyboardFocus() != sys.window) continue;
    MSG out[kMaxMessagesPerEvent];
    int n = TranslateEvent(e, sys.events, out);
    if (sys.destroyed) continue;  // a destroyed window gets no more input
    for (int i = 0; i < n; i++) UpdateCapture(out[i]);
    if (n == 0) continue;
    for (int i = 1; i < n; i++) sys.pending.push_back(out[i]);
    msg = out[0];
    return true;
  }
  return false;
}

bool WaitWindowMessage(double seconds) {
  if (!sys.posted.empty() || sys.quitPosted || !sys.pending.empty()) return true;
  if (!sys.started) return false;
  int ms = seconds <= 0 ? 0 : seconds > 3600 ? 3600000 : int(seconds * 1000 + 0.5);
  return SDL_WaitEventTimeout(nullptr, ms) == 1;
}

bool WindowIsMinimised() {
  return !sys.window || sys.destroyed || (SDL_GetWindowFlags(sys.window) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) != 0;
}

void RequestDisplaySync(bool on) { syncWanted = on; }
bool DisplaySynced() { return sys.synced; }

void PostWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  sys.posted.push_back(MSG{message, wParam, lParam});
}

void PostQuitMessage(int32_t exitCode) {
  sys.quitPosted = true;
  sys.quitCode = exitCode;
}

void DestroyMainWindow() {
  if (sys.destroyed) return;
  sys.destroyed = true;
  sys.pending.clear();
  if (sys.captured) Capture(false);
  sys.captureArmed = false;
  if (sys.window) SDL_HideWindow(sys.window);
  PostWindowMessage(WM_DESTROY, 0, 0);
}

intptr_t DefWindowProc(uint32_t message, uintptr_t, intptr_t) {
  if (message == WM_CLOSE) DestroyMainWindow();
  return 0;
}

bool GetCursorClientPos(int32_t& x, int32_t& y) {
  x = y = 0;
  if (!sys.window) return false;
  int gx = 0, gy = 0, wx = 0, wy = 0;
  SDL_GetGlobalMouseState(&gx, &gy);
  SDL_GetWindowPosition(sys.window, &wx, &wy);
  x = gx - wx;
  y = gy - wy;
  return true;
}

void SetCursorClientPos(int32_t x, int32_t y) {
  if (sys.window && !sys.destroyed) SDL_WarpMouseInWindow(sys.window, x, y);
}

int32_t ShowCursor(bool show) {
  sys.cursorCounter += show ? 1 : -1;
  if (sys.started) SDL_ShowCursor(sys.cursorCounter >= 0 ? SDL_ENABLE : SDL_DISABLE);
  return sys.cursorCounter;
}

void SetCapture() {
  if (!sys.window || sys.destroyed) return;
  sys.captureArmed = true;
  if (sys.events.buttons) Capture(true);
}

void ReleaseCapture() {
  sys.captureArmed = false;
  Capture(false);
}

bool IsForegroundWindow() {
  return sys.window && !sys.destroyed && SDL_GetKeyboardFocus() == sys.window;
}
