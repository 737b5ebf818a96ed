// ConfRead: loads nubicorn.ini and fills the configuration record by the read rules.
#include <glib/gstdio.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "data/gholder.h"
#include "data/recipes.h"
#include "data/recipesread.h"
#include "data/supl.h"
#include "settings/conf.h"
#include "settings/confrules.h"

Conf* Conf_get = nullptr;

namespace {

GStr ReadString(GKeyFile* kf, const char* group, const char* key) {
  return GStr(g_key_file_get_string(kf, group, key, nullptr));
}

// With its comments: a save writes back what the user noted in a hand-edited file.
bool LoadKeyFile(GKeyFile* kf, const std::string& path, GError** err) {
  return g_key_file_load_from_file(kf, path.c_str(), G_KEY_FILE_KEEP_COMMENTS, err);
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

// The window: taken when any of its four keys is present and the four make a usable window
// (ConfRectValid, the rule the Interface page uses too); otherwise the default, with one
// warning when the file held something.
ConfRect ReadRect(GKeyFile* kf) {
  const char* g = CONF_GROUP_INTERFACE;
  const char* keys[] = {"rect-x", "rect-y", "rect-width", "rect-height"};
  gint64 v[4] = {};
  bool present = false, numbers = true;
  for (int i = 0; i < 4; i++) {
    present = present || g_key_file_has_key(kf, g, keys[i], nullptr);
    // A missing or non-numeric value reads as 0 (column 0 is a valid position).
    if (!ConfStoredInt(kf, g, keys[i], &v[i])) {
      numbers = numbers && !g_key_file_has_key(kf, g, keys[i], nullptr);
      v[i] = 0;
    }
  }
  if (numbers && ConfRectValid(v[0], v[1], v[2], v[3]))
    return ConfRect{gint32(v[0]), gint32(v[1]), gint32(v[2]), gint32(v[3])};
  const ConfRect def{CONF_RECT_X, CONF_RECT_Y, CONF_RECT_WIDTH, CONF_RECT_HEIGHT};
  if (present) {
    GStr text[4] = {ReadString(kf, g, keys[0]), ReadString(kf, g, keys[1]), ReadString(kf, g, keys[2]),
                    ReadString(kf, g, keys[3])};
    auto shown = [&](int i) { return text[i] ? text[i].get() : ""; };
    g_log(nullptr, G_LOG_LEVEL_WARNING,
          "nubicorn.ini: rect-x,rect-y,rect-width,rect-height=%s,%s,%s,%s is no window inside x 0 to %d, "
          "y 0 to %d; %d,%d,%d,%d used",
          shown(0), shown(1), shown(2), shown(3), CONF_AREA_COLUMNS, CONF_AREA_LINES, def.x, def.y, def.width,
          def.height);
  }
  return def;
}

gint32 ReadRule(GKeyFile* kf, const char* key) { return ConfReadInt(kf, *ConfIntRuleOf(key)); }

void ReadInterface(Conf* conf) {
  GKeyFile* kf = conf->key_file.get();
  const char* g = CONF_GROUP_INTERFACE;
  const ConfRect rect = ReadRect(kf);
  conf->rect_x = rect.x;
  conf->rect_y = rect.y;
  conf->rect_width = rect.width;
  conf->rect_height = rect.height;

  conf->hrv_east = ReadRule(kf, "hrv-east");
  GStr font = ReadString(kf, g, "canvas-font");
  conf->charset = guint32(ReadRule(kf, "charset"));
  GStr field = ReadString(kf, g, "field-name");
  // Components outside 0..255 are clamped by the decoder; no 32-bit number is black, as before.
  gint64 color = 0;
  if (!ConfStoredInt(kf, g, "selected-color", &color) || color < G_MININT32 || color > G_MAXINT32) color = 0;
  conf->selected_color = ConfColorDecode(color);
  conf->selected_range = ReadRule(kf, "selected-range");

  conf->canvas_font = font && font.get()[0] && ConfSingleByte(font.get()) ? font.get() : CONF_FONT;
  conf->field_name = field && ConfFieldValid(field.get()) ? field.get() : CONF_FIELD;

  conf->zoom = ReadRule(kf, "zoom");
  conf->scroll_x = ReadRule(kf, "scroll-x");
  conf->scroll_y = ReadRule(kf, "scroll-y");

  conf->satellite = Sat{};
  if (GStr sat = ReadString(kf, g, CONF_KEY_SATELLITE); sat && !SatParse(sat.get(), &conf->satellite))
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s=%s: unknown satellite, %s used", CONF_KEY_SATELLITE, sat.get(),
          SatText(Sat{}).c_str());

  conf->max_slots = ReadRule(kf, CONF_KEY_MAX_SLOTS);

  // SuplParseDate only counts characters; a date of anything but 12 digits is ignored.
  GStr date = ReadString(kf, g, "last-date");
  if (date && std::strlen(date.get()) == 12 &&
      std::all_of(date.get(), date.get() + 12, [](char c) { return g_ascii_isdigit(c); }))
    SuplParseDate(date.get(), &conf->last_date);
}

void ReadRecipes(Conf* conf) {
  conf->recipes = RecipesRead(conf->key_file.get(), CONF_GROUP_RGB);
  if (conf->recipes.empty()) conf->recipes = AtmradDefaultRecipes();
}

// The chosen start-up images, from 00 up to the first missing number (where the start-up
// loading stops too). A name that is no UTF-8 is kept as stored, so a save loses nothing.
void ReadStartupImages(Conf* conf) {
  GKeyFile* kf = conf->key_file.get();
  conf->startup_images.clear();
  for (int n = 0; n < CONF_STARTUP_MAX; n++) {
    const std::string key = ConfNumberedKey("image-file", n);
    GStr value = ReadString(kf, CONF_GROUP_STARTUP, key.c_str());
    if (!value) value.reset(g_key_file_get_value(kf, CONF_GROUP_STARTUP, key.c_str(), nullptr));
    if (!value) break;
    conf->startup_images.emplace_back(value.get());
  }
}

}  // namespace

bool ConfStoredInt(GKeyFile* kf, const char* group, const char* key, gint64* out) {
  GStr raw(g_key_file_get_value(kf, group, key, nullptr));
  if (!raw) return false;
  g_strstrip(raw.get());
  gint64 v = 0;
  if (!g_ascii_string_to_signed(raw.get(), 10, G_MININT64, G_MAXINT64, &v, nullptr)) return false;
  *out = v;
  return true;
}

gint32 ConfReadInt(GKeyFile* kf, const ConfIntRule& rule) {
  const char* g = CONF_GROUP_INTERFACE;
  if (!g_key_file_has_key(kf, g, rule.key, nullptr)) return rule.fallback;
  gint64 v = 0;
  if (ConfStoredInt(kf, g, rule.key, &v) && v >= rule.min && v <= rule.max) return gint32(v);
  GStr raw(g_key_file_get_value(kf, g, rule.key, nullptr));
  g_log(nullptr, G_LOG_LEVEL_WARNING, "nubicorn.ini: %s=%s is not an integer from %d to %d; %d used", rule.key,
        raw ? raw.get() : "", rule.min, rule.max, rule.fallback);
  return rule.fallback;
}

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
  ReadStartupImages(conf);
  return TRUE;
}
