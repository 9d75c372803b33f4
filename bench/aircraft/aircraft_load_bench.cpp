// What building the aircraft at load costs: its model generated from the
// values and read back from the compiled cache (every start after the first),
// against reading the content's compiled model by name as the program did
// before the aircraft became a file; and the generation alone.
//
//   cmake --build build --target content aircraft_load_bench && build/bench/aircraft/aircraft_load_bench
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>

#include "aircraft/aircraft.h"
#include "assets/model.h"
#include "content/builders.h"
#include "foundation/log.h"

namespace {

bool InRun(benchmark::State& state) {
  if (chdir(TARN_BINARY_DIR "/run") == 0) return true;
  state.SkipWithError("no run directory");
  return false;
}

void BM_GenerateAircraftModel(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<uint8_t> bytes;
    content::WriteRawModel(content::BuildPlaneModel(), bytes);
    benchmark::DoNotOptimize(bytes.data());
  }
}
BENCHMARK(BM_GenerateAircraftModel)->Unit(benchmark::kMillisecond);

// The whole aircraft as RecreateAircraft builds it: generation, the cached
// compiled model, 15 bodies, 13 hinges and 4 straps.
void BM_BuildAircraft(benchmark::State& state) {
  if (!InRun(state)) return;
  {
    LogCapture quiet;  // the first build may compile into the cache
    delete new Tarnplane();
  }
  for (auto _ : state) delete new Tarnplane();
}
BENCHMARK(BM_BuildAircraft)->Unit(benchmark::kMillisecond);

// Before: the compiled model read by name from Models/PlaneTarn.mdc.
void BM_LoadShippedModel(benchmark::State& state) {
  if (!InRun(state)) return;
  {
    LogCapture quiet;
    ReleaseModel(LoadModel(String("PlaneTarn"), 0.02f));  // compiles the .mdc once
  }
  for (auto _ : state) ReleaseModel(LoadModel(String("PlaneTarn"), 0.02f));
}
BENCHMARK(BM_LoadShippedModel)->Unit(benchmark::kMillisecond);

// After: the generated model through its cache.
void BM_LoadGeneratedModel(benchmark::State& state) {
  if (!InRun(state)) return;
  for (auto _ : state) {
    std::vector<uint8_t> bytes;
    content::WriteRawModel(content::BuildPlaneModel(), bytes);
    MEM raw;
    raw.Put_bytes(bytes.data(), uint32_t(bytes.size()));
    LogCapture quiet;
    ReleaseModel(LoadGeneratedModel(String("PlaneTarn"), 0.02f, raw));
  }
}
BENCHMARK(BM_LoadGeneratedModel)->Unit(benchmark::kMillisecond);

}  // namespace
