// The aircraft file, live: while the window runs, the file named at start is
// looked at once a second (and at once on F5); when its text changed, the
// aircraft is rebuilt from it at the scene reset, with one line per changed
// value on the console and on screen. A file that does not read cleanly
// keeps the old aircraft flying and says why.
#pragma once
#include <string>
#include <vector>

#include "content/aircraft_file.h"

// The file to watch (absolute; empty: none) and the command line's
// overrides, which stay on top of whatever the file says.
void WatchAircraftFile(const std::string& file, const std::vector<std::string>& overrides);
// Once per frame, between frames.
void PollAircraftFile();
// Flies `next` from the scene reset, as a changed file does: the changed
// values on the console and on screen under `source` (a file's name or
// "the menu"). False, with the problems shown, when they cannot be built.
bool RebuildAircraft(const content::AircraftParams& next, const std::string& source);
// The file being flown ("" for the built-in machine).
const std::string& WatchedAircraftFile();
// The last reload's lines, for a few seconds after it.
void DrawAircraftReloadText();
