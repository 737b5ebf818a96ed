#include "data/atmrad_rows.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "data/atmrad.h"
#include "data/suplimage.h"
#include "data/suplsimd.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ATMRAD_X86 1
#endif

namespace {

constexpr float NO_DATA = std::numeric_limits<float>::quiet_NaN();

// The weights of the horizontal taps: phase 0 of source pixel b lies a third of the way back to
// b - 1, phase 2 a third of the way on to b + 1, phase 1 is b itself (as float, like the taps).
constexpr float W0 = 2.0f / 3, A0 = 1 - W0, W2 = 1.0f / 3, A2 = 1 - W2;

inline float TableValue(const float* t, uint16_t c) { return c < ATMRAD_COUNTS ? t[c] : NO_DATA; }

#ifdef ATMRAD_X86
// The stretch in eight float lanes: ramp or step, before inversion and gamma.
struct VecStretch {
  __m256 scale, shift, lo;
  bool step;
};

__attribute__((target("avx2"))) VecStretch MakeVec(const AtmradStretch& s) {
  return {_mm256_set1_ps(s.scale), _mm256_set1_ps(s.shift), _mm256_set1_ps(s.lo), s.step};
}

// Eight values to eight int32 bytes-to-be, as saturate_cast of the ramp or the step gives them
// (cvtps rounds to nearest even, like cvRound, and turns overflow into INT_MIN, which the
// saturating packs take to 0 as saturate_cast does).
__attribute__((target("avx2"))) inline __m256i Stretch8(__m256 v, const VecStretch& s) {
  if (s.step)
    return _mm256_and_si256(_mm256_castps_si256(_mm256_cmp_ps(v, s.lo, _CMP_GE_OQ)),
                            _mm256_set1_epi32(255));
  return _mm256_cvtps_epi32(_mm256_add_ps(_mm256_mul_ps(v, s.scale), s.shift));
}

// Sixteen words to sixteen bytes, saturated to 0..255 (unsigned) or -128..127.
__attribute__((target("avx2"))) inline __m128i WordsToBytes16(__m256i w, bool is_signed) {
  const __m128i lo = _mm256_castsi256_si128(w), hi = _mm256_extracti128_si256(w, 1);
  return is_signed ? _mm_packs_epi16(lo, hi) : _mm_packus_epi16(lo, hi);
}

// Two sets of eight int32 to sixteen bytes in order, saturated to 0..255 (unsigned) or to
// -128..127 (signed, for masks of 0 / -1).
__attribute__((target("avx2"))) inline __m128i Pack16(__m256i a, __m256i b, bool is_signed) {
  return WordsToBytes16(_mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8), is_signed);
}

// Whether the stretch's pixels without a value need a mask of their own. Otherwise they come
// out 0 by themselves: NaN fails the step's comparison, and on the ramp it converts to
// INT_MIN, which saturates to 0; gamma keeps that 0 when its entry 0 is.
inline bool NeedsMask(const AtmradStretch& s) { return s.inverted || s.gamma[0] != 0; }

// Stretched bytes (before inversion and gamma) and, when masked, the mask of values of sixteen
// floats; otherwise the mask is all set.
__attribute__((target("avx2"))) inline void Stretch16(__m256 a, __m256 b, const VecStretch& v,
                                                      bool masked, __m128i* c, __m128i* valid) {
  *c = Pack16(Stretch8(a, v), Stretch8(b, v), false);
  if (!masked) {
    *valid = _mm_set1_epi8(char(0xFF));
    return;
  }
  *valid = Pack16(_mm256_castps_si256(_mm256_cmp_ps(a, a, _CMP_ORD_Q)),
                  _mm256_castps_si256(_mm256_cmp_ps(b, b, _CMP_ORD_Q)), true);
}

// A 256-entry byte table by sixteen-entry byte shuffles, one half of the table for bytes below
// 128 and one for the others. In a half, x - 16 k has its top bit clear (the shuffle gives
// entry x & 15 of block k) exactly for the blocks k <= x / 16 up to x's own, and sets it (the
// shuffle gives 0) for the blocks after: the xor of the blocks' steps up to x's block leaves
// x's block. steps: AtmradStretch::gamma_steps.
__attribute__((target("avx2"))) inline __m256i Gamma32(__m256i x, const uint8_t* steps) {
  const __m256i sixteen = _mm256_set1_epi8(16);
  __m256i lo = _mm256_setzero_si256(), hi = _mm256_setzero_si256();
  __m256i i = x, j = _mm256_xor_si256(x, _mm256_set1_epi8(char(0x80)));
  for (int k = 0; k < 8; k++) {
    const __m256i a = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(steps + 16 * k)));
    const __m256i b = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(steps + 128 + 16 * k)));
    lo = _mm256_xor_si256(lo, _mm256_shuffle_epi8(a, i));
    hi = _mm256_xor_si256(hi, _mm256_shuffle_epi8(b, j));
    i = _mm256_sub_epi8(i, sixteen);
    j = _mm256_sub_epi8(j, sixteen);
  }
  return _mm256_blendv_epi8(lo, hi, x);
}

__attribute__((target("avx2"))) inline __m128i Gamma16(__m128i x, const uint8_t* steps) {
  return _mm256_castsi256_si128(Gamma32(_mm256_castsi128_si256(x), steps));
}

// Inversion, the no-value mask and gamma on sixteen stretched bytes.
// With mask, the bytes before gamma go to d and the mask of pixels with a value to mask.
__attribute__((target("avx2"))) inline void Finish16(__m128i c, __m128i valid,
                                                     const AtmradStretch& s, uint8_t* d,
                                                     uint8_t* mask = nullptr) {
  if (s.inverted) c = _mm_xor_si128(c, _mm_set1_epi8(char(0xFF)));
  if (mask) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), c);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(mask), valid);
    return;
  }
  if (s.identity_gamma) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_and_si128(c, valid));
    return;
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_and_si128(Gamma16(c, s.gamma_steps), valid));
}

__attribute__((target("avx2"))) inline void StretchValues16(__m256 a, __m256 b, const VecStretch& v,
                                                            const AtmradStretch& s, uint8_t* d,
                                                            uint8_t* mask = nullptr) {
  __m128i c, valid;
  Stretch16(a, b, v, mask || NeedsMask(s), &c, &valid);
  Finish16(c, valid, s, d, mask);
}

// A 256-entry byte table in four vectors, looked up sixty-four bytes at a time as two
// 128-entry byte permutes chosen by the top bit.
struct GammaTable {
  __m512i t[4];
};

SUPL_VBMI inline GammaTable LoadGamma(const uint8_t* gamma) {
  GammaTable g;
  for (int k = 0; k < 4; k++) g.t[k] = _mm512_loadu_si512(gamma + 64 * k);
  return g;
}

SUPL_VBMI inline __m512i Gamma64(__m512i x, const GammaTable& g) {
  return _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), _mm512_permutex2var_epi8(g.t[0], x, g.t[1]),
                                _mm512_permutex2var_epi8(g.t[2], x, g.t[3]));
}

// d[i] = gamma[d[i]] & mask[i] for n bytes, sixty-four at a time.
SUPL_VBMI void GammaVbmi(uint8_t* d, const uint8_t* mask, int n, const uint8_t* gamma) {
  const GammaTable g = LoadGamma(gamma);
  for (int i = 0; i < n; i += 64) {
    const __mmask64 live = n - i >= 64 ? ~__mmask64(0) : (__mmask64(1) << (n - i)) - 1;
    const __m512i x = Gamma64(_mm512_maskz_loadu_epi8(live, d + i), g);
    _mm512_mask_storeu_epi8(d + i, live, _mm512_and_si512(x, _mm512_maskz_loadu_epi8(live, mask + i)));
  }
}

// Eight values at v + i, less those at sub + i when there is sub.
__attribute__((target("avx2"))) inline __m256 Values8(const float* v, const float* sub, int i) {
  const __m256 x = _mm256_loadu_ps(v + i);
  return sub ? _mm256_sub_ps(x, _mm256_loadu_ps(sub + i)) : x;
}

__attribute__((target("avx2"))) int StretchRowAvx2(const float* v, const float* sub, int n,
                                                   const AtmradStretch& s, uint8_t* d, bool vbmi) {
  const VecStretch vs = MakeVec(s);
  int i = 0;
  if (!vbmi || s.identity_gamma) {
    for (; i + 16 <= n; i += 16) StretchValues16(Values8(v, sub, i), Values8(v, sub, i + 8), vs, s, d + i);
    return i;
  }
  // Gamma in blocks: the stretched bytes and their mask, then the table over the block.
  alignas(64) uint8_t mask[256];
  while (i + 16 <= n) {
    const int len = std::min(256, (n - i) & ~15);
    for (int j = 0; j < len; j += 16)
      StretchValues16(Values8(v, sub, i + j), Values8(v, sub, i + j + 8), vs, s, d + i + j,
                      mask + j);
    GammaVbmi(d + i, mask, len, s.gamma);
    i += len;
  }
  return i;
}

__attribute__((target("avx2"))) int BlendRowAvx2(const float* r0, const float* r1, float w, int n,
                                                 float* out) {
  const __m256 w0 = _mm256_set1_ps(1 - w), w1 = _mm256_set1_ps(w);
  int i = 0;
  for (; i + 8 <= n; i += 8)
    _mm256_storeu_ps(out + i, _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(r0 + i), w0),
                                            _mm256_mul_ps(_mm256_loadu_ps(r1 + i), w1)));
  return i;
}

__attribute__((target("avx2"))) int ValueRangeAvx2(const float* v, int n, float* mn, float* mx) {
  const __m256 inf = _mm256_set1_ps(std::numeric_limits<float>::infinity());
  const __m256 ninf = _mm256_set1_ps(-std::numeric_limits<float>::infinity());
  __m256 lo = inf, hi = ninf;
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256 x = _mm256_loadu_ps(v + i);
    const __m256 has = _mm256_cmp_ps(x, x, _CMP_ORD_Q);
    lo = _mm256_min_ps(lo, _mm256_blendv_ps(inf, x, has));
    hi = _mm256_max_ps(hi, _mm256_blendv_ps(ninf, x, has));
  }
  alignas(32) float l[8], h[8];
  _mm256_store_ps(l, lo);
  _mm256_store_ps(h, hi);
  for (int k = 0; k < 8; k++) {
    *mn = std::min(*mn, l[k]);
    *mx = std::max(*mx, h[k]);
  }
  return i;
}

// d[i] = lut[c[i]] (0 beyond ten bits), sixty-four counts at a time: eight 128-entry byte
// permutes, chosen by count bits 7, 8 and 9.
SUPL_VBMI int CountRowVbmi(const uint16_t* c, int n, const uint8_t* lut, uint8_t* d) {
  __m512i t[16];
  for (int k = 0; k < 16; k++) t[k] = _mm512_loadu_si512(lut + 64 * k);
  const __m512i one = _mm512_set1_epi8(1), two = _mm512_set1_epi8(2), four = _mm512_set1_epi8(4);
  alignas(64) uint8_t e[64], o[64];
  for (int j = 0; j < 64; j++) e[j] = uint8_t(2 * j), o[j] = uint8_t(2 * j + 1);
  const __m512i even = _mm512_load_si512(e), odd = _mm512_load_si512(o);
  // The last step ends at the last count, overlapping the one before with the same bytes.
  int i = 0;
  for (; i < n && n >= 64; i += 64) {
    i = std::min(i, n - 64);
    const __m512i x0 = _mm512_loadu_si512(c + i), x1 = _mm512_loadu_si512(c + i + 32);
    const __m512i low = _mm512_permutex2var_epi8(x0, even, x1);  // bits 0..7 of each count
    const __m512i high = _mm512_permutex2var_epi8(x0, odd, x1);  // bits 8..15
    const __mmask64 b7 = _mm512_movepi8_mask(low);
    const __mmask64 b8 = _mm512_test_epi8_mask(high, one), b9 = _mm512_test_epi8_mask(high, two);
    const __mmask64 ok = _mm512_cmplt_epu8_mask(high, four);
    __m512i r[8];
    for (int k = 0; k < 8; k++) r[k] = _mm512_permutex2var_epi8(t[2 * k], low, t[2 * k + 1]);
    for (int k = 0; k < 4; k++) r[k] = _mm512_mask_blend_epi8(b7, r[2 * k], r[2 * k + 1]);
    for (int k = 0; k < 2; k++) r[k] = _mm512_mask_blend_epi8(b8, r[2 * k], r[2 * k + 1]);
    _mm512_storeu_si512(d + i, _mm512_maskz_mov_epi8(ok, _mm512_mask_blend_epi8(b9, r[0], r[1])));
  }
  return i;
}

// Sixteen counts as floats in the order the 256-bit packs undo (a: counts 0-3 and 8-11, b:
// counts 4-7 and 12-15, so packing a's results with b's gives sixteen words in order), and
// the mask of those with a value, in order: 1..1023, x - 1 (wrapping) at most 1022.
__attribute__((target("avx2"))) inline void CountFloats16(const uint16_t* c, __m256i* ok, __m256* a,
                                                          __m256* b) {
  const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c));
  const __m256i t = _mm256_sub_epi16(x, _mm256_set1_epi16(1));
  *ok = _mm256_cmpeq_epi16(_mm256_min_epu16(t, _mm256_set1_epi16(ATMRAD_COUNTS - 2)), t);
  *a = _mm256_cvtepi32_ps(_mm256_unpacklo_epi16(x, _mm256_setzero_si256()));
  *b = _mm256_cvtepi32_ps(_mm256_unpackhi_epi16(x, _mm256_setzero_si256()));
}

// The ramp's words of sixteen counts in order, those without a value 0.
__attribute__((target("avx2"))) inline __m256i RampWords16(const uint16_t* c, const VecStretch& vs) {
  __m256i ok;
  __m256 a, b;
  CountFloats16(c, &ok, &a, &b);
  const __m256i ra = _mm256_cvtps_epi32(_mm256_add_ps(_mm256_mul_ps(a, vs.scale), vs.shift));
  const __m256i rb = _mm256_cvtps_epi32(_mm256_add_ps(_mm256_mul_ps(b, vs.scale), vs.shift));
  return _mm256_and_si256(_mm256_packs_epi32(ra, rb), ok);
}

__attribute__((target("avx2"))) int CountRowAvx2(const uint16_t* c, int n, const AtmradStretch& s,
                                                 uint8_t* d) {
  const VecStretch vs = MakeVec(s);
  int i = 0;
  if (!s.step && !s.inverted && s.identity_gamma) {
    // The plain ramp: its flags read once, not after every store (d may alias s).
    for (; i + 32 <= n; i += 32) {
      // packus leaves the four groups of eight bytes in the order 0 2 1 3.
      const __m256i bytes = _mm256_packus_epi16(RampWords16(c + i, vs), RampWords16(c + i + 16, vs));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), _mm256_permute4x64_epi64(bytes, 0xD8));
    }
    for (; i + 16 <= n; i += 16)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), WordsToBytes16(RampWords16(c + i, vs), false));
    return i;
  }
  for (; i + 16 <= n; i += 16) {
    __m256i ok;
    __m256 a, b;
    CountFloats16(c + i, &ok, &a, &b);
    const __m128i bytes = WordsToBytes16(_mm256_packs_epi32(Stretch8(a, vs), Stretch8(b, vs)), false);
    Finish16(bytes, WordsToBytes16(ok, true), s, d + i);
  }
  return i;
}

__attribute__((target("avx2"))) inline __m256 Gather8(const uint16_t* c, const float* t) {
  const __m256i idx = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c)));
  const __m256i in = _mm256_cmpgt_epi32(_mm256_set1_epi32(ATMRAD_COUNTS), idx);
  return _mm256_mask_i32gather_ps(_mm256_set1_ps(NO_DATA), t, idx, _mm256_castsi256_ps(in), 4);
}

__attribute__((target("avx2"))) int ValuesRowAvx2(const uint16_t* c, int n, const float* t,
                                                  float* out) {
  int i = 0;
  for (; i + 8 <= n; i += 8) _mm256_storeu_ps(out + i, Gather8(c + i, t));
  return i;
}

__attribute__((target("avx2"))) int CountValuesRowAvx2(const uint16_t* c, int n, float* out) {
  const __m256i one = _mm256_set1_epi32(1), top = _mm256_set1_epi32(ATMRAD_COUNTS - 2);
  const __m256 none = _mm256_set1_ps(NO_DATA);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i x = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i)));
    const __m256i off = _mm256_cmpgt_epi32(_mm256_sub_epi32(x, one), top);  // 0 wraps to -1: also off
    const __m256i zero = _mm256_cmpeq_epi32(x, _mm256_setzero_si256());
    const __m256 bad = _mm256_castsi256_ps(_mm256_or_si256(off, zero));
    _mm256_storeu_ps(out + i, _mm256_blendv_ps(_mm256_cvtepi32_ps(x), none, bad));
  }
  return i;
}

__attribute__((target("avx2"))) int DiffValuesRowAvx2(const uint16_t* a, const uint16_t* b, int n,
                                                      const float* ta, const float* tb, float* out) {
  int i = 0;
  for (; i + 8 <= n; i += 8) _mm256_storeu_ps(out + i, _mm256_sub_ps(Gather8(a + i, ta), Gather8(b + i, tb)));
  return i;
}

__attribute__((target("avx2"))) int DiffRowAvx2(const uint16_t* a, const uint16_t* b, int n,
                                                const float* ta, const float* tb,
                                                const AtmradStretch& s, uint8_t* d) {
  const VecStretch vs = MakeVec(s);
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m256 lo = _mm256_sub_ps(Gather8(a + i, ta), Gather8(b + i, tb));
    const __m256 hi = _mm256_sub_ps(Gather8(a + i + 8, ta), Gather8(b + i + 8, tb));
    StretchValues16(lo, hi, vs, s, d + i);
  }
  return i;
}

// Output byte j of 48 takes plane j % 3, pixel j / 3.
struct InterleaveMasks {
  alignas(16) uint8_t m[3][3][16];  // [output block][plane][byte]
  InterleaveMasks() {
    for (int b = 0; b < 3; b++)
      for (int p = 0; p < 3; p++)
        for (int i = 0; i < 16; i++) {
          const int j = 16 * b + i;
          m[b][p][i] = j % 3 == p ? uint8_t(j / 3) : 0x80;
        }
  }
};
const InterleaveMasks INTERLEAVE;

// Three planes of 32 bytes interleaved into 96: each lane's sixteen pixels by INTERLEAVE's
// shuffles, then the six blocks of sixteen bytes put in order across the lanes.
__attribute__((target("avx2"))) inline void Interleave96(__m256i v0, __m256i v1, __m256i v2,
                                                         __m256i out[3]) {
  __m256i x[3];
  for (int b = 0; b < 3; b++) {
    const __m128i* m = reinterpret_cast<const __m128i*>(INTERLEAVE.m[b]);
    x[b] = _mm256_or_si256(
        _mm256_or_si256(_mm256_shuffle_epi8(v0, _mm256_broadcastsi128_si256(_mm_load_si128(m))),
                        _mm256_shuffle_epi8(v1, _mm256_broadcastsi128_si256(_mm_load_si128(m + 1)))),
        _mm256_shuffle_epi8(v2, _mm256_broadcastsi128_si256(_mm_load_si128(m + 2))));
  }
  out[0] = _mm256_permute2x128_si256(x[0], x[1], 0x20);  // blocks 0, 1 of the low lanes
  out[1] = _mm256_permute2x128_si256(x[2], x[0], 0x30);  // low block 2, high block 0
  out[2] = _mm256_permute2x128_si256(x[1], x[2], 0x31);  // blocks 1, 2 of the high lanes
}

// Pixels i0 .. (returned) of the interleave, 32 at a time; streamed stores need out + 3 i0 on
// a 32-byte boundary.
__attribute__((target("avx2"))) int InterleaveAvx2(const uint8_t* p0, const uint8_t* p1,
                                                   const uint8_t* p2, int i0, int n, uint8_t* out,
                                                   bool stream) {
  int i = i0;
  for (; i + 32 <= n; i += 32) {
    __m256i r[3];
    Interleave96(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p0 + i)),
                 _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p1 + i)),
                 _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p2 + i)), r);
    for (int b = 0; b < 3; b++) {
      __m256i* o = reinterpret_cast<__m256i*>(out + 3 * i + 32 * b);
      if (stream) _mm256_stream_si256(o, r[b]);
      else _mm256_storeu_si256(o, r[b]);
    }
  }
  return i;
}

// 64 pixels a step: each output vector takes planes 0 and 1 by a two-source byte permute, then
// plane 2's bytes over it by a masked one.
struct InterleaveWide {
  alignas(64) uint8_t i01[3][64], i2[3][64];
  uint64_t m2[3] = {};
  InterleaveWide() {
    for (int k = 0; k < 3; k++)
      for (int b = 0; b < 64; b++) {
        const int j = 64 * k + b, plane = j % 3, pixel = j / 3;
        i01[k][b] = uint8_t(plane < 2 ? pixel + 64 * plane : 0);
        i2[k][b] = uint8_t(pixel);
        if (plane == 2) m2[k] |= uint64_t(1) << b;
      }
  }
};
const InterleaveWide INTERLEAVE_WIDE;

// Pixels i0 .. (returned) of the interleave, 64 at a time; streamed stores need out + 3 i0 on a
// 64-byte boundary.
SUPL_VBMI int InterleaveVbmi(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, int i0,
                             int n, uint8_t* out, bool stream) {
  const InterleaveWide& t = INTERLEAVE_WIDE;
  __m512i i01[3], i2[3];
  for (int k = 0; k < 3; k++) {
    i01[k] = _mm512_load_si512(t.i01[k]);
    i2[k] = _mm512_load_si512(t.i2[k]);
  }
  int i = i0;
  for (; i + 64 <= n; i += 64) {
    const __m512i a = _mm512_loadu_si512(p0 + i), b = _mm512_loadu_si512(p1 + i);
    const __m512i c = _mm512_loadu_si512(p2 + i);
    for (int k = 0; k < 3; k++) {
      const __m512i v = _mm512_mask_permutexvar_epi8(_mm512_permutex2var_epi8(a, i01[k], b),
                                                     __mmask64(t.m2[k]), i2[k], c);
      uint8_t* o = out + 3 * i + 64 * k;
      if (stream) _mm512_stream_si512(reinterpret_cast<__m512i*>(o), v);
      else _mm512_storeu_si512(o, v);
    }
  }
  return i;
}

__attribute__((target("avx2"))) inline uint16_t HorizontalMin(__m256i v) {
  const __m128i m = _mm_min_epu16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
  return uint16_t(_mm_cvtsi128_si32(_mm_minpos_epu16(m)));
}

__attribute__((target("avx2"))) int CountRangeAvx2(const uint16_t* c, int n, int first,
                                                   uint16_t* lo, uint16_t* hi) {
  const __m256i base = _mm256_set1_epi16(short(first));
  const __m256i last = _mm256_set1_epi16(short(ATMRAD_COUNTS - 1 - first));
  __m256i mn = _mm256_set1_epi16(-1), mx_inv = _mm256_set1_epi16(-1);  // max kept as ~max
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m256i t = _mm256_sub_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + i)), base);
    const __m256i ok = _mm256_cmpeq_epi16(_mm256_min_epu16(t, last), t);
    mn = _mm256_min_epu16(mn, _mm256_or_si256(t, _mm256_xor_si256(ok, _mm256_set1_epi16(-1))));
    mx_inv = _mm256_min_epu16(mx_inv, _mm256_xor_si256(_mm256_and_si256(t, ok), _mm256_set1_epi16(-1)));
  }
  *lo = HorizontalMin(mn);
  *hi = uint16_t(~HorizontalMin(mx_inv));
  return i;
}


// Thirty-two int32 (four vectors of eight in order) to 32 bytes in order, saturated to 0..255
// (unsigned) or to -128..127 (signed, for masks of 0 / -1). The packs work within lanes and
// leave groups of four in the order 0 2 4 6 1 3 5 7; one permute puts them back.
__attribute__((target("avx2"))) inline __m256i Pack32(__m256i a, __m256i b, __m256i c, __m256i d,
                                                      bool is_signed) {
  const __m256i ab = _mm256_packs_epi32(a, b), cd = _mm256_packs_epi32(c, d);
  const __m256i x = is_signed ? _mm256_packs_epi16(ab, cd) : _mm256_packus_epi16(ab, cd);
  return _mm256_permutevar8x32_epi32(x, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

// The mask of the values of eight floats as int32 0 / -1.
__attribute__((target("avx2"))) inline __m256i Valid8(__m256 v) {
  return _mm256_castps_si256(_mm256_cmp_ps(v, v, _CMP_ORD_Q));
}

// Source pixels b .. (returned) of the enlargement, 32 at a time from b = 1, the last step
// ending at pixel n - 2 and overlapping the one before with the same bytes: output bytes 3b ..
// in d. The three phases are made as planes of 32 bytes and interleaved once.
__attribute__((target("avx2"))) int EnlargeAvx2(const float* src, int n, const AtmradStretch& s,
                                                uint8_t* d) {
  if (n < 34) return 1;
  const VecStretch vs = MakeVec(s);
  const __m256 a0 = _mm256_set1_ps(A0), w0 = _mm256_set1_ps(W0);
  const __m256 a2 = _mm256_set1_ps(A2), w2 = _mm256_set1_ps(W2);
  const bool inverted = s.inverted, gamma = !s.identity_gamma, masked = NeedsMask(s);
  const uint8_t* steps = s.gamma_steps;
  for (int b = 1;; b += 32) {
    b = std::min(b, n - 33);
    const float* p = src + b;
    __m256i r[3][4], m[3][4];
    for (int k = 0; k < 4; k++) {
      const __m256 prev = _mm256_loadu_ps(p + 8 * k - 1), here = _mm256_loadu_ps(p + 8 * k);
      const __m256 next = _mm256_loadu_ps(p + 8 * k + 1);
      const __m256 v0 = _mm256_add_ps(_mm256_mul_ps(prev, a0), _mm256_mul_ps(here, w0));
      const __m256 v2 = _mm256_add_ps(_mm256_mul_ps(here, a2), _mm256_mul_ps(next, w2));
      r[0][k] = Stretch8(v0, vs), r[1][k] = Stretch8(here, vs), r[2][k] = Stretch8(v2, vs);
      if (masked) m[0][k] = Valid8(v0), m[1][k] = Valid8(here), m[2][k] = Valid8(v2);
    }
    __m256i c[3], o[3];
    for (int ph = 0; ph < 3; ph++) c[ph] = Pack32(r[ph][0], r[ph][1], r[ph][2], r[ph][3], false);
    Interleave96(c[0], c[1], c[2], o);
    if (masked) {
      for (int ph = 0; ph < 3; ph++) c[ph] = Pack32(m[ph][0], m[ph][1], m[ph][2], m[ph][3], true);
      Interleave96(c[0], c[1], c[2], c);
    }
    for (int k = 0; k < 3; k++) {
      __m256i x = o[k];
      if (inverted) x = _mm256_xor_si256(x, _mm256_set1_epi8(char(0xFF)));
      if (gamma) x = Gamma32(x, steps);
      if (masked) x = _mm256_and_si256(x, c[k]);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 3 * b + 32 * k), x);
    }
    if (b == n - 33) return n - 1;
  }
}

// GCC 12's AVX-512 intrinsics start from a self-initialised "undefined" vector, which its own
// uninitialised-use warning then flags.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The enlargement sixteen source pixels a vector. The three phases' int32 results are packed
// with saturation (packs to int16, packus to bytes: the clamp to 0..255 of saturate_cast) into
// one vector, which one byte permute puts in pixel order. Pixels without a value come out 0 at
// the end: NaN converts to INT_MIN, which saturates to 0; under inversion it is set to 255
// first; a gamma table with a non-zero entry 0 (negative gamma) takes a mask of its own.
struct EnlargeWide {
  alignas(64) uint8_t idx[64] = {};
  EnlargeWide() {
    // After the packs, 128-bit lane L holds phase 0, 1, 2, 2 of pixels 4L .. 4L + 3.
    for (int j = 0; j < 48; j++) {
      const int phase = j % 3, pixel = j / 3;
      idx[j] = uint8_t(16 * (pixel / 4) + 4 * phase + pixel % 4);
    }
  }
};
const EnlargeWide ENLARGE_WIDE;

// One phase of sixteen values as int32 bytes-to-be, with NaN at 255 under inversion.
SUPL_VBMI inline __m512i Ramp16(__m512 v, const AtmradStretch& s, __m512 scale, __m512 shift,
                                __m512 lo) {
  __m512i r;
  if (s.step) r = _mm512_maskz_mov_epi32(_mm512_cmp_ps_mask(v, lo, _CMP_GE_OQ), _mm512_set1_epi32(255));
  else r = _mm512_cvtps_epi32(_mm512_add_ps(_mm512_mul_ps(v, scale), shift));
  if (s.inverted) r = _mm512_mask_mov_epi32(r, _mm512_cmp_ps_mask(v, v, _CMP_UNORD_Q), _mm512_set1_epi32(255));
  return r;
}

// -1 where sixteen floats have a value, else 0.
SUPL_VBMI inline __m512i Valid16(__m512 v) {
  return _mm512_maskz_mov_epi32(_mm512_cmp_ps_mask(v, v, _CMP_ORD_Q), _mm512_set1_epi32(-1));
}

// Three phases of int32 (or of 0 / -1 masks, signed) to 48 bytes in pixel order.
SUPL_VBMI inline __m512i Phases48(__m512i r0, __m512i r1, __m512i r2, __m512i idx, bool is_signed) {
  const __m512i a = _mm512_packs_epi32(r0, r1), b = _mm512_packs_epi32(r2, r2);
  return _mm512_permutexvar_epi8(idx, is_signed ? _mm512_packs_epi16(a, b) : _mm512_packus_epi16(a, b));
}

// As EnlargeAvx2, sixteen source pixels a step, up to the last pixel.
SUPL_VBMI int EnlargeVbmi(const float* src, int n, const AtmradStretch& s, uint8_t* d) {
  const __m512 scale = _mm512_set1_ps(s.scale), shift = _mm512_set1_ps(s.shift);
  const __m512 lo = _mm512_set1_ps(s.lo);
  const __m512 a0 = _mm512_set1_ps(A0), w0 = _mm512_set1_ps(W0);
  const __m512 a2 = _mm512_set1_ps(A2), w2 = _mm512_set1_ps(W2);
  const __m512i idx = _mm512_load_si512(ENLARGE_WIDE.idx);
  const GammaTable table = LoadGamma(s.gamma);
  const __mmask64 bytes48 = (__mmask64(1) << 48) - 1;
  const bool gamma = !s.identity_gamma, masked = gamma && s.gamma[0] != 0;
  // The last step ends at the last pixel but one, overlapping the one before with the same
  // bytes, so that only the last pixel is left to the plain code.
  int b = 1;
  while (b < n - 1 && n >= 18) {
    b = std::min(b, n - 17);
    const float* p = src + b;
    const __m512 prev = _mm512_loadu_ps(p - 1), here = _mm512_loadu_ps(p);
    const __m512 next = _mm512_loadu_ps(p + 1);
    const __m512 x0 = _mm512_add_ps(_mm512_mul_ps(prev, a0), _mm512_mul_ps(here, w0));
    const __m512 x2 = _mm512_add_ps(_mm512_mul_ps(here, a2), _mm512_mul_ps(next, w2));
    __m512i c = Phases48(Ramp16(x0, s, scale, shift, lo), Ramp16(here, s, scale, shift, lo),
                         Ramp16(x2, s, scale, shift, lo), idx, false);
    if (s.inverted) c = _mm512_xor_si512(c, _mm512_set1_epi8(char(0xFF)));
    if (gamma) {
      c = Gamma64(c, table);
      if (masked) c = _mm512_and_si512(c, Phases48(Valid16(x0), Valid16(here), Valid16(x2), idx, true));
    }
    _mm512_mask_storeu_epi8(d + 3 * b, bytes48, c);
    b += 16;
  }
  return b;
}
#pragma GCC diagnostic pop

#endif

}  // namespace

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
  for (int half = 0; half < 256; half += 128)
    for (int i = 0; i < 128; i++)
      s.gamma_steps[half + i] = uint8_t(s.gamma[half + i] ^ (i < 16 ? 0 : s.gamma[half + i - 16]));
  return s;
}

void AtmradStretchRow(const float* v, int n, const AtmradStretch& s, uint8_t* d, int level,
                      const float* sub) {
  int i = 0;
#ifdef ATMRAD_X86
  if (level >= 1) i = StretchRowAvx2(v, sub, n, s, d, level >= 2);
#else
  (void)level;
#endif
  for (; i < n; i++) d[i] = s(sub ? v[i] - sub[i] : v[i]);
}

void AtmradCountRow(const uint16_t* c, int n, const uint8_t lut[ATMRAD_COUNTS],
                    const AtmradStretch* direct, uint8_t* d, int level) {
  int i = 0;
#ifdef ATMRAD_X86
  if (level >= 2) i = CountRowVbmi(c, n, lut, d);
  else if (level >= 1 && direct) i = CountRowAvx2(c, n, *direct, d);
#else
  (void)level;
  (void)direct;
#endif
  for (; i < n; i++) d[i] = c[i] < ATMRAD_COUNTS ? lut[c[i]] : 0;
}

void AtmradDiffRow(const uint16_t* a, const uint16_t* b, int n, const float* ta, const float* tb,
                   const AtmradStretch& s, uint8_t* d, int level) {
  int i = 0;
#ifdef ATMRAD_X86
  if (level >= 1) i = DiffRowAvx2(a, b, n, ta, tb, s, d);
#else
  (void)level;
#endif
  for (; i < n; i++) d[i] = s(TableValue(ta, a[i]) - TableValue(tb, b[i]));
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

void AtmradBlendRow(const float* r0, const float* r1, float w, int n, float* out, int level) {
  const float w0 = 1 - w;
  int i = 0;
#ifdef ATMRAD_X86
  if (level >= 1) i = BlendRowAvx2(r0, r1, w, n, out);
#else
  (void)level;
#endif
  for (; i < n; i++) out[i] = r0[i] * w0 + r1[i] * w;
}

void AtmradEnlargeRow(const float* src, int n, const AtmradStretch& s, uint8_t* d, int level) {
  auto one = [&](int b) {
    d[3 * b] = s(b == 0 ? src[0] : src[b - 1] * A0 + src[b] * W0);
    d[3 * b + 1] = s(src[b]);
    d[3 * b + 2] = s(b == n - 1 ? src[b] : src[b] * A2 + src[b + 1] * W2);
  };
  one(0);
  int b = 1;
#ifdef ATMRAD_X86
  if (level >= 2) b = EnlargeVbmi(src, n, s, d);
  else if (level >= 1) b = EnlargeAvx2(src, n, s, d);
#endif
  for (; b < n; b++) one(b);
}

void AtmradInterleave(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, int n,
                      uint8_t* out, int level, bool stream) {
  auto one = [&](int i) {
    out[3 * i] = p0[i];
    out[3 * i + 1] = p1[i];
    out[3 * i + 2] = p2[i];
  };
  int i = 0;
#ifdef ATMRAD_X86
  const int width = level >= 2 ? 64 : level >= 1 ? 32 : 0;  // pixels a step
  if (width > 0 && n >= width) {
    // Streamed from the first pixel whose bytes start a line of the step's stores (3 * 43 = 1
    // modulo 64, 3 * 11 = 1 modulo 32). The pixels before it and those after the last step
    // are each one step of plain stores that overlaps the streamed ones with the same bytes.
    const auto steps = level >= 2 ? InterleaveVbmi : InterleaveAvx2;
    const int inverse = width == 64 ? 43 : 11;
    const int head = stream ? int((width - reinterpret_cast<uintptr_t>(out) % width) * inverse % width) : 0;
    if (head > 0) steps(p0, p1, p2, 0, width, out, false);
    i = steps(p0, p1, p2, head, n, out, stream);
    if (i < n) i = steps(p0, p1, p2, n - width, n, out, false);
  }
#else
  (void)level;
  (void)stream;
#endif
  for (; i < n; i++) one(i);
}

void AtmradStreamed() {
#ifdef ATMRAD_X86
  _mm_sfence();
#endif
}

void AtmradCountRange(const uint16_t* c, int n, int first, int* lo, int* hi, int level) {
  int a = ATMRAD_COUNTS, b = -1, i = 0;
#ifdef ATMRAD_X86
  if (level >= 1) {
    uint16_t vl, vh;
    i = CountRangeAvx2(c, n, first, &vl, &vh);
    if (vl <= ATMRAD_COUNTS - 1 - first) {
      a = vl + first;
      b = vh + first;
    }
  }
#else
  (void)level;
#endif
  for (; i < n; i++)
    if (c[i] >= first && c[i] < ATMRAD_COUNTS) {
      a = std::min(a, int(c[i]));
      b = std::max(b, int(c[i]));
    }
  *lo = a;
  *hi = b;
}

void AtmradValuesRow(const uint16_t* c, int n, const float* t, float* out, int level) {
  int i = 0;
#ifdef ATMRAD_X86
  if (level >= 1) i = ValuesRowAvx2(c, n, t, out);
#else
  (void)level;
#endif
  for (; i < n; i++) out[i] = TableValue(t, c[i]);
}

void AtmradDiffValuesRow(const uint16_t* a, const uint16_t* b, int n, const float* ta,
                         const float* tb, float* out, int level) {
  int i = 0;
#ifdef ATMRAD_X86
  if (level >= 1) i = DiffValuesRowAvx2(a, b, n, ta, tb, out);
#else
  (void)level;
#endif
  for (; i < n; i++) out[i] = TableValue(ta, a[i]) - TableValue(tb, b[i]);
}

void AtmradValueRange(const float* v, int n, float* mn, float* mx, int level) {
  float lo = std::numeric_limits<float>::infinity(), hi = -lo;
  int i = 0;
#ifdef ATMRAD_X86
  if (level >= 1) i = ValueRangeAvx2(v, n, &lo, &hi);
#else
  (void)level;
#endif
  for (; i < n; i++)
    if (!std::isnan(v[i])) {
      lo = std::min(lo, v[i]);
      hi = std::max(hi, v[i]);
    }
  *mn = lo;
  *mx = hi;
}

int AtmradLevel() {
#ifdef ATMRAD_X86
  static const int level = !__builtin_cpu_supports("avx2") ? 0 : SuplCpuHasVbmi() ? 2 : 1;
  return level;
#else
  return 0;
#endif
}

void AtmradCountValuesRow(const uint16_t* c, int n, float* out, int level) {
  int i = 0;
#ifdef ATMRAD_X86
  if (level >= 1) i = CountValuesRowAvx2(c, n, out);
#else
  (void)level;
#endif
  for (; i < n; i++) out[i] = c[i] != 0 && c[i] < ATMRAD_COUNTS ? float(c[i]) : NO_DATA;
}
