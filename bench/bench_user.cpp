// What a user waits for, from WT-compressed segments as a station receives them (in the page
// cache): the click on a channel (its counts and grey display image), on the HRV channel (maps
// kept from the previous load), on each composite (its channels loaded, then the composite),
// a 12-slot video's frames (the Natural composite of 12 slots; the encoding is left out), and
// the start-up's load of the 12 channels (HRV maps made fresh). Default and 1000 x 600 window;
// a channel and HRV also for a 1000 x 600 window over central Africa, south of the strip.
// Headless. Time is wall time; CPU time is that of all the process's threads, the steadier
// figure on a shared machine. The before/after table in bench/README.md comes from here.
#include <map>

#include "bench/bench_support_layer.h"
#include "data/atmrad.h"
#include "data/layer.h"
#include "data/recipes.h"

namespace {

using benchlayer::Cycle;
using benchlayer::Window;
using benchlayer::WINDOWS;

using Images = std::array<cv::Mat, CHANNEL_COUNT + 1>;

// Loads channel id for window w (3: benchlayer::SOUTH); false (and the benchmark skipped)
// when it fails.
bool Load(benchmark::State& state, int id, int w, LayerHrvMaps* maps, Images* counts) {
  const Window& win = w == 3 ? benchlayer::SOUTH : WINDOWS[w];
  int32_t r[4] = {win.r[0], win.r[1], win.r[2], win.r[3]};
  int32_t east = 0;
  auto l = LayerLoadChannel(Cycle::Get(true, w == 3).Path(id).c_str(), id, r, &east, maps);
  if (!l) {
    state.SkipWithError("load failed");
    return false;
  }
  if (counts) (*counts)[id] = (*l)[0];
  benchmark::DoNotOptimize(l);
  return true;
}

void Channel(benchmark::State& state) {
  const int w = int(state.range(0));
  if (!Load(state, 9, w, nullptr, nullptr)) return;  // the cycle made, its files in the page cache
  for (auto _ : state)
    if (!Load(state, 9, w, nullptr, nullptr)) return;
  state.SetLabel(w == 3 ? benchlayer::SOUTH.name : WINDOWS[w].name);
}

void Hrv(benchmark::State& state) {
  const int w = int(state.range(0));
  LayerHrvMaps maps;
  if (!Load(state, HRV_ID, w, &maps, nullptr)) return;
  for (auto _ : state)
    if (!Load(state, HRV_ID, w, &maps, nullptr)) return;
  state.SetLabel(w == 3 ? benchlayer::SOUTH.name : WINDOWS[w].name);
}

// One composite from nothing loaded: each of its channels (HRV with its maps kept), then the
// composite. Returns false when anything fails.
bool Composite(benchmark::State& state, const RgbRecipe& recipe, int w, LayerHrvMaps* maps) {
  Images counts;
  for (int k = 0; k < 6; k++) {
    const int id = recipe.channels[k];
    if (id > 0 && counts[id].empty() && !Load(state, id, w, id == HRV_ID ? maps : nullptr, &counts))
      return false;
  }
  cv::Mat out = AtmradComposite(counts.data(), recipe.params, recipe.channels);
  if (out.empty()) {
    state.SkipWithError("composite failed");
    return false;
  }
  benchmark::DoNotOptimize(out.data);
  return true;
}

void Recipe(benchmark::State& state) {
  const int w = int(state.range(0));
  const RgbRecipe recipe = AtmradDefaultRecipes()[state.range(1)];
  LayerHrvMaps maps;
  if (!Composite(state, recipe, w, &maps)) return;
  for (auto _ : state)
    if (!Composite(state, recipe, w, &maps)) return;
  state.SetLabel(std::string(WINDOWS[w].name) + " " + recipe.name);
}

// The frames of a 12-slot Natural video: the same cycle's files stand for each slot.
void Video12(benchmark::State& state) {
  const RgbRecipe recipe = AtmradDefaultRecipes()[3];
  if (!Composite(state, recipe, 0, nullptr)) return;
  for (auto _ : state)
    for (int s = 0; s < 12; s++)
      if (!Composite(state, recipe, 0, nullptr)) return;
  state.SetLabel(std::string(WINDOWS[0].name) + " " + recipe.name);
}

void Startup12(benchmark::State& state) {
  const int w = int(state.range(0));
  if (!Load(state, 9, w, nullptr, nullptr)) return;
  for (auto _ : state) {
    LayerHrvMaps maps;
    for (int id = 1; id <= CHANNEL_COUNT; id++)
      if (!Load(state, id, w, id == HRV_ID ? &maps : nullptr, nullptr)) return;
  }
  state.SetLabel(WINDOWS[w].name);
}

}  // namespace

BENCHMARK(Channel)->Arg(0)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(Hrv)->Arg(0)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(Recipe)->ArgsProduct({{0, 1}, {0, 1, 2, 3, 4, 5, 6}})->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(Video12)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(Startup12)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

BENCHMARK_MAIN();
