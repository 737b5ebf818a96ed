// ConfFree and the small helpers of the settings record.
#include <algorithm>

#include "contours/cntrs.h"
#include "settings/conf.h"

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

void ConfFree(Conf* conf) {
  if (!conf) return;
  conf->field_name.clear();
  conf->ini_path.clear();
  conf->canvas_font.clear();
  conf->recipes.clear();
  conf->key_file.reset();
  conf->places.reset();
  conf->rect_next.reset();
  g_list_free_full(conf->contours, InfoCntrsFileDel);
  conf->contours = nullptr;
  g_list_free_full(conf->slots, InfoSlotDel);
  conf->slots = nullptr;
  g_mutex_clear(&conf->mutex);
  if (Conf_get == conf) Conf_get = nullptr;
}
