// Costs of the buffer and text paths that model and font loading lean on.
#include <benchmark/benchmark.h>

#include <string>

#include "diag/result_codes.h"
#include "foundation/log.h"
#include "foundation/math.h"
#include "foundation/mem.h"
#include "foundation/str.h"

namespace {

// Appending vertices one by one, as the model compiler assembles its file.
void BM_MemAppend(benchmark::State& state) {
  const int n = int(state.range(0));
  for (auto _ : state) {
    MEM m;
    for (int i = 0; i < n; i++) {
      m.Put_VEC3F({float(i), 1.0f, 2.0f});
      m.Put_uint32(uint32_t(i));
    }
    benchmark::DoNotOptimize(m.data);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_MemAppend)->Arg(1000)->Arg(20000);

// Reading them back through the cursor.
void BM_MemRead(benchmark::State& state) {
  const int n = int(state.range(0));
  MEM m;
  for (int i = 0; i < n; i++) m.Put_VEC3F({float(i), 1.0f, 2.0f});
  for (auto _ : state) {
    m.pos = 0;
    float sum = 0;
    for (int i = 0; i < n; i++) sum += m.Get_VEC3F().x;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_MemRead)->Arg(20000);

// Tokenizing a font-description-like text with comments and quotes.
void BM_NextToken(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < 2000; i++) {
    text += "Symbol \"";
    text += char('A' + i % 26);
    text += "\" Rect=" + std::to_string(i) + "," + std::to_string(i * 3) + " // glyph\n";
    text += "/* spacing */ Advance " + std::to_string(i % 17) + ".25\n";
  }
  MEM buffer;
  buffer.Put_bytes(text.data(), uint32_t(text.size()));
  for (auto _ : state) {
    buffer.pos = 0;
    int tokens = 0;
    while (NextToken(buffer).length() != 0) tokens++;
    benchmark::DoNotOptimize(tokens);
  }
  state.SetBytesProcessed(state.iterations() * int64_t(text.size()));
}
BENCHMARK(BM_NextToken);

void BM_ToDouble(benchmark::State& state) {
  String s("-1234.5678");
  for (auto _ : state) benchmark::DoNotOptimize(s.todouble());
}
BENCHMARK(BM_ToDouble);

void BM_ResultCodeName(benchmark::State& state) {
  uint32_t code = 0x8876086Cu;
  for (auto _ : state) benchmark::DoNotOptimize(resultCodeName(code));
}
BENCHMARK(BM_ResultCodeName);

void BM_QuatRotate(benchmark::State& state) {
  Quat q = QuatFromAxisAngle({1, 2, 3}, 0.7);
  Vec3 v{1, 0, 0};
  for (auto _ : state) {
    Rotate(q, v);
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_QuatRotate);

}  // namespace
