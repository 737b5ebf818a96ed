// The named places of import/Shp/places.csv: the Interface page's place choice.
#pragma once

#include <glib.h>

#include <string>

// One named place: image x and y of the 3712 grid (x = 3712 - column, y = 3712 - line).
struct Place {
  std::string name;  // UTF-8
  gint32 x = 0;
  gint32 y = 0;
};

inline constexpr int PLACE_LINE_MAX = 99;  // characters of one line, its line end not counted

// Parses one line "name,x,y" (leading commas skipped, numbers read like atoi, "12ab" is 12).
// FALSE, *out untouched, when a field is missing or a coordinate holds no digit at all.
bool PlaceParseLine(const char* line, Place* out);
// Reads places.csv: a new array of Place* (freeing them), in file order, or NULL when the
// file cannot be opened. Lines that are too long or do not parse are skipped with a
// warning each; *skipped (may be NULL) counts them.
GPtrArray* PlacesRead(const std::string& path, int* skipped);
