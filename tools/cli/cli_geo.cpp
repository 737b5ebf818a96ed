// nubicorn-cli geo to-latlon X Y | to-pixel LAT LON, in image coordinates of the 3712 grid
// (x = 3712 - column, y = 3712 - line).
#include <glib.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "data/geo.h"

namespace {

const char* const USAGE =
    "Usage: nubicorn-cli geo to-latlon X Y [SUBLON]    (prints LAT LON in degrees)\n"
    "       nubicorn-cli geo to-pixel LAT LON [SUBLON] (prints image X Y)\n"
    "  SUBLON: sub-satellite longitude in degrees east (default 0; 9.5 for rapid scan)\n";

bool Number(const char* s, double* v) {
  char* end = nullptr;
  *v = g_ascii_strtod(s, &end);
  return end != s && *end == '\0' && std::isfinite(*v);
}

}  // namespace

int CliGeo(int argc, char** argv) {
  if (argc >= 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
    std::fputs(USAGE, stdout);
    return 0;
  }
  double a = 0, b = 0, sub_lon = 0;
  if ((argc != 4 && argc != 5) || !Number(argv[2], &a) || !Number(argv[3], &b) ||
      (argc == 5 && (!Number(argv[4], &sub_lon) || sub_lon < -180 || sub_lon > 180))) {
    std::fputs(USAGE, stderr);
    return 2;
  }
  if (!std::strcmp(argv[1], "to-latlon")) {
    double lat = 0, lon = 0;
    if (GeoPixelToLatLon(3712 - a, 3712 - b, &lat, &lon, sub_lon) != 0) {
      std::fprintf(stderr, "nubicorn-cli geo: pixel %s %s is not on the Earth\n", argv[2], argv[3]);
      return 1;
    }
    std::printf("%.6f %.6f\n", lat, lon);
    return 0;
  }
  if (!std::strcmp(argv[1], "to-pixel")) {
    double column = 0, line = 0;
    if (GeoLatLonToPixel(a, b, &column, &line, 0, sub_lon) != 0) {
      std::fprintf(stderr, "nubicorn-cli geo: %s %s is not visible from the satellite\n", argv[2],
                   argv[3]);
      return 1;
    }
    std::printf("%.6f %.6f\n", 3712 - column, 3712 - line);
    return 0;
  }
  std::fputs(USAGE, stderr);
  return 2;
}
