// The headless flight runner on the real content: the take-off scenario
// (21 s of simulated time, 10,500 world steps of the whole aircraft over the
// island) per iteration. The counter sim_s_per_s is simulated seconds per
// second of run time: how much faster than real time the simulation runs.
// BM_TakeOffInAir/0..2: still air, wind, wind with turbulence and thermals.
//
//   cmake --build build --target content flight_bench && build/bench/aircraft/flight_bench
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "air/air.h"
#include "foundation/log.h"
#include "tools/flight/flight.h"

namespace {

// The take-off in still air (0), a 3 m/s wind (1), and wind with moderate
// turbulence and thermals (2): the air's cost side by side in one run.
const char* const kAir[] = {"", "0 wind 3 270\n", "0 wind 3 270\n0 turbulence moderate\n0 thermals on 3\n"};

void TakeOff(benchmark::State& state, const char* airLines) {
  std::ifstream in(TARN_SCENARIO_DIR "/takeoff.txt");
  std::stringstream text;
  text << airLines << in.rdbuf();
  std::vector<flight::ScriptEvent> events;
  std::string error;
  if (!flight::ParseScript(text.str(), events, error) || chdir(TARN_BINARY_DIR "/run") != 0) {
    state.SkipWithError("no take-off script or no run directory");
    return;
  }
  double simulated = 0;
  for (auto _ : state) {
    LogCapture quiet;
    air::Current = air::Settings();
    flight::RunResult r = flight::Run(events, flight::RunOptions());
    if (r.rows.empty() || r.broken) {
      state.SkipWithError("the take-off did not run");
      return;
    }
    simulated += r.rows.back()[flight::kSimTime];
  }
  state.counters["sim_s_per_s"] = benchmark::Counter(simulated, benchmark::Counter::kIsRate);
}
void BM_TakeOff(benchmark::State& state) { TakeOff(state, kAir[0]); }
BENCHMARK(BM_TakeOff)->Unit(benchmark::kMillisecond)->MinTime(2.0);
void BM_TakeOffInAir(benchmark::State& state) { TakeOff(state, kAir[state.range(0)]); }
BENCHMARK(BM_TakeOffInAir)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
