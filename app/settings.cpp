#include "app/settings.h"

#include <ini.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "app/camera.h"
#include "app/flight_panel.h"
#include "app/user_files.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/str.h"
#include "foundation/text_lines.h"
#include "platform/input/joystick.h"
#include "platform/window/window.h"
#include "render/instruments.h"
#include "render/view.h"
#include "sim/keys.h"

namespace {

// The user's guide, by the name the package gives it.
#ifdef _WIN32
#define kReadme "README.txt"
#else
#define kReadme "README.md"
#endif

// A settings file is a page of text; anything this large is not one.
const size_t kMaxFileBytes = size_t(FileCap(FileKind::Settings));

struct ActionInfo {
  const char* name;
  uint32_t key;
  const char* keys;     // defaults, as written in the file
  const char* buttons;
  const char* comment;
};
const ActionInfo kActions[kActionCount] = {
    {"pause", VK_PAUSE, "Pause, P", "start", "run or pause the simulation"},
    {"reset", VK_F1, "F1", "back", "a new aircraft, paused"},
    {"arm", 'E', "E", "b", "arm or disarm the wing beat"},
    {"beat", 'Z', "Z", "a", "wing-beat power on or off (while armed)"},
    {"tail", VK_SPACE, "Space", "x", "tail setting"},
    {"wings_up", 'V', "V", "leftshoulder", "outer wings press harder on the upstroke"},
    {"wings_down", 'G', "G", "rightshoulder", "outer wings press harder on the downstroke"},
    {"camera", 'C', "C", "y", "next camera"},
    {"cut", VK_DELETE, "Delete", "rightstick", "cut the balloon (held)"},
    {"pitch_up", VK_UP, "Up", "dpup", "pitch input toward +1"},
    {"pitch_down", VK_DOWN, "Down", "dpdown", "pitch input toward -1"},
    {"roll_left", VK_LEFT, "Left", "dpleft", "roll input toward +1"},
    {"roll_right", VK_RIGHT, "Right", "dpright", "roll input toward -1"},
    {"help", 'H', "H", "", "help line"},
    {"monitor", VK_F8, "F8", "", "axis monitor"},
    {"panel", VK_F3, "F3", "", "flight data panel, with the frame rate, off"},
    {"all_keys", VK_F4, "F4", "", "every key, mouse action and button"},
    {"messages", 'M', "M", "", "the recent messages again"},
    {"field_view", VK_F6, "F6", "", "the view from the pilot's spot on the island, or back"},
    {"menu", VK_F10, "F10", "guide", "the set-up menu"},
    // A replay's own keys; entered under the codes of their default keys.
    {"replay_slower", 0xBD, "-", "", "replay at half the pace (down to 1/4x)"},
    {"replay_faster", 0xBB, "=", "", "replay at twice the pace (up to 4x)"},
    {"replay_back", 0xDB, "[", "", "replay from 10 s earlier"},
    {"replay_forward", 0xDD, "]", "", "replay skips 10 s ahead"},
};
const char* const kCameraNames[6] = {"camera_forward", "camera_back", "camera_right",
                                     "camera_left",    "camera_up",   "camera_down"};

std::vector<std::string> List(const std::string& value) {
  std::vector<std::string> items;
  std::stringstream in(value);
  std::string item;
  while (std::getline(in, item, ',')) {
    item = TrimmedText(item);
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

bool Number(const std::string& text, double lo, double hi, double& out) {
  const char* s = text.c_str();
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(s, &end);
  if (end == s || *end != '\0' || errno != 0 || !std::isfinite(v) || v < lo || v > hi) return false;
  out = v;
  return true;
}

bool Index(const std::string& text, int& out) {
  double v;
  if (!Number(text, 0, 255, v) || v != std::floor(v)) return false;
  out = int(v);
  return true;
}

bool Flag(const std::string& text, bool& out) {
  std::string t = LowerAscii(text);
  if (t == "true" || t == "yes" || t == "on" || t == "1") return out = true, true;
  if (t == "false" || t == "no" || t == "off" || t == "0") return out = false, true;
  return false;
}

// Parsing state: inih calls back per setting; `lines` counts them.
struct Reader {
  TextLines lines;
  const std::string* file;
  Settings* settings;
  std::string lastUnknownSection = "\n";  // no section has this name
};

void Problem(const Reader& r, const std::string& what) {
  Log("%s:%d: %s; the default stays\n", r.file->c_str(), r.lines.line, what.c_str());
}

bool AxisSetting(Reader& r, AxisSettings& a, const std::string& name, const std::string& value) {
  double v;
  if (name == "axis") {
    int standard = ControllerAxisFromName(value), raw;
    if (standard >= 0) {
      a.standard = true, a.index = standard;
    } else if (Index(value, raw)) {
      a.standard = false, a.index = raw;
    } else {
      Problem(r, "axis wants a raw axis number (0 to 255) or leftx, lefty, rightx, righty, lefttrigger, "
                 "righttrigger, not \"" + Clipped(value) + "\"");
    }
  } else if (name == "deadzone") {
    if (Number(value, 0, 0.9, v)) a.deadzone = v;
    else Problem(r, "deadzone wants a number from 0 to 0.9, not \"" + Clipped(value) + "\"");
  } else if (name == "expo") {
    if (Number(value, 0, 1, v)) a.expo = v;
    else Problem(r, "expo wants a number from 0 to 1, not \"" + Clipped(value) + "\"");
  } else if (name == "rate") {
    if (Number(value, 0, 1, v)) a.rate = v;
    else Problem(r, "rate wants a number from 0 to 1, not \"" + Clipped(value) + "\"");
  } else if (name == "trim") {
    if (Number(value, -0.5, 0.5, v)) a.trim = v;
    else Problem(r, "trim wants a number from -0.5 to 0.5, not \"" + Clipped(value) + "\"");
  } else if (name == "low" || name == "high") {
    if (Number(value, -1, 1, v)) (name == "low" ? a.low : a.high) = v;
    else Problem(r, name + " wants a number from -1 to 1, not \"" + Clipped(value) + "\"");
  } else if (name == "invert") {
    if (!Flag(value, a.invert)) Problem(r, "invert wants true or false, not \"" + Clipped(value) + "\"");
  } else {
    return false;
  }
  return true;
}

int ActionByName(const std::string& name) {
  for (int i = 0; i < kActionCount; i++)
    if (name == kActions[i].name) return i;
  return -1;
}

bool ButtonSetting(Reader& r, const std::string& name, const std::string& value) {
  int action = ActionByName(name);
  if (action < 0) return false;
  std::vector<ButtonRef> buttons;
  for (const std::string& item : List(value)) {
    int standard = ControllerButtonFromName(item), raw;
    if (standard >= 0) {
      buttons.push_back({true, standard});
    } else if (Index(item, raw)) {
      buttons.push_back({false, raw});
    } else {
      Problem(r, "unknown button \"" + Clipped(item) + "\" for " + name +
                     " (a raw button number or a, b, x, y, back, guide, start, leftstick, rightstick, "
                     "leftshoulder, rightshoulder, dpup, dpdown, dpleft, dpright, ...)");
      return true;
    }
  }
  r.settings->buttons[action] = buttons;
  return true;
}

bool KeySetting(Reader& r, const std::string& name, const std::string& value) {
  for (int i = 0; i < 6; i++) {
    if (name != kCameraNames[i]) continue;
    std::string v = TrimmedText(value);
    if (v.size() == 1 && std::isalpha(static_cast<unsigned char>(v[0])))
      r.settings->cameraPlaces[i] = char(std::toupper(static_cast<unsigned char>(v[0])));
    else
      Problem(r, name + " wants the letter at that place on a US keyboard, not \"" + Clipped(value) + "\"");
    return true;
  }
  int action = ActionByName(name);
  if (action < 0) return false;
  // A bad name among good ones is left out alone: the pilot's other keys
  // still work. Only a list with no usable key keeps the default.
  std::vector<uint32_t> keys;
  std::vector<std::string> problems;
  for (const std::string& item : List(value)) {
    uint32_t code = VirtualKeyFromKeyName(item.c_str());
    if (code == VK_ESCAPE)
      problems.push_back("\"" + Clipped(item) + "\" for " + name + ": Escape always quits the program, it cannot be bound");
    else if (code == 0)
      problems.push_back("unknown key name \"" + Clipped(item) + "\" for " + name);
    else
      keys.push_back(code);
  }
  for (const std::string& p : problems) {
    if (keys.empty()) Problem(r, p);
    else Log("%s:%d: %s; left out, the other keys stay\n", r.file->c_str(), r.lines.line, p.c_str());
  }
  if (problems.empty() || !keys.empty()) r.settings->keys[action] = keys;
  return true;
}

int OnSetting(void* user, const char* sectionText, const char* nameText, const char* valueText) {
  Reader& r = *static_cast<Reader*>(user);
  std::string section = LowerAscii(sectionText), name = LowerAscii(nameText), value = TrimmedText(valueText);
  Settings& s = *r.settings;
  bool known = true;
  if (section == "stick") {
    if (name == "device") s.device = value;
    else known = false;
  } else if (section == "pitch" || section == "roll") {
    known = AxisSetting(r, section == "pitch" ? s.pitch : s.roll, name, value);
  } else if (section == "buttons") {
    known = ButtonSetting(r, name, value);
  } else if (section == "keys") {
    known = KeySetting(r, name, value);
  } else if (section == "display") {
    double v;
    if (name == "vsync") {
      if (!Flag(value, s.vsync)) Problem(r, "vsync wants true or false, not \"" + Clipped(value) + "\"");
    } else if (name == "frame_limit") {
      if (Number(value, 0, 1000, v) && (v == 0 || v >= 10)) s.frameLimit = v;
      else Problem(r, "frame_limit wants 0 (no limit) or frames a second from 10 to 1000, not \"" + Clipped(value) + "\"");
    } else if (name == "panel") {
      std::string w = LowerAscii(value);
      if (w == "off" || w == "on" || w == "frame_rate") s.panel = w == "off" ? 0 : w == "on" ? 1 : 2;
      else Problem(r, "panel wants on, off or frame_rate, not \"" + Clipped(value) + "\"");
    } else if (name == "instruments") {
      if (!Flag(value, s.instruments)) Problem(r, "instruments wants true or false, not \"" + Clipped(value) + "\"");
    } else if (name == "hud_scale") {
      if (Number(value, 0.5, 4, v)) s.hudScale = v;
      else Problem(r, "hud_scale wants a number from 0.5 to 4, not \"" + Clipped(value) + "\"");
    } else if (name == "antialias") {
      if (Number(value, 0, 8, v) && (v == 0 || v == 2 || v == 4 || v == 8)) s.antialias = int(v);
      else Problem(r, "antialias wants 0 (none), 2, 4 or 8 samples a pixel, not \"" + Clipped(value) + "\"");
    } else {
      known = false;
    }
  } else if (section == "aircraft") {
    if (name == "file") s.aircraftFile = value;
    else known = false;
  } else if (section == "field") {
    std::vector<std::string> words;
    std::istringstream in(value);
    for (std::string w; in >> w;) words.push_back(w);
    double x, y;
    if (name != "spot") known = false;
    else if (words.size() != 2 || !Number(words[0], -1e5, 1e5, x) || !Number(words[1], -1e5, 1e5, y))
      Problem(r, "spot wants two numbers, x and y in metres, not \"" + Clipped(value) + "\"");
    else s.fieldSpot[0] = x, s.fieldSpot[1] = y;
  } else if (section == "air") {
    // "name = value" is the air line "name value": wind = 3 270.
    std::vector<std::string> words = {name};
    std::istringstream in(value);
    for (std::string w; in >> w;) words.push_back(w);
    std::string problem;
    if (!air::IsAirWord(name)) known = false;
    else if (!air::ApplyLine(words, 0, s.air, problem)) Problem(r, "[air] " + problem);
  } else {
    // One line per unknown section, at its first setting.
    if (section != r.lastUnknownSection) {
      r.lastUnknownSection = section;
      Problem(r, "unknown section [" + Clipped(sectionText) + "]" +
                     (section.empty() ? " (settings before the first section)" : ""));
    }
    return 1;
  }
  if (!known) Problem(r, "unknown setting \"" + Clipped(nameText) + "\" in [" + section + "]");
  return 1;
}

// One commented line per action: its default buttons or keys and what it does.
void AppendActions(std::string& t, bool buttons) {
  char line[160];
  for (const ActionInfo& a : kActions) {
    std::snprintf(line, sizeof line, "# %-10s = %-15s ; %s\n", a.name, buttons ? a.buttons : a.keys, a.comment);
    t += line;
  }
}

}  // namespace

const char* ActionName(int action) { return action >= 0 && action < kActionCount ? kActions[action].name : ""; }
uint32_t ActionKey(int action) { return action >= 0 && action < kActionCount ? kActions[action].key : 0; }
const char* ActionText(int action) { return action >= 0 && action < kActionCount ? kActions[action].comment : ""; }

std::string KeyDisplayName(uint32_t code) {
  struct Named {
    uint32_t code;
    const char* name;
  };
  static const Named kNames[] = {
      {VK_SPACE, "Space"},   {VK_DELETE, "Delete"}, {VK_PAUSE, "Pause"},   {VK_UP, "Up"},
      {VK_DOWN, "Down"},     {VK_LEFT, "Left"},     {VK_RIGHT, "Right"},   {VK_RETURN, "Return"},
      {VK_TAB, "Tab"},       {VK_BACK, "Backspace"}, {VK_INSERT, "Insert"}, {VK_HOME, "Home"},
      {VK_END, "End"},       {VK_PRIOR, "PageUp"},  {VK_NEXT, "PageDown"}, {VK_SHIFT, "Left Shift"},
      {VK_CONTROL, "Left Ctrl"}, {VK_MENU, "Left Alt"}, {0xBA, ";"}, {0xBB, "="}, {0xBC, ","},
      {0xBD, "-"},           {0xBE, "."},           {0xBF, "/"},           {0xC0, "`"},
      {0xDB, "["},           {0xDC, "\\"},        {0xDD, "]"},           {0xDE, "'"},
  };
  code &= 0xFF;
  if ((code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z')) return std::string(1, char(code));
  if (code >= VK_F1 && code <= VK_F12) return "F" + std::to_string(code - VK_F1 + 1);
  if (code >= 0x60 && code <= 0x69) return "Keypad " + std::to_string(code - 0x60);
  for (const Named& n : kNames)
    if (n.code == code) return n.name;
  return "";
}

Settings DefaultSettings() {
  Settings s;
  s.pitch.index = ControllerAxisFromName("lefty");
  s.roll.index = ControllerAxisFromName("leftx");
  for (int i = 0; i < kActionCount; i++) {
    for (const std::string& k : List(kActions[i].keys)) s.keys[i].push_back(VirtualKeyFromKeyName(k.c_str()));
    for (const std::string& b : List(kActions[i].buttons)) s.buttons[i].push_back({true, ControllerButtonFromName(b)});
  }
  std::memcpy(s.cameraPlaces, "WSDARF", 6);
  return s;
}

std::string SettingsPath(const std::string& given) {
  if (!given.empty()) return given;
  return PathIn(ConfigDirectory(), "tarnsim.conf");
}

void ParseSettings(const std::string& text, const std::string& fileName, Settings& settings) {
  Reader r;
  r.lines.text = &text;
  r.file = &fileName;
  r.settings = &settings;
  int bad = ini_parse_stream(ReadTextLine, &r.lines, OnSetting, &r);
  // inih names only the first line it could not parse at all.
  if (bad > 0) {
    r.lines.line = bad;
    Problem(r, "not a [section] or a name = value line");
  }
}

Settings LoadSettings(const std::string& path) {
  Settings s = DefaultSettings();
  std::string text, reason;
  if (!ReadWholeFile(path, FileKind::Settings, text, reason)) {
    const int error = errno;
    PathInfo info;
    if (error == ENOENT) return s;  // no settings file: the defaults, silently
    if (error == 0 && PathStatus(path, info) && info.folder)
      Log("%s: is a folder, not a settings file; the defaults stay\n", path.c_str());
    else if (error == 0 && reason.find(" bytes, more than ") != std::string::npos)
      Log("%s: larger than %zu KiB, not a settings file; the defaults stay\n", path.c_str(), kMaxFileBytes / 1024);
    else
      Log("%s: cannot be read (%s); the defaults stay\n", path.c_str(), reason.c_str());
    return s;
  }
  ParseSettings(text, path, s);
  return s;
}

std::string DefaultSettingsText() {
  const Settings d = DefaultSettings();
  std::string t =
      "# Tarn sim settings. Lines starting with # are comments; delete the # of a\n"
      "# line to change it. The F8 key shows every connected device's raw axes and\n"
      "# buttons and the pitch and roll inputs they give.\n"
      "\n"
      "[stick]\n"
      "# The device that flies: part of its name or its GUID (as the console line\n"
      "# printed when it connected shows them). Empty: the first one connected.\n"
      "# device =\n"
      "\n"
      "# Each axis: a raw axis number (F8 shows them; what a transmitter or a plain\n"
      "# joystick needs) or a game-controller axis: leftx, lefty, rightx, righty,\n"
      "# lefttrigger, righttrigger (on a plain joystick these are raw axes 0 to 5).\n"
      "# The reading, plus trim, loses the deadzone around the centre, is curved\n"
      "# by expo (0 straight, 1 cubic), scaled by rate, and inverted if asked.\n"
      "# +1 is what Up (pitch) and Left (roll) give on the keyboard. Calibrated\n"
      "# axes also have low and high, the raw readings at the stick's two ends\n"
      "# (the menu's stick calibration, F10, finds them).\n\n";
  char line[160];
  for (int k = 0; k < 2; k++) {
    const AxisSettings& a = k == 0 ? d.pitch : d.roll;
    t += k == 0 ? "[pitch]\n" : "\n[roll]\n";
    std::snprintf(line, sizeof line,
                  "# axis = %s\n# deadzone = %g\n# expo = %g\n# rate = %g\n# trim = %g\n# invert = %s\n",
                  k == 0 ? "lefty" : "leftx", a.deadzone, a.expo, a.rate, a.trim, a.invert ? "true" : "false");
    t += line;
  }
  t += "\n[buttons]\n"
       "# The buttons of each action, separated by commas: raw button numbers or\n"
       "# game-controller buttons a, b, x, y, back, guide, start, leftstick, rightstick,\n"
       "# leftshoulder, rightshoulder, dpup, dpdown, dpleft, dpright (on a plain\n"
       "# joystick these are raw buttons 0 to 14). A button acts as its key does.\n";
  AppendActions(t, true);
  t += "\n[air]\n"
       "# Still air unless set (" kReadme ", \"Wind, turbulence and thermals\"). Each\n"
       "# setting is an air line: wind SPEED FROM (m/s at 10 m, the bearing it blows\n"
       "# from), turbulence off|light|moderate|severe, thermals on|off [per km2],\n"
       "# thermal X Y [STRENGTH [RADIUS [LIFE]]], gust AMPLITUDE FROM|up|down\n"
       "# [RISE [HOLD [FALL]]], seed N.\n"
       "# wind = 0 0\n"
       "# turbulence = off\n"
       "# thermals = off\n"
       "# seed = 1\n";
  t += "\n[keys]\n"
       "# The keys of each action, separated by commas, by name: letters, digits,\n"
       "# F1 to F24, Space, Enter, Tab, Backspace, Insert, Delete, Home, End, PgUp,\n"
       "# PgDn, Up, Down, Left, Right, Pause, Shift, Ctrl, Alt, Left Shift, Right Ctrl,\n"
       "# Caps Lock, Print Screen, Num 0 to Num 9, Num +, Num Enter, and punctuation\n"
       "# keys by their character (; , . / [ ] ...).\n"
       "# A key given here leaves its old action. Escape always quits the program,\n"
       "# so it cannot be given.\n";
  AppendActions(t, false);
  t += "# The free camera's keys go by place: the letter at that place on a US\n"
       "# keyboard, whatever the layout prints there.\n";
  for (int i = 0; i < 6; i++) {
    std::snprintf(line, sizeof line, "# %s = %c\n", kCameraNames[i], d.cameraPlaces[i]);
    t += line;
  }
  char display[1024];
  std::snprintf(display, sizeof display,
                "\n[display]\n"
                "# vsync: each frame waits for the display's refresh where the driver offers\n"
                "# it. frame_limit: the most frames a second otherwise (0: no limit). Paused\n"
                "# with nothing moving, the program waits for input and draws nothing.\n"
                "# antialias: samples a pixel for smooth edges (0 none, 2, 4 or 8), where\n"
                "# the driver offers them; read at start.\n"
                "# panel: the flight data panel at start: on, off or frame_rate (with the\n"
                "# frame rate). instruments: the cockpit dials' needles. hud_scale: the size\n"
                "# of the three head-up lines at the top left (1 as designed, 0.5 to 4).\n"
                "# vsync = %s\n# frame_limit = %g\n# antialias = %d\n# panel = %s\n"
                "# instruments = %s\n# hud_scale = %g\n",
                d.vsync ? "true" : "false", d.frameLimit, d.antialias,
                d.panel == 0 ? "off" : d.panel == 1 ? "on" : "frame_rate", d.instruments ? "true" : "false",
                d.hudScale);
  t += display;
  t += "\n[aircraft]\n"
       "# The aircraft file flown when the command line names none, relative to this\n"
       "# file's folder (tarnsim --write-aircraft FILE writes one to start from).\n"
       "# Empty: the built-in machine.\n"
       "# file =\n";
  t += "\n[field]\n"
       "# Where the field pilot's view stands (its key: field_view), world x and y\n"
       "# in metres; the eye is 1.7 m above the ground there.\n";
  std::snprintf(line, sizeof line, "# spot = %g %g\n", d.fieldSpot[0], d.fieldSpot[1]);
  t += line;
  return t;
}

bool WriteDefaultSettings(const std::string& path) {
  PathInfo info;
  if (PathStatus(path, info)) {
    Log("%s already exists; it was left as it is\n", path.c_str());
    return false;
  }
  // The folders above it, with every missing parent.
  size_t slash = path.find_last_of("/\\");
  std::string reason;
  if (slash != std::string::npos && slash > 0) {
    std::string dir = path.substr(0, slash);
    if (!MakePrivateFolders(dir, reason)) {
      Log("Cannot make %s (%s)\n", dir.c_str(), reason.c_str());
      return false;
    }
  }
  std::string text = DefaultSettingsText();
#ifdef _WIN32
  // Notepad and every other Windows editor expect CR LF line ends.
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? "\r\n" : std::string(1, c);
  text.swap(crlf);
#endif
  if (!WriteWholeFile(path, text, reason)) {
    Log("Cannot write %s (%s)\n", path.c_str(), reason.c_str());
    return false;
  }
  return true;
}

void ApplyKeySettings(const Settings& settings) {
  ResetKeyBindings();
  KeyBinding['P'] = 'P';
  // A key taken by the settings leaves its default action: first every
  // action's default keys go, then every action takes its keys.
  for (int i = 0; i < kActionCount; i++) KeyBinding[kActions[i].key] = 0;
  // Keys the file names win over an action's untouched defaults: a file that
  // gave F5 to pause before F5 showed the frame rate keeps it.
  const Settings defaults = DefaultSettings();
  for (int pass = 0; pass < 2; pass++)
    for (int i = 0; i < kActionCount; i++)
      if ((settings.keys[i] == defaults.keys[i]) == (pass == 0))
        for (uint32_t code : settings.keys[i]) KeyBinding[code & 0xFF] = uint8_t(kActions[i].key);
  std::memcpy(FreeCameraPlaces, settings.cameraPlaces, 6);
}

void ApplyDisplaySettings(const Settings& settings) {
  ShowFlightPanel = settings.panel > 0;
  ShowFrameRate = settings.panel == 2;
  ShowInstrumentNeedles = settings.instruments;
  HeadUpScale = settings.hudScale;
}
