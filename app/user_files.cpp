#include "app/user_files.h"

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
bool Absolute(const char* path) { return path != nullptr && std::filesystem::path(path).is_absolute(); }

std::string BaseDirectory(const char* variable, const char* belowHome, const char* windowsVariable) {
  const char* value = std::getenv(variable);
  if (Absolute(value)) return value;
#ifdef _WIN32
  const char* profileFolder = windowsVariable != nullptr ? std::getenv(windowsVariable) : nullptr;
  if (Absolute(profileFolder)) return profileFolder;
  const char* home = std::getenv("USERPROFILE");
#else
  (void)windowsVariable;
  const char* home = std::getenv("HOME");
#endif
  return std::string(home != nullptr && home[0] != 0 ? home : ".") + "/" + belowHome;
}

// Paths in the system's own spelling, so the lines that name them read right.
std::string Native(std::string path) {
#ifdef _WIN32
  std::replace(path.begin(), path.end(), '/', '\\');
#endif
  return path;
}

bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

}  // namespace

std::string ConfigDirectory() { return Native(BaseDirectory("XDG_CONFIG_HOME", ".config", "APPDATA") + "/tarnsim"); }

std::string FlightsDirectory() {
  return Native(BaseDirectory("XDG_DATA_HOME", ".local/share", "APPDATA") + "/tarnsim/flights");
}

std::string ScreenshotsDirectory() {
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
