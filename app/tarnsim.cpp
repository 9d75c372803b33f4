// tarnsim [--config FILE] [--write-config] [--record FILE] [--replay FILE] [--help] [--version]
#include <CLI/CLI.hpp>

#include "app/settings.h"
#include "app/shell.h"
#include "app/stick.h"
#include "foundation/log.h"
#include "tarn_version.h"

int main(int argc, char** argv) {
  CLI::App cli("Tarn sim: a flapping-wing model aircraft under a balloon, over an island.", "tarnsim");
  cli.set_version_flag("--version", "tarnsim " TARN_VERSION);
  std::string config;
  bool writeConfig = false;
  FlightSessionOptions flights;
  cli.add_option("--config", config,
                 "Settings file (default: $XDG_CONFIG_HOME/tarnsim/tarnsim.conf, else ~/.config/tarnsim/tarnsim.conf)")
      ->option_text("FILE");
  cli.add_flag("--write-config", writeConfig, "Write the default settings, commented, to the settings file and stop");
  cli.add_option("--record", flights.record, "Record the flight from the start into FILE")->option_text("FILE");
  cli.add_option("--replay", flights.replay, "Play a recorded flight at its own pace")->option_text("FILE");
  CLI11_PARSE(cli, argc, argv);

  std::string path = SettingsPath(config);
  if (writeConfig) {
    if (!WriteDefaultSettings(path)) return 1;
    Log("Wrote the default settings to %s\n", path.c_str());
    return 0;
  }
  UserSettings = LoadSettings(path);
  ApplyKeySettings(UserSettings);
  return RunApplication(flights);
}
