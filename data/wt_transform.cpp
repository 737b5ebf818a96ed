// Integer S+P wavelet transform. Sums wrap like 32-bit integers instead of overflowing, so a
// corrupt stream that slipped through gives garbage pixels, never undefined behaviour.
#include <algorithm>
#include <cstring>

#include "data/wt_core.h"

namespace {

inline int32_t Add(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
inline int32_t Sub(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }
inline int32_t Mul(int32_t a, uint32_t k) { return int32_t(uint32_t(a) * k); }

// Prediction of h[j] from the low band l and the original high band value hn = h[j + 1]
// (n >= 2). Same formulas forward and backward.
inline int32_t Predict(const int32_t* l, int32_t hn, int j, int n, int predictor) {
  auto d = [l](int a, int b) { return Sub(l[a], l[b]); };
  if (j == 0 || j == n - 1) return Add(d(j == 0 ? 0 : n - 2, j == 0 ? 1 : n - 1), 2) >> 2;
  switch (predictor) {
    case 1:
      return Add(d(j - 1, j + 1), 2) >> 2;
    case 2:
      return Add(Add(Mul(Sub(d(j - 1, j + 1), hn), 2), d(j, j + 1)), 4) >> 3;
    default:
      if (j == 1) return Add(Add(Mul(Sub(d(0, 2), hn), 2), d(1, 2)), 4) >> 3;
      return Add(Sub(Add(Add(Sub(0, d(j - 2, j - 1)), Mul(d(j - 1, j), 4)), Mul(d(j, j + 1), 8)),
                     Mul(hn, 6)),
                 8) >> 4;
  }
}

// One 1-D step over 2n values x[0], x[s], x[2s], ...; tmp holds 2n values.
void Forward1D(int32_t* x, int s, int n, int predictor, int32_t* tmp) {
  int32_t* l = tmp;
  int32_t* h = tmp + n;
  for (int k = 0; k < n; k++) {
    const int32_t a = x[2 * k * s], b = x[(2 * k + 1) * s];
    l[k] = Add(a, b) >> 1;
    h[k] = Sub(a, b);
  }
  for (int k = 0; k < n; k++) x[k * s] = l[k];
  if (predictor == 0 || n < 2) {
    for (int k = 0; k < n; k++) x[(n + k) * s] = h[k];
    return;
  }
  for (int j = 0; j < n; j++) {
    const int32_t hn = j + 1 < n ? h[j + 1] : 0;
    x[(n + j) * s] = Sub(h[j], Predict(l, hn, j, n, predictor));
  }
}

}  // namespace

void WtForward(int32_t* a, int ld, int w, int h, int levels, int predictor, int32_t* tmp) {
  for (int i = 0; i < levels; i++) {
    const int rw = w >> i, rh = h >> i;
    for (int y = 0; y < rh; y++) Forward1D(a + size_t(y) * ld, 1, rw / 2, predictor, tmp);
    for (int x = 0; x < rw; x++) Forward1D(a + x, ld, rh / 2, predictor, tmp);
  }
}

// Inverse 1-D step on many sequences at once: element k of every lane is row k (lanes
// contiguous values at x + k * stride), so the prediction loops vectorise. Element e of lane i
// of the result goes to out[i * out_stride + e].
namespace {

template <int predictor>
void InverseLanes(int32_t* __restrict x, size_t stride, int lanes, int n, int32_t* __restrict out,
                  size_t out_stride) {
  auto L = [x, stride](int k) -> const int32_t* { return x + size_t(k) * stride; };
  auto H = [x, stride, n](int k) { return x + size_t(n + k) * stride; };
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
void Inverse(int32_t* a, int ld, int w, int h, int levels, int32_t* t) {
  for (int i = levels - 1; i >= 0; i--) {
    const int rw = w >> i, rh = h >> i;
    // Columns, with the rows of the region as lanes; the result lands transposed in t so that
    // the row step again runs over contiguous lanes and writes straight back.
    InverseLanes<predictor>(a, size_t(ld), rw, rh / 2, t, size_t(rh));
    InverseLanes<predictor>(t, size_t(rh), rh, rw / 2, a, size_t(ld));
  }
}

}  // namespace

void WtInverse(int32_t* a, int ld, int w, int h, int levels, int predictor, int32_t* tmp) {
  switch (predictor) {
    case 0: return Inverse<0>(a, ld, w, h, levels, tmp);
    case 1: return Inverse<1>(a, ld, w, h, levels, tmp);
    case 2: return Inverse<2>(a, ld, w, h, levels, tmp);
    default: return Inverse<3>(a, ld, w, h, levels, tmp);
  }
}
