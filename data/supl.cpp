#include "data/supl.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>


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

}  // namespace

// Plain loops: the received data are WT-compressed, and the unpacking of uncompressed segments
// is far from what a load costs (bench_unpack).
void SuplUnpack10Bit(const unsigned char* src, uint16_t* dst, int nc) {
  if (nc <= 0) return;
  Unpack10Scalar(src, dst, 0, size_t(nc) * 116);  // nc * 580 bytes / 5
}

void SuplUnpack10Reversed(const unsigned char* src, int p_lo, int p_hi, uint16_t* dst) {
  if (p_lo > p_hi || p_lo < 0) return;
  int k = 0;
  for (int p = p_hi; p >= p_lo; p--) dst[k++] = Sample10(src, p);
}
