// The main window of the window benchmarks, built once per program on a temporary home that
// `prepare` fills first; closed and removed at the end. Needs an X display (xvfb-run).
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "app/app.h"

namespace benchwin {

inline void Drain() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

struct Window {
  App app;
  Canv canv;
  Conf conf;
  std::string home;
  bool ok = false;  // false without a display: the benchmarks skip

  explicit Window(const std::function<void(const std::string& home)>& prepare) {
    if (!gtk_init_check(nullptr, nullptr)) return;
    gchar* p = g_dir_make_tmp("nubicorn-bench-home-XXXXXX", nullptr);
    if (!p) return;
    home = p;
    g_free(p);
    prepare(home);
    AppCreate(&app, &canv, &conf, home);
    // The start-up chain (no entries here) ends on the main loop.
    for (int i = 0; i < 2000 && conf.loader; i++) {
      Drain();
      g_usleep(1000);
    }
    Drain();
    ok = true;
  }
  ~Window() {
    if (!ok) return;
    AppOnDelete(app.window, nullptr, nullptr);
    gtk_widget_destroy(app.window);
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
  }
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
};

}  // namespace benchwin
