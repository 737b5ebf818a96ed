// The settings reader on arbitrary bytes: written as <home>/config/nubicorn.ini and read back.
#include <glib.h>
#include <glib/gstdio.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/conf.h"

namespace {

// One temp home for the whole run; each input overwrites its settings file.
const std::string& Home() {
  static const std::string home = [] {
    gchar* dir = g_dir_make_tmp("nubicorn-fuzz-conf-XXXXXX", nullptr);
    std::string h = dir ? dir : "";
    g_free(dir);
    gchar* config = g_build_filename(h.c_str(), "config", nullptr);
    g_mkdir_with_parents(config, 0700);
    g_free(config);
    return h;
  }();
  return home;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Bad settings log a warning each; keep the fuzzer's output readable.
  g_log_set_default_handler([](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& home = Home();
  if (home.empty()) return 0;
  gchar* ini = g_build_filename(home.c_str(), "config", "nubicorn.ini", nullptr);
  const bool written = g_file_set_contents(ini, reinterpret_cast<const gchar*>(data), gssize(size), nullptr);
  g_free(ini);
  if (!written) return 0;
  Conf conf;
  ConfRead(&conf, home);
  // Whatever was read, the rectangle stays inside the grid and every recipe names real channels.
  if (conf.rect_width < 0 || conf.rect_height < 0 || conf.rect_x < 0 || conf.rect_y < 0) __builtin_trap();
  for (const RgbRecipe& r : conf.recipes)
    for (int c : r.channels)
      if (c < 0 || c > CHANNEL_COUNT) __builtin_trap();
  ConfFree(&conf);
  return 0;
}
