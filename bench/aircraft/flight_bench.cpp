// The headless flight runner on the real content: the take-off scenario
// (21 s of simulated time, 10,500 world steps of the whole aircraft over the
// island) per iteration. The counter sim_s_per_s is simulated seconds per
// second of run time: how much faster than real time the simulation runs.
//
//   cmake --build build --target content flight_bench && build/bench/aircraft/flight_bench
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "foundation/log.h"
#include "tools/flight/flight.h"

namespace {

void BM_TakeOff(benchmark::State& state) {
  std::ifstream in(TARN_SCENARIO_DIR "/takeoff.txt");
  std::stringstream text;
  text << in.rdbuf();
  std::vector<flight::ScriptEvent> events;
  std::string error;
  if (!flight::ParseScript(text.str(), events, error) || chdir(TARN_BINARY_DIR "/run") != 0) {
    state.SkipWithError("no take-off script or no run directory");
    return;
  }
  double simulated = 0;
  for (auto _ : state) {
    LogCapture quiet;
    flight::RunResult r = flight::Run(events, flight::RunOptions());
    if (r.rows.empty() || r.broken) {
      state.SkipWithError("the take-off did not run");
      return;
    }
    simulated += r.rows.back()[flight::kSimTime];
  }
  state.counters["sim_s_per_s"] = benchmark::Counter(simulated, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TakeOff)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
