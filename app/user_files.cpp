#include "app/user_files.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace {

// An environment directory when set to an absolute path (the XDG rule), else
// the fallback below the home directory.
std::string BaseDirectory(const char* variable, const char* belowHome) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return value;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr && home[0] != 0 ? home : ".") + "/" + belowHome;
}

bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

}  // namespace

std::string FlightsDirectory() {
  return BaseDirectory("XDG_DATA_HOME", ".local/share") + "/tarnsim/flights";
}

std::string ScreenshotsDirectory() { return BaseDirectory("XDG_PICTURES_DIR", "Pictures") + "/tarnsim"; }

bool MakeDirectories(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (std::filesystem::is_directory(path)) return true;
  errno = error ? error.value() : ENOTDIR;
  return false;
}

std::string DatedPath(const std::string& dir, const char* prefix, const char* ext) {
  std::time_t now = std::time(nullptr);
  char stamp[32] = "";
  // One thread: the shared result of localtime is safe here.
  if (const std::tm* local = std::localtime(&now))
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", local);
  std::string base = dir + "/" + prefix + "-" + stamp;
  std::string path = base + ext;
  for (int n = 2; Exists(path) || Exists(path + ".part"); n++)
    path = base + "-" + std::to_string(n) + ext;
  return path;
}
