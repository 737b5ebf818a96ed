// Cost of the test-data generator: one whole repeat cycle (plain and WT-compressed), and the
// scene evaluation of one pixel. Target: a cycle in a few seconds.
#include <benchmark/benchmark.h>
#include <glib.h>
#include <glib/gstdio.h>

#include <string>

#include "tools/synth.h"
#include "tools/synthscene.h"

namespace {

struct Dir {
  std::string path;
  Dir() {
    char* p = g_dir_make_tmp("nubicorn-bench-synth-XXXXXX", nullptr);
    path = p ? p : "/tmp";
    g_free(p);
  }
  ~Dir() {
    if (GDir* d = g_dir_open(path.c_str(), 0, nullptr)) {
      while (const char* n = g_dir_read_name(d)) g_remove((path + "/" + n).c_str());
      g_dir_close(d);
    }
    g_rmdir(path.c_str());
  }
};

void BM_SynthCycle(benchmark::State& state) {
  Dir dir;
  SynthOptions o;
  o.out = dir.path;
  o.slot = "201607041200";
  o.compress = state.range(0) != 0;
  o.threads = int(state.range(1));
  for (auto _ : state) {
    std::string err;
    if (!SynthCycle(o, &err)) state.SkipWithError(err.c_str());
  }
  state.SetLabel(o.compress ? "compressed" : "plain");
}
BENCHMARK(BM_SynthCycle)->Args({0, 1})->Args({0, 0})->Args({1, 0})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SynthPixel(benchmark::State& state) {
  SynthScene scene = SynthSceneMake(1, 1467633600, 0.5);
  SynthPixelCounts px;
  double lat = 30, lon = -20;
  for (auto _ : state) {
    SynthPixel(scene, lat, lon, &px);
    benchmark::DoNotOptimize(px);
    lon += 0.01;
    if (lon > 20) lon = -20;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SynthPixel);

}  // namespace

BENCHMARK_MAIN();
