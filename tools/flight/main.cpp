// tarn-flight SCRIPT [--frame SECONDS] [--csv FILE] [--svg FILE]
// tarn-flight --random SEED --duration SECONDS [--frame SECONDS]
//
// Flies the aircraft without a window, from a key script, in the content of
// the current directory (the run directory). Prints one summary line; exits
// with 1 on bad arguments or a malformed script, 2 when the simulation
// produced NaN or infinity. With --random, a random pilot flies for SECONDS
// of simulated time instead (the soak, see random_input.h); exit 2 when one
// of its checks failed.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "foundation/log.h"
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

int Usage() {
  Error("usage: tarn-flight SCRIPT [--frame SECONDS] [--csv FILE] [--svg FILE]\n"
        "       tarn-flight --random SEED --duration SECONDS [--frame SECONDS]\n");
  return 1;
}

// A whole number for --random, a positive finite time for --duration.
bool ParseSoakValue(const std::string& arg, const std::string& value, uint64_t& seed, double& duration) {
  char* end = nullptr;
  if (arg == "--random") {
    seed = std::strtoull(value.c_str(), &end, 10);
    if (end != value.c_str() && *end == '\0' && value[0] != '-') return true;
    Error("tarn-flight: --random wants a whole number, not \"%s\"\n", value.c_str());
    return false;
  }
  duration = std::strtod(value.c_str(), &end);
  if (end != value.c_str() && *end == '\0' && std::isfinite(duration) && duration > 0) return true;
  Error("tarn-flight: --duration wants seconds above 0, not \"%s\"\n", value.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::string script, csv, svg;
  flight::RunOptions options;
  bool random = false;
  uint64_t seed = 0;
  double duration = 0;
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    if ((arg == "--random" || arg == "--duration") && i + 1 < argc) {
      if (!ParseSoakValue(arg, argv[++i], seed, duration)) return 1;
      random = random || arg == "--random";
    } else if ((arg == "--frame" || arg == "--csv" || arg == "--svg") && i + 1 < argc) {
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
  if (random) {
    if (!script.empty() || !csv.empty() || !svg.empty() || duration <= 0) return Usage();
    flight::SoakResult soak = flight::Soak(seed, duration, options.frameTime);
    Log("%s\n", flight::SoakSummary(seed, soak).c_str());
    return soak.failure.empty() ? 0 : 2;
  }
  if (script.empty() || duration > 0) return Usage();

  std::ifstream in(script, std::ios::binary);
  if (!in) {
    Error("tarn-flight: can't read \"%s\"\n", script.c_str());
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();
  std::vector<flight::ScriptEvent> events;
  std::string error;
  if (!flight::ParseScript(text.str(), events, error)) {
    Error("tarn-flight: %s: %s\n", script.c_str(), error.c_str());
    return 1;
  }

  // The content's console lines (model loading and the like) are diagnostics.
  flight::RunResult result;
  std::string console;
  {
    LogCapture capture;
    result = flight::Run(events, options);
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
  if (result.broken) {
    Error("tarn-flight: the simulation broke down (NaN or infinity) at t=%.3f s\n",
        result.rows.empty() ? 0.0 : result.rows.back()[flight::kTime]);
    return 2;
  }
  return written ? 0 : 1;
}
