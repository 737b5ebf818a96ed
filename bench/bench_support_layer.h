// Shared set-up of the image benchmarks: one generated repeat cycle in a temporary folder,
// the three windows measured, and the floor each result is compared with.
#pragma once

#include <benchmark/benchmark.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <opencv2/core.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/fileinfo.h"
#include "tools/synth.h"

namespace benchlayer {

inline constexpr const char* SLOT = "201607041200";

struct Window {
  const char* name;
  int32_t r[4];
};
// The default view window, a large one inside the HRV upper window, the whole strip.
inline const Window WINDOWS[3] = {
    {"default", {2710, 464, 92, 60}},
    {"1000x600", {1300, 200, 1000, 600}},
    {"strip", {0, 0, 3712, 928}},
};

// A window over central Africa, south of the strip: segments 3 and 4 (HRV 10 to 14).
inline const Window SOUTH = {"south", {1600, 1900, 1000, 600}};

// One cycle for the whole run, removed at exit: uncompressed, or WT-compressed as received;
// the northern strip, or (south) segments 3 to 8 and HRV 7 to 24.
class Cycle {
 public:
  static const Cycle& Get(bool compressed = false, bool south = false) {
    if (south) {
      static Cycle wt_south(true, 3);
      return wt_south;
    }
    static Cycle plain(false);
    static Cycle wt(true);
    return compressed ? wt : plain;
  }
  std::string Path(int id) const {
    char name[128];
    std::snprintf(name, sizeof name, id == HRV_ID ? INFO_NAME_FMT_HRV : INFO_NAME_FMT,
                  InfoChannelText[id], SLOT);
    return dir_ + "/" + name;
  }
  ~Cycle() {
    if (GDir* d = g_dir_open(dir_.c_str(), 0, nullptr)) {
      while (const char* n = g_dir_read_name(d)) g_remove((dir_ + "/" + n).c_str());
      g_dir_close(d);
    }
    g_rmdir(dir_.c_str());
  }

 private:
  explicit Cycle(bool compressed, int first_segment = 0) {
    gchar* p = g_dir_make_tmp("nubicorn-bench-XXXXXX", nullptr);
    dir_ = p ? p : "";
    g_free(p);
    SynthOptions o;
    o.out = dir_;
    o.slot = SLOT;
    o.compress = compressed;
    o.first_segment = first_segment;
    std::string err;
    if (dir_.empty() || !SynthCycle(o, &err)) {
      std::fprintf(stderr, "bench: cannot generate a cycle: %s\n", err.c_str());
      std::exit(1);
    }
  }
  std::string dir_;
};

// The floor of a display image: writing its bytes once (cv::Mat::setTo on a matrix of its
// size and type), median of several runs, in seconds.
inline double Floor(cv::Size size, int type) {
  cv::Mat m(size, type);
  std::vector<double> t;
  for (int i = 0; i < 15; i++) {
    auto a = std::chrono::steady_clock::now();
    m.setTo(cv::Scalar::all(i & 255));
    benchmark::DoNotOptimize(m.data);
    auto b = std::chrono::steady_clock::now();
    t.push_back(std::chrono::duration<double>(b - a).count());
  }
  std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
  return t[t.size() / 2];
}

// Reports the floor of a display image of this size and type next to the result, with its
// size in bytes: scripts/bench divides the mean time per iteration by the fastest floor of that
// size in the whole run.
inline void ReportFloor(benchmark::State& state, cv::Size size, int type) {
  state.counters["floor_s"] = Floor(size, type);
  state.counters["floor_bytes"] = double(size.area()) * CV_ELEM_SIZE(type);
}

}  // namespace benchlayer
