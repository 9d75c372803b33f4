// Where the program's content lives, and where it may write what it derives
// from it. Both programs enter the content directory at start, so every path
// the content names (Models/, Textures/, Shaders/, Fonts/) stays relative.
#pragma once
#include <string>

struct ContentDirectory {
  std::string path;        // absolute
  bool installed = false;  // the installed data directory: the package manager's, never written
};

// A directory holds the content when Models/, Textures/, Shaders/ and Fonts/
// are all in it.
bool HoldsContent(const std::string& directory);

// Looks for the content in this order: `dataOption` (the --data option) when
// not empty, else $TARNSIM_DATA when set and not empty; a directory named in
// either of these ways is the only one looked at. Otherwise the run directory
// beside the executable in a build tree (<exe dir>/run), then the executable's
// own directory (an unpacked Windows zip), then the installed data directory
// (<exe dir>/../share/tarnsim). On success changes the working
// directory into it and returns true; otherwise returns false with `error`
// set to one line (no line end) naming every place looked at.
bool EnterContentDirectory(const std::string& dataOption, ContentDirectory& found, std::string& error);

// Where compiled models of this content go: empty when beside their raw
// models (a writable content directory outside the installed tree), else
// $XDG_CACHE_HOME/tarnsim (~/.cache/tarnsim when the variable is unset or
// not absolute), created when missing.
std::string CompiledModelCacheFor(const ContentDirectory& content);
