#include "data/suplresize.h"

#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "data/supltsan.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SUPL_X86 1
#endif

#include "data/suplalloc.h"
#include "data/suplimage.h"
#include "data/suplsimd.h"

// The arithmetic below mirrors OpenCV 4's 8-bit resize: weights in 11-bit fixed point from
// float positions, integer horizontal sums, and its two vertical roundings. It must be built
// without floating-point contraction (no FMA in the target), as OpenCV's baseline code is.

namespace {

constexpr int COEF_SCALE = 1 << 11;
// Output rows per parallel stripe: each stripe recomputes the few source rows it starts with.
constexpr int STRIPE_ROWS = 96;

// Source position of destination index d of an axis enlarged three times: floor and fraction
// of (d + 0.5) / 3 - 0.5, computed in double, rounded to float, split in float.
void Position(int d, int* s, float* f) {
  const double scale = 1.0 / 3.0;
  const float fx = float((d + 0.5) * scale - 0.5);
  *s = cvFloor(fx);
  *f = fx - float(*s);
}

void CubicWeights(float x, int16_t w[4]) {
  const float A = -0.75f;
  float c[4];
  c[0] = ((A * (x + 1) - 5 * A) * (x + 1) + 8 * A) * (x + 1) - 4 * A;
  c[1] = ((A + 2) * x - (A + 3)) * x * x + 1;
  c[2] = ((A + 2) * (1 - x) - (A + 3)) * (1 - x) * (1 - x) + 1;
  c[3] = 1.f - c[0] - c[1] - c[2];
  for (int k = 0; k < 4; k++) w[k] = cv::saturate_cast<short>(c[k] * COEF_SCALE);
}

// ---------------------------------------------------------------------------------------------
// Bicubic: one plane, laid out by phase (plane p holds destination columns 3b + p at index b),
// so that the horizontal taps of eight neighbouring b are eight neighbouring source bytes.

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
    Position(d, &s, &f);
    if (f != last[d % 3] || d < 3) CubicWeights(f, t.w[d].data());
    else t.w[d] = t.w[d - 3];
    last[d % 3] = f;
    t.first[d] = s - 1;
    for (int k = 0; k < 4; k++) t.idx[d][k] = std::clamp(s - 1 + k, 0, n - 1);
  }
  return t;
}

// Horizontal tables by phase: chunks of sixteen neighbouring b whose taps are plain shifted runs.
struct CubicColumns {
  int n = 0;
  CubicTaps taps;
  // [phase][chunk]: first tap in a row padded by ROW_PAD edge pixels on each side, or INT_MIN
  // (the last chunk ends at n, overlapping the one before); the chunks' weights as int16 pairs
  // of taps 0, 1 and 2, 3 in the order of the pair-wise sums.
  std::array<std::vector<int>, 3> run16;
  std::array<std::vector<int16_t>, 3> pairs;  // [phase][64 chunk + 16 vector + 2 lane + tap]
};

constexpr int ROW_PAD = 8;

// Chunk ch of sixteen starts at b = 16 ch, the last at n - 16.
inline int Chunk16Start(int ch, int chunks, int n) { return ch + 1 == chunks && n % 16 ? n - 16 : 16 * ch; }

// Output i of a chunk of sixteen as the 256-bit pair sums give them: the low 128-bit lane holds
// outputs 0..3 (first vector) and 4..7 (second), the high lane 8..11 and 12..15.
inline int PairSlot(int i) { return (i / 4 % 2) * 8 + (i / 8) * 4 + i % 4; }

CubicColumns MakeCubicColumns(int n) {
  CubicColumns c;
  c.n = n;
  c.taps = MakeCubicTaps(n);
  for (int p = 0; p < 3; p++) {
    const int chunks16 = (n + 15) / 16 * (n >= 16);
    c.run16[p].assign(size_t(chunks16), INT_MIN);
    c.pairs[p].assign(size_t(chunks16) * 64, 0);
    for (int ch = 0; ch < chunks16; ch++) {
      const int b0 = Chunk16Start(ch, chunks16, n);
      const int first = c.taps.first[3 * b0 + p];
      // The loads stay inside the padded row, whose edge pixels stand for the clamped taps.
      bool ok = first >= -ROW_PAD && first + 3 + 16 <= n + ROW_PAD;
      for (int i = 0; i < 16 && ok; i++) ok = c.taps.first[3 * (b0 + i) + p] == first + i;
      if (ok) c.run16[p][ch] = first;
      for (int i = 0; i < 16; i++) {
        // Vector v (0: taps 0, 1 of outputs in the first vector, 1: the second, 2, 3: taps 2, 3).
        const int slot = PairSlot(i), v = slot / 8, j = slot % 8;
        const auto& w = c.taps.w[3 * (b0 + i) + p];
        for (int t = 0; t < 2; t++) {
          c.pairs[p][size_t(64 * ch + 16 * v + 2 * j + t)] = w[t];
          c.pairs[p][size_t(64 * ch + 16 * (v + 2) + 2 * j + t)] = w[2 + t];
        }
      }
    }
  }
  return c;
}

// Vertical weights (0, 2048, 0, 0): the row at a source row, every third one.
inline bool IsCentre(const int16_t* beta) { return beta[0] == 0 && beta[2] == 0 && beta[3] == 0; }

// Whether destination rows dy .. dy + 2 (below y1) are a group: a centre row between two rows
// whose taps are the source rows around it, five neighbouring rows in all.
inline bool IsCubicGroup(const CubicTaps& rows, int dy, int y1) {
  return dy + 3 <= y1 && IsCentre(rows.w[dy + 1].data()) && !IsCentre(rows.w[dy].data()) &&
         !IsCentre(rows.w[dy + 2].data());
}

// The rows of sums, the vertical weights and the destination rows of the group at dy; sums(r)
// gives source row r's sums.
struct CubicGroup {
  const float* s[3][4];
  const int16_t* beta[3];
  uint8_t* d[3];
  template <class Sums>
  CubicGroup(const CubicTaps& rows, int dy, Sums& sums, cv::Mat& out) {
    for (int j = 0; j < 3; j++) {
      for (int k = 0; k < 4; k++) s[j][k] = sums(rows.idx[dy + j][k]);
      beta[j] = rows.w[dy + j].data();
      d[j] = out.ptr<uint8_t>(dy + j);
    }
  }
};

inline int32_t CubicSum(const uint8_t* g, const CubicTaps& t, int d) {
  const auto& i = t.idx[d];
  const auto& w = t.w[d];
  return g[i[0]] * w[0] + g[i[1]] * w[1] + g[i[2]] * w[2] + g[i[3]] * w[3];
}

// The vertical step: OpenCV's vector code (float, round half to even) for the first
// width & ~7 outputs of a row, its integer code (round half up) for the rest.
inline uint8_t CubicFloat(int32_t s0, int32_t s1, int32_t s2, int32_t s3, const float fb[4]) {
  const float t = float(s0) * fb[0] + (float(s1) * fb[1] + (float(s2) * fb[2] + float(s3) * fb[3]));
  return cv::saturate_cast<uint8_t>(cv::saturate_cast<short>(int(std::nearbyint(t))));
}

inline uint8_t CubicInt(int32_t s0, int32_t s1, int32_t s2, int32_t s3, const int16_t b[4]) {
  return cv::saturate_cast<uint8_t>((s0 * b[0] + s1 * b[1] + s2 * b[2] + s3 * b[3] + (1 << 21)) >> 22);
}

void CubicRowScalar(const uint8_t* g, const CubicColumns& c, int32_t* h /* [3][n] */) {
  for (int p = 0; p < 3; p++)
    for (int b = 0; b < c.n; b++) h[p * c.n + b] = CubicSum(g, c.taps, 3 * b + p);
}

// Phase planes [3][n] to destination order (column 3b + p at index 3b + p), as floats: the
// sums stay far below 2^24, so the float holds them exactly and is what the vertical step reads.
void ToColumnsScalar(const int32_t* planar, int n, float* h) {
  for (int b = 0; b < n; b++)
    for (int p = 0; p < 3; p++) h[3 * b + p] = float(planar[p * n + b]);
}

void CubicVerticalScalar(const float* const s[4], const int16_t beta[4], int n, uint8_t* o) {
  float fb[4];
  for (int k = 0; k < 4; k++) fb[k] = beta[k] * (1.f / float(COEF_SCALE * COEF_SCALE));
  auto at = [&](int k, int i) { return int32_t(s[k][i]); };
  for (int i = 0; i < 3 * n; i++) o[i] = CubicFloat(at(0, i), at(1, i), at(2, i), at(3, i), fb);
}

// Each grey of a destination row to its three equal bytes.
void SpreadScalar(const uint8_t* o, int width, uint8_t* out) {
  for (int x = 0; x < width; x++) out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = o[x];
}

#ifdef SUPL_X86
__attribute__((target("avx2"))) inline __m256 LoadFloats(const float* q) { return _mm256_loadu_ps(q); }

__attribute__((target("avx2"))) inline void StoreFloats(float* d, __m256i v) {
  _mm256_storeu_ps(d, _mm256_cvtepi32_ps(v));
}

// Eight sums of each phase (b .. b + 7) to 24 floats in destination order: each output vector
// takes its values from all three phases at fixed lanes.
__attribute__((target("avx2"))) inline void Columns24(__m256i a, __m256i p, __m256i c, float* h) {
  const __m256i i0 = _mm256_setr_epi32(0, 0, 0, 1, 1, 1, 2, 2);
  const __m256i i1 = _mm256_setr_epi32(2, 3, 3, 3, 4, 4, 4, 5);
  const __m256i i2 = _mm256_setr_epi32(5, 5, 6, 6, 6, 7, 7, 7);
  StoreFloats(h, _mm256_blend_epi32(_mm256_blend_epi32(_mm256_permutevar8x32_epi32(a, i0), _mm256_permutevar8x32_epi32(p, i0), 0x92),
                            _mm256_permutevar8x32_epi32(c, i0), 0x24));
  StoreFloats(h + 8, _mm256_blend_epi32(_mm256_blend_epi32(_mm256_permutevar8x32_epi32(a, i1), _mm256_permutevar8x32_epi32(p, i1), 0x24),
                                _mm256_permutevar8x32_epi32(c, i1), 0x49));
  StoreFloats(h + 16, _mm256_blend_epi32(_mm256_blend_epi32(_mm256_permutevar8x32_epi32(a, i2), _mm256_permutevar8x32_epi32(p, i2), 0x49),
                                 _mm256_permutevar8x32_epi32(c, i2), 0x92));
}

__attribute__((target("avx2"))) inline __m256i Bytes16(const uint8_t* q) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)));
}

// Sums of sixteen b (lo: b0 .. b0 + 7, hi: b0 + 8 .. b0 + 15) of one phase of chunk ch: pairs of
// neighbouring bytes times pairs of taps (vpmaddwd), exact in int32 like the plain sums. g is
// padded by ROW_PAD edge pixels; a chunk whose taps are no run takes the plain sums.
__attribute__((target("avx2"))) inline void PhaseSums(const uint8_t* g, const CubicColumns& c, int p,
                                                      int ch, int b0, __m256i* lo, __m256i* hi) {
  const int first = c.run16[p][size_t(ch)];
  if (first == INT_MIN) {
    alignas(32) int32_t v[16];
    for (int i = 0; i < 16; i++) v[i] = CubicSum(g, c.taps, 3 * (b0 + i) + p);
    *lo = _mm256_load_si256(reinterpret_cast<const __m256i*>(v));
    *hi = _mm256_load_si256(reinterpret_cast<const __m256i*>(v + 8));
    return;
  }
  const uint8_t* q = g + first;
  const __m256i x0 = Bytes16(q), x1 = Bytes16(q + 1), x2 = Bytes16(q + 2), x3 = Bytes16(q + 3);
  const __m256i* w = reinterpret_cast<const __m256i*>(c.pairs[p].data() + 64 * ch);
  const __m256i l = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(x0, x1), _mm256_loadu_si256(w)),
                                     _mm256_madd_epi16(_mm256_unpacklo_epi16(x2, x3), _mm256_loadu_si256(w + 2)));
  const __m256i u = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(x0, x1), _mm256_loadu_si256(w + 1)),
                                     _mm256_madd_epi16(_mm256_unpackhi_epi16(x2, x3), _mm256_loadu_si256(w + 3)));
  *lo = _mm256_permute2x128_si256(l, u, 0x20);
  *hi = _mm256_permute2x128_si256(l, u, 0x31);
}

// One source row's horizontal sums in destination order, as floats, sixteen b of all three
// phases a step; g is padded by ROW_PAD edge pixels on each side.
__attribute__((target("avx2"))) void CubicRowAvx2(const uint8_t* g, const CubicColumns& c,
                                                  int32_t* planar, float* h) {
  const int n = c.n;
  const int chunks = int(c.run16[0].size());
  if (chunks == 0) {
    CubicRowScalar(g, c, planar);
    ToColumnsScalar(planar, n, h);
    return;
  }
  for (int ch = 0; ch < chunks; ch++) {
    const int b0 = Chunk16Start(ch, chunks, n);
    __m256i l0, h0, l1, h1, l2, h2;
    PhaseSums(g, c, 0, ch, b0, &l0, &h0);
    PhaseSums(g, c, 1, ch, b0, &l1, &h1);
    PhaseSums(g, c, 2, ch, b0, &l2, &h2);
    Columns24(l0, l1, l2, h + 3 * b0);
    Columns24(h0, h1, h2, h + 3 * (b0 + 8));
  }
}

// The byte shuffles that spread 32 greys to 96 bytes: six 16-byte pieces, three from each
// half, made in pairs.
struct Spread32Masks {
  __m256i m01, m20, m12;
};

__attribute__((target("avx2"))) inline Spread32Masks LoadSpread32() {
  const __m128i m0 = _mm_load_si128(reinterpret_cast<const __m128i*>(SUPL_SPREAD.m[0]));
  const __m128i m1 = _mm_load_si128(reinterpret_cast<const __m128i*>(SUPL_SPREAD.m[1]));
  const __m128i m2 = _mm_load_si128(reinterpret_cast<const __m128i*>(SUPL_SPREAD.m[2]));
  return {_mm256_set_m128i(m1, m0), _mm256_set_m128i(m0, m2), _mm256_set_m128i(m2, m1)};
}

__attribute__((target("avx2"))) inline void Spread32(__m128i v, __m128i w, const Spread32Masks& m,
                                                     uint8_t* out) {
  __m256i* d = reinterpret_cast<__m256i*>(out);
  _mm256_storeu_si256(d, _mm256_shuffle_epi8(_mm256_set_m128i(v, v), m.m01));
  _mm256_storeu_si256(d + 1, _mm256_shuffle_epi8(_mm256_set_m128i(w, v), m.m20));
  _mm256_storeu_si256(d + 2, _mm256_shuffle_epi8(_mm256_set_m128i(w, w), m.m12));
}

__attribute__((target("avx2"))) void SpreadAvx2(const uint8_t* o, int width, uint8_t* out) {
  const Spread32Masks m = LoadSpread32();
  int x = 0;
  for (; x + 32 <= width; x += 32)
    Spread32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(o + x)),
             _mm_loadu_si128(reinterpret_cast<const __m128i*>(o + x + 16)), m, out + 3 * x);
  for (; x + 16 <= width; x += 16)
    SuplSpread16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(o + x)), out + 3 * x);
  for (; x < width; x++) out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = o[x];
}

// The vertical step's weights of a row as floats.
struct CubicBeta8 {
  __m256 b[4];
};

__attribute__((target("avx2"))) inline CubicBeta8 MakeBeta8(const int16_t beta[4]) {
  CubicBeta8 v;
  for (int k = 0; k < 4; k++) v.b[k] = _mm256_set1_ps(beta[k] * (1.f / float(COEF_SCALE * COEF_SCALE)));
  return v;
}

// Destination values [i, i + 8) of a row before saturation: OpenCV's vector sum (float, round
// half to even). A centre row (weights 0, 2048, 0, 0) is its one product: the float sum of the
// other taps is a zero, and adding a zero leaves the product as it is.
template <bool CENTRE>
__attribute__((target("avx2"))) inline __m256i CubicRound8(const float* const s[4], int i,
                                                           const CubicBeta8& v) {
  if (CENTRE) return _mm256_cvtps_epi32(_mm256_mul_ps(LoadFloats(s[1] + i), v.b[1]));
  return _mm256_cvtps_epi32(_mm256_add_ps(
      _mm256_mul_ps(LoadFloats(s[0] + i), v.b[0]),
      _mm256_add_ps(_mm256_mul_ps(LoadFloats(s[1] + i), v.b[1]),
                    _mm256_add_ps(_mm256_mul_ps(LoadFloats(s[2] + i), v.b[2]),
                                  _mm256_mul_ps(LoadFloats(s[3] + i), v.b[3])))));
}

// Destination values [i, i + 32) of a row, saturated to bytes and spread to three each.
template <bool CENTRE>
__attribute__((target("avx2"))) inline void CubicChunk32(const float* const s[4], int i,
                                                         const CubicBeta8& v,
                                                         const Spread32Masks& m, uint8_t* out) {
  const __m256i q = _mm256_packus_epi16(
      _mm256_packs_epi32(CubicRound8<CENTRE>(s, i, v), CubicRound8<CENTRE>(s, i + 8, v)),
      _mm256_packs_epi32(CubicRound8<CENTRE>(s, i + 16, v), CubicRound8<CENTRE>(s, i + 24, v)));
  // The packs work per 128-bit lane: dwords come out as values 0-3, 8-11, 16-19, 24-27, 4-7, ...
  const __m256i r = _mm256_permutevar8x32_epi32(q, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
  Spread32(_mm256_castsi256_si128(r), _mm256_extracti128_si256(r, 1), m, out + 3 * i);
}

// The values of a row from `from` on (fewer than 32 to the float end, then the integer tail)
// through o, spread to three bytes each.
template <bool CENTRE>
__attribute__((target("avx2"))) void CubicRowEndAvx2(const float* const s[4], int from,
                                                     const int16_t beta[4], const CubicBeta8& v,
                                                     int width, uint8_t* o, uint8_t* out) {
  const int vec_end = width & ~7;
  int i = from;
  for (; i + 8 <= vec_end; i += 8) {
    const __m256i r = CubicRound8<CENTRE>(s, i, v);
    const __m128i w = _mm_packs_epi32(_mm256_castsi256_si128(r), _mm256_extracti128_si256(r, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o + i), _mm_packus_epi16(w, w));
  }
  for (; i < width; i++)
    o[i] = CubicInt(int32_t(s[0][i]), int32_t(s[1][i]), int32_t(s[2][i]), int32_t(s[3][i]), beta);
  SpreadAvx2(o + from, width - from, out + 3 * from);
}

// One destination row: the vertical step and the spreading to three bytes in one pass.
template <bool CENTRE>
__attribute__((target("avx2"))) void CubicVerticalRowAvx2(const float* const s[4],
                                                          const int16_t beta[4], int n,
                                                          uint8_t* o, uint8_t* out) {
  const CubicBeta8 v = MakeBeta8(beta);
  const Spread32Masks m = LoadSpread32();
  const int width = 3 * n, vec_end = width & ~7;
  int i = 0;
  for (; i + 32 <= vec_end; i += 32) CubicChunk32<CENTRE>(s, i, v, m, out);
  CubicRowEndAvx2<CENTRE>(s, i, beta, v, width, o, out);
}

// Three destination rows at once, the phases of one source row: their taps are five
// neighbouring rows of sums, so each chunk of those comes from the cache once for all three.
__attribute__((target("avx2"))) void CubicVerticalThreeAvx2(const float* const s[3][4],
                                                            const int16_t* const beta[3], int n,
                                                            uint8_t* o, uint8_t* const out[3]) {
  const CubicBeta8 v0 = MakeBeta8(beta[0]), v1 = MakeBeta8(beta[1]), v2 = MakeBeta8(beta[2]);
  const Spread32Masks m = LoadSpread32();
  const int width = 3 * n, vec_end = width & ~7;
  int i = 0;
  for (; i + 32 <= vec_end; i += 32) {
    CubicChunk32<false>(s[0], i, v0, m, out[0]);
    CubicChunk32<true>(s[1], i, v1, m, out[1]);
    CubicChunk32<false>(s[2], i, v2, m, out[2]);
  }
  CubicRowEndAvx2<false>(s[0], i, beta[0], v0, width, o, out[0]);
  CubicRowEndAvx2<true>(s[1], i, beta[1], v1, width, o, out[1]);
  CubicRowEndAvx2<false>(s[2], i, beta[2], v2, width, o, out[2]);
}
#endif

// Grey bytes of a row of counts, as the display image has them (SuplGreyTable).
void GreyRowScalar(const uint16_t* c, int n, uint8_t* g) {
  const uint8_t* grey = SuplGreyTable();
  for (int x = 0; x < n; x++) g[x] = grey[std::min<unsigned>(c[x], 1024)];
}

#ifdef SUPL_X86
__attribute__((target("avx2"))) void GreyRowAvx2(const uint16_t* c, int n, uint8_t* g) {
  int x = 0;
  for (; x + 16 <= n; x += 16) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(g + x), SuplGrey16(v));
  }
  GreyRowScalar(c + x, n - x, g + x);
}

// Grey row r of src (CV_8UC1, or counts made grey) at g[0..cols), with pad copies of its edge
// pixels on each side, so that the vector taps read neighbours without clamping.
void PaddedGreyRow(const cv::Mat& src, int r, int pad, uint8_t* g) {
  const int n = src.cols;
  if (src.depth() == CV_8U) std::memcpy(g, src.ptr<uint8_t>(r), size_t(n));
  else GreyRowAvx2(src.ptr<uint16_t>(r), n, g);
  std::fill_n(g - pad, pad, g[0]);
  std::fill_n(g + n, pad, g[n - 1]);
}
#endif

#ifdef SUPL_X86
// The AVX-512 level works in destination order throughout. Each source row is first copied
// into a buffer padded with its edge pixels, so a tap reads g[first + k] without clamping;
// then the 48 destination values of 16 neighbouring source columns take all their taps from
// one 64-byte load by byte permutation, the same for every chunk whose taps follow the
// threefold pattern. The horizontal sums are kept as floats, the form the vertical step uses.
// GCC 12's AVX-512 intrinsics start their results from a self-initialised "undefined" vector,
// which its own uninitialised-use warning then flags.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

constexpr int CUBIC_PAD = 16;  // bytes of the padded row before its first pixel

struct CubicWide {
  int n = 0;
  int chunks = 0;                // of 48 destination values; the last may be partial
  std::vector<uint8_t> regular;  // per chunk: its taps follow the pattern
  std::vector<int16_t> w01, w23; // per destination value: weight pairs (w0, w1), (w2, w3)
  // [16-value piece][tap pair]: byte 4i (2i + 1 for the pair's second tap) of a piece is the
  // load's index of value i's tap; the odd bytes are masked to zero, making 16-bit lanes.
  alignas(64) uint8_t perm[3][2][64] = {};
  // 64 vertical results packed by lanes to destination bytes three times over.
  alignas(64) uint8_t spread[3][64] = {};
};

// Index in the 64-byte load (taken from source column 16c - 2) of tap k of value j of a chunk.
constexpr int WideTap(int j, int k) { return j / 3 + k + (j % 3 == 0 ? 0 : 1); }

CubicWide MakeCubicWide(const CubicTaps& t, int n) {
  CubicWide w;
  w.n = n;
  w.chunks = (3 * n + 47) / 48;
  w.regular.assign(size_t(w.chunks), 1);
  w.w01.assign(size_t(w.chunks) * 96, 0);
  w.w23.assign(size_t(w.chunks) * 96, 0);
  for (int d = 0; d < 3 * n; d++) {
    const int c = d / 48, j = d % 48;
    if (t.first[d] != 16 * c - 2 + WideTap(j, 0)) w.regular[size_t(c)] = 0;
    w.w01[2 * size_t(d)] = t.w[d][0];
    w.w01[2 * size_t(d) + 1] = t.w[d][1];
    w.w23[2 * size_t(d)] = t.w[d][2];
    w.w23[2 * size_t(d) + 1] = t.w[d][3];
  }
  for (int q = 0; q < 3; q++)
    for (int i = 0; i < 16; i++)
      for (int pair = 0; pair < 2; pair++) {
        w.perm[q][pair][4 * i] = uint8_t(WideTap(16 * q + i, 2 * pair));
        w.perm[q][pair][4 * i + 2] = uint8_t(WideTap(16 * q + i, 2 * pair + 1));
      }
  // Packing four vectors of 16 results with packs/packus leaves result 16g + 4l + i (vector
  // g, 128-bit lane l) at byte 16l + 4g + i; output byte o shows result o / 3.
  for (int piece = 0; piece < 3; piece++)
    for (int b = 0; b < 64; b++) {
      const int x = (64 * piece + b) / 3;
      w.spread[piece][b] = uint8_t(16 * ((x % 16) / 4) + 4 * (x / 16) + x % 4);
    }
  return w;
}

SUPL_VBMI void CubicRowVbmi(const uint8_t* gp, const CubicWide& w, const CubicTaps& t, float* h) {
  const uint8_t* g = gp + CUBIC_PAD;
  const __mmask64 even = 0x5555555555555555ull;
  __m512i perm[3][2];
  for (int q = 0; q < 3; q++)
    for (int pair = 0; pair < 2; pair++) perm[q][pair] = _mm512_load_si512(w.perm[q][pair]);
  for (int c = 0; c < w.chunks; c++) {
    float* hc = h + 48 * c;
    if (!w.regular[size_t(c)]) {
      for (int d = 48 * c; d < std::min(48 * c + 48, 3 * w.n); d++) h[d] = float(CubicSum(g, t, d));
      continue;
    }
    const __m512i src = _mm512_loadu_si512(g + 16 * c - 2);
    const int16_t* w01 = w.w01.data() + 96 * size_t(c);
    const int16_t* w23 = w.w23.data() + 96 * size_t(c);
    for (int q = 0; q < 3; q++) {
      const __m512i a = _mm512_maskz_permutexvar_epi8(even, perm[q][0], src);
      const __m512i b = _mm512_maskz_permutexvar_epi8(even, perm[q][1], src);
      const __m512i sum = _mm512_add_epi32(_mm512_madd_epi16(a, _mm512_loadu_si512(w01 + 32 * q)),
                                           _mm512_madd_epi16(b, _mm512_loadu_si512(w23 + 32 * q)));
      _mm512_storeu_ps(hc + 16 * q, _mm512_cvtepi32_ps(sum));
    }
  }
}

// Vertical weights of one destination row as the float factors of the vector code.
struct CubicBeta {
  float fb[4];
  __m512 b[4];
};

SUPL_VBMI inline CubicBeta MakeBeta(const int16_t beta[4]) {
  CubicBeta v;
  for (int k = 0; k < 4; k++) {
    v.fb[k] = beta[k] * (1.f / float(COEF_SCALE * COEF_SCALE));
    v.b[k] = _mm512_set1_ps(v.fb[k]);
  }
  return v;
}

// A row whose weights are (0, 2048, 0, 0) takes its one tap alone: adding the zero products
// leaves float(s1) * fb1 as it is.
template <bool CENTRE>
SUPL_VBMI inline __m512i CubicRound16(const float* const s[4], int i, const CubicBeta& v) {
  if (CENTRE) return _mm512_cvtps_epi32(_mm512_mul_ps(_mm512_loadu_ps(s[1] + i), v.b[1]));
  return _mm512_cvtps_epi32(_mm512_add_ps(
      _mm512_mul_ps(_mm512_loadu_ps(s[0] + i), v.b[0]),
      _mm512_add_ps(_mm512_mul_ps(_mm512_loadu_ps(s[1] + i), v.b[1]),
                    _mm512_add_ps(_mm512_mul_ps(_mm512_loadu_ps(s[2] + i), v.b[2]),
                                  _mm512_mul_ps(_mm512_loadu_ps(s[3] + i), v.b[3])))));
}

// Destination values [i, i + 64) of a row, saturated to bytes and spread to three each.
template <bool CENTRE>
SUPL_VBMI inline void CubicChunk64(const float* const s[4], int i, const CubicBeta& v,
                                   const __m512i m[3], uint8_t* out) {
  const __m512i q = _mm512_packus_epi16(
      _mm512_packs_epi32(CubicRound16<CENTRE>(s, i, v), CubicRound16<CENTRE>(s, i + 16, v)),
      _mm512_packs_epi32(CubicRound16<CENTRE>(s, i + 32, v), CubicRound16<CENTRE>(s, i + 48, v)));
  uint8_t* d = out + 3 * i;
  _mm512_storeu_si512(d, _mm512_permutexvar_epi8(m[0], q));
  _mm512_storeu_si512(d + 64, _mm512_permutexvar_epi8(m[1], q));
  _mm512_storeu_si512(d + 128, _mm512_permutexvar_epi8(m[2], q));
}

// The values of a row from `from` on (fewer than 64 to the float end, then the integer tail)
// through o, spread to three bytes each.
template <bool CENTRE>
SUPL_VBMI void CubicRowEnd(const float* const s[4], int from, const int16_t beta[4],
                           const CubicBeta& v, int width, uint8_t* o, uint8_t* out) {
  const int vec_end = width & ~7;
  int i = from;
  for (; i + 16 <= vec_end; i += 16) {
    const __m512i r = _mm512_max_epi32(CubicRound16<CENTRE>(s, i, v), _mm512_setzero_si512());
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + i), _mm512_cvtusepi32_epi8(r));
  }
  auto at = [&](int k) { return int32_t(s[k][i]); };
  for (; i < vec_end; i++) o[i] = CubicFloat(at(0), at(1), at(2), at(3), v.fb);
  for (; i < width; i++) o[i] = CubicInt(at(0), at(1), at(2), at(3), beta);
  SpreadAvx2(o + from, width - from, out + 3 * from);
}

// One destination row: the vertical step and the spreading to three bytes in one pass.
template <bool CENTRE>
SUPL_VBMI void CubicVerticalVbmi(const float* const s[4], const int16_t beta[4], const CubicWide& w,
                                 uint8_t* o, uint8_t* out) {
  const CubicBeta v = MakeBeta(beta);
  const __m512i m[3] = {_mm512_load_si512(w.spread[0]), _mm512_load_si512(w.spread[1]),
                        _mm512_load_si512(w.spread[2])};
  const int width = 3 * w.n, vec_end = width & ~7;
  int i = 0;
  for (; i + 64 <= vec_end; i += 64) CubicChunk64<CENTRE>(s, i, v, m, out);
  CubicRowEnd<CENTRE>(s, i, beta, v, width, o, out);
}

// Three destination rows at once, the phases of one source row: their taps are five
// neighbouring rows of sums, so each chunk of those is brought in once for all three.
SUPL_VBMI void CubicVerticalThree(const float* const s[3][4], const int16_t* const beta[3],
                                  const CubicWide& w, uint8_t* o, uint8_t* const out[3]) {
  const CubicBeta v0 = MakeBeta(beta[0]), v1 = MakeBeta(beta[1]), v2 = MakeBeta(beta[2]);
  const __m512i m[3] = {_mm512_load_si512(w.spread[0]), _mm512_load_si512(w.spread[1]),
                        _mm512_load_si512(w.spread[2])};
  const int width = 3 * w.n, vec_end = width & ~7;
  int i = 0;
  for (; i + 64 <= vec_end; i += 64) {
    CubicChunk64<false>(s[0], i, v0, m, out[0]);
    CubicChunk64<true>(s[1], i, v1, m, out[1]);
    CubicChunk64<false>(s[2], i, v2, m, out[2]);
  }
  CubicRowEnd<false>(s[0], i, beta[0], v0, width, o, out[0]);
  CubicRowEnd<true>(s[1], i, beta[1], v1, width, o, out[1]);
  CubicRowEnd<false>(s[2], i, beta[2], v2, width, o, out[2]);
}

void CubicStripeVbmi(const cv::Mat& src, const CubicTaps& taps, const CubicWide& wide,
                     const CubicTaps& rows, int y0, int y1, cv::Mat& out) {
  const int n = src.cols;
  std::vector<uint8_t> gp(size_t(n) + CUBIC_PAD + 96);
  uint8_t* g = gp.data() + CUBIC_PAD;
  const size_t plane = size_t(wide.chunks) * 48 + 64;
  // Eight slots by source row: the five rows of a group of three never collide. Every value
  // the vertical step reads is written first, so the ring is not cleared.
  constexpr int SLOTS = 8;
  const auto ring = std::make_unique_for_overwrite<float[]>(SLOTS * plane);
  std::array<int, SLOTS> key;
  key.fill(-1);
  std::vector<uint8_t> o(size_t(3 * n) + 64);
  auto sums = [&](int r) -> const float* {
    float* h = ring.get() + size_t(r & (SLOTS - 1)) * plane;
    if (key[size_t(r & (SLOTS - 1))] != r) {
      PaddedGreyRow(src, r, 4, g);
      CubicRowVbmi(gp.data(), wide, taps, h);
      key[size_t(r & (SLOTS - 1))] = r;
    }
    return h;
  };
  for (int dy = y0; dy < y1;) {
    if (IsCubicGroup(rows, dy, y1)) {
      const CubicGroup grp(rows, dy, sums, out);
      CubicVerticalThree(grp.s, grp.beta, wide, o.data(), grp.d);
      dy += 3;
      continue;
    }
    const float* s[4];
    for (int k = 0; k < 4; k++) s[k] = sums(rows.idx[dy][k]);
    const int16_t* beta = rows.w[dy].data();
    uint8_t* d = out.ptr<uint8_t>(dy);
    if (IsCentre(beta)) CubicVerticalVbmi<true>(s, beta, wide, o.data(), d);
    else CubicVerticalVbmi<false>(s, beta, wide, o.data(), d);
    dy++;
  }
}
#pragma GCC diagnostic pop
#endif

// Output rows [y0, y1) of the bicubic enlargement. The horizontal sums of a source row are
// made by phase and put in destination order once, so the vertical step and the spreading to
// three bytes run straight along the destination row.
// src is grey (CV_8UC1) or counts (CV_16UC1), whose rows are made grey as they are needed.
void CubicStripe(const cv::Mat& src, const CubicColumns& cols, const CubicTaps& rows, int y0,
                 int y1, int level, cv::Mat& out) {
  const int n = src.cols;
  // The plain code reads grey rows as they are; the vector code reads them padded by ROW_PAD
  // copies of their edge pixels.
  std::vector<uint8_t> grey_row(size_t(n) + 2 * ROW_PAD);
  uint8_t* const g = grey_row.data() + ROW_PAD;
  auto row_of = [&](int r) -> const uint8_t* {
#ifdef SUPL_X86
    if (level >= 1) {
      PaddedGreyRow(src, r, ROW_PAD, g);
      return g;
    }
#endif
    if (src.depth() == CV_8U) return src.ptr<uint8_t>(r);
    GreyRowScalar(src.ptr<uint16_t>(r), n, g);
    return g;
  };
  const int plane = 3 * n + 8;
  // Eight slots by source row: the five rows of a group of three never collide.
  constexpr int SLOTS = 8;
  std::vector<float> ring(size_t(SLOTS) * plane);
  std::vector<int32_t> planar(size_t(3) * n + 8);
  std::array<int, SLOTS> key;
  key.fill(-1);
  auto sums = [&](int r) -> const float* {
    float* h = ring.data() + size_t(r & (SLOTS - 1)) * plane;
    if (key[size_t(r & (SLOTS - 1))] != r) {
#ifdef SUPL_X86
      if (level >= 1) CubicRowAvx2(row_of(r), cols, planar.data(), h);
      else
#endif
      {
        CubicRowScalar(row_of(r), cols, planar.data());
        ToColumnsScalar(planar.data(), n, h);
      }
      key[size_t(r & (SLOTS - 1))] = r;
    }
    return h;
  };
  std::vector<uint8_t> o(size_t(3 * n) + 16);
  const int width = 3 * n;  // values per output row of the single-plane resize
  const int vec_end = width & ~7;
  for (int dy = y0; dy < y1;) {
#ifdef SUPL_X86
    if (level >= 1 && IsCubicGroup(rows, dy, y1)) {
      const CubicGroup grp(rows, dy, sums, out);
      CubicVerticalThreeAvx2(grp.s, grp.beta, n, o.data(), grp.d);
      dy += 3;
      continue;
    }
#endif
    const float* s[4];
    for (int k = 0; k < 4; k++) s[k] = sums(rows.idx[dy][k]);
    const int16_t* beta = rows.w[dy].data();
    uint8_t* d = out.ptr<uint8_t>(dy);
    dy++;
#ifdef SUPL_X86
    if (level >= 1) {
      if (IsCentre(beta)) CubicVerticalRowAvx2<true>(s, beta, n, o.data(), d);
      else CubicVerticalRowAvx2<false>(s, beta, n, o.data(), d);
      continue;
    }
#endif
    CubicVerticalScalar(s, beta, n, o.data());
    for (int x = vec_end; x < width; x++)  // the integer tail
      o[x] = CubicInt(int32_t(s[0][x]), int32_t(s[1][x]), int32_t(s[2][x]), int32_t(s[3][x]), beta);
    SpreadScalar(o.data(), width, d);
  }
}

// ---------------------------------------------------------------------------------------------
// Bilinear of three interleaved planes. The vertical step uses only each horizontal sum
// shifted right by 4, so the sums are kept as 16-bit values.

struct LinearTaps {
  std::vector<int> i0, i1;
  std::vector<int16_t> w0, w1;
};

// Columns: positions left of the first or right of the last source pixel take that pixel alone.
LinearTaps MakeLinearColumns(int n) {
  LinearTaps t;
  const size_t m = size_t(3) * size_t(n);
  t.i0.resize(m), t.i1.resize(m), t.w0.resize(m), t.w1.resize(m);
  for (size_t d = 0; d < m; d++) {
    int s;
    float f;
    Position(int(d), &s, &f);
    if (s < 0) s = 0, f = 0;
    if (s >= n - 1) s = n - 1, f = 0;
    t.i0[d] = s;
    t.i1[d] = std::min(s + 1, n - 1);
    t.w0[d] = cv::saturate_cast<short>((1.f - f) * COEF_SCALE);
    t.w1[d] = cv::saturate_cast<short>(f * COEF_SCALE);
  }
  return t;
}

// Rows: the fraction is kept at the edges and both rows clamped.
LinearTaps MakeLinearRows(int n) {
  LinearTaps t;
  for (int d = 0; d < 3 * n; d++) {
    int s;
    float f;
    Position(d, &s, &f);
    t.i0.push_back(std::clamp(s, 0, n - 1));
    t.i1.push_back(std::clamp(s + 1, 0, n - 1));
    t.w0.push_back(cv::saturate_cast<short>((1.f - f) * COEF_SCALE));
    t.w1.push_back(cv::saturate_cast<short>(f * COEF_SCALE));
  }
  return t;
}

// Per element e = 3 * column + plane of a destination row: byte offsets and weights, and for
// chunks of 16 elements the shuffles that gather both taps from two 16-byte loads.
struct LinearColumns {
  int elems = 0;
  LinearTaps taps;  // per destination column: an element takes its column's (ElementSrc)
  struct Chunk {
    // Its own constructor, so that making a row's chunks does not zero their tables first:
    // they are filled only where they are used.
    Chunk() {}
    int base0 = -1, base1 = -1;  // -1: done element by element
    alignas(16) uint8_t m0[16], m1[16];
    alignas(32) int16_t w[32];  // (w0, w1) pairs in the order the unpacking leaves them
  };
  std::vector<Chunk> chunks;
  // Sixteen source pixels make 144 elements, nine chunks: away from the edges the chunks of such
  // a group repeat those of group 1, 48 bytes on for each group, unless the float positions far
  // from the origin tip a weight over. A group whose chunks do (1 in shared9) takes group 1's,
  // whose tables then stay in the nearest cache.
  static constexpr int GROUP = 144;
  std::vector<uint8_t> shared9;
  // The AVX-512 level works in blocks of 32 source pixels (288 elements, nine vectors of 32
  // sums) read from one 128-byte window that starts a pixel before the block. Away from the
  // edges the taps relative to the window repeat, and so do the weights unless the float
  // positions far from the origin tip one over: every block equal to the first interior one
  // shares its tables, kept once; the others take the chunks of 16.
  static constexpr int BLOCK = 288;
  std::vector<uint8_t> shared;  // per block: 1 when it is done with the tables below
  // [vector][half]: in 32-bit lane t of half v the taps (and weights) of element
  // 8 (t / 4) + 4 v + t % 4 of the vector, so that packing the halves' sums restores the order.
  alignas(64) uint8_t idx[9][2][64] = {};
  alignas(64) int16_t w[9][2][32] = {};
};

// Tap k (0 or 1) of element e = 3 * column + plane: its byte offset in the source row and its
// weight.
inline int ElementSrc(const LinearColumns& c, int e, int k) {
  const std::vector<int>& i = k ? c.taps.i1 : c.taps.i0;
  return 3 * i[size_t(e / 3)] + e % 3;
}
inline int16_t ElementWeight(const LinearColumns& c, int e, int k) {
  return (k ? c.taps.w1 : c.taps.w0)[size_t(e / 3)];
}

// Element of a block's vector in lane t of half v.
constexpr int LaneElement(int v, int t) { return 8 * (t / 4) + 4 * v + t % 4; }

// Taps and weights of block q relative to its window, in the lane order of the tables.
bool BlockTables(const LinearColumns& c, int q, int n, uint8_t idx[9][2][64],
                 int16_t w[9][2][32]) {
  const int base = 96 * q - 3;  // the window's first byte: pixel 32 q - 1
  if (base < 0 || base + 128 > 3 * n) return false;
  for (int k = 0; k < 9; k++)
    for (int v = 0; v < 2; v++)
      for (int t = 0; t < 16; t++) {
        const int e = 288 * q + 32 * k + LaneElement(v, t);
        const int a = ElementSrc(c, e, 0) - base, b = ElementSrc(c, e, 1) - base;
        if (a < 0 || a >= 128 || b < 0 || b >= 128) return false;
        idx[k][v][4 * t] = uint8_t(a);
        idx[k][v][4 * t + 2] = uint8_t(b);
        w[k][v][2 * t] = ElementWeight(c, e, 0);
        w[k][v][2 * t + 1] = ElementWeight(c, e, 1);
      }
  return true;
}

// The tables of chunk ch of c, when its taps lie within two 16-byte loads; else it stays one
// of plain sums.
void MakeLinearChunk(LinearColumns& c, int n, int ch) {
  LinearColumns::Chunk& k = c.chunks[size_t(ch)];
  const int e0 = ch * 16;
  int s0[16], s1[16];
  for (int i = 0; i < 16; i++) s0[i] = ElementSrc(c, e0 + i, 0), s1[i] = ElementSrc(c, e0 + i, 1);
  int lo0 = s0[0], lo1 = s1[0], hi0 = lo0, hi1 = lo1;
  for (int i = 0; i < 16; i++) {
    lo0 = std::min(lo0, s0[i]);
    hi0 = std::max(hi0, s0[i]);
    lo1 = std::min(lo1, s1[i]);
    hi1 = std::max(hi1, s1[i]);
  }
  if (hi0 - lo0 >= 16 || hi1 - lo1 >= 16 || lo0 + 16 > 3 * n || lo1 + 16 > 3 * n) return;
  k.base0 = lo0;
  k.base1 = lo1;
  for (int i = 0; i < 16; i++) {
    k.m0[i] = uint8_t(s0[i] - lo0);
    k.m1[i] = uint8_t(s1[i] - lo1);
  }
  // unpacklo/hi of 16-bit lanes: [0..3, 8..11] then [4..7, 12..15]
  static const int order[16] = {0, 1, 2, 3, 8, 9, 10, 11, 4, 5, 6, 7, 12, 13, 14, 15};
  for (int i = 0; i < 16; i++) {
    k.w[2 * i] = ElementWeight(c, e0 + order[i], 0);
    k.w[2 * i + 1] = ElementWeight(c, e0 + order[i], 1);
  }
}

// Whether group q of c (destination columns 48 q .. 48 q + 47) repeats group 1 sixteen pixels a
// group on, with the same weights, its loads inside the row: then its chunks are group 1's
// 48 (q - 1) bytes on, and theirs are not made.
bool RepeatsGroupOne(const LinearColumns& c, int n, int q) {
  const LinearTaps& t = c.taps;
  for (int j = 0; j < 9; j++) {
    const LinearColumns::Chunk& k = c.chunks[size_t(9 + j)];
    if (k.base0 < 0 || std::max(k.base0, k.base1) + 48 * (q - 1) + 16 > 3 * n) return false;
  }
  const int shift = 16 * (q - 1);
  const size_t d1 = 48, dq = size_t(48) * size_t(q);
  bool differ = false;  // without early exits, so that the loop is vectorised
  for (size_t i = 0; i < 48; i++)
    differ |= (t.i0[dq + i] != t.i0[d1 + i] + shift) | (t.i1[dq + i] != t.i1[d1 + i] + shift) |
              (t.w0[dq + i] != t.w0[d1 + i]) | (t.w1[dq + i] != t.w1[d1 + i]);
  return !differ;
}

LinearColumns MakeLinearCols(int n, bool blocks) {
  LinearColumns c;
  c.elems = 9 * n;
  c.taps = MakeLinearColumns(n);
  const int chunks = c.elems / 16, groups = c.elems / LinearColumns::GROUP;
  c.chunks.resize(size_t(chunks));
  for (int ch = 0; ch < std::min(chunks, 18); ch++) MakeLinearChunk(c, n, ch);  // groups 0 and 1
  if (groups > 1) c.shared9.assign(size_t(groups), 0);
  for (int q = 1; q < groups; q++) {
    c.shared9[size_t(q)] = RepeatsGroupOne(c, n, q);
    if (q > 1 && !c.shared9[size_t(q)])
      for (int ch = 9 * q; ch < 9 * q + 9; ch++) MakeLinearChunk(c, n, ch);
  }
  for (int ch = std::max(18, 9 * groups); ch < chunks; ch++) MakeLinearChunk(c, n, ch);
  if (blocks && BlockTables(c, 1, n, c.idx, c.w)) {
    c.shared.assign(size_t(c.elems / LinearColumns::BLOCK), 0);
    alignas(64) uint8_t idx[9][2][64] = {};
    alignas(64) int16_t w[9][2][32] = {};
    for (size_t q = 0; q < c.shared.size(); q++)
      c.shared[q] = BlockTables(c, int(q), n, idx, w) &&
                    std::memcmp(idx, c.idx, sizeof idx) == 0 && std::memcmp(w, c.w, sizeof w) == 0;
  }
  return c;
}

inline int16_t LinearSum(const uint8_t* g, const LinearColumns& c, int e) {
  return int16_t((g[ElementSrc(c, e, 0)] * ElementWeight(c, e, 0) +
                  g[ElementSrc(c, e, 1)] * ElementWeight(c, e, 1)) >> 4);
}

// Vertical weights (2048, 0): a destination row at a source row, every third one.
inline bool IsLinearCentre(int16_t b0, int16_t b1) { return b0 == COEF_SCALE && b1 == 0; }

inline uint8_t LinearVertical(int16_t h0, int16_t h1, int16_t b0, int16_t b1) {
  return uint8_t((((b0 * h0) >> 16) + ((b1 * h1) >> 16) + 2) >> 2);
}

void LinearRowScalar(const uint8_t* g, const LinearColumns& c, int16_t* h) {
  for (int e = 0; e < c.elems; e++) h[e] = LinearSum(g, c, e);
}

void LinearVerticalScalar(const int16_t* h0, const int16_t* h1, int16_t b0, int16_t b1, int n,
                          uint8_t* d) {
  for (int e = 0; e < n; e++) d[e] = LinearVertical(h0[e], h1[e], b0, b1);
}

#ifdef SUPL_X86
// Sixteen horizontal sums at h by the tables of chunk k, its loads at g + k.base0, g + k.base1.
__attribute__((target("avx2"))) inline void LinearChunkAt(const uint8_t* g, const LinearColumns::Chunk& k,
                                                          int16_t* h) {
  const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(g + k.base0)),
                                     _mm_load_si128(reinterpret_cast<const __m128i*>(k.m0)));
  const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(g + k.base1)),
                                     _mm_load_si128(reinterpret_cast<const __m128i*>(k.m1)));
  const __m256i x = _mm256_cvtepu8_epi16(a), y = _mm256_cvtepu8_epi16(b);
  const __m256i lo = _mm256_madd_epi16(_mm256_unpacklo_epi16(x, y),
                                       _mm256_load_si256(reinterpret_cast<const __m256i*>(k.w)));
  const __m256i hi = _mm256_madd_epi16(_mm256_unpackhi_epi16(x, y),
                                       _mm256_load_si256(reinterpret_cast<const __m256i*>(k.w + 16)));
  const __m256i r = _mm256_packs_epi32(_mm256_srai_epi32(lo, 4), _mm256_srai_epi32(hi, 4));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(h), r);
}

// Elements 16 ch .. 16 ch + 15 of a row's horizontal sums.
__attribute__((target("avx2"))) inline void LinearChunkAvx2(const uint8_t* g, const LinearColumns& c,
                                                            int ch, int16_t* h) {
  const LinearColumns::Chunk& k = c.chunks[size_t(ch)];
  const int e0 = 16 * ch;
  if (k.base0 < 0) {
    for (int e = e0; e < e0 + 16; e++) h[e] = LinearSum(g, c, e);
    return;
  }
  LinearChunkAt(g, k, h + e0);
}

// Group q (chunks 9 q .. 9 q + 8) of a row's horizontal sums: by group 1's tables 48 (q - 1)
// bytes on where it repeats group 1, else chunk by chunk (only those have tables of their own).
__attribute__((target("avx2"))) inline void LinearGroupAvx2(const uint8_t* g, const LinearColumns& c,
                                                            int q, int16_t* h) {
  if (size_t(q) < c.shared9.size() && c.shared9[size_t(q)]) {
    const uint8_t* shifted = g + 48 * (q - 1);
    for (int j = 0; j < 9; j++) LinearChunkAt(shifted, c.chunks[size_t(9 + j)], h + 16 * (9 * q + j));
    return;
  }
  for (int ch = 9 * q; ch < 9 * q + 9; ch++) LinearChunkAvx2(g, c, ch, h);
}

// Groups from q0 on, the chunks after the last group and the elements after the last chunk.
__attribute__((target("avx2"))) inline void LinearRowFrom(const uint8_t* g, const LinearColumns& c,
                                                          int q0, int16_t* h) {
  const int chunks = int(c.chunks.size()), groups = c.elems / LinearColumns::GROUP;
  for (int q = q0; q < groups; q++) LinearGroupAvx2(g, c, q, h);
  for (int ch = 9 * groups; ch < chunks; ch++) LinearChunkAvx2(g, c, ch, h);
  for (int e = 16 * chunks; e < c.elems; e++) h[e] = LinearSum(g, c, e);
}

__attribute__((target("avx2"))) void LinearRowAvx2(const uint8_t* g, const LinearColumns& c,
                                                   int16_t* h) {
  LinearRowFrom(g, c, 0, h);
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"  // as for the bicubic AVX-512 code
SUPL_VBMI void LinearRowVbmi(const uint8_t* g, const LinearColumns& c, int16_t* h) {
  const __mmask64 even = 0x5555555555555555ull;
  const int blocks = int(c.shared.size());
  for (int q = 0; q < blocks; q++) {
    if (!c.shared[size_t(q)]) {
      LinearGroupAvx2(g, c, 2 * q, h);
      LinearGroupAvx2(g, c, 2 * q + 1, h);
      continue;
    }
    const uint8_t* window = g + 96 * q - 3;
    const __m512i lo = _mm512_loadu_si512(window), hi = _mm512_loadu_si512(window + 64);
    int16_t* o = h + LinearColumns::BLOCK * q;
    for (int k = 0; k < 9; k++) {
      const __m512i a = _mm512_madd_epi16(
          _mm512_maskz_permutex2var_epi8(even, lo, _mm512_load_si512(c.idx[k][0]), hi),
          _mm512_load_si512(c.w[k][0]));
      const __m512i b = _mm512_madd_epi16(
          _mm512_maskz_permutex2var_epi8(even, lo, _mm512_load_si512(c.idx[k][1]), hi),
          _mm512_load_si512(c.w[k][1]));
      _mm512_storeu_si512(o + 32 * k, _mm512_packs_epi32(_mm512_srai_epi32(a, 4), _mm512_srai_epi32(b, 4)));
    }
  }
  LinearRowFrom(g, c, 2 * blocks, h);
}
#pragma GCC diagnostic pop

// The vertical step's rounding of two products' sum: (s + 2) >> 2.
__attribute__((target("avx2"))) inline __m256i LinearRound16(__m256i s) {
  return _mm256_srai_epi16(_mm256_add_epi16(s, _mm256_set1_epi16(2)), 2);
}

__attribute__((target("avx2"))) inline __m256i Load16(const int16_t* q) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
}

__attribute__((target("avx2"))) inline __m256i LinearSixteen(const int16_t* h0, const int16_t* h1,
                                                             __m256i w0, __m256i w1) {
  return LinearRound16(_mm256_add_epi16(_mm256_mulhi_epi16(Load16(h0), w0), _mm256_mulhi_epi16(Load16(h1), w1)));
}

// Output bytes d[0..31] of sixteen results each in lo and hi, saturated (packus works per 128-bit
// lane: the quadwords are put back in order).
__attribute__((target("avx2"))) inline void StoreBytes32(__m256i lo, __m256i hi, uint8_t* d) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8));
}

// Output bytes d[0..31] of the sums at h0, h1.
__attribute__((target("avx2"))) inline void LinearThirtyTwoBytes(const int16_t* h0, const int16_t* h1,
                                                                 __m256i w0, __m256i w1, uint8_t* d) {
  StoreBytes32(LinearSixteen(h0, h1, w0, w1), LinearSixteen(h0 + 16, h1 + 16, w0, w1), d);
}

__attribute__((target("avx2"))) void LinearVerticalAvx2(const int16_t* h0, const int16_t* h1,
                                                        int16_t b0, int16_t b1, int n, uint8_t* d) {
  const __m256i w0 = _mm256_set1_epi16(b0), w1 = _mm256_set1_epi16(b1);
  int e = 0;
  for (; e + 32 <= n; e += 32) LinearThirtyTwoBytes(h0 + e, h1 + e, w0, w1, d + e);
  LinearVerticalScalar(h0 + e, h1 + e, b0, b1, n - e, d + e);
}
#endif

#ifdef SUPL_X86
// Three destination rows chunk by chunk: they read at most three neighbouring rows of sums,
// so each chunk of those comes in from the cache once and is used by all three from the
// nearest level.
__attribute__((target("avx2"))) void LinearVerticalThree(const int16_t* const h[3][2],
                                                         const int16_t b[3][2], int n,
                                                         uint8_t* const d[3]) {
  __m256i w[3][2];
  for (int k = 0; k < 3; k++)
    for (int t = 0; t < 2; t++) w[k][t] = _mm256_set1_epi16(b[k][t]);
  int e = 0;
  for (; e + 32 <= n; e += 32)
    for (int k = 0; k < 3; k++) LinearThirtyTwoBytes(h[k][0] + e, h[k][1] + e, w[k][0], w[k][1], d[k] + e);
  for (int k = 0; k < 3; k++) LinearVerticalScalar(h[k][0] + e, h[k][1] + e, b[k][0], b[k][1], n - e, d[k] + e);
}

// Whether three destination rows are a centre row (IsLinearCentre, on row B) between a row
// that blends B with the row above and one that blends it with the row below: then the three
// read B once and the centre row is B alone.
inline bool IsLinearTriple(const int16_t* const h[3][2], const int16_t b[3][2]) {
  return IsLinearCentre(b[1][0], b[1][1]) && h[0][1] == h[1][0] && h[2][0] == h[1][0];
}

__attribute__((target("avx2"))) void LinearTripleAvx2(const int16_t* const h[3][2],
                                                      const int16_t b[3][2], int n,
                                                      uint8_t* const d[3]) {
  const int16_t *above = h[0][0], *centre = h[1][0], *below = h[2][1];
  const __m256i wa = _mm256_set1_epi16(b[0][0]), wb0 = _mm256_set1_epi16(b[0][1]);
  const __m256i wb2 = _mm256_set1_epi16(b[2][0]), wc = _mm256_set1_epi16(b[2][1]);
  int e = 0;
  for (; e + 32 <= n; e += 32) {
    __m256i r[3][2];
    for (int half = 0; half < 2; half++) {
      const int at = e + 16 * half;
      const __m256i m = Load16(centre + at);
      r[0][half] = LinearRound16(_mm256_add_epi16(_mm256_mulhi_epi16(Load16(above + at), wa), _mm256_mulhi_epi16(m, wb0)));
      r[1][half] = LinearRound16(_mm256_srai_epi16(m, 5));  // (2048 m) >> 16
      r[2][half] = LinearRound16(_mm256_add_epi16(_mm256_mulhi_epi16(m, wb2), _mm256_mulhi_epi16(Load16(below + at), wc)));
    }
    for (int k = 0; k < 3; k++) StoreBytes32(r[k][0], r[k][1], d[k] + e);
  }
  for (int k = 0; k < 3; k++) LinearVerticalScalar(h[k][0] + e, h[k][1] + e, b[k][0], b[k][1], n - e, d[k] + e);
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"  // as for the bicubic AVX-512 code
// The vertical step's rounding of two products' sum: (s + 2) >> 2.
SUPL_VBMI inline __m512i LinearRound(__m512i s) {
  return _mm512_srai_epi16(_mm512_add_epi16(s, _mm512_set1_epi16(2)), 2);
}

SUPL_VBMI inline __m512i LinearThirtyTwo(const int16_t* h0, const int16_t* h1, __m512i w0, __m512i w1) {
  const __m512i x = _mm512_loadu_si512(h0), y = _mm512_loadu_si512(h1);
  return LinearRound(_mm512_add_epi16(_mm512_mulhi_epi16(x, w0), _mm512_mulhi_epi16(y, w1)));
}

// Elements e .. n - 1 of three destination rows, by the AVX2 step.
SUPL_VBMI inline void LinearThreeRest(const int16_t* const h[3][2], const int16_t b[3][2], int e,
                                      int n, uint8_t* const d[3]) {
  const int16_t* rest[3][2];
  uint8_t* const tail[3] = {d[0] + e, d[1] + e, d[2] + e};
  for (int k = 0; k < 3; k++) rest[k][0] = h[k][0] + e, rest[k][1] = h[k][1] + e;
  LinearVerticalThree(rest, b, n - e, tail);
}

SUPL_VBMI void LinearVerticalThreeVbmi(const int16_t* const h[3][2], const int16_t b[3][2], int n,
                                       uint8_t* const d[3]) {
  __m512i w[3][2];
  for (int k = 0; k < 3; k++)
    for (int t = 0; t < 2; t++) w[k][t] = _mm512_set1_epi16(b[k][t]);
  // packus works per 128-bit lane: the quadwords come out as a0 b0 a1 b1 ...
  const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
  int e = 0;
  for (; e + 64 <= n; e += 64)
    for (int k = 0; k < 3; k++) {
      const __m512i r = _mm512_packus_epi16(LinearThirtyTwo(h[k][0] + e, h[k][1] + e, w[k][0], w[k][1]),
                                            LinearThirtyTwo(h[k][0] + e + 32, h[k][1] + e + 32, w[k][0], w[k][1]));
      _mm512_storeu_si512(d[k] + e, _mm512_permutexvar_epi64(order, r));
    }
  LinearThreeRest(h, b, e, n, d);
}

SUPL_VBMI void LinearTripleVbmi(const int16_t* const h[3][2], const int16_t b[3][2], int n,
                                uint8_t* const d[3]) {
  const int16_t *above = h[0][0], *centre = h[1][0], *below = h[2][1];
  const __m512i wa = _mm512_set1_epi16(b[0][0]), wb0 = _mm512_set1_epi16(b[0][1]);
  const __m512i wb2 = _mm512_set1_epi16(b[2][0]), wc = _mm512_set1_epi16(b[2][1]);
  const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
  int e = 0;
  for (; e + 64 <= n; e += 64) {
    __m512i r[3][2];
    for (int half = 0; half < 2; half++) {
      const int at = e + 32 * half;
      const __m512i m = _mm512_loadu_si512(centre + at);
      r[0][half] = LinearRound(_mm512_add_epi16(_mm512_mulhi_epi16(_mm512_loadu_si512(above + at), wa),
                                                _mm512_mulhi_epi16(m, wb0)));
      r[1][half] = LinearRound(_mm512_srai_epi16(m, 5));  // (2048 m) >> 16
      r[2][half] = LinearRound(_mm512_add_epi16(_mm512_mulhi_epi16(m, wb2),
                                                _mm512_mulhi_epi16(_mm512_loadu_si512(below + at), wc)));
    }
    for (int k = 0; k < 3; k++)
      _mm512_storeu_si512(d[k] + e, _mm512_permutexvar_epi64(order, _mm512_packus_epi16(r[k][0], r[k][1])));
  }
  LinearThreeRest(h, b, e, n, d);
}
#pragma GCC diagnostic pop
#endif

void LinearStripe(const cv::Mat& src, const LinearColumns& cols, const LinearTaps& rows, int y0,
                  int y1, int level, cv::Mat& out) {
  const int n = cols.elems;
  // Four slots by source row: the rows of three neighbouring destination rows never collide.
  constexpr int SLOTS = 4;
  std::vector<int16_t> ring(size_t(SLOTS) * (n + 32));
  std::array<int, SLOTS> key;
  key.fill(-1);
  auto row = [&](int r) {
    int16_t* h = ring.data() + size_t(r & (SLOTS - 1)) * (n + 32);
    if (key[size_t(r & (SLOTS - 1))] != r) {
#ifdef SUPL_X86
      if (level >= 2 && !cols.shared.empty()) LinearRowVbmi(src.ptr<uint8_t>(r), cols, h);
      else if (level >= 1) LinearRowAvx2(src.ptr<uint8_t>(r), cols, h);
      else
#endif
        LinearRowScalar(src.ptr<uint8_t>(r), cols, h);
      key[size_t(r & (SLOTS - 1))] = r;
    }
    return h;
  };
  auto centre = [&](int y) { return IsLinearCentre(rows.w0[y], rows.w1[y]); };
  for (int dy = y0; dy < y1;) {
    // The lines of the rows this step writes arrive while their source rows are filtered.
    for (int k = dy; k < std::min(dy + 3, y1); k++) SuplPrefetchForWrite(out.ptr(k), size_t(n));
#ifdef SUPL_X86
    // A stripe that starts off the groups around centre rows takes a row or two alone until
    // they line up.
    const bool align = level >= 1 && dy + 3 <= y1 && !centre(dy + 1) && (centre(dy) || centre(dy + 2));
    if (level >= 1 && dy + 3 <= y1 && !align) {
      const int16_t* h[3][2];
      int16_t b[3][2];
      uint8_t* d[3];
      for (int k = 0; k < 3; k++) {
        h[k][0] = row(rows.i0[dy + k]);
        h[k][1] = row(rows.i1[dy + k]);
        b[k][0] = rows.w0[dy + k];
        b[k][1] = rows.w1[dy + k];
        d[k] = out.ptr<uint8_t>(dy + k);
      }
      if (level >= 2 && IsLinearTriple(h, b)) LinearTripleVbmi(h, b, n, d);
      else if (level >= 2) LinearVerticalThreeVbmi(h, b, n, d);
      else if (IsLinearTriple(h, b)) LinearTripleAvx2(h, b, n, d);
      else LinearVerticalThree(h, b, n, d);
      dy += 3;
      continue;
    }
#endif
    const int r0 = rows.i0[dy], r1 = rows.i1[dy];
    const int16_t* h0 = row(r0);
    const int16_t* h1 = row(r1);  // r1 is r0 or r0 + 1: distinct slots
    uint8_t* d = out.ptr<uint8_t>(dy);
#ifdef SUPL_X86
    if (level >= 1) LinearVerticalAvx2(h0, h1, rows.w0[dy], rows.w1[dy], n, d);
    else
#endif
      LinearVerticalScalar(h0, h1, rows.w0[dy], rows.w1[dy], n, d);
    dy++;
  }
}

int Stripes(int rows) { return std::max(1, rows / STRIPE_ROWS); }

}  // namespace

int SuplResizeLevel() {
#ifdef SUPL_X86
  static const int level = !__builtin_cpu_supports("avx2") ? 0 : SuplCpuHasVbmi() ? 2 : 1;
  return level;
#else
  return 0;
#endif
}

cv::Mat SuplCubic3Rgb(const cv::Mat& grey, int level) {
  CV_Assert((grey.type() == CV_8UC1 || grey.type() == CV_16UC1) && !grey.empty());
  level = std::min(level, SuplResizeLevel());
  cv::Mat out = SuplLargeMat(grey.rows * 3, grey.cols * 3, CV_8UC3);
  const CubicTaps rows = MakeCubicTaps(grey.rows);
#ifdef SUPL_X86
  if (level >= 2) {
    const CubicTaps taps = MakeCubicTaps(grey.cols);
    const CubicWide wide = MakeCubicWide(taps, grey.cols);
    SuplParallelFor(
        cv::Range(0, out.rows),
        [&](const cv::Range& r) { CubicStripeVbmi(grey, taps, wide, rows, r.start, r.end, out); },
        Stripes(out.rows));
    return out;
  }
#endif
  const CubicColumns cols = MakeCubicColumns(grey.cols);
  SuplParallelFor(
      cv::Range(0, out.rows),
      [&](const cv::Range& r) { CubicStripe(grey, cols, rows, r.start, r.end, level, out); },
      Stripes(out.rows));
  return out;
}

cv::Mat SuplLinear3(const cv::Mat& rgb, int level) {
  CV_Assert(rgb.type() == CV_8UC3 && !rgb.empty());
  level = std::min(level, SuplResizeLevel());
  cv::Mat out = SuplLargeMat(rgb.rows * 3, rgb.cols * 3, CV_8UC3);
  const LinearColumns cols = MakeLinearCols(rgb.cols, level >= 2);
  const LinearTaps rows = MakeLinearRows(rgb.rows);
  SuplParallelFor(
      cv::Range(0, out.rows),
      [&](const cv::Range& r) { LinearStripe(rgb, cols, rows, r.start, r.end, level, out); },
      Stripes(out.rows));
  return out;
}
