// The value rules of the "Interface" group, shared by reading and writing.
#pragma once

#include <glib.h>

#include <cstring>
#include <string>

#include "settings/conf.h"

// TRUE when every character of the UTF-8 text is one byte (byte length = character count).
inline bool ConfSingleByte(const char* s) {
  return g_utf8_validate(s, -1, nullptr) && glong(std::strlen(s)) == g_utf8_strlen(s, -1);
}

// The displayed rectangle is taken only when it is non-degenerate and inside the grid.
inline bool ConfRectValid(gint64 x, gint64 y, gint64 w, gint64 h) {
  return w != 0 && h != 0 && x >= 0 && y >= 0 && x + w <= CONF_GRID && y + h <= CONF_GRID;
}

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
