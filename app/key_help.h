// Help built from the key bindings and stick buttons in force: the one-line
// help at the bottom of the window and the full list its own key shows.
#pragma once
#include <string>
#include <vector>

// A virtual-key code's name as a user reads it on the key ("P", "F1", "Space",
// "Up"); "key 0x.." for a code without a usual name.
std::string VirtualKeyName(uint32_t code);
// Names of the keys that act as `action` (app/settings.h), letters first,
// then in code order; empty when no key does.
std::vector<std::string> KeysFor(int action);
// The name to show for the action: its first key, "(unbound)" when none.
std::string PrimaryKeyName(int action);
// The help line: the most used actions with their keys (and stick buttons
// while a stick is connected), each as "keys: what".
std::string HelpLine();
// Every key, mouse action and stick button, one "keys: what" line each.
std::vector<std::string> FullHelpLines();

// The help line broken into rows no wider than room pixels at that text
// height, between its entries (two spaces apart); one row when it fits.
std::vector<std::string> HelpRows(const std::string& line, double height, double room);
// How much taller than one row the help line is drawn now (0 when hidden or
// on one row), in pixels: what sits above it moves up by that.
double HelpLineExtraHeight();

extern bool ShowFullHelp;  // the full list over the picture
// The help line at the bottom (while ShowHelp) and the full list.
void DrawHelp();
