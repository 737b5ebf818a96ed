#include "tools/synthhrv.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

constexpr int N = SYNTH_HRV_NOISE;
// Softness of a cloud edge: a 1 km pixel is partly cloudy where the noise lies within this
// fraction of min(cover, 1 - cover) of the cover. Scaled so, the ramp never leaves 0..1 and the
// cloudy part averages to the cover exactly.
constexpr float EDGE = 0.3f;
// Relative variation of the cloud's brightness from pixel to pixel (cloud-top relief).
constexpr float RELIEF = 0.1f;

inline uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = x * 0x9e3779b1u ^ y * 0x85ebca77u ^ seed * 0xc2b2ae3du;
  h ^= h >> 15;
  h *= 0x2c1b3c6du;
  h ^= h >> 12;
  h *= 0x297a2d39u;
  h ^= h >> 15;
  return h;
}

inline float Fade(float t) { return t * t * (3 - 2 * t); }

// Bilinear look-up of the periodic noise at (x, y) texels.
inline float Noise(const float* t, float x, float y) {
  const float fx = std::floor(x), fy = std::floor(y);
  const int ix = int(fx) & (N - 1), iy = int(fy) & (N - 1);
  const int jx = (ix + 1) & (N - 1), jy = (iy + 1) & (N - 1);
  const float u = x - fx, v = y - fy;
  const float* r0 = t + size_t(iy) * N;
  const float* r1 = t + size_t(jy) * N;
  const float a = r0[ix] + (r0[jx] - r0[ix]) * u, b = r1[ix] + (r1[jx] - r1[ix]) * u;
  return a + (b - a) * v;
}

}  // namespace

cv::Mat SynthHrvNoise(uint32_t seed) {
  // Octaves of periodic value noise from 8 texels down to 2, each with 0.8 of the amplitude of
  // the one before: roughly the power-law spectrum of cloud fields.
  cv::Mat m(N, N, CV_32FC1, cv::Scalar(0));
  float amp = 1;
  for (int cell = 8, o = 0; cell >= 2; cell /= 2, o++, amp *= 0.8f) {
    const int period = N / cell;
    std::vector<float> lattice(size_t(period) * period);
    for (int j = 0; j < period; j++)
      for (int i = 0; i < period; i++)
        lattice[size_t(j) * period + i] = float(Hash(uint32_t(i), uint32_t(j), seed * 31u + uint32_t(o)) >> 8) * 0x1p-24f;
    for (int y = 0; y < N; y++) {
      const int j0 = y / cell, j1 = (j0 + 1) % period;
      const float v = Fade(float(y % cell) / float(cell));
      float* row = m.ptr<float>(y);
      for (int x = 0; x < N; x++) {
        const int i0 = x / cell, i1 = (i0 + 1) % period;
        const float u = Fade(float(x % cell) / float(cell));
        const float* l0 = &lattice[size_t(j0) * period];
        const float* l1 = &lattice[size_t(j1) * period];
        const float a = l0[i0] + (l0[i1] - l0[i0]) * u, b = l1[i0] + (l1[i1] - l1[i0]) * u;
        row[x] += amp * (a + (b - a) * v);
      }
    }
  }
  // Spread the values evenly over 0..1 (through their cumulative histogram), so that a
  // threshold at f marks a fraction f of the texels: the cover is kept on average.
  double lo = 0, hi = 0;
  cv::minMaxLoc(m, &lo, &hi);
  constexpr int BINS = 4096;
  std::array<double, BINS + 1> cdf{};
  const double scale = (BINS - 1e-3) / std::max(hi - lo, 1e-9);
  for (int y = 0; y < N; y++)
    for (const float* p = m.ptr<float>(y); p < m.ptr<float>(y) + N; p++) cdf[1 + int((*p - lo) * scale)] += 1;
  for (int b = 1; b <= BINS; b++) cdf[b] += cdf[b - 1];
  for (int y = 0; y < N; y++)
    for (float* p = m.ptr<float>(y); p < m.ptr<float>(y) + N; p++) {
      const double k = (*p - lo) * scale;
      const int b = int(k);
      *p = float((cdf[b] + (cdf[b + 1] - cdf[b]) * (k - b)) / (double(N) * N));
    }
  return m;
}

void SynthHrvSpreadCover(SynthHrvParts* parts, int rows, int cols) {
  std::vector<float> line(size_t(std::max(rows, cols)) + 2, 0.0f);
  auto pass = [&](int n, auto&& at) {
    for (int k = 0; k < n; k++) line[size_t(k) + 1] = at(k);
    line[0] = line[size_t(n) + 1] = 0;
    for (int k = 0; k < n; k++) at(k) = 0.25f * (line[size_t(k)] + 2 * line[size_t(k) + 1] + line[size_t(k) + 2]);
  };
  for (int y = 0; y < rows; y++)
    pass(cols, [&](int x) -> float& { return parts[size_t(y) * cols + x].cover; });
  for (int x = 0; x < cols; x++)
    pass(rows, [&](int y) -> float& { return parts[size_t(y) * cols + x].cover; });
}

void SynthHrvLine(const cv::Mat& noise, const SynthHrvParts* parts, int rows, int cols, double c0, double dc,
                  double row, int first, int last, uint16_t* out) {
  const float* tex = noise.ptr<float>();
  const double fy = std::floor(row);
  const int y0 = int(fy);
  const float wy = float(row - fy);
  static const SynthHrvParts ZERO{};
  auto at = [&](int y, int x) -> const SynthHrvParts& {
    return y >= 0 && y < rows && x >= 0 && x < cols ? parts[size_t(y) * cols + x] : ZERO;
  };
  for (int i = first; i <= last; i++) {
    const double cx = c0 + dc * i, fx = std::floor(cx);
    const int x0 = int(fx);
    const float wx = float(cx - fx);
    const SynthHrvParts &a = at(y0, x0), &b = at(y0, x0 + 1), &c = at(y0 + 1, x0), &d = at(y0 + 1, x0 + 1);
    auto lerp = [&](float SynthHrvParts::*f) {
      const float top = a.*f + (b.*f - a.*f) * wx, bottom = c.*f + (d.*f - c.*f) * wx;
      return top + (bottom - top) * wy;
    };
    const float clear = lerp(&SynthHrvParts::clear), cover = lerp(&SynthHrvParts::cover);
    float v = clear;
    if (cover > 0) {
      const float x = lerp(&SynthHrvParts::x), y = lerp(&SynthHrvParts::y);
      // The cloudy part of the 1 km pixel: all of it inside the cloud, a ragged threshold of the
      // noise where the 3 km pixels around are partly cloudy.
      float part = 1;
      if (cover < 1) {
        const float n = Noise(tex, x, y), half = EDGE * std::min(cover, 1 - cover);
        part = half > 1e-4f ? std::clamp((cover - n) / (2 * half) + 0.5f, 0.0f, 1.0f) : float(n < cover);
      }
      if (part > 0) {
        // The relief: the same noise turned and shifted, so it is not the edges' pattern.
        const float relief = 1 + RELIEF * (2 * Noise(tex, 0.8f * x - 0.6f * y + 211.f, 0.6f * x + 0.8f * y + 97.f) - 1);
        v += part * (lerp(&SynthHrvParts::cloud) - clear) * relief;
      }
    }
    out[i] = uint16_t(std::clamp(std::lround(v), 1L, 1023L));
  }
}
