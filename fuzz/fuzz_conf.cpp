// The settings reader on arbitrary bytes: written as <home>/config/nubicorn.ini and read back.
#include <glib.h>
#include <glib/gstdio.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "fuzz/fuzz_support.h"
#include "settings/conf.h"
#include "settings/confrules.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzQuiet();
  if (!FuzzDir().empty()) g_mkdir_with_parents((FuzzDir() + "/config").c_str(), 0700);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (FuzzWrite("config/nubicorn.ini", data, size).empty()) return 0;
  const std::string& home = FuzzDir();
  Conf conf;
  ConfRead(&conf, home);
  // Whatever was read, the window is one the Settings dialog accepts, every number is inside its
  // rule's range (so zoom + 7, HRV columns and scroll positions cannot overflow later) and every
  // recipe names real channels. A failed read leaves the 10 x 10 window of an unusable file.
  const bool read = conf.key_file && !conf.recipes.empty();
  if (read && !ConfRectValid(conf.rect_x, conf.rect_y, conf.rect_width, conf.rect_height)) __builtin_trap();
  if (read) {
    // Each by its key: the table of rules grows.
    const std::pair<const char*, gint64> values[] = {
        {"hrv-east", conf.hrv_east}, {"charset", conf.charset}, {"selected-range", conf.selected_range},
        {"zoom", conf.zoom},         {"scroll-x", conf.scroll_x}, {"scroll-y", conf.scroll_y},
        {CONF_KEY_MAX_SLOTS, conf.max_slots}};
    for (const auto& [key, v] : values) {
      const ConfIntRule* rule = ConfIntRuleOf(key);
      if (!rule || (v != rule->fallback && (v < rule->min || v > rule->max))) __builtin_trap();
    }
  }
  for (const RgbRecipe& r : conf.recipes)
    for (int c : r.channels)
      if (c < 0 || c > CHANNEL_COUNT) __builtin_trap();
  // A save of what was read loads again and reads back the same start-up list.
  if (read && ConfWrite(0)) {
    Conf again;
    if (ConfRead(&again, home) && again.startup_images != conf.startup_images) __builtin_trap();
    ConfFree(&again);
    Conf_get = &conf;
  }
  ConfFree(&conf);
  return 0;
}
