#include "app/key_help.h"

#include <algorithm>
#include <cstdio>

#include "app/camera.h"
#include "app/settings.h"
#include "app/shell.h"
#include "app/stick.h"
#include "platform/input/joystick.h"
#include "platform/window/window.h"
#include "render/overlay.h"
#include "render/view.h"
#include "sim/keys.h"

bool ShowFullHelp = false;

namespace {

struct KeyLabel {
  uint32_t code;
  const char* name;
};
const KeyLabel kNames[] = {
    {VK_LBUTTON, "left button"}, {VK_RBUTTON, "right button"}, {VK_MBUTTON, "middle button"},
    {VK_BACK, "Backspace"},      {VK_TAB, "Tab"},              {VK_RETURN, "Return"},
    {VK_SHIFT, "Shift"},         {VK_CONTROL, "Ctrl"},         {VK_MENU, "Alt"},
    {VK_PAUSE, "Pause"},         {VK_ESCAPE, "Escape"},        {VK_SPACE, "Space"},
    {VK_PRIOR, "Page Up"},       {VK_NEXT, "Page Down"},       {VK_END, "End"},
    {VK_HOME, "Home"},           {VK_LEFT, "Left"},            {VK_UP, "Up"},
    {VK_RIGHT, "Right"},         {VK_DOWN, "Down"},            {VK_INSERT, "Insert"},
    {VK_DELETE, "Delete"},       {0xBB, "="},                  {0xBD, "-"},
    {0xDB, "["},                 {0xDD, "]"},
};

// Letters first: "P" reads better in a hint than "Pause".
int Rank(uint32_t code) {
  if (code >= 'A' && code <= 'Z') return 0;
  if (code >= '0' && code <= '9') return 1;
  return 2;
}

std::string Join(const std::vector<std::string>& names, const char* separator) {
  std::string out;
  for (size_t i = 0; i < names.size(); i++) out += (i ? separator : "") + names[i];
  return out;
}

std::string ButtonsFor(int action) {
  std::vector<std::string> names;
  for (const ButtonRef& b : UserSettings.buttons[action]) {
    const char* n = b.standard ? ControllerButtonName(b.index) : "";
    names.push_back(n && *n ? std::string(n) : "button " + std::to_string(b.index));
  }
  return Join(names, "/");
}

// "keys: what", with the stick's buttons after the keys when asked.
std::string Entry(int action, const char* what, bool buttons) {
  std::string keys = Join(KeysFor(action), "/");
  if (keys.empty()) keys = "(unbound)";
  std::string b = buttons ? ButtonsFor(action) : "";
  if (!b.empty()) keys += " [" + b + "]";
  return keys + ": " + what;
}

bool DefaultArrows() {
  return KeysFor(kActPitchUp) == std::vector<std::string>{"Up"} &&
         KeysFor(kActPitchDown) == std::vector<std::string>{"Down"} &&
         KeysFor(kActRollLeft) == std::vector<std::string>{"Left"} &&
         KeysFor(kActRollRight) == std::vector<std::string>{"Right"};
}

}  // namespace

std::string VirtualKeyName(uint32_t code) {
  if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9')) return std::string(1, char(code));
  if (code >= 0x70 && code <= 0x87) return "F" + std::to_string(code - 0x6F);
  for (const KeyLabel& k : kNames)
    if (k.code == code) return k.name;
  char text[16];
  std::snprintf(text, sizeof text, "key 0x%02X", unsigned(code & 0xFF));
  return text;
}

std::vector<std::string> KeysFor(int action) {
  uint32_t code = ActionKey(action);
  std::vector<std::string> names;
  if (code == 0) return names;
  for (int rank = 0; rank < 3; rank++)
    for (uint32_t k = 0; k < 256; k++)
      if (KeyBinding[k] == code && Rank(k) == rank) names.push_back(VirtualKeyName(k));
  return names;
}

std::string PrimaryKeyName(int action) {
  std::vector<std::string> keys = KeysFor(action);
  return keys.empty() ? "(unbound)" : keys[0];
}

std::string HelpLine() {
  const bool stick = !Joysticks().empty();
  std::string steer = DefaultArrows() && !stick
                          ? "arrows: pitch/roll"
                          : Entry(kActPitchUp, "up  ", stick) + Entry(kActPitchDown, "down  ", stick) +
                                Entry(kActRollLeft, "left  ", stick) + Entry(kActRollRight, "right", stick);
  std::string line = PrimaryKeyName(kActPause) + ": start/stop  " + Entry(kActArm, "arm", stick) + "  " +
                     Entry(kActBeat, "power", stick) + "  " + steer + "  " + Entry(kActTail, "tail", stick) +
                     "  " + Entry(kActCamera, "camera", stick) + "  " + Entry(kActCut, "cut balloon", stick) +
                     "  " + Entry(kActReset, "reset", stick) + "  F2: shot  F9: rec  " +
                     Entry(kActFullHelp, "all keys", false) + "  " + Entry(kActHelp, "hide", false);
  if (FlightReplaying())
    line += "  " + Entry(kActReplaySlower, "slower", stick) + "  " + Entry(kActReplayFaster, "faster", stick) +
            "  " + Entry(kActReplayBack, "-10 s", stick) + "  " + Entry(kActReplayForward, "+10 s", stick);
  return line;
}

std::vector<std::string> FullHelpLines() {
  static const char* const what[] = {
      "run or pause the simulation", "reset: a new aircraft, paused", "arm or disarm the wing beat",
      "wing beat on or off (while armed)", "tail setting", "outer wings press harder on the upstroke",
      "outer wings press harder on the downstroke", "next camera (free, cockpit, chase)",
      "cut the balloon (held)", "pitch input up", "pitch input down", "roll left", "roll right",
      "help line", "stick axis monitor", "flight data panel, then with the frame rate, then off",
      "this list", "the recent messages again",
      "the view from the pilot's spot on the island, or back", "the set-up menu",
      "replay slower (down to 1/4x)", "replay faster (up to 4x)", "replay: back 10 s (runs again from the start)",
      "replay: forward 10 s"};
  static_assert(sizeof what / sizeof *what == kActionCount, "one line for every action");
  std::vector<std::string> lines;
  lines.push_back("Keys (from the settings in force; [stick buttons])");
  for (int i = 0; i < kActionCount; i++) lines.push_back("  " + Entry(i, what[i], true));
  lines.push_back("  F2: screenshot   F9: record a flight or stop   Escape, Alt+F4: quit");
  lines.push_back("  F11: camera direction to the console   F12: keys to the console, debug view");
  lines.push_back("Free camera (C until it is free)");
  std::string keys;
  for (int i = 0; i < 6; i++) keys += (i ? "/" : "") + VirtualKeyName(VirtualKeyAtPlace(FreeCameraPlaces[i]));
  lines.push_back("  " + keys + ": forward/back/right/left/up/down");
  lines.push_back("  Shift: x5   Alt: x10   Ctrl: x0.1 speed");
  lines.push_back("Mouse");
  lines.push_back("  right button held: look around   middle button: look without holding");
  lines.push_back("  wheel: zoom (field of view 2 to 120 deg)   left button: larger cursor");
  return lines;
}

std::vector<std::string> HelpRows(const std::string& line, double height, double room) {
  std::vector<std::string> rows;
  std::string row;
  for (size_t start = 0; start < line.size();) {
    size_t end = line.find("  ", start);
    if (end == std::string::npos) end = line.size();
    std::string entry = line.substr(start, end - start);
    start = end + 2;
    if (entry.empty()) continue;
    std::string joined = row.empty() ? entry : row + "  " + entry;
    if (!row.empty() && TextWidth(joined, height) > room) {
      rows.push_back(row);
      row = entry;
    } else {
      row = joined;
    }
  }
  if (!row.empty()) rows.push_back(row);
  return rows;
}

namespace {
// The help line's rows as drawn now, at its text height.
std::vector<std::string> HelpRowsOnScreen(double& size) {
  size = 14 * OverlayScale();
  return HelpRows(HelpLine(), size, ScreenRight + 1 - 8);
}
}  // namespace

double HelpLineExtraHeight() {
  if (!ShowHelp) return 0;
  double size;
  size_t rows = HelpRowsOnScreen(size).size();
  return rows > 1 ? double(rows - 1) * (size + 4) : 0;
}

void DrawHelp() {
  const double s = OverlayScale();
  if (ShowHelp) {
    // A line wider than the window breaks between its entries into rows
    // (a narrow window, a stick's buttons named), so it stays readable and whole.
    double size;
    std::vector<std::string> rows = HelpRowsOnScreen(size);
    const double step = size + 4, extra = rows.size() > 1 ? double(rows.size() - 1) * step : 0;
    DrawPlate(0, ScreenBottom + 1 - size - 8 - extra, ScreenRight + 1, ScreenBottom + 1, 0.05f, 0.08f, 0.12f, 0.45f);
    for (size_t i = 0; i < rows.size(); i++)
      DrawOutlinedText(4, ScreenBottom + 1 - size - 4 - extra + double(i) * step, size, rows[i], 1, 1, 1);
  }
  if (ShowFullHelp) {
    std::vector<std::string> lines = FullHelpLines();
    const double h = 15 * s, row = 18 * s;
    double width = 0;
    for (const std::string& l : lines) width = std::max(width, TextWidth(l, h));
    double x0 = std::max(4.0, (ScreenRight + 1 - width) / 2 - 12 * s), y0 = 40 * s;
    DrawPlate(x0, y0, x0 + width + 24 * s, y0 + lines.size() * row + 16 * s, 0.02f, 0.04f, 0.08f, 0.8f);
    for (size_t i = 0; i < lines.size(); i++)
      DrawOutlinedText(x0 + 12 * s, y0 + 8 * s + i * row, h, lines[i], 1, 1, 1);
  }
}
