#include "data/fci_view.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "data/atmrad_rows.h"

namespace {

// MSG's 3 km grid (pixel centres on whole columns, the sub-satellite point at the centre of
// pixel 1856 from the west) and FCI's 2 km grid (the sub-satellite point on the edge between
// pixels 2783 and 2784 from 0) sampled at their own angles: 2 km pixels per 3 km pixel.
constexpr double MSG_STEP = 65536.0 / 781648333.0;
constexpr double PER_MSG = MSG_STEP / FCI_STEP_2KM;

// 2 km grid edge coordinate of an MSG edge coordinate, kept on the grid.
double Edge(double e) { return std::clamp(FCI_GRID_2KM / 2.0 + (e - 1856.5) * PER_MSG, 0.0, double(FCI_GRID_2KM)); }

}  // namespace

void FciWindowOfRect(const int32_t rect[4], int32_t window[4]) {
  // The smallest window of whole 2 km pixels that holds the rectangle.
  for (int k = 0; k < 2; k++) {
    const double a = Edge(rect[k]), b = Edge(double(rect[k]) + std::max(rect[k + 2], 0));
    window[k] = int32_t(std::floor(a));
    window[k + 2] = int32_t(std::ceil(b)) - window[k];
  }
}

void FciDisplayToGrid(const int32_t window[4], double u, double v, double* column, double* row) {
  // Display pixel u covers 1 km column 2 x + u (0-based), whose centre is column 2 x + u + 1.
  *column = 2.0 * window[0] + u + 0.5;
  *row = FCI_GRID_1KM - (2.0 * window[1] + v) + 0.5;
}

void FciGridToDisplay(const int32_t window[4], double column, double row, double* u, double* v) {
  *u = column - 0.5 - 2.0 * window[0];
  *v = FCI_GRID_1KM + 0.5 - row - 2.0 * window[1];
}

int FciForSeviri(int id) {
  // vis_06 vis_08 nir_16 ir_38 wv_63 wv_73 ir_87 ir_97 ir_105 ir_123 ir_133, HRV vis_06
  static constexpr int MAP[13] = {-1, 2, 3, 6, 8, 9, 10, 11, 12, 13, 14, 15, 2};
  return id >= 1 && id <= 12 ? MAP[id] : -1;
}

cv::Mat FciValuesAt(const cv::Mat& values, cv::Size size) {
  if (values.type() != CV_32FC1) return {};
  if (values.size() == size) return values;
  // A 2 km channel: pixel centres at half-pixel offsets of the 1 km grid, as a bilinear resize places them.
  cv::Mat out;
  cv::resize(values, out, size, 0, 0, cv::INTER_LINEAR);
  return out;
}

namespace {


// One colour: value = a - b (b may be empty), stretched into channel k of out.
void Colour(const cv::Mat& a, const cv::Mat& b, const double* p, int k, cv::Mat& out) {
  double t0 = p[0], t1 = p[1];
  const bool inverted = t0 > t1;
  if (inverted) std::swap(t0, t1);
  cv::Mat v = b.empty() ? a : cv::Mat(a - b);
  float mn = std::numeric_limits<float>::infinity(), mx = -mn;
  if (t1 >= 1000)
    for (int y = 0; y < v.rows; y++) {
      float lo, hi;
      AtmradValueRange(v.ptr<float>(y), v.cols, &lo, &hi);
      if (lo <= hi) mn = std::min(mn, lo), mx = std::max(mx, hi);
    }
  if (mn > mx) mn = mx = 0;
  const AtmradStretch s = AtmradMakeStretch(t0, t1, p[2], inverted, mn, mx);
  std::vector<uint8_t> row(size_t(v.cols));
  for (int y = 0; y < v.rows; y++) {
    AtmradStretchRow(v.ptr<float>(y), v.cols, s, row.data());
    uint8_t* d = out.ptr<uint8_t>(y) + k;
    for (int x = 0; x < v.cols; x++) d[3 * x] = row[size_t(x)];
  }
}

}  // namespace

cv::Mat FciComposite(const cv::Mat values[FCI_CHANNEL_COUNT], const double params[9], const int32_t channels[6],
                     cv::Size size) {
  try {
    cv::Mat out(size, CV_8UC3, cv::Scalar::all(0));
    for (int k = 0; k < 3; k++) {
      const int a = FciForSeviri(channels[2 * k]), b = channels[2 * k + 1] ? FciForSeviri(channels[2 * k + 1]) : -2;
      if (a < 0 || b == -1) return {};
      const cv::Mat va = FciValuesAt(values[a], size);
      const cv::Mat vb = b >= 0 ? FciValuesAt(values[b], size) : cv::Mat();
      if (va.empty() || (b >= 0 && vb.empty())) return {};
      Colour(va, vb, params + 3 * k, k, out);
    }
    return out;
  } catch (const cv::Exception&) {
  } catch (const std::bad_alloc&) {
  }
  return {};
}

cv::Mat FciTrueColour(const cv::Mat values[FCI_CHANNEL_COUNT], cv::Size size) {
  try {
    const cv::Mat blue = FciValuesAt(values[0], size), green = FciValuesAt(values[1], size);
    const cv::Mat red = FciValuesAt(values[2], size), nir = FciValuesAt(values[3], size);
    if (blue.empty() || green.empty() || red.empty() || nir.empty()) return {};
    cv::Mat hybrid = green * (1.0 - FCI_GREEN_NIR_SHARE) + nir * FCI_GREEN_NIR_SHARE;
    cv::Mat out(size, CV_8UC3, cv::Scalar::all(0));
    const double p[3] = {0, FCI_TRUE_COLOUR_TOP, FCI_TRUE_COLOUR_GAMMA};
    Colour(red, {}, p, 0, out);
    Colour(hybrid, {}, p, 1, out);
    Colour(blue, {}, p, 2, out);
    return out;
  } catch (const cv::Exception&) {
  } catch (const std::bad_alloc&) {
  }
  return {};
}
