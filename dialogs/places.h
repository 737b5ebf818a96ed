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
// The largest places.csv read: room for several hundred thousand places of full length.
inline constexpr gint64 PLACES_BYTES_MAX = gint64(64) << 20;

// Parses one line "name,x,y" (leading commas skipped, numbers read like atoi, "12ab" is 12).
// FALSE, *out untouched, when a field is missing or a coordinate holds no digit at all.
bool PlaceParseLine(const char* line, Place* out);
// Reads places.csv: a new array of Place* (freeing them), in file order, or NULL when the
// file cannot be opened, is no regular file (a FIFO or a device never blocks the reader) or is
// larger than PLACES_BYTES_MAX; *error (may be NULL) is then "not found" or the reason, for the user. Lines that
// are too long or do not parse are skipped with a warning each; *skipped (may be NULL) counts them.
GPtrArray* PlacesRead(const std::string& path, int* skipped, std::string* error = nullptr);
