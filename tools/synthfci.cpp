// The FCI repeat cycle of the synthetic scene: the MSG generator's weather seen on the FCI
// grids, its SEVIRI counts turned back into reflectances and brightness temperatures, and the
// extra FCI bands derived from their SEVIRI neighbours.
#include "tools/synthfci.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <cmath>
#include <ctime>

#include "tools/synth.h"
#include "tools/synthscene.h"

namespace {

// The SEVIRI constants of the MSG generator's scene: band solar irradiance over pi of VIS 0.6,
// VIS 0.8 and IR 1.6, and the central wavenumbers and offsets of its temperature formula.
constexpr double SUN_SEVIRI[4] = {0, 20.85, 23.29, 19.74};
constexpr double VC[12] = {0, 0, 0, 0, 2569.09, 1598.57, 1362.14, 1149.08, 1034.35, 930.66, 839.66, 752.38};
constexpr double BETA[12] = {0, 0, 0, 0, 3.471, 2.219, 0.485, 0.181, 0.06, 0.627, 0.397, 0.576};

double SeviriRadiance(const SynthPixelCounts& p, int ch) {
  return p.counts[ch] * SynthCalSlope[ch] + SynthCalOffset[ch];
}

double SeviriReflectance(const SynthPixelCounts& p, int ch) {
  return std::max(0.0, SeviriRadiance(p, ch) / SUN_SEVIRI[ch]);
}

double SeviriTemperature(const SynthPixelCounts& p, int ch) {
  const double r = std::max(SeviriRadiance(p, ch), 1e-6), vc = VC[ch];
  return SYNTH_FCI_C2 * vc / std::log1p(SYNTH_FCI_C1 * vc * vc * vc / r) - BETA[ch];
}

// Values of the solar (index 0..7) or infrared (8..15) channels at a point.
void Values(const SynthScene& scene, double lat, double lon, bool solar, double v[FCI_CHANNEL_COUNT]) {
  SynthPixelCounts p;
  SynthPixel(scene, lat, lon, &p);
  if (solar) {
    const double r06 = SeviriReflectance(p, 1), r08 = SeviriReflectance(p, 2), r16 = SeviriReflectance(p, 3);
    v[0] = 0.85 * r06 + 0.03;  // more Rayleigh scattering in the blue
    v[1] = 0.92 * r06 + 0.015;
    v[2] = r06;
    v[3] = r08;
    v[4] = 0.93 * r08;           // water vapour absorbs some
    v[5] = 0.12 * std::max(0.0, r16 - 0.1);  // cirrus band: only high clouds
    v[6] = r16;
    v[7] = 0.75 * r16;
  } else {
    const int seviri[8] = {4, 5, 6, 7, 8, 9, 10, 11};  // IR 3.9 .. IR 13.4 (IR 10.8 for ir_105)
    for (int i = 0; i < 8; i++) v[8 + i] = SeviriTemperature(p, seviri[i]);
  }
}

// Counts of the chunk's rows of every wanted channel on one grid (f: 1 for 2 km, 2 for 1 km).
void FillGrid(const SynthScene& scene, const SynthFciOptions& o, int f, double sun_km, std::vector<SynthFciBand*>& bands) {
  if (bands.empty()) return;
  const int grid = FCI_GRID_2KM * f;
  const bool full = o.rect[2] <= 0 || o.rect[3] <= 0;
  const int c0 = full ? 0 : std::max(0, o.rect[0] * f), c1 = full ? grid : std::min(grid, (o.rect[0] + o.rect[2]) * f);
  const int r_lo = full ? 1 : grid - (o.rect[1] + o.rect[3]) * f + 1, r_hi = full ? grid : grid - o.rect[1] * f;
  const int first = bands[0]->first_row, rows = bands[0]->last_row - first + 1;
  cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& range) {
    double v[FCI_CHANNEL_COUNT];
    for (int i = range.start; i < range.end; i++) {
      const int row = first + i;
      if (row < r_lo || row > r_hi) continue;
      for (int c = c0; c < c1; c++) {
        double lat, lon;
        if (!FciGridToLatLon(grid, c + 1, row, &lat, &lon)) continue;
        Values(scene, lat, lon, f == 2, v);
        for (SynthFciBand* b : bands) b->counts.at<uint16_t>(i, c) = SynthFciCount(b->channel, v[b->channel], sun_km);
      }
    }
  });
}

}  // namespace

double SynthFciSunDistance(int64_t unix_time) {
  const time_t t = time_t(unix_time);
  std::tm tm{};
  gmtime_r(&t, &tm);
  return 149597870.7 * (1.0 - 0.01672 * std::cos(2 * M_PI * (tm.tm_yday + 1 - 4) / 365.256));
}

bool SynthFciCycle(const SynthFciOptions& o, std::string* err) {
  int64_t t0 = 0;
  if (!SynthParseSlot(o.slot, &t0, err, FCI_SLOT_MINUTES)) return false;
  if (o.spacecraft < 1 || o.spacecraft > 4) return *err = "spacecraft must be MTG-I1 to MTG-I4", false;
  std::vector<int> channels = o.channels;
  if (channels.empty())
    for (int i = 0; i < FCI_CHANNEL_COUNT; i++) channels.push_back(i);
  for (int c : channels)
    if (c < 0 || c >= FCI_CHANNEL_COUNT) return *err = "no such FCI channel", false;
  if (g_mkdir_with_parents(o.out.c_str(), 0755) != 0) return *err = "cannot make " + o.out, false;

  const SynthScene scene = SynthSceneMake(o.seed, t0, o.cloud_cover, o.land_shore, o.land_lakes);
  const double sun_km = SynthFciSunDistance(t0);
  FciName name;
  name.spacecraft = o.spacecraft;
  name.jls = o.compress;
  std::tm tm{};
  const time_t tt = time_t(t0);
  gmtime_r(&tt, &tm);
  name.cycle = (tm.tm_hour * 60 + tm.tm_min) / FCI_SLOT_MINUTES;
  for (int k : FciChunksForWindow(o.rect)) {
    SynthFciBody body;
    body.sun_distance_km = sun_km;
    body.spacecraft = o.spacecraft;
    for (int c : channels) {
      SynthFciBand b;
      b.channel = c;
      FciChunkRows(FciChannels[c].grid, k, &b.first_row, &b.last_row);
      b.counts = cv::Mat(b.last_row - b.first_row + 1, FciChannels[c].grid, CV_16UC1, cv::Scalar(FCI_NO_COUNT));
      body.bands.push_back(std::move(b));
    }
    for (int f = 1; f <= 2; f++) {
      std::vector<SynthFciBand*> grid_bands;
      for (auto& b : body.bands)
        if (FciChannels[b.channel].grid == FCI_GRID_2KM * f) grid_bands.push_back(&b);
      FillGrid(scene, o, f, sun_km, grid_bands);
    }
    // The chunks of a cycle are sensed one after another over its first nine minutes.
    name.body = true;
    name.chunk = k;
    name.start = t0 + 7 + (k - 1) * 14;
    name.end = name.start + 10;
    name.created = name.end + 180;
    gchar* path = g_build_filename(o.out.c_str(), FciMakeName(name).c_str(), nullptr);
    const std::string p = path;
    g_free(path);
    if (!SynthFciWriteBody(p, body, o.compress, err)) return false;
  }
  name.body = false;
  name.chunk = FCI_TRAIL_CHUNK;
  name.start = t0 + 7;
  name.end = t0 + 7 + FCI_CHUNKS * 14;
  name.created = name.end + 240;
  gchar* path = g_build_filename(o.out.c_str(), FciMakeName(name).c_str(), nullptr);
  const std::string p = path;
  g_free(path);
  return SynthFciWriteTrail(p, o.spacecraft, err);
}
