// A private working folder for a test that draws: links to the content the
// build generates (textures, shaders, fonts, the aircraft, sky and windsock models), so
// each test compiles its own models without touching the run directory.
#pragma once
#include <stdlib.h>

#include <filesystem>
#include <string>

// The new folder, or an empty path when the build has made no content.
inline std::filesystem::path LinkRunContent(const char* runDir, const std::string& prefix) {
  namespace fs = std::filesystem;
  const fs::path run = runDir;
  if (!fs::exists(run / "Models/PlaneTarn.mdl")) return {};
  std::string tmpl = "/tmp/" + prefix + "-XXXXXX";
  if (!mkdtemp(&tmpl[0])) return {};
  const fs::path dir = tmpl;
  for (const char* sub : {"Textures", "Shaders", "Fonts"}) fs::create_directory_symlink(run / sub, dir / sub);
  fs::create_directory(dir / "Models");
  for (const char* m : {"Models/PlaneTarn.mdl", "Models/InvBox.mdl", "Models/Windsock.mdl"})
    fs::create_symlink(run / m, dir / m);
  return dir;
}

// A drawing test's working folder while it runs: Enter makes the linked
// content the current folder (false when the build has made none); Leave
// goes back to the folder it came from and removes the links.
struct RunContentFolder {
  std::filesystem::path dir, oldDir;
  bool Enter(const char* runDir, const std::string& prefix) {
    dir = LinkRunContent(runDir, prefix);
    if (dir.empty()) return false;
    oldDir = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    return true;
  }
  void Leave() {
    if (dir.empty()) return;
    std::filesystem::current_path(oldDir);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    dir.clear();
  }
};
