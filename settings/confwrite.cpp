// ConfWrite and ConfReset: copy settings into the loaded key file and save it in one piece.
#include <algorithm>
#include <cstring>
#include <vector>

#include "contours/cntrs.h"
#include "data/gholder.h"
#include "data/recipes.h"
#include "settings/conf.h"
#include "settings/confrules.h"

namespace {

void WriteStartup(Conf* conf) {
  GKeyFile* kf = conf->key_file.get();
  const char* g = CONF_GROUP_STARTUP;
  g_key_file_remove_group(kf, g, nullptr);
  // What the user chose on the page, not every image the session opened (those come and go
  // with the monitor and "Open").
  int n = 0;
  for (const std::string& name : conf->startup_images) {
    const std::string key = ConfNumberedKey("image-file", n++);
    // A name that is no UTF-8 was read as stored (hand-edited): it goes back the same way.
    if (g_utf8_validate(name.c_str(), -1, nullptr) || std::strchr(name.c_str(), '\n'))
      g_key_file_set_string(kf, g, key.c_str(), name.c_str());
    else
      g_key_file_set_value(kf, g, key.c_str(), name.c_str());
  }
  n = 0;
  for (GList* l = conf->contours; l; l = l->next) {
    const CntrsFile* entry = static_cast<const CntrsFile*>(l->data);
    if (!entry || entry->channel >= 0) continue;
    g_key_file_set_string(kf, g, ConfNumberedKey("contour-file", n).c_str(), entry->file.c_str());
    std::vector<std::string> attrs;
    if (!entry->field.empty()) attrs.push_back("field:" + entry->field);
    if (!entry->color.empty()) attrs.push_back("color:" + entry->color);
    if (!attrs.empty()) {
      std::vector<const char*> list;
      for (const auto& a : attrs) list.push_back(a.c_str());
      g_key_file_set_string_list(kf, g, ConfNumberedKey("cntrs-file-attr", n).c_str(), list.data(),
                                 list.size());
    }
    n++;
  }
}

// The slot text of the last non-empty entry of the first slot, or empty with no slot.
std::string LastDate(const Conf* conf) {
  if (!conf->slots) return {};
  Slot* slot = static_cast<Slot*>(conf->slots->data);
  for (int i = SLOT_SIZE - 1; i >= 0; i--)
    if (slot[i]) return InfoSlotText(slot[i]->time);
  return {};
}

void WriteInterface(Conf* conf) {
  GKeyFile* kf = conf->key_file.get();
  const char* g = CONF_GROUP_INTERFACE;
  const ConfRect r =
      conf->rect_next.value_or(ConfRect{conf->rect_x, conf->rect_y, conf->rect_width, conf->rect_height});
  g_key_file_set_integer(kf, g, "rect-x", r.x);
  g_key_file_set_integer(kf, g, "rect-y", r.y);
  g_key_file_set_integer(kf, g, "rect-width", r.width);
  g_key_file_set_integer(kf, g, "rect-height", r.height);
  g_key_file_set_integer(kf, g, "hrv-east", conf->hrv_east);
  g_key_file_set_string(kf, g, "canvas-font",
                        ConfFontWritable(conf->canvas_font.c_str()) ? conf->canvas_font.c_str() : CONF_FONT_WRITE);
  if (conf->charset <= guint32(CONF_CHARSET_MAX)) g_key_file_set_integer(kf, g, "charset", gint(conf->charset));
  g_key_file_set_string(kf, g, "field-name",
                        ConfFieldValid(conf->field_name.c_str()) ? conf->field_name.c_str() : CONF_FIELD);
  g_key_file_set_int64(kf, g, "selected-color", ConfColorEncode(conf->selected_color));
  if (conf->selected_range >= 0 && conf->selected_range <= 179)
    g_key_file_set_integer(kf, g, "selected-range", conf->selected_range);
  if (conf->zoom >= 1 && conf->zoom <= 15) g_key_file_set_integer(kf, g, "zoom", conf->zoom);
  g_key_file_set_integer(kf, g, "scroll-x", conf->scroll_x);
  g_key_file_set_integer(kf, g, "scroll-y", conf->scroll_y);
  std::string date = LastDate(conf);
  if (!date.empty()) g_key_file_set_string(kf, g, "last-date", date.c_str());
  if (conf->max_slots > 0 && conf->max_slots <= CONF_MAX_SLOTS_MAX)
    g_key_file_set_integer(kf, g, CONF_KEY_MAX_SLOTS, conf->max_slots);
  else
    g_key_file_remove_key(kf, g, CONF_KEY_MAX_SLOTS, nullptr);
  if (conf->satellite == Sat{})
    g_key_file_remove_key(kf, g, CONF_KEY_SATELLITE, nullptr);
  else
    g_key_file_set_string(kf, g, CONF_KEY_SATELLITE, SatText(conf->satellite).c_str());
  ConfWriteAids(conf, kf);
}

void WriteRecipe(GKeyFile* kf, int n, const RgbRecipe& r) {
  const char* g = CONF_GROUP_RGB;
  g_key_file_set_string(kf, g, ConfNumberedKey("rgb-name", n).c_str(), r.name.c_str());
  gint channels[6];
  std::copy_n(r.channels, 6, channels);
  g_key_file_set_integer_list(kf, g, ConfNumberedKey("rgb-channels", n).c_str(), channels, 6);
  gdouble params[9];
  std::copy_n(r.params, 9, params);
  g_key_file_set_double_list(kf, g, ConfNumberedKey("rgb-params", n).c_str(), params, 9);
}

void WriteRecipes(Conf* conf) {
  g_key_file_remove_group(conf->key_file.get(), CONF_GROUP_RGB, nullptr);
  for (size_t i = 0; i < conf->recipes.size(); i++) WriteRecipe(conf->key_file.get(), int(i), conf->recipes[i]);
}

gboolean Save(Conf* conf) {
  gsize length = 0;
  GStr data(g_key_file_to_data(conf->key_file.get(), &length, nullptr));
  // After a failed read the key file does not hold what the file on disk holds.
  ConfKeepUnreadable(conf->ini_path);
  GError* err = nullptr;
  if (!g_file_set_contents(conf->ini_path.c_str(), data.get(), gssize(length), &err)) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s error: %s", "nubicorn.ini", err ? err->message : "");
    g_clear_error(&err);
    return FALSE;
  }
  return TRUE;
}

}  // namespace

gboolean ConfWriteGroups(guint groups) {
  Conf* conf = Conf_get;
  if (!conf || !conf->key_file || (groups & ~CONF_SAVE_ALL) != 0) return FALSE;
  if (groups & CONF_SAVE_STARTUP) WriteStartup(conf);
  if (groups & CONF_SAVE_INTERFACE) WriteInterface(conf);
  if (groups & CONF_SAVE_RGB) WriteRecipes(conf);
  if (!Save(conf)) return FALSE;
  conf->unsaved &= ~groups;
  return TRUE;
}

gboolean ConfWrite(int mode) {
  constexpr guint groups[] = {CONF_SAVE_ALL, CONF_SAVE_STARTUP, CONF_SAVE_INTERFACE, CONF_SAVE_RGB};
  if (mode < 0 || mode > 3) return FALSE;
  return ConfWriteGroups(groups[mode]);
}

gboolean ConfReset() {
  Conf* conf = Conf_get;
  if (!conf || !conf->key_file) return FALSE;
  GKeyFile* kf = conf->key_file.get();
  const char* g = CONF_GROUP_INTERFACE;
  g_key_file_remove_group(kf, CONF_GROUP_STARTUP, nullptr);
  g_key_file_set_integer(kf, g, "rect-x", CONF_RECT_X);
  g_key_file_set_integer(kf, g, "rect-y", CONF_RECT_Y);
  g_key_file_set_integer(kf, g, "rect-width", CONF_RECT_WIDTH);
  g_key_file_set_integer(kf, g, "rect-height", CONF_RECT_HEIGHT);
  g_key_file_set_integer(kf, g, "hrv-east", CONF_HRV_EAST);
  g_key_file_set_string(kf, g, "canvas-font", CONF_FONT_SCREEN);
  g_key_file_set_integer(kf, g, "charset", 0);
  g_key_file_set_string(kf, g, "field-name", CONF_FIELD);
  g_key_file_set_integer(kf, g, "zoom", CONF_ZOOM);
  g_key_file_set_integer(kf, g, "selected-range", CONF_RANGE);
  g_key_file_remove_key(kf, g, CONF_KEY_SATELLITE, nullptr);
  ConfWriteAids(nullptr, kf);
  const std::vector<RgbRecipe> presets = AtmradDefaultRecipes();
  for (size_t i = 0; i < presets.size(); i++) WriteRecipe(kf, int(i), presets[i]);
  return Save(conf);
}
