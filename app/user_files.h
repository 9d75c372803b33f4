// Where the program keeps what the user makes: recorded flights below the
// XDG data directory, screenshots in the pictures directory.
#pragma once
#include <string>

// $XDG_DATA_HOME/tarnsim/flights, or ~/.local/share/tarnsim/flights.
std::string FlightsDirectory();
// $XDG_PICTURES_DIR/tarnsim, or ~/Pictures/tarnsim.
std::string ScreenshotsDirectory();
// Creates a directory and its parents. False (errno set) when it cannot.
bool MakeDirectories(const std::string& path);
// "<dir>/<prefix>-YYYY-MM-DD-HHMMSS<ext>" at the local time now, with "-2",
// "-3", ... before the extension when such a file exists already.
std::string DatedPath(const std::string& dir, const char* prefix, const char* ext);
