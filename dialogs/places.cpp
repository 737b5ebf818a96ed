// Reading places.csv line by line.
#include "dialogs/places.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>

#include "data/gholder.h"

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

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

// The whole file into *text: opened without blocking (a FIFO named like the file has no
// writer), only when it is a regular file of at most PLACES_BYTES_MAX bytes.
bool ReadBounded(const std::string& path, std::string* text, std::string* error) {
  auto fail = [&](const char* why) {
    if (error) *error = why;
    return false;
  };
  Fd f{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
  if (f.fd < 0) return fail("not found");
  struct stat st {};
  if (fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) return fail("it is not a regular file");
  if (st.st_size > PLACES_BYTES_MAX) return fail("it is larger than 64 MB");
  // Bounded also when the file grows while it is read.
  text->resize(size_t(st.st_size) + 1);
  size_t got = 0;
  while (got < text->size()) {
    const ssize_t n = read(f.fd, text->data() + got, text->size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(g_strerror(errno));
    if (n == 0) break;
    got += size_t(n);
    if (got > size_t(PLACES_BYTES_MAX)) return fail("it is larger than 64 MB");
    if (got == text->size()) text->resize(std::min<size_t>(text->size() * 2, size_t(PLACES_BYTES_MAX) + 1));
  }
  text->resize(got);
  return true;
}

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
  GStr valid(g_utf8_make_valid(name.c_str(), -1));
  place.name = valid.get();
  *out = std::move(place);
  return true;
}

GPtrArray* PlacesRead(const std::string& path, int* skipped, std::string* error) {
  if (skipped) *skipped = 0;
  std::string text;
  if (!ReadBounded(path, &text, error)) return nullptr;
  GPtrArray* places = g_ptr_array_new_with_free_func(PlaceFree);
  int number = 0;
  for (size_t at = 0; at < text.size();) {
    size_t eol = text.find('\n', at);
    if (eol == std::string::npos) eol = text.size();
    const std::string line = text.substr(at, eol - at);
    at = eol + 1;
    number++;
    // The line's own characters, without its CR; a NUL ends it as it did for fgets.
    const size_t n = std::strcspn(line.c_str(), "\r\n");
    if (std::strspn(line.c_str(), " \t\r") == std::strlen(line.c_str())) continue;  // empty: no fault
    Place place;
    if (n > size_t(PLACE_LINE_MAX) || !PlaceParseLine(line.c_str(), &place)) {
      g_log(nullptr, G_LOG_LEVEL_WARNING, "%s:%d(place): not a line \"name,x,y\" of at most %d characters",
            path.c_str(), number, PLACE_LINE_MAX);
      if (skipped) (*skipped)++;
      continue;
    }
    g_ptr_array_add(places, new Place(std::move(place)));
  }
  return places;
}
