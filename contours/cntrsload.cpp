// Loading contour files into the canvas: one entry, and the start-up list of the settings.
#include <cstring>
#include <memory>

#include "app/app.h"
#include "canvas/canv.h"
#include "contours/cntrs.h"
#include "data/gholder.h"
#include "settings/conf.h"

namespace {

constexpr int STARTUP_MAX = 100;  // numbers 00..99 are all tried

std::string ShpPath(const std::string& file) {
  gchar* p = g_build_filename(App_get ? App_get->home.c_str() : "", "import", "Shp", file.c_str(), nullptr);
  std::string s(p);
  g_free(p);
  return s;
}

// "field:NAME" and "color:NAME" items of a "cntrs-file-attr" list; others are ignored.
void ApplyAttrs(CntrsFile* entry, gchar** items) {
  for (gchar** it = items; it && *it; it++) {
    const char* colon = std::strchr(*it, ':');
    if (!colon || !colon[1]) continue;
    if (g_str_has_prefix(*it, "field"))
      entry->field = colon + 1;
    else if (g_str_has_prefix(*it, "color"))
      entry->color = colon + 1;
  }
}

// The longitude and kind of the shown image, else of the configured satellite.
double ShownLongitude(const Conf* conf, bool* fci) {
  const Slot* slot = Canv_get ? CanvCurrentSlot() : nullptr;
  const int id = Canv_get ? CanvTreeGetId() : 0;
  if (slot && id > 0 && id < SLOT_SIZE && slot[id] && !slot[id]->images[1].empty()) {
    *fci = slot[id]->fci;
    return slot[id]->sub_lon;
  }
  *fci = conf->satellite.service == SatService::Fci;
  return SatNominalLongitude(conf->satellite);
}

gboolean Load(CntrsFile* entry, double sub_lon, bool fci) {
  Conf* conf = Conf_get;
  const std::string path = ShpPath(entry->file);
  int field = CntrsFieldIndex(path, entry->field);
  if (field < 0) field = CntrsFieldIndex(path, conf->field_name);
  gboolean ok = FALSE;
  CntrsDel(entry->cntrs);
  entry->cntrs = CntrsRead(path, field, conf->rect_x, conf->rect_y, conf->rect_width, conf->rect_height,
                           conf->charset, sub_lon, fci);
  if (entry->cntrs && Canv_get && Canv_get->group)
    ok = CntrsDraw(entry->cntrs, Canv_get->group, conf->canvas_font.c_str(),
                   entry->color.empty() ? nullptr : entry->color.c_str(), conf->rect_x, conf->rect_y,
                   conf->rect_width, conf->rect_height);
  if (ok) {
    AppStatus(entry->file.c_str());
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s ok", entry->file.c_str());
    return TRUE;
  }
  g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", entry->file.c_str());
  if (GList* link = g_list_find(conf->contours, entry)) {
    // A failed start-up entry leaves the list entirely: no empty link stays behind.
    InfoCntrsDel(link);
    conf->contours = g_list_delete_link(conf->contours, link);
  } else {
    CntrsDel(entry->cntrs);
    entry->cntrs = nullptr;
  }
  AppStatus("Input data error");
  return FALSE;
}

}  // namespace

gboolean CntrsLoad(CntrsFile* entry) {
  if (!entry || !Conf_get) return FALSE;
  bool fci = false;
  const double lon = ShownLongitude(Conf_get, &fci);
  return Load(entry, lon, fci);
}

void CntrsFollow(double sub_lon, bool fci) {
  Conf* conf = Conf_get;
  if (!conf) return;
  // Load may take a failed entry out of the list: the next link is taken first.
  for (GList* l = conf->contours; l;) {
    GList* next = l->next;
    auto* entry = static_cast<CntrsFile*>(l->data);
    if (entry && entry->cntrs && (entry->cntrs->sub_lon != sub_lon || entry->cntrs->fci != fci))
      Load(entry, sub_lon, fci);
    l = next;
  }
}

void CntrsStartup() {
  Conf* conf = Conf_get;
  if (!conf || !conf->key_file) return;
  GKeyFile* kf = conf->key_file.get();
  for (int n = 0; n < STARTUP_MAX; n++) {
    gchar* raw = g_key_file_get_string(kf, CONF_GROUP_STARTUP, ConfNumberedKey("contour-file", n).c_str(), nullptr);
    if (!raw) continue;
    GStr value(g_strchomp(raw));
    if (!g_utf8_validate(value.get(), -1, nullptr) || !*value) continue;
    auto entry = std::make_unique<CntrsFile>();
    entry->file = value.get();
    if (!g_file_test(ShpPath(entry->file).c_str(), G_FILE_TEST_IS_REGULAR)) continue;
    gchar** attrs = g_key_file_get_string_list(kf, CONF_GROUP_STARTUP, ConfNumberedKey("cntrs-file-attr", n).c_str(),
                                               nullptr, nullptr);
    ApplyAttrs(entry.get(), attrs);
    g_strfreev(attrs);
    CntrsFile* e = entry.release();  // the list owns it from here
    conf->contours = g_list_append(conf->contours, e);
    CntrsLoad(e);
  }
}
