#include "data/supl.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include "data/suplsimd.h"
#endif

gboolean SuplParseDate(const char* text, SlotTime* t) {
  if (!text || std::strlen(text) != 12) return FALSE;
  t->tm_year = SuplStrToInt(text, 4);
  t->tm_mon = SuplStrToInt(text + 4, 2) - 1;
  t->tm_mday = SuplStrToInt(text + 6, 2);
  t->tm_hour = SuplStrToInt(text + 8, 2);
  t->tm_min = SuplStrToInt(text + 10, 2);
  return TRUE;
}

int SuplStrToInt(const char* text, int n) {
  int v = 0;
  for (int i = 0; i < n; i++) v = v * 10 + (text[i] - '0');
  return v;
}

int SuplDaysInMonth(int year, int month) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 0 || month > 11) return 0;
  if (month == 1 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return days[month];
}

char* SuplDateLabel(const char* text) {
  static const char* const months[12] = {"Jan",  "Feb", "Mar", "Apr",  "May", "June",
                                         "July", "Aug", "Sept", "Oct", "Nov", "Dec"};
  char* out = static_cast<char*>(g_malloc0(20));
  if (!text || std::strlen(text) < 12) return out;
  char mm[3] = {text[4], text[5], 0};
  int m = std::atoi(mm);
  if (m < 1) m = 1;
  if (m > 12) m = 12;
  g_snprintf(out, 20, "%s%.2s %.2s:%.2s", months[m - 1], text + 6, text + 8, text + 10);
  return out;
}

namespace {

// Scalar unpacking of groups [g0, g1): five bytes to four 10-bit counts.
void Unpack10Scalar(const unsigned char* src, uint16_t* dst, size_t g0, size_t g1) {
  for (size_t g = g0; g < g1; g++) {
    const unsigned char* b = src + 5 * g;
    uint16_t* d = dst + 4 * g;
    d[0] = uint16_t(b[0] << 2 | b[1] >> 6);
    d[1] = uint16_t((b[1] & 63) << 4 | b[2] >> 4);
    d[2] = uint16_t((b[2] & 15) << 6 | b[3] >> 2);
    d[3] = uint16_t((b[3] & 3) << 8 | b[4]);
  }
}

inline uint16_t Sample10(const unsigned char* src, int p) {
  const unsigned char* b = src + 5 * (p >> 2);
  switch (p & 3) {
    case 0: return uint16_t(b[0] << 2 | b[1] >> 6);
    case 1: return uint16_t((b[1] & 63) << 4 | b[2] >> 4);
    case 2: return uint16_t((b[2] & 15) << 6 | b[3] >> 2);
    default: return uint16_t((b[3] & 3) << 8 | b[4]);
  }
}

#if defined(__x86_64__) || defined(__i386__)
// The sixteen counts of the four groups at b (20 bytes; the loads reach b + 26), eight from
// ten bytes per 128-bit lane, the upper lane's load starting at +10: each count's two bytes are
// gathered into a little-endian word, shifted left to drop the bits of the count before it,
// then right by 6.
__attribute__((target("avx2"))) inline __m256i Unpack16Avx2(const unsigned char* b) {
  const __m256i shuf = _mm256_setr_epi8(1, 0, 2, 1, 3, 2, 4, 3, 6, 5, 7, 6, 8, 7, 9, 8,  //
                                        1, 0, 2, 1, 3, 2, 4, 3, 6, 5, 7, 6, 8, 7, 9, 8);
  const __m256i mul = _mm256_setr_epi16(1, 4, 16, 64, 1, 4, 16, 64, 1, 4, 16, 64, 1, 4, 16, 64);
  const __m256i v = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 10)), 1);
  return _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_shuffle_epi8(v, shuf), mul), 6);
}

// Returns the number of groups done; loads stay inside the nbytes of src.
__attribute__((target("avx2"))) size_t Unpack10Avx2(const unsigned char* src, uint16_t* dst,
                                                     size_t groups) {
  const size_t nbytes = groups * 5;
  size_t g = 0;
  for (; 5 * g + 26 <= nbytes; g += 4)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * g), Unpack16Avx2(src + 5 * g));
  return g;
}

// Reversed unpacking, 16 samples (four groups) a step: the samples p - 15 .. p of the groups
// unpacked as above, then their order turned around in the register. p starts at the last
// sample of a group; returns the next sample still to be written, and k its place in dst.
__attribute__((target("avx2"))) int Unpack10ReversedAvx2(const unsigned char* src, int p_lo,
                                                         int p, int end_byte, uint16_t* dst,
                                                         int* k, bool once) {
  const __m256i turn = _mm256_setr_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1,  //
                                        14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1);
  // The two 16-byte loads of groups g .. g + 3 reach byte 5g + 26.
  for (; p - 15 >= p_lo && 5 * ((p - 15) >> 2) + 26 <= end_byte; p -= 16, *k += 16) {
    const __m256i w = Unpack16Avx2(src + 5 * ((p - 15) >> 2));
    const __m256i r = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(w, turn), 0x4E);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + *k), r);
    if (once) {
      *k += 16;
      return p - 16;
    }
  }
  return p;
}

// 32 samples a step: one byte permute gathers each sample's two bytes, already in reversed
// order, and the multiply and shift of the forward unpacking keep its ten bits.
struct ReversedTables {
  alignas(64) uint8_t idx[64];
  alignas(64) uint16_t mul[32];
  ReversedTables() {
    for (int k = 0; k < 32; k++) {
      const int t = 31 - k, g = t >> 2, pos = t & 3;  // sample p - k, 0-based in the 8 groups
      idx[2 * k] = uint8_t(5 * g + pos + 1);
      idx[2 * k + 1] = uint8_t(5 * g + pos);
      mul[k] = uint16_t(1 << (2 * pos));
    }
  }
};
inline const ReversedTables REVERSED;

// GCC 12's byte permute starts from a self-initialised "undefined" vector, which its own
// uninitialised-use warning then flags.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
SUPL_VBMI int Unpack10ReversedVbmi(const unsigned char* src, int p_lo, int p, int end_byte,
                                   uint16_t* dst, int* k) {
  const __m512i idx = _mm512_load_si512(REVERSED.idx);
  const __m512i mul = _mm512_load_si512(REVERSED.mul);
  // Groups (p - 31) / 4 .. p / 4: one 64-byte load from the first.
  for (; p - 31 >= p_lo && 5 * ((p - 31) >> 2) + 64 <= end_byte; p -= 32, *k += 32) {
    const __m512i v = _mm512_permutexvar_epi8(idx, _mm512_loadu_si512(src + 5 * ((p - 31) >> 2)));
    _mm512_storeu_si512(dst + *k, _mm512_srli_epi16(_mm512_mullo_epi16(v, mul), 6));
  }
  return p;
}
#pragma GCC diagnostic pop

__attribute__((target("ssse3"))) size_t Unpack10Ssse3(const unsigned char* src, uint16_t* dst,
                                                       size_t groups) {
  const __m128i shuf = _mm_setr_epi8(1, 0, 2, 1, 3, 2, 4, 3, 6, 5, 7, 6, 8, 7, 9, 8);
  const __m128i mul = _mm_setr_epi16(1, 4, 16, 64, 1, 4, 16, 64);
  const size_t nbytes = groups * 5;
  size_t g = 0;
  for (; 5 * g + 16 <= nbytes; g += 2) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 5 * g));
    const __m128i w = _mm_srli_epi16(_mm_mullo_epi16(_mm_shuffle_epi8(v, shuf), mul), 6);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * g), w);
  }
  return g;
}
#endif

}  // namespace

int SuplUnpack10BitLevel() {
#if defined(__x86_64__) || defined(__i386__)
  static const int level = SuplCpuHasVbmi()                  ? 3
                           : __builtin_cpu_supports("avx2")  ? 2
                           : __builtin_cpu_supports("ssse3") ? 1
                                                             : 0;
  return level;
#else
  return 0;
#endif
}

void SuplUnpack10BitAt(const unsigned char* src, uint16_t* dst, int nc, int level) {
  if (nc <= 0) return;
  const size_t groups = size_t(nc) * 116;  // nc * 580 bytes / 5
  size_t done = 0;
#if defined(__x86_64__) || defined(__i386__)
  if (level > SuplUnpack10BitLevel()) level = SuplUnpack10BitLevel();
  if (level >= 2) done = Unpack10Avx2(src, dst, groups);
  else if (level == 1) done = Unpack10Ssse3(src, dst, groups);
#else
  (void)level;
#endif
  Unpack10Scalar(src, dst, done, groups);
}

void SuplUnpack10Bit(const unsigned char* src, uint16_t* dst, int nc) {
  SuplUnpack10BitAt(src, dst, nc, SuplUnpack10BitLevel());
}

void SuplUnpack10ReversedAt(const unsigned char* src, int p_lo, int p_hi, uint16_t* dst, int level) {
  if (p_lo > p_hi || p_lo < 0) return;
  const int end_byte = 5 * ((p_hi >> 2) + 1);  // bytes of src that may be read
  int k = 0, p = p_hi;
#if defined(__x86_64__) || defined(__i386__)
  level = std::min(level, SuplUnpack10BitLevel());
  // One by one until p ends a group and a vector step's loads stay inside src; the widest
  // step that fits, each starting from the last sample of a group.
  while (level >= 2 && p >= p_lo) {
    if ((p & 3) == 3 && level >= 3 && p - 31 >= p_lo && 5 * ((p - 31) >> 2) + 64 <= end_byte)
      p = Unpack10ReversedVbmi(src, p_lo, p, end_byte, dst, &k);
    else if ((p & 3) == 3 && p - 15 >= p_lo && 5 * ((p - 15) >> 2) + 26 <= end_byte)
      p = Unpack10ReversedAvx2(src, p_lo, p, end_byte, dst, &k, level >= 3);
    else
      dst[k++] = Sample10(src, p--);
  }
#else
  (void)level;
#endif
  for (; p >= p_lo; p--) dst[k++] = Sample10(src, p);
}

void SuplUnpack10Reversed(const unsigned char* src, int p_lo, int p_hi, uint16_t* dst) {
  SuplUnpack10ReversedAt(src, p_lo, p_hi, dst, SuplUnpack10BitLevel());
}
