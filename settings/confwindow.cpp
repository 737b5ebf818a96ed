// The segments a view window needs from the files of a service.
#include "settings/confwindow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <glib.h>

#include "data/fileinfo.h"
#include "data/geo.h"
#include "data/layer.h"

std::pair<int, int> ConfWindowSegments(const Sat& sat, const ConfRect& r, bool hrv) {
  const int32_t window[4] = {r.x, r.y, r.width, r.height};
  const auto [first, last] = LayerSegments(window, hrv);
  const auto [lo, hi] = SatServiceSegments(sat, hrv);
  const int a = std::max(first, lo), b = std::min(last, hi);
  if (first > last || a > b) return {0, -1};
  return {a, b};
}

std::vector<std::string> ConfWindowFiles(const Sat& sat, const ConfRect& r, int id, const std::string& t) {
  std::vector<std::string> out;
  if (id < 1 || id > CHANNEL_COUNT) return out;
  const auto [first, last] = ConfWindowSegments(sat, r, id == HRV_ID);
  for (int seg = first; seg <= last; seg++) out.push_back(SatSegmentName(sat, InfoChannelText[id], seg, t));
  return out;
}

std::string ConfSegmentText(std::pair<int, int> s) {
  char buf[48];
  if (s.first == s.second)
    std::snprintf(buf, sizeof buf, "segment %d", s.first);
  else
    std::snprintf(buf, sizeof buf, "segments %d to %d", s.first, s.second);
  return buf;
}

std::string ConfWindowFault(const Sat& sat, const ConfRect& r) {
  const int32_t window[4] = {r.x, r.y, r.width, r.height};
  const std::pair<int, int> need = LayerSegments(window, false);
  const std::pair<int, int> sent = SatServiceSegments(sat, false);
  if (need.first > need.second || (need.first >= sent.first && need.second <= sent.second)) return {};
  // Where the service's coverage ends, on its own meridian, for a user who thinks in degrees.
  // The reason comes first: the status bar shows the start of a long message.
  double lat = 0, lon = 0;
  const double line = (sent.first - 1) * double(SEGMENT_LINES) + 1;
  const bool known = GeoPixelToLatLon(CONF_GRID / 2.0, line, &lat, &lon, SatNominalLongitude(sat)) == 0;
  char north[64] = "";
  if (known) std::snprintf(north, sizeof north, " of about %.0f° N", std::floor(lat));
  std::string name = SatServiceName(sat.service);
  name[0] = g_ascii_toupper(name[0]);
  return name + ": " + ConfSegmentText(sent) + " only, the window needs " + ConfSegmentText(need) + ": move it north" +
         north + " on the Interface page";
}
