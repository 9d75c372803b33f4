// The stick: shapes the chosen device's axes into StickPitchInput and
// StickRollInput, and makes its buttons act as keys by entering their codes
// into the key table, so everything downstream sees one stream of keys.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/settings.h"
#include "platform/input/joystick.h"

// One axis reading (-1..1) shaped: plus trim, deadzone (which reads exactly
// 0), expo, rate, invert; the result is in -1..1.
double ShapeAxis(double raw, const AxisSettings& axis);

// Index into devices of the one that flies: the first whose name contains
// settings.device or whose GUID equals it (case-insensitive); -1 for none.
int ChooseStickDevice(const std::vector<JoystickReading>& devices, const Settings& settings);

// Once per frame, between frames as key messages come: sets StickPitchInput and
// StickRollInput from the chosen device (0 without one) and enters presses
// and releases of its mapped buttons into the key table. When the device goes,
// the inputs return to 0 and its held buttons are released.
// The window passes its own way in: keyMessage takes the buttons' key
// messages (null: PressKey / ReleaseKey), and takeInputs is asked whether the
// shaped inputs fly this frame (null: always).
void ApplyStick(const std::vector<JoystickReading>& devices, const Settings& settings,
                void (*keyMessage)(uint32_t code, bool down) = nullptr,
                bool (*takeInputs)(double pitch, double roll) = nullptr);

// Which device flew in the last ApplyStick (its instance number), or -1.
int32_t StickDeviceId();

// The settings in force in the program (defaults until the file is read).
extern Settings UserSettings;

// The axis monitor's text (F8): every device's raw axes and pressed buttons,
// and the pitch and roll inputs the stick gives now.
std::string MonitorText(const std::vector<JoystickReading>& devices);
