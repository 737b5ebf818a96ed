#include "data/suplremap.h"

#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SUPL_X86 1
#endif

#include "data/suplalloc.h"
#include "data/suplimage.h"
#include "data/suplresize.h"
#include "data/suplsimd.h"
#include "data/supltsan.h"

// OpenCV's 16-bit bilinear remap takes its weights from a float table of 32 x 32 fractions,
// w = vy * vx with v = (1 - i / 32, i / 32), sums the four taps in float in a fixed order and
// rounds half to even. The weights are exact in float, so they are computed here instead of
// looked up; this file is built without floating-point contraction to keep the sum's roundings.

namespace {

constexpr int TAB_BITS = 5;
constexpr int TAB_SIZE = 1 << TAB_BITS;
constexpr float TAB_SCALE = 1.f / TAB_SIZE;
constexpr int ROWS_PER_STRIPE = 32;
constexpr int16_t NONE = std::numeric_limits<int16_t>::min();  // no position for the column/row

// The source as the kernels see it: rows row0 .. of it at s0 (a stripe's rows, or all of them),
// width and height those of the whole source.
struct Source {
  const uint16_t* s0;
  size_t step;  // in samples
  int width, height;
  int row0 = 0;
};

// Whether a position's four taps all lie off the source: the pixel is the border value 0.
inline bool Outside(const Source& s, int sx, int sy) {
  return sx >= s.width || sx + 1 < 0 || sy >= s.height || sy + 1 < 0;
}

// One output pixel by OpenCV's rules: all four taps inside, or the constant-border case in
// which taps outside the source count as 0.
inline uint16_t Pixel(const Source& src, int sx, int sy, unsigned f) {
  f &= TAB_SIZE * TAB_SIZE - 1;
  const float x = float(f & (TAB_SIZE - 1)) * TAB_SCALE, y = float(f >> TAB_BITS) * TAB_SCALE;
  const float w0 = (1.f - y) * (1.f - x), w1 = (1.f - y) * x, w2 = y * (1.f - x), w3 = y * x;
  if (Outside(src, sx, sy)) return 0;
  auto at = [&](int xx, int yy) -> uint16_t {
    return xx >= 0 && xx < src.width && yy >= 0 && yy < src.height ? src.s0[size_t(yy - src.row0) * src.step + xx]
                                                                    : 0;
  };
  const float t = float(at(sx, sy)) * w0 + float(at(sx + 1, sy)) * w1 +
                  float(at(sx, sy + 1)) * w2 + float(at(sx + 1, sy + 1)) * w3;
  return cv::saturate_cast<uint16_t>(cvRound(t));
}

inline void Grey3(uint8_t* d, uint16_t v, const uint8_t* grey) {
  d[0] = d[1] = d[2] = grey[std::min<unsigned>(v, 1024)];
}

// Columns [a, b) of row j at the separable positions.
void SepScalar(const Source& s, const SuplSepMap& m, int j, int a, int b, uint16_t* d, uint8_t* g,
               const uint8_t* grey) {
  const int sy = m.y[j];
  const unsigned fy = m.fy[j];
  for (int i = a; i < b; i++) {
    d[i] = Pixel(s, m.x[i], sy, fy * TAB_SIZE + m.fx[i]);
    if (g) Grey3(g + 3 * i, d[i], grey);
  }
}

#ifdef SUPL_X86
// Samples q[k] | q[k + 1] << 16 for k = 0..7: the two taps of a row for eight neighbours.
__attribute__((target("avx2"))) inline __m256i Pairs(const uint16_t* q) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 1));
  return _mm256_set_m128i(_mm_unpackhi_epi16(a, b), _mm_unpacklo_epi16(a, b));
}

// Output pixels i..i+7 of a row whose source row is r0 (r0 + step the next): true when their
// columns are consecutive with every tap inside, else false and nothing is written.
__attribute__((target("avx2"))) inline bool SepEight(const Source& s, const SuplSepMap& m, int i,
                                                     const uint16_t* r0, __m256 y, __m256 y1,
                                                     __m128i* result) {
  const int sx0 = m.x[i];
  if (sx0 < 0 || sx0 > s.width - 9) return false;
  const __m256i xs = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&m.x[i])));
  const __m256i run = _mm256_add_epi32(_mm256_set1_epi32(sx0), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(xs, run)) != -1) return false;
  const __m256i top = Pairs(r0 + sx0), bottom = Pairs(r0 + s.step + sx0);
  const __m256i lo16 = _mm256_set1_epi32(0xFFFF);
  const __m256 v0 = _mm256_cvtepi32_ps(_mm256_and_si256(top, lo16));
  const __m256 v1 = _mm256_cvtepi32_ps(_mm256_srli_epi32(top, 16));
  const __m256 v2 = _mm256_cvtepi32_ps(_mm256_and_si256(bottom, lo16));
  const __m256 v3 = _mm256_cvtepi32_ps(_mm256_srli_epi32(bottom, 16));
  const __m256i f = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&m.fx[i])));
  const __m256 x = _mm256_mul_ps(_mm256_cvtepi32_ps(f), _mm256_set1_ps(TAB_SCALE));
  const __m256 x1 = _mm256_sub_ps(_mm256_set1_ps(1.f), x);
  __m256 t = _mm256_add_ps(_mm256_mul_ps(v0, _mm256_mul_ps(y1, x1)), _mm256_mul_ps(v1, _mm256_mul_ps(y1, x)));
  t = _mm256_add_ps(t, _mm256_mul_ps(v2, _mm256_mul_ps(y, x1)));
  t = _mm256_add_ps(t, _mm256_mul_ps(v3, _mm256_mul_ps(y, x)));
  const __m256i r = _mm256_cvtps_epi32(t);  // rounds half to even, as cvRound
  *result = _mm_packus_epi32(_mm256_castsi256_si128(r), _mm256_extracti128_si256(r, 1));
  return true;
}

// v / 1024 rounded half to even, for v >= 0.
__attribute__((target("avx2"))) inline __m256i Round1024(__m256i v) {
  const __m256i odd = _mm256_and_si256(_mm256_srli_epi32(v, 10), _mm256_set1_epi32(1));
  return _mm256_srli_epi32(_mm256_add_epi32(v, _mm256_add_epi32(odd, _mm256_set1_epi32(511))), 10);
}

// Sixteen output pixels i..i+15 at consecutive columns with every tap inside and every sample
// below 1024 (HRV counts): then each weight is a product of two 5-bit fractions over 1024 and
// every product and partial sum of the float sum is exact, so that sum times 1024 is the
// integer S = (32 - fy) T + fy B, T and B being the rows' sums v0 (32 - fx) + v1 fx, and the
// float rounding half to even is that of S / 1024. False, with nothing written, otherwise.
__attribute__((target("avx2"))) inline bool SepSixteen(const Source& s, const SuplSepMap& m, int i,
                                                       const uint16_t* r0, __m256i row_w,
                                                       uint16_t* d, uint8_t* g) {
  const int sx0 = m.x[i];
  if (sx0 < 0 || sx0 > s.width - 17) return false;
  const __m256i xs = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&m.x[i]));
  const __m256i run = _mm256_add_epi16(_mm256_set1_epi16(int16_t(sx0)),
                                       _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
  if (_mm256_movemask_epi8(_mm256_cmpeq_epi16(xs, run)) != -1) return false;
  const uint16_t* q = r0 + sx0;
  const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
  const __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 1));
  const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + s.step));
  const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + s.step + 1));
  const __m256i any = _mm256_or_si256(_mm256_or_si256(a, a1), _mm256_or_si256(b, b1));
  if (!_mm256_testz_si256(any, _mm256_set1_epi16(int16_t(0xFC00)))) return false;
  // Pairs (v[k], v[k + 1]) and weights (32 - fx, fx) in the lane order of the 16-bit unpacking.
  const __m256i f = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&m.fx[i])));
  const __m256i f1 = _mm256_sub_epi16(_mm256_set1_epi16(TAB_SIZE), f);
  const __m256i wl = _mm256_unpacklo_epi16(f1, f), wh = _mm256_unpackhi_epi16(f1, f);
  const __m256i tl = _mm256_madd_epi16(_mm256_unpacklo_epi16(a, a1), wl);
  const __m256i th = _mm256_madd_epi16(_mm256_unpackhi_epi16(a, a1), wh);
  const __m256i bl = _mm256_madd_epi16(_mm256_unpacklo_epi16(b, b1), wl);
  const __m256i bh = _mm256_madd_epi16(_mm256_unpackhi_epi16(b, b1), wh);
  // T, B < 32768: both fit one 32-bit lane as a pair of 16-bit values.
  const __m256i sl = _mm256_madd_epi16(_mm256_or_si256(tl, _mm256_slli_epi32(bl, 16)), row_w);
  const __m256i sh = _mm256_madd_epi16(_mm256_or_si256(th, _mm256_slli_epi32(bh, 16)), row_w);
  const __m256i r = _mm256_packus_epi32(Round1024(sl), Round1024(sh));  // pixels 0..15 in order
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), r);
  if (g) SuplSpread16(SuplGrey16(r), g + 3 * i);
  return true;
}

__attribute__((target("avx2"))) void SepAvx2(const Source& s, const SuplSepMap& m, int j, int a,
                                             int b, uint16_t* d, uint8_t* g, const uint8_t* grey) {
  const int sy = m.y[j];
  if (sy < 0 || sy > s.height - 2) {  // a tap row off the source: the border rules throughout
    SepScalar(s, m, j, a, b, d, g, grey);
    return;
  }
  const uint16_t* r0 = s.s0 + size_t(sy - s.row0) * s.step;
  const __m256 y = _mm256_set1_ps(float(m.fy[j]) * TAB_SCALE);
  const __m256 y1 = _mm256_sub_ps(_mm256_set1_ps(1.f), y);
  const __m256i row_w = _mm256_set1_epi32(int32_t(uint32_t(m.fy[j]) << 16 | (TAB_SIZE - m.fy[j])));
  int i = a;
  for (; i + 16 <= b; i += 16) {
    if (SepSixteen(s, m, i, r0, row_w, d, g)) continue;
    __m128i p, q;
    if (!SepEight(s, m, i, r0, y, y1, &p) || !SepEight(s, m, i + 8, r0, y, y1, &q)) {
      SepScalar(s, m, j, i, i + 16, d, g, grey);
      continue;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), p);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 8), q);
    if (!g) continue;
    const __m128i v = SuplGrey16(_mm256_set_m128i(q, p));
    SuplSpread16(v, g + 3 * i);
  }
  // The last sixteen again, overlapping what is done: the same values, one vector step
  // instead of up to fifteen scalar ones.
  if (i < b && b - a >= 16 && SepSixteen(s, m, b - 16, r0, row_w, d, g)) return;
  SepScalar(s, m, j, i, b, d, g, grey);
}

// The AVX-512 level: the integer path of SepSixteen for 32 pixels per vector, and the greys
// of 64 pixels spread to their 192 bytes by three two-source byte permutes.
// GCC 12's AVX-512 intrinsics start from a self-initialised "undefined" vector, which its own
// uninitialised-use warning then flags.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// Spread of 64 grey words (two vectors) to three bytes each: output byte o is the low byte of
// word o / 3.
struct SpreadWords {
  alignas(64) uint8_t idx[3][64];
  SpreadWords() {
    for (int k = 0; k < 3; k++)
      for (int b = 0; b < 64; b++) idx[k][b] = uint8_t(2 * ((64 * k + b) / 3));
  }
};
inline const SpreadWords SPREAD_WORDS;

SUPL_VBMI inline __m512i Round1024x16(__m512i v) {
  const __m512i odd = _mm512_and_si512(_mm512_srli_epi32(v, 10), _mm512_set1_epi32(1));
  return _mm512_srli_epi32(_mm512_add_epi32(v, _mm512_add_epi32(odd, _mm512_set1_epi32(511))), 10);
}

// Counts of output pixels i..i+31 under the conditions of SepSixteen; false otherwise.
SUPL_VBMI inline bool SepThirtyTwo(const Source& s, const SuplSepMap& m, int i, const uint16_t* r0,
                                   __m512i row_w, __m512i* counts) {
  const int sx0 = m.x[i];
  if (sx0 < 0 || sx0 > s.width - 33) return false;
  const __m512i step = _mm512_set_epi16(31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16,
                                        15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  const __m512i xs = _mm512_loadu_si512(&m.x[i]);
  if (_mm512_cmpneq_epi16_mask(xs, _mm512_add_epi16(_mm512_set1_epi16(int16_t(sx0)), step))) return false;
  const uint16_t* q = r0 + sx0;
  const __m512i a = _mm512_loadu_si512(q), a1 = _mm512_loadu_si512(q + 1);
  const __m512i b = _mm512_loadu_si512(q + s.step), b1 = _mm512_loadu_si512(q + s.step + 1);
  const __m512i any = _mm512_or_si512(_mm512_or_si512(a, a1), _mm512_or_si512(b, b1));
  if (_mm512_test_epi16_mask(any, _mm512_set1_epi16(int16_t(0xFC00)))) return false;
  const __m512i f = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(&m.fx[i])));
  const __m512i f1 = _mm512_sub_epi16(_mm512_set1_epi16(TAB_SIZE), f);
  const __m512i wl = _mm512_unpacklo_epi16(f1, f), wh = _mm512_unpackhi_epi16(f1, f);
  const __m512i tl = _mm512_madd_epi16(_mm512_unpacklo_epi16(a, a1), wl);
  const __m512i th = _mm512_madd_epi16(_mm512_unpackhi_epi16(a, a1), wh);
  const __m512i bl = _mm512_madd_epi16(_mm512_unpacklo_epi16(b, b1), wl);
  const __m512i bh = _mm512_madd_epi16(_mm512_unpackhi_epi16(b, b1), wh);
  const __m512i sl = _mm512_madd_epi16(_mm512_or_si512(tl, _mm512_slli_epi32(bl, 16)), row_w);
  const __m512i sh = _mm512_madd_epi16(_mm512_or_si512(th, _mm512_slli_epi32(bh, 16)), row_w);
  *counts = _mm512_packus_epi32(Round1024x16(sl), Round1024x16(sh));  // pixels 0..31 in order
  return true;
}

SUPL_VBMI void SepVbmi(const Source& s, const SuplSepMap& m, int j, int a, int b, uint16_t* d,
                       uint8_t* g, const uint8_t* grey) {
  const int sy = m.y[j];
  int i = a;
  if (sy >= 0 && sy <= s.height - 2) {
    const uint16_t* r0 = s.s0 + size_t(sy - s.row0) * s.step;
    const __m512i row_w = _mm512_set1_epi32(int32_t(uint32_t(m.fy[j]) << 16 | (TAB_SIZE - m.fy[j])));
    const __m512i factor = _mm512_set1_epi16(8160);  // grey: (c * 8160 + 2^14) >> 15, c < 1024
    const __m512i s0 = _mm512_load_si512(SPREAD_WORDS.idx[0]), s1 = _mm512_load_si512(SPREAD_WORDS.idx[1]);
    const __m512i s2 = _mm512_load_si512(SPREAD_WORDS.idx[2]);
    for (; i + 64 <= b; i += 64) {
      __m512i lo, hi;
      if (!SepThirtyTwo(s, m, i, r0, row_w, &lo) || !SepThirtyTwo(s, m, i + 32, r0, row_w, &hi)) {
        SepAvx2(s, m, j, i, i + 64, d, g, grey);
        continue;
      }
      _mm512_storeu_si512(d + i, lo);
      _mm512_storeu_si512(d + i + 32, hi);
      if (!g) continue;
      const __m512i gl = _mm512_mulhrs_epi16(lo, factor), gh = _mm512_mulhrs_epi16(hi, factor);
      uint8_t* o = g + 3 * i;
      _mm512_storeu_si512(o, _mm512_permutex2var_epi8(gl, s0, gh));
      _mm512_storeu_si512(o + 64, _mm512_permutex2var_epi8(gl, s1, gh));
      _mm512_storeu_si512(o + 128, _mm512_permutex2var_epi8(gl, s2, gh));
    }
    // Fewer than 64 left: a step of 32, then the last 32 again, overlapping what is done.
    for (int k = 0; k < 2 && i < b && b - a >= 32; k++) {
      const int at = std::min(i, b - 32);
      __m512i c;
      if (!SepThirtyTwo(s, m, at, r0, row_w, &c)) break;
      _mm512_storeu_si512(d + at, c);
      if (g) {
        const __m512i gw = _mm512_mulhrs_epi16(c, factor);
        uint8_t* o = g + 3 * at;
        _mm512_storeu_si512(o, _mm512_permutexvar_epi8(s0, gw));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + 64),
                            _mm512_castsi512_si256(_mm512_permutexvar_epi8(s1, gw)));
      }
      i = at + 32;
    }
  }
  SepAvx2(s, m, j, i, b, d, g, grey);
}
#pragma GCC diagnostic pop
#endif

}  // namespace

SuplSepMap SuplSepFromMaps(const cv::Mat& map1, const cv::Mat& map2, cv::Size src_size) {
  CV_Assert(map1.type() == CV_16SC2 && map2.type() == CV_16UC1 && map1.size() == map2.size());
  CV_Assert(src_size.width > 0 && src_size.height > 0);
  SuplSepMap m;
  const int rows = map1.rows, cols = map1.cols;
  m.rows = rows;
  m.cols = cols;
  m.src_width = src_size.width;
  m.src_height = src_size.height;
  const Source s = {nullptr, 0, src_size.width, src_size.height};
  auto sx = [&](int i, int j) { return map1.ptr<int16_t>(j)[2 * i]; };
  auto sy = [&](int i, int j) { return map1.ptr<int16_t>(j)[2 * i + 1]; };
  auto frac = [&](int i, int j) { return uint16_t(map2.ptr<uint16_t>(j)[i] & (TAB_SIZE * TAB_SIZE - 1)); };
  auto on = [&](int i, int j) { return !Outside(s, sx(i, j), sy(i, j)); };

  // Each column's position from the row nearest the middle in which it lies on the source,
  // each row's from the column nearest the middle.
  m.x.assign(size_t(cols), NONE);
  m.fx.assign(size_t(cols), 0);
  m.y.assign(size_t(rows), NONE);
  m.fy.assign(size_t(rows), 0);
  int left = cols;
  for (int k = 0; k < rows && left > 0; k++) {
    const int j = rows / 2 + (k % 2 ? (k + 1) / 2 : -(k / 2));
    if (j < 0 || j >= rows) continue;
    for (int i = 0; i < cols; i++)
      if (m.x[i] == NONE && on(i, j)) {
        m.x[i] = sx(i, j);
        m.fx[i] = uint8_t(frac(i, j) & (TAB_SIZE - 1));
        left--;
      }
  }
  for (int j = 0; j < rows; j++)
    for (int k = 0; k < cols; k++) {
      const int i = cols / 2 + (k % 2 ? (k + 1) / 2 : -(k / 2));
      if (i < 0 || i >= cols || !on(i, j)) continue;
      m.y[j] = sy(i, j);
      m.fy[j] = uint8_t(frac(i, j) >> TAB_BITS);
      break;
    }

  // Per row: the span of pixels at their separable position, and every pixel that is not at
  // it and not wholly off the source.
  m.lo.assign(size_t(rows), 0);
  m.hi.assign(size_t(rows), 0);
  m.row_start.assign(size_t(rows) + 1, 0);
  for (int j = 0; j < rows; j++) {
    m.row_start[j] = int32_t(m.others.size());
    auto fits = [&](int i) {
      return m.x[i] != NONE && m.y[j] != NONE && sx(i, j) == m.x[i] && sy(i, j) == m.y[j] &&
             frac(i, j) == m.fy[j] * TAB_SIZE + m.fx[i];
    };
    int lo = 0, hi = 0;
    for (int i = 0; i < cols; i++)
      if (fits(i) && on(i, j)) {
        lo = i;
        break;
      }
    for (int i = cols - 1; i >= lo; i--)
      if (fits(i) && on(i, j)) {
        hi = i + 1;
        break;
      }
    m.lo[j] = lo;
    m.hi[j] = hi;
    for (int i = 0; i < cols; i++) {
      const bool inside = i >= lo && i < hi;
      if (inside ? !fits(i) : on(i, j))
        m.others.push_back({i, sx(i, j), sy(i, j), frac(i, j)});
    }
  }
  m.row_start[rows] = int32_t(m.others.size());
  return m;
}

namespace {

void CheckMaps(const SuplSepMap& m, cv::Size src_size) {
  CV_Assert(src_size.width == m.src_width && src_size.height == m.src_height);
  CV_Assert(m.x.size() == size_t(m.cols) && m.fx.size() == size_t(m.cols) &&
            m.y.size() == size_t(m.rows) && m.fy.size() == size_t(m.rows) &&
            m.lo.size() == size_t(m.rows) && m.hi.size() == size_t(m.rows) &&
            m.row_start.size() == size_t(m.rows) + 1 && m.rows > 0 && m.cols > 0);
}

void MakeOutputs(const SuplSepMap& m, cv::Mat& dst, cv::Mat* rgb) {
  if (dst.rows != m.rows || dst.cols != m.cols || dst.type() != CV_16UC1)
    dst = SuplLargeMat(m.rows, m.cols, CV_16UC1);
  if (rgb && (rgb->rows != m.rows || rgb->cols != m.cols || rgb->type() != CV_8UC3))
    *rgb = SuplLargeMat(m.rows, m.cols, CV_8UC3);
}

// Output row j from source s.
void RemapRow(const Source& s, const SuplSepMap& m, int j, int level, cv::Mat& dst, cv::Mat* rgb,
              const uint8_t* grey) {
  const int cols = m.cols;
  uint16_t* d = dst.ptr<uint16_t>(j);
  uint8_t* g = rgb ? rgb->ptr<uint8_t>(j) : nullptr;
  const int lo = std::clamp(m.lo[j], 0, cols), hi = std::clamp(m.hi[j], lo, cols);
  std::fill(d, d + lo, 0);
  std::fill(d + hi, d + cols, 0);
  if (g) {
    std::memset(g, 0, size_t(lo) * 3);  // grey of count 0
    std::memset(g + size_t(hi) * 3, 0, size_t(cols - hi) * 3);
  }
#ifdef SUPL_X86
  if (level >= 2) SepVbmi(s, m, j, lo, hi, d, g, grey);
  else if (level >= 1) SepAvx2(s, m, j, lo, hi, d, g, grey);
  else
#endif
    SepScalar(s, m, j, lo, hi, d, g, grey);
  for (int k = m.row_start[j]; k < m.row_start[j + 1]; k++) {
    const SuplSepMap::Pixel& p = m.others[size_t(k)];
    if (p.i < 0 || p.i >= cols) continue;
    d[p.i] = Pixel(s, p.sx, p.sy, p.f);
    if (g) Grey3(g + 3 * p.i, d[p.i], grey);
  }
}

// Source rows [*lo, *hi) that output rows [j0, j1) read: the two tap rows of every position
// that has a tap on the source. Empty when none.
void TapRows(const SuplSepMap& m, int j0, int j1, int height, int* lo, int* hi) {
  int a = height, b = -1;
  auto take = [&](int sy) {
    if (sy + 1 < 0 || sy >= height) return;
    a = std::min(a, std::max(sy, 0));
    b = std::max(b, std::min(sy + 1, height - 1));
  };
  for (int j = j0; j < j1; j++) {
    if (std::clamp(m.hi[j], 0, m.cols) > std::clamp(m.lo[j], 0, m.cols) && m.y[j] != NONE) take(m.y[j]);
    for (int k = m.row_start[j]; k < m.row_start[j + 1]; k++) take(m.others[size_t(k)].sy);
  }
  *lo = a;
  *hi = b + 1;
}

}  // namespace

void SuplRemapSep(const cv::Mat& src, const SuplSepMap& m, cv::Mat& dst, cv::Mat* rgb, int level) {
  CV_Assert(src.type() == CV_16UC1 && !src.empty());
  CheckMaps(m, src.size());
  CV_Assert(dst.data != src.data);
  level = std::min(level, SuplResizeLevel());
  MakeOutputs(m, dst, rgb);
  const Source s = {src.ptr<uint16_t>(), src.step / sizeof(uint16_t), src.cols, src.rows};
  const uint8_t* grey = SuplGreyTable();
  SuplParallelFor(
      cv::Range(0, m.rows),
      [&](const cv::Range& r) {
        for (int j = r.start; j < r.end; j++) RemapRow(s, m, j, level, dst, rgb, grey);
      },
      std::max(1, m.rows / ROWS_PER_STRIPE));
}

void SuplRemapSepRows(cv::Size src_size, const SuplSourceRows& fill, const SuplSepMap& m,
                      cv::Mat& dst, cv::Mat* rgb, int level) {
  CV_Assert(src_size.width > 0 && src_size.height > 0 && fill);
  CheckMaps(m, src_size);
  level = std::min(level, SuplResizeLevel());
  MakeOutputs(m, dst, rgb);
  const uint8_t* grey = SuplGreyTable();
  SuplParallelFor(
      cv::Range(0, m.rows),
      [&](const cv::Range& r) {
        int lo, hi;
        TapRows(m, r.start, r.end, src_size.height, &lo, &hi);
        cv::Mat rows;
        if (hi > lo) {
          rows.create(hi - lo, src_size.width, CV_16UC1);
          fill(lo, hi, rows);
        }
        const Source s = {rows.empty() ? nullptr : rows.ptr<uint16_t>(), rows.step / sizeof(uint16_t),
                          src_size.width, src_size.height, lo};
        for (int j = r.start; j < r.end; j++) RemapRow(s, m, j, level, dst, rgb, grey);
      },
      std::max(1, m.rows / ROWS_PER_STRIPE));
}

void SuplRemapLinear16(const cv::Mat& src, const cv::Mat& map1, const cv::Mat& map2, cv::Mat& dst,
                       cv::Mat* rgb, int level) {
  CV_Assert(src.type() == CV_16UC1 && !src.empty());
  SuplRemapSep(src, SuplSepFromMaps(map1, map2, src.size()), dst, rgb, level);
}
