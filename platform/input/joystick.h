// Game controllers and joysticks, SDL2 behind this header. Every device
// present at start or plugged in later is opened, every removed one closed,
// and each frame all of them are read into plain values. RC transmitters in
// USB joystick mode are plain joysticks: their sticks are raw axes by index.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The standard game-controller axes and buttons, in SDL's order and with
// SDL's names ("leftx" ... "righttrigger", "a" ... "touchpad").
constexpr int kControllerAxisCount = 6;
constexpr int kControllerButtonCount = 21;

struct JoystickReading {
  int32_t id = -1;        // instance number, unique for the run (the console lines name it)
  std::string name;       // as the device reports it
  std::string guid;       // 32 hex digits
  bool controller = false;  // SDL knows its layout: the standard axes and buttons below are valid
  std::vector<double> axes;       // raw axes, -1..1 (the lowest reading is -1, centre 0)
  std::vector<uint8_t> buttons;   // raw buttons, 1 while pressed
  double controllerAxes[kControllerAxisCount] = {};     // -1..1; triggers 0..1
  uint8_t controllerButtons[kControllerButtonCount] = {};
};

// A 16-bit axis reading (-32768..32767) as -1..1, the same in every backend:
// the two lowest readings are both -1, so the range is symmetric about an
// exact 0.
inline double AxisFromRaw(int32_t raw) { return raw <= -32767 ? -1.0 : raw / 32767.0; }

// Starts SDL's joystick and game-controller support (no window needed).
// False, with one console line, when SDL refuses.
bool StartJoysticks();
// Closes every device and stops the support; nothing when not started.
void StopJoysticks();
// Opens arrivals and closes removals, one console line each, then reads every
// open device. The list is in arrival order; empty when not started.
const std::vector<JoystickReading>& UpdateJoysticks();
// The devices as the last update read them.
const std::vector<JoystickReading>& Joysticks();

// Standard axis or button by SDL's name (case-insensitive), or -1.
int ControllerAxisFromName(const std::string& name);
int ControllerButtonFromName(const std::string& name);
// SDL's name of a standard axis or button ("" out of range).
const char* ControllerAxisName(int axis);
const char* ControllerButtonName(int button);
