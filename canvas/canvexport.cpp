// "Save selected": the mask with longitude and latitude per pixel, written completely or not at all,
// never over an earlier export.
#include "canvas/canvexport.h"

#include <glib.h>

#include <cstdio>
#include <memory>

#include "app/app.h"
#include "canvas/canv.h"
#include "canvas/canvfci.h"
#include "canvas/canvselect.h"
#include "data/fileinfo.h"
#include "data/geo.h"
#include "data/gholder.h"
#include "data/suplsave.h"
#include "settings/conf.h"

namespace {

constexpr const char* EXPORT_DIR = "export/Selected";
constexpr size_t FLUSH_AT = 1 << 18;  // bytes gathered before one write

void ShowResult(bool ok, const std::string& detail) {
  GtkWindow* parent = App_get && App_get->window ? GTK_WINDOW(App_get->window) : nullptr;
  GtkWidget* d = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, ok ? GTK_MESSAGE_INFO : GTK_MESSAGE_ERROR,
                                        GTK_BUTTONS_OK, "%s", ok ? "Save selected OK." : "Save selected Error!");
  if (!detail.empty()) gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(d), "%s", detail.c_str());
  gtk_window_set_title(GTK_WINDOW(d), "Nubicorn");
  gtk_dialog_run(GTK_DIALOG(d));
  gtk_widget_destroy(d);
}

// "<file> in <folder>".
std::string FileInFolder(const std::string& path) {
  GStr base(g_path_get_basename(path.c_str())), dir(g_path_get_dirname(path.c_str()));
  return std::string(base.get()) + " in " + dir.get();
}

}  // namespace

void CanvExportGrid(int x, int y, int rect_x, int rect_y, double* column, double* line) {
  // Grid pixel centres sit on whole numbers; display pixel x covers [x/3, (x + 1)/3) of one.
  const double gx = (x + 0.5) / 3.0 - 0.5, gy = (y + 0.5) / 3.0 - 0.5;
  *column = CONF_GRID - rect_x - gx;
  *line = CONF_GRID - rect_y - gy;
}

bool CanvExportWrite(const std::string& path, const cv::Mat& mask, int rect_x, int rect_y, std::string* err,
                     double sub_lon, std::string* written, bool fci) {
  if (mask.empty() || mask.type() != CV_8UC1) {
    *err = "no selection mask";
    return false;
  }
  SuplSave out(path, SuplPublish::Numbered);
  std::string buf;
  buf.reserve(FLUSH_AT + 64);
  buf += "# Lon,Lat,Mask\n";
  char line[64];
  for (int y = 0; y < mask.rows && out.ok(); y++) {
    const uint8_t* m = mask.ptr<uint8_t>(y);
    for (int x = 0; x < mask.cols; x++) {
      double column = 0, row = 0, lat = 9999.0, lon = 9999.0;
      if (fci) {
        if (!CanvFciLatLon(rect_x, rect_y, x, y, sub_lon, &lat, &lon)) lat = lon = 9999.0;
      } else {
        CanvExportGrid(x, y, rect_x, rect_y, &column, &row);
        GeoPixelToLatLon(column, row, &lat, &lon, sub_lon);
      }
      const int n = std::snprintf(line, sizeof line, "%7.3f,%6.3f,%d\n", lon, lat, m[x] ? 1 : 0);
      buf.append(line, size_t(n));
    }
    if (buf.size() >= FLUSH_AT) {
      out.Write(buf);
      buf.clear();
    }
  }
  if (!out.Write(buf) || !out.Publish()) {
    *err = out.error();
    return false;
  }
  if (written) *written = out.path();
  return true;
}

void CanvSaveSelected(GtkWidget*, gpointer) {
  Canv* c = Canv_get;
  Conf* conf = Conf_get;
  bool ok = false;
  std::string detail;
  {
    CanvGuard guard;
    if (!guard.ok()) return;
    Slot* slot = CanvCurrentSlot();
    const int id = CanvTreeGetId();
    Layer* layer = c && conf && App_get && slot && id > 0 && id < SLOT_SIZE && slot[id] && slot[id]->id > 0
                       ? slot[id] : nullptr;
    cv::Mat mask;
    if (!layer) {
      detail = "No loaded layer is shown.";
    } else if (!LayerSelectedMask(layer, &mask)) {
      // Nothing outlined yet: select with the controls, and show what is exported.
      const double hue = gtk_spin_button_get_value(GTK_SPIN_BUTTON(c->sel_hue));
      const bool grey = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c->btn_gray));
      const SelectResult r = LayerSelect(layer, hue, conf->selected_range, grey, &mask);
      if (r == SelectResult::Done)
        CanvTreeSelect(nullptr, nullptr, nullptr, FALSE, nullptr);
      else
        detail = LayerSelectMessage(layer, r) + ".";
    }
    if (!mask.empty()) {
      GStr path(
          g_strdup_printf("%s/%s/%s.txt", App_get->home.c_str(), EXPORT_DIR, layer->slot.c_str()));
      std::string err, written;
      ok = CanvExportWrite(path.get(), mask, conf->rect_x, conf->rect_y, &err, layer->sub_lon, &written, layer->fci);
      if (ok) {
        detail = FileInFolder(written) + ": " + std::to_string(cv::countNonZero(mask)) + " of " +
                 std::to_string(mask.total()) + " pixels marked.";
      } else {
        g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", err.c_str());
        detail = err;
      }
    }
  }
  ShowResult(ok, detail);
}
