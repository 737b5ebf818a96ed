// ConfFree and the small helpers of the settings record.
#include <glib/gstdio.h>

#include <algorithm>

#include "contours/cntrs.h"
#include "settings/conf.h"
#include "settings/confrules.h"

std::string ConfNumberedKey(const char* base, int n) {
  char* key = g_strdup_printf("%s-%02d", base, n);
  std::string out(key);
  g_free(key);
  return out;
}

GdkColor ConfColorDecode(gint64 code) {
  const gint64 r = code / 1000000;
  const gint64 g = (code - r * 1000000) / 1000;
  const gint64 b = code - (r * 1000 + g) * 1000;
  auto comp = [](gint64 v) { return guint16(std::clamp<gint64>(v, 0, 255) * 256); };
  GdkColor c{};
  c.pixel = 0;
  c.red = comp(r);
  c.green = comp(g);
  c.blue = comp(b);
  return c;
}

gint64 ConfColorEncode(const GdkColor& color) {
  return gint64(color.red / 256) * 1000000 + gint64(color.green / 256) * 1000 + color.blue / 256;
}

void ConfKeepUnreadable(const std::string& path) {
  if (!g_file_test(path.c_str(), G_FILE_TEST_EXISTS)) return;
  KeyFilePtr probe(g_key_file_new());
  if (g_key_file_load_from_file(probe.get(), path.c_str(), G_KEY_FILE_NONE, nullptr)) return;
  for (int i = 0; i < 100; i++) {
    std::string kept = path + (i ? ".bad-" + std::to_string(i) : std::string(".bad"));
    if (g_file_test(kept.c_str(), G_FILE_TEST_EXISTS)) continue;
    if (g_rename(path.c_str(), kept.c_str()) == 0) g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", kept.c_str());
    return;
  }
}

void ConfFree(Conf* conf) {
  if (!conf) return;
  conf->field_name.clear();
  conf->ini_path.clear();
  conf->canvas_font.clear();
  conf->recipes.clear();
  conf->key_file.reset();
  conf->places.reset();
  conf->rect_next.reset();
  conf->startup_images.clear();
  conf->unsaved = 0;
  g_list_free_full(conf->contours, InfoCntrsFileDel);
  conf->contours = nullptr;
  g_list_free_full(conf->slots, InfoSlotDel);
  conf->slots = nullptr;
  g_mutex_clear(&conf->mutex);
  if (Conf_get == conf) Conf_get = nullptr;
}
