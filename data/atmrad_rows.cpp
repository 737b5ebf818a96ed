// Row kernels of data/atmrad_rows.h, compiled once per vector unit by Highway; the stretch's
// table making and the plain value of one pixel (AtmradStretch::operator()) are at the end.
#include "data/atmrad_rows.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "data/suplimage.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "data/atmrad_rows.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#ifndef ATMRAD_ROWS_ONCE
#define ATMRAD_ROWS_ONCE
namespace {
constexpr float NO_DATA = std::numeric_limits<float>::quiet_NaN();
// The weights of the horizontal taps: phase 0 of source pixel b lies a third of the way back to
// b - 1, phase 2 a third of the way on to b + 1, phase 1 is b itself (as float, like the taps).
constexpr float W0 = 2.0f / 3, A0 = 1 - W0, W2 = 1.0f / 3, A2 = 1 - W2;
inline float TableValue(const float* t, uint16_t c) { return c < ATMRAD_COUNTS ? t[c] : NO_DATA; }
}  // namespace
#endif

HWY_BEFORE_NAMESPACE();
namespace atmradk {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::Rebind<int32_t, DF>;
using D8 = hn::Rebind<uint8_t, DF>;
using D16 = hn::Rebind<uint16_t, DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;

// s(v) of the plain code for a vector of values, as int32 bytes-to-be: the ramp rounded half to
// even and saturated (a conversion out of int32's range gives INT_MIN there, so 0), or the
// step; then inversion, gamma, and 0 for no value (NaN).
inline VI Stretch(VF v, const AtmradStretch& s) {
  const DF df;
  const DI di;
  VI c;
  if (s.step) {
    c = hn::IfThenElseZero(hn::RebindMask(di, hn::Ge(v, hn::Set(df, s.lo))), hn::Set(di, 255));
  } else {
    const VF t = hn::Add(hn::Mul(v, hn::Set(df, s.scale)), hn::Set(df, s.shift));
    const VI r = hn::Min(hn::Max(hn::NearestInt(t), hn::Zero(di)), hn::Set(di, 255));
    c = hn::IfThenElseZero(hn::RebindMask(di, hn::Lt(hn::Abs(t), hn::Set(df, 2147483648.f))), r);
  }
  if (s.inverted) c = hn::Sub(hn::Set(di, 255), c);
  if (!s.identity_gamma) c = hn::GatherIndex(di, s.gamma32, c);
  return hn::IfThenZeroElse(hn::RebindMask(di, hn::IsNaN(v)), c);
}

inline void StoreBytes(VI c, uint8_t* d) { hn::StoreU(hn::DemoteTo(D8(), c), D8(), d); }

// Values of the counts at c: t[c], NaN from ATMRAD_COUNTS on.
inline VF Gather(const uint16_t* c, const float* t) {
  const DI di;
  const VI x = hn::PromoteTo(di, hn::LoadU(D16(), c));
  const auto in = hn::Lt(x, hn::Set(di, ATMRAD_COUNTS));
  const VF v = hn::GatherIndex(DF(), t, hn::IfThenElseZero(in, x));
  return hn::IfThenElse(hn::RebindMask(DF(), in), v, hn::Set(DF(), NO_DATA));
}

// Counts as their own values: 1..1023, the others NaN.
inline VF CountValues(const uint16_t* c) {
  const DI di;
  const VI x = hn::PromoteTo(di, hn::LoadU(D16(), c));
  const auto ok = hn::And(hn::Gt(x, hn::Zero(di)), hn::Lt(x, hn::Set(di, ATMRAD_COUNTS)));
  return hn::IfThenElse(hn::RebindMask(DF(), ok), hn::ConvertTo(DF(), x), hn::Set(DF(), NO_DATA));
}

void StretchRow(const float* v, int n, const AtmradStretch& s, uint8_t* d, const float* sub) {
  const DF df;
  const int N = int(hn::Lanes(df));
  int i = 0;
  for (; i + N <= n; i += N) {
    VF x = hn::LoadU(df, v + i);
    if (sub) x = hn::Sub(x, hn::LoadU(df, sub + i));
    StoreBytes(Stretch(x, s), d + i);
  }
  for (; i < n; i++) d[i] = s(sub ? v[i] - sub[i] : v[i]);
}

void CountRow(const uint16_t* c, int n, const uint8_t* lut, const AtmradStretch* direct, uint8_t* d) {
  const int N = int(hn::Lanes(DF()));
  int i = 0;
  if (direct)
    for (; i + N <= n; i += N) StoreBytes(Stretch(CountValues(c + i), *direct), d + i);
  for (; i < n; i++) d[i] = c[i] < ATMRAD_COUNTS ? lut[c[i]] : 0;
}

void DiffRow(const uint16_t* a, const uint16_t* b, int n, const float* ta, const float* tb,
             const AtmradStretch& s, uint8_t* d) {
  const int N = int(hn::Lanes(DF()));
  int i = 0;
  for (; i + N <= n; i += N) StoreBytes(Stretch(hn::Sub(Gather(a + i, ta), Gather(b + i, tb)), s), d + i);
  for (; i < n; i++) d[i] = s(TableValue(ta, a[i]) - TableValue(tb, b[i]));
}

void BlendRow(const float* r0, const float* r1, float w, int n, float* out) {
  const DF df;
  const int N = int(hn::Lanes(df));
  const float w0 = 1 - w;
  const VF v0 = hn::Set(df, w0), v1 = hn::Set(df, w);
  int i = 0;
  for (; i + N <= n; i += N)
    hn::StoreU(hn::Add(hn::Mul(hn::LoadU(df, r0 + i), v0), hn::Mul(hn::LoadU(df, r1 + i), v1)), df, out + i);
  for (; i < n; i++) out[i] = r0[i] * w0 + r1[i] * w;
}

void ValuesRow(const uint16_t* c, int n, const float* t, float* out) {
  const int N = int(hn::Lanes(DF()));
  int i = 0;
  for (; i + N <= n; i += N) hn::StoreU(Gather(c + i, t), DF(), out + i);
  for (; i < n; i++) out[i] = TableValue(t, c[i]);
}

void DiffValuesRow(const uint16_t* a, const uint16_t* b, int n, const float* ta, const float* tb,
                   float* out) {
  const int N = int(hn::Lanes(DF()));
  int i = 0;
  for (; i + N <= n; i += N) hn::StoreU(hn::Sub(Gather(a + i, ta), Gather(b + i, tb)), DF(), out + i);
  for (; i < n; i++) out[i] = TableValue(ta, a[i]) - TableValue(tb, b[i]);
}

void CountValuesRow(const uint16_t* c, int n, float* out) {
  const int N = int(hn::Lanes(DF()));
  int i = 0;
  for (; i + N <= n; i += N) hn::StoreU(CountValues(c + i), DF(), out + i);
  for (; i < n; i++) out[i] = c[i] != 0 && c[i] < ATMRAD_COUNTS ? float(c[i]) : NO_DATA;
}

void ValueRange(const float* v, int n, float* mn, float* mx) {
  const DF df;
  const int N = int(hn::Lanes(df));
  const float inf = std::numeric_limits<float>::infinity();
  VF lo = hn::Set(df, inf), hi = hn::Set(df, -inf);
  int i = 0;
  for (; i + N <= n; i += N) {
    const VF x = hn::LoadU(df, v + i);
    const auto ok = hn::Not(hn::IsNaN(x));
    lo = hn::Min(lo, hn::IfThenElse(ok, x, hn::Set(df, inf)));
    hi = hn::Max(hi, hn::IfThenElse(ok, x, hn::Set(df, -inf)));
  }
  float a = hn::GetLane(hn::MinOfLanes(df, lo)), b = hn::GetLane(hn::MaxOfLanes(df, hi));
  for (; i < n; i++)
    if (!std::isnan(v[i])) {
      a = std::min(a, v[i]);
      b = std::max(b, v[i]);
    }
  *mn = a;
  *mx = b;
}

void EnlargeRow(const float* src, int n, const AtmradStretch& s, uint8_t* d) {
  auto one = [&](int b) {
    d[3 * b] = s(b == 0 ? src[0] : src[b - 1] * A0 + src[b] * W0);
    d[3 * b + 1] = s(src[b]);
    d[3 * b + 2] = s(b == n - 1 ? src[b] : src[b] * A2 + src[b + 1] * W2);
  };
  const DF df;
  const D8 d8;
  const int N = int(hn::Lanes(df));
  const VF a0 = hn::Set(df, A0), w0 = hn::Set(df, W0), a2 = hn::Set(df, A2), w2 = hn::Set(df, W2);
  one(0);
  int b = 1;
  for (; b + N + 1 <= n; b += N) {
    const VF prev = hn::LoadU(df, src + b - 1), here = hn::LoadU(df, src + b), next = hn::LoadU(df, src + b + 1);
    const VF v0 = hn::Add(hn::Mul(prev, a0), hn::Mul(here, w0));
    const VF v2 = hn::Add(hn::Mul(here, a2), hn::Mul(next, w2));
    hn::StoreInterleaved3(hn::DemoteTo(d8, Stretch(v0, s)), hn::DemoteTo(d8, Stretch(here, s)),
                          hn::DemoteTo(d8, Stretch(v2, s)), d8, d + 3 * b);
  }
  for (; b < n; b++) one(b);
}

void Interleave(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, int n, uint8_t* out) {
  const hn::ScalableTag<uint8_t> d8;
  const int N = int(hn::Lanes(d8));
  int i = 0;
  for (; i + N <= n; i += N)
    hn::StoreInterleaved3(hn::LoadU(d8, p0 + i), hn::LoadU(d8, p1 + i), hn::LoadU(d8, p2 + i), d8, out + 3 * i);
  for (; i < n; i++) {
    out[3 * i] = p0[i];
    out[3 * i + 1] = p1[i];
    out[3 * i + 2] = p2[i];
  }
}

void CountRange(const uint16_t* c, int n, int first, int* lo, int* hi) {
  const DI di;
  const int N = int(hn::Lanes(di));
  const VI below = hn::Set(di, first - 1), top = hn::Set(di, ATMRAD_COUNTS);
  VI vlo = top, vhi = hn::Set(di, -1);
  int i = 0;
  for (; i + N <= n; i += N) {
    const VI x = hn::PromoteTo(di, hn::LoadU(D16(), c + i));
    const auto ok = hn::And(hn::Gt(x, below), hn::Lt(x, top));
    vlo = hn::Min(vlo, hn::IfThenElse(ok, x, top));
    vhi = hn::Max(vhi, hn::IfThenElse(ok, x, hn::Set(di, -1)));
  }
  int a = hn::GetLane(hn::MinOfLanes(di, vlo)), b = hn::GetLane(hn::MaxOfLanes(di, vhi));
  for (; i < n; i++)
    if (c[i] >= first && c[i] < ATMRAD_COUNTS) {
      a = std::min(a, int(c[i]));
      b = std::max(b, int(c[i]));
    }
  *lo = a;
  *hi = b;
}

}  // namespace HWY_NAMESPACE
}  // namespace atmradk
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace atmradk {
HWY_EXPORT(StretchRow);
HWY_EXPORT(CountRow);
HWY_EXPORT(DiffRow);
HWY_EXPORT(BlendRow);
HWY_EXPORT(ValuesRow);
HWY_EXPORT(DiffValuesRow);
HWY_EXPORT(CountValuesRow);
HWY_EXPORT(ValueRange);
HWY_EXPORT(EnlargeRow);
HWY_EXPORT(Interleave);
HWY_EXPORT(CountRange);
}  // namespace atmradk

uint8_t AtmradStretch::operator()(float v) const {
  if (std::isnan(v)) return 0;
  uint8_t c = step ? (v >= lo ? 255 : 0) : cv::saturate_cast<uint8_t>(v * scale + shift);
  if (inverted) c = uint8_t(255 - c);
  return gamma[c];
}

AtmradStretch AtmradMakeStretch(double t0, double t1, double g, bool inverted, float mn, float mx) {
  AtmradStretch s;
  double lo = t0, span = t1 - t0;
  if (t1 >= 1000) {  // relative thresholds: ten-thousandths of the value range
    double range = double(mx) - double(mn);
    lo = range * t0 / 10000 + mn;
    span = range * t1 / 10000 + mn - lo;
  }
  s.step = span == 0;
  // A step takes a value that misses its threshold only by the rounding of an enlargement as on
  // it: a blend of equal values can come out a few ulps below them, and a flat channel must stay
  // one colour. Distinct counts and temperatures lie far further apart than this.
  s.lo = s.step ? float(lo) - std::abs(float(lo)) * 0x1p-19f : float(lo);
  if (!s.step) {
    s.scale = float(255 / span);
    s.shift = float(-255 / span * lo);
  }
  s.inverted = inverted;
  s.identity_gamma = g == 1.0;
  if (s.identity_gamma)
    for (int i = 0; i < 256; i++) s.gamma[i] = uint8_t(i);
  else
    SuplGammaTable(g, s.gamma);
  for (int i = 0; i < 256; i++) s.gamma32[i] = s.gamma[i];
  return s;
}

void AtmradStretchRow(const float* v, int n, const AtmradStretch& s, uint8_t* d, const float* sub) {
  HWY_DYNAMIC_DISPATCH(atmradk::StretchRow)(v, n, s, d, sub);
}

void AtmradCountRow(const uint16_t* c, int n, const uint8_t lut[ATMRAD_COUNTS],
                    const AtmradStretch* direct, uint8_t* d) {
  HWY_DYNAMIC_DISPATCH(atmradk::CountRow)(c, n, lut, direct, d);
}

void AtmradDiffRow(const uint16_t* a, const uint16_t* b, int n, const float* ta, const float* tb,
                   const AtmradStretch& s, uint8_t* d) {
  HWY_DYNAMIC_DISPATCH(atmradk::DiffRow)(a, b, n, ta, tb, s, d);
}

void AtmradDiffRange(const uint16_t* a, const uint16_t* b, int n, const float* ta,
                     const float* tb, float* mn, float* mx) {
  float lo = std::numeric_limits<float>::infinity(), hi = -lo;
  for (int i = 0; i < n; i++) {
    const float v = TableValue(ta, a[i]) - TableValue(tb, b[i]);
    if (std::isnan(v)) continue;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  *mn = lo;
  *mx = hi;
}

void AtmradBlendRow(const float* r0, const float* r1, float w, int n, float* out) {
  HWY_DYNAMIC_DISPATCH(atmradk::BlendRow)(r0, r1, w, n, out);
}

void AtmradValuesRow(const uint16_t* c, int n, const float* t, float* out) {
  HWY_DYNAMIC_DISPATCH(atmradk::ValuesRow)(c, n, t, out);
}

void AtmradDiffValuesRow(const uint16_t* a, const uint16_t* b, int n, const float* ta,
                         const float* tb, float* out) {
  HWY_DYNAMIC_DISPATCH(atmradk::DiffValuesRow)(a, b, n, ta, tb, out);
}

void AtmradCountValuesRow(const uint16_t* c, int n, float* out) {
  HWY_DYNAMIC_DISPATCH(atmradk::CountValuesRow)(c, n, out);
}

void AtmradValueRange(const float* v, int n, float* mn, float* mx) {
  HWY_DYNAMIC_DISPATCH(atmradk::ValueRange)(v, n, mn, mx);
}

void AtmradEnlargeRow(const float* src, int n, const AtmradStretch& s, uint8_t* d) {
  HWY_DYNAMIC_DISPATCH(atmradk::EnlargeRow)(src, n, s, d);
}

void AtmradInterleave(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, int n, uint8_t* out) {
  HWY_DYNAMIC_DISPATCH(atmradk::Interleave)(p0, p1, p2, n, out);
}

void AtmradCountRange(const uint16_t* c, int n, int first, int* lo, int* hi) {
  HWY_DYNAMIC_DISPATCH(atmradk::CountRange)(c, n, first, lo, hi);
}
#endif
