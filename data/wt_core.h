// Pieces shared by the WT decoder and encoder: adaptive models, sizes, the S+P transform.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "data/wt.h"

inline constexpr uint32_t WT_TOP = 1u << 31;
inline constexpr uint32_t WT_HALF = 1u << 30;
inline constexpr uint32_t WT_QUARTER = 1u << 29;
inline constexpr int WT_MAX_SYMBOLS = 32;
inline constexpr int WT_SETS = 31;  // model sets G_0 .. G_30

// Number of significant bits of |x|: 0 for 0, floor(log2 |x|) + 1 otherwise.
inline int WtCsize(int64_t x) {
  uint64_t m = x < 0 ? uint64_t(-x) : uint64_t(x);
  return 64 - std::countl_zero(m);
}

// Adaptive frequency model of n symbols kept sorted by frequency (index 1 most probable).
struct WtModel {
  uint16_t f[WT_MAX_SYMBOLS + 1];  // f[0] = 0 sentinel
  uint16_t c[WT_MAX_SYMBOLS + 1];  // c[i] = f[i+1] + ... + f[n], c[0] = total
  uint8_t sym[WT_MAX_SYMBOLS + 1];
  uint8_t pos[WT_MAX_SYMBOLS];  // index holding each symbol (encoder side)
  uint16_t n;
  uint16_t threshold;
};

inline void WtModelInit(WtModel* m, int n) {
  m->n = uint16_t(n);
  m->threshold = uint16_t(32 * n);  // always below 2^29 - 1 for n <= 32
  m->f[0] = 0;
  for (int i = 0; i <= n; i++) m->c[i] = uint16_t(n - i);
  for (int i = 1; i <= n; i++) {
    m->f[i] = 1;
    m->sym[i] = uint8_t(i - 1);
    m->pos[i - 1] = uint8_t(i);
  }
}

// Counts one occurrence of the entry at index i (after its interval was used). The decoder
// does not need the symbol-to-index map (kTrackPos false).
template <bool kTrackPos = true>
inline void WtModelUpdate(WtModel* m, int i) {
  const int n = m->n;
  if (m->c[0] >= m->threshold) {
    for (int j = n; j >= 1; j--) m->f[j] = uint16_t((m->f[j] + 1) >> 1);
    m->c[n] = 0;
    for (int j = n - 1; j >= 0; j--) m->c[j] = uint16_t(m->c[j + 1] + m->f[j + 1]);
  }
  if (i == 1) {
    m->f[1]++;
    m->c[0]++;
    return;
  }
  int j = i;
  const uint16_t fi = m->f[i];
  if (fi == m->f[i - 1]) {
    j = i - 1;
    while (m->f[j - 1] == fi) j--;
    const uint8_t si = m->sym[i], sj = m->sym[j];
    m->sym[i] = sj;
    m->sym[j] = si;
    if constexpr (kTrackPos) {
      m->pos[sj] = uint8_t(i);
      m->pos[si] = uint8_t(j);
    }
  }
  m->f[j]++;
  for (int k = 0; k < j; k++) m->c[k]++;
}

// All model sets of one coder run; a set is initialised on its first use after a restart.
struct WtModelSets {
  std::array<bool, WT_SETS> used{};
  std::array<WtModel*, WT_SETS> first{};  // context 0 of each set
  std::array<WtModel, (WT_SETS * (WT_SETS + 3)) / 2> store;  // sum of k + 2 for k = 0..30

  WtModelSets() {
    size_t at = 0;
    for (int k = 0; k < WT_SETS; k++) {
      first[k] = &store[at];
      at += size_t(k) + 2;
    }
  }
  void Reset() { used.fill(false); }
  // Models of set k (k + 2 contexts of k + 2 symbols), fresh at first use in a run.
  WtModel* Set(int k) {
    if (!used[k]) {
      used[k] = true;
      for (int c = 0; c < k + 2; c++) WtModelInit(&first[k][c], k + 2);
    }
    return first[k];
  }
};

// Geometry of a stream: block raster and the coefficient block handled at once.
struct WtLayout {
  int bw = 0, bh = 0;  // block width/height (S, or whole-segment padded size)
  int nbx = 0, nby = 0, nblocks = 0;
  int restart = 0;  // blocks per run, 0 = one run
};

// Fills *lay from validated params; false when levels exceed what the block allows.
bool WtMakeLayout(const WtParams& p, WtLayout* lay, std::string* err);

// Lossy shift of the quadrant at coding index qi (0 = DC, then HL/LH/HH per level step).
struct WtQuadShift {
  int shift = 0;     // values are coded >> shift
  uint32_t mask = 0; // refinement ORed into |v| of non-zero values (Q >= 2)
};
WtQuadShift WtQuadrantShift(int lossy, int levels, int qi);

// Integer S+P transform of the top-left w x h region of a row-major block (stride ld), levels
// applied as the stream does. Forward needs tmp of 2 * max(w, h) values, inverse w * h.
void WtForward(int32_t* a, int ld, int w, int h, int levels, int predictor, int32_t* tmp);
void WtInverse(int32_t* a, int ld, int w, int h, int levels, int predictor, int32_t* tmp);
