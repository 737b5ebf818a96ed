// ConfRead: loads nubicorn.ini and fills the configuration record by the read rules.
#include <glib/gstdio.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "data/recipes.h"
#include "data/supl.h"
#include "settings/conf.h"
#include "settings/confrules.h"

Conf* Conf_get = nullptr;

namespace {

struct GFree {
  void operator()(gpointer p) const { g_free(p); }
};
using GStr = std::unique_ptr<gchar, GFree>;

gint ReadInt(GKeyFile* kf, const char* group, const char* key) {
  // A missing key or a value that is no number reads as 0.
  return g_key_file_get_integer(kf, group, key, nullptr);
}

GStr ReadString(GKeyFile* kf, const char* group, const char* key) {
  return GStr(g_key_file_get_string(kf, group, key, nullptr));
}

bool LoadKeyFile(GKeyFile* kf, const std::string& path, GError** err) {
  return g_key_file_load_from_file(kf, path.c_str(), G_KEY_FILE_NONE, err);
}

// The fallback: load the setup copy, store it as nubicorn.ini and load that.
bool LoadFallback(Conf* conf, const std::string& home) {
  GError* err = nullptr;
  GStr setup(g_build_filename(home.c_str(), "config", "setup", "nubicorn.ini", nullptr));
  bool ok = LoadKeyFile(conf->key_file.get(), setup.get(), &err);
  if (ok) {
    ConfKeepUnreadable(conf->ini_path);
    ok = g_key_file_save_to_file(conf->key_file.get(), conf->ini_path.c_str(), &err);
  }
  if (ok) {
    conf->key_file.reset(g_key_file_new());
    ok = LoadKeyFile(conf->key_file.get(), conf->ini_path, &err);
  }
  if (!ok) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s error: %s", setup.get(), err ? err->message : "");
    g_clear_error(&err);
    // Whatever a failed load left behind must not be saved later as if it were settings.
    conf->key_file.reset(g_key_file_new());
  }
  return ok;
}

void ReadInterface(Conf* conf) {
  GKeyFile* kf = conf->key_file.get();
  const char* g = CONF_GROUP_INTERFACE;
  int x = ReadInt(kf, g, "rect-x"), y = ReadInt(kf, g, "rect-y");
  int w = ReadInt(kf, g, "rect-width"), h = ReadInt(kf, g, "rect-height");
  if (!ConfRectValid(x, y, w, h)) {
    x = CONF_RECT_X;
    y = CONF_RECT_Y;
    w = CONF_RECT_WIDTH;
    h = CONF_RECT_HEIGHT;
  }
  conf->rect_x = x;
  conf->rect_y = y;
  conf->rect_width = w;
  conf->rect_height = h;

  conf->hrv_east = ReadInt(kf, g, "hrv-east");
  if (conf->hrv_east == 0) conf->hrv_east = CONF_HRV_EAST;

  GStr font = ReadString(kf, g, "canvas-font");
  conf->charset = guint32(ReadInt(kf, g, "charset"));
  GStr field = ReadString(kf, g, "field-name");
  conf->selected_color = ConfColorDecode(ReadInt(kf, g, "selected-color"));
  conf->selected_range = ReadInt(kf, g, "selected-range");

  conf->canvas_font = font && font.get()[0] && ConfSingleByte(font.get()) ? font.get() : CONF_FONT;
  if (conf->selected_range <= 0) conf->selected_range = CONF_RANGE;
  conf->field_name = field && ConfFieldValid(field.get()) ? field.get() : CONF_FIELD;
  if (conf->charset > guint32(CONF_CHARSET_MAX)) conf->charset = 0;

  conf->zoom = ReadInt(kf, g, "zoom");
  if (conf->zoom <= 0) conf->zoom = CONF_ZOOM;
  conf->scroll_x = ReadInt(kf, g, "scroll-x");
  conf->scroll_y = ReadInt(kf, g, "scroll-y");

  conf->satellite = Sat{};
  if (GStr sat = ReadString(kf, g, CONF_KEY_SATELLITE); sat && !SatParse(sat.get(), &conf->satellite))
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s=%s: unknown satellite, %s used", CONF_KEY_SATELLITE, sat.get(),
          SatText(Sat{}).c_str());

  // SuplParseDate only counts characters; a date of anything but 12 digits is ignored.
  GStr date = ReadString(kf, g, "last-date");
  if (date && std::strlen(date.get()) == 12 &&
      std::all_of(date.get(), date.get() + 12, [](char c) { return g_ascii_isdigit(c); }))
    SuplParseDate(date.get(), &conf->last_date);
}

void ReadRecipes(Conf* conf) {
  GKeyFile* kf = conf->key_file.get();
  const char* g = CONF_GROUP_RGB;
  for (int n = 0; n < RECIPE_MAX; n++) {
    GStr name = ReadString(kf, g, ConfNumberedKey("rgb-name", n).c_str());
    gsize nc = 0, np = 0;
    std::unique_ptr<gint, GFree> channels(
        g_key_file_get_integer_list(kf, g, ConfNumberedKey("rgb-channels", n).c_str(), &nc, nullptr));
    std::unique_ptr<gdouble, GFree> params(
        g_key_file_get_double_list(kf, g, ConfNumberedKey("rgb-params", n).c_str(), &np, nullptr));
    if (!name || !channels || !params || nc != 6 || np != 9) break;
    // Channel numbers index the channel images and the slot entries: a value outside 0..12
    // makes the recipe unusable, exactly like an incomplete one.
    if (!std::all_of(channels.get(), channels.get() + 6, [](gint c) { return c >= 0 && c <= CHANNEL_COUNT; }))
      break;
    if (!std::all_of(params.get(), params.get() + 9, [](gdouble p) { return std::isfinite(p); })) break;
    RgbRecipe r;
    std::copy_n(channels.get(), 6, r.channels);
    std::copy_n(params.get(), 9, r.params);
    r.name = name.get();
    conf->recipes.push_back(std::move(r));
  }
  if (conf->recipes.empty()) conf->recipes = AtmradDefaultRecipes();
}

}  // namespace

gboolean ConfRead(Conf* conf, const std::string& home) {
  Conf_get = conf;
  g_mutex_init(&conf->mutex);
  conf->recipes.clear();  // the window and ConfFree use the list even when reading fails
  GStr ini(g_build_filename(home.c_str(), "config", "nubicorn.ini", nullptr));
  conf->ini_path = ini.get();
  conf->key_file.reset(g_key_file_new());

  GError* err = nullptr;
  if (!LoadKeyFile(conf->key_file.get(), conf->ini_path, &err)) {
    g_clear_error(&err);
    if (!LoadFallback(conf, home)) {
      conf->rect_width = 10;
      conf->rect_height = 10;
      return FALSE;
    }
  }
  ReadInterface(conf);
  ConfReadAids(conf, conf->key_file.get());
  ReadRecipes(conf);
  return TRUE;
}
