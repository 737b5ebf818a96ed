// Row kernels of the enlargements and the HRV remap, written once with Highway and dispatched
// at run time to the best vector unit of the processor (tests run them on every unit the
// machine has through hwy::SetSupportedTargetsForTest). The float arithmetic is the plain
// code's own, product by product, never contracted (the file is built without FP contraction).
#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>

// Horizontal sums of the bicubic enlargement for one source row, in destination order as
// floats: h[3b + p] = sum over k of g[b + off[p] + k] * w[(4 p + k) n + b] for b in [0, n).
// g must be readable from off-min(0, off) to n + 3 + max(off) (a row padded by its edges).
void SuplCubicSums(const uint8_t* g, int n, const int off[3], const int32_t* w, float* h);

// One destination row of the bicubic enlargement from its four rows of sums, each value
// spread to three equal bytes: out[3i .. 3i + 2] = round(sum_k s[k][i] * fb[k]) saturated for
// i below width & ~7 (OpenCV's vector code: float, half to even), and
// (sum_k s[k][i] * beta[k] + 2^21) >> 22 saturated beyond (its integer code). o is scratch of
// width bytes.
void SuplCubicVertical(const float* const s[4], const float fb[4], const int16_t beta[4], int width,
                       uint8_t* o, uint8_t* out);

// g[x] = the display grey of count c[x] (SuplGreyTable) for n counts.
void SuplGreyRow(const uint16_t* c, int n, uint8_t* g);

// Horizontal sums of the bilinear enlargement for one plane of a source row:
// h[3b + p] = (g[b + off[p]] * w0[p n + b] + g[b + off[p] + 1] * w1[p n + b]) >> 4 for b in
// [0, n). g must be readable from min(off) to n + 1 + max(off).
void SuplLinearSums(const uint8_t* g, int n, const int off[3], const int32_t* w0, const int32_t* w1,
                    int16_t* h);

// One destination row of the bilinear enlargement from the sums of its two source rows, plane
// by plane (h0[c], h1[c] for c = 0, 1, 2), interleaved: out[3i + c] =
// ((b0 h0[c][i] >> 16) + (b1 h1[c][i] >> 16) + 2) >> 2 for i in [0, m).
void SuplLinearVertical(const int16_t* const h0[3], const int16_t* const h1[3], int16_t b0, int16_t b1,
                        int m, uint8_t* out);

// A count source as the remap reads it: rows row0 .. of it at s0 (a stripe's rows, or all of
// them), width and height those of the whole source.
struct SuplRemapSource {
  const uint16_t* s0;
  size_t step;  // in samples
  int width, height;
  int row0 = 0;
};

// OpenCV's 16-bit bilinear remap takes its weights from a float table of 32 x 32 fractions,
// w = vy * vx with v = (1 - i / 32, i / 32), sums the four taps in float in a fixed order and
// rounds half to even. The weights are exact in float, so they are computed instead of looked up.
inline constexpr int SUPL_TAB_BITS = 5;
inline constexpr int SUPL_TAB_SIZE = 1 << SUPL_TAB_BITS;
inline constexpr float SUPL_TAB_SCALE = 1.f / SUPL_TAB_SIZE;

// One output pixel by OpenCV's rules (f: fraction index fy * 32 + fx): all four taps inside,
// or the constant-border case in which taps outside the source count as 0.
inline uint16_t SuplRemapPixel(const SuplRemapSource& src, int sx, int sy, unsigned f) {
  f &= SUPL_TAB_SIZE * SUPL_TAB_SIZE - 1;
  const float x = float(f & (SUPL_TAB_SIZE - 1)) * SUPL_TAB_SCALE, y = float(f >> SUPL_TAB_BITS) * SUPL_TAB_SCALE;
  const float w0 = (1.f - y) * (1.f - x), w1 = (1.f - y) * x, w2 = y * (1.f - x), w3 = y * x;
  if (sx >= src.width || sx + 1 < 0 || sy >= src.height || sy + 1 < 0) return 0;
  auto at = [&](int xx, int yy) -> uint16_t {
    return xx >= 0 && xx < src.width && yy >= 0 && yy < src.height
               ? src.s0[size_t(yy - src.row0) * src.step + size_t(xx)]
               : 0;
  };
  const float t = float(at(sx, sy)) * w0 + float(at(sx + 1, sy)) * w1 + float(at(sx, sy + 1)) * w2 +
                  float(at(sx + 1, sy + 1)) * w3;
  return cv::saturate_cast<uint16_t>(cvRound(t));
}

// Columns [a, b) of a remapped row whose columns read source columns x[i] (fraction fx[i]) of
// source rows sy and sy + 1 (fraction fy): d[i] = OpenCV's 16-bit bilinear value, and when g is
// given g[3i .. 3i + 2] = its display grey.
void SuplRemapRun(const SuplRemapSource& s, const int16_t* x, const uint8_t* fx, int sy, unsigned fy,
                  int a, int b, uint16_t* d, uint8_t* g);
