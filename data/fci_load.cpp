// One FCI channel for a view window: which chunks of a cycle hold the window's rows, reading
// only those, and the counts turned into values.
#include <glib.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "data/fci.h"

namespace {

void Warn(const std::string& what, const std::string& why) {
  g_log(nullptr, G_LOG_LEVEL_WARNING, "%s(%s)", what.c_str(), why.c_str());
}

// Slot text YYYYMMDDhhmm on the 10-minute step to UTC seconds.
bool ParseSlot(const std::string& slot, int64_t* out) {
  if (slot.size() != 12) return false;
  for (char c : slot)
    if (!g_ascii_isdigit(c)) return false;
  const int y = std::stoi(slot.substr(0, 4)), mo = std::stoi(slot.substr(4, 2)), d = std::stoi(slot.substr(6, 2)),
            h = std::stoi(slot.substr(8, 2)), mi = std::stoi(slot.substr(10, 2));
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || mi % FCI_SLOT_MINUTES) return false;
  GDateTime* t = g_date_time_new_utc(y, mo, d, h, mi, 0);
  if (!t) return false;
  const bool same_day = g_date_time_get_day_of_month(t) == d;
  *out = g_date_time_to_unix(t);
  g_date_time_unref(t);
  return same_day;
}

}  // namespace

FciCycle FciFindCycle(const char* dir, const std::string& slot) {
  FciCycle c;
  c.body.resize(FCI_CHUNKS);
  int64_t t0;
  if (!dir || !ParseSlot(slot, &t0)) return c;
  GDir* d = g_dir_open(dir, 0, nullptr);
  if (!d) return c;
  std::vector<int64_t> made(FCI_CHUNKS, -1);
  int64_t trail_made = -1;
  while (const char* name = g_dir_read_name(d)) {
    FciName n;
    if (!FciParseName(name, &n) || FciSlotOf(n.start) != t0) continue;
    gchar* p = g_build_filename(dir, name, nullptr);
    // Of several files for one chunk (a re-dissemination), the latest made wins.
    if (n.body && n.created > made[n.chunk - 1]) {
      made[n.chunk - 1] = n.created;
      c.body[n.chunk - 1] = p;
    } else if (!n.body && n.created > trail_made) {
      trail_made = n.created;
      c.trail = p;
    }
    g_free(p);
  }
  g_dir_close(d);
  return c;
}

std::vector<int> FciChunksForWindow(const int32_t window[4]) {
  std::vector<int> out;
  const bool all = window[2] <= 0 || window[3] <= 0;
  for (int k = 1; k <= FCI_CHUNKS; k++) {
    bool need = all;
    for (int f = 1; f <= 2 && !need; f++) {
      const int64_t grid = int64_t(FCI_GRID_2KM) * f;
      const int64_t top = grid - int64_t(window[1]) * f, bottom = grid - (int64_t(window[1]) + window[3]) * f + 1;
      int first, last;
      FciChunkRows(int(grid), k, &first, &last);
      need = first <= top && last >= bottom;
    }
    if (need) out.push_back(k);
  }
  return out;
}

bool FciCycleComplete(const FciCycle& cycle, const int32_t window[4]) {
  if (cycle.trail.empty() || cycle.body.size() != size_t(FCI_CHUNKS)) return false;
  for (int k : FciChunksForWindow(window))
    if (cycle.body[k - 1].empty()) return false;
  return true;
}

std::optional<FciImage> FciLoadWindow(const char* dir, const std::string& slot, int channel,
                                      int32_t window[4]) {
  if (channel < 0 || channel >= FCI_CHANNEL_COUNT) {
    Warn(dir ? dir : "(null)", "no such FCI channel");
    return std::nullopt;
  }
  int64_t t0;
  if (!dir || !ParseSlot(slot, &t0)) {
    Warn(dir ? dir : "(null)", "slot " + slot);
    return std::nullopt;
  }
  // Clip the window to the 2 km grid.
  const int64_t x0 = std::max<int64_t>(window[0], 0), y0 = std::max<int64_t>(window[1], 0);
  const int64_t x1 = std::min<int64_t>(int64_t(window[0]) + window[2], FCI_GRID_2KM);
  const int64_t y1 = std::min<int64_t>(int64_t(window[1]) + window[3], FCI_GRID_2KM);
  if (window[2] <= 0 || window[3] <= 0 || x1 <= x0 || y1 <= y0) {
    Warn(dir, "window off the grid");
    return std::nullopt;
  }
  const FciChannel& ch = FciChannels[channel];
  const int f = ch.grid / FCI_GRID_2KM;
  const int cols = int(x1 - x0) * f, rows = int(y1 - y0) * f;
  const int col0 = int(x0) * f;
  // Grid rows (from the south) of the window's top and bottom lines.
  const int top_row = ch.grid - int(y0) * f, bottom_row = top_row - rows + 1;

  FciImage img;
  img.scale = f;
  img.quantity = FciChannelQuantity(channel);
  try {
    img.counts.create(rows, cols, CV_16UC1);
    img.values.create(rows, cols, CV_32FC1);
  } catch (const cv::Exception&) {
    Warn(dir, "out of memory");
    return std::nullopt;
  }
  img.counts.setTo(FCI_NO_COUNT);
  img.values.setTo(std::numeric_limits<float>::quiet_NaN());

  const FciCycle cycle = FciFindCycle(dir, slot);
  std::vector<char> opened(FCI_CHUNKS + 2, 0), good(FCI_CHUNKS + 2, 0), covered(rows, 0);
  // Reads rows lo..hi (grid rows, inside the window) of chunk k into the image; the rows the
  // chunk turns out to hold are marked covered, even where it has no value for them.
  auto read = [&](int k, int lo, int hi) {
    const std::string& path = cycle.body[k - 1];
    opened[k] = 1;
    img.opened.push_back(path);
    FciChunkMeta meta;
    std::string err;
    cv::Mat part(hi - lo + 1, cols, CV_16UC1, cv::Scalar(FCI_NO_COUNT));
    if (!FciReadRows(path.c_str(), channel, lo, hi, col0, cols, &part, &meta, &err)) {
      Warn(path, err);
      return;
    }
    good[k] = 1;
    // A calibration table per chunk: counts are 12 or 13 bits, so looking values up beats
    // computing a logarithm per pixel.
    std::vector<float> lut(8192);
    for (int v = 0; v < 8192; v++) lut[v] = float(FciValue(meta.calib, channel, uint16_t(v)));
    for (int row = std::max(lo, meta.first_row); row <= std::min(hi, meta.last_row); row++) {
      const uint16_t* s = part.ptr<uint16_t>(hi - row);
      const int out = top_row - row;
      covered[out] = 1;
      uint16_t* dc = img.counts.ptr<uint16_t>(out);
      float* dv = img.values.ptr<float>(out);
      for (int c = 0; c < cols; c++) {
        dc[c] = s[c];
        dv[c] = s[c] < 8192 ? lut[s[c]] : float(FciValue(meta.calib, channel, s[c]));
      }
    }
  };
  bool any = false;
  for (int k = 1; k <= FCI_CHUNKS; k++) {
    int first, last;
    FciChunkRows(ch.grid, k, &first, &last);
    first = std::max(first, bottom_row);
    last = std::min(last, top_row);
    if (first > last || cycle.body[k - 1].empty()) continue;  // a chunk not (yet) received
    any = true;
    read(k, first, last);
  }
  // A product whose chunks hold a few rows more or fewer than the nominal fortieth: rows that a
  // chunk read well turned out not to hold come from its unread neighbour, when there is one.
  for (int out = 0; out < rows; out++) {
    if (covered[out]) continue;
    const int row = top_row - out;
    int k = 1;
    for (int first, last; k <= FCI_CHUNKS; k++) {
      FciChunkRows(ch.grid, k, &first, &last);
      if (row <= last) break;
    }
    for (int n : {k - 1, k + 1}) {
      if (covered[out] || n < 1 || n > FCI_CHUNKS || opened[n] || !good[k] || cycle.body[n - 1].empty())
        continue;
      read(n, bottom_row, top_row);
    }
  }
  if (!any) {
    Warn(dir, std::string("no chunk of ") + ch.name + " for slot " + slot);
    return std::nullopt;
  }
  window[0] = int32_t(x0), window[1] = int32_t(y0), window[2] = int32_t(x1 - x0), window[3] = int32_t(y1 - y0);
  return img;
}

cv::Mat FciDisplay(const FciImage& image) {
  cv::Mat grey(image.values.size(), CV_8UC1, cv::Scalar(0));
  const bool refl = image.quantity == FciQuantity::Reflectance;
  for (int r = 0; r < grey.rows; r++) {
    const float* v = image.values.ptr<float>(r);
    uint8_t* g = grey.ptr<uint8_t>(r);
    for (int c = 0; c < grey.cols; c++) {
      if (std::isnan(v[c])) continue;
      // Reflectance through a square root, as the eye sees brightness; temperature inverted.
      const double x = refl ? std::sqrt(std::clamp(double(v[c]), 0.0, 1.0)) : (330.0 - v[c]) / 130.0;
      g[c] = uint8_t(std::lround(255.0 * std::clamp(x, 0.0, 1.0)));
    }
  }
  return grey;
}
