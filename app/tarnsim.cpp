// tarnsim [--data DIR] [--config FILE] [--write-config] [--aircraft FILE] [--set KEY=VALUE]...
//         [--write-aircraft FILE] [--record FILE] [--replay FILE] [--force] [--help] [--version]
// The simulator: reads its settings, finds its content and enters it, then
// runs the window program. The command line is defined here and nowhere else.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "aircraft/aircraft.h"
#include "app/aircraft_reload.h"
#include "air/air.h"
#include "app/screen_messages.h"
#include "app/menu/menu.h"
#include "app/settings.h"
#include "app/shell.h"
#include "app/stick.h"
#include "assets/model.h"
#include "foundation/content_dir.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/str.h"
#include "platform/dialog/dialog.h"
#include "tarn_version.h"

namespace {
// A recording never silently takes the place of what the user made: not the
// flight being replayed, not an existing file without --force, and not a
// file in a folder that is not there (refused now, not found out at the
// first frame).
bool RecordingPathUsable(const FlightSessionOptions& flights) {
  const std::string& path = flights.record;
  if (!flights.replay.empty() && SameFile(path, flights.replay)) {
    Log("Can't record into \"%s\": it is the flight being replayed\n", path.c_str());
    return false;
  }
  std::error_code failed;
  std::filesystem::path folder = FsPath(path).parent_path();
  if (!folder.empty() && !std::filesystem::is_directory(folder, failed)) {
    Log("Can't record into \"%s\": the folder \"%s\" does not exist\n", path.c_str(), Utf8Path(folder).c_str());
    return false;
  }
  if (!flights.replace && std::filesystem::exists(std::filesystem::symlink_status(FsPath(path), failed))) {
    Log("Can't record into \"%s\": the file exists (--force replaces it)\n", path.c_str());
    return false;
  }
  return true;
}

// Where the settings file is when --config names none, as this system says it.
#ifdef _WIN32
const char* const kSettingsDefault = "%APPDATA%\\tarnsim\\tarnsim.conf";
const char* const kProgram = "tarnsim.exe";
#else
const char* const kSettingsDefault = "$XDG_CONFIG_HOME/tarnsim/tarnsim.conf, else ~/.config/tarnsim/tarnsim.conf";
const char* const kProgram = "tarnsim";
#endif

// A bad command line: the problem, and where the options are listed.
std::string commandLineProblem;

int Run(int argc, char** argv) {
  CLI::App cli("Tarn sim: a flapping-wing model aircraft under a balloon, over an island.", "tarnsim");
  cli.footer(std::string("A flight file given alone (") + kProgram +
             " FLIGHT, a file dropped on the program) is replayed, as with --replay.");
  cli.set_version_flag("--version", "tarnsim " TARN_VERSION);
  // Paths like /home/... are paths, not Windows-style /options, on every system.
  cli.allow_windows_style_options(false);
  std::string data, config;
  bool writeConfig = false;
  cli.add_option("--data", data, "Content directory (Models/, Textures/, Shaders/, Fonts/)")->option_text("DIR");
  FlightSessionOptions flights;
  cli.add_option("--config", config, std::string("Settings file (default: ") + kSettingsDefault + ")")
      ->option_text("FILE");
  cli.add_flag("--write-config", writeConfig, "Write the default settings, commented, to the settings file and stop");
  std::string aircraft, writeAircraft;
  std::vector<std::string> overrides;
  cli.add_option("--aircraft", aircraft,
                 "Aircraft file to fly (default: the settings' [aircraft] file, else the built-in machine)")
      ->option_text("FILE");
  cli.add_option("--set", overrides, "Override one aircraft value, e.g. --set fin.height=1.2 (repeatable)")
      ->option_text("SECTION.KEY=VALUE");
  cli.add_option("--write-aircraft", writeAircraft,
                 "Write the aircraft's values, every one commented, to FILE and stop")
      ->option_text("FILE");
  cli.add_option("--record", flights.record, "Record the flight from the start into FILE")->option_text("FILE");
  cli.add_option("--replay", flights.replay, "Play a recorded flight at its own pace")->option_text("FILE");
  cli.add_flag("--force", flights.replace, "Let --record and --write-aircraft replace an existing file");
  // One argument that is no option is a flight to replay: what a file
  // dropped on the program or opened with it brings.
  std::vector<std::string> args = ProgramArguments(argc, argv);
  if (args.size() == 1 && !args[0].empty() && args[0][0] != '-') args.insert(args.begin(), "--replay");
  std::reverse(args.begin(), args.end());  // CLI11 takes them last first
  try {
    cli.parse(args);
  } catch (const CLI::ParseError& e) {
    // Help and version end well; a bad command line ends with status 1.
    int code = cli.exit(e) == 0 ? 0 : 1;
    if (code != 0) commandLineProblem = e.what();
    return code;
  }

  // Settings first: a settings path on the command line is relative to where
  // the program was started, not to the content directory.
  std::string path = SettingsPath(config);
  // From here on every line for the user shows in the window too.
  StartScreenMessages();
  if (writeConfig) {
    if (!WriteDefaultSettings(path)) return 1;
    Log("Wrote the default settings to %s\n", path.c_str());
    return 0;
  }
  UserSettings = LoadSettings(path);
  SetMenuSettingsPath(path);
  ApplyKeySettings(UserSettings);
  ApplyDisplaySettings(UserSettings);
  air::Current = UserSettings.air;  // built with the scene's first reset

  // The aircraft: the command line's file, else the settings' one (relative
  // to the settings file's folder).
  if (aircraft.empty() && !UserSettings.aircraftFile.empty()) {
    std::filesystem::path named = FsPath(UserSettings.aircraftFile);
    aircraft = Utf8Path(named.is_absolute() ? named : FsPath(path).parent_path() / named);
  }
  if (!aircraft.empty()) {
    std::error_code failed;
    std::filesystem::path absolute = std::filesystem::absolute(FsPath(aircraft), failed);
    if (!failed) aircraft = Utf8Path(absolute);
  }
  ChooseAircraft(aircraft, overrides);
  if (!writeAircraft.empty()) {
    std::error_code failed;
    if (!flights.replace && std::filesystem::exists(std::filesystem::symlink_status(FsPath(writeAircraft), failed))) {
      Log("Can't write the aircraft to \"%s\": the file exists (--force replaces it)\n", writeAircraft.c_str());
      return 1;
    }
    std::string reason;
    if (!content::WriteAircraftFile(writeAircraft, CurrentAircraftParams, reason)) {
      Log("Can't write the aircraft to \"%s\": %s\n", writeAircraft.c_str(), reason.c_str());
      return 1;
    }
    Log("Wrote the aircraft to %s\n", writeAircraft.c_str());
    return 0;
  }
  // A replay flies the aircraft of its recording, whatever the file says now.
  if (flights.replay.empty()) WatchAircraftFile(aircraft, overrides);

  // Flight files named on the command line are relative to where the program
  // was started, not to the content directory it is about to enter.
  for (std::string* file : {&flights.record, &flights.replay}) {
    std::error_code failed;
    if (!file->empty()) {
      std::filesystem::path absolute = std::filesystem::absolute(FsPath(*file), failed);
      if (!failed) *file = Utf8Path(absolute);
    }
  }
  if (!flights.record.empty() && !RecordingPathUsable(flights)) return 1;
  ContentDirectory content;
  std::string error;
  if (!EnterContentDirectory(data, content, error)) {
    Log("%s\n", error.c_str());
    return 1;
  }
  CompiledModelCache = CompiledModelCacheFor(content);
  return RunApplication(flights);
}

}  // namespace

int main(int argc, char** argv) {
  int code = Run(argc, argv);
  // Started from Explorer the console goes with the program: what stopped it
  // is said once more where the person can read it.
  if (code != 0 && ConsoleClosesWithProgram()) {
    std::string text = commandLineProblem.empty() ? RecentConsoleLines(8) : commandLineProblem + "\n";
    ShowMessageBox("Tarn sim could not start",
                   text + "\nThe options are listed by " + kProgram + " --help in a command prompt.");
  }
  return code;
}
