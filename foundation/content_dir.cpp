#include "foundation/content_dir.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace {

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// The folder of the running program, from the kernel's own link (argv[0]
// may be a bare name found through PATH, or a symbolic link).
std::string ExecutableDirectory() {
  std::string exe = RealPath("/proc/self/exe");
  size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

std::string Quoted(const std::vector<std::string>& places) {
  std::string text;
  for (size_t i = 0; i < places.size(); i++) {
    if (i) text += i + 1 == places.size() ? " or " : ", ";
    text += "\"" + places[i] + "\"";
  }
  return text;
}

// mkdir -p; user files are private, as the base directory rules ask.
bool MakeDirectories(const std::string& path) {
  for (size_t i = 1; i <= path.size(); i++) {
    if (i < path.size() && path[i] != '/') continue;
    if (mkdir(path.substr(0, i).c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return IsDirectory(path);
}

}  // namespace

bool HoldsContent(const std::string& directory) {
  for (const char* sub : {"/Models", "/Textures", "/Shaders", "/Fonts"})
    if (!IsDirectory(directory + sub)) return false;
  return true;
}

bool EnterContentDirectory(const std::string& dataOption, ContentDirectory& found, std::string& error) {
  const std::string exeDir = ExecutableDirectory();
  // <prefix>/bin/program -> <prefix>/share/tarnsim, wherever the prefix is.
  const std::string dataDir = exeDir.substr(0, exeDir.rfind('/')) + "/share/tarnsim";
  const std::string installed = exeDir.empty() ? std::string() : RealPath(dataDir);
  const char* env = std::getenv("TARNSIM_DATA");
  std::vector<std::string> candidates;
  std::string named;  // how the user named the one directory to use
  if (!dataOption.empty()) {
    candidates.push_back(dataOption);
    named = "--data";
  } else if (env && *env) {
    candidates.push_back(env);
    named = "TARNSIM_DATA";
  } else {
    if (!exeDir.empty()) candidates.push_back(exeDir + "/run");
    if (!exeDir.empty()) candidates.push_back(dataDir);
  }
  for (const std::string& dir : candidates) {
    if (!HoldsContent(dir)) continue;
    std::string absolute = RealPath(dir);
    if (absolute.empty() || chdir(absolute.c_str()) != 0) continue;
    found.path = absolute;
    found.installed = !installed.empty() && absolute == installed;
    return true;
  }
  error = "No content (Models/, Textures/, Shaders/, Fonts/) in " + Quoted(candidates) +
          (named.empty() ? "; name its folder with --data DIR or TARNSIM_DATA" : " (from " + named + ")");
  return false;
}

std::string CompiledModelCacheFor(const ContentDirectory& content) {
  if (!content.installed && access((content.path + "/Models").c_str(), W_OK) == 0) return std::string();
  std::string base;
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      const passwd* pw = getpwuid(getuid());
      home = pw ? pw->pw_dir : "/tmp";
    }
    base = std::string(home) + "/.cache";
  }
  std::string cache = base + "/tarnsim";
  MakeDirectories(cache);  // when it fails, saving says so and the next run recompiles
  return cache;
}
