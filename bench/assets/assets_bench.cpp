// Model compilation of a large terrain node, loading its compiled file, and
// FormatNumber on head-up values.
//
//   build/bench/assets/assets_bench
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "assets/format_number.h"
#include "assets/model.h"
#include "foundation/log.h"

namespace {

// A terrain grid of cells x cells quads in smoothing group 1 with texture
// coordinates restarting every 16 cells (seams split vertices) and two
// materials in bands.
void BuildTerrain(Array<RawNode>& nodes, uint32_t cells) {
  nodes.clear();
  nodes.resize(1);
  RawNode& n = *new (&nodes[0]) RawNode();
  n.name = "Terrain";
  n.position = {0, 0, 0};
  n.rotation = {0, 0, 0, 1};
  n.nodeScale = {1, 1, 1};
  const uint32_t side = cells + 1, seam = 16;
  n.vertices.resize(side * side);
  for (uint32_t y = 0; y < side; y++) {
    for (uint32_t x = 0; x < side; x++) {
      RawVertex& v = *new (&n.vertices[y * side + x]) RawVertex();
      v.position = {float(x), float(y), float(std::sin(x * 0.37) * 3 + std::cos(y * 0.23) * 2)};
    }
  }
  auto pos = [&](uint32_t i) {
    const VEC3F& p = n.vertices[i].position;
    return Vec3{p.x, p.y, p.z};
  };
  auto uv = [&](uint32_t x, uint32_t y, uint32_t cx, uint32_t cy) {
    return VEC3F{float(x - cx / seam * seam) / seam, float(y - cy / seam * seam) / seam, 0};
  };
  for (uint32_t y = 0; y < cells; y++) {
    for (uint32_t x = 0; x < cells; x++) {
      uint32_t a = y * side + x, b = a + 1, c = a + side, d = c + 1;
      const uint32_t corners[2][3] = {{a, b, d}, {a, d, c}};
      const VEC3F tex[2][3] = {{uv(x, y, x, y), uv(x + 1, y, x, y), uv(x + 1, y + 1, x, y)},
                               {uv(x, y, x, y), uv(x + 1, y + 1, x, y), uv(x, y + 1, x, y)}};
      for (int t = 0; t < 2; t++) {
        RawFace f;
        f.material = (y / 32) % 2;
        f.smoothing = 1;
        for (int k = 0; k < 3; k++) {
          f.corner[k] = corners[t][k];
          f.tex0[k] = tex[t][k];
          f.tex1[k] = {0, 0, 0};
        }
        Vec3 nn = Normalize(Cross(pos(f.corner[1]) - pos(f.corner[0]), pos(f.corner[2]) - pos(f.corner[0])));
        f.normal = {float(nn.x), float(nn.y), float(nn.z)};
        uint32_t index = n.faces.count;
        n.faces.push(f);
        for (int k = 0; k < 3; k++) n.vertices[f.corner[k]].faceList.push(index);
      }
    }
  }
}

constexpr uint32_t kCells = 224;  // 224 x 224 x 2 = 100,352 triangles

// Times only the compilation of a fresh copy of source, once per iteration.
void CompileEach(benchmark::State& state, const Array<RawNode>& source) {
  LogCapture quiet;
  for (auto _ : state) {
    state.PauseTiming();
    Array<RawNode> work(source);
    MDL model;
    state.ResumeTiming();
    CompileRawModel(&model, work);
    benchmark::DoNotOptimize(model.vertices.count);
    state.PauseTiming();
    state.counters["vertices"] = model.vertices.count;
    state.counters["triangles"] = model.triangles.count;
    DestroyModel(&model);
    quiet.clear();
    state.ResumeTiming();
  }
}

void BM_CompileTerrain(benchmark::State& state) {
  Array<RawNode> source;
  BuildTerrain(source, kCells);
  CompileEach(state, source);
}
BENCHMARK(BM_CompileTerrain)->Unit(benchmark::kMillisecond);

// state.range(0) faces all on one vertex triple (a crafted raw model): the
// smoothing pass meets every face at each of their corners. Even faces are
// in group 1, odd ones in group 2, so the masks are not all alike.
void BM_CompileSharedVertices(benchmark::State& state) {
  const uint32_t faces = uint32_t(state.range(0));
  Array<RawNode> source;
  source.resize(1);
  RawNode& n = *new (&source[0]) RawNode();
  n.name = "Fan";
  n.rotation = {0, 0, 0, 1};
  n.nodeScale = {1, 1, 1};
  n.vertices.resize(3);
  const VEC3F corners[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  for (uint32_t k = 0; k < 3; k++) new (&n.vertices[k]) RawVertex{corners[k], {}};
  for (uint32_t i = 0; i < faces; i++) {
    RawFace f{};
    f.normal = {0, 0, 1};
    f.smoothing = 1u << (i % 2);
    for (uint32_t k = 0; k < 3; k++) {
      f.corner[k] = k;
      f.tex0[k] = {float(i % 7), float(k), 0};
      n.vertices[k].faceList.push(i);
    }
    n.faces.push(f);
  }
  CompileEach(state, source);
}
BENCHMARK(BM_CompileSharedVertices)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_LoadCompiledTerrain(benchmark::State& state) {
  // Compile once into a private directory, then load only the ".mdc".
  std::filesystem::path old = std::filesystem::current_path();
  char tmpl[] = "/tmp/tarn-bench-XXXXXX";
  std::filesystem::path dir = mkdtemp(tmpl);
  std::filesystem::current_path(dir);
  std::filesystem::create_directory("Models");
  LogCapture quiet;
  {
    Array<RawNode> source;
    BuildTerrain(source, kCells);
    MDL model;
    CompileRawModel(&model, source);
    // Save through the loader's own writer: a raw file is not needed, so
    // write the compiled layout with the appends.
    MEM out;
    out.Put_uint32(kCompiledModelMagic);
    out.Put_uint32(model.vertices.count);
    for (const ModelVertex& v : model.vertices) {
      for (const VEC3F* f : {&v.position, &v.normal, &v.tangent, &v.binormal, &v.tex0, &v.tex1}) out.Put_VEC3F(*f);
    }
    out.Put_uint32(model.triangles.count);
    for (const Triangle& t : model.triangles)
      for (uint32_t i : t.v) out.Put_uint32(i);
    out.Put_uint32(model.nodes.count);
    for (const ModelNode& n : model.nodes) {
      out.Put_string(n.name.c_str());
      out.Put_VEC3F(n.position);
      out.Put_QUATF(n.rotation);
      out.Put_VEC3F(n.nodeScale);
      out.Put_uint32(n.subsets.count);
      for (const Subset& s : n.subsets) {
        out.Put_uint32(s.first);
        out.Put_uint32(s.count);
      }
    }
    SaveFile("Models/Terrain.mdc", out);
  }
  for (auto _ : state) {
    MDL model;
    model.name = String("Terrain");
    LoadModelData(&model);
    benchmark::DoNotOptimize(model.triangles.count);
    state.counters["triangles"] = model.triangles.count;
  }
  std::filesystem::current_path(old);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LoadCompiledTerrain)->Unit(benchmark::kMillisecond);

void BM_FormatNumber(benchmark::State& state) {
  const double values[] = {0.0, 12.5, -3.75, 123.456789, 1013.25, 359.9999999, 0.1, 27.3, -0.004, 86.0};
  size_t i = 0;
  for (auto _ : state) {
    String s = FormatNumber(values[i++ % 10]);
    benchmark::DoNotOptimize(s.data);
  }
}
BENCHMARK(BM_FormatNumber);

void BM_FormatNumberLarge(benchmark::State& state) {
  for (auto _ : state) {
    String s = FormatNumber(1e300);
    benchmark::DoNotOptimize(s.data);
  }
}
BENCHMARK(BM_FormatNumberLarge);

}  // namespace
