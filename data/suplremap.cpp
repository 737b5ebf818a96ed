#include "data/suplremap.h"

#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SUPL_X86 1
#endif

#include "data/suplalloc.h"
#include "data/suplimage.h"
#include "data/suplsimd.h"

// OpenCV's 16-bit bilinear remap takes its weights from a float table of 32 x 32 fractions,
// w = vy * vx with v = (1 - i / 32, i / 32), sums the four taps in float in a fixed order and
// rounds half to even. The weights are exact in float, so they are computed here instead of
// looked up; this file is built without floating-point contraction to keep the sum's roundings.

namespace {

constexpr int TAB_BITS = 5;
constexpr int TAB_SIZE = 1 << TAB_BITS;
constexpr float TAB_SCALE = 1.f / TAB_SIZE;
constexpr int ROWS_PER_STRIPE = 32;

struct Source {
  const uint16_t* s0;
  size_t step;  // in samples
  int width, height;
};

inline uint16_t Round16(float t) {
  return cv::saturate_cast<uint16_t>(cvRound(t));
}

// One output pixel by OpenCV's rules: all four taps inside, or the constant-border case in
// which taps outside the source count as 0.
inline uint16_t Pixel(const Source& src, int sx, int sy, unsigned f) {
  f &= TAB_SIZE * TAB_SIZE - 1;
  const float x = float(f & (TAB_SIZE - 1)) * TAB_SCALE, y = float(f >> TAB_BITS) * TAB_SCALE;
  const float w0 = (1.f - y) * (1.f - x), w1 = (1.f - y) * x, w2 = y * (1.f - x), w3 = y * x;
  if (sx >= src.width || sx + 1 < 0 || sy >= src.height || sy + 1 < 0) return 0;
  auto at = [&](int xx, int yy) -> uint16_t {
    return xx >= 0 && xx < src.width && yy >= 0 && yy < src.height ? src.s0[size_t(yy) * src.step + xx]
                                                                    : 0;
  };
  const float t = float(at(sx, sy)) * w0 + float(at(sx + 1, sy)) * w1 +
                  float(at(sx, sy + 1)) * w2 + float(at(sx + 1, sy + 1)) * w3;
  return Round16(t);
}

inline void Grey3(uint8_t* d, uint16_t v, const uint8_t* grey) {
  d[0] = d[1] = d[2] = grey[std::min<unsigned>(v, 1024)];
}

void RowScalar(const Source& src, const int16_t* xy, const uint16_t* fxy, int n, uint16_t* d,
               uint8_t* g, const uint8_t* grey, int from = 0) {
  for (int x = from; x < n; x++) {
    d[x] = Pixel(src, xy[2 * x], xy[2 * x + 1], fxy[x]);
    if (g) Grey3(g + 3 * x, d[x], grey);
  }
}

#ifdef SUPL_X86

// Samples q[k] | q[k + 1] << 16 for k = 0..7, as a gather at q + k would give them.
__attribute__((target("avx2"))) inline __m256i Pairs(const uint16_t* q) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 1));
  return _mm256_set_m128i(_mm_unpackhi_epi16(a, b), _mm_unpacklo_epi16(a, b));
}

// Eight output pixels when each has all four taps inside or lies wholly outside the source
// (which gives 0, the border value); false (nothing written) when one straddles an edge.
__attribute__((target("avx2"))) inline bool Eight(const Source& src, const int16_t* xy,
                                                  const uint16_t* fxy, __m128i* result) {
  const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(xy));
  const __m256i sx = _mm256_srai_epi32(_mm256_slli_epi32(p, 16), 16);
  const __m256i sy = _mm256_srai_epi32(p, 16);
  const __m256i minus1 = _mm256_set1_epi32(-1);
  const __m256i w1 = _mm256_set1_epi32(src.width - 1), h1 = _mm256_set1_epi32(src.height - 1);
  const __m256i in = _mm256_and_si256(
      _mm256_and_si256(_mm256_cmpgt_epi32(sx, minus1), _mm256_cmpgt_epi32(w1, sx)),
      _mm256_and_si256(_mm256_cmpgt_epi32(sy, minus1), _mm256_cmpgt_epi32(h1, sy)));
  // sx >= width, sx + 1 < 0, sy >= height or sy + 1 < 0
  const __m256i out = _mm256_or_si256(
      _mm256_or_si256(_mm256_cmpgt_epi32(sx, w1), _mm256_cmpgt_epi32(minus1, sx)),
      _mm256_or_si256(_mm256_cmpgt_epi32(sy, h1), _mm256_cmpgt_epi32(minus1, sy)));
  if (_mm256_movemask_epi8(_mm256_or_si256(in, out)) != -1) return false;
  __m256i top, bottom;
  const int sx0 = _mm256_cvtsi256_si32(sx);
  const __m256i run = _mm256_add_epi32(_mm256_set1_epi32(sx0), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  const __m256i row = _mm256_permutevar8x32_epi32(sy, _mm256_setzero_si256());
  const __m256i same = _mm256_and_si256(_mm256_cmpeq_epi32(sx, run), _mm256_cmpeq_epi32(sy, row));
  if (_mm256_movemask_epi8(_mm256_and_si256(same, in)) == -1) {
    // The usual case of the HRV grid: eight neighbouring samples of one row, read as two runs
    // of eight pairs instead of gathered.
    const uint16_t* r0 = src.s0 + size_t(_mm256_cvtsi256_si32(sy)) * src.step + sx0;
    const uint16_t* r1 = r0 + src.step;
    top = Pairs(r0);
    bottom = Pairs(r1);
  } else {
    // Lanes outside gather nothing: their samples are 0, and so is their sum.
    const __m256i off = _mm256_and_si256(
        _mm256_add_epi32(_mm256_mullo_epi32(sy, _mm256_set1_epi32(int(src.step))), sx), in);
    const int* base = reinterpret_cast<const int*>(src.s0);
    const __m256i zero = _mm256_setzero_si256();
    top = _mm256_mask_i32gather_epi32(zero, base, off, in, 2);
    bottom = _mm256_mask_i32gather_epi32(
        zero, base, _mm256_add_epi32(off, _mm256_set1_epi32(int(src.step))), in, 2);
  }
  const __m256i lo16 = _mm256_set1_epi32(0xFFFF);
  const __m256 v0 = _mm256_cvtepi32_ps(_mm256_and_si256(top, lo16));
  const __m256 v1 = _mm256_cvtepi32_ps(_mm256_srli_epi32(top, 16));
  const __m256 v2 = _mm256_cvtepi32_ps(_mm256_and_si256(bottom, lo16));
  const __m256 v3 = _mm256_cvtepi32_ps(_mm256_srli_epi32(bottom, 16));
  const __m256i f = _mm256_and_si256(
      _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(fxy))),
      _mm256_set1_epi32(TAB_SIZE * TAB_SIZE - 1));
  const __m256 scale = _mm256_set1_ps(TAB_SCALE), one = _mm256_set1_ps(1.f);
  const __m256 x = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_and_si256(f, _mm256_set1_epi32(TAB_SIZE - 1))), scale);
  const __m256 y = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_srli_epi32(f, TAB_BITS)), scale);
  const __m256 x1 = _mm256_sub_ps(one, x), y1 = _mm256_sub_ps(one, y);
  __m256 t = _mm256_add_ps(_mm256_mul_ps(v0, _mm256_mul_ps(y1, x1)), _mm256_mul_ps(v1, _mm256_mul_ps(y1, x)));
  t = _mm256_add_ps(t, _mm256_mul_ps(v2, _mm256_mul_ps(y, x1)));
  t = _mm256_add_ps(t, _mm256_mul_ps(v3, _mm256_mul_ps(y, x)));
  const __m256i r = _mm256_cvtps_epi32(t);  // rounds half to even, as cvRound
  *result = _mm_packus_epi32(_mm256_castsi256_si128(r), _mm256_extracti128_si256(r, 1));
  return true;
}

__attribute__((target("avx2"))) void RowAvx2(const Source& src, const int16_t* xy,
                                             const uint16_t* fxy, int n, uint16_t* d, uint8_t* g,
                                             const uint8_t* grey) {
  int x = 0;
  for (; x + 16 <= n; x += 16) {
    __m128i a, b;
    if (!Eight(src, xy + 2 * x, fxy + x, &a) || !Eight(src, xy + 2 * x + 16, fxy + x + 8, &b)) {
      RowScalar(src, xy, fxy, x + 16, d, g, grey, x);
      continue;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), a);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x + 8), b);
    if (!g) continue;
    const __m128i v = SuplGreyBytes(SuplGreyOf8(a), SuplGreyOf8(b));
    uint8_t* o = g + 3 * x;
    for (int k = 0; k < 3; k++)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 16 * k),
                       _mm_shuffle_epi8(v, _mm_load_si128(reinterpret_cast<const __m128i*>(SUPL_SPREAD.m[k]))));
  }
  RowScalar(src, xy, fxy, n, d, g, grey, x);
}
#endif

int Level(int level) {
#ifdef SUPL_X86
  static const int have = __builtin_cpu_supports("avx2") ? 1 : 0;
  return std::min(level, have);
#else
  (void)level;
  return 0;
#endif
}

}  // namespace

void SuplRemapLinear16(const cv::Mat& src, const cv::Mat& map1, const cv::Mat& map2, cv::Mat& dst,
                       cv::Mat* rgb, int level) {
  CV_Assert(src.type() == CV_16UC1 && !src.empty());
  CV_Assert(map1.type() == CV_16SC2 && map2.type() == CV_16UC1 && map1.size() == map2.size());
  CV_Assert(dst.data != src.data);
  level = Level(level);
  const int rows = map1.rows, cols = map1.cols;
  if (dst.rows != rows || dst.cols != cols || dst.type() != CV_16UC1)
    dst = SuplLargeMat(rows, cols, CV_16UC1);
  if (rgb && (rgb->rows != rows || rgb->cols != cols || rgb->type() != CV_8UC3))
    *rgb = SuplLargeMat(rows, cols, CV_8UC3);
  const Source s = {src.ptr<uint16_t>(), src.step / sizeof(uint16_t), src.cols, src.rows};
  const uint8_t* grey = SuplGreyTable();
  cv::parallel_for_(
      cv::Range(0, rows),
      [&](const cv::Range& r) {
        for (int y = r.start; y < r.end; y++) {
          const int16_t* xy = map1.ptr<int16_t>(y);
          const uint16_t* f = map2.ptr<uint16_t>(y);
          uint16_t* d = dst.ptr<uint16_t>(y);
          uint8_t* g = rgb ? rgb->ptr<uint8_t>(y) : nullptr;
#ifdef SUPL_X86
          if (level >= 1) {
            RowAvx2(s, xy, f, cols, d, g, grey);
            continue;
          }
#endif
          RowScalar(s, xy, f, cols, d, g, grey);
        }
      },
      std::max(1, rows / ROWS_PER_STRIPE));
}
