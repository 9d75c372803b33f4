// tarnsim [--data DIR] [--config FILE] [--write-config] [--help] [--version]
// The simulator: reads its settings, finds its content and enters it, then
// runs the window program. The command line is defined here and nowhere else.
#include <CLI/CLI.hpp>

#include "app/settings.h"
#include "app/shell.h"
#include "app/stick.h"
#include "assets/model.h"
#include "foundation/content_dir.h"
#include "foundation/log.h"
#include "tarn_version.h"

int main(int argc, char** argv) {
  CLI::App cli("Tarn sim: a flapping-wing model aircraft under a balloon, over an island.", "tarnsim");
  cli.set_version_flag("--version", "tarnsim " TARN_VERSION);
  std::string data, config;
  bool writeConfig = false;
  cli.add_option("--data", data, "Content directory (Models/, Textures/, Shaders/, Fonts/)")->option_text("DIR");
  cli.add_option("--config", config,
                 "Settings file (default: $XDG_CONFIG_HOME/tarnsim/tarnsim.conf, else ~/.config/tarnsim/tarnsim.conf)")
      ->option_text("FILE");
  cli.add_flag("--write-config", writeConfig, "Write the default settings, commented, to the settings file and stop");
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help and version end well; a bad command line ends with status 1.
    return cli.exit(e) == 0 ? 0 : 1;
  }

  // Settings first: a settings path on the command line is relative to where
  // the program was started, not to the content directory.
  std::string path = SettingsPath(config);
  if (writeConfig) {
    if (!WriteDefaultSettings(path)) return 1;
    Log("Wrote the default settings to %s\n", path.c_str());
    return 0;
  }
  UserSettings = LoadSettings(path);
  ApplyKeySettings(UserSettings);

  ContentDirectory content;
  std::string error;
  if (!EnterContentDirectory(data, content, error)) {
    Log("%s\n", error.c_str());
    return 1;
  }
  CompiledModelCache = CompiledModelCacheFor(content);
  return RunApplication();
}
