#include "data/suplimage.h"

#include "data/suplalloc.h"
#include "data/suplresize.h"
#include "data/supltsan.h"

#include <glib.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>

cv::Mat SuplCropToRect(const cv::Mat& m, int32_t rect[4]) {
  if (!rect || rect[2] == 0 || rect[3] == 0) return m;
  if (rect[0] == 0 && rect[1] == 0 && rect[2] == m.cols && rect[3] == m.rows) return m;
  // 64-bit sums: a hand-edited window must not overflow into a plausible rectangle.
  int64_t x = rect[0], y = rect[1];
  int64_t w = std::min<int64_t>(rect[2], int64_t(m.cols) - x);
  int64_t h = std::min<int64_t>(rect[3], int64_t(m.rows) - y);
  rect[2] = int32_t(w);
  rect[3] = int32_t(h);
  if (w <= 0 || h <= 0) return {};
  // The part of the rect that lies on m; the rest of the copy stays 0.
  int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
  int64_t x1 = x + w, y1 = y + h;  // both within m's edges after the clamp
  if (x1 <= x0 || y1 <= y0) return {};
  cv::Mat out = cv::Mat::zeros(int(h), int(w), m.type());
  m(cv::Rect(int(x0), int(y0), int(x1 - x0), int(y1 - y0)))
      .copyTo(out(cv::Rect(int(x0 - x), int(y0 - y), int(x1 - x0), int(y1 - y0))));
  return out;
}

namespace {

// round(count * 255 / 1024) saturated, for every count a 10-bit sample can hold.
const std::array<uint8_t, 1028>& GreyTable() {
  static const std::array<uint8_t, 1028> table = [] {
    std::array<uint8_t, 1028> t{};
    for (int i = 0; i < 1024; i++) t[i] = cv::saturate_cast<uint8_t>(i * SUPL_GREY_FACTOR);
    for (int i = 1024; i < 1028; i++) t[i] = 255;
    return t;
  }();
  return table;
}

}  // namespace

const uint8_t* SuplGreyTable() { return GreyTable().data(); }

cv::Mat SuplGray2Rgb(const cv::Mat& counts, int factor) {
  if (counts.empty() || counts.type() != CV_16UC1 || factor < 1) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", "suplimage: no count image");
    return {};
  }
  try {
    const auto& grey = GreyTable();
    auto grey_of = [&](uint16_t c) -> uint8_t { return c < 1024 ? grey[c] : 255; };
    if (factor == 1) {
      // One pass from counts to the three planes: each pixel is one 4-byte store of a packed
      // grey (the fourth byte is overwritten by the next pixel; the last one is stored bytewise).
      uint32_t packed[1024];
      for (int i = 0; i < 1024; i++) packed[i] = grey[i] * 0x010101u;
      cv::Mat rgb = SuplLargeMat(counts.rows, counts.cols, CV_8UC3);
      SuplParallelFor(cv::Range(0, counts.rows), [&](const cv::Range& r) {
        for (int y = r.start; y < r.end; y++) {
          const uint16_t* s = counts.ptr<uint16_t>(y);
          uint8_t* d = rgb.ptr<uint8_t>(y);
          const int n = counts.cols;
          for (int x = 0; x + 1 < n; x++) {
            const uint32_t v = s[x] < 1024 ? packed[s[x]] : 0xFFFFFFu;
            std::memcpy(d + 3 * x, &v, 4);
          }
          if (n > 0) d[3 * n - 3] = d[3 * n - 2] = d[3 * n - 1] = grey_of(s[n - 1]);
        }
      });
      return rgb;
    }
    // The three planes are equal: the single grey plane is enlarged and expanded in one pass
    // (the same bytes as resizing it and converting it to three planes), its rows made grey
    // from the counts as the enlargement needs them.
    if (factor == 3) return SuplCubic3Rgb(counts);
    cv::Mat g(counts.size(), CV_8UC1);
    SuplParallelFor(cv::Range(0, counts.rows), [&](const cv::Range& r) {
      for (int y = r.start; y < r.end; y++) {
        const uint16_t* s = counts.ptr<uint16_t>(y);
        uint8_t* d = g.ptr<uint8_t>(y);
        for (int x = 0; x < counts.cols; x++) d[x] = grey_of(s[x]);
      }
    });
    cv::resize(g, g, cv::Size(counts.cols * factor, counts.rows * factor), 0, 0, cv::INTER_CUBIC);
    cv::Mat rgb;
    cv::cvtColor(g, rgb, cv::COLOR_GRAY2RGB);
    return rgb;
  } catch (const cv::Exception& e) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", e.what());
  } catch (const std::bad_alloc& e) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", e.what());
  }
  return {};
}

void SuplGammaTable(double gamma, uint8_t lut[256]) {
  for (int i = 0; i < 256; i++) {
    double v = 255.0 * std::pow(i / 255.0, 1.0 / gamma);
    // A zero, negative or absurd gamma from a hand-edited file must not give an undefined
    // conversion: NaN becomes 0 and the rest is clamped before truncation.
    if (!(v >= 0.0)) v = 0.0;
    if (v > 255.0) v = 255.0;
    lut[i] = uint8_t(v);
  }
}

void SuplGammaLut(const cv::Mat& src, cv::Mat& dst, double gamma) {
  uint8_t lut[256];
  SuplGammaTable(gamma, lut);
  cv::LUT(src, cv::Mat(1, 256, CV_8UC1, lut), dst);
}
