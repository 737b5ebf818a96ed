// The value a channel brings into a composite for each count (kelvin or the count), the value
// images and ranges built from them, and the brightness temperatures.
#include "data/atmrad_values.h"

#include <glib.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

#include "data/atmrad_rows.h"
#include "data/supltsan.h"

const AtmradCoef AtmradCoefs[CHANNEL_COUNT + 1] = {
    {0, 0, 0, 0},
    {0.02295, -1.17046, 0, 0},
    {0.02922, -1.49001, 0, 0},
    {0.02328, -1.18724, 0, 0},
    {0.00366, -0.18659, 2569.09, 3.471},
    {0.0083, -0.42422, 1598.57, 2.219},
    {0.03862, -1.96972, 1362.14, 0.485},
    {0.12674, -6.46392, 1149.08, 0.181},
    {0.10396, -5.30202, 1034.35, 0.06},
    {0.20503, -10.45676, 930.66, 0.627},
    {0.22231, -11.33788, 839.66, 0.397},
    {0.15761, -8.03795, 752.38, 0.576},
    {0, 0, 0, 0},
};

void AtmradWarn(const char* what, int ch) {
  if (ch) g_log(nullptr, G_LOG_LEVEL_WARNING, "atmrad: %s (channel %d)", what, ch);
  else g_log(nullptr, G_LOG_LEVEL_WARNING, "atmrad: %s", what);
}

const AtmradValueTable& AtmradChannelValues(int ch) {
  static const std::array<AtmradValueTable, CHANNEL_COUNT + 1> tables = [] {
    std::array<AtmradValueTable, CHANNEL_COUNT + 1> t{};
    for (int c = 0; c <= CHANNEL_COUNT; c++) {
      const AtmradCoef& k = AtmradCoefs[c];
      t[c][0] = ATMRAD_NO_DATA;
      for (int i = 1; i < ATMRAD_COUNTS; i++) {
        if (!AtmradInfrared(c)) {
          t[c][i] = float(i);
          continue;
        }
        double r = i * k.slope + k.offset;
        t[c][i] = r > 0 ? float(ATMRAD_C2 * k.vc /
                                    std::log(1.0 + ATMRAD_C1 * k.vc * k.vc * k.vc / r) -
                                k.b)
                        : ATMRAD_NO_DATA;
      }
    }
    return t;
  }();
  return tables[ch];
}

cv::Mat AtmradValuesAt(cv::Mat v, cv::Size size) {
  if (v.size() == size) return v;
  cv::Mat valid = v == v;  // 255 where there is a value
  v = v.clone();
  v.setTo(0, ~valid);
  cv::Mat big, big_valid;
  cv::resize(v, big, size, 0, 0, cv::INTER_LINEAR);
  cv::resize(valid, big_valid, size, 0, 0, cv::INTER_LINEAR);
  big.setTo(ATMRAD_NO_DATA, big_valid != 255);
  return big;
}

void AtmradChannelRow(const uint16_t* c, const uint16_t* sub, int n, int ch, int subch, float* d) {
  if (sub) AtmradDiffValuesRow(c, sub, n, AtmradChannelValues(ch).data(), AtmradChannelValues(subch).data(), d);
  else if (!AtmradInfrared(ch)) AtmradCountValuesRow(c, n, d);
  else AtmradValuesRow(c, n, AtmradChannelValues(ch).data(), d);
}

void AtmradApplyValues(const cv::Mat& counts, int ch, cv::Mat& dst, const cv::Mat* sub, int subch) {
  dst.create(counts.size(), CV_32FC1);
  SuplParallelFor(cv::Range(0, counts.rows), [&](const cv::Range& r) {
    for (int y = r.start; y < r.end; y++)
      AtmradChannelRow(counts.ptr<uint16_t>(y), sub ? sub->ptr<uint16_t>(y) : nullptr, counts.cols, ch,
                subch, dst.ptr<float>(y));
  });
}

std::array<bool, ATMRAD_COUNTS> AtmradCountsPresent(const cv::Mat& counts) {
  std::array<bool, ATMRAD_COUNTS> seen{};
  std::mutex m;
  SuplParallelFor(cv::Range(0, counts.rows), [&](const cv::Range& r) {
    std::array<bool, ATMRAD_COUNTS> local{};
    for (int y = r.start; y < r.end; y++) {
      const uint16_t* s = counts.ptr<uint16_t>(y);
      for (int x = 0; x < counts.cols; x++) local[s[x] & (ATMRAD_COUNTS - 1)] |= s[x] < ATMRAD_COUNTS;
    }
    std::lock_guard<std::mutex> lock(m);
    for (int i = 0; i < ATMRAD_COUNTS; i++) seen[i] = seen[i] || local[i];
  });
  return seen;
}

int AtmradMonotoneFrom(int ch) {
  static const std::array<int, CHANNEL_COUNT + 1> first = [] {
    std::array<int, CHANNEL_COUNT + 1> f{};
    for (int c = 0; c <= CHANNEL_COUNT; c++) {
      const AtmradValueTable& v = AtmradChannelValues(c);
      int i = 1;
      while (i < ATMRAD_COUNTS && std::isnan(v[i])) i++;
      f[c] = i < ATMRAD_COUNTS ? i : -1;
      for (int j = i + 1; j < ATMRAD_COUNTS && f[c] > 0; j++)
        if (!(v[j] >= v[j - 1])) f[c] = -1;
    }
    return f;
  }();
  return first[ch];
}

void AtmradPresentValueRange(const cv::Mat& counts, int ch, float* mn, float* mx) {
  const AtmradValueTable& values = AtmradChannelValues(ch);
  float lo = std::numeric_limits<float>::infinity(), hi = -lo;
  std::array<bool, ATMRAD_COUNTS> seen = AtmradCountsPresent(counts);
  for (int i = 0; i < ATMRAD_COUNTS; i++)
    if (seen[i] && !std::isnan(values[i])) {
      lo = std::min(lo, values[i]);
      hi = std::max(hi, values[i]);
    }
  if (lo > hi) lo = hi = 0;
  *mn = lo;
  *mx = hi;
}

const float* AtmradBtTable(int ch) {
  if (!AtmradInfrared(ch)) return nullptr;
  return AtmradChannelValues(ch).data();
}

void AtmradBrightnessTemp(const cv::Mat& counts, int ch, cv::Mat& dst) {
  if (!AtmradInfrared(ch) || counts.type() != CV_16UC1) {
    AtmradWarn("brightness temperature of a channel that is not infrared or of counts that are not 16-bit", ch);
    return;
  }
  AtmradApplyValues(counts, ch, dst);
}
