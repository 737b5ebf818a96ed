// Supplementary routines of the data library: dates and image helpers.
#pragma once

#include <glib.h>

#include <cstddef>
#include <cstdint>

#include "data/fileinfo.h"

// Parses exactly 12 characters YYYYMMDDhhmm into t (month 0-based, full year).
// FALSE, t untouched, when the length is not 12.
gboolean SuplParseDate(const char* text, SlotTime* t);
// Decimal value of the first n characters (not checked to be digits); n < 1 gives 0.
int SuplStrToInt(const char* text, int n);
// Days of month (0-based) of year, Gregorian.
int SuplDaysInMonth(int year, int month);
// "July04 12:00" from a slot text; caller g_free()s.
char* SuplDateLabel(const char* text);

// Unpacks nc * 464 10-bit big-endian samples from src (nc * 580 bytes) into dst.
void SuplUnpack10Bit(const unsigned char* src, uint16_t* dst, int nc);
// Samples p_lo .. p_hi (0-based, p_lo <= p_hi) of a line of packed 10-bit samples in reverse
// order: dst[k] = sample p_hi - k. Reads only the five-byte groups that hold those samples,
// so src may end right after the group of p_hi. Lines run east first, so this is how a line
// becomes a west-first row.
void SuplUnpack10Reversed(const unsigned char* src, int p_lo, int p_hi, uint16_t* dst);
