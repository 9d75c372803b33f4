// Win32 calls behind the window layer, with plain types only: windows.h
// defines the same names as platform/window/window.h (MSG, WM_*, ShowCursor,
// PostQuitMessage ...), so window.cpp implements that header on top of these
// and only native_window.cpp sees windows.h. Message numbers and parameters
// are Windows' own on both sides.
#pragma once
#include <cstdint>
#include <string>

namespace win32 {

struct Message {
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

// RegisterClassExA with the window procedure below; false with the reason.
bool RegisterMainClass(const char* className, std::string& error);
void UnregisterMainClass();
// SystemParametersInfoA(SPI_GETWORKAREA): left, top, right, bottom.
bool WorkArea(int32_t rect[4]);
// CreateWindowExA (caption, close, minimise and maximise boxes, a sizing
// frame), ShowWindow, UpdateWindow; the frame's extra width and height come
// from AdjustWindowRect.
bool CreateMainWindow(const char* title, int32_t left, int32_t top, int32_t width, int32_t height,
                      int32_t& extraWidth, int32_t& extraHeight, std::string& error);
void* MainWindowHandle();  // the HWND, null when there is none
// A frameless popup over the window's monitor, or back to the saved style
// and placement; false when Windows refused.
bool FullScreen(bool on);
bool IsFullScreen();
bool MainWindowAlive();
void ClientSize(int32_t& width, int32_t& height);

// PeekMessageA with PM_REMOVE and DispatchMessageA until the window
// procedure has handed over a message it keeps for the program (those of
// the design: destroy, focus, keys, buttons, wheel, close) or WM_QUIT
// arrives; false when the queue is empty.
bool Peek(Message& out);
void Post(uint32_t message, uintptr_t wParam, intptr_t lParam);  // PostMessageA to the window
void Quit(int32_t exitCode);                                      // PostQuitMessage
intptr_t Default(uint32_t message, uintptr_t wParam, intptr_t lParam);  // DefWindowProcA
void Destroy();                                                         // DestroyWindow
// MsgWaitForMultipleObjectsEx on no handles: true when input or a message
// arrived within the milliseconds, false when the time passed first.
bool WaitForMessage(uint32_t milliseconds);
bool Minimised();  // IsIconic, or no window
// timeBeginPeriod(1) / timeEndPeriod(1): Sleep to the millisecond.
void FineTimer(bool on);

bool CursorClientPos(int32_t& x, int32_t& y);  // GetCursorPos + ScreenToClient
void SetCursorClientPos(int32_t x, int32_t y);  // ClientToScreen + SetCursorPos
int32_t ShowSystemCursor(bool show);
void Capture(bool on);  // SetCapture / ReleaseCapture
bool Foreground();      // GetForegroundWindow() is the main window

// MapVirtualKeyA(MAPVK_VSC_TO_VK): the virtual-key code the current keyboard
// layout gives the key with this set-1 scan code; 0 for none.
uint32_t VirtualKeyFromScanCode(uint32_t scanCode);

// The performance counter and the multimedia timer.
bool CounterFrequency(int64_t* frequency);
int64_t Counter();
uint32_t Milliseconds();

// FormatMessageA text of GetLastError(), for failure lines.
std::string LastErrorText();

}  // namespace win32
