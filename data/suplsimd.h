// Vector pieces shared by the image kernels (x86 only; each is built for AVX2 by attribute,
// and callers choose it at run time).
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <cstdint>

// The target of the byte-permute kernels (AVX-512 F, BW, VL, VBMI, with AVX2 beside them), and
// whether the processor has it: the top vector level of each kernel family.
#define SUPL_VBMI __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi")))
inline bool SuplCpuHasVbmi() {
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi");
}

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

// Sixteen greys to their 48 bytes at out.
__attribute__((target("avx2"))) inline void SuplSpread16(__m128i greys, uint8_t* out) {
  for (int k = 0; k < 3; k++)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * k),
                     _mm_shuffle_epi8(greys, _mm_load_si128(reinterpret_cast<const __m128i*>(SUPL_SPREAD.m[k]))));
}

// Display grey bytes of sixteen counts: round(c * 255 / 1024) saturated, the values of
// SuplGreyTable computed. For c <= 1024 that is (c * 8160 + 2^14) >> 15, one rounding multiply
// (its only tie, c = 512, rounds up either way); counts from 1024 on are 255.
__attribute__((target("avx2"))) inline __m128i SuplGrey16(__m256i counts) {
  const __m256i c = _mm256_min_epu16(counts, _mm256_set1_epi16(1024));
  const __m256i g = _mm256_mulhrs_epi16(c, _mm256_set1_epi16(8160));
  return _mm_packus_epi16(_mm256_castsi256_si128(g), _mm256_extracti128_si256(g, 1));
}
#endif
