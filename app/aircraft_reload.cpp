#include "app/aircraft_reload.h"

#include <chrono>
#include <filesystem>

#include "aircraft/aircraft.h"
#include "app/update.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/str.h"
#include "render/draw.h"
#include "render/text.h"
#include "sim/keys.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kPollSeconds = 1.0;
constexpr double kShowSeconds = 8.0;

std::string watched;
std::vector<std::string> commandLine;
// What the file looked like when last read: its size and time, then its
// text, so a touch without a change rebuilds nothing.
std::filesystem::file_time_type lastTime;
uintmax_t lastSize = 0;
bool lastSeen = false;
Clock::time_point nextPoll;
std::string shown;
Clock::time_point shownUntil;

void Show(const std::vector<std::string>& lines) {
  shown.clear();
  for (const std::string& l : lines) shown += l + "\n";
  shownUntil = Clock::now() + std::chrono::milliseconds(int(kShowSeconds * 1000));
}

bool Changed() {
  std::error_code failed;
  auto time = std::filesystem::last_write_time(FsPath(watched), failed);
  if (failed) return false;  // gone for the moment (an editor saving): keep watching
  uintmax_t size = std::filesystem::file_size(FsPath(watched), failed);
  if (failed) return false;
  bool changed = !lastSeen || time != lastTime || size != lastSize;
  lastSeen = true;
  lastTime = time;
  lastSize = size;
  return changed;
}

// The one way a new set of values comes to fly: at the scene reset, with
// the changed values said; values with problems leave the aircraft as it was.
bool Take(const content::AircraftParams& next, const std::vector<std::string>& problems, const std::string& source) {
  std::vector<std::string> lines;
  if (!problems.empty()) {
    lines.push_back(source + " not taken; the aircraft flies on as it was:");
    for (const std::string& p : problems) lines.push_back(p);
  } else {
    std::vector<std::string> changes = content::AircraftDifferences(CurrentAircraftParams, next);
    if (changes.empty()) return true;
    lines.push_back(source + " changed, the aircraft rebuilt:");
    for (const std::string& c : changes) lines.push_back("  " + c);
    CurrentAircraftParams = next;
    ResetScene();
  }
  for (const std::string& l : lines) Log("%s\n", l.c_str());
  Show(lines);
  return problems.empty();
}

void Reload() {
  content::AircraftParams next;
  std::vector<std::string> problems;
  content::ReadAircraftFile(watched, next, problems);
  for (const std::string& assignment : commandLine) content::SetAircraftValue(assignment, next, problems);
  Take(next, problems, "Aircraft file \"" + watched + "\"");
}

}  // namespace

bool RebuildAircraft(const content::AircraftParams& next, const std::string& source) {
  std::vector<std::string> problems;
  content::CheckAircraft(next, source + ": ", problems);
  return Take(next, problems, source);
}

const std::string& WatchedAircraftFile() { return watched; }

void WatchAircraftFile(const std::string& file, const std::vector<std::string>& overrides) {
  watched = file;
  commandLine = overrides;
  lastSeen = false;
  if (!watched.empty()) Changed();  // the state the start read
  nextPoll = Clock::now() + std::chrono::milliseconds(int(kPollSeconds * 1000));
}

void PollAircraftFile() {
  bool asked = ConsumePresses(VK_F5);
  if (watched.empty()) return;
  Clock::time_point now = Clock::now();
  if (!asked && now < nextPoll) return;
  nextPoll = now + std::chrono::milliseconds(int(kPollSeconds * 1000));
  if (Changed() || asked) Reload();
}

void DrawAircraftReloadText() {
  if (shown.empty() || Clock::now() > shownUntil) return;
  SetPixelConstantVector(0, 0, 0, 1);
  DrawText(9, 151, 16, String(shown.c_str()));
  SetPixelConstantVector(1, 0.85f, 0.5f, 1);
  DrawText(8, 150, 16, String(shown.c_str()));
}
