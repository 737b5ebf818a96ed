#include "data/suplremap.h"

#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "data/suplalloc.h"
#include "data/suplimage.h"
#include "data/suplkernels.h"
#include "data/supltsan.h"

// The pixels are OpenCV's (SuplRemapPixel); this file is built without floating-point
// contraction to keep their sums' roundings.

namespace {

constexpr int TAB_BITS = SUPL_TAB_BITS;
constexpr int TAB_SIZE = SUPL_TAB_SIZE;
constexpr int ROWS_PER_STRIPE = 32;
constexpr int16_t NONE = std::numeric_limits<int16_t>::min();  // no position for the column/row

using Source = SuplRemapSource;

// Whether a position's four taps all lie off the source: the pixel is the border value 0.
inline bool Outside(const Source& s, int sx, int sy) {
  return sx >= s.width || sx + 1 < 0 || sy >= s.height || sy + 1 < 0;
}

inline void Grey3(uint8_t* d, uint16_t v, const uint8_t* grey) {
  d[0] = d[1] = d[2] = grey[std::min<unsigned>(v, 1024)];
}

}  // namespace

SuplSepMap SuplSepFromMaps(const cv::Mat& map1, const cv::Mat& map2, cv::Size src_size) {
  CV_Assert(map1.type() == CV_16SC2 && map2.type() == CV_16UC1 && map1.size() == map2.size());
  CV_Assert(src_size.width > 0 && src_size.height > 0);
  SuplSepMap m;
  const int rows = map1.rows, cols = map1.cols;
  m.rows = rows;
  m.cols = cols;
  m.src_width = src_size.width;
  m.src_height = src_size.height;
  const Source s = {nullptr, 0, src_size.width, src_size.height};
  auto sx = [&](int i, int j) { return map1.ptr<int16_t>(j)[2 * i]; };
  auto sy = [&](int i, int j) { return map1.ptr<int16_t>(j)[2 * i + 1]; };
  auto frac = [&](int i, int j) { return uint16_t(map2.ptr<uint16_t>(j)[i] & (TAB_SIZE * TAB_SIZE - 1)); };
  auto on = [&](int i, int j) { return !Outside(s, sx(i, j), sy(i, j)); };

  // Each column's position from the row nearest the middle in which it lies on the source,
  // each row's from the column nearest the middle.
  m.x.assign(size_t(cols), NONE);
  m.fx.assign(size_t(cols), 0);
  m.y.assign(size_t(rows), NONE);
  m.fy.assign(size_t(rows), 0);
  int left = cols;
  for (int k = 0; k < rows && left > 0; k++) {
    const int j = rows / 2 + (k % 2 ? (k + 1) / 2 : -(k / 2));
    if (j < 0 || j >= rows) continue;
    for (int i = 0; i < cols; i++)
      if (m.x[i] == NONE && on(i, j)) {
        m.x[i] = sx(i, j);
        m.fx[i] = uint8_t(frac(i, j) & (TAB_SIZE - 1));
        left--;
      }
  }
  for (int j = 0; j < rows; j++)
    for (int k = 0; k < cols; k++) {
      const int i = cols / 2 + (k % 2 ? (k + 1) / 2 : -(k / 2));
      if (i < 0 || i >= cols || !on(i, j)) continue;
      m.y[j] = sy(i, j);
      m.fy[j] = uint8_t(frac(i, j) >> TAB_BITS);
      break;
    }

  // Per row: the span of pixels at their separable position, and every pixel that is not at
  // it and not wholly off the source.
  m.lo.assign(size_t(rows), 0);
  m.hi.assign(size_t(rows), 0);
  m.row_start.assign(size_t(rows) + 1, 0);
  for (int j = 0; j < rows; j++) {
    m.row_start[j] = int32_t(m.others.size());
    auto fits = [&](int i) {
      return m.x[i] != NONE && m.y[j] != NONE && sx(i, j) == m.x[i] && sy(i, j) == m.y[j] &&
             frac(i, j) == m.fy[j] * TAB_SIZE + m.fx[i];
    };
    int lo = 0, hi = 0;
    for (int i = 0; i < cols; i++)
      if (fits(i) && on(i, j)) {
        lo = i;
        break;
      }
    for (int i = cols - 1; i >= lo; i--)
      if (fits(i) && on(i, j)) {
        hi = i + 1;
        break;
      }
    m.lo[j] = lo;
    m.hi[j] = hi;
    for (int i = 0; i < cols; i++) {
      const bool inside = i >= lo && i < hi;
      if (inside ? !fits(i) : on(i, j))
        m.others.push_back({i, sx(i, j), sy(i, j), frac(i, j)});
    }
  }
  m.row_start[rows] = int32_t(m.others.size());
  return m;
}

namespace {

void CheckMaps(const SuplSepMap& m, cv::Size src_size) {
  CV_Assert(src_size.width == m.src_width && src_size.height == m.src_height);
  CV_Assert(m.x.size() == size_t(m.cols) && m.fx.size() == size_t(m.cols) &&
            m.y.size() == size_t(m.rows) && m.fy.size() == size_t(m.rows) &&
            m.lo.size() == size_t(m.rows) && m.hi.size() == size_t(m.rows) &&
            m.row_start.size() == size_t(m.rows) + 1 && m.rows > 0 && m.cols > 0);
}

void MakeOutputs(const SuplSepMap& m, cv::Mat& dst, cv::Mat* rgb) {
  if (dst.rows != m.rows || dst.cols != m.cols || dst.type() != CV_16UC1)
    dst = SuplLargeMat(m.rows, m.cols, CV_16UC1);
  if (rgb && (rgb->rows != m.rows || rgb->cols != m.cols || rgb->type() != CV_8UC3))
    *rgb = SuplLargeMat(m.rows, m.cols, CV_8UC3);
}

// Output row j from source s.
void RemapRow(const Source& s, const SuplSepMap& m, int j, cv::Mat& dst, cv::Mat* rgb,
              const uint8_t* grey) {
  const int cols = m.cols;
  uint16_t* d = dst.ptr<uint16_t>(j);
  uint8_t* g = rgb ? rgb->ptr<uint8_t>(j) : nullptr;
  const int lo = std::clamp(m.lo[j], 0, cols), hi = std::clamp(m.hi[j], lo, cols);
  std::fill(d, d + lo, 0);
  std::fill(d + hi, d + cols, 0);
  if (g) {
    std::memset(g, 0, size_t(lo) * 3);  // grey of count 0
    std::memset(g + size_t(hi) * 3, 0, size_t(cols - hi) * 3);
  }
  if (hi > lo) SuplRemapRun(s, m.x.data(), m.fx.data(), m.y[j], m.fy[j], lo, hi, d, g);
  for (int k = m.row_start[j]; k < m.row_start[j + 1]; k++) {
    const SuplSepMap::Pixel& p = m.others[size_t(k)];
    if (p.i < 0 || p.i >= cols) continue;
    d[p.i] = SuplRemapPixel(s, p.sx, p.sy, p.f);
    if (g) Grey3(g + 3 * p.i, d[p.i], grey);
  }
}

// Source rows [*lo, *hi) that output rows [j0, j1) read: the two tap rows of every position
// that has a tap on the source. Empty when none.
void TapRows(const SuplSepMap& m, int j0, int j1, int height, int* lo, int* hi) {
  int a = height, b = -1;
  auto take = [&](int sy) {
    if (sy + 1 < 0 || sy >= height) return;
    a = std::min(a, std::max(sy, 0));
    b = std::max(b, std::min(sy + 1, height - 1));
  };
  for (int j = j0; j < j1; j++) {
    if (std::clamp(m.hi[j], 0, m.cols) > std::clamp(m.lo[j], 0, m.cols) && m.y[j] != NONE) take(m.y[j]);
    for (int k = m.row_start[j]; k < m.row_start[j + 1]; k++) take(m.others[size_t(k)].sy);
  }
  *lo = a;
  *hi = b + 1;
}

}  // namespace

void SuplRemapSep(const cv::Mat& src, const SuplSepMap& m, cv::Mat& dst, cv::Mat* rgb) {
  CV_Assert(src.type() == CV_16UC1 && !src.empty());
  CheckMaps(m, src.size());
  CV_Assert(dst.data != src.data);
  MakeOutputs(m, dst, rgb);
  const Source s = {src.ptr<uint16_t>(), src.step / sizeof(uint16_t), src.cols, src.rows};
  const uint8_t* grey = SuplGreyTable();
  SuplParallelFor(
      cv::Range(0, m.rows),
      [&](const cv::Range& r) {
        for (int j = r.start; j < r.end; j++) RemapRow(s, m, j, dst, rgb, grey);
      },
      std::max(1, m.rows / ROWS_PER_STRIPE));
}

void SuplRemapSepRows(cv::Size src_size, const SuplSourceRows& fill, const SuplSepMap& m,
                      cv::Mat& dst, cv::Mat* rgb) {
  CV_Assert(src_size.width > 0 && src_size.height > 0 && fill);
  CheckMaps(m, src_size);
  MakeOutputs(m, dst, rgb);
  const uint8_t* grey = SuplGreyTable();
  SuplParallelFor(
      cv::Range(0, m.rows),
      [&](const cv::Range& r) {
        int lo, hi;
        TapRows(m, r.start, r.end, src_size.height, &lo, &hi);
        cv::Mat rows;
        if (hi > lo) {
          rows.create(hi - lo, src_size.width, CV_16UC1);
          fill(lo, hi, rows);
        }
        const Source s = {rows.empty() ? nullptr : rows.ptr<uint16_t>(), rows.step / sizeof(uint16_t),
                          src_size.width, src_size.height, lo};
        for (int j = r.start; j < r.end; j++) RemapRow(s, m, j, dst, rgb, grey);
      },
      std::max(1, m.rows / ROWS_PER_STRIPE));
}

void SuplRemapLinear16(const cv::Mat& src, const cv::Mat& map1, const cv::Mat& map2, cv::Mat& dst,
                       cv::Mat* rgb) {
  CV_Assert(src.type() == CV_16UC1 && !src.empty());
  SuplRemapSep(src, SuplSepFromMaps(map1, map2, src.size()), dst, rgb);
}
