// The names people type for keys, turned into the names both window layers
// know (SDL's spelling). Users write what their keyboard or another program
// printed: "Enter", "Esc", "PgUp", "Page Up", "Ctrl", "Num 5". Plain C++ so
// the SDL and the Win32 builds read a settings file alike.
#include <cctype>
#include <string>

#include "platform/window/window.h"

namespace {

// Lower case, with spaces, underscores and hyphens between words dropped:
// "Page Up", "page_up" and "PageUp" compare the same. A lone "-" is a key.
std::string Squeezed(const char* name) {
  std::string s;
  for (const char* p = name; *p; p++) {
    unsigned char c = static_cast<unsigned char>(*p);
    if ((c == ' ' || c == '_' || c == '-') && p[1] != '\0' && p != name) continue;
    if (c == ' ') continue;
    s += char(std::tolower(c));
  }
  return s;
}

struct Synonym {
  const char* squeezed;  // as Squeezed() leaves it
  const char* name;      // SDL's name
};
const Synonym kSynonyms[] = {
    {"enter", "Return"},          {"return", "Return"},         {"esc", "Escape"},
    {"escape", "Escape"},         {"pgup", "PageUp"},           {"pageup", "PageUp"},
    {"pgdn", "PageDown"},         {"pgdown", "PageDown"},       {"pagedown", "PageDown"},
    {"ctrl", "Left Ctrl"},        {"control", "Left Ctrl"},     {"lctrl", "Left Ctrl"},
    {"rctrl", "Right Ctrl"},      {"leftcontrol", "Left Ctrl"}, {"rightcontrol", "Right Ctrl"},
    {"leftctrl", "Left Ctrl"},    {"rightctrl", "Right Ctrl"},  {"shift", "Left Shift"},
    {"lshift", "Left Shift"},     {"rshift", "Right Shift"},    {"leftshift", "Left Shift"},
    {"rightshift", "Right Shift"}, {"alt", "Left Alt"},         {"lalt", "Left Alt"},
    {"ralt", "Right Alt"},        {"altgr", "Right Alt"},       {"leftalt", "Left Alt"},
    {"rightalt", "Right Alt"},    {"capslock", "CapsLock"},     {"caps", "CapsLock"},
    {"printscreen", "PrintScreen"}, {"prtsc", "PrintScreen"},   {"prtscn", "PrintScreen"},
    {"prtscr", "PrintScreen"},    {"print", "PrintScreen"},     {"scrolllock", "ScrollLock"},
    {"scrlk", "ScrollLock"},      {"numlock", "Numlock"},       {"break", "Pause"},
    {"ins", "Insert"},            {"del", "Delete"},            {"bksp", "Backspace"},
    {"backspace", "Backspace"},   {"spacebar", "Space"},        {"win", "Left GUI"},
    {"windows", "Left GUI"},      {"lwin", "Left GUI"},         {"rwin", "Right GUI"},
    {"menu", "Application"},      {"apps", "Application"},      {"uparrow", "Up"},
    {"downarrow", "Down"},        {"leftarrow", "Left"},        {"rightarrow", "Right"},
    {"arrowup", "Up"},            {"arrowdown", "Down"},        {"arrowleft", "Left"},
    {"arrowright", "Right"},
};

// What follows a keypad prefix, and the keypad key's SDL name.
const Synonym kKeypadKeys[] = {
    {"0", "Keypad 0"}, {"1", "Keypad 1"}, {"2", "Keypad 2"}, {"3", "Keypad 3"},
    {"4", "Keypad 4"}, {"5", "Keypad 5"}, {"6", "Keypad 6"}, {"7", "Keypad 7"},
    {"8", "Keypad 8"}, {"9", "Keypad 9"}, {"*", "Keypad *"}, {"+", "Keypad +"},
    {"-", "Keypad -"}, {".", "Keypad ."}, {"/", "Keypad /"}, {"enter", "Keypad Enter"},
    {"del", "Keypad ."}, {"decimal", "Keypad ."}, {"plus", "Keypad +"}, {"minus", "Keypad -"},
    {"multiply", "Keypad *"}, {"divide", "Keypad /"}, {"return", "Keypad Enter"},
};
const char* const kKeypadPrefixes[] = {"keypad", "numpad", "num", "kp"};

}  // namespace

std::string StandardKeyName(const char* name) {
  if (!name) return std::string();
  const std::string s = Squeezed(name);
  for (const Synonym& k : kSynonyms)
    if (s == k.squeezed) return k.name;
  for (const char* prefix : kKeypadPrefixes) {
    const std::string p(prefix);
    if (s.size() <= p.size() || s.compare(0, p.size(), p) != 0) continue;
    const std::string rest = s.substr(p.size());
    for (const Synonym& k : kKeypadKeys)
      if (rest == k.squeezed) return k.name;
  }
  return name;
}
