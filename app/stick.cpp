#include "app/stick.h"

#include <cmath>
#include <cstdio>

#include "aircraft/aircraft.h"
#include "foundation/math.h"
#include "sim/keys.h"
#include "foundation/text_lines.h"

namespace {

int32_t gDeviceId = -1;
bool gHeld[kActionCount];  // the key of an action entered by a button and not yet released

double ReadAxis(const JoystickReading& d, const AxisSettings& a) {
  if (a.standard && d.controller) return a.index < kControllerAxisCount ? d.controllerAxes[a.index] : 0;
  // On a plain joystick a standard axis means the raw axis of that number.
  return size_t(a.index) < d.axes.size() ? d.axes[size_t(a.index)] : 0;
}

bool ReadButton(const JoystickReading& d, const ButtonRef& b) {
  if (b.standard && d.controller) return b.index < kControllerButtonCount && d.controllerButtons[b.index];
  return size_t(b.index) < d.buttons.size() && d.buttons[size_t(b.index)];
}

}  // namespace

double ShapeAxis(double raw, const AxisSettings& a) {
  double v = raw + a.trim;
  if (a.low != -1 || a.high != 1) {
    // Calibrated: each side of the centre stretched to its end.
    double centre = -a.trim, side = v >= 0 ? a.high - centre : centre - a.low;
    v = side > 0 ? v / side : 0;
  }
  v = Clamp(v, -1, 1);
  double m = std::fabs(v);
  if (m <= a.deadzone) return 0;
  m = (m - a.deadzone) / (1 - a.deadzone);
  m = ((1 - a.expo) * m + a.expo * m * m * m) * a.rate;
  if (m > 1) m = 1;
  return (v < 0) != a.invert ? -m : m;
}

int ChooseStickDevice(const std::vector<JoystickReading>& devices, const Settings& settings) {
  std::string want = LowerAscii(settings.device);
  for (size_t i = 0; i < devices.size(); i++)
    if (want.empty() || LowerAscii(devices[i].name).find(want) != std::string::npos || LowerAscii(devices[i].guid) == want)
      return int(i);
  return -1;
}

void ApplyStick(const std::vector<JoystickReading>& devices, const Settings& settings,
                void (*keyMessage)(uint32_t code, bool down), bool (*takeInputs)(double pitch, double roll)) {
  auto enter = [keyMessage](uint32_t code, bool down) {
    if (keyMessage != nullptr) keyMessage(code, down);
    else if (down) PressKey(code);
    else ReleaseKey(code);
  };
  int chosen = ChooseStickDevice(devices, settings);
  const JoystickReading* d = chosen >= 0 ? &devices[size_t(chosen)] : nullptr;
  // A different device starts with no buttons held.
  int32_t id = d ? d->id : -1;
  if (id != gDeviceId) {
    for (int i = 0; i < kActionCount; i++)
      if (gHeld[i]) enter(ActionKey(i), false), gHeld[i] = false;
    gDeviceId = id;
  }
  // Buttons first: one that takes a replay over gives the stick its inputs
  // in the same frame.
  for (int i = 0; d && i < kActionCount; i++) {
    bool down = false;
    for (const ButtonRef& b : settings.buttons[i]) down = down || ReadButton(*d, b);
    if (down == gHeld[i]) continue;
    gHeld[i] = down;
    enter(ActionKey(i), down);
  }
  double pitch = d ? ShapeAxis(ReadAxis(*d, settings.pitch), settings.pitch) : 0;
  double roll = d ? ShapeAxis(ReadAxis(*d, settings.roll), settings.roll) : 0;
  if (takeInputs == nullptr || takeInputs(pitch, roll)) {
    StickPitchInput = pitch;
    StickRollInput = roll;
  }
}

int32_t StickDeviceId() { return gDeviceId; }

Settings UserSettings = DefaultSettings();

std::string MonitorText(const std::vector<JoystickReading>& devices) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "Axis monitor (F8)   pitch %+.2f   roll %+.2f\n", StickPitchInput, StickRollInput);
  std::string t = buf;
  if (devices.empty()) t += "No game controller or joystick connected.\n";
  for (const JoystickReading& d : devices) {
    std::snprintf(buf, sizeof buf, "Joystick %d%s, %s: ", int(d.id), d.id == gDeviceId ? " (flying)" : "",
                  d.controller ? "game controller" : "plain joystick");
    t += buf;
    // The name is the device's own text: a backslash would start a text command.
    for (char c : d.name) t += c == '\\' ? "\\\\" : std::string(1, c);
    t += "\n";
    for (size_t a = 0; a < d.axes.size(); a++) {
      std::snprintf(buf, sizeof buf, "%s%2zu:%+.2f", a % 8 == 0 ? "  axes " : "  ", a, d.axes[a]);
      t += buf;
      if (a % 8 == 7 || a + 1 == d.axes.size()) t += "\n";
    }
    t += "  buttons pressed:";
    size_t pressed = 0;
    for (size_t b = 0; b < d.buttons.size(); b++)
      if (d.buttons[b]) t += " " + std::to_string(b), pressed++;
    t += pressed ? "\n" : " none\n";
    if (!d.controller) continue;
    // The same device by the standard names the settings can use.
    t += "  by name:";
    for (int a = 0; a < kControllerAxisCount; a++) {
      std::snprintf(buf, sizeof buf, "%s %s %+.2f", a == 4 ? "\n          " : "", ControllerAxisName(a),
                    d.controllerAxes[a]);
      t += buf;
    }
    t += "  pressed:";
    pressed = 0;
    for (int b = 0; b < kControllerButtonCount; b++)
      if (d.controllerButtons[b]) t += std::string(" ") + ControllerButtonName(b), pressed++;
    t += pressed ? "\n" : " none\n";
  }
  return t;
}
