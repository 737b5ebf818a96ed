// "Make video from the RGB images" over 16 slots of generated cycles in the default window:
// seconds per frame (render, caption, encode), the layers already loaded. Needs a display
// (run under xvfb-run); without one it reports an error and measures nothing.
#include <benchmark/benchmark.h>
#include <glib.h>
#include <glib/gstdio.h>

#include <filesystem>
#include <string>

#include "app/app.h"
#include "canvas/canv.h"
#include "canvas/canvvideo.h"
#include "data/fileinfo.h"
#include "data/supl.h"
#include "settings/conf.h"
#include "tools/synth.h"

namespace {

namespace fs = std::filesystem;
constexpr int SLOTS = 16;
constexpr int NATURAL = RECIPE_FIRST_ID + 3;

// The generated cycles, made once and kept beside the other temporary files between runs.
std::string Cycles(std::string* err) {
  const std::string dir = std::string(g_get_tmp_dir()) + "/nubicorn-bench-video-cycles";
  int64_t t0 = 0;
  if (!SynthParseSlot("201607041200", &t0, err)) return {};
  for (int i = 0; i < SLOTS; i++) {
    const std::string slot = SynthSlotText(t0 + i * 900);
    if (fs::exists(dir + "/" + SynthEpilogueName(slot))) continue;
    SynthOptions o;
    o.out = dir;
    o.slot = slot;
    o.seed = uint32_t(11 + i);
    if (!SynthCycle(o, err)) return {};
  }
  return dir;
}

void BM_Video16Slots(benchmark::State& state) {
  static const bool gtk = gtk_init_check(nullptr, nullptr);
  if (!gtk) {
    state.SkipWithError("no display");
    return;
  }
  std::string err;
  const std::string cycles = Cycles(&err);
  if (cycles.empty()) {
    state.SkipWithError(err.c_str());
    return;
  }
  std::string home = std::string(g_get_tmp_dir()) + "/nubicorn-bench-home-XXXXXX";
  if (!g_mkdtemp(home.data())) {
    state.SkipWithError("no home");
    return;
  }
  fs::create_directories(home + "/import/SEVIRI_data");
  for (const auto& e : fs::directory_iterator(cycles))
    fs::create_symlink(e.path(), home + "/import/SEVIRI_data/" + e.path().filename().string());

  App app;
  Canv canv;
  Conf conf;
  AppCreate(&app, &canv, &conf, home);
  while (conf.loader || gtk_events_pending()) gtk_main_iteration_do(FALSE);
  int64_t t0 = 0;
  SynthParseSlot("201607041200", &t0, &err);
  for (int i = 0; i < SLOTS; i++) {
    Slot* s = InfoSlotNew();
    s[0] = new Layer{};
    s[0]->slot = SynthSlotText(t0 + i * 900);
    SuplParseDate(s[0]->slot.c_str(), &s[0]->time);
    conf.slots = g_list_append(conf.slots, s);
  }
  CanvScaleMarkup();
  CanvTreeSelectId(NATURAL);
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  std::string file;
  int frames = 0;
  CanvVideoWrite(&file, &frames);  // loads every slot's composite once
  int64_t total = 0;
  for (auto _ : state) {
    if (!CanvVideoWrite(&file, &frames)) state.SkipWithError("video failed");
    fs::remove(home + "/export/Video/" + file);  // a video never replaces one: keep the folder empty
    total += frames;
  }
  state.counters["frames"] = frames;
  state.counters["s_per_frame"] = benchmark::Counter(double(total), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  AppOnDelete(app.window, nullptr, nullptr);
  gtk_widget_destroy(app.window);
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  fs::remove_all(home);
}
BENCHMARK(BM_Video16Slots)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
