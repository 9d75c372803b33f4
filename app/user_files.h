// Where the program keeps the user's files: settings below the XDG config
// directory, recorded flights below the XDG data directory, screenshots in the
// pictures directory. On Windows, without XDG variables: settings and flights
// below %APPDATA%, screenshots in the profile's Pictures.
#pragma once
#include <string>

// $XDG_CONFIG_HOME/tarnsim, or ~/.config/tarnsim (%APPDATA%\tarnsim).
std::string ConfigDirectory();
// $XDG_DATA_HOME/tarnsim/flights, or ~/.local/share/tarnsim/flights (%APPDATA%\tarnsim\flights).
std::string FlightsDirectory();
// $XDG_PICTURES_DIR/tarnsim when the variable is set; else the Pictures folder
// named in $XDG_CONFIG_HOME/user-dirs.dirs (xdg-user-dirs, "$HOME/..." or an
// absolute path) plus /tarnsim; else ~/Pictures/tarnsim
// (%USERPROFILE%\Pictures\tarnsim, where the file is not read).
std::string ScreenshotsDirectory();
// dir/name, with the system's own separator.
std::string PathIn(const std::string& dir, const std::string& name);
// "<dir>/<prefix>-YYYY-MM-DD-HHMMSS<ext>" at the local time now, with "-2",
// "-3", ... before the extension when such a file exists already.
std::string DatedPath(const std::string& dir, const char* prefix, const char* ext);
