// The main window on Win32 (see native_window.h).
#include <windows.h>

#include <deque>

#include "platform/win32/native_window.h"

namespace win32 {

namespace {

HINSTANCE instance = nullptr;
std::string registeredClass;
HWND window = nullptr;
bool alive = false;
bool fullScreen = false;
LONG_PTR savedStyle = 0;          // the framed window's style and place, for leaving full screen
WINDOWPLACEMENT savedPlacement;
// Messages the window procedure keeps for the program, oldest first. The
// program's own window procedure handles them between frames, on this thread.
std::deque<Message> kept;

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      alive = false;
      break;
    case WM_SIZE:
      // Windows sends the size to the procedure while the program may rest
      // in its wait for input: a posted no-op wakes it to draw the new size.
      PostMessageA(hwnd, WM_NULL, 0, 0);
      return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_CLOSE:
    case WM_KEYDOWN:
    case WM_KEYUP:
    // System keys are kept too, never passed on: Alt and F10 must not open
    // the system menu, and Alt is read as a held key.
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MOUSEWHEEL:
      break;
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
  kept.push_back(Message{message, uintptr_t(wParam), intptr_t(lParam)});
  return 0;
}

}  // namespace

bool RegisterMainClass(const char* className, std::string& error) {
  instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA wc;
  ZeroMemory(&wc, sizeof wc);
  wc.cbSize = sizeof wc;
  wc.style = CS_CLASSDC;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = className;  // no cursor (the program draws its own), no brush
  // The program's own icon (resource 1) in the caption and the task bar;
  // the loader's default when the program has none.
  wc.hIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                           GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
  wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                             LR_DEFAULTCOLOR));
  if (!RegisterClassExA(&wc)) {
    error = "RegisterClassExA: " + LastErrorText();
    return false;
  }
  registeredClass = className;
  return true;
}

void UnregisterMainClass() {
  if (window && alive) DestroyWindow(window);
  window = nullptr;
  alive = false;
  fullScreen = false;
  kept.clear();
  if (!registeredClass.empty()) UnregisterClassA(registeredClass.c_str(), instance);
  registeredClass.clear();
}

bool WorkArea(int32_t rect[4]) {
  RECT r;
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0)) return false;
  rect[0] = r.left;
  rect[1] = r.top;
  rect[2] = r.right;
  rect[3] = r.bottom;
  return true;
}

bool CreateMainWindow(const char* title, int32_t left, int32_t top, int32_t width, int32_t height,
                      int32_t& extraWidth, int32_t& extraHeight, std::string& error) {
  // A caption, a close box, minimise and maximise boxes and a frame to
  // resize by: the device follows the client size.
  const DWORD style = WS_OVERLAPPEDWINDOW;
  RECT r = {left, top, left + width, top + height};
  AdjustWindowRect(&r, style, FALSE);
  extraWidth = (r.right - r.left) - width;
  extraHeight = (r.bottom - r.top) - height;
  window = CreateWindowExA(0, registeredClass.c_str(), title, style, left, top, width, height,
                           nullptr, nullptr, instance, nullptr);
  if (!window) {
    error = "CreateWindowExA: " + LastErrorText();
    return false;
  }
  alive = true;
  ShowWindow(window, SW_SHOWDEFAULT);
  UpdateWindow(window);
  return true;
}

bool FullScreen(bool on) {
  if (!window || !alive) return false;
  if (on == fullScreen) return true;
  if (on) {
    // A frameless window over the whole monitor: the device stays windowed,
    // so nothing switches modes and other windows keep working.
    MONITORINFO mi;
    mi.cbSize = sizeof mi;
    savedPlacement.length = sizeof savedPlacement;
    if (!GetWindowPlacement(window, &savedPlacement) ||
        !GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &mi))
      return false;
    savedStyle = GetWindowLongPtrA(window, GWL_STYLE);
    SetWindowLongPtrA(window, GWL_STYLE, (savedStyle & ~LONG_PTR(WS_OVERLAPPEDWINDOW)) | WS_POPUP);
    SetWindowPos(window, HWND_TOP, mi.rcMonitor.left, mi.rcMonitor.top, mi.rcMonitor.right - mi.rcMonitor.left,
                 mi.rcMonitor.bottom - mi.rcMonitor.top, SWP_FRAMECHANGED | SWP_NOOWNERZORDER);
  } else {
    SetWindowLongPtrA(window, GWL_STYLE, savedStyle);
    SetWindowPlacement(window, &savedPlacement);
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_FRAMECHANGED);
  }
  fullScreen = on;
  return true;
}

bool IsFullScreen() { return fullScreen; }

void* MainWindowHandle() { return window; }
bool MainWindowAlive() { return window && alive; }

void ClientSize(int32_t& width, int32_t& height) {
  width = height = 0;
  RECT r;
  if (window && GetClientRect(window, &r)) {
    width = r.right - r.left;
    height = r.bottom - r.top;
  }
}

bool Peek(Message& out) {
  for (;;) {
    if (!kept.empty()) {
      out = kept.front();
      kept.pop_front();
      return true;
    }
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
      out = Message{WM_QUIT, uintptr_t(msg.wParam), intptr_t(msg.lParam)};
      return true;
    }
    // Key messages are not translated: no character messages.
    DispatchMessageA(&msg);
  }
}

bool WaitForMessage(uint32_t milliseconds) {
  if (!kept.empty()) return true;
  // MWMO_INPUTAVAILABLE: messages already seen but not taken count too.
  return MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0;
}

bool Minimised() { return !window || !alive || IsIconic(window); }

void FineTimer(bool on) {
  if (on) timeBeginPeriod(1);
  else timeEndPeriod(1);
}

void Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (window && alive) PostMessageA(window, message, WPARAM(wParam), LPARAM(lParam));
}

void Quit(int32_t exitCode) { PostQuitMessage(exitCode); }

intptr_t Default(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (!window || !alive) return 0;
  return DefWindowProcA(window, message, WPARAM(wParam), LPARAM(lParam));
}

void Destroy() {
  if (window && alive) DestroyWindow(window);
}

bool CursorClientPos(int32_t& x, int32_t& y) {
  x = y = 0;
  POINT p;
  if (!window || !GetCursorPos(&p) || !ScreenToClient(window, &p)) return false;
  x = p.x;
  y = p.y;
  return true;
}

void SetCursorClientPos(int32_t x, int32_t y) {
  POINT p = {x, y};
  if (window && alive && ClientToScreen(window, &p)) SetCursorPos(p.x, p.y);
}

int32_t ShowSystemCursor(bool show) { return ShowCursor(show ? TRUE : FALSE); }

void Capture(bool on) {
  if (!on)
    ReleaseCapture();
  else if (window && alive)
    SetCapture(window);
}

bool Foreground() { return window && alive && GetForegroundWindow() == window; }

bool CounterFrequency(int64_t* frequency) {
  LARGE_INTEGER f;
  if (!QueryPerformanceFrequency(&f)) return false;
  *frequency = f.QuadPart;
  return true;
}

int64_t Counter() {
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return c.QuadPart;
}

uint32_t Milliseconds() { return timeGetTime(); }

uint32_t VirtualKeyFromScanCode(uint32_t scanCode) { return MapVirtualKeyA(scanCode, MAPVK_VSC_TO_VK); }

std::string LastErrorText() {
  DWORD code = GetLastError();
  char text[512] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                           0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) text[--n] = 0;
  return n ? std::string(text) : "error " + std::to_string(code);
}

}  // namespace win32
