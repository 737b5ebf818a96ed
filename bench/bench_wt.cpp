// WT decoding speed per vector, single-threaded beside the reference decoder's figures, and the
// speed-up of decoding the restart intervals of one segment on all cores.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "data/wt.h"

namespace {

struct Vector {
  std::string name;
  double ref_ms;  // reference decoder, one thread, median of 7 (same machine type)
};

const Vector kVectors[] = {
    {"nc3712_zero", 8.0},      {"nc3712_full", 8.5},       {"nc3712_hramp", 16.0},
    {"nc3712_vramp", 15.4},    {"nc3712_noise", 70.5},     {"nc3712_cloud", 31.3},
    {"nc3712_disk", 51.2},     {"nc3712_checker1", 15.0},  {"nc3712_checker8", 26.3},
    {"nc5568_zero", 11.9},     {"nc5568_full", 11.9},      {"nc5568_hramp", 21.9},
    {"nc5568_vramp", 22.8},    {"nc5568_noise", 103.6},    {"nc5568_cloud", 34.4},
    {"nc5568_disk", 76.9},     {"nc5568_checker1", 22.6},  {"nc5568_checker8", 40.9},
};

uint64_t Be(const std::vector<uint8_t>& b, size_t at, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; i++) v = (v << 8) | b[at + size_t(i)];
  return v;
}

struct Segment {
  std::vector<uint8_t> field;
  WtImage img;
};

// Data field and image structure of one segment file; empty field when unreadable.
Segment Load(const std::string& path) {
  Segment s;
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (file.size() < 16) return s;
  const size_t at = Be(file, 4, 4), bytes = Be(file, 8, 8) / 8;
  if (at > file.size()) return s;
  for (size_t r = 0; r + 8 <= at;) {
    const size_t len = Be(file, r + 1, 2);
    if (len < 3) return s;
    if (file[r] == 1) {
      s.img.nb = file[r + 3];
      s.img.nc = int(Be(file, r + 4, 2));
      s.img.nl = int(Be(file, r + 6, 2));
    }
    r += len;
  }
  s.field.assign(file.begin() + long(at), file.begin() + long(std::min(file.size(), at + bytes)));
  return s;
}

std::string Find(const std::string& name) {
  for (const std::string& dir : {std::string(NUBICORN_SHARED) + "/wt/vectors/",
                                std::string(NUBICORN_TESTDATA) + "/wt/"}) {
    if (std::filesystem::exists(dir + name + ".hrit")) return dir + name + ".hrit";
  }
  return {};
}

double MedianMs(const Segment& s, int threads, int runs) {
  std::vector<double> t;
  for (int i = 0; i < runs; i++) {
    WtResult res;
    std::string err;
    const auto a = std::chrono::steady_clock::now();
    WtDecode(s.field, s.img, WtOptions{threads}, &res, &err);
    t.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a).count());
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

void Decode(benchmark::State& state, const Segment& s, double ref_ms, int threads) {
  WtResult res;
  std::string err;
  for (auto _ : state) {
    if (!WtDecode(s.field, s.img, WtOptions{threads}, &res, &err)) {
      state.SkipWithError(err.c_str());
      return;
    }
    benchmark::DoNotOptimize(res.packed.data());
  }
  state.counters["ref_ms"] = ref_ms;
  state.counters["ms"] = benchmark::Counter(double(state.iterations()) * 1e-3,
                                            benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  if (threads == 1) {
    // How many times faster than the reference (>= 1.5 is the target).
    state.counters["x_ref"] =
        benchmark::Counter(double(state.iterations()) * 1e-3 * ref_ms, benchmark::Counter::kIsRate);
    state.SetLabel("reference " + std::to_string(ref_ms).substr(0, 5) + " ms");
  } else {
    // Speed-up over this decoder on one thread, measured beside the run.
    const double one = MedianMs(s, 1, 5);
    const double many = MedianMs(s, threads, 5);
    state.counters["speedup"] = one / many;
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.field.size()));
}

}  // namespace

int main(int argc, char** argv) {
  static std::vector<Segment> segments;
  segments.reserve(std::size(kVectors));
  const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
  for (const Vector& v : kVectors) {
    const std::string path = Find(v.name);
    if (path.empty()) continue;
    segments.push_back(Load(path));
    const Segment& s = segments.back();
    if (s.field.empty()) continue;
    benchmark::RegisterBenchmark(("WtDecode1/" + v.name).c_str(),
                                 [&s, v](benchmark::State& st) { Decode(st, s, v.ref_ms, 1); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("WtDecodeAll/" + v.name + "/threads:" + std::to_string(cores)).c_str(),
                                 [&s, v, cores](benchmark::State& st) { Decode(st, s, v.ref_ms, cores); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  if (segments.empty()) std::fprintf(stderr, "bench_wt: no WT vectors found\n");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
