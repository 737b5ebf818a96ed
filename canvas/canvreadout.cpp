// The time label, the window title, the video caption and the readout under the pointer.
#include "canvas/canvreadout.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/app.h"
#include "canvas/canv.h"
#include "canvas/canvexport.h"
#include "canvas/canvfci.h"
#include "contours/cntrsgrid.h"
#include "data/geo.h"
#include "data/gholder.h"
#include "settings/conf.h"

void CanvAppend(char* out, std::size_t size, std::size_t* len, const char* fmt, ...) {
  if (*len + 1 >= size) return;
  va_list ap;
  va_start(ap, fmt);
  const int n = std::vsnprintf(out + *len, size - *len, fmt, ap);
  va_end(ap);
  if (n > 0) *len = std::min(size - 1, *len + std::size_t(n));
}

namespace {

// The pointer's value of a channel: count and, when calibrated, its physical value.
void ChannelValue(const Layer* layer, const CalibSlot* cal, int px, int py, char* out, std::size_t size,
                  std::size_t* len) {
  const cv::Mat& counts = layer->images[0];
  const cv::Mat& shown = layer->images[1];
  if (counts.empty() || counts.type() != CV_16UC1) return;
  // The display image is three times the counts (HRV: the same size): scale by the ratio.
  const int cx = int(std::int64_t(px) * counts.cols / shown.cols);
  const int cy = int(std::int64_t(py) * counts.rows / shown.rows);
  if (cx < 0 || cy < 0 || cx >= counts.cols || cy >= counts.rows) return;
  const int count = counts.at<uint16_t>(cy, cx);
  CanvAppend(out, size, len, "  %s count %d", InfoChannelLabel[layer->id], count);
  if (!cal) return;
  const CalibValue v = CalibPhysical(*cal, layer->id, count);
  if (v.kind == CALIB_BT)
    CanvAppend(out, size, len, "  %.1f K", v.value);
  else if (v.kind == CALIB_REFLECTANCE)
    CanvAppend(out, size, len, "  %.1f %%", v.value);
}

}  // namespace

std::string CanvTimeText(const char* slot) {
  if (!slot || std::strlen(slot) != 12) return {};
  for (int i = 0; i < 12; i++)
    if (!g_ascii_isdigit(slot[i])) return {};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4s-%.2s-%.2s %.2s:%.2s UTC", slot, slot + 4, slot + 6, slot + 8, slot + 10);
  return buf;
}

std::string CanvLayerName(int id) {
  if (InfoIsChannel(id)) return InfoLayerLabel(id);
  if (id == FCI_TRUE_COLOUR_ID) return "True colour";
  if (Conf_get && id >= RECIPE_FIRST_ID && std::size_t(id - RECIPE_FIRST_ID) < Conf_get->recipes.size())
    return Conf_get->recipes[std::size_t(id - RECIPE_FIRST_ID)].name;
  return {};
}

std::string CanvCaption(int id, const char* slot) {
  std::string name = CanvLayerName(id);
  const std::string time = CanvTimeText(slot);
  if (!name.empty() && !time.empty()) name += ' ';
  return name + time;
}

void CanvShownChanged(const Layer* layer) {
  Canv* c = Canv_get;
  if (!c) return;
  GtkWidget* window = App_get ? App_get->window : nullptr;
  if (c->readout) gtk_label_set_text(GTK_LABEL(c->readout), "");
  if (!layer) {
    if (c->label) gtk_label_set_text(GTK_LABEL(c->label), "");
    if (window) gtk_window_set_title(GTK_WINDOW(window), "Nubicorn");
    return;
  }
  const std::string time = CanvTimeText(layer->slot.c_str());
  GStr markup(g_markup_printf_escaped("<span weight=\"heavy\">%s</span>", time.c_str()));
  if (c->label) gtk_label_set_markup(GTK_LABEL(c->label), markup.get());
  if (window) {
    const std::string caption = CanvCaption(layer->id, layer->slot.c_str());
    const std::string title = caption.empty() ? std::string("Nubicorn") : caption + " \u2014 Nubicorn";
    gtk_window_set_title(GTK_WINDOW(window), title.c_str());
  }
  // The readout's physical values come from the calibration of the slot the channel is from.
  if (layer->id >= 1 && layer->id <= CHANNEL_COUNT && layer->name != c->calib_name && App_get) {
    GStr path(
        g_build_filename(App_get->home.c_str(), "import", "SEVIRI_data", layer->name.c_str(), nullptr));
    c->calib = CalibRead(path.get());
    c->calib_name = layer->name;
  }
  // Contours and their labels stay on the image, whose size may be less than the view window.
  const cv::Mat& m = layer->images[1];
  if (c->group && !m.empty()) {
    char clip[96];
    std::snprintf(clip, sizeof clip, "M 0 0 H %d V %d H 0 Z", m.cols, m.rows);
    g_object_set(c->group, "clip-path", clip, nullptr);
  }
  CntrsGridShow(layer->sub_lon, layer->fci);
}

std::size_t CanvReadoutText(const Layer* layer, const CalibSlot* cal, int rect_x, int rect_y, double cx, double cy,
                            char* out, std::size_t size) {
  if (!out || size == 0) return 0;
  out[0] = '\0';
  if (!layer || layer->id <= 0) return 0;
  if (layer->fci) return CanvFciReadoutText(layer, rect_x, rect_y, cx, cy, out, size);
  const cv::Mat& shown = layer->images[1];
  if (shown.empty() || !(cx >= 0) || !(cy >= 0) || cx >= shown.cols || cy >= shown.rows) return 0;
  const int px = int(cx), py = int(cy);
  double column = 0, line = 0, lat = 0, lon = 0;
  CanvExportGrid(px, py, rect_x, rect_y, &column, &line);
  std::size_t len = 0;
  if (GeoPixelToLatLon(column, line, &lat, &lon, layer->sub_lon) == 0)
    CanvAppend(out, size, &len, "%.2f\u00b0%c %.2f\u00b0%c", std::fabs(lat), lat < 0 ? 'S' : 'N', std::fabs(lon),
           lon < 0 ? 'W' : 'E');
  else
    CanvAppend(out, size, &len, "space");
  CanvAppend(out, size, &len, "  col %ld line %ld", std::lround(column), std::lround(line));
  if (layer->id <= CHANNEL_COUNT) {
    ChannelValue(layer, cal, px, py, out, size, &len);
  } else if (shown.type() == CV_8UC3) {
    const cv::Vec3b& p = shown.at<cv::Vec3b>(py, px);
    CanvAppend(out, size, &len, "  %s R %d G %d B %d", layer->name.c_str(), p[0], p[1], p[2]);
  }
  return len;
}

void CanvReadoutAt(double cx, double cy) {
  Canv* c = Canv_get;
  Conf* conf = Conf_get;
  if (!c || !c->readout) return;
  char text[200];
  text[0] = '\0';
  if (c->image && conf) {
    // The start-up loader fills the slot list under the mutex; a busy moment skips one update.
    const bool lock = conf->loader && !c->mutex_held;
    if (lock && !g_mutex_trylock(&conf->mutex)) return;
    const Slot* slot = CanvCurrentSlot();
    const int id = CanvTreeGetId();
    const Layer* layer = slot && id > 0 && id < SLOT_SIZE ? slot[id] : nullptr;
    // Calibration of another slot (not yet read for this one) is not shown as this one's.
    const CalibSlot* cal = layer && layer->name == c->calib_name ? &c->calib : nullptr;
    CanvReadoutText(layer, cal, conf->rect_x, conf->rect_y, cx, cy, text, sizeof text);
    if (lock) g_mutex_unlock(&conf->mutex);
  }
  // Setting the same text again would still relayout the status row.
  if (std::strcmp(gtk_label_get_text(GTK_LABEL(c->readout)), text) != 0) gtk_label_set_text(GTK_LABEL(c->readout), text);
}

gboolean CanvReadoutMotion(GtkWidget* canvas, GdkEventMotion* event, gpointer) {
  if (!event || !GOO_IS_CANVAS(canvas)) return FALSE;
  GooCanvas* goo = GOO_CANVAS(canvas);
  double x = event->x, y = event->y;
  // Events of the scrolled drawing window are in its pixels; others in the widget's, which the
  // scroll offset turns into the same.
  if (event->window != goo->canvas_window) {
    x += gtk_adjustment_get_value(goo->hadjustment);
    y += gtk_adjustment_get_value(goo->vadjustment);
  }
  goo_canvas_convert_from_pixels(goo, &x, &y);
  CanvReadoutAt(x, y);
  return FALSE;
}

gboolean CanvReadoutLeave(GtkWidget*, GdkEventCrossing*, gpointer) {
  if (Canv_get && Canv_get->readout) gtk_label_set_text(GTK_LABEL(Canv_get->readout), "");
  return FALSE;
}
