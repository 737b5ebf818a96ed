// From a tree click to the image shown: the selection handler's own work on a slot whose layer
// is loaded (the item is made again) and on one where it must be loaded first, for the default
// window and a 1000 x 600 window. The floor reported is the channel load alone of the same
// window, so the multiple says what the canvas adds. Also the pointer readout: one motion event
// over the shown layer of the default window, through the toolkit's dispatch, and the same
// with the redraw of the status field that it causes. Needs an X display (xvfb-run).
#include <filesystem>

#include "bench/bench_support_window.h"
#include "bench/bench_support_layer.h"
#include "canvas/canv.h"
#include "canvas/canvreadout.h"
#include "data/layer.h"
#include "data/supl.h"

namespace {

using benchlayer::Cycle;
using benchlayer::WINDOWS;

constexpr int ID = 9;  // IR 10.8

// One window on a home whose input folder is the generated cycle, with that cycle's slot open.
struct Window : benchwin::Window {
  static Window& Get() {
    static Window w;
    return w;
  }
  Window()
      : benchwin::Window([](const std::string& h) {
          std::filesystem::create_directories(h + "/import");
          std::filesystem::create_directory_symlink(std::filesystem::path(Cycle::Get().Path(ID)).parent_path(),
                                                    h + "/import/SEVIRI_data");
        }) {
    if (!ok) return;
    Slot* slot = InfoSlotNew();
    slot[0] = new Layer{};
    SuplParseDate(benchlayer::SLOT, &slot[0]->time);
    slot[0]->slot = benchlayer::SLOT;
    conf.slots = g_list_append(conf.slots, slot);
    CanvScaleMarkup();
  }
  Slot* slot() { return static_cast<Slot*>(conf.slots->data); }
  void SetWindow(const int32_t r[4]) {
    conf.rect_x = r[0];
    conf.rect_y = r[1];
    conf.rect_width = r[2];
    conf.rect_height = r[3];
  }
  // Drops the shown layer as "Close a file" would: the item first, then the layer.
  void Unload() {
    if (canv.image) {
      goo_canvas_item_remove(canv.image);
      canv.image = nullptr;
    }
    InfoDel(&slot()[ID]);
  }
};

// Median time of the channel load alone for a window.
double ChannelLoadTime(const int32_t w[4]) {
  std::vector<double> t;
  for (int i = 0; i < 9; i++) {
    int32_t r[4] = {w[0], w[1], w[2], w[3]};
    int32_t east = 0;
    auto a = std::chrono::steady_clock::now();
    auto images = LayerLoadChannel(Cycle::Get().Path(ID).c_str(), ID, r, &east);
    benchmark::DoNotOptimize(images);
    t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count());
  }
  std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
  return t[t.size() / 2];
}

void Begin(benchmark::State& state, Window& w) {
  const auto& win = WINDOWS[state.range(0)];
  w.Unload();
  w.SetWindow(win.r);
  if (CanvTreeGetId() == ID)
    CanvTreeSelect(nullptr, nullptr, nullptr, FALSE, nullptr);  // a repeated run: the row is selected
  else
    CanvTreeSelectId(ID);
  state.SetLabel(win.name);
}

void TreeSelectLoaded(benchmark::State& state) {
  Window& w = Window::Get();
  if (!w.ok) {
    state.SkipWithError("no display (run under xvfb-run)");
    return;
  }
  Begin(state, w);
  if (!w.slot()[ID]) {
    state.SkipWithError("load failed");
    return;
  }
  for (auto _ : state) CanvTreeSelect(nullptr, nullptr, nullptr, FALSE, nullptr);
  state.counters["floor_s"] = ChannelLoadTime(WINDOWS[state.range(0)].r);
}

void TreeSelectUnloaded(benchmark::State& state) {
  Window& w = Window::Get();
  if (!w.ok) {
    state.SkipWithError("no display (run under xvfb-run)");
    return;
  }
  Begin(state, w);
  for (auto _ : state) {
    state.PauseTiming();
    w.Unload();
    state.ResumeTiming();
    CanvTreeSelect(nullptr, nullptr, nullptr, FALSE, nullptr);
    if (!w.canv.image) {
      state.SkipWithError("load failed");
      return;
    }
  }
  state.counters["floor_s"] = ChannelLoadTime(WINDOWS[state.range(0)].r);
}

// The channel load alone, timed as the two above, for the same windows.
void ChannelLoad(benchmark::State& state) {
  const auto& win = WINDOWS[state.range(0)];
  const std::string path = Cycle::Get().Path(ID);  // the cycle is generated outside the timing
  for (auto _ : state) {
    int32_t r[4] = {win.r[0], win.r[1], win.r[2], win.r[3]};
    int32_t east = 0;
    auto images = LayerLoadChannel(path.c_str(), ID, r, &east);
    benchmark::DoNotOptimize(images);
  }
  state.SetLabel(win.name);
}

// A motion event of the canvas's drawing window at display pixel (x, y) of the image.
GdkEvent* Motion(Window& w, double x, double y) {
  GooCanvas* goo = GOO_CANVAS(w.canv.canvas);
  goo_canvas_convert_to_pixels(goo, &x, &y);
  GdkEvent* e = gdk_event_new(GDK_MOTION_NOTIFY);
  e->motion.window = GDK_WINDOW(g_object_ref(goo->canvas_window));
  e->motion.x = x;
  e->motion.y = y;
  gdk_event_set_device(e, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
  return e;
}

// drain: also run the main loop's work that the event left (the status field's redraw).
void ReadoutMotion(benchmark::State& state) {
  Window& w = Window::Get();
  if (!w.ok) {
    state.SkipWithError("no display (run under xvfb-run)");
    return;
  }
  Begin(state, w);  // the default window
  if (!w.canv.image) {
    state.SkipWithError("load failed");
    return;
  }
  const bool drain = state.range(1) != 0;
  // Two places the pointer moves between, so the field changes with every event.
  GdkEvent* e[2] = {Motion(w, 40.5, 30.5), Motion(w, 200.5, 150.5)};
  int i = 0;
  for (auto _ : state) {
    gtk_main_do_event(e[i ^= 1]);
    if (drain)
      while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  }
  for (GdkEvent* ev : e) gdk_event_free(ev);
  state.SetLabel(drain ? "default window, event + redraw" : "default window, event");
}

}  // namespace

BENCHMARK(ReadoutMotion)->Args({0, 0})->Args({0, 1})->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(ChannelLoad)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(TreeSelectLoaded)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(TreeSelectUnloaded)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
