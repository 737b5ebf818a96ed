// Integer S+P wavelet transform, forward (the encoder's; the decoder's inverse is in
// wt_inverse.cpp). Sums wrap like 32-bit integers instead of overflowing, so a
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
