#include "app/user_files.h"

#include "foundation/files.h"
#include "foundation/paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace {

// An environment directory when set to an absolute path (the XDG rule), else
// the fallback below the home directory. Windows has no XDG folders of its
// own: there the XDG variables still win when set, then the profile's folder
// named by windowsVariable (APPDATA for settings and data), then the profile.
bool Absolute(const std::string& path) { return FsPath(path).is_absolute(); }

std::string BaseDirectory(const char* variable, const char* belowHome, const char* windowsVariable) {
  std::string value = EnvironmentValue(variable);
  if (Absolute(value)) return value;
#ifdef _WIN32
  std::string profileFolder = windowsVariable != nullptr ? EnvironmentValue(windowsVariable) : std::string();
  if (Absolute(profileFolder)) return profileFolder;
  std::string home = EnvironmentValue("USERPROFILE");
#else
  (void)windowsVariable;
  std::string home = EnvironmentValue("HOME");
#endif
  return (home.empty() ? std::string(".") : home) + "/" + belowHome;
}

// Paths in the system's own spelling, so the lines that name them read right.
std::string Native(std::string path) {
#ifdef _WIN32
  std::replace(path.begin(), path.end(), '/', '\\');
#endif
  return path;
}

#ifndef _WIN32
// The Pictures folder a desktop names in $XDG_CONFIG_HOME/user-dirs.dirs
// (xdg-user-dirs writes it, localised: "$HOME/Bilder"), or "" when the file
// names none we may use. The file is shell text, but it is never run: only a
// line XDG_PICTURES_DIR="$HOME/..." or XDG_PICTURES_DIR="/..." counts, with
// backslash escapes; any other expansion ($VAR, `cmd`), a relative path, a
// missing quote, or the home folder itself (xdg-user-dirs' way of saying
// "none") leaves the line unused. The last usable line wins, as in a shell.
std::string PicturesFromUserDirs(const std::string& home) {
  constexpr size_t kMaxBytes = 16 * 1024;
  const std::string path = BaseDirectory("XDG_CONFIG_HOME", ".config", nullptr) + "/user-dirs.dirs";
  std::string text, reason;
  if (!ReadWholeFile(path, FileKind::Settings, text, reason)) return "";
  if (text.size() > kMaxBytes) return "";  // not a user-dirs file

  static const std::string kKey = "XDG_PICTURES_DIR";
  std::string found;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line.compare(i, kKey.size(), kKey) != 0) continue;
    // Spaces around '=' are allowed, as GLib's reader of this file allows them.
    i = line.find_first_not_of(" \t", i + kKey.size());
    if (i == std::string::npos || line[i] != '=') continue;
    i = line.find_first_not_of(" \t", i + 1);
    if (i == std::string::npos || line[i] != '"') continue;
    i++;
    std::string value;
    bool relative = line.compare(i, 5, "$HOME") == 0 && (i + 5 >= line.size() || line[i + 5] == '/' || line[i + 5] == '"');
    if (relative) i += 5;
    else if (i >= line.size() || line[i] != '/') continue;
    bool closed = false, usable = true;
    for (; i < line.size(); i++) {
      char c = line[i];
      if (c == '"') { closed = true; break; }
      if (c == '\\' && i + 1 < line.size()) c = line[++i];
      else if (c == '$' || c == '`') usable = false;  // an expansion we do not perform
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) usable = false;
      value += c;
    }
    // Only a comment may follow the closing quote.
    size_t rest = closed ? line.find_first_not_of(" \t\r", i + 1) : 0;
    if (value.size() > 4096) usable = false;
    if (!closed || !usable || (rest != std::string::npos && line[rest] != '#')) continue;
    while (value.size() > 1 && value.back() == '/') value.pop_back();
    if (relative) {
      std::string base = home;
      while (!base.empty() && base.back() == '/') base.pop_back();
      value = value.empty() || value == "/" ? std::string() : base + value;
    }
    found = value;
  }
  return found;
}
#endif

bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(FsPath(path), error);
}

}  // namespace

std::string ConfigDirectory() { return Native(BaseDirectory("XDG_CONFIG_HOME", ".config", "APPDATA") + "/tarnsim"); }

std::string FlightsDirectory() {
  return Native(BaseDirectory("XDG_DATA_HOME", ".local/share", "APPDATA") + "/tarnsim/flights");
}

std::string ScreenshotsDirectory() {
#ifndef _WIN32
  // The variable, when set, wins over the file (as xdg-user-dir has it).
  if (!Absolute(EnvironmentValue("XDG_PICTURES_DIR"))) {
    const std::string home = EnvironmentValue("HOME");
    if (Absolute(home)) {
      std::string pictures = PicturesFromUserDirs(home);
      if (!pictures.empty()) return pictures + "/tarnsim";
    }
  }
#endif
  return Native(BaseDirectory("XDG_PICTURES_DIR", "Pictures", nullptr) + "/tarnsim");
}

std::string PathIn(const std::string& dir, const std::string& name) { return Native(dir + "/" + name); }

std::string DatedPath(const std::string& dir, const char* prefix, const char* ext) {
  std::time_t now = std::time(nullptr);
  char stamp[32] = "";
  // One thread: the shared result of localtime is safe here.
  if (const std::tm* local = std::localtime(&now))
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", local);
  std::string base = PathIn(dir, std::string(prefix) + "-" + stamp);
  std::string path = base + ext;
  for (int n = 2; Exists(path) || Exists(path + ".part"); n++)
    path = base + "-" + std::to_string(n) + ext;
  return path;
}
