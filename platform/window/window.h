// The main window, its graphics device and its input, shaped like the Win32
// calls the shell is written against: Windows message numbers and virtual-key
// codes, a non-blocking message peek, the cursor show counter, capture and
// the foreground test. Two implementations: SDL2 with an OpenGL 3.3 device
// (window.cpp here) and Win32 with a Direct3D 9 device (platform/win32); the
// build picks one, and neither SDL nor windows.h shows through this header.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gpu/types.h"

class IDirect3DDevice9;

// Window messages, with their Windows numbers.
enum : uint32_t {
  WM_NULL = 0x0000,
  WM_DESTROY = 0x0002,
  WM_SETFOCUS = 0x0007,    // wParam: window that lost the focus (always 0 here)
  WM_KILLFOCUS = 0x0008,   // wParam: window that gets the focus (always 0 here)
  WM_CLOSE = 0x0010,       // close box, or a request to quit from the system
  WM_QUIT = 0x0012,        // wParam: the exit code given to PostQuitMessage
  WM_KEYDOWN = 0x0100,     // wParam: virtual-key code; lParam: key flags below
  WM_KEYUP = 0x0101,
  WM_SYSKEYDOWN = 0x0104,  // a key with Alt held (no Ctrl), Alt itself, or F10
  WM_SYSKEYUP = 0x0105,
  WM_MOUSEMOVE = 0x0200,   // wParam: MK_ flags; lParam: client x (low word), y (high word)
  WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202,
  WM_RBUTTONDOWN = 0x0204,
  WM_RBUTTONUP = 0x0205,
  WM_MBUTTONDOWN = 0x0207,
  WM_MBUTTONUP = 0x0208,
  WM_MOUSEWHEEL = 0x020A,  // wParam: delta in 120ths of a notch (high word, signed), MK_ flags
                           // (low word); lParam: screen x, y. Positive: away from the user.
  WM_XBUTTONDOWN = 0x020B, // wParam high word: 1 first extra button, 2 second
  WM_XBUTTONUP = 0x020C,
  WM_MOUSEHWHEEL = 0x020E, // as WM_MOUSEWHEEL; positive: to the right
};

// Mouse message wParam flags: the buttons and modifiers held after the event.
enum : uint32_t {
  MK_LBUTTON = 0x01,
  MK_RBUTTON = 0x02,
  MK_SHIFT = 0x04,
  MK_CONTROL = 0x08,
  MK_MBUTTON = 0x10,
  MK_XBUTTON1 = 0x20,
  MK_XBUTTON2 = 0x40,
};

constexpr int32_t WHEEL_DELTA = 120;  // one notch

// Key message lParam bits, as Windows sets them.
enum : uint32_t {
  KEYMSG_REPEAT_ONE = 0x00000001,  // bits 0-15: repeat count, always 1 here
  KEYMSG_EXTENDED = 0x01000000,      // right Ctrl/Alt, the arrow and editing block, keypad Enter and /
  KEYMSG_ALTDOWN = 0x20000000,       // context code: Alt held
  KEYMSG_PREVIOUS = 0x40000000,      // the key was already down (auto-repeat, and every key up)
  KEYMSG_UP = 0x80000000u,           // transition: set on key up
};

// One message, as taken from the queue.
struct MSG {
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

inline int16_t GET_WHEEL_DELTA_WPARAM(uintptr_t wParam) { return int16_t(uint16_t(wParam >> 16)); }
inline int16_t GET_X_LPARAM(intptr_t lParam) { return int16_t(uint16_t(lParam)); }
inline int16_t GET_Y_LPARAM(intptr_t lParam) { return int16_t(uint16_t(uintptr_t(lParam) >> 16)); }
inline intptr_t MAKELPARAM(int32_t low, int32_t high) {
  return intptr_t(uint32_t(uint16_t(low)) | uint32_t(uint16_t(high)) << 16);
}

// Screen rectangle in pixels; right and bottom are exclusive.
struct WindowRect {
  int32_t left, top, right, bottom;
};

// --- Keyboard ----------------------------------------------------------------
// The virtual-key code of a key by its SDL name ("P", "Pause", "Space",
// "Left Shift", case-insensitive) or a common other name of it (see
// StandardKeyName); 0 when no key has that name or it has no code.
uint32_t VirtualKeyFromKeyName(const char* name);
// The SDL name of a key written the ways people write it: "Enter" and "Return"
// are "Return", "Esc" "Escape", "PgUp" and "Page Up" "PageUp", "Ctrl"
// "Left Ctrl", "Caps Lock" "CapsLock", "Num 5" "Keypad 5" (any case, spaces,
// underscores or hyphens between words). Any other name comes back unchanged.
std::string StandardKeyName(const char* name);
// The virtual-key code the current layout gives the key at the place where a
// US keyboard has `letter` ('A'..'Z'): 'Z' for 'W' on a French keyboard.
// Before the window system starts, the US letter itself; 0 for a non-letter.
uint32_t VirtualKeyAtPlace(char letter);

// --- Lifetime --------------------------------------------------------------
// Starts video and events. windowClass names the program's windows to the
// desktop (the X11 WM_CLASS class). Must come first; false on failure, with
// the reason in WindowSystemError().
bool StartWindowSystem(const char* windowClass);
// Destroys the window and its GL context and closes the video system.
void StopWindowSystem();
// What the last failing call of this layer reported.
const char* WindowSystemError();

// The desktop's work area (the primary display without panels and docks).
bool GetWorkArea(WindowRect& area);

// Creates and shows the one main window with a caption, close box and a
// frame the user can resize (and maximise), so that its outer frame covers
// the given screen rectangle (the client area is smaller by the frame), and
// makes its OpenGL 3.3 core context current: 24-bit depth, 8-bit stencil,
// double buffered, vertical sync as RequestDisplaySync asked (none by
// default). The client size can change later: GetClientSize says what it is.
bool OpenWindow(const char* title, int32_t left, int32_t top, int32_t width, int32_t height);
// Pixels the frame adds around the client area, in width and in height
// (both 0 when nothing decorates the window, as under a bare X server).
void GetWindowFrameSize(int32_t& extraWidth, int32_t& extraHeight);
// The client area in pixels.
void GetClientSize(int32_t& width, int32_t& height);
// Shows the back buffer (the device's Present); nothing once destroyed.
void SwapWindowBuffers();
// Creates the graphics device for the main window's client area of width x
// height pixels, presenting to the window: OpenGL 3.3 core on SDL, Direct3D 9
// on Windows. On failure returns the device's result code and
// WindowSystemError() says what the device needs.
HRESULT CreateWindowDevice(int32_t width, int32_t height, IDirect3DDevice9** out);
// Reads that device's back buffer (the frame drawn, before Present) as packed
// ARGB pixels, rows from the top, width x height. False when it cannot.
bool ReadWindowDevicePixels(IDirect3DDevice9* device, std::vector<uint32_t>& argb, uint32_t* width,
                            uint32_t* height);
// Before CreateWindowDevice: multisample anti-aliasing with this many
// samples a pixel (0, the default: none).
void RequestAntialiasing(int samples);
// The samples a pixel that device draws with: 0 without anti-aliasing, also
// when the driver refused the count asked for.
int WindowDeviceSamples(IDirect3DDevice9* device);
// Full screen: the window covers its whole display without a frame, in the
// desktop's own display mode (nothing switches modes), or goes back to the
// place and size it had. The client size changes as with a resize. False
// when the window system refused.
bool SetFullScreen(bool on);
bool WindowIsFullScreen();
// The window exists and has not been destroyed.
bool WindowIsOpen();

// --- Messages --------------------------------------------------------------
// Takes one message if there is any, never waits (PeekMessage with PM_REMOVE).
// Posted messages come first, then WM_QUIT once posted, then input.
bool PeekWindowMessage(MSG& msg);
// Waits up to `seconds` for input or a message without taking it: true as
// soon as there is something (PeekWindowMessage may still find nothing to
// hand over: a mouse move, a joystick event), false when the time passed.
// The idle program rests here instead of drawing the same frame again.
bool WaitWindowMessage(double seconds);
// The window is minimised or hidden: nothing it draws is seen.
bool WindowIsMinimised();
// Before OpenWindow and CreateWindowDevice: ask for presents that wait for
// the display's refresh (vertical sync) or not (the default). Afterwards,
// DisplaySynced() says whether the driver took it.
void RequestDisplaySync(bool on);
bool DisplaySynced();
void PostWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
void PostQuitMessage(int32_t exitCode);
// DestroyWindow: the window disappears at once and WM_DESTROY is queued;
// input stops. The GL context stays current until StopWindowSystem, so the
// device can still release its objects.
void DestroyMainWindow();
// The default handling of a message: WM_CLOSE destroys the window; every
// other message is ignored. Returns 0.
intptr_t DefWindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam);

// --- Cursor, capture, focus -------------------------------------------------
// The cursor position relative to the client area's top-left pixel; it may lie
// outside the client area (GetCursorPos followed by ScreenToClient).
bool GetCursorClientPos(int32_t& x, int32_t& y);
// Moves the system cursor to a client-area pixel (ClientToScreen + SetCursorPos).
void SetCursorClientPos(int32_t x, int32_t y);
// Windows' display counter: show adds 1, hide subtracts 1; the cursor is
// visible while the counter is >= 0. Returns the new counter (starts at 0).
int32_t ShowCursor(bool show);
// SetCapture: while a button that went down in the window is held, the mouse
// keeps reporting to the window even outside it (button ups included).
// ReleaseCapture ends that; losing the focus ends it too.
void SetCapture();
void ReleaseCapture();
// The main window is the foreground window: it has the keyboard focus.
bool IsForegroundWindow();
