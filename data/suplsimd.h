// Vector pieces shared by the image kernels (x86 only; each is built for AVX2 by attribute,
// and callers choose it at run time).
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <cstdint>

// Shuffles that spread 16 greys over 48 bytes, three equal bytes per pixel: piece k of 16
// bytes takes greys (16k + i) / 3.
struct SuplSpreadMasks {
  alignas(16) uint8_t m[3][16];
  SuplSpreadMasks() {
    for (int k = 0; k < 3; k++)
      for (int i = 0; i < 16; i++) m[k][i] = uint8_t((16 * k + i) / 3);
  }
};
inline const SuplSpreadMasks SUPL_SPREAD;

// Display grey of eight counts, as 32-bit lanes: round(c * 255 / 1024) saturated, the values of
// SuplGreyTable computed (its only tie, c = 512, rounds up either way; 255 from 1024 on).
__attribute__((target("avx2"))) inline __m256i SuplGreyOf8(__m128i counts) {
  const __m256i r = _mm256_cvtepu16_epi32(counts);
  const __m256i t = _mm256_add_epi32(_mm256_sub_epi32(_mm256_slli_epi32(r, 8), r), _mm256_set1_epi32(512));
  return _mm256_min_epi32(_mm256_srli_epi32(t, 10), _mm256_set1_epi32(255));
}

// Sixteen 32-bit greys (a: the first eight) to sixteen bytes.
__attribute__((target("avx2"))) inline __m128i SuplGreyBytes(__m256i a, __m256i b) {
  const __m256i w = _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8);
  return _mm_packus_epi16(_mm256_castsi256_si128(w), _mm256_extracti128_si256(w, 1));
}
#endif
