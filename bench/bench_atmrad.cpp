// Composites of each default recipe from loaded channels, for the default window, a
// 1000 x 600 window and the whole strip, each next to its floor.
#include <map>

#include "bench/bench_support_layer.h"
#include "data/atmrad.h"
#include "data/layer.h"
#include "data/recipes.h"

namespace {

using benchlayer::Cycle;
using benchlayer::WINDOWS;

// The twelve channels of the cycle loaded for window w, once per window.
const std::array<cv::Mat, CHANNEL_COUNT + 1>& Loaded(int w) {
  static std::map<int, std::array<cv::Mat, CHANNEL_COUNT + 1>> cache;
  auto it = cache.find(w);
  if (it != cache.end()) return it->second;
  std::array<cv::Mat, CHANNEL_COUNT + 1> images;
  int32_t east = 0;
  for (int id = 1; id <= CHANNEL_COUNT; id++) {
    int32_t r[4] = {WINDOWS[w].r[0], WINDOWS[w].r[1], WINDOWS[w].r[2], WINDOWS[w].r[3]};
    auto l = LayerLoadChannel(Cycle::Get().Path(id).c_str(), id, r, &east);
    if (l) images[id] = (*l)[0];
  }
  return cache[w] = images;
}

void Composite(benchmark::State& state) {
  const int w = int(state.range(0));
  const RgbRecipe recipe = AtmradDefaultRecipes()[state.range(1)];
  const auto& images = Loaded(w);
  cv::Size size;
  for (auto _ : state) {
    cv::Mat out = AtmradComposite(images.data(), recipe.params, recipe.channels);
    if (out.empty()) {
      state.SkipWithError("composite failed");
      return;
    }
    size = out.size();
    benchmark::DoNotOptimize(out.data);
  }
  benchlayer::ReportFloor(state, size, CV_8UC3);
  state.SetLabel(std::string(WINDOWS[w].name) + " " + recipe.name);
}

}  // namespace

BENCHMARK(Composite)
    ->ArgsProduct({{0, 1, 2}, {0, 1, 2, 3, 4, 5, 6}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()->MeasureProcessCPUTime();

BENCHMARK_MAIN();
