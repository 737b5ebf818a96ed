#include "canvas/canvfci.h"

#include <glib.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <optional>

#include "app/app.h"
#include "canvas/canv.h"
#include "canvas/canvreadout.h"
#include "data/fci.h"
#include "data/fci_view.h"
#include "data/gholder.h"
#include "settings/conf.h"

namespace {

constexpr const char* INPUT_DIR = "import/SEVIRI_data";

bool OneKm(int channel) { return FciChannels[channel].grid == FCI_GRID_1KM; }

// The display size of a channel's values: 2 km values are shown twice as large.
cv::Size DisplaySize(int channel, const cv::Mat& values) {
  const int f = OneKm(channel) ? 1 : 2;
  return {values.cols * f, values.rows * f};
}

}  // namespace

void CanvFciWindow(int32_t window[4]) {
  const Conf* conf = Conf_get;
  const int32_t rect[4] = {conf ? conf->rect_x : 0, conf ? conf->rect_y : 0, conf ? conf->rect_width : 0,
                           conf ? conf->rect_height : 0};
  FciWindowOfRect(rect, window);
}

bool CanvFciOpen(Layer* layer) {
  GStr dir(g_build_filename(App_get ? App_get->home.c_str() : "", INPUT_DIR, nullptr));
  int32_t window[4];
  CanvFciWindow(window);
  return CanvFciLoad(layer, dir.get(), window);
}

bool CanvFciLoad(Layer* layer, const char* dir, const int32_t window_in[4]) {
  if (!layer || !InfoIsFci(layer->id)) return false;
  const int channel = layer->id - FCI_LAYER_FIRST;
  int32_t window[4] = {window_in[0], window_in[1], window_in[2], window_in[3]};
  std::optional<FciImage> image = FciLoadWindow(dir, layer->slot, channel, window);
  if (!image) return false;
  try {
    cv::Mat values = image->values;
    if (image->quantity == FciQuantity::Reflectance) values = values * 100.0;  // percent, as MSG's readout
    Layer loaded;
    loaded.values = values;
    loaded.id = layer->id;
    cv::Mat display = CanvFciDisplay(loaded);
    if (display.empty()) return false;
    layer->images = {image->counts, display, cv::Mat()};
    layer->values = values;
  } catch (const cv::Exception&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  layer->fci = true;
  layer->sub_lon = 0.0;  // the FCI grid's navigation is that of the nominal 0° position
  return true;
}

cv::Mat CanvFciDisplay(const Layer& layer) {
  if (!InfoIsFci(layer.id) || layer.values.type() != CV_32FC1) return {};
  const int channel = layer.id - FCI_LAYER_FIRST;
  const bool refl = FciChannels[channel].solar;
  cv::Mat grey(layer.values.size(), CV_8UC1, cv::Scalar(0));
  for (int r = 0; r < grey.rows; r++) {
    const float* v = layer.values.ptr<float>(r);
    uint8_t* g = grey.ptr<uint8_t>(r);
    for (int c = 0; c < grey.cols; c++) {
      if (std::isnan(v[c])) continue;
      const double x = refl ? std::sqrt(std::clamp(v[c] / 100.0, 0.0, 1.0)) : (330.0 - v[c]) / 130.0;
      g[c] = uint8_t(std::lround(255.0 * std::clamp(x, 0.0, 1.0)));
    }
  }
  const cv::Size size = DisplaySize(channel, layer.values);
  if (size != grey.size()) cv::resize(grey, grey, size, 0, 0, cv::INTER_LINEAR);
  cv::Mat rgb;
  cv::cvtColor(grey, rgb, cv::COLOR_GRAY2RGB);
  return rgb;
}

bool CanvFciBuildRgb(Layer* layer, Slot* slot) {
  const Conf* conf = Conf_get;
  if (!layer || !slot || !conf) return false;
  const RgbRecipe* recipe = nullptr;
  int need[6], n = 0;
  if (layer->id == FCI_TRUE_COLOUR_ID) {
    for (int c : FCI_TRUE_COLOUR_CHANNELS) need[n++] = c;
  } else {
    const size_t index = size_t(layer->id - RECIPE_FIRST_ID);
    if (layer->id < RECIPE_FIRST_ID || index >= conf->recipes.size()) return false;
    recipe = &conf->recipes[index];
    for (int c : recipe->channels) {
      if (c == 0) continue;
      const int f = FciForSeviri(c);
      if (f < 0) return false;
      need[n++] = f;
    }
  }
  Sat sat{1, SatService::Fci};
  InfoSlotSat(slot, &sat);
  cv::Mat values[FCI_CHANNEL_COUNT];
  cv::Size size;
  for (int i = 0; i < n; i++) {
    const int f = need[i], id = FCI_LAYER_FIRST + f;
    if (!slot[id] || slot[id]->values.empty()) {
      Layer* channel = InfoNew(id, layer->slot.c_str(), nullptr, &sat);
      if (!CanvFciOpen(channel)) {
        g_log(nullptr, G_LOG_LEVEL_WARNING, "%s Error!", channel->name.c_str());
        InfoDel(&channel);
        return false;
      }
      InfoDel(&slot[id]);
      slot[id] = channel;
    }
    values[f] = slot[id]->values;
    size = DisplaySize(f, values[f]);
  }
  cv::Mat rgb = recipe ? FciComposite(values, recipe->params, recipe->channels, size) : FciTrueColour(values, size);
  if (rgb.empty()) return false;
  layer->images = {cv::Mat(), rgb, cv::Mat()};
  layer->fci = true;
  layer->sub_lon = 0.0;
  return true;
}

bool CanvFciLatLon(int rect_x, int rect_y, int x, int y, double sub_lon, double* lat, double* lon) {
  const int32_t rect[4] = {rect_x, rect_y, 0, 0};
  int32_t window[4];
  FciWindowOfRect(rect, window);
  double column = 0, row = 0;
  FciDisplayToGrid(window, x + 0.5, y + 0.5, &column, &row);
  return FciGridToLatLon(FCI_GRID_1KM, column, row, lat, lon, sub_lon);
}

std::size_t CanvFciReadoutText(const Layer* layer, int rect_x, int rect_y, double cx, double cy, char* out,
                               std::size_t size) {
  if (!out || size == 0) return 0;
  out[0] = '\0';
  if (!layer || layer->id <= 0) return 0;
  const cv::Mat& shown = layer->images[1];
  if (shown.empty() || !(cx >= 0) || !(cy >= 0) || cx >= shown.cols || cy >= shown.rows) return 0;
  const int px = int(cx), py = int(cy);
  std::size_t len = 0;
  double lat = 0, lon = 0;
  if (CanvFciLatLon(rect_x, rect_y, px, py, layer->sub_lon, &lat, &lon))
    CanvAppend(out, size, &len, "%.2f\u00b0%c %.2f\u00b0%c", std::fabs(lat), lat < 0 ? 'S' : 'N', std::fabs(lon),
           lon < 0 ? 'W' : 'E');
  else
    CanvAppend(out, size, &len, "space");
  const int32_t rect[4] = {rect_x, rect_y, 0, 0};
  int32_t window[4];
  FciWindowOfRect(rect, window);
  const bool channel = InfoIsFci(layer->id);
  // A 2 km channel's pixel is two display pixels wide.
  const int f = channel && !OneKm(layer->id - FCI_LAYER_FIRST) ? 2 : 1;
  const int grid = f == 2 ? FCI_GRID_2KM : FCI_GRID_1KM;
  const long col = long(window[0]) * (2 / f) + px / f + 1, row = grid - (long(window[1]) * (2 / f) + py / f);
  CanvAppend(out, size, &len, "  col %ld row %ld", col, row);
  if (channel) {
    const cv::Mat& counts = layer->images[0];
    const int x = px / f, y = py / f;
    if (counts.type() != CV_16UC1 || x >= counts.cols || y >= counts.rows) return len;
    const int count = counts.at<uint16_t>(y, x);
    const char* label = InfoFciLabel[layer->id - FCI_LAYER_FIRST];
    if (count == FCI_NO_COUNT) {
      CanvAppend(out, size, &len, "  %s no value", label);
      return len;
    }
    CanvAppend(out, size, &len, "  %s count %d", label, count);
    const float v = layer->values.type() == CV_32FC1 ? layer->values.at<float>(y, x) : NAN;
    if (!std::isnan(v))
      CanvAppend(out, size, &len, FciChannels[layer->id - FCI_LAYER_FIRST].solar ? "  %.1f %%" : "  %.1f K", double(v));
  } else if (shown.type() == CV_8UC3) {
    const cv::Vec3b& p = shown.at<cv::Vec3b>(py, px);
    CanvAppend(out, size, &len, "  %s R %d G %d B %d", layer->name.c_str(), p[0], p[1], p[2]);
  }
  return len;
}

std::vector<int> CanvFciWanted(int id) {
  std::vector<int> ids;
  auto add = [&ids](int channel) {
    if (channel >= 0 && std::find(ids.begin(), ids.end(), FCI_LAYER_FIRST + channel) == ids.end())
      ids.push_back(FCI_LAYER_FIRST + channel);
  };
  const Conf* conf = Conf_get;
  if (InfoIsFci(id)) {
    ids.push_back(id);
  } else if (id == FCI_TRUE_COLOUR_ID) {
    for (int c : FCI_TRUE_COLOUR_CHANNELS) add(c);
  } else if (conf && id >= RECIPE_FIRST_ID && size_t(id - RECIPE_FIRST_ID) < conf->recipes.size()) {
    for (int c : conf->recipes[size_t(id - RECIPE_FIRST_ID)].channels)
      if (c != 0) add(FciForSeviri(c));
  }
  if (ids.empty()) add(FciChannelIndex("ir_105"));
  return ids;
}

std::string CanvFciNewest(const std::string& dir) {
  GDir* d = g_dir_open(dir.c_str(), 0, nullptr);
  if (!d) return {};
  int64_t newest = -1;
  while (const char* name = g_dir_read_name(d)) {
    FciName n;
    if (FciParseName(name, &n) && n.body) newest = std::max(newest, FciSlotOf(n.start));
  }
  g_dir_close(d);
  return newest < 0 ? std::string() : FciSlotText(newest);
}
