// Channel and HRV loading from segments in the page cache, for the default window, a
// 1000 x 600 window and the whole strip, each next to its floor; uncompressed, and
// WT-compressed as a station receives them.
#include "bench/bench_support_layer.h"
#include "data/layer.h"

namespace {

using benchlayer::Cycle;
using benchlayer::WINDOWS;

void ChannelLoad(benchmark::State& state) {
  const auto& w = WINDOWS[state.range(0)];
  const bool wt = state.range(1) != 0;
  const std::string path = Cycle::Get(wt).Path(9);
  cv::Size display;
  for (auto _ : state) {
    int32_t r[4] = {w.r[0], w.r[1], w.r[2], w.r[3]};
    int32_t east = 0;
    auto images = LayerLoadChannel(path.c_str(), 9, r, &east);
    if (!images) {
      state.SkipWithError("load failed");
      return;
    }
    display = (*images)[1].size();
    benchmark::DoNotOptimize(images);
  }
  benchlayer::ReportFloor(state, display, CV_8UC3);
  state.SetLabel(std::string(w.name) + (wt ? " wt" : ""));
}

// HRV with the resampling maps kept from the previous load of the same window (the program
// keeps them while window and east column stay); the first load computes them.
void HrvLoad(benchmark::State& state) {
  const auto& w = WINDOWS[state.range(0)];
  const bool wt = state.range(1) != 0;
  const std::string path = Cycle::Get(wt).Path(HRV_ID);
  LayerHrvMaps maps;
  cv::Size display;
  {
    int32_t r[4] = {w.r[0], w.r[1], w.r[2], w.r[3]};
    int32_t east = 0;
    if (!LayerLoadChannel(path.c_str(), HRV_ID, r, &east, &maps)) {
      state.SkipWithError("load failed");
      return;
    }
  }
  for (auto _ : state) {
    int32_t r[4] = {w.r[0], w.r[1], w.r[2], w.r[3]};
    int32_t east = 0;
    auto images = LayerLoadChannel(path.c_str(), HRV_ID, r, &east, &maps);
    if (!images) {
      state.SkipWithError("load failed");
      return;
    }
    display = (*images)[1].size();
    benchmark::DoNotOptimize(images);
  }
  benchlayer::ReportFloor(state, display, CV_8UC3);
  state.SetLabel(std::string(w.name) + (wt ? " wt" : ""));
}

// HRV including the computation of the maps (the first load of a window).
void HrvLoadCold(benchmark::State& state) {
  const auto& w = WINDOWS[state.range(0)];
  const std::string path = Cycle::Get().Path(HRV_ID);
  cv::Size display;
  for (auto _ : state) {
    int32_t r[4] = {w.r[0], w.r[1], w.r[2], w.r[3]};
    int32_t east = 0;
    auto images = LayerLoadChannel(path.c_str(), HRV_ID, r, &east);
    if (!images) {
      state.SkipWithError("load failed");
      return;
    }
    display = (*images)[1].size();
  }
  benchlayer::ReportFloor(state, display, CV_8UC3);
  state.SetLabel(w.name);
}

}  // namespace

BENCHMARK(ChannelLoad)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(HrvLoad)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(HrvLoadCold)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()
    ->Iterations(3);

BENCHMARK_MAIN();
