// The window layer on Win32 with the Direct3D 9 device: platform/window/
// window.h on top of native_window.h. Here the shell's calls are Windows'
// own, so most of them pass straight through.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/clock.h"
#include "platform/d3d9/d3d9_device.h"
#include "platform/win32/native_window.h"
#include "platform/window/window.h"

namespace {

bool started = false;
bool syncWanted = false;
int samplesWanted = 0;
int32_t frameWidth = 0, frameHeight = 0;
std::string error;

// The design's clock: the performance counter, the multimedia timer without one.
const ClockSource kWindowsClock = {win32::CounterFrequency, win32::Counter, win32::Milliseconds};

// Key names as SDL spells them, so one settings file serves both builds.
// Letters, digits, F1-F24 and the keypad digits are handled by rule below.
struct NamedKey {
  const char* name;
  uint32_t vk;
};
const NamedKey kKeyNames[] = {
    {"Backspace", 0x08},    {"Tab", 0x09},          {"Clear", 0x0C},       {"Return", 0x0D},
    {"Keypad Enter", 0x0D}, {"Left Shift", 0x10},   {"Right Shift", 0x10}, {"Left Ctrl", 0x11},
    {"Right Ctrl", 0x11},   {"Left Alt", 0x12},     {"Right Alt", 0x12},   {"Pause", 0x13},
    {"CapsLock", 0x14},     {"Escape", 0x1B},       {"Space", 0x20},       {"PageUp", 0x21},
    {"PageDown", 0x22},     {"End", 0x23},          {"Home", 0x24},        {"Left", 0x25},
    {"Up", 0x26},           {"Right", 0x27},        {"Down", 0x28},        {"Select", 0x29},
    {"Execute", 0x2B},      {"PrintScreen", 0x2C},  {"Insert", 0x2D},      {"Delete", 0x2E},
    {"Help", 0x2F},         {"Left GUI", 0x5B},     {"Right GUI", 0x5C},   {"Application", 0x5D},
    {"Sleep", 0x5F},        {"Keypad *", 0x6A},     {"Keypad +", 0x6B},    {"Keypad -", 0x6D},
    {"Keypad .", 0x6E},     {"Keypad Decimal", 0x6E}, {"Keypad /", 0x6F},  {"Numlock", 0x90},
    {"ScrollLock", 0x91},   {";", 0xBA},            {"=", 0xBB},           {"+", 0xBB},
    {",", 0xBC},            {"-", 0xBD},            {".", 0xBE},           {"/", 0xBF},
    {"`", 0xC0},            {"[", 0xDB},            {"\\", 0xDC},         {"]", 0xDD},
    {"'", 0xDE},            {"AudioMute", 0xAD},    {"VolumeDown", 0xAE},  {"VolumeUp", 0xAF},
    {"AudioNext", 0xB0},    {"AudioPrev", 0xB1},    {"AudioStop", 0xB2},   {"AudioPlay", 0xB3},
};

bool SameName(const char* a, const char* b) {
  for (; *a && *b; a++, b++)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

// Set-1 scan codes of the letter keys, 'A' to 'Z', by their place on a US keyboard.
const uint8_t kLetterScanCodes[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                      0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                      0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};

}  // namespace

uint32_t VirtualKeyFromKeyName(const char* given) {
  if (!given || !*given) return 0;
  const std::string standard = StandardKeyName(given);
  const char* name = standard.c_str();
  size_t n = std::strlen(name);
  char c = char(std::toupper(static_cast<unsigned char>(name[0])));
  if (n == 1 && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return uint32_t(c);
  if (c == 'F' && n <= 3 && std::isdigit(static_cast<unsigned char>(name[1]))) {
    int f = std::atoi(name + 1);
    if (f >= 1 && f <= 24 && std::to_string(f) == name + 1) return 0x70 + uint32_t(f - 1);
  }
  if (SameName(std::string(name).substr(0, 7).c_str(), "Keypad ") && n == 8 && name[7] >= '0' && name[7] <= '9')
    return 0x60 + uint32_t(name[7] - '0');
  for (const NamedKey& k : kKeyNames)
    if (SameName(k.name, name)) return k.vk;
  return 0;
}

uint32_t VirtualKeyAtPlace(char letter) {
  if (letter < 'A' || letter > 'Z') return 0;
  // The layout's key at that place; the letter itself where the layout has none.
  uint32_t vk = win32::VirtualKeyFromScanCode(kLetterScanCodes[letter - 'A']);
  return vk ? vk : uint32_t(letter);
}

bool StartWindowSystem(const char* windowClass) {
  if (started) return true;
  // Console lines must survive a crash: nothing waits in a buffer.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  SetClockSource(kWindowsClock);
  error.clear();
  if (!win32::RegisterMainClass(windowClass ? windowClass : "", error)) return false;
  // Frame pacing sleeps: to the millisecond, not the default 15.6 ms tick.
  win32::FineTimer(true);
  started = true;
  return true;
}

void StopWindowSystem() {
  if (!started) return;
  win32::UnregisterMainClass();
  win32::FineTimer(false);
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
  HRESULT hr = CreateD3D9Device(win32::MainWindowHandle(), width, height, syncWanted, samplesWanted, out);
  if (FAILED(hr)) error = "Direct3D 9 with hardware vertex processing and a D24S8 depth buffer is required";
  return hr;
}

bool ReadWindowDevicePixels(IDirect3DDevice9* device, std::vector<uint32_t>& argb, uint32_t* width,
                            uint32_t* height) {
  return ReadD3D9BackBuffer(device, argb, width, height);
}

void RequestAntialiasing(int samples) { samplesWanted = samples; }
int WindowDeviceSamples(IDirect3DDevice9* device) { return D3D9DeviceSamples(device); }

bool SetFullScreen(bool on) {
  if (win32::FullScreen(on)) return true;
  error = "full screen: " + win32::LastErrorText();
  return false;
}

bool WindowIsFullScreen() { return win32::IsFullScreen(); }

bool WindowIsOpen() { return win32::MainWindowAlive(); }

bool PeekWindowMessage(MSG& msg) {
  win32::Message m;
  if (!started || !win32::Peek(m)) return false;
  msg = MSG{m.message, m.wParam, m.lParam};
  return true;
}

bool WaitWindowMessage(double seconds) {
  if (!started) return false;
  return win32::WaitForMessage(seconds <= 0 ? 0 : seconds > 3600 ? 3600000 : uint32_t(seconds * 1000 + 0.5));
}

bool WindowIsMinimised() { return win32::Minimised(); }

void RequestDisplaySync(bool on) { syncWanted = on; }
// Direct3D takes the presentation interval it is given.
bool DisplaySynced() { return syncWanted && win32::MainWindowHandle() != nullptr; }

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
