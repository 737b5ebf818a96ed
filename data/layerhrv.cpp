// The HRV side of a channel load: the HRV window a view window needs, the lower and upper
// windows of the prologue's planned coverage that place its lines, and the resampling maps.
#include <glib.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>

#include "data/geo.h"
#include "data/layer.h"
#include "data/layerframe.h"
#include "data/prologue.h"
#include "data/supl.h"
#include "data/suplremap.h"
#include "data/supltsan.h"
#include "data/xrit.h"

namespace {

// Output pixel i of the HRV grid samples window column (i - HRV_PHASE) / 3: with phase 1 the
// centre pixel of each 3 x 3 block is the window pixel's centre, as in the bicubic enlargement
// of the other channels, so HRV and IR overlay.
constexpr int HRV_PHASE = 1;
// Map position of output pixels that do not project: far enough outside the crop that the
// bilinear lookup sees only the fill value 0.
constexpr float OFF_EARTH = -16.0f;

// A lower window that lies below the upper one on the grid (an absent or garbled one is
// skipped: its lines then hold no data).
bool LowerUsable(const std::array<int32_t, 8>& c) {
  return c[0] >= 1 && c[0] <= c[1] && c[1] < c[4] && c[2] >= 1 && c[2] <= c[3] &&
         c[3] <= HRV_GRID_SIZE;
}

}  // namespace

// Fixed-point maps from each output pixel of the HRV grid to the crop, by both projection
// directions, in separable form. The frame is that of the upper window: HRV column ch lies at
// frame column 5567 - (ch - east) (east: the 1-based upper east column; a lower-window line is
// shifted onto it), HRV line lh at row 11136 - lh.
void LayerHrvMapsMake(const int32_t window[4], int32_t east, const int32_t crop[4], LayerHrvMaps* maps) {
  const int rows = 3 * window[3], cols = 3 * window[2];
  const int sx = crop[0], sy = crop[1];
  cv::Mat map1(rows, cols, CV_16SC2), map2(rows, cols, CV_16UC1);
  const double c0 = 3712.0 - window[0], l0 = 3712.0 - window[1];
  SuplParallelFor(cv::Range(0, rows), [&](const cv::Range& range) {
    cv::Mat mx(1, cols, CV_32FC1), my(1, cols, CV_32FC1);
    for (int j = range.start; j < range.end; j++) {
      float* px = mx.ptr<float>();
      float* py = my.ptr<float>();
      const double l = l0 - (j - HRV_PHASE) / 3.0;
      for (int i = 0; i < cols; i++) {
        const double c = c0 - (i - HRV_PHASE) / 3.0;
        double lat, lon, ch, lh;
        if (GeoPixelToLatLon(c, l, &lat, &lon) == 0 &&
            GeoLatLonToPixel(lat, lon, &ch, &lh, 1) == 0) {
          px[i] = float(5567.0 - (sx + ch - east));
          py[i] = float((11136.0 - lh) - sy);
        } else {
          px[i] = py[i] = OFF_EARTH;
        }
      }
      cv::Mat m1 = map1.row(j), m2 = map2.row(j);
      cv::convertMaps(mx, my, m1, m2, CV_16SC2);
    }
  });
  maps->sep = SuplSepFromMaps(map1, map2, cv::Size(crop[2], crop[3]));
}

std::array<int32_t, 4> LayerHrvWindow(const int32_t window[4]) {
  const int32_t x = window[0], y = window[1], w = window[2], h = window[3];
  double min_c = 11136.0, min_l = 11136.0, max_c = 0.0, max_l = 0.0;
  auto take = [&](double c, double l) {
    double lat, lon, ch, lh;
    if (GeoPixelToLatLon(c, l, &lat, &lon) != 0) return;
    if (GeoLatLonToPixel(lat, lon, &ch, &lh, 1) != 0) return;
    min_c = std::min(min_c, ch);
    max_c = std::max(max_c, ch);
    min_l = std::min(min_l, lh);
    max_l = std::max(max_l, lh);
  };
  // The part of the window on the Earth bounds the projection: on the window's border where
  // that lies on the Earth, else on the limb inside it (a window across the top of the disk has
  // almost no border on the Earth). The disk meets each row and each column of the window in
  // one run, which holds the point nearest the sub-satellite column or line whenever it is not
  // empty: the ends of each run, found by halving, are projected. Every border pixel on the
  // Earth is the end of a run.
  constexpr double CENTRE = 1856.0;  // sub-satellite column and line of the 3712 grid
  auto on = [](double c, double l) {
    double lat, lon;
    return GeoPixelToLatLon(c, l, &lat, &lon) == 0;
  };
  // Steps 0..n of a segment (at(k) its position); mid: the step nearest the centre.
  auto run_ends = [&](int n, int mid, auto at) {
    double c, l;
    at(mid, &c, &l);
    if (!on(c, l)) return;
    int lo = 0, hi = mid;  // first step on the Earth
    while (lo < hi) {
      const int m = (lo + hi) / 2;
      at(m, &c, &l);
      if (on(c, l)) hi = m;
      else lo = m + 1;
    }
    at(lo, &c, &l);
    take(c, l);
    lo = mid, hi = n;  // last step on the Earth
    while (lo < hi) {
      const int m = (lo + hi + 1) / 2;
      at(m, &c, &l);
      if (on(c, l)) lo = m;
      else hi = m - 1;
    }
    at(lo, &c, &l);
    take(c, l);
  };
  const int col_mid = std::clamp(int(std::lround(3712.0 - x - CENTRE)), 0, w);
  const int line_mid = std::clamp(int(std::lround(3712.0 - y - CENTRE)), 0, h);
  for (int k = 0; k <= h; k++)
    run_ends(w, col_mid, [&](int j, double* c, double* l) { *c = 3712.0 - x - j, *l = 3712.0 - y - k; });
  for (int j = 0; j <= w; j++)
    run_ends(h, line_mid, [&](int k, double* c, double* l) { *c = 3712.0 - x - j, *l = 3712.0 - y - k; });
  if (!(min_c < max_c)) max_c = min_c + 1;
  if (!(min_l < max_l)) max_l = min_l + 1;
  return {int32_t(min_c), int32_t(min_l), int32_t(max_c - min_c), int32_t(max_l - min_l)};
}

bool LayerHrvCrop(const char* path, const int32_t window[4], int32_t* east, LayerFrame* frame,
                  LayerHrvMaps* maps, int32_t rect[4], int32_t key[LAYER_HRV_KEY], bool* have_maps) {
  if (*east == 0) *east = HRV_EAST_DEFAULT;
  std::array<int32_t, 8> cov{};
  const bool have_cov = LayerPrologueCoverage(path, &cov);
  if (have_cov) *east = cov[6];
  // The column comes from a file or the settings: outside the HRV grid it would overflow
  // the crop arithmetic below.
  if (*east < 1 || *east > HRV_GRID_SIZE) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s: HRV east column %d outside 1..%d, %d taken", path,
          *east, HRV_GRID_SIZE, HRV_EAST_DEFAULT);
    *east = HRV_EAST_DEFAULT;
  }
  *frame = {HRV_GRID_SIZE, HRV_COLUMNS, HRV_SEGMENT_COUNT, 0, {}};
  int32_t lower_east = 0, lower_north = 0;
  if (have_cov) {
    // Without a prologue every line keeps the upper window's placement, as it always had.
    frame->part[0] = {cov[4], cov[5], 0, std::min(HRV_COLUMNS - 1, cov[7] - cov[6])};
    frame->parts = 1;
    if (LowerUsable(cov)) {
      lower_east = cov[2];
      lower_north = cov[1];
      frame->part[1] = {cov[0], cov[1], cov[2] - *east, std::min(HRV_COLUMNS - 1, cov[3] - cov[2])};
      frame->parts = 2;
    }
  }
  const int32_t k[LAYER_HRV_KEY] = {window[0], window[1], window[2], window[3], *east, lower_east, lower_north, 1};
  std::copy(k, k + LAYER_HRV_KEY, key);
  *have_maps = std::equal(key, key + LAYER_HRV_KEY, maps->key) && maps->sep.rows > 0;
  // The crop follows from the window and the coverage alone, as the maps do: kept with them,
  // it spares the projection of the window's border on every load.
  if (*have_maps) {
    std::copy(maps->crop, maps->crop + 4, rect);
    return true;
  }
  maps->key[LAYER_HRV_KEY - 1] = 0;
  const std::array<int32_t, 4> hw = LayerHrvWindow(window);
  const int hx = hw[0] - LAYER_HRV_MARGIN, hy = hw[1] - LAYER_HRV_MARGIN;
  const int ww = hw[2] + 2 * LAYER_HRV_MARGIN, hh = hw[3] + 2 * LAYER_HRV_MARGIN;
  // HRV columns hx .. hx + ww and lines hy .. hy + hh of the north-up frame.
  rect[0] = 5567 - (hx + ww - *east);
  rect[1] = HRV_GRID_SIZE - hy - hh;
  rect[2] = ww + 1;
  rect[3] = hh + 1;
  // The frame columns that hold data on the crop's lines: those of the windows it meets.
  int left = 0, right = HRV_COLUMNS;
  if (frame->parts > 0) {
    left = INT_MAX, right = INT_MIN;
    for (int i = 0; i < frame->parts; i++) {
      const LayerFramePart& p = frame->part[size_t(i)];
      if (p.north < hy || p.south > hy + hh) continue;
      left = std::min(left, HRV_COLUMNS - 1 - p.last - p.shift);
      right = std::max(right, HRV_COLUMNS - p.shift);
    }
  }
  if (left > right || !LayerClampRect(rect, frame->rows, left, right)) {
    g_log(nullptr, G_LOG_LEVEL_WARNING,
          "%s: view window %d,%d %dx%d lies outside the HRV windows (upper east column %d)", path,
          window[0], window[1], window[2], window[3], *east);
    return false;
  }
  return true;
}
