// Bicubic enlargement by three of a grey image (or of counts taken as their grey), expanded to
// three equal planes: the bytes of cv::resize(INTER_CUBIC) then cvtColor(GRAY2RGB).
// The arithmetic mirrors OpenCV 4's 8-bit resize: weights in 11-bit fixed point from float
// positions, integer horizontal sums, and its two vertical roundings. It must be built without
// floating-point contraction (no FMA), as OpenCV's baseline code is.
#include <array>
#include <cstring>
#include <vector>

#include "data/suplalloc.h"
#include "data/suplkernels.h"
#include "data/suplresize.h"
#include "data/suplresize_taps.h"
#include "data/supltsan.h"

namespace {

// Edge pixels copied on each side of a grey row, so that the taps read neighbours unclamped.
constexpr int ROW_PAD = 8;

void CubicWeights(float x, int16_t w[4]) {
  const float A = -0.75f;
  float c[4];
  c[0] = ((A * (x + 1) - 5 * A) * (x + 1) + 8 * A) * (x + 1) - 4 * A;
  c[1] = ((A + 2) * x - (A + 3)) * x * x + 1;
  c[2] = ((A + 2) * (1 - x) - (A + 3)) * (1 - x) * (1 - x) + 1;
  c[3] = 1.f - c[0] - c[1] - c[2];
  for (int k = 0; k < 4; k++) w[k] = cv::saturate_cast<short>(c[k] * SUPL_COEF_SCALE);
}

struct CubicTaps {
  std::vector<std::array<int, 4>> idx;  // per destination index: clamped source indices
  std::vector<std::array<int16_t, 4>> w;
  std::vector<int> first;  // per destination index: the first tap's index before clamping
};

CubicTaps MakeCubicTaps(int n) {
  CubicTaps t;
  t.idx.resize(size_t(3 * n));
  t.w.resize(size_t(3 * n));
  t.first.resize(size_t(3 * n));
  // The three phases repeat their fractions until the float positions lose bits far from the
  // origin: each phase's weights are computed again only when its fraction changes.
  float last[3] = {-1.f, -1.f, -1.f};
  for (int d = 0; d < 3 * n; d++) {
    int s;
    float f;
    SuplPosition3(d, &s, &f);
    if (f != last[d % 3] || d < 3) CubicWeights(f, t.w[d].data());
    else t.w[d] = t.w[d - 3];
    last[d % 3] = f;
    t.first[d] = s - 1;
    for (int k = 0; k < 4; k++) t.idx[d][k] = std::clamp(s - 1 + k, 0, n - 1);
  }
  return t;
}

// Horizontal tables: destination column 3b + p (phase p) has its first tap at b + off[p] when
// the taps are runs along the whole row (runs), with weights by phase and tap (SuplCubicSums).
struct CubicColumns {
  int n = 0;
  CubicTaps taps;
  bool runs = false;
  int off[3] = {};
  std::vector<int32_t> w;  // [4 p + k][b]
};

CubicColumns MakeCubicColumns(int n) {
  CubicColumns c;
  c.n = n;
  c.taps = MakeCubicTaps(n);
  c.runs = true;
  for (int p = 0; p < 3; p++) {
    c.off[p] = c.taps.first[size_t(p)];
    c.runs = c.runs && c.off[p] >= -ROW_PAD && c.off[p] + 3 <= ROW_PAD;
    for (int b = 0; b < n && c.runs; b++) c.runs = c.taps.first[size_t(3 * b + p)] == b + c.off[p];
  }
  if (!c.runs) return c;
  c.w.resize(size_t(12) * n);
  for (int p = 0; p < 3; p++)
    for (int k = 0; k < 4; k++)
      for (int b = 0; b < n; b++) c.w[size_t(4 * p + k) * n + b] = c.taps.w[size_t(3 * b + p)][size_t(k)];
  return c;
}

// One source row's horizontal sums in destination order, as floats; g is padded by ROW_PAD.
void CubicRow(const uint8_t* g, const CubicColumns& c, float* h) {
  if (c.runs) {
    SuplCubicSums(g, c.n, c.off, c.w.data(), h);
    return;
  }
  for (int d = 0; d < 3 * c.n; d++) {
    const auto& i = c.taps.idx[size_t(d)];
    const auto& w = c.taps.w[size_t(d)];
    h[d] = float(g[i[0]] * w[0] + g[i[1]] * w[1] + g[i[2]] * w[2] + g[i[3]] * w[3]);
  }
}

// Grey row r of src (CV_8UC1, or counts made grey) at g[0..cols), with ROW_PAD copies of its
// edge pixels on each side.
void PaddedGreyRow(const cv::Mat& src, int r, uint8_t* g) {
  const int n = src.cols;
  if (src.depth() == CV_8U) std::memcpy(g, src.ptr<uint8_t>(r), size_t(n));
  else SuplGreyRow(src.ptr<uint16_t>(r), n, g);
  std::fill_n(g - ROW_PAD, ROW_PAD, g[0]);
  std::fill_n(g + n, ROW_PAD, g[n - 1]);
}

// Output rows [y0, y1): the horizontal sums of each source row once per stripe, then the
// vertical step and the spreading to three bytes straight along each destination row.
void CubicStripe(const cv::Mat& src, const CubicColumns& cols, const CubicTaps& rows, int y0,
                 int y1, cv::Mat& out) {
  const int n = src.cols;
  std::vector<uint8_t> grey_row(size_t(n) + 2 * ROW_PAD);
  uint8_t* const g = grey_row.data() + ROW_PAD;
  const int plane = 3 * n + 8;
  // Eight slots by source row: the five rows that three neighbouring output rows read never collide.
  constexpr int SLOTS = 8;
  std::vector<float> ring(size_t(SLOTS) * plane);
  std::array<int, SLOTS> key;
  key.fill(-1);
  auto sums = [&](int r) -> const float* {
    float* h = ring.data() + size_t(r & (SLOTS - 1)) * plane;
    if (key[size_t(r & (SLOTS - 1))] != r) {
      PaddedGreyRow(src, r, g);
      CubicRow(g, cols, h);
      key[size_t(r & (SLOTS - 1))] = r;
    }
    return h;
  };
  std::vector<uint8_t> o(size_t(3 * n) + 16);
  for (int dy = y0; dy < y1; dy++) {
    const float* s[4];
    for (int k = 0; k < 4; k++) s[k] = sums(rows.idx[size_t(dy)][size_t(k)]);
    const int16_t* beta = rows.w[size_t(dy)].data();
    float fb[4];
    for (int k = 0; k < 4; k++) fb[k] = beta[k] * (1.f / float(SUPL_COEF_SCALE * SUPL_COEF_SCALE));
    SuplCubicVertical(s, fb, beta, 3 * n, o.data(), out.ptr<uint8_t>(dy));
  }
}

}  // namespace

cv::Mat SuplCubic3Rgb(const cv::Mat& grey) {
  CV_Assert((grey.type() == CV_8UC1 || grey.type() == CV_16UC1) && !grey.empty());
  cv::Mat out = SuplLargeMat(grey.rows * 3, grey.cols * 3, CV_8UC3);
  const CubicTaps rows = MakeCubicTaps(grey.rows);
  const CubicColumns cols = MakeCubicColumns(grey.cols);
  SuplParallelFor(
      cv::Range(0, out.rows), [&](const cv::Range& r) { CubicStripe(grey, cols, rows, r.start, r.end, out); },
      SuplStripes(out.rows));
  return out;
}
