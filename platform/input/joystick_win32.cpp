// Game controllers and joysticks on Windows, behind the same header as the SDL
// backend and with the same console lines. XInput pads (slots 0-3) are game
// controllers; every other joystick is read through winmm as a plain
// joystick. Devices are polled once per frame; a slot or winmm id with no
// device is tried again at most once a second, since asking winmm about an
// absent id is slow on real Windows.
#include "platform/input/joystick_win32.h"

#include <regstr.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "foundation/log.h"

namespace win32_joystick {

namespace {

// SDL reads a stick's Y as positive down; XInput's is positive up. Negated,
// the centre stays exactly 0 and the lowest reading still ends at 1.
double DownAxis(SHORT v) { return AxisFromRaw(std::min(-int32_t(v), 32767)); }

struct ButtonBit {
  WORD bit;
  int controllerButton;  // standard button, in SDL's order
};
// The raw buttons, in SDL's XInput order.
const ButtonBit kPadButtons[] = {
    {XINPUT_GAMEPAD_A, 0},           {XINPUT_GAMEPAD_B, 1},
    {XINPUT_GAMEPAD_X, 2},           {XINPUT_GAMEPAD_Y, 3},
    {XINPUT_GAMEPAD_LEFT_SHOULDER, 9}, {XINPUT_GAMEPAD_RIGHT_SHOULDER, 10},
    {XINPUT_GAMEPAD_BACK, 4},        {XINPUT_GAMEPAD_START, 6},
    {XINPUT_GAMEPAD_LEFT_THUMB, 7},  {XINPUT_GAMEPAD_RIGHT_THUMB, 8},
};
// The d-pad: raw hat buttons up, right, down, left; standard dpup ... dpright.
const ButtonBit kPadHat[kPovButtons] = {
    {XINPUT_GAMEPAD_DPAD_UP, 11}, {XINPUT_GAMEPAD_DPAD_RIGHT, 14},
    {XINPUT_GAMEPAD_DPAD_DOWN, 12}, {XINPUT_GAMEPAD_DPAD_LEFT, 13},
};
constexpr size_t kPadRawButtons = sizeof kPadButtons / sizeof kPadButtons[0];

std::string Hex(const uint8_t* bytes, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; i++) s += digits[bytes[i] >> 4], s += digits[bytes[i] & 15];
  return s;
}

// SDL's CRC-16 of a device name (the ARC variant: reflected 0x8005, start 0).
uint16_t Crc16(const std::string& s) {
  uint16_t crc = 0;
  for (unsigned char c : s) {
    crc ^= c;
    for (int i = 0; i < 8; i++) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
  }
  return crc;
}

void PutLe16(uint8_t* at, uint16_t v) { at[0] = uint8_t(v & 0xFF), at[1] = uint8_t(v >> 8); }

}  // namespace

void ReadXInput(const XINPUT_STATE& state, JoystickReading& r) {
  const XINPUT_GAMEPAD& pad = state.Gamepad;
  double leftTrigger = pad.bLeftTrigger / 255.0, rightTrigger = pad.bRightTrigger / 255.0;
  const double standard[kControllerAxisCount] = {
      AxisFromRaw(pad.sThumbLX), DownAxis(pad.sThumbLY), AxisFromRaw(pad.sThumbRX),
      DownAxis(pad.sThumbRY),  leftTrigger,            rightTrigger};
  std::copy(standard, standard + kControllerAxisCount, r.controllerAxes);
  r.axes = {standard[0], standard[1], 2 * leftTrigger - 1, standard[2], standard[3], 2 * rightTrigger - 1};
  r.buttons.assign(kPadRawButtons + kPovButtons, 0);
  std::fill(r.controllerButtons, r.controllerButtons + kControllerButtonCount, 0);
  for (size_t b = 0; b < kPadRawButtons + kPovButtons; b++) {
    const ButtonBit& bb = b < kPadRawButtons ? kPadButtons[b] : kPadHat[b - kPadRawButtons];
    uint8_t down = (pad.wButtons & bb.bit) ? 1 : 0;
    r.buttons[b] = down;
    r.controllerButtons[bb.controllerButton] = down;
  }
}

double RangeAxis(DWORD value, UINT min, UINT max) {
  if (max <= min) return 0;
  // SDL's arithmetic, single precision included, so both builds read alike.
  float scale = 65535.0f / float(max - min);
  float v = std::floor(float(int64_t(value) - int64_t(min)) * scale - 32768.0f + 0.5f);
  return AxisFromRaw(int32_t(std::max(-32768.0f, std::min(v, 32767.0f))));
}

void PovButtons(DWORD pov, uint8_t out[kPovButtons]) {
  for (int d = 0; d < kPovButtons; d++) {
    long off = std::labs(long(pov) - d * 9000L) % 36000;
    out[d] = pov < 36000 && std::min(off, 36000 - off) < 6750 ? 1 : 0;
  }
}

void ReadWinmm(const JOYCAPSA& caps, const JOYINFOEX& info, JoystickReading& r) {
  struct Axis {
    bool present;
    DWORD value;
    UINT min, max;
  };
  const Axis all[] = {{true, info.dwXpos, caps.wXmin, caps.wXmax},
                      {true, info.dwYpos, caps.wYmin, caps.wYmax},
                      {(caps.wCaps & JOYCAPS_HASZ) != 0, info.dwZpos, caps.wZmin, caps.wZmax},
                      {(caps.wCaps & JOYCAPS_HASR) != 0, info.dwRpos, caps.wRmin, caps.wRmax},
                      {(caps.wCaps & JOYCAPS_HASU) != 0, info.dwUpos, caps.wUmin, caps.wUmax},
                      {(caps.wCaps & JOYCAPS_HASV) != 0, info.dwVpos, caps.wVmin, caps.wVmax}};
  r.axes.clear();
  for (const Axis& a : all)
    if (a.present) r.axes.push_back(RangeAxis(a.value, a.min, a.max));
  size_t buttons = std::min<UINT>(caps.wNumButtons, 32);
  bool pov = (caps.wCaps & JOYCAPS_HASPOV) != 0;
  r.buttons.assign(buttons + (pov ? kPovButtons : 0), 0);
  for (size_t b = 0; b < buttons; b++) r.buttons[b] = (info.dwButtons >> b) & 1;
  if (pov) PovButtons(info.dwPOV, &r.buttons[buttons]);
}

std::string JoystickGuid(uint16_t bus, uint16_t vendor, uint16_t product, uint16_t version,
                         const std::string& name) {
  uint8_t g[16] = {};
  PutLe16(g, bus);
  PutLe16(g + 2, Crc16(name));
  if (vendor && product) {
    PutLe16(g + 4, vendor);
    PutLe16(g + 8, product);
    PutLe16(g + 12, version);
  } else {
    std::memcpy(g + 4, name.data(), std::min<size_t>(name.size(), 11));
  }
  return Hex(g, sizeof g);
}

std::string XInputGuid(uint8_t subType) {
  uint8_t g[16] = {'x', 'i', 'n', 'p', 'u', 't', subType};
  return Hex(g, sizeof g);
}

bool IsXInputPad(uint16_t vendor, uint16_t product, const std::string& name) {
  std::string lower = name;
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("xinput") != std::string::npos || lower.find("xbox") != std::string::npos ||
         (vendor == 0x045E && product >= 0x0200);
}

}  // namespace win32_joystick

using namespace win32_joystick;

namespace {

constexpr ULONGLONG kAbsentPollMs = 1000;
constexpr uint16_t kBusUsb = 0x03;

const char* const kAxisNames[kControllerAxisCount] = {"leftx",  "lefty",       "rightx",
                                                       "righty", "lefttrigger", "righttrigger"};
const char* const kButtonNames[kControllerButtonCount] = {
    "a",         "b",          "x",        "y",         "back",      "guide",         "start",
    "leftstick", "rightstick", "leftshoulder", "rightshoulder", "dpup", "dpdown",     "dpleft",
    "dpright",   "misc1",      "paddle1",  "paddle2",   "paddle3",   "paddle4",       "touchpad"};

enum class SlotState { kAbsent, kOpen, kSkipped };

// One XInput slot or winmm id.
struct Slot {
  SlotState state = SlotState::kAbsent;
  ULONGLONG nextProbe = 0;  // when an absent or skipped slot is asked again (GetTickCount64)
  int32_t id = -1;          // the open device's instance number
  JOYCAPSA caps = {};       // winmm: the open device's
};

bool gStarted = false;
int32_t gNextId = 0;
Slot gPads[XUSER_MAX_COUNT];
std::vector<Slot> gSticks;  // by winmm id
std::vector<JoystickReading> gReadings;

JoystickReading* ReadingOf(const Slot& slot) {
  for (JoystickReading& r : gReadings)
    if (r.id == slot.id) return &r;
  return nullptr;
}

void Connect(Slot& slot, JoystickReading& r) {
  r.id = gNextId++;
  slot.id = r.id;
  slot.state = SlotState::kOpen;
  Log("Joystick %d connected: \"%s\", %d axes, %d buttons, %s, GUID %s\n", int(r.id), r.name.c_str(),
      int(r.axes.size()), int(r.buttons.size()), r.controller ? "game controller" : "plain joystick",
      r.guid.c_str());
  gReadings.push_back(std::move(r));
}

void Disconnect(Slot& slot, ULONGLONG now) {
  for (size_t i = 0; i < gReadings.size(); i++) {
    if (gReadings[i].id != slot.id) continue;
    Log("Joystick %d disconnected: \"%s\"\n", int(gReadings[i].id), gReadings[i].name.c_str());
    gReadings.erase(gReadings.begin() + long(i));
    break;
  }
  slot = Slot();
  slot.nextProbe = now + kAbsentPollMs;
}

void UpdatePad(DWORD index, ULONGLONG now) {
  Slot& slot = gPads[index];
  if (slot.state != SlotState::kOpen && now < slot.nextProbe) return;
  XINPUT_STATE state = {};
  bool present = XInputGetState(index, &state) == ERROR_SUCCESS;
  if (slot.state == SlotState::kOpen) {
    if (present) ReadXInput(state, *ReadingOf(slot));
    else Disconnect(slot, now);
    return;
  }
  if (!present) {
    slot.nextProbe = now + kAbsentPollMs;
    return;
  }
  XINPUT_CAPABILITIES caps = {};
  uint8_t subType = XInputGetCapabilities(index, 0, &caps) == ERROR_SUCCESS ? caps.SubType
                                                                           : XINPUT_DEVSUBTYPE_GAMEPAD;
  JoystickReading r;
  r.name = "XInput Controller #" + std::to_string(index + 1);
  r.guid = XInputGuid(subType);
  r.controller = true;
  ReadXInput(state, r);
  Connect(slot, r);
}

std::string RegistryText(HKEY root, const std::string& key, const std::string& value) {
  char text[MAXPNAMELEN * 4] = {};
  DWORD size = sizeof text - 1;
  if (RegGetValueA(root, key.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
    return "";
  return text;
}

// winmm names every joystick "Microsoft PC-joystick driver"; the product's
// own name is the OEM entry its current settings point at ("" when none).
std::string ProductName(UINT id, const JOYCAPSA& caps) {
  std::string settings = std::string(REGSTR_PATH_JOYCONFIG) + "\\" + caps.szRegKey + "\\" + REGSTR_KEY_JOYCURR;
  std::string value = "Joystick" + std::to_string(id + 1) + REGSTR_VAL_JOYOEMNAME;
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    std::string oem = RegistryText(root, settings, value);
    if (oem.empty()) continue;
    for (HKEY oemRoot : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      std::string name = RegistryText(oemRoot, std::string(REGSTR_PATH_JOYOEM) + "\\" + oem, REGSTR_VAL_JOYOEMNAME);
      if (!name.empty()) return name;
    }
  }
  return "";
}

void UpdateStick(UINT id, ULONGLONG now) {
  Slot& slot = gSticks[id];
  if (slot.state != SlotState::kOpen && now < slot.nextProbe) return;
  JOYINFOEX info = {};
  info.dwSize = sizeof info;
  info.dwFlags = JOY_RETURNALL | ((slot.caps.wCaps & JOYCAPS_POVCTS) ? JOY_RETURNPOVCTS : 0);
  bool present = joyGetPosEx(id, &info) == JOYERR_NOERROR;
  if (slot.state == SlotState::kOpen) {
    if (present) ReadWinmm(slot.caps, info, *ReadingOf(slot));
    else Disconnect(slot, now);
    return;
  }
  slot.nextProbe = now + kAbsentPollMs;
  if (!present) {
    slot.state = SlotState::kAbsent;
    return;
  }
  if (slot.state == SlotState::kSkipped) return;  // still plugged in
  // Arrived. A device that cannot be used is named once, then left alone
  // until it is unplugged.
  slot.state = SlotState::kSkipped;
  JOYCAPSA caps = {};
  MMRESULT capsError = joyGetDevCapsA(id, &caps, sizeof caps);
  if (capsError != JOYERR_NOERROR) {
    Log("Joystick %d cannot be opened: joyGetDevCaps error %u\n", int(id), unsigned(capsError));
    return;
  }
  JoystickReading r;
  r.name = ProductName(id, caps);
  if (r.name.empty()) r.name = caps.szPname[0] ? std::string(caps.szPname, strnlen(caps.szPname, MAXPNAMELEN)) : "(no name)";
  if (IsXInputPad(caps.wMid, caps.wPid, r.name)) return;
  r.guid = JoystickGuid(kBusUsb, caps.wMid, caps.wPid, 0, r.name);
  ReadWinmm(caps, info, r);
  slot.caps = caps;
  Connect(slot, r);
}

bool SameNoCase(const std::string& a, const char* b) {
  return a.size() == std::strlen(b) && _strnicmp(a.c_str(), b, a.size()) == 0;
}

}  // namespace

bool StartJoysticks() {
  if (gStarted) return true;
  // winmm's count is how many ids its driver serves, present or not.
  gSticks.assign(joyGetNumDevs(), Slot());
  for (Slot& pad : gPads) pad = Slot();
  gStarted = true;
  return true;
}

void StopJoysticks() {
  if (!gStarted) return;
  while (!gReadings.empty()) {
    Log("Joystick %d disconnected: \"%s\"\n", int(gReadings.back().id), gReadings.back().name.c_str());
    gReadings.pop_back();
  }
  gSticks.clear();
  gStarted = false;
}

const std::vector<JoystickReading>& UpdateJoysticks() {
  if (!gStarted) return gReadings;
  ULONGLONG now = GetTickCount64();
  for (DWORD i = 0; i < XUSER_MAX_COUNT; i++) UpdatePad(i, now);
  for (UINT id = 0; id < gSticks.size(); id++) UpdateStick(id, now);
  return gReadings;
}

const std::vector<JoystickReading>& Joysticks() { return gReadings; }

int ControllerAxisFromName(const std::string& name) {
  for (int a = 0; a < kControllerAxisCount; a++)
    if (SameNoCase(name, kAxisNames[a])) return a;
  return -1;
}

int ControllerButtonFromName(const std::string& name) {
  for (int b = 0; b < kControllerButtonCount; b++)
    if (SameNoCase(name, kButtonNames[b])) return b;
  return -1;
}

const char* ControllerAxisName(int axis) { return axis >= 0 && axis < kControllerAxisCount ? kAxisNames[axis] : ""; }

const char* ControllerButtonName(int button) {
  return button >= 0 && button < kControllerButtonCount ? kButtonNames[button] : "";
}
