// One FCI channel of a 1000 x 600 window (2 km grid) from JPEG-LS compressed chunks in the page
// cache: ir_105 (2 km) and vis_06 (1 km, 2000 x 1200 pixels). Next to the time, the peak
// memory of a fresh process doing one such load, against the floor of the image it returns
// (2 bytes of counts and 4 of values a pixel), and the compressed bytes of the chunks it opens.
#include <benchmark/benchmark.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "data/fci.h"
#include "tools/synthfci.h"

namespace {

constexpr const char* SLOT = "202501011200";
constexpr int32_t WINDOW[4] = {2300, 700, 1000, 600};  // Europe and the North Atlantic

// The generated cycle of the two channels, made once and removed at exit.
class Cycle {
 public:
  static const Cycle& Get() {
    static const Cycle c;
    return c;
  }
  const std::string& dir() const { return dir_; }

 private:
  Cycle() {
    gchar* d = g_dir_make_tmp("nubicorn-bench-fci-XXXXXX", nullptr);
    dir_ = d ? d : "/tmp";
    g_free(d);
    SynthFciOptions o;
    o.out = dir_;
    o.slot = SLOT;
    o.compress = true;
    std::copy(WINDOW, WINDOW + 4, o.rect);
    o.channels = {FciChannelIndex("ir_105"), FciChannelIndex("vis_06")};
    std::string err;
    if (!SynthFciCycle(o, &err)) std::fprintf(stderr, "bench_fci: %s\n", err.c_str());
  }
  ~Cycle() {
    if (GDir* d = g_dir_open(dir_.c_str(), 0, nullptr)) {
      while (const char* n = g_dir_read_name(d)) g_remove((dir_ + "/" + n).c_str());
      g_dir_close(d);
    }
    g_rmdir(dir_.c_str());
  }
  std::string dir_;
};

// Peak resident memory (kB) of a fresh process of this program loading the window once.
long PeakKb(const std::string& dir, const char* channel) {
  gchar* self = g_file_read_link("/proc/self/exe", nullptr);
  if (!self) return -1;
  gchar* argv[] = {self, const_cast<gchar*>("--peak-once"), const_cast<gchar*>(dir.c_str()),
                   const_cast<gchar*>(channel), nullptr};
  gchar* out = nullptr;
  gint status = 0;
  long kb = -1;
  if (g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_STDERR_TO_DEV_NULL, nullptr, nullptr, &out, nullptr, &status,
                   nullptr) &&
      out)
    kb = std::strtol(out, nullptr, 10);
  g_free(out);
  g_free(self);
  return kb;
}

// Peak memory of a process that has only started (the libraries loaded, nothing read).
long BaseKb() {
  gchar* self = g_file_read_link("/proc/self/exe", nullptr);
  if (!self) return -1;
  gchar* argv[] = {self, const_cast<gchar*>("--peak-once"), const_cast<gchar*>("-"), const_cast<gchar*>("-"),
                   nullptr};
  gchar* out = nullptr;
  gint status = 0;
  long kb = -1;
  if (g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_STDERR_TO_DEV_NULL, nullptr, nullptr, &out, nullptr, &status,
                   nullptr) &&
      out)
    kb = std::strtol(out, nullptr, 10);
  g_free(out);
  g_free(self);
  return kb;
}

void Load(benchmark::State& state) {
  const char* name = state.range(0) ? "vis_06" : "ir_105";
  const int ch = FciChannelIndex(name);
  const std::string& dir = Cycle::Get().dir();
  size_t opened_bytes = 0, files = 0;
  cv::Size size;
  for (auto _ : state) {
    int32_t w[4] = {WINDOW[0], WINDOW[1], WINDOW[2], WINDOW[3]};
    auto img = FciLoadWindow(dir.c_str(), SLOT, ch, w);
    if (!img) {
      state.SkipWithError("load failed");
      return;
    }
    size = img->counts.size();
    files = img->opened.size();
    opened_bytes = 0;
    for (const auto& p : img->opened) {
      GStatBuf st;
      if (g_stat(p.c_str(), &st) == 0) opened_bytes += size_t(st.st_size);
    }
    benchmark::DoNotOptimize(img);
  }
  const long peak = PeakKb(dir, name), base = BaseKb();
  state.counters["pixels"] = double(size.area());
  state.counters["chunk_files"] = double(files);
  state.counters["chunk_MB"] = double(opened_bytes) / 1e6;
  state.counters["floor_MB"] = double(size.area()) * 6 / 1e6;
  state.counters["peak_MB"] = double(peak - base) / 1e3;
  state.SetLabel(std::string(name) + " " + std::to_string(size.width) + "x" + std::to_string(size.height) + " jls");
}
BENCHMARK(Load)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // The child of PeakKb: one load (or none for "-"), then its peak resident memory.
  if (argc == 4 && !std::strcmp(argv[1], "--peak-once")) {
    if (std::strcmp(argv[2], "-")) {
      int32_t w[4] = {WINDOW[0], WINDOW[1], WINDOW[2], WINDOW[3]};
      auto img = FciLoadWindow(argv[2], SLOT, FciChannelIndex(argv[3]), w);
      if (!img) return 1;
    } else {
      FciJlsRegister();  // the libraries' own start-up, as the load pays it
    }
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    std::printf("%ld\n", ru.ru_maxrss);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
