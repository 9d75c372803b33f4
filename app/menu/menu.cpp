#include "app/menu/menu.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "air/air.h"
#include "app/camera.h"
#include "app/flight_session.h"
#include "app/menu/calibration.h"
#include "app/menu/menu_renderer.h"
#include "app/menu/menu_pages.h"
#include "app/menu/settings_edit.h"
#include "app/settings.h"
#include "app/stick.h"
#include "foundation/log.h"
#include "platform/gpu/device.h"
#include "platform/input/joystick.h"
#include "platform/window/window.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"

namespace {

bool gOpen = false;
bool gResume = false;  // the simulation ran when the menu opened
std::string gPath;
std::string gStatus;
ImGuiContext* gContext = nullptr;
bool gCloseWanted = false;
float gNav[ImGuiNavInput_COUNT];  // the stick's navigation, read between frames
// A press and its release between two menu frames would never be seen (this
// ImGui reads held states per frame): such a release waits for the next frame.
bool gMouseSeen[3] = {true, true, true}, gMouseUpLater[3];
bool gKeySeen[512], gKeyUpLater[512];

void Press(bool& down, bool& seen, bool& upLater) {
  down = true;
  seen = false;
  upLater = false;
}
void Release(bool& down, bool seen, bool& upLater) {
  if (seen) down = false;
  else upLater = true;
}

// Keyboard keys to the characters a number or a name field takes: the
// window gives key codes only, and every field of the menu is numbers,
// words or file names.
int CharacterOf(uint32_t code, bool shift) {
  if (code >= '0' && code <= '9') return shift ? 0 : int(code);
  if (code >= 'A' && code <= 'Z') return shift ? int(code) : int(code - 'A' + 'a');
  if (code >= 0x60 && code <= 0x69) return int('0' + code - 0x60);  // keypad digits
  switch (code) {
    case VK_SPACE: return ' ';
    case 0xBE: case 0x6E: return '.';
    case 0xBD: return shift ? '_' : '-';
    case 0x6D: return '-';
    case 0x6B: return '+';
    case 0xBB: return shift ? '+' : '=';
    case 0xBC: return ',';
    case 0xBF: return '/';
    default: return 0;
  }
}

void EnsureContext() {
  if (gContext) return;
  gContext = ImGui::CreateContext();
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;  // the menu's layout is fixed: nothing written beside the program
  io.LogFilename = nullptr;
  io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard | ImGuiConfigFlags_NavEnableGamepad;
  io.BackendPlatformName = "tarnsim";
  io.BackendRendererName = "tarnsim device";
  io.BackendFlags |= ImGuiBackendFlags_RendererHasVtxOffset;
  const int map[][2] = {
      {ImGuiKey_Tab, VK_TAB},         {ImGuiKey_LeftArrow, VK_LEFT}, {ImGuiKey_RightArrow, VK_RIGHT},
      {ImGuiKey_UpArrow, VK_UP},      {ImGuiKey_DownArrow, VK_DOWN}, {ImGuiKey_PageUp, VK_PRIOR},
      {ImGuiKey_PageDown, VK_NEXT},   {ImGuiKey_Home, VK_HOME},      {ImGuiKey_End, VK_END},
      {ImGuiKey_Insert, VK_INSERT},   {ImGuiKey_Delete, VK_DELETE},  {ImGuiKey_Backspace, VK_BACK},
      {ImGuiKey_Space, VK_SPACE},     {ImGuiKey_Enter, VK_RETURN},   {ImGuiKey_Escape, VK_ESCAPE},
      {ImGuiKey_KeyPadEnter, VK_RETURN}, {ImGuiKey_A, 'A'}, {ImGuiKey_C, 'C'}, {ImGuiKey_V, 'V'},
      {ImGuiKey_X, 'X'},              {ImGuiKey_Y, 'Y'},             {ImGuiKey_Z, 'Z'},
  };
  for (const auto& m : map) io.KeyMap[m[0]] = m[1];
  ImGui::StyleColorsDark();
  ImGuiStyle& style = ImGui::GetStyle();
  style.WindowRounding = 4;
  style.FrameRounding = 3;
  style.Colors[ImGuiCol_WindowBg].w = 0.92f;
}

// The stick's standard buttons and left stick as ImGui's navigation.
void ReadStickNavigation() {
  std::memset(gNav, 0, sizeof gNav);
  const std::vector<JoystickReading>& devices = Joysticks();
  int chosen = ChooseStickDevice(devices, UserSettings);
  if (chosen < 0 || !devices[size_t(chosen)].controller) return;
  const JoystickReading& d = devices[size_t(chosen)];
  auto button = [&d](const char* name) {
    int b = ControllerButtonFromName(name);
    return b >= 0 && d.controllerButtons[b] ? 1.0f : 0.0f;
  };
  gNav[ImGuiNavInput_Activate] = button("a");
  gNav[ImGuiNavInput_Cancel] = button("b");
  gNav[ImGuiNavInput_Input] = button("y");
  gNav[ImGuiNavInput_Menu] = button("x");
  gNav[ImGuiNavInput_DpadLeft] = button("dpleft");
  gNav[ImGuiNavInput_DpadRight] = button("dpright");
  gNav[ImGuiNavInput_DpadUp] = button("dpup");
  gNav[ImGuiNavInput_DpadDown] = button("dpdown");
  gNav[ImGuiNavInput_FocusPrev] = button("leftshoulder");
  gNav[ImGuiNavInput_FocusNext] = button("rightshoulder");
  // The left stick beyond a small deadzone.
  auto axis = [&d](int a, float sign) {
    float v = float(d.controllerAxes[a]) * sign;
    return v > 0.3f ? (v - 0.3f) / 0.7f : 0.0f;
  };
  gNav[ImGuiNavInput_LStickLeft] = axis(0, -1);
  gNav[ImGuiNavInput_LStickRight] = axis(0, 1);
  gNav[ImGuiNavInput_LStickUp] = axis(1, -1);
  gNav[ImGuiNavInput_LStickDown] = axis(1, 1);
}

// Releases through the key table every key held when the menu opens: the
// menu takes their releases, and nothing may stay held behind it.
void ReleaseHeldKeys() {
  for (uint32_t code = 0; code < 256; code++) {
    if (!KeyHeld(code)) continue;
    if (code == VK_LBUTTON || code == VK_RBUTTON || code == VK_MBUTTON) ReleaseKey(code);
    else EnterKeyMessage(code, false);
  }
}

void PressPause() {
  EnterKeyMessage(VK_PAUSE, true);
  EnterKeyMessage(VK_PAUSE, false);
}

}  // namespace

void SetMenuSettingsPath(const std::string& path) { gPath = path; }
void MenuAfterReset() { gResume = false; }
const std::string& MenuSettingsPath() { return gPath; }

bool MenuOpen() { return gOpen; }
const std::string& MenuStatus() { return gStatus; }
void SetMenuStatus(const std::string& text) { gStatus = text; }

void OpenMenu() {
  if (gOpen) return;
  EnsureContext();
  gOpen = true;
  gCloseWanted = false;
  ReleaseHeldKeys();
  // Paused as the pilot pauses: through the key, so a recording has it.
  gResume = !Paused;
  if (gResume) PressPause();
  ImGuiIO& io = ImGui::GetIO();
  for (bool& k : io.KeysDown) k = false;
  for (bool& b : io.MouseDown) b = false;
  int32_t x = 0, y = 0;
  if (GetCursorClientPos(x, y)) io.MousePos = ImVec2(float(x), float(y));
  MenuPagesOpened();
}

void CloseMenu() {
  if (!gOpen) return;
  gOpen = false;
  MenuPagesClosed();
  if (gResume) PressPause();
}

bool MenuWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (!gOpen) return false;
  ImGuiIO& io = ImGui::GetIO();
  const uint32_t code = uint32_t(wParam & 0xFF);
  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (message == WM_SYSKEYDOWN && code == VK_F4) return false;  // Alt+F4 still quits
      if (MenuPagesTakeKey(code)) return true;  // a key being bound
      if (code == VK_ESCAPE || KeyBinding[code] == ActionKey(kActMenu)) {
        gCloseWanted = true;
        return true;
      }
      Press(io.KeysDown[code], gKeySeen[code], gKeyUpLater[code]);
      if (code == VK_SHIFT) io.KeyShift = true;
      if (code == VK_CONTROL) io.KeyCtrl = true;
      if (code == VK_MENU) io.KeyAlt = true;
      if (!io.KeyCtrl && !io.KeyAlt)
        if (int c = CharacterOf(code, io.KeyShift)) io.AddInputCharacter(unsigned(c));
      return true;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      Release(io.KeysDown[code], gKeySeen[code], gKeyUpLater[code]);
      if (code == VK_SHIFT) io.KeyShift = false;
      if (code == VK_CONTROL) io.KeyCtrl = false;
      if (code == VK_MENU) io.KeyAlt = false;
      return true;
    case WM_MOUSEMOVE:
      io.MousePos = ImVec2(float(GET_X_LPARAM(lParam)), float(GET_Y_LPARAM(lParam)));
      MouseX = io.MousePos.x;
      MouseY = io.MousePos.y;
      return true;
    case WM_LBUTTONDOWN: Press(io.MouseDown[0], gMouseSeen[0], gMouseUpLater[0]); return true;
    case WM_LBUTTONUP: Release(io.MouseDown[0], gMouseSeen[0], gMouseUpLater[0]); return true;
    case WM_RBUTTONDOWN: Press(io.MouseDown[1], gMouseSeen[1], gMouseUpLater[1]); return true;
    case WM_RBUTTONUP: Release(io.MouseDown[1], gMouseSeen[1], gMouseUpLater[1]); return true;
    case WM_MBUTTONDOWN: Press(io.MouseDown[2], gMouseSeen[2], gMouseUpLater[2]); return true;
    case WM_MBUTTONUP: Release(io.MouseDown[2], gMouseSeen[2], gMouseUpLater[2]); return true;
    case WM_MOUSEWHEEL: io.MouseWheel += float(GET_WHEEL_DELTA_WPARAM(wParam)) / float(WHEEL_DELTA); return true;
    default: return false;
  }
}

void MenuInputPass() {
  if (!gOpen) {
    if (ConsumePresses(ActionKey(kActMenu))) OpenMenu();
    return;
  }
  // The stick's menu button closes it as it opened it.
  if (ConsumePresses(ActionKey(kActMenu))) gCloseWanted = true;
  ReadStickNavigation();
  MenuPagesInputPass();
  if (gCloseWanted) CloseMenu();
}

void DrawMenu() {
  if (!gOpen || !gContext) return;
  ImGuiIO& io = ImGui::GetIO();
  D3DVIEWPORT9 vp = {0, 0, 1024, 768, 0, 1};
  if (Device) Device->GetViewport(&vp);
  io.DisplaySize = ImVec2(float(vp.Width), float(vp.Height));
  // The frame clock's time, within what ImGui accepts.
  io.DeltaTime = float(std::min(std::max(CurrentDt, 1e-4), 0.25));
  const bool stick = ChooseStickDevice(Joysticks(), UserSettings) >= 0;
  if (stick) io.BackendFlags |= ImGuiBackendFlags_HasGamepad;
  else io.BackendFlags &= ~ImGuiBackendFlags_HasGamepad;
  std::memcpy(io.NavInputs, gNav, sizeof gNav);
  // The pointer as the window sees it now: not every window system sends
  // its moves as messages.
  int32_t x = 0, y = 0;
  if (GetCursorClientPos(x, y)) {
    io.MousePos = ImVec2(float(x), float(y));
    MouseX = x;
    MouseY = y;
  }
  if (Device) CreateMenuFontTexture();

  ImGui::NewFrame();
  if (!DrawMenuPages()) gCloseWanted = true;
  ImGui::Render();
  RenderMenuDrawData(ImGui::GetDrawData());
  io.MouseWheel = 0;
  for (int b = 0; b < 3; b++) {
    gMouseSeen[b] = true;
    if (gMouseUpLater[b]) io.MouseDown[b] = gMouseUpLater[b] = false;
  }
  for (int k = 0; k < 512; k++) {
    gKeySeen[k] = true;
    if (gKeyUpLater[k]) io.KeysDown[k] = gKeyUpLater[k] = false;
  }
}

void ShutdownMenu() {
  ReleaseMenuRenderer();
  if (gContext) ImGui::DestroyContext(gContext);
  gContext = nullptr;
  gOpen = false;
}

void SaveMenuSettings(const std::vector<SettingChange>& changes) {
  if (gPath.empty()) return;
  std::string reason;
  if (SaveSettingChanges(gPath, changes, DefaultSettingsText(), reason)) {
    gStatus = "Saved to " + gPath;
  } else {
    gStatus = "Could not save " + gPath + " (" + reason + "); the file is as it was";
    Log("Menu: could not save %s (%s); the file is as it was\n", gPath.c_str(), reason.c_str());
  }
}
