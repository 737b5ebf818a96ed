// The value rules of the settings file, shared by reading, writing and the Settings dialog.
#pragma once

#include <glib.h>

#include <cstring>
#include <string>

#include "settings/conf.h"

// TRUE when every character of the UTF-8 text is one byte (byte length = character count).
inline bool ConfSingleByte(const char* s) {
  return g_utf8_validate(s, -1, nullptr) && glong(std::strlen(s)) == g_utf8_strlen(s, -1);
}

// The area a view window may cover: the whole 3712 x 3712 disk (a window of the northern strip,
// all that files of older versions could hold, lies inside it). Every check of a window (reading
// the file, the Interface page) goes through ConfRectValid, so these two bounds are the only
// place the area is stated.
inline constexpr int CONF_AREA_COLUMNS = CONF_GRID;
inline constexpr int CONF_AREA_LINES = CONF_GRID;

// A window is usable when it is non-empty and lies inside the area (no overflow for any
// 64-bit inputs that came from 32-bit values).
inline bool ConfRectValid(gint64 x, gint64 y, gint64 w, gint64 h) {
  return w >= 1 && h >= 1 && x >= 0 && y >= 0 && x + w <= CONF_AREA_COLUMNS && y + h <= CONF_AREA_LINES;
}
inline bool ConfRectValid(const ConfRect& r) { return ConfRectValid(r.x, r.y, r.width, r.height); }

// The numeric keys of "Interface" other than the window: the accepted range of each and what a
// missing or unusable value becomes. A present value outside the range (or no integer at all)
// is replaced with one warning naming the key; the bounds keep later arithmetic (zoom index,
// HRV columns, hue ranges) far from overflow.
struct ConfIntRule {
  const char* key;
  gint32 min, max, fallback;
};
inline constexpr int CONF_ZOOM_MAX = 18;        // zoom + 7 is the last row of the zoom table
inline constexpr int CONF_HRV_COLUMNS = 11136;  // "hrv-east" is a 1-based HRV column
inline constexpr int CONF_RANGE_MAX = 180;      // hue tolerance in degrees
inline constexpr int CONF_SCROLL_MAX = 1 << 22;  // scroll positions of the largest canvas, with room
inline constexpr ConfIntRule CONF_INT_RULES[] = {
    {"hrv-east", 1, CONF_HRV_COLUMNS, CONF_HRV_EAST},
    {"charset", 0, CONF_CHARSET_MAX, 0},
    {"selected-range", 1, CONF_RANGE_MAX, CONF_RANGE},
    {"zoom", 1, CONF_ZOOM_MAX, CONF_ZOOM},
    {"scroll-x", 0, CONF_SCROLL_MAX, 0},
    {"scroll-y", 0, CONF_SCROLL_MAX, 0},
    {CONF_KEY_MAX_SLOTS, 1, CONF_MAX_SLOTS_MAX, 0},  // 0: one day of the chosen service
};
// The rule of key in CONF_INT_RULES (NULL when it has none).
inline const ConfIntRule* ConfIntRuleOf(const char* key) {
  for (const ConfIntRule& r : CONF_INT_RULES)
    if (std::strcmp(r.key, key) == 0) return &r;
  return nullptr;
}

// The stored integer of key as written (decimal, optional sign, blanks around): FALSE when the
// key is missing or its value is no integer of 64 bits.
bool ConfStoredInt(GKeyFile* kf, const char* group, const char* key, gint64* out);
// The value of key in "Interface" by its rule: the fallback when missing, else the stored
// value when in range, else the fallback with a warning "nubicorn.ini: KEY=VALUE ...".
gint32 ConfReadInt(GKeyFile* kf, const ConfIntRule& rule);

// "field-name": 1 to 10 bytes, each character one byte.
inline bool ConfFieldValid(const char* s) {
  size_t n = std::strlen(s);
  return n >= 1 && n <= size_t(CONF_FIELD_MAX) && ConfSingleByte(s);
}

// "canvas-font" as written: at least 4 bytes, each character one byte.
inline bool ConfFontWritable(const char* s) { return std::strlen(s) >= 4 && ConfSingleByte(s); }

// Moves an existing settings file that is about to be replaced aside, to path.bad (or
// path.bad-N when taken), when it cannot be loaded: a hand-edited file with one bad line is
// kept for its owner instead of being lost. A readable or missing file is left alone.
void ConfKeepUnreadable(const std::string& path);
