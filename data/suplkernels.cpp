// Row kernels of data/suplkernels.h, compiled once per vector unit by Highway.
#include "data/suplkernels.h"

#include <algorithm>
#include <cmath>

#include "data/suplimage.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "data/suplkernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace suplk {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The plain sums of one output (also the tail of a row).
inline int32_t CubicSum(const uint8_t* g, int n, const int off[3], const int32_t* w, int b, int p) {
  int32_t s = 0;
  for (int k = 0; k < 4; k++) s += g[b + off[p] + k] * w[size_t(4 * p + k) * n + b];
  return s;
}

void CubicSums(const uint8_t* g, int n, const int off[3], const int32_t* w, float* h) {
  const hn::ScalableTag<int32_t> d32;
  const hn::Rebind<uint8_t, decltype(d32)> d8;
  const hn::Rebind<float, decltype(d32)> df;
  const int N = int(hn::Lanes(d32));
  int b = 0;
  for (; b + N <= n; b += N) {
    hn::Vec<decltype(d32)> s[3];
    for (int p = 0; p < 3; p++) {
      s[p] = hn::Zero(d32);
      for (int k = 0; k < 4; k++) {
        const auto x = hn::PromoteTo(d32, hn::LoadU(d8, g + b + off[p] + k));
        s[p] = hn::Add(s[p], hn::Mul(x, hn::LoadU(d32, w + size_t(4 * p + k) * n + b)));
      }
    }
    hn::StoreInterleaved3(hn::ConvertTo(df, s[0]), hn::ConvertTo(df, s[1]), hn::ConvertTo(df, s[2]),
                          df, h + 3 * b);
  }
  for (; b < n; b++)
    for (int p = 0; p < 3; p++) h[3 * b + p] = float(CubicSum(g, n, off, w, b, p));
}

// Each of n bytes of o to three equal bytes at out.
void Spread(const uint8_t* o, int n, uint8_t* out) {
  const hn::ScalableTag<uint8_t> d8;
  const int N = int(hn::Lanes(d8));
  int i = 0;
  for (; i + N <= n; i += N) {
    const auto v = hn::LoadU(d8, o + i);
    hn::StoreInterleaved3(v, v, v, d8, out + 3 * i);
  }
  for (; i < n; i++) out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = o[i];
}

void CubicVertical(const float* const s[4], const float fb[4], const int16_t beta[4], int width,
                   uint8_t* o, uint8_t* out) {
  const hn::ScalableTag<float> df;
  const hn::Rebind<uint8_t, decltype(df)> d8;
  const int N = int(hn::Lanes(df));
  const int vec_end = width & ~7;
  const auto b0 = hn::Set(df, fb[0]), b1 = hn::Set(df, fb[1]), b2 = hn::Set(df, fb[2]),
             b3 = hn::Set(df, fb[3]);
  int i = 0;
  for (; i + N <= vec_end; i += N) {
    // The products summed from the last, as OpenCV's code does.
    const auto t = hn::Add(hn::Mul(hn::LoadU(df, s[0] + i), b0),
                           hn::Add(hn::Mul(hn::LoadU(df, s[1] + i), b1),
                                   hn::Add(hn::Mul(hn::LoadU(df, s[2] + i), b2),
                                           hn::Mul(hn::LoadU(df, s[3] + i), b3))));
    hn::StoreU(hn::DemoteTo(d8, hn::NearestInt(t)), d8, o + i);
  }
  for (; i < vec_end; i++) {
    const float t = s[0][i] * fb[0] + (s[1][i] * fb[1] + (s[2][i] * fb[2] + s[3][i] * fb[3]));
    o[i] = uint8_t(std::clamp(int(std::nearbyint(t)), 0, 255));
  }
  for (; i < width; i++) {
    const int32_t v = (int32_t(s[0][i]) * beta[0] + int32_t(s[1][i]) * beta[1] +
                       int32_t(s[2][i]) * beta[2] + int32_t(s[3][i]) * beta[3] + (1 << 21)) >> 22;
    o[i] = uint8_t(std::clamp(v, 0, 255));
  }
  Spread(o, width, out);
}

// round(c * 255 / 1024) saturated is (min(c, 1024) * 8160 + 2^14) >> 15: one rounding multiply
// (its only tie, c = 512, rounds up either way).
void GreyRow(const uint16_t* c, int n, uint8_t* g) {
  const hn::ScalableTag<uint16_t> d16;
  const hn::RebindToSigned<decltype(d16)> di16;
  const hn::Rebind<uint8_t, decltype(d16)> d8;
  const int N = int(hn::Lanes(d16));
  const auto top = hn::Set(d16, uint16_t(1024));
  const auto factor = hn::Set(di16, int16_t(8160));
  int x = 0;
  for (; x + N <= n; x += N) {
    const auto v = hn::BitCast(di16, hn::Min(hn::LoadU(d16, c + x), top));
    hn::StoreU(hn::DemoteTo(d8, hn::MulFixedPoint15(v, factor)), d8, g + x);
  }
  const uint8_t* grey = SuplGreyTable();
  for (; x < n; x++) g[x] = grey[std::min<unsigned>(c[x], 1024)];
}

void LinearSums(const uint8_t* g, int n, const int off[3], const int32_t* w0, const int32_t* w1,
                int16_t* h) {
  const hn::ScalableTag<int32_t> d32;
  const hn::Rebind<uint8_t, decltype(d32)> d8;
  const hn::Rebind<int16_t, decltype(d32)> d16;
  const int N = int(hn::Lanes(d32));
  int b = 0;
  for (; b + N <= n; b += N) {
    hn::Vec<decltype(d16)> s[3];
    for (int p = 0; p < 3; p++) {
      const uint8_t* q = g + b + off[p];
      const auto x0 = hn::PromoteTo(d32, hn::LoadU(d8, q)), x1 = hn::PromoteTo(d32, hn::LoadU(d8, q + 1));
      const auto v = hn::Add(hn::Mul(x0, hn::LoadU(d32, w0 + size_t(p) * n + b)),
                             hn::Mul(x1, hn::LoadU(d32, w1 + size_t(p) * n + b)));
      s[p] = hn::DemoteTo(d16, hn::ShiftRight<4>(v));
    }
    hn::StoreInterleaved3(s[0], s[1], s[2], d16, h + 3 * b);
  }
  for (; b < n; b++)
    for (int p = 0; p < 3; p++) {
      const uint8_t* q = g + b + off[p];
      const size_t k = size_t(p) * n + b;
      h[3 * b + p] = int16_t((q[0] * w0[k] + q[1] * w1[k]) >> 4);
    }
}

void LinearVertical(const int16_t* const h0[3], const int16_t* const h1[3], int16_t b0, int16_t b1,
                    int m, uint8_t* out) {
  const hn::ScalableTag<int16_t> d16;
  const hn::Rebind<uint8_t, decltype(d16)> d8;
  const int N = int(hn::Lanes(d16));
  const auto v0 = hn::Set(d16, b0), v1 = hn::Set(d16, b1), two = hn::Set(d16, int16_t(2));
  int i = 0;
  for (; i + N <= m; i += N) {
    hn::Vec<decltype(d8)> c[3];
    for (int k = 0; k < 3; k++) {
      const auto t = hn::Add(hn::Add(hn::MulHigh(v0, hn::LoadU(d16, h0[k] + i)),
                                     hn::MulHigh(v1, hn::LoadU(d16, h1[k] + i))), two);
      c[k] = hn::DemoteTo(d8, hn::ShiftRight<2>(t));
    }
    hn::StoreInterleaved3(c[0], c[1], c[2], d8, out + 3 * i);
  }
  for (; i < m; i++)
    for (int k = 0; k < 3; k++)
      out[3 * i + k] = uint8_t((((b0 * h0[k][i]) >> 16) + ((b1 * h1[k][i]) >> 16) + 2) >> 2);
}

// The display grey of N counts, spread to three bytes each at g.
template <class D16>
inline void Grey3(D16 d16, hn::Vec<D16> counts, uint8_t* g) {
  const hn::RebindToSigned<D16> di16;
  const hn::Rebind<uint8_t, D16> d8;
  const auto v = hn::BitCast(di16, hn::Min(counts, hn::Set(d16, uint16_t(1024))));
  const auto grey = hn::DemoteTo(d8, hn::MulFixedPoint15(v, hn::Set(di16, int16_t(8160))));
  hn::StoreInterleaved3(grey, grey, grey, d8, g);
}

void RemapRun(const SuplRemapSource& s, const int16_t* x, const uint8_t* fx, int sy, unsigned fy,
              int a, int b, uint16_t* d, uint8_t* g) {
  const hn::ScalableTag<float> df;
  const hn::Rebind<int32_t, decltype(df)> d32;
  const hn::Rebind<int16_t, decltype(df)> di16;
  const hn::Rebind<uint16_t, decltype(df)> d16;
  const hn::Rebind<uint8_t, decltype(df)> d8;
  const int N = int(hn::Lanes(df));
  const uint8_t* grey = SuplGreyTable();
  auto one = [&](int i) {
    d[i] = SuplRemapPixel(s, x[i], sy, fy * SUPL_TAB_SIZE + fx[i]);
    if (g) g[3 * i] = g[3 * i + 1] = g[3 * i + 2] = grey[std::min<unsigned>(d[i], 1024)];
  };
  int i = a;
  if (sy >= 0 && sy <= s.height - 2) {  // both tap rows on the source
    const uint16_t* r0 = s.s0 + size_t(sy - s.row0) * s.step;
    const uint16_t* r1 = r0 + s.step;
    const auto y = hn::Set(df, float(fy) * SUPL_TAB_SCALE);
    const auto y1 = hn::Sub(hn::Set(df, 1.f), y);
    const auto scale = hn::Set(df, SUPL_TAB_SCALE), one_f = hn::Set(df, 1.f);
    const auto lanes = hn::Iota(d32, 0);
    for (; i + N <= b; i += N) {
      const int sx0 = x[i];
      // Columns that run on from sx0 with both taps inside; anything else pixel by pixel.
      if (sx0 < 0 || sx0 + N + 1 > s.width ||
          !hn::AllTrue(d32, hn::Eq(hn::PromoteTo(d32, hn::LoadU(di16, x + i)), hn::Add(lanes, hn::Set(d32, sx0))))) {
        for (int k = i; k < i + N; k++) one(k);
        continue;
      }
      auto load = [&](const uint16_t* q) { return hn::ConvertTo(df, hn::PromoteTo(d32, hn::LoadU(d16, q))); };
      const auto v0 = load(r0 + sx0), v1 = load(r0 + sx0 + 1), v2 = load(r1 + sx0), v3 = load(r1 + sx0 + 1);
      const auto fxv = hn::Mul(hn::ConvertTo(df, hn::PromoteTo(d32, hn::LoadU(d8, fx + i))), scale);
      const auto fx1 = hn::Sub(one_f, fxv);
      // The products and the sum in the scalar code's order.
      auto t = hn::Add(hn::Mul(v0, hn::Mul(y1, fx1)), hn::Mul(v1, hn::Mul(y1, fxv)));
      t = hn::Add(t, hn::Mul(v2, hn::Mul(y, fx1)));
      t = hn::Add(t, hn::Mul(v3, hn::Mul(y, fxv)));
      const auto r = hn::DemoteTo(d16, hn::NearestInt(t));
      hn::StoreU(r, d16, d + i);
      if (g) Grey3(d16, r, g + 3 * i);
    }
  }
  for (; i < b; i++) one(i);
}

}  // namespace HWY_NAMESPACE
}  // namespace suplk
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace suplk {
HWY_EXPORT(CubicSums);
HWY_EXPORT(CubicVertical);
HWY_EXPORT(GreyRow);
HWY_EXPORT(LinearSums);
HWY_EXPORT(LinearVertical);
HWY_EXPORT(RemapRun);
}  // namespace suplk

void SuplCubicSums(const uint8_t* g, int n, const int off[3], const int32_t* w, float* h) {
  HWY_DYNAMIC_DISPATCH(suplk::CubicSums)(g, n, off, w, h);
}

void SuplCubicVertical(const float* const s[4], const float fb[4], const int16_t beta[4], int width,
                       uint8_t* o, uint8_t* out) {
  HWY_DYNAMIC_DISPATCH(suplk::CubicVertical)(s, fb, beta, width, o, out);
}

void SuplGreyRow(const uint16_t* c, int n, uint8_t* g) { HWY_DYNAMIC_DISPATCH(suplk::GreyRow)(c, n, g); }

void SuplLinearSums(const uint8_t* g, int n, const int off[3], const int32_t* w0, const int32_t* w1,
                    int16_t* h) {
  HWY_DYNAMIC_DISPATCH(suplk::LinearSums)(g, n, off, w0, w1, h);
}

void SuplLinearVertical(const int16_t* const h0[3], const int16_t* const h1[3], int16_t b0, int16_t b1,
                        int m, uint8_t* out) {
  HWY_DYNAMIC_DISPATCH(suplk::LinearVertical)(h0, h1, b0, b1, m, out);
}

void SuplRemapRun(const SuplRemapSource& s, const int16_t* x, const uint8_t* fx, int sy, unsigned fy,
                  int a, int b, uint16_t* d, uint8_t* g) {
  HWY_DYNAMIC_DISPATCH(suplk::RemapRun)(s, x, fx, sy, fy, a, b, d, g);
}
#endif
