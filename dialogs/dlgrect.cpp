// View rectangle arithmetic of the Interface page.
#include "dialogs/dlgrect.h"

#include <algorithm>
#include <cmath>

#include "data/geo.h"
#include "settings/confrules.h"

DlgRectFault DlgRectCheck(const ConfRect& r) {
  return ConfRectValid(r) ? DlgRectFault::kNone : DlgRectFault::kOutside;
}

bool DlgRectCentre(const ConfRect& r, double* lat, double* lon, double sub_lon) {
  const double column = CONF_GRID - r.width / 2 - r.x;
  const double line = CONF_GRID - r.height / 2 - r.y;
  return GeoPixelToLatLon(column, line, lat, lon, sub_lon) == 0;
}

ConfRect DlgRectAtPlace(const ConfRect& r, gint32 px, gint32 py) {
  // A place of places.csv may hold any 32-bit number: saturate instead of overflowing, the
  // check then refuses the window.
  auto at = [](gint32 p, gint32 size) {
    return gint32(std::clamp<gint64>(gint64(p) - size / 2, G_MININT32, G_MAXINT32));
  };
  ConfRect out = r;
  out.x = at(px, r.width);
  out.y = at(py, r.height);
  return out;
}

DlgRectFault DlgRectAtCentre(const ConfRect& r, double lat, double lon, bool east_west, ConfRect* out,
                             double sub_lon) {
  double column = -1, line = -1;
  if (GeoLatLonToPixel(lat, lon, &column, &line, 0, sub_lon) != 0) return DlgRectFault::kOffDisk;
  ConfRect moved = r;
  if (east_west)
    moved.x = -(r.width / 2) - gint32(std::trunc(column - CONF_GRID));
  else
    moved.y = -(r.height / 2) - gint32(std::trunc(line - CONF_GRID));
  *out = moved;
  return DlgRectFault::kNone;
}

bool DlgRectPlaceSeen(gint32 x, gint32 y, double sub_lon, gint32* out_x, gint32* out_y) {
  double lat = 0, lon = 0, column = 0, line = 0;
  if (GeoPixelToLatLon(CONF_GRID - double(x), CONF_GRID - double(y), &lat, &lon) != 0) return false;
  if (GeoLatLonToPixel(lat, lon, &column, &line, 0, sub_lon) != 0) return false;
  *out_x = gint32(std::lround(CONF_GRID - column));
  *out_y = gint32(std::lround(CONF_GRID - line));
  return true;
}

ConfRect DlgRectResize(const ConfRect& r, gint32 size, bool horizontal) {
  ConfRect out = r;
  if (horizontal) {
    out.x += (r.width - size) / 2;
    out.width = size;
  } else {
    out.y += (r.height - size) / 2;
    out.height = size;
  }
  return out;
}
