// Wall time of a late recording's pre-roll in the real program: a flight of
// the real content whose recording began 60 s in (F9 pressed late), replayed
// in the main window on the X server with the program's own frame, present
// and frame pacing, from the first frame until the first frame after the
// start mark. Run it under an X server (bench/app/run_replay_bench.sh).
//
// Counters: preroll_s, the flight seconds before the mark; wall_s, the wall
// time they took; pictures, the frames drawn meanwhile; headless_s, the same
// frames replayed without a window (the simulation's own cost, the floor).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/flight_session.h"
#include "app/frame_pacing.h"
#include "app/settings.h"
#include "app/shell.h"
#include "flightrec/flight_file.h"
#include "flightrec/recorder.h"
#include "flightrec/state.h"
#include "foundation/clock.h"
#include "foundation/files.h"
#include "platform/window/window.h"
#include "tarn_version.h"
#include "tools/flight/flight.h"

namespace {

constexpr int kPreRollSeconds = 60;

// Unpaused, armed and beating, a roll now and then; recording from 60 s on.
bool MakeLateFlight(const std::string& path, flight::Flight& f, std::string& error) {
  std::string script = "0 press Pause\n0.2 press E\n0.4 press Z\n";
  for (int t = 2; t < kPreRollSeconds; t += 6)
    script += std::to_string(t) + " down Left\n" + std::to_string(t + 1) + " up Left\n";
  script += std::to_string(kPreRollSeconds + 2) + " end\n";
  std::vector<flight::ScriptEvent> events;
  if (!flight::ParseScript(script, events, error)) return false;
  {
    flight::Recorder recorder(flight::ContentFingerprint(""), TARN_VERSION);
    flight::RunOptions options;
    options.recorder = &recorder;
    int frame = 0;
    options.afterFrame = [&](const flight::Row&) {
      if (++frame == kPreRollSeconds * 60) recorder.Start(path, true);
      return true;
    };
    flight::Run(events, options);
  }
  std::string text;
  return ReadWholeFile(path, FileKind::Flight, text, error) && flight::ParseFlight(text, f, error);
}

void BM_LateRecordingPreRoll(benchmark::State& state) {
  const char* display = std::getenv("DISPLAY");
  std::string error;
  flight::Flight f;
  const std::string path = "/tmp/tarn-replay-bench-" + std::to_string(getpid()) + ".tarnflight";
  WindowRect area{};
  if (!display || !*display) {
    error = "no X display: run under Xvfb (bench/app/run_replay_bench.sh)";
  } else if (chdir(TARN_BINARY_DIR "/run") != 0 || access("Models/PlaneTarn.mdl", R_OK) != 0) {
    error = "no content in " TARN_BINARY_DIR "/run";
  } else if (!MakeLateFlight(path, f, error)) {
    error = "the flight: " + error;
  } else if (!StartWindowSystem("Rariroz class") || !GetWorkArea(area) ||
             !CreateMainWindow(area.left, area.top, area.right - area.left, area.bottom - area.top)) {
    error = WindowSystemError();
    StopWindowSystem();
  }
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
    for (auto _ : state) {
    }
    std::remove(path.c_str());
    return;
  }

  const Settings defaults = DefaultSettings();
  StartFramePacing(defaults.vsync, defaults.frameLimit);
  StartFlightSession(FlightSessionOptions{"", path});
  InitApplication();
  FlightSessionStarted();
  WindowFrameHost host;
  double wall = 0;
  int pictures = 0;
  for (auto _ : state) {
    const double start = WallSeconds();
    while (FlightReplaying() && ReplayFrame() <= f.markFrame) {
      MSG msg;
      while (PeekWindowMessage(msg))
        if (msg.message != WM_QUIT) WindowProc(msg.message, msg.wParam, msg.lParam);
      if (!RunFrame(host)) {
        state.SkipWithError("BeginScene failed");
        break;
      }
      PresentFrame();
      pictures++;
    }
    wall = WallSeconds() - start;
  }
  EndFlightSession();
  ShutdownApplication();
  ReleaseDevice();
  StopWindowSystem();

  flight::RunOptions options;
  options.keepRows = false;
  flight::RunResult headless = flight::ReplayFlight(f, options);
  const double share = double(f.markFrame) / double(f.frames.size());
  state.counters["preroll_s"] = flight::ElapsedSeconds(f.startTicks, f.frames[f.markFrame].ticks, f.frequency);
  state.counters["wall_s"] = wall;
  state.counters["pictures"] = pictures;
  state.counters["headless_s"] = headless.wallSeconds * share;
  std::remove(path.c_str());
}
BENCHMARK(BM_LateRecordingPreRoll)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
