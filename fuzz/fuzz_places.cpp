// The places.csv reader on arbitrary bytes: the line parser directly and the file reader.
#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "dialogs/dlgrect.h"
#include "dialogs/places.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzQuiet();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The line parser works on one NUL-terminated line of any length.
  std::string line(reinterpret_cast<const char*>(data), size);
  Place place;
  if (PlaceParseLine(line.c_str(), &place) && !g_utf8_validate(place.name.c_str(), -1, nullptr)) __builtin_trap();

  const std::string path = FuzzWrite("places.csv", data, size);
  if (path.empty()) return 0;
  int skipped = -1;
  std::string error;
  GPtrArray* places = PlacesRead(path, &skipped, &error);
  if (!places || skipped < 0 || !error.empty()) __builtin_trap();  // a regular file: read, lines skipped or not
  for (guint i = 0; i < places->len; i++) {
    const auto* p = static_cast<const Place*>(g_ptr_array_index(places, i));
    if (!g_utf8_validate(p->name.c_str(), -1, nullptr)) __builtin_trap();
    // Choosing the place on the Interface page: the window around it is computed and checked
    // without overflow for any coordinates (UBSan watches the arithmetic).
    const ConfRect at = DlgRectAtPlace(ConfRect{CONF_RECT_X, CONF_RECT_Y, CONF_RECT_WIDTH, CONF_RECT_HEIGHT}, p->x, p->y);
    if (DlgRectCheck(at) == DlgRectFault::kNone && (p->x < 0 || p->y < 0 || p->x > CONF_GRID || p->y > CONF_GRID))
      __builtin_trap();
  }
  g_ptr_array_unref(places);
  return 0;
}
