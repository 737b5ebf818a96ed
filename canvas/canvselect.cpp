// Selection by colour: hue (or grey) bands, the mask, the red outlines and the commands.
#include "canvas/canvselect.h"

#include <cmath>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "app/app.h"
#include "canvas/canv.h"
#include "data/fileinfo.h"
#include "settings/conf.h"

namespace {

constexpr double HUE_SCALE = 0.7083333333333334;  // 255 / 360

SelectBand Band(double lo, double hi) {
  return {std::max(0, int(std::ceil(lo))), std::min(255, int(std::floor(hi)))};
}

// Adds the pixels of plane whose value lies in band to mask (saturating).
void MarkBand(const cv::Mat& plane, SelectBand band, cv::Mat& mask) {
  if (band.lo_i > band.hi_i) return;
  cv::Mat part;
  cv::inRange(plane, cv::Scalar(band.lo_i), cv::Scalar(band.hi_i), part);
  cv::add(mask, part, mask);
}

GdkRGBA ToRgba(const GdkColor& c) { return {c.red / 65535.0, c.green / 65535.0, c.blue / 65535.0, 1.0}; }

}  // namespace

SelectBands LayerSelectBands(double hue, int range, bool grey) {
  const double h = hue * HUE_SCALE;
  const double lo = std::max(0.0, h - range), hi = std::min(255.0, h + range);
  SelectBands out{{Band(lo, hi), {1, 0}}, 1};
  if (grey) return out;
  // The hue circle closes at 255.
  if (h - range < 0)
    out.band[out.count++] = Band(h - range + 255, 255);
  else if (h + range > 255)
    out.band[out.count++] = Band(0, h + range - 255);
  return out;
}

SelectResult LayerSelectColor(std::array<cv::Mat, 3>& images, double hue, int range, gboolean grey, cv::Mat* out) {
  cv::Mat& src = images[1];
  if (src.empty() || src.type() != CV_8UC3) return SelectResult::NoImage;
  // Every selection starts from the pristine image, so outlines never pile up.
  const bool pristine = !images[2].empty() && images[2].size() == src.size() && images[2].type() == src.type();
  const cv::Mat& from = pristine ? images[2] : src;

  cv::Mat plane, coloured;
  if (grey) {
    cv::cvtColor(from, plane, cv::COLOR_RGB2GRAY);
  } else {
    cv::Mat hsv;
    cv::cvtColor(from, hsv, cv::COLOR_RGB2HSV_FULL);
    cv::extractChannel(hsv, plane, 0);
    cv::extractChannel(hsv, coloured, 1);
    if (cv::countNonZero(coloured) == 0) return SelectResult::NoColour;
  }
  cv::Mat mask = cv::Mat::zeros(src.size(), CV_8UC1);
  const SelectBands bands = LayerSelectBands(hue, range, grey);
  for (int i = 0; i < bands.count; i++) MarkBand(plane, bands.band[i], mask);
  if (!grey) mask.setTo(0, coloured == 0);

  if (pristine)
    images[2].copyTo(src);
  else
    images[2] = src.clone();
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_TC89_KCOS);
  if (!contours.empty())
    cv::drawContours(src, contours, -1, cv::Scalar(255, 0, 0), 1, cv::LINE_8, cv::noArray(), 1);
  if (out) *out = std::move(mask);
  return SelectResult::Done;
}

SelectResult LayerSelect(Layer* layer, double hue, int range, bool grey, cv::Mat* out) {
  const SelectResult r = LayerSelectColor(layer->images, hue, range, grey, out);
  if (r == SelectResult::Done) layer->selection = {true, hue, range, grey};
  return r;
}

bool LayerSelectedMask(Layer* layer, cv::Mat* out) {
  const Layer::Selection& s = layer->selection;
  // Selecting again from the pristine copy redraws the very same outlines.
  return s.made && !layer->images[2].empty() &&
         LayerSelectColor(layer->images, s.hue, s.range, s.grey, out) == SelectResult::Done;
}

std::string LayerSelectMessage(const Layer* layer, SelectResult r) {
  const std::string name = InfoIsChannel(layer->id) ? InfoLayerLabel(layer->id) : layer->name;
  if (r == SelectResult::NoColour)
    return "No colour to select in " + name + ": switch on \"Gray scale threshold\" to select by grey level";
  return name + " is not loaded";
}

void CanvSelectColor(GtkWidget*, gpointer) {
  Canv* c = Canv_get;
  Conf* conf = Conf_get;
  if (!c || !conf || !c->sel_hue || !c->sel_range) return;
  conf->selected_range = int(gtk_spin_button_get_value(GTK_SPIN_BUTTON(c->sel_range)));
  const double hue = gtk_spin_button_get_value(GTK_SPIN_BUTTON(c->sel_hue));

  // The stored colour takes the chosen hue and keeps its saturation and value. A grey (the
  // shipped black) has no hue to show: it becomes the hue's pure colour.
  GdkColor& col = conf->selected_color;
  double h = 0, s = 0, v = 0, r = 0, g = 0, b = 0;
  gtk_rgb_to_hsv(col.red / 65536.0, col.green / 65536.0, col.blue / 65536.0, &h, &s, &v);
  if (s == 0 || v == 0) s = v = 1.0;
  gtk_hsv_to_rgb(hue / 360.0, s, v, &r, &g, &b);
  col.red = guint16(std::min(65535.0, r * 65536));
  col.green = guint16(std::min(65535.0, g * 65536));
  col.blue = guint16(std::min(65535.0, b * 65536));
  if (c->sel_color) {
    const GdkRGBA rgba = ToRgba(col);
    gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(c->sel_color), &rgba);
  }

  CanvGuard guard;
  if (!guard.ok()) return;
  Slot* slot = CanvCurrentSlot();
  const int id = CanvTreeGetId();
  if (slot && id > 0 && id < SLOT_SIZE && slot[id] && slot[id]->id > 0) {
    const bool grey = c->btn_gray && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c->btn_gray));
    const SelectResult r = LayerSelect(slot[id], hue, conf->selected_range, grey, nullptr);
    if (r == SelectResult::Done) {
      CanvTreeSelectId(id);
      CanvTreeSelect(nullptr, nullptr, nullptr, FALSE, nullptr);
      return;
    }
    if (r == SelectResult::NoColour) {
      CanvStatus(LayerSelectMessage(slot[id], r).c_str());
      return;
    }
  }
  g_log(nullptr, G_LOG_LEVEL_WARNING, "Select by color: no loaded layer is shown");
  CanvStatus("Operation failed");
}

void CanvColorSet(GtkWidget* widget, gpointer) {
  Canv* c = Canv_get;
  Conf* conf = Conf_get;
  if (!c || !conf || !c->sel_color) return;
  if (!GTK_IS_COLOR_BUTTON(widget)) {
    // A menu item holds no colour: it opens the button's chooser, whose choice comes back here.
    gtk_button_clicked(GTK_BUTTON(c->sel_color));
    return;
  }
  GdkRGBA rgba;
  gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(widget), &rgba);
  conf->selected_color.red = guint16(std::lround(rgba.red * 65535));
  conf->selected_color.green = guint16(std::lround(rgba.green * 65535));
  conf->selected_color.blue = guint16(std::lround(rgba.blue * 65535));
  double h = 0, s = 0, v = 0;
  gtk_rgb_to_hsv(conf->selected_color.red / 65536.0, conf->selected_color.green / 65536.0,
                 conf->selected_color.blue / 65536.0, &h, &s, &v);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(c->sel_hue), h * 360);
}
