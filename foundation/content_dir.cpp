#include "foundation/content_dir.h"

#include "foundation/files.h"
#include "foundation/paths.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

bool IsDirectory(const std::string& path) {
  std::error_code error;
  return fs::is_directory(FsPath(path), error);
}

// The absolute path with every link resolved; empty when it does not exist.
std::string RealPath(const std::string& path) {
  std::error_code error;
  fs::path resolved = fs::canonical(FsPath(path), error);
  return error ? std::string() : Utf8GenericPath(resolved);
}

// The folder of the running program, from the system's own record of it
// (argv[0] may be a bare name found through PATH, or a symbolic link).
std::string ExecutableDirectory() {
#ifdef _WIN32
  const std::string program = ProgramFile();
  std::string exe = program.empty() ? std::string() : RealPath(program);
#else
  std::string exe = RealPath("/proc/self/exe");
#endif
  size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

std::string Quoted(const std::vector<std::string>& places) {
  std::string text;
  for (size_t i = 0; i < places.size(); i++) {
    if (i) text += i + 1 == places.size() ? " or " : ", ";
#ifdef _WIN32
    // As Explorer and the command prompt write them.
    text += "\"" + Utf8Path(FsPath(places[i]).make_preferred()) + "\"";
#else
    text += "\"" + places[i] + "\"";
#endif
  }
  return text;
}

// Whether this process may create files in a folder: tried, not guessed from
// permission bits (a read-only mount or another owner answers the same way).
bool Writable(const std::string& directory) {
#ifdef _WIN32
  const std::wstring probe = WideText(directory + "/.tarnsim-write-test");
  std::FILE* f = _wfopen(probe.c_str(), L"wb");
  if (!f) return false;
  std::fclose(f);
  _wremove(probe.c_str());
  return true;
#else
  return access(directory.c_str(), W_OK) == 0;
#endif
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
  const std::string env = EnvironmentValue("TARNSIM_DATA");
  std::vector<std::string> candidates;
  std::string named;  // how the user named the one directory to use
  if (!dataOption.empty()) {
    candidates.push_back(dataOption);
    named = "--data";
  } else if (!env.empty()) {
    candidates.push_back(env);
    named = "TARNSIM_DATA";
  } else {
    // A build tree keeps it in run/ beside the program, an unpacked zip (the
    // Windows package) beside the program itself, an install under share/.
#ifdef _WIN32
    // (No share/ folder on Windows: the zip is the one way to install.)
    if (!exeDir.empty()) candidates.insert(candidates.end(), {exeDir + "/run", exeDir});
#else
    if (!exeDir.empty()) candidates.insert(candidates.end(), {exeDir + "/run", exeDir, dataDir});
#endif
  }
  for (const std::string& dir : candidates) {
    if (!HoldsContent(dir)) continue;
    std::string absolute = RealPath(dir);
    std::error_code entered;
    if (absolute.empty()) continue;
    fs::current_path(FsPath(absolute), entered);
    if (entered) continue;
    found.path = absolute;
    found.installed = !installed.empty() && absolute == installed;
    return true;
  }
#ifdef _WIN32
  error = "No content (the Models, Textures, Shaders and Fonts folders) in " + Quoted(candidates) +
          (named.empty() ? "; keep the program in the folder unpacked from the zip, or name the content's "
                           "folder with --data DIR or TARNSIM_DATA"
                         : " (from " + named + ")");
#else
  error = "No content (Models/, Textures/, Shaders/, Fonts/) in " + Quoted(candidates) +
          (named.empty() ? "; name its folder with --data DIR or TARNSIM_DATA" : " (from " + named + ")");
#endif
  return false;
}

std::string CompiledModelCacheFor(const ContentDirectory& content) {
  if (!content.installed && Writable(content.path + "/Models")) return std::string();
  std::string base;
  const std::string xdg = EnvironmentValue("XDG_CACHE_HOME");
  if (FsPath(xdg).is_absolute()) {
    base = xdg;
  } else {
#ifdef _WIN32
    const std::string local = EnvironmentValue("LOCALAPPDATA");  // where Windows keeps per-user caches
    base = !local.empty() ? local : Utf8GenericPath(fs::temp_directory_path());
#else
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      const passwd* pw = getpwuid(getuid());
      home = pw ? pw->pw_dir : "/tmp";
    }
    base = std::string(home) + "/.cache";
#endif
  }
  std::string cache = base + "/tarnsim";
  // Private when made here; an existing folder (or a link to a shared one)
  // keeps its permissions. When it fails, saving says so and the next run
  // recompiles.
  std::string reason;
  MakePrivateFolders(cache, reason);
  return cache;
}
