// tarn-flight SCRIPT|FLIGHT [--frame SECONDS] [--csv FILE] [--svg FILE] [--data DIR]
//             [--aircraft FILE] [--set SECTION.KEY=VALUE]...
// tarn-flight --random SEED --duration SECONDS [--frame SECONDS] [--data DIR]
// tarn-flight SCRIPT --sweep KEY=FROM:TO:COUNT|KEY=v1,v2,... [--sweep ...] [--jobs N]
//             [--summary FILE.csv] [--window FROM:TO] [--shard I/N] [--svg FILE] [--quiet]
// tarn-flight --merge SHARD.csv... [--summary FILE.csv] [--svg FILE]
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
// failed. A sweep flies each case in a worker process of its own and writes
// one summary row per case (tools/flight/lab.h); it exits with 1 when a case
// was not flown to its end (its row says why).
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "air/air.h"
#include "aircraft/aircraft.h"
#include "aircraft/island_ground.h"
#include "assets/model.h"
#include "flightrec/state.h"
#include "foundation/content_dir.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "physics/entity.h"
#include "physics/ground.h"
#include "platform/dialog/dialog.h"
#include "tarn_version.h"
#include "tools/flight/flight.h"
#include "tools/flight/lab.h"
#include "tools/flight/random_input.h"
#include "tools/flight/workers.h"

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
  std::filesystem::path absolute = std::filesystem::absolute(FsPath(path), error);
  return error ? path : Utf8Path(absolute);
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

#ifndef _WIN32
// What every case of a sweep loads alike, loaded before the workers are
// forked from this process: the island, the ground mesh and the grid over
// it. The working directory stays as it was. Null without content (each
// worker then says so in its row, as it would have).
MDL* LoadSharedContent(const std::string& data) {
  std::error_code error;
  const std::filesystem::path here = std::filesystem::current_path(error);
  if (error) return nullptr;
  ContentDirectory content;
  std::string where;
  MDL* island = nullptr;
  if (EnterContentDirectory(data, content, where)) {
    CompiledModelCache = CompiledModelCacheFor(content);
    LogCapture quiet;
    island = LoadIslandGround();
    PrepareGroundGrid();
  }
  std::filesystem::current_path(here, error);
  return island;
}
#endif

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


// Writes a file the one safe way; false with its console line.
bool WriteOut(const std::string& path, const std::string& bytes) {
  std::string reason;
  if (WriteWholeFile(path, bytes, reason)) return true;
  Error("tarn-flight: can't write \"%s\": %s\n", path.c_str(), reason.c_str());
  return false;
}

// 64-bit FNV-1a over texts, each closed by a zero byte so that ("ab", "c")
// and ("a", "bc") differ.
uint64_t Fingerprint(const std::vector<std::string>& parts) {
  uint64_t h = 1469598103934665603ull;
  for (const std::string& part : parts) {
    for (unsigned char c : part) h = (h ^ c) * 1099511628211ull;
    h = (h ^ 0) * 1099511628211ull;
  }
  return h;
}

// A flown case's status ("ok" or why not) and metric fields.
void CaseFields(const flight::RunResult& result, const std::vector<flight::Probe>& probes, flight::Window window,
                std::string& status, std::string& fields) {
  fields = flight::EmptyMetricFields();
  if (!result.failure.empty()) {
    status = "failed: " + result.failure;
    return;
  }
  if (result.broken) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "broken: NaN or infinity at t=%.3f s",
                  result.rows.empty() ? 0.0 : result.rows.back()[flight::kTime]);
    status = buf;
    return;
  }
  status = "ok";
  fields = flight::MetricFields(flight::Measure(result.rows, probes, window, CurrentAircraftParams.wingChord,
                                                CurrentAircraftParams.wingTipX),
                                result.finalHash);
}

// Has the run read the lab's probe after every frame.
void CollectProbes(flight::RunOptions& options, std::vector<flight::Probe>& probes) {
  double frame = options.frameTime;
  options.afterFrame = [&probes, frame](const flight::Row&) {
    probes.push_back(flight::ReadProbe(frame));
    return true;
  };
}

// The world step's stages and the rest of the frame loop (the frame's
// input, camera and bookkeeping, and the runner's telemetry), as shares of
// the loop's wall time and microseconds per world step.
void PrintProfile(const WorldStepProfile& p, const flight::RunResult& result) {
  static const char* const names[kStageCount] = {"wing beat and effects", "surface forces (and gravity, buoyancy)",
                                                 "ground contact", "hinges", "straps", "integration"};
  double loop = result.wallSeconds > 0 ? result.wallSeconds : 1;
  double steps = p.steps > 0 ? double(p.steps) : 1;
  Log("profile: %llu world steps in %zu frames, %.3f s in the frame loop\n", (unsigned long long)p.steps,
      result.rows.size(), result.wallSeconds);
  for (int i = 0; i < kStageCount; i++)
    Log("  %-40s %5.1f%% %9.2f us/step\n", names[i], 100 * p.seconds[i] / loop, 1e6 * p.seconds[i] / steps);
  Log("  %-40s %5.1f%% %9.2f us/step\n", "rest of the frame", 100 * (loop - p.total) / loop,
      1e6 * (loop - p.total) / steps);
}

struct SweepPlan {
  std::vector<flight::SweepAxis> axes;
  std::vector<size_t> cases;  // the case numbers this run flies, in order
  size_t shard = 1, shards = 1;
  unsigned jobs = 1;
  bool quiet = false;
  uint64_t fingerprint = 0;
};

std::string Clock(double seconds) {
  long s = long(seconds + 0.5);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
  return buf;
}

// Runs the plan's cases in worker processes, `jobs` at a time, and gives
// their rows in case order. False when a case was not flown to its end.
// On Windows each worker is the program started again with --worker; on
// other systems a fork of this process that runs flyCase (much cheaper: no
// program start, no content loaded again). Either way each case flies in a
// process of its own, from the same state.
bool RunCases(const SweepPlan& plan, const std::string& program, const std::vector<std::string>& args,
              const std::function<int(size_t)>& flyCase, std::vector<flight::SummaryRow>& rows) {
  const size_t total = plan.cases.size();
  rows.assign(total, {});
  std::mutex mutex;
  std::condition_variable changed;
  size_t next = 0, done = 0;
  bool allOk = true;
  auto worker = [&]() {
    for (;;) {
      size_t k;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (next == total) return;
        k = next++;
      }
      size_t index = plan.cases[k];
#ifdef _WIN32
      (void)flyCase;
      std::vector<std::string> caseArgs = args;
      caseArgs.push_back("--worker");
      caseArgs.push_back(std::to_string(index));
      flight::WorkerResult w = flight::RunWorker(program, caseArgs);
#else
      (void)program, (void)args;
      flight::WorkerResult w = flight::RunForked([&] { return flyCase(index); }, mutex);
#endif
      std::vector<std::string> values = flight::CaseValues(plan.axes, index);
      std::string prefix = std::to_string(index) + ",";
      std::string line = w.output;
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      std::string problem;
      if (!w.failure.empty()) problem = w.failure;
      else if (w.signal != 0) problem = "killed by signal " + std::to_string(w.signal);
      else if (line.compare(0, prefix.size(), prefix) != 0 || line.find('\n') != std::string::npos)
        problem = "the worker ended with exit status " + std::to_string(w.exitCode) + " and no row";
      if (!problem.empty()) line = flight::SummaryRowText(index, values, problem, flight::EmptyMetricFields());
      std::lock_guard<std::mutex> lock(mutex);
      if (!problem.empty()) {
        std::string settings;
        for (size_t i = 0; i < values.size(); i++) settings += (i ? " " : "") + plan.axes[i].key + "=" + values[i];
        Error("tarn-flight: case %zu (%s): %s\n", index, settings.c_str(), problem.c_str());
      }
      size_t status = line.find(',', prefix.size());
      for (size_t i = 1; i < values.size() && status != std::string::npos; i++) status = line.find(',', status + 1);
      if (status == std::string::npos || line.compare(status + 1, 3, "ok,") != 0) allOk = false;
      rows[k] = {index, line};
      done++;
      changed.notify_all();
    }
  };
  bool progress = !plan.quiet && flight::ErrorIsTerminal();
  auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < std::min<size_t>(plan.jobs, total); i++) threads.emplace_back(worker);
  {
    std::unique_lock<std::mutex> lock(mutex);
    while (done < total) {
      changed.wait_for(lock, std::chrono::seconds(1));
      if (!progress) continue;
      double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::string left = done == 0 ? "?" : Clock(elapsed / double(done) * double(total - done));
      std::fprintf(stderr, "\r%zu/%zu cases, %s elapsed, about %s left   ", done, total, Clock(elapsed).c_str(),
                   left.c_str());
      std::fflush(stderr);
    }
  }
  for (std::thread& t : threads) t.join();
  if (progress) std::fputs("\n", stderr);
  return allOk;
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
  std::vector<std::string> sweeps, mergeFiles;
  std::string summary, windowText, jobsText, shardText, workerText;
  bool quiet = false;
  cli.add_option("--sweep", sweeps, "Fly one case per value (repeatable: every combination), KEY an aircraft key "
                 "or air.wind_speed, air.wind_from, air.turbulence, air.thermals, air.thermal_density, air.seed")
      ->type_name("KEY=FROM:TO:COUNT|KEY=v1,v2,...")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  cli.add_option("--summary", summary, "Write the flight metrics, one row per case (a sweep without it prints them)")
      ->type_name("FILE.csv");
  cli.add_option("--window", windowText, "Seconds of the flight the metrics cover (default: the last third)")
      ->type_name("FROM:TO");
  cli.add_option("--jobs", jobsText, "Cases flown at once (default: the machine's cores)")->type_name("N");
  cli.add_option("--shard", shardText, "Fly only cases I, I+N, I+2N... (counting from 1) for --merge")
      ->type_name("I/N");
  cli.add_option("--merge", mergeFiles, "Join the summaries of a sweep's shards into the single run's summary")
      ->type_name("SHARD.csv...")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  cli.add_flag("--quiet", quiet, "No progress line");
  bool profile = false;
  cli.add_flag("--profile", profile, "Print where the flight's time goes: the world step's stages and the rest of the frame");
  cli.add_option("--worker", workerText, "")->group("");  // one case of a sweep, in a worker process
  cli.set_version_flag("--version", "tarn-flight " TARN_VERSION);
  // (In UTF-8 on every system; CLI11 takes them last first.)
  std::vector<std::string> arguments = ProgramArguments(argc, argv);
  try {
    cli.parse(std::vector<std::string>(arguments.rbegin(), arguments.rend()));
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
    if (!clean && !aircraft.empty() && !std::filesystem::is_regular_file(FsPath(aircraft))) return 1;
  }
  if (!mergeFiles.empty()) {
    if (!script.empty() || !sweeps.empty())
      return Usage("--merge joins summaries that are already written; it flies nothing");
    std::vector<std::string> texts(mergeFiles.size());
    for (size_t i = 0; i < mergeFiles.size(); i++) {
      std::string reason;
      if (!ReadWholeFile(mergeFiles[i], FileKind::Summary, texts[i], reason)) {
        Error("tarn-flight: can't read \"%s\": %s\n", mergeFiles[i].c_str(), reason.c_str());
        return 1;
      }
    }
    std::string merged, problem;
    if (!flight::MergeSummaries(texts, mergeFiles, merged, problem)) {
      Error("tarn-flight: --merge: %s\n", problem.c_str());
      return 1;
    }
    if (summary.empty()) std::fputs(merged.c_str(), stdout);
    else if (!WriteOut(summary, merged)) return 1;
    if (!svg.empty()) {
      std::string picture;
      if (!flight::SweepSvgText(merged, picture, problem)) {
        Error("tarn-flight: %s\n", problem.c_str());
        return 1;
      }
      if (!WriteOut(svg, picture)) return 1;
    }
    return 0;
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
    if (!sweeps.empty() || !summary.empty())
      return Usage(std::string(!sweeps.empty() ? "--sweep" : "--summary") + " goes with a key script, not --random");
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

  // The lab: a sweep, or the metrics of this one flight.
  flight::Window window = {std::nan(""), std::nan("")};
  bool lab = !sweeps.empty() || !summary.empty() || !workerText.empty();
  if (lab && file.recorded)
    return Usage("--sweep and --summary fly key scripts; a recorded flight replays its own aircraft");
  if (!lab && (!windowText.empty() || !jobsText.empty() || !shardText.empty()))
    return Usage("--window, --jobs and --shard go with --sweep or --summary");
  if (!windowText.empty() && !flight::ParseWindow(windowText, window, error)) {
    Error("tarn-flight: %s\n", error.c_str());
    return 1;
  }
  SweepPlan plan;
  plan.quiet = quiet;
  for (const std::string& sweepText : sweeps) {
    flight::SweepAxis axis;
    if (!flight::ParseSweep(sweepText, axis, error)) {
      Error("tarn-flight: %s\n", error.c_str());
      return 1;
    }
    plan.axes.push_back(axis);
  }
  size_t cases = flight::CaseCount(plan.axes);
  if (cases > flight::kMaxCases) {
    Error("tarn-flight: the sweep has %s cases, more than the %zu a sweep may have\n",
          cases == SIZE_MAX ? "too many" : std::to_string(cases).c_str(), flight::kMaxCases);
    return 1;
  }
  if (!shardText.empty()) {
    unsigned long i = 0, n = 0;
    char tail = 0;
    if (std::sscanf(shardText.c_str(), "%lu/%lu%c", &i, &n, &tail) != 2 || i < 1 || i > n || shardText[0] == '-') {
      Error("tarn-flight: --shard wants I/N with 1 <= I <= N, not \"%s\"\n", shardText.c_str());
      return 1;
    }
    plan.shard = i, plan.shards = n;
  }
  plan.jobs = flight::Cores();
  if (!jobsText.empty()) {
    char* end = nullptr;
    unsigned long jobs = std::strtoul(jobsText.c_str(), &end, 10);
    if (end == jobsText.c_str() || *end != '\0' || jobsText[0] == '-' || jobs < 1 || jobs > 1024) {
      Error("tarn-flight: --jobs wants a whole number from 1 to 1024, not \"%s\"\n", jobsText.c_str());
      return 1;
    }
    plan.jobs = unsigned(jobs);
  }
  if (lab && plan.axes.empty() && (plan.shards > 1 || !jobsText.empty()))
    return Usage("--jobs and --shard go with --sweep: a single flight is one case");
  if (!plan.axes.empty() && !csv.empty()) return Usage("--csv goes with a single flight, not a sweep");
  if (!plan.axes.empty() && profile) return Usage("--profile goes with a single flight, not a sweep");

  // One case of a sweep, flown in this process (a worker): its values on top
  // of the aircraft and air in force, its row on standard output. 1 and no
  // row when the content is not found.
  auto flyCase = [&](size_t index) -> int {
    std::vector<std::string> values = flight::CaseValues(plan.axes, index);
    std::string status, fields;
    for (size_t i = 0; i < values.size() && status.empty(); i++) {
      std::string why;
      if (!flight::ApplySweepValue(plan.axes[i].key, values[i], CurrentAircraftParams, air::Current, why))
        status = "failed: " + why;
    }
    if (status.empty()) {
      if (!EnterContent(data)) return 1;
      std::vector<flight::Probe> probes;
      CollectProbes(options, probes);
      flight::RunResult result;
      {
        LogCapture capture;
        result = flight::Run(file.events, options);
      }
      CaseFields(result, probes, window, status, fields);
    } else {
      fields = flight::EmptyMetricFields();
    }
    std::string row = flight::SummaryRowText(index, values, status, fields) + "\n";
    std::fputs(row.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  };
  if (!workerText.empty()) {
    char* end = nullptr;
    unsigned long long index = std::strtoull(workerText.c_str(), &end, 10);
    if (plan.axes.empty() || end == workerText.c_str() || *end != '\0' || index >= cases) return 1;
    return flyCase(size_t(index));
  }

  summary = FromHere(summary);
  if (!summary.empty() && SameFile(summary, script)) {
    Error("tarn-flight: \"%s\" is the flight being read; name another file for the output\n", summary.c_str());
    return 1;
  }
  {
    // What makes two sweeps the same sweep: the flight, the aircraft, the
    // values and the window.
    std::vector<std::string> parts = {text, frameText, windowText};
    std::string aircraftText, unused;
    if (!aircraft.empty()) ReadWholeFile(aircraft, FileKind::Aircraft, aircraftText, unused);
    parts.push_back(aircraftText);
    for (const std::string& o : overrides) parts.push_back(o);
    for (const flight::SweepAxis& a : plan.axes) {
      parts.push_back(a.key);
      for (const std::string& v : a.values) parts.push_back(v);
    }
    plan.fingerprint = Fingerprint(parts);
  }
  if (!plan.axes.empty()) {
    for (size_t i = plan.shard - 1; i < cases; i += plan.shards) plan.cases.push_back(i);
    std::vector<flight::SummaryRow> rows;
#ifndef _WIN32
    // The workers are forked from here: what every case loads the same way
    // is loaded once, before them.
    MDL* island = LoadSharedContent(data);
#endif
    bool allOk = RunCases(plan, flight::SelfProgram(argv[0]), arguments, flyCase, rows);
#ifndef _WIN32
    if (island != nullptr) ReleaseModel(island);
#endif
    std::string table = flight::SummaryText(plan.fingerprint, plan.axes, plan.shard, plan.shards, rows);
    if (summary.empty()) std::fputs(table.c_str(), stdout);
    else if (!WriteOut(summary, table)) return 1;
    if (!svg.empty()) {
      std::string picture;
      if (!flight::SweepSvgText(table, picture, error)) {
        Error("tarn-flight: %s\n", error.c_str());
        return 1;
      }
      if (!WriteOut(FromHere(svg), picture)) return 1;
    }
    return allOk ? 0 : 1;
  }
  std::vector<flight::Probe> probes;
  if (lab) CollectProbes(options, probes);

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
  WorldStepProfile stepProfile;
  if (profile) StepProfile = &stepProfile;
  {
    LogCapture capture;
    result = file.recorded ? flight::ReplayFlight(file, options) : flight::Run(file.events, options);
    console = capture.text();
  }
  StepProfile = nullptr;
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
  if (lab) {
    std::string status, fields;
    CaseFields(result, probes, window, status, fields);
    std::string table = flight::SummaryText(plan.fingerprint, {}, 1, 1,
                                            {{0, flight::SummaryRowText(0, {}, status, fields)}});
    written = WriteOut(summary, table) && written;
  }
  Log("%s\n", flight::Summary(result).c_str());
  if (profile) PrintProfile(stepProfile, result);
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
