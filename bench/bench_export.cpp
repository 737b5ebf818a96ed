// "Save selected": the selection and the text export for the default view window (276 x 180
// display pixels) and a 1000 x 600 one. The export is bounded by formatting, not system calls.
#include <benchmark/benchmark.h>
#include <glib.h>
#include <unistd.h>

#include <opencv2/imgproc.hpp>
#include <string>

#include "canvas/canvexport.h"
#include "canvas/canvselect.h"

namespace {

cv::Mat Picture(int w, int h) {
  cv::Mat hsv(h, w, CV_8UC3);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) hsv.at<cv::Vec3b>(y, x) = {uint8_t((x * 3 + y) & 255), uint8_t(128 + (y & 127)), 200};
  cv::Mat rgb;
  cv::cvtColor(hsv, rgb, cv::COLOR_HSV2RGB_FULL);
  return rgb;
}

std::string TempPath() {
  static const std::string dir = [] {
    std::string t = std::string(g_get_tmp_dir()) + "/bench-export-XXXXXX";
    return g_mkdtemp(t.data()) ? t : std::string(g_get_tmp_dir());
  }();
  return dir + "/201607041200.txt";
}

void BM_SaveSelected(benchmark::State& state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  std::array<cv::Mat, 3> images{cv::Mat(), Picture(w, h), cv::Mat()};
  const std::string path = TempPath();
  for (auto _ : state) {
    cv::Mat mask;
    LayerSelectColor(images, 90, 20, FALSE, &mask);
    std::string err, written;
    if (!CanvExportWrite(path, mask, 2710, 464, &err, 0.0, &written)) state.SkipWithError(err.c_str());
    unlink(written.c_str());  // an export never replaces one: each round starts from an empty folder
  }
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_SaveSelected)->Args({276, 180})->Args({1000, 600})->Unit(benchmark::kMillisecond);

void BM_Select(benchmark::State& state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  std::array<cv::Mat, 3> images{cv::Mat(), Picture(w, h), cv::Mat()};
  for (auto _ : state) {
    cv::Mat mask;
    LayerSelectColor(images, 90, 20, FALSE, &mask);
    benchmark::DoNotOptimize(mask.data);
  }
}
BENCHMARK(BM_Select)->Args({276, 180})->Args({1000, 600})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
