// The Windows joystick backend's conversions from the native structs to
// JoystickReading, apart from the Win32 calls so a test can feed them made-up
// structs. Only joystick_win32.cpp and its test include this header.
#pragma once
#include <windows.h>
// (windows.h first: these two need its types.)
#include <mmsystem.h>
#include <xinput.h>

#include <cstdint>
#include <string>

#include "platform/input/joystick.h"

namespace win32_joystick {

// Raw buttons a POV hat adds after the device's own: up, right, down, left.
constexpr int kPovButtons = 4;

// An XInput pad's state as SDL reads a game controller: standard axes with
// lefty/righty positive DOWN, sticks -1..1, triggers 0..1, and the standard
// buttons (XInput 9.1.0 cannot read the guide button: it stays 0). Raw: axes
// leftx, lefty, lefttrigger, rightx, righty, righttrigger (triggers -1..1),
// buttons A B X Y LB RB Back Start LS RS, then the d-pad as a hat.
void ReadXInput(const XINPUT_STATE& state, JoystickReading& r);

// A winmm joystick as SDL reads a plain joystick: raw axes X, Y, then those of
// Z R U V the caps flag, each from the caps' [min, max] to -1..1; buttons
// 0..n-1 (at most 32), then the POV hat as four buttons when the caps have one.
void ReadWinmm(const JOYCAPSA& caps, const JOYINFOEX& info, JoystickReading& r);

// A reading in [min, max] mapped to SDL's -32768..32767 as SDL's Linux
// backend maps a device's range, then to -1..1 as every axis; 0 when the
// range is empty.
double RangeAxis(DWORD value, UINT min, UINT max);

// The POV angle (hundredths of a degree clockwise from up; above 35999:
// centred) as up, right, down, left: each pressed within 67.5 degrees of its
// own direction, so a diagonal presses two.
void PovButtons(DWORD pov, uint8_t out[kPovButtons]);

// SDL's 32-hex-digit GUID: bus, CRC-16 of the name, vendor, product, version;
// the name's first 11 bytes instead when vendor or product is 0.
std::string JoystickGuid(uint16_t bus, uint16_t vendor, uint16_t product, uint16_t version,
                         const std::string& name);
// SDL's GUID of an XInput pad without vendor and product: "xinput" and the subtype.
std::string XInputGuid(uint8_t subType);

// Whether winmm's device is an XInput pad, which XInput already lists: its
// name mentions XInput or Xbox, or Microsoft's vendor id with a product id
// from 0x0200 up (the Xbox pads; Microsoft's SideWinder sticks sit below).
bool IsXInputPad(uint16_t vendor, uint16_t product, const std::string& name);

}  // namespace win32_joystick
