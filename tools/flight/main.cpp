// tarn-flight SCRIPT|FLIGHT [--frame SECONDS] [--csv FILE] [--svg FILE]
//
// Flies the aircraft without a window, from a key script or a recorded
// flight, in the content of the current directory (the run directory).
// Prints one summary line, and for a recorded flight the verdict: "replay
// matches" or "replay differs at frame N". Exits with 1 on bad arguments, a
// malformed file, a flight of other content, a replay that differs or one
// whose end hash is missing; 2 when the simulation produced NaN or infinity.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "flightrec/state.h"
#include "foundation/log.h"
#include "tools/flight/flight.h"

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

int Usage() {
  Error("usage: tarn-flight SCRIPT [--frame SECONDS] [--csv FILE] [--svg FILE]\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string script, csv, svg;
  flight::RunOptions options;
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    if ((arg == "--frame" || arg == "--csv" || arg == "--svg") && i + 1 < argc) {
      std::string value = argv[++i];
      if (arg == "--csv") {
        csv = value;
      } else if (arg == "--svg") {
        svg = value;
      } else {
        char* end = nullptr;
        double frame = std::strtod(value.c_str(), &end);
        if (end == value.c_str() || *end != '\0' || !std::isfinite(frame) || frame <= 0 ||
            frame > 1) {
          Error("tarn-flight: --frame wants seconds in (0, 1], not \"%s\"\n", value.c_str());
          return 1;
        }
        options.frameTime = frame;
      }
    } else if (!arg.empty() && arg[0] != '-' && script.empty()) {
      script = arg;
    } else {
      return Usage();
    }
  }
  if (script.empty()) return Usage();

  std::ifstream in(script, std::ios::binary);
  if (!in) {
    Error("tarn-flight: can't read \"%s\"\n", script.c_str());
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();
  flight::Flight file;
  std::string error;
  if (!flight::ParseFlight(text.str(), file, error)) {
    Error("tarn-flight: %s: %s\n", script.c_str(), error.c_str());
    return 1;
  }
  if (file.recorded) {
    uint64_t content = flight::ContentFingerprint("");
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
  bool written = true;
  {
    LogCapture capture;
    if (!csv.empty()) written = flight::WriteCsv(csv, result.rows) && written;
    if (!svg.empty()) written = flight::WriteSvg(svg, result.rows) && written;
    std::fputs(capture.text().c_str(), stderr);
  }
  Log("%s\n", flight::Summary(result).c_str());
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
