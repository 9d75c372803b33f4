// Frame rate of the real program: the main window on the X server, the real
// content, and the program's own frame (RunFrame with the window's host: the
// stick, the flight session, the update, the drawing and the input pass) with
// a clock around each part, over 20 seconds of powered flight. Run it under
// an X server the size of the target desktop (bench/app/run_frame_bench.sh
// starts Xvfb at 1280x720).
//
// Counters: fps; update_ms (with the stick and the flight session), draw_ms,
// input_ms, present_ms (mean per frame); update_share, draw_share,
// present_share (of the whole frame); steps_per_s; fuselage_z_m, the height
// the aircraft reached.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>

#include "aircraft/aircraft.h"
#include "app/flight_session.h"
#include "app/frame_timer.h"
#include "app/shell.h"
#include "app/update.h"
#include "foundation/clock.h"
#include "physics/body.h"
#include "platform/gpu/device.h"
#include "platform/input/joystick.h"
#include "platform/window/window.h"

namespace {

constexpr double kFlightSeconds = 20;

// The program's own frame with clocks around the drawing and the input pass.
struct TimedFrameHost : WindowFrameHost {
  double draw = 0, input = 0;  // seconds, summed over the frames
  bool Draw() override {
    double t = GetSeconds();
    bool ok = WindowFrameHost::Draw();
    draw += GetSeconds() - t;
    return ok;
  }
  void InputPass(bool simulation) override {
    double t = GetSeconds();
    WindowFrameHost::InputPass(simulation);
    input += GetSeconds() - t;
  }
};

void BM_FlightFrames(benchmark::State& state) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    state.SkipWithError("no X display: run under Xvfb (bench/app/run_frame_bench.sh)");
    for (auto _ : state) {
    }
    return;
  }
  if (chdir(TARN_BINARY_DIR "/run") != 0 || access("Models/PlaneTarn.mdl", R_OK) != 0) {
    state.SkipWithError("no content in " TARN_BINARY_DIR "/run");
    for (auto _ : state) {
    }
    return;
  }
  // The same opening as the program: the window over the work area.
  WindowRect area{};
  if (!StartWindowSystem("Rariroz class") || !GetWorkArea(area) ||
      !CreateMainWindow(area.left, area.top, area.right - area.left, area.bottom - area.top)) {
    state.SkipWithError(WindowSystemError());
    StopWindowSystem();
    for (auto _ : state) {
    }
    return;
  }
  // The program's start-up around it: the stick and a flight session that
  // records nothing, so each frame runs as the user's does.
  StartJoysticks();
  StartFlightSession(FlightSessionOptions());
  InitApplication();
  FlightSessionStarted();
  // In the air at once: unpaused, the wing beat armed and powered.
  Paused = false;
  if (CurrentAircraft) {
    CurrentAircraft->flapArmed = true;
    CurrentAircraft->flapping = true;
  }
  LastTime = GetSeconds();

  TimedFrameHost host;
  double update = 0, present = 0, total = 0;
  uint64_t frames = 0;
  uint32_t stepsBefore = StepCounter;
  bool quit = false;
  for (auto _ : state) {
    double start = GetSeconds();
    while (!quit && GetSeconds() - start < kFlightSeconds) {
      MSG msg;
      while (PeekWindowMessage(msg)) {
        if (msg.message == WM_QUIT) quit = true;
        else WindowProc(msg.message, msg.wParam, msg.lParam);
      }
      double t0 = GetSeconds();
      double inner = host.draw + host.input;
      if (!RunFrame(host)) {
        state.SkipWithError("BeginScene failed");
        break;
      }
      double t1 = GetSeconds();
      Device->Present();
      double t2 = GetSeconds();
      // The frame less its drawing and input pass: stick, flight session, update.
      update += (t1 - t0) - (host.draw + host.input - inner);
      present += t2 - t1;
      frames++;
    }
    total = GetSeconds() - start;
  }
  const double draw = host.draw, input = host.input;
  uint32_t steps = StepCounter - stepsBefore;
  double sum = update + draw + input + present;
  state.counters["frames"] = double(frames);
  state.counters["fps"] = frames / total;
  state.counters["update_ms"] = 1000 * update / frames;
  state.counters["draw_ms"] = 1000 * draw / frames;
  state.counters["input_ms"] = 1000 * input / frames;
  state.counters["present_ms"] = 1000 * present / frames;
  state.counters["update_share"] = update / sum;
  state.counters["draw_share"] = draw / sum;
  state.counters["present_share"] = present / sum;
  state.counters["steps_per_s"] = steps / total;
  // Where the flight ended: shows the aircraft really flew.
  if (CurrentAircraft) state.counters["fuselage_z_m"] = CurrentAircraft->fuselage->position.z;

  EndFlightSession();
  ShutdownApplication();
  StopJoysticks();
  ReleaseDevice();
  StopWindowSystem();
}
BENCHMARK(BM_FlightFrames)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
