// Reading places.csv line by line.
#include "dialogs/places.h"

#include <glib/gstdio.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Like atoi (blanks, a sign, digits up to the first non-digit) but saturating, and FALSE
// when there is no digit at all.
bool ReadNumber(const char* s, const char* end, gint32* out) {
  while (s < end && g_ascii_isspace(*s)) s++;
  bool negative = false;
  if (s < end && (*s == '-' || *s == '+')) negative = *s++ == '-';
  if (s >= end || !g_ascii_isdigit(*s)) return false;
  gint64 v = 0;
  for (; s < end && g_ascii_isdigit(*s); s++) v = std::min<gint64>(v * 10 + (*s - '0'), gint64(INT_MAX) + 1);
  v = negative ? -v : v;
  *out = gint32(std::clamp<gint64>(v, INT_MIN, INT_MAX));
  return true;
}

void PlaceFree(gpointer p) { delete static_cast<Place*>(p); }

struct FileClose {
  void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

bool PlaceParseLine(const char* line, Place* out) {
  const char* end = line + std::strcspn(line, "\r\n");
  const char* p = line;
  while (p < end && *p == ',') p++;  // leading empty fields
  const char* comma = static_cast<const char*>(std::memchr(p, ',', size_t(end - p)));
  if (p == end || !comma) return false;
  std::string name(p, comma);
  p = comma + 1;
  while (p < end && *p == ',') p++;
  comma = static_cast<const char*>(std::memchr(p, ',', size_t(end - p)));
  if (p == end || !comma) return false;
  Place place;
  if (!ReadNumber(p, comma, &place.x) || !ReadNumber(comma + 1, end, &place.y)) return false;
  std::unique_ptr<gchar, decltype(&g_free)> valid(g_utf8_make_valid(name.c_str(), -1), g_free);
  place.name = valid.get();
  *out = std::move(place);
  return true;
}

GPtrArray* PlacesRead(const std::string& path, int* skipped) {
  if (skipped) *skipped = 0;
  std::unique_ptr<FILE, FileClose> f(g_fopen(path.c_str(), "r"));
  if (!f) return nullptr;
  GPtrArray* places = g_ptr_array_new_with_free_func(PlaceFree);
  char buf[PLACE_LINE_MAX + 3];  // the line, its CR LF and the terminator
  int number = 0;
  while (std::fgets(buf, sizeof buf, f.get())) {
    number++;
    const size_t n = std::strlen(buf);
    const bool whole = (n > 0 && buf[n - 1] == '\n') || std::feof(f.get());
    bool ok = whole && std::strcspn(buf, "\r\n") <= size_t(PLACE_LINE_MAX);
    if (!whole) {  // over-long: drop the rest of the line too
      int c;
      while ((c = std::fgetc(f.get())) != EOF && c != '\n') {
      }
    }
    Place place;
    if (ok) ok = PlaceParseLine(buf, &place);
    if (!ok) {
      // An empty line is no place either, but not worth a warning.
      if (whole && std::strspn(buf, " \t\r\n") == n) continue;
      g_log(nullptr, G_LOG_LEVEL_WARNING, "%s:%d(place)", path.c_str(), number);
      if (skipped) (*skipped)++;
      continue;
    }
    g_ptr_array_add(places, new Place(std::move(place)));
  }
  return places;
}
