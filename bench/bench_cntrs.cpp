// Loading coastlines for a view: reading, projecting and clipping every vertex of a GSHHS
// shoreline file, and making the canvas items. Counters: vertices projected and kept, lines.
#include <benchmark/benchmark.h>
#include <gtk/gtk.h>

#include <string>

#include "contours/cntrs.h"

namespace {

std::string Shore(const char* level) {
  const std::string system = std::string("/usr/share/cartopy/data/shapefiles/gshhs/") + level;
  if (g_file_test(system.c_str(), G_FILE_TEST_IS_REGULAR)) return system;
  return std::string(NUBICORN_TESTDATA) + "/shp/" + g_path_get_basename(level);
}

// Views: the default window, a 1000 x 600 window over Europe, the whole disk.
const CntrsView VIEWS[] = {{2710, 464, 92, 60}, {1500, 150, 1000, 600}, {0, 0, 3712, 3712}};
const char* const FILES[] = {"c/GSHHS_c_L1.shp", "l/GSHHS_l_L2.shp"};

void BM_CntrsReadShapes(benchmark::State& state) {
  const std::string path = Shore(FILES[state.range(0)]);
  const CntrsView view = VIEWS[state.range(1)];
  CntrsShapes out;
  for (auto _ : state) {
    if (!CntrsReadShapes(path, -1, view, 1, &out)) {
      state.SkipWithError(("cannot read " + path).c_str());
      return;
    }
    benchmark::DoNotOptimize(out.pieces.xy.data());
  }
  state.counters["projected"] = double(out.pieces.projected);
  state.counters["kept"] = double(out.pieces.xy.size() / 2);
  state.counters["lines"] = double(out.pieces.lines());
  state.counters["vertices/s"] =
      benchmark::Counter(double(out.pieces.projected), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_CntrsReadShapes)
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->ArgNames({"file", "view"})
    ->Unit(benchmark::kMillisecond);

// Read and draw into a canvas group, as a start-up contour load does (needs a display).
void BM_CntrsReadAndDraw(benchmark::State& state) {
  if (!gtk_init_check(nullptr, nullptr)) {
    state.SkipWithError("no display");
    return;
  }
  const std::string path = Shore(FILES[0]);
  const CntrsView v = VIEWS[state.range(0)];
  GtkWidget* canvas = goo_canvas_new();
  g_object_ref_sink(canvas);
  GooCanvasItem* root = goo_canvas_get_root_item(GOO_CANVAS(canvas));
  std::size_t items = 0;
  for (auto _ : state) {
    Cntrs* c = CntrsRead(path, -1, v.x, v.y, v.width, v.height, 1);
    if (!c || !CntrsDraw(c, root, "Sans Bold 3", "Yellow", v.x, v.y, v.width, v.height)) {
      state.SkipWithError("nothing drawn");
      CntrsDel(c);
      break;
    }
    items = c->polylines->len;
    CntrsDel(c);
  }
  state.counters["polylines"] = double(items);
  g_object_unref(canvas);
}
BENCHMARK(BM_CntrsReadAndDraw)->Arg(0)->Arg(1)->Arg(2)->ArgName("view")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
