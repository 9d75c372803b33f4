// tarn-flight SCRIPT|FLIGHT [--frame SECONDS] [--csv FILE] [--svg FILE] [--data DIR]
//             [--aircraft FILE] [--set SECTION.KEY=VALUE]...
// tarn-flight --random SEED --duration SECONDS [--frame SECONDS] [--data DIR]
//
// Flies the aircraft without a window, from a key script or a recorded
// flight, in the content the simulator itself would find (see
// EnterContentDirectory). Prints one summary line, and for a recorded flight
// the verdict: "replay matches" or "replay differs at frame N". Exits with 1
// on bad arguments, a malformed file, content that is not found, an aircraft
// or ground that could not be built, a flight of other content, a replay that
// differs or one whose end hash is missing; 2 when the simulation produced NaN
// or infinity. With --random, a random pilot flies for SECONDS of simulated
// time instead (the soak, see random_input.h); exit 2 when one of its checks
// failed.
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "aircraft/aircraft.h"
#include "assets/model.h"
#include "flightrec/state.h"
#include "foundation/content_dir.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "platform/dialog/dialog.h"
#include "tarn_version.h"
#include "tools/flight/flight.h"
#include "tools/flight/random_input.h"

namespace {

// Diagnostics go to standard error, so standard output holds only the summary.
template <class... Args>
void Error(const char* format, Args... args) {
  std::string text;
  {
    LogCapture capture;
    Log(format, args...);
    text = capture.text();
  }
  std::fputs(text.c_str(), stderr);
}

// Bad arguments: one line saying which and why, then the usage.
int Usage(const std::string& problem) {
  Error("tarn-flight: %s\n", problem.c_str());
  Error("usage: tarn-flight SCRIPT [--frame SECONDS] [--csv FILE] [--svg FILE] [--data DIR]\n"
        "       tarn-flight --random SEED --duration SECONDS [--frame SECONDS] [--data DIR]\n");
  return 1;
}

// A path given on the command line, made independent of the working
// directory before the program enters its content directory.
std::string FromHere(const std::string& path) {
  if (path.empty()) return path;
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.string();
}

// Enters the content directory and points the compiled-model cache at the
// right place; false (with its line) when no content was found.
bool EnterContent(const std::string& data) {
  ContentDirectory content;
  std::string where;
  if (!EnterContentDirectory(data, content, where)) {
    Error("tarn-flight: %s\n", where.c_str());
    return false;
  }
  CompiledModelCache = CompiledModelCacheFor(content);
  return true;
}

// A key script without an end line stops on its own; say where, so a script
// whose end line was forgotten (or mistyped into a comment) is not mistaken
// for a flight of the intended length.
void NoteMissingEnd(const std::string& script, const std::vector<flight::ScriptEvent>& events,
                    const flight::RunOptions& options, const flight::RunResult& result) {
  for (const flight::ScriptEvent& e : events)
    if (e.action == flight::Action::End) return;
  double stopped = result.rows.empty() ? 0.0 : result.rows.back()[flight::kTime];
  if (events.empty()) {
    Error("tarn-flight: note: %s has no events and no \"end\" line; the flight stopped at t=%.3f s, "
          "the longest run\n", script.c_str(), stopped);
    return;
  }
  const flight::ScriptEvent& last = events.back();
  if (last.time >= options.maxTime)
    Error("tarn-flight: note: %s has no \"end\" line; the flight stopped at t=%.3f s, the longest run, "
          "before its last event (line %d, %.3f s)\n", script.c_str(), stopped, last.line, last.time);
  else
    Error("tarn-flight: note: %s has no \"end\" line; the flight stopped at t=%.3f s, one frame after "
          "its last event (line %d, %.3f s)\n", script.c_str(), stopped, last.line, last.time);
}

}  // namespace

int main(int argc, char** argv) {
  // Double-clicked, a command-line program flashes a console and is gone:
  // say what it is where the person can read it.
  if (argc == 1 && ConsoleClosesWithProgram())
    ShowMessageBox("Tarn sim flight runner",
                   "tarn-flight.exe is a command-line tool: it flies the aircraft without a window from a key "
                   "script or a recorded flight and prints one summary line.\n\n"
                   "Open a command prompt in this folder (type cmd in Explorer's address bar) and run\n"
                   "    tarn-flight.exe --help\n"
                   "for its options, or for example\n"
                   "    tarn-flight.exe my-flight.tarnflight --csv flight.csv --svg flight.svg\n\n"
                   "The simulator itself is tarnsim.exe.",
                   false);
  std::string script, csv, svg, frameText, data, seedText, durationText;
  flight::RunOptions options;
  CLI::App cli{"Flies the aircraft without a window from a key script or a recorded flight; prints one summary line",
                "tarn-flight"};
  cli.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  // Paths like /home/... are paths, not Windows-style /options, on every system.
  cli.allow_windows_style_options(false);
  cli.add_option("script", script, "Key script (\"<seconds> press|down|up <key>\", \"<seconds> axis pitch|roll <value>\" "
                 "or \"<seconds> end\" a line) or a recorded flight (.tarnflight) to replay")
      ->type_name("SCRIPT|FLIGHT");
  cli.add_option("--frame", frameText, "Seconds per frame, in (0, 1] (default 1/60)")->type_name("SECONDS");
  cli.add_option("--csv", csv, "Write one telemetry row per frame")->type_name("FILE");
  cli.add_option("--svg", svg, "Draw the flight path and height")->type_name("FILE");
  cli.add_option("--random", seedText, "Fly a random pilot from this seed instead of a script (the soak)")
      ->type_name("SEED");
  cli.add_option("--duration", durationText, "Simulated seconds the random pilot flies")->type_name("SECONDS");
  cli.add_option("--data", data, "Content directory (Models/, Textures/, Shaders/, Fonts/)")->type_name("DIR");
  std::string aircraft;
  std::vector<std::string> overrides;
  cli.add_option("--aircraft", aircraft, "Aircraft file to fly (default: the built-in machine)")->type_name("FILE");
  cli.add_option("--set", overrides, "Override one aircraft value, e.g. --set fin.height=1.2 (repeatable)")
      ->type_name("SECTION.KEY=VALUE")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  cli.set_version_flag("--version", "tarn-flight " TARN_VERSION);
  try {
    cli.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return cli.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return cli.exit(e);
  } catch (const CLI::ParseError& e) {
    return Usage(e.what());
  }
  {
    // A recorded flight brings its own aircraft; scripts and the soak fly this one.
    LogCapture capture;
    bool clean = ChooseAircraft(aircraft, overrides);
    std::fputs(capture.text().c_str(), stderr);
    if (!clean && !aircraft.empty() && !std::filesystem::is_regular_file(aircraft)) return 1;
  }
  if (!frameText.empty()) {
    char* end = nullptr;
    double frame = std::strtod(frameText.c_str(), &end);
    if (end == frameText.c_str() || *end != '\0' || !std::isfinite(frame) || frame <= 0 || frame > 1) {
      Error("tarn-flight: --frame wants seconds in (0, 1], not \"%s\"\n", frameText.c_str());
      return 1;
    }
    options.frameTime = frame;
  }

  if (!seedText.empty()) {
    if (!script.empty())
      return Usage("--random flies a random pilot instead of a script; give one or the other, not \"" + script + "\" too");
    if (!csv.empty() || !svg.empty())
      return Usage(std::string(!csv.empty() ? "--csv" : "--svg") +
                   " goes with a script or a flight: --random keeps no telemetry to write");
    if (durationText.empty()) return Usage("--random needs --duration SECONDS: how long the random pilot flies");
    char* end = nullptr;
    uint64_t seed = std::strtoull(seedText.c_str(), &end, 10);
    if (end == seedText.c_str() || *end != '\0' || seedText[0] == '-') {
      Error("tarn-flight: --random wants a whole number, not \"%s\"\n", seedText.c_str());
      return 1;
    }
    double duration = std::strtod(durationText.c_str(), &end);
    if (end == durationText.c_str() || *end != '\0' || !std::isfinite(duration) || duration <= 0) {
      Error("tarn-flight: --duration wants seconds above 0, not \"%s\"\n", durationText.c_str());
      return 1;
    }
    if (!EnterContent(data)) return 1;
    flight::SoakResult soak = flight::Soak(seed, duration, options.frameTime);
    Log("%s\n", flight::SoakSummary(seed, soak).c_str());
    return soak.failure.empty() ? 0 : 2;
  }
  if (!durationText.empty()) return Usage("--duration goes with --random only: a script ends at its own end line");
  if (script.empty()) return Usage("a key script or a recorded flight to fly is missing");

  std::string text, reason;
  if (!ReadWholeFile(script, FileKind::Flight, text, reason)) {
    Error("tarn-flight: can't read \"%s\": %s\n", script.c_str(), reason.c_str());
    return 1;
  }
  flight::Flight file;
  std::string error;
  if (!flight::ParseFlight(text, file, error)) {
    Error("tarn-flight: %s: %s\n", script.c_str(), error.c_str());
    return 1;
  }
  if (!flight::FlightIsFlyable(file, error)) {
    Error("tarn-flight: %s: %s\n", script.c_str(), error.c_str());
    return 1;
  }

  csv = FromHere(csv);
  svg = FromHere(svg);
  // The outputs may replace earlier outputs, never the flight they come from.
  for (const std::string* output : {&csv, &svg}) {
    if (!output->empty() && SameFile(*output, script)) {
      Error("tarn-flight: \"%s\" is the flight being read; name another file for the output\n",
            output->c_str());
      return 1;
    }
  }
  if (!EnterContent(data)) return 1;
  if (file.recorded) {
    uint64_t content = flight::ContentFingerprint("", file.aircraft);
    if (content != file.content) {
      Error("tarn-flight: %s: recorded on other content (fingerprint %s, this content %s)\n",
            script.c_str(), flight::HashText(file.content).c_str(),
            flight::HashText(content).c_str());
      return 1;
    }
  }

  // The content's console lines (model loading and the like) are diagnostics.
  flight::RunResult result;
  std::string console;
  {
    LogCapture capture;
    result = file.recorded ? flight::ReplayFlight(file, options) : flight::Run(file.events, options);
    console = capture.text();
  }
  std::fputs(console.c_str(), stderr);
  if (!result.failure.empty()) {
    Error("tarn-flight: %s\n", result.failure.c_str());
    return 1;
  }
  bool written = true;
  {
    LogCapture capture;
    if (!csv.empty()) written = flight::WriteCsv(csv, result.rows) && written;
    if (!svg.empty()) written = flight::WriteSvg(svg, result.rows) && written;
    std::fputs(capture.text().c_str(), stderr);
  }
  Log("%s\n", flight::Summary(result).c_str());
  if (!file.recorded && !result.escaped && !result.broken) NoteMissingEnd(script, file.events, options, result);
  bool matches = true;
  if (file.recorded && !result.broken) {
    Log("final state hash %s\n", flight::HashText(result.finalHash).c_str());
    Log("%s\n", flight::Verdict(file, result).c_str());
    matches = result.differsAt < 0 && result.endChecked;
    if (!result.endChecked && result.differsAt < 0)
      Error("tarn-flight: %s: line %d: the end hash is missing (the recording was cut short)\n",
            script.c_str(), file.lastLine + (file.partialLine ? 1 : 0));
  }
  if (result.broken) {
    Error("tarn-flight: the simulation broke down (NaN or infinity) at t=%.3f s\n",
        result.rows.empty() ? 0.0 : result.rows.back()[flight::kTime]);
    return 2;
  }
  return written && matches ? 0 : 1;
}
