// The Settings dialog with a long places.csv: from the menu item to the dialog drawn, for
// 1,000 to 100,000 places. The floor is reading places.csv alone (PlacesRead); for contrast
// ComboAppend shows the cost of the former place list, a combo box filled one name at a time
// in a shown window, which grows with the square of the count. Needs an X display (xvfb-run).
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_support_window.h"
#include "dialogs/dlg.h"
#include "dialogs/places.h"

namespace {

using benchwin::Drain;

// The main window; places.csv is rewritten for each count.
struct Window : benchwin::Window {
  int places = -1;

  static Window& Get() {
    static Window w;
    return w;
  }
  Window() : benchwin::Window([](const std::string& h) { std::filesystem::create_directories(h + "/import/Shp"); }) {}
  std::string Csv() const { return home + "/import/Shp/places.csv"; }
  // places.csv with n places of names and positions inside the strip.
  void Places(int n) {
    if (n == places) return;
    std::ofstream out(Csv(), std::ios::trunc);
    for (int i = 0; i < n; i++) out << "Place " << i << "," << 100 + i % 3500 << "," << 100 + i % 700 << "\n";
    places = n;
  }
};

double ReadTime(const std::string& path) {
  auto a = std::chrono::steady_clock::now();
  int skipped = 0;
  GPtrArray* places = PlacesRead(path, &skipped);
  const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
  if (places) g_ptr_array_unref(places);
  return t;
}

void SettingsDialog(benchmark::State& state) {
  Window& w = Window::Get();
  if (!w.ok) {
    state.SkipWithError("no display (run under xvfb-run)");
    return;
  }
  w.Places(int(state.range(0)));
  for (auto _ : state) {
    w.conf.places.reset();  // read again, as the first opening of a run does
    GtkWidget* dialog = DlgSettingsNew();
    Drain();
    state.PauseTiming();
    if (!w.conf.places || w.conf.places->len != guint(state.range(0))) state.SkipWithError("places not read");
    gtk_widget_destroy(dialog);
    Drain();
    state.ResumeTiming();
  }
  state.counters["floor_s"] = ReadTime(w.Csv());
}
BENCHMARK(SettingsDialog)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

void ComboAppend(benchmark::State& state) {
  if (!Window::Get().ok) {
    state.SkipWithError("no display (run under xvfb-run)");
    return;
  }
  for (auto _ : state) {
    GtkWidget* win = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* combo = gtk_combo_box_text_new();
    gtk_container_add(GTK_CONTAINER(win), combo);
    gtk_widget_show_all(win);
    for (int i = 0; i < state.range(0); i++)
      gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), ("Place " + std::to_string(i)).c_str());
    Drain();
    gtk_widget_destroy(win);
  }
}
BENCHMARK(ComboAppend)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
