// Inverse integer S+P wavelet transform of the decoder, compiled once per vector unit by
// Highway from plain loops (the compiler vectorises them for each) and dispatched at run time.
// Sums wrap like 32-bit integers instead of overflowing, so a corrupt stream that slipped
// through gives garbage pixels, never undefined behaviour.
#include <algorithm>
#include <cstring>

#include "data/wt_core.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "data/wt_inverse.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace wtk {
namespace HWY_NAMESPACE {

inline int32_t Add(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
inline int32_t Sub(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }

// Inverse 1-D step on many sequences at once: element k of every lane is row k (lanes
// contiguous values at x + k * stride), so the prediction loops vectorise. Element e of lane i
// of the result goes to out[i * out_stride + e].

template <int predictor, int kLanes = 0, int kN = 0>
[[gnu::always_inline]] inline void InverseLanes(int32_t* __restrict x, size_t stride, int lanes_dyn, int n_dyn,
                  int32_t* __restrict out, size_t out_stride) {
  // Sizes known at compile time (the common 16 x 16 blocks) let the loops unroll.
  const int lanes = kLanes ? kLanes : lanes_dyn;
  const int n = kN ? kN : n_dyn;
  auto L = [x, stride](int k) -> const int32_t* { return x + size_t(k) * stride; };
  int32_t* const high = x + size_t(n) * stride;
  auto H = [high, stride](int k) { return high + size_t(k) * stride; };
  if (predictor != 0 && n >= 2) {
    for (int j = n - 1; j >= 0; j--) {
      int32_t* h = H(j);
      if (j == 0 || j == n - 1) {
        const int32_t* a = L(j == 0 ? 0 : n - 2);
        const int32_t* b = L(j == 0 ? 1 : n - 1);
        for (int i = 0; i < lanes; i++) h[i] = Add(h[i], Add(Sub(a[i], b[i]), 2) >> 2);
        continue;
      }
      const int32_t* hn = H(j + 1);
      const int32_t *lm = L(j - 1), *l0 = L(j), *lp = L(j + 1);
      if (predictor == 1) {
        for (int i = 0; i < lanes; i++) h[i] = Add(h[i], Add(Sub(lm[i], lp[i]), 2) >> 2);
      } else if (predictor == 2 || j == 1) {
        for (int i = 0; i < lanes; i++) {
          const uint32_t s = 2u * (uint32_t(lm[i]) - uint32_t(lp[i]) - uint32_t(hn[i])) +
                             (uint32_t(l0[i]) - uint32_t(lp[i])) + 4u;
          h[i] = Add(h[i], int32_t(s) >> 3);
        }
      } else {
        const int32_t* lmm = L(j - 2);
        for (int i = 0; i < lanes; i++) {
          const uint32_t s = (uint32_t(lm[i]) - uint32_t(lmm[i])) +
                             4u * (uint32_t(lm[i]) - uint32_t(l0[i])) +
                             8u * (uint32_t(l0[i]) - uint32_t(lp[i])) - 6u * uint32_t(hn[i]) + 8u;
          h[i] = Add(h[i], int32_t(s) >> 4);
        }
      }
    }
  }
  for (int k = 0; k < n; k++) {
    const int32_t* l = L(k);
    const int32_t* h = H(k);
    int32_t* o = out + 2 * k;
    for (int i = 0; i < lanes; i++) {
      const int32_t e = Add(l[i], Add(h[i], 1) >> 1);
      o[size_t(i) * out_stride] = e;
      o[size_t(i) * out_stride + 1] = Sub(e, h[i]);
    }
  }
}

template <int predictor>
[[gnu::always_inline]] inline void InverseAll(int32_t* a, int ld, int w, int h, int levels, int32_t* t) {
  for (int i = levels - 1; i >= 0; i--) {
    const int rw = w >> i, rh = h >> i;
    // Columns, with the rows of the region as lanes; the result lands transposed in t so that
    // the row step again runs over contiguous lanes and writes straight back.
    if (rw == rh && rw <= 16) {
      switch (rw) {
        case 16:
          InverseLanes<predictor, 16, 8>(a, size_t(ld), rw, rh / 2, t, size_t(rh));
          InverseLanes<predictor, 16, 8>(t, size_t(rh), rh, rw / 2, a, size_t(ld));
          continue;
        case 8:
          InverseLanes<predictor, 8, 4>(a, size_t(ld), rw, rh / 2, t, size_t(rh));
          InverseLanes<predictor, 8, 4>(t, size_t(rh), rh, rw / 2, a, size_t(ld));
          continue;
        case 4:
          InverseLanes<predictor, 4, 2>(a, size_t(ld), rw, rh / 2, t, size_t(rh));
          InverseLanes<predictor, 4, 2>(t, size_t(rh), rh, rw / 2, a, size_t(ld));
          continue;
        case 2:
          InverseLanes<predictor, 2, 1>(a, size_t(ld), rw, rh / 2, t, size_t(rh));
          InverseLanes<predictor, 2, 1>(t, size_t(rh), rh, rw / 2, a, size_t(ld));
          continue;
        default:
          break;
      }
    }
    InverseLanes<predictor>(a, size_t(ld), rw, rh / 2, t, size_t(rh));
    InverseLanes<predictor>(t, size_t(rh), rh, rw / 2, a, size_t(ld));
  }
}

void Inverse(int32_t* a, int ld, int w, int h, int levels, int predictor, int32_t* tmp) {
  switch (predictor) {
    case 0: return InverseAll<0>(a, ld, w, h, levels, tmp);
    case 1: return InverseAll<1>(a, ld, w, h, levels, tmp);
    case 2: return InverseAll<2>(a, ld, w, h, levels, tmp);
    default: return InverseAll<3>(a, ld, w, h, levels, tmp);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace wtk
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace wtk {
HWY_EXPORT(Inverse);
}  // namespace wtk

void WtInverse(int32_t* a, int ld, int w, int h, int levels, int predictor, int32_t* tmp) {
  HWY_DYNAMIC_DISPATCH(wtk::Inverse)(a, ld, w, h, levels, predictor, tmp);
}
#endif
