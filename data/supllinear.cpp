// Bilinear enlargement by three of an 8-bit RGB image: the bytes of cv::resize(INTER_LINEAR).
// The arithmetic mirrors OpenCV 4's 8-bit resize: 11-bit weights from float positions, the
// horizontal sums shifted right by 4 and kept as 16-bit values, its vertical rounding. Built
// without floating-point contraction, as the weights must round like OpenCV's.
#include <array>
#include <vector>

#include "data/suplalloc.h"
#include "data/suplkernels.h"
#include "data/suplresize.h"
#include "data/suplresize_taps.h"
#include "data/supltsan.h"

namespace {

struct LinearTaps {
  std::vector<int> i0, i1;
  std::vector<int16_t> w0, w1;
};

// Rows: the fraction is kept at the edges and both rows clamped.
LinearTaps MakeLinearRows(int n) {
  LinearTaps t;
  for (int d = 0; d < 3 * n; d++) {
    int s;
    float f;
    SuplPosition3(d, &s, &f);
    t.i0.push_back(std::clamp(s, 0, n - 1));
    t.i1.push_back(std::clamp(s + 1, 0, n - 1));
    t.w0.push_back(cv::saturate_cast<short>((1.f - f) * SUPL_COEF_SCALE));
    t.w1.push_back(cv::saturate_cast<short>(f * SUPL_COEF_SCALE));
  }
  return t;
}

// Columns: a position left of the first or right of the last source pixel takes that pixel
// alone (weights 2048, 0). Destination column 3b + p reads source columns b + off[p] and the
// next one of a plane padded by one edge pixel on each side: with the edge weights that gives
// the clamped taps. Weights by phase: w0[p n + b], w1[p n + b].
struct LinearColumns {
  int n = 0;
  int off[3] = {};
  std::vector<int32_t> w0, w1;
};

LinearColumns MakeLinearColumns(int n) {
  LinearColumns c;
  c.n = n;
  c.w0.resize(size_t(3) * n);
  c.w1.resize(size_t(3) * n);
  for (int d = 0; d < 3 * n; d++) {
    const int b = d / 3, p = d % 3;
    int s;
    float f;
    SuplPosition3(d, &s, &f);
    if (b == 0) c.off[p] = s;
    // The position of a phase moves by one source pixel per b, float roundings or not.
    CV_Assert(s == b + c.off[p] && s >= -1 && s <= n - 1);
    if (s < 0 || s >= n - 1) f = 0;
    c.w0[size_t(p) * n + b] = cv::saturate_cast<short>((1.f - f) * SUPL_COEF_SCALE);
    c.w1[size_t(p) * n + b] = cv::saturate_cast<short>(f * SUPL_COEF_SCALE);
  }
  return c;
}

// Output rows [y0, y1): each source row's sums once per stripe, plane by plane.
void LinearStripe(const cv::Mat& src, const LinearColumns& cols, const LinearTaps& rows, int y0,
                  int y1, cv::Mat& out) {
  const int n = src.cols, m = 3 * n;
  // One plane of a source row with an edge pixel on each side, and room for the vector loads.
  std::vector<uint8_t> plane(size_t(n) + 2 + 64);
  uint8_t* const g = plane.data() + 1;
  // Four slots by source row: the rows of neighbouring destination rows never collide.
  constexpr int SLOTS = 4;
  const size_t stride = size_t(m) + 32;
  std::vector<int16_t> ring(size_t(SLOTS) * 3 * stride);
  std::array<int, SLOTS> key;
  key.fill(-1);
  auto sums = [&](int r, int c) -> const int16_t* {
    const size_t slot = size_t(r & (SLOTS - 1));
    int16_t* h = ring.data() + (slot * 3 + size_t(c)) * stride;
    return key[slot] == r ? h : nullptr;
  };
  auto make = [&](int r) {
    const size_t slot = size_t(r & (SLOTS - 1));
    if (key[slot] == r) return;
    const uint8_t* s = src.ptr<uint8_t>(r);
    for (int c = 0; c < 3; c++) {
      for (int x = 0; x < n; x++) g[x] = s[3 * x + c];
      g[-1] = g[0];
      g[n] = g[n - 1];
      SuplLinearSums(g, n, cols.off, cols.w0.data(), cols.w1.data(),
                     ring.data() + (slot * 3 + size_t(c)) * stride);
    }
    key[slot] = r;
  };
  for (int dy = y0; dy < y1; dy++) {
    const int r0 = rows.i0[size_t(dy)], r1 = rows.i1[size_t(dy)];  // r1 is r0 or r0 + 1
    make(r0);
    make(r1);
    const int16_t* h0[3] = {sums(r0, 0), sums(r0, 1), sums(r0, 2)};
    const int16_t* h1[3] = {sums(r1, 0), sums(r1, 1), sums(r1, 2)};
    SuplLinearVertical(h0, h1, rows.w0[size_t(dy)], rows.w1[size_t(dy)], m, out.ptr<uint8_t>(dy));
  }
}

}  // namespace

cv::Mat SuplLinear3(const cv::Mat& rgb) {
  CV_Assert(rgb.type() == CV_8UC3 && !rgb.empty());
  cv::Mat out = SuplLargeMat(rgb.rows * 3, rgb.cols * 3, CV_8UC3);
  const LinearColumns cols = MakeLinearColumns(rgb.cols);
  const LinearTaps rows = MakeLinearRows(rgb.rows);
  SuplParallelFor(
      cv::Range(0, out.rows), [&](const cv::Range& r) { LinearStripe(rgb, cols, rows, r.start, r.end, out); },
      SuplStripes(out.rows));
  return out;
}
