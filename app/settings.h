// The user's settings file: which stick flies and how its axes are shaped,
// what the buttons do, and which keys act. INI text read with inih:
//
//   [stick]  device = part of a device's name or its GUID (empty: the first connected)
//   [pitch], [roll]  axis, deadzone, expo, invert, trim, rate
//   [buttons]  action = buttons (standard game-controller names or raw numbers)
//   [keys]  action = keys (key names, common synonyms too); camera_forward ... = the US letter at that place
//   [aircraft]  file = the aircraft file flown when the command line names none
//   [display]  vsync = wait for the display's refresh; frame_limit = most frames a second;
//              antialias = multisample count (0, 2, 4, 8); panel = on, off, frame_rate;
//              instruments = the dials' needles; hud_scale = size of the head-up lines
//   [field]  spot = x y, where the field pilot's view stands (world metres)
//
// A bad line costs only itself: one console line naming the file, the line
// and what was wrong, and the default stays. A missing file is no error.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "air/air.h"

// What keys and buttons can do; each action enters the key table as one code.
enum StickAction : int {
  kActPause, kActReset, kActArm, kActBeat, kActTail, kActWingsUp, kActWingsDown, kActCamera,
  kActCut, kActPitchUp, kActPitchDown, kActRollLeft, kActRollRight, kActHelp, kActMonitor,
  kActPanel, kActFullHelp, kActMessages, kActFieldView, kActMenu,
  kActReplaySlower, kActReplayFaster, kActReplayBack, kActReplayForward,
  kActionCount
};
// The action's name in the file ("pause", "beat", ...) and its virtual-key code.
const char* ActionName(int action);
uint32_t ActionKey(int action);
// What the action does, in a few words ("next camera").
const char* ActionText(int action);

// A key's name as the [keys] section takes it back ("Space", "F10", "A"),
// or "" for a key without one.
std::string KeyDisplayName(uint32_t code);

// One stick axis and its shaping. Value: raw reading (+ trim) -> deadzone ->
// expo -> rate -> invert.
struct AxisSettings {
  bool standard = true;  // index names a standard controller axis (leftx ...); else a raw axis
  int index = 0;
  double deadzone = 0.05;  // 0 .. 0.9 of the travel around the centre that reads 0
  double expo = 0.3;       // 0 .. 1: 0 linear, 1 cubic (finer near the centre)
  double rate = 1.0;       // 0 .. 1: the input at full deflection
  double trim = 0.0;       // -0.5 .. 0.5, added to the raw reading (a centre that is off)
  bool invert = true;      // the direction that gives +1 (Up / Left arrow) is the axis's negative end
  // Calibration: the raw readings at the stick's two ends. Left at -1 and 1
  // the reading is taken as it is; otherwise each side of the centre (the
  // reading trim brings to 0) is stretched to reach exactly -1 and 1.
  double low = -1, high = 1;
};

// A button: a standard controller button (a, start, ...) or a raw button number.
struct ButtonRef {
  bool standard;
  int index;
};

struct Settings {
  std::string device;  // part of the name or the GUID, case-insensitive; empty: the first
  AxisSettings pitch, roll;
  std::vector<ButtonRef> buttons[kActionCount];
  std::vector<uint32_t> keys[kActionCount];  // virtual-key codes of the keys that act
  char cameraPlaces[6];  // forward, back, right, left, up, down: US letters naming key places
  std::string aircraftFile;  // as written; relative to the settings file's folder; empty: built-in
  double fieldSpot[2] = {85, 50};  // [field] spot: where the pilot stands, world x y metres
  air::Settings air;     // [air]: each setting an air line, "wind = 3 270" (air/air.h)
  bool vsync = true;     // presents wait for the display's refresh where the driver offers it
  double frameLimit = 120;  // frames a second at most (0: no limit), where vsync does not pace
  int antialias = 0;     // multisample anti-aliasing: samples a pixel (0 none, 2, 4, 8), at start
  int panel = 1;         // the flight data panel at start: 0 off, 1 on, 2 on with the frame rate
  bool instruments = true;  // the cockpit dials' needles are drawn
  double hudScale = 1;   // the design's head-up lines' size: 1 as designed, 0.5 .. 4
};

Settings DefaultSettings();


// The file given with --config, else $XDG_CONFIG_HOME/tarnsim/tarnsim.conf,
// else ~/.config/tarnsim/tarnsim.conf.
std::string SettingsPath(const std::string& given);

// Reads text as the file `fileName` into settings (starting from what it
// holds); one console line per problem.
void ParseSettings(const std::string& text, const std::string& fileName, Settings& settings);
// The defaults, then the file if there is one.
Settings LoadSettings(const std::string& path);

// The default settings as a commented file.
std::string DefaultSettingsText();
// Writes that file (its folder made if needed) through a temporary name.
// False, with a console line, when it cannot; an existing file is kept.
bool WriteDefaultSettings(const std::string& path);

// Puts the key settings into force: KeyBinding and FreeCameraPlaces.
void ApplyKeySettings(const Settings& settings);
// Puts the display settings that act at once into force: the panel and its
// frame rate, the dials' needles, the head-up lines' size.
void ApplyDisplaySettings(const Settings& settings);
