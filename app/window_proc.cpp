#include "app/menu/menu.h"
#include "app/shell.h"
#include "foundation/log.h"
#include "platform/gpu/device.h"
#include "platform/window/window.h"
#include "sim/keys.h"

namespace {
// The size the device's back buffer was given last, in pixels.
int32_t backBufferWidth = 0, backBufferHeight = 0;

// F7 (while it stands for itself) and Alt+Enter: a first press, not its
// auto-repeats. Handled here like Alt+F4: they never reach the key table.
bool FullScreenKey(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (uintptr_t(lParam) & KEYMSG_PREVIOUS) return false;
  if (message == WM_KEYDOWN) return wParam == VK_F7 && KeyBinding[VK_F7] == VK_F7;
  return message == WM_SYSKEYDOWN && wParam == VK_RETURN;
}

// Keys enter the table under the code the key bindings give them; the
// flight session sees them first.
void EnterBoundKey(uintptr_t wParam, bool down) {
  if (uint32_t code = KeyBinding[wParam & 0xFF]) EnterKeyMessage(code, down);
}
}  // namespace

bool CreateMainWindow(double left, double top, double width, double height) {
  int32_t l = int32_t(left), t = int32_t(top);
  int32_t r = int32_t(left + width), b = int32_t(top + height);
  if (!OpenWindow("Tarn sim", l, t, r - l, b - t)) {
    Log("Cannot open the main window with an OpenGL 3.3 core context: %s\n", WindowSystemError());
    return false;
  }
  // The outer window covers the work area; the client area is smaller by the
  // frame (nothing when no window manager decorates it).
  int32_t extraWidth = 0, extraHeight = 0;
  GetWindowFrameSize(extraWidth, extraHeight);
  return CreateDevice(width - extraWidth, height - extraHeight);
}

bool CreateDevice(double clientWidth, double clientHeight) {
  int32_t w = int32_t(clientWidth), h = int32_t(clientHeight);
  // The window may have been granted another client size than asked for.
  int32_t actualWidth = 0, actualHeight = 0;
  GetClientSize(actualWidth, actualHeight);
  if (actualWidth > 0 && actualHeight > 0) {
    w = actualWidth;
    h = actualHeight;
  }
  IDirect3DDevice9* device = nullptr;
  HRESULT hr = CreateWindowDevice(w, h, &device);
  if (FAILED(hr) || !device) {
    Log("Cannot create the graphics device: %s (0x%08X)\n", WindowSystemError(), unsigned(hr));
    return false;
  }
  Device = device;
  backBufferWidth = w;
  backBufferHeight = h;
  return true;
}

bool WindowSizeChanged() {
  if (!Device || WindowIsMinimised()) return false;
  int32_t w = 0, h = 0;
  GetClientSize(w, h);
  return w > 0 && h > 0 && (w != backBufferWidth || h != backBufferHeight);
}

void FollowWindowSize() {
  if (!WindowSizeChanged()) return;
  int32_t w = 0, h = 0;
  GetClientSize(w, h);
  // A device that cannot take the size now (a lost Direct3D device) is
  // asked again before the next frame.
  if (SUCCEEDED(Device->ResizeBackBuffer(uint32_t(w), uint32_t(h)))) {
    backBufferWidth = w;
    backBufferHeight = h;
  }
}

void ToggleFullScreen() {
  if (!SetFullScreen(!WindowIsFullScreen())) Log("Cannot change to or from full screen: %s\n", WindowSystemError());
}

void ReleaseDevice() {
  backBufferWidth = backBufferHeight = 0;
  if (!Device) return;
  uint32_t refs = Device->Release();
  if (refs != 0) Log("IDirect3DDevice9->Release Failed, reference count is %i\n", int(refs));
  Device = nullptr;
}

intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (MenuOpen() && MenuWindowMessage(message, wParam, lParam)) return 0;
  if (FullScreenKey(message, wParam, lParam)) {
    ToggleFullScreen();
    return 0;
  }
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_SETFOCUS:
      SetCapture();
      return 0;
    case WM_KEYDOWN:
      EnterBoundKey(wParam, true);
      if (wParam == VK_ESCAPE) PostQuitMessage(0);
      return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      EnterBoundKey(wParam, false);
      return 0;
    case WM_SYSKEYDOWN:
      // Handled here rather than by default so Alt can be read as a held key.
      EnterBoundKey(wParam, true);
      if (wParam == VK_F4) PostWindowMessage(WM_CLOSE, 0, 0);
      return 0;
    case WM_LBUTTONDOWN:
      PressKey(VK_LBUTTON);
      return 0;
    case WM_LBUTTONUP:
      ReleaseKey(VK_LBUTTON);
      return 0;
    case WM_RBUTTONDOWN:
      PressKey(VK_RBUTTON);
      return 0;
    case WM_RBUTTONUP:
      ReleaseKey(VK_RBUTTON);
      return 0;
    case WM_MBUTTONDOWN:
      PressKey(VK_MBUTTON);
      return 0;
    case WM_MBUTTONUP:
      ReleaseKey(VK_MBUTTON);
      return 0;
    case WM_MOUSEWHEEL:
      WheelNotches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;  // truncated toward zero
      WheelMoved = true;
      return 0;
    default:
      return DefWindowProc(message, wParam, lParam);
  }
}
