// The image kernels of a load on their own, next to OpenCV's calls they replace and the floor
// of their output: the x3 enlargements (bicubic grey, bilinear colour) and the HRV remap.
#include <opencv2/imgproc.hpp>

#include "bench/bench_support_layer.h"
#include "data/suplremap.h"
#include "data/suplresize.h"

namespace {

// Source sizes: the 1000 x 600 window and the whole strip.
const cv::Size SIZES[2] = {{1000, 600}, {3712, 928}};

cv::Mat Noise(cv::Size s, int type, int hi) {
  cv::Mat m(s, type);
  cv::RNG(1).fill(m, cv::RNG::UNIFORM, 0, hi);
  return m;
}

void Cubic3(benchmark::State& state) {
  const cv::Mat grey = Noise(SIZES[state.range(0)], CV_8UC1, 256);
  const bool ours = state.range(1) == 0;
  cv::Size size;
  for (auto _ : state) {
    cv::Mat out;
    if (ours) {
      out = SuplCubic3Rgb(grey);
    } else {
      cv::resize(grey, out, grey.size() * 3, 0, 0, cv::INTER_CUBIC);
      cv::cvtColor(out, out, cv::COLOR_GRAY2RGB);
    }
    size = out.size();
    benchmark::DoNotOptimize(out.data);
  }
  benchlayer::ReportFloor(state, size, CV_8UC3);
  state.SetLabel(ours ? "SuplCubic3Rgb" : "cv::resize + cvtColor");
}

void Linear3(benchmark::State& state) {
  const cv::Mat rgb = Noise(SIZES[state.range(0)], CV_8UC3, 256);
  const bool ours = state.range(1) == 0;
  cv::Size size;
  for (auto _ : state) {
    cv::Mat out;
    if (ours) out = SuplLinear3(rgb);
    else cv::resize(rgb, out, rgb.size() * 3, 0, 0, cv::INTER_LINEAR);
    size = out.size();
    benchmark::DoNotOptimize(out.data);
  }
  benchlayer::ReportFloor(state, size, CV_8UC3);
  state.SetLabel(ours ? "SuplLinear3" : "cv::resize");
}

// A smooth warp onto a grid three times finer, as the HRV maps are.
void Remap16(benchmark::State& state) {
  const cv::Size s = SIZES[state.range(0)];
  const cv::Mat src = Noise(s * 3 + cv::Size(8, 8), CV_16UC1, 1024);
  cv::Mat mx(s * 3, CV_32FC1), my(s * 3, CV_32FC1);
  for (int j = 0; j < mx.rows; j++)
    for (int i = 0; i < mx.cols; i++) {
      mx.at<float>(j, i) = 2.3f + i * 0.9993f + j * 0.0007f;
      my.at<float>(j, i) = 1.7f + j * 1.0004f - i * 0.0005f;
    }
  cv::Mat m1, m2;
  cv::convertMaps(mx, my, m1, m2, CV_16SC2);
  const bool ours = state.range(1) == 0;
  for (auto _ : state) {
    cv::Mat out, rgb;
    if (ours) SuplRemapLinear16(src, m1, m2, out, &rgb);
    else cv::remap(src, out, m1, m2, cv::INTER_LINEAR, cv::BORDER_CONSTANT, 0);
    benchmark::DoNotOptimize(out.data);
  }
  benchlayer::ReportFloor(state, s * 3, CV_8UC3);
  state.SetLabel(ours ? "SuplRemapLinear16 + grey" : "cv::remap (no grey)");
}

}  // namespace

BENCHMARK(Cubic3)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(Linear3)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(Remap16)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

BENCHMARK_MAIN();
