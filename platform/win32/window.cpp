// The window layer on Win32 with the Direct3D 9 device: platform/window/
// window.h on top of native_window.h. Here the shell's calls are Windows'
// own, so most of them pass straight through.
#include <cstdio>
#include <string>

#include "foundation/clock.h"
#include "platform/d3d9/d3d9_device.h"
#include "platform/win32/native_window.h"
#include "platform/window/window.h"

namespace {

bool started = false;
int32_t frameWidth = 0, frameHeight = 0;
std::string error;

// The design's clock: the performance counter, the multimedia timer without one.
const ClockSource kWindowsClock = {win32::CounterFrequency, win32::Counter, win32::Milliseconds};

}  // namespace

bool StartWindowSystem(const char* windowClass) {
  if (started) return true;
  // Console lines must survive a crash: nothing waits in a buffer.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  SetClockSource(kWindowsClock);
  error.clear();
  if (!win32::RegisterMainClass(windowClass ? windowClass : "", error)) return false;
  started = true;
  return true;
}

void StopWindowSystem() {
  if (!started) return;
  win32::UnregisterMainClass();
  started = false;
}

const char* WindowSystemError() { return error.c_str(); }

bool GetWorkArea(WindowRect& area) {
  area = WindowRect{0, 0, 0, 0};
  int32_t r[4];
  if (!started || !win32::WorkArea(r)) {
    error = started ? "SystemParametersInfoA: " + win32::LastErrorText()
                    : "GetWorkArea: the window system is not started";
    return false;
  }
  area = WindowRect{r[0], r[1], r[2], r[3]};
  return true;
}

bool OpenWindow(const char* title, int32_t left, int32_t top, int32_t width, int32_t height) {
  if (!started) {
    error = "OpenWindow: the window system is not started";
    return false;
  }
  if (win32::MainWindowHandle()) {
    error = "OpenWindow: there is already a window";
    return false;
  }
  return win32::CreateMainWindow(title ? title : "", left, top, width, height, frameWidth,
                                 frameHeight, error);
}

void GetWindowFrameSize(int32_t& extraWidth, int32_t& extraHeight) {
  extraWidth = frameWidth;
  extraHeight = frameHeight;
}

void GetClientSize(int32_t& width, int32_t& height) { win32::ClientSize(width, height); }

// Direct3D's Present shows the frame itself.
void SwapWindowBuffers() {}

HRESULT CreateWindowDevice(int32_t width, int32_t height, IDirect3DDevice9** out) {
  HRESULT hr = CreateD3D9Device(win32::MainWindowHandle(), width, height, out);
  if (FAILED(hr)) error = "Direct3D 9 with hardware vertex processing and a D24S8 depth buffer is required";
  return hr;
}

bool ReadWindowDevicePixels(IDirect3DDevice9* device, std::vector<uint32_t>& argb, uint32_t* width,
                            uint32_t* height) {
  return ReadD3D9BackBuffer(device, argb, width, height);
}

bool WindowIsOpen() { return win32::MainWindowAlive(); }

bool PeekWindowMessage(MSG& msg) {
  win32::Message m;
  if (!started || !win32::Peek(m)) return false;
  msg = MSG{m.message, m.wParam, m.lParam};
  return true;
}

void PostWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  win32::Post(message, wParam, lParam);
}

void PostQuitMessage(int32_t exitCode) { win32::Quit(exitCode); }

void DestroyMainWindow() { win32::Destroy(); }

intptr_t DefWindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return win32::Default(message, wParam, lParam);
}

bool GetCursorClientPos(int32_t& x, int32_t& y) { return win32::CursorClientPos(x, y); }

void SetCursorClientPos(int32_t x, int32_t y) { win32::SetCursorClientPos(x, y); }

int32_t ShowCursor(bool show) { return win32::ShowSystemCursor(show); }

void SetCapture() { win32::Capture(true); }

void ReleaseCapture() { win32::Capture(false); }

bool IsForegroundWindow() { return win32::Foreground(); }
