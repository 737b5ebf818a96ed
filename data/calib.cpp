#include "data/calib.h"

#include <glib.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "data/atmrad.h"
#include "data/gholder.h"
#include "data/prologue.h"
#include "data/satellite.h"

namespace {

constexpr double PI = 3.14159265358979323846;

struct FileClose {
  void operator()(FILE* f) const { std::fclose(f); }
};

// Band solar irradiance of VIS 0.6, VIS 0.8, IR 1.6 and HRV for MSG1..MSG4 (EUMETSAT's
// conversion note for the warm channels).
constexpr double SOLAR[4][4] = {
    {65.2296, 73.0127, 62.3715, 78.7599},
    {65.2065, 73.1869, 61.9923, 79.0113},
    {65.5148, 73.1807, 62.0208, 78.9416},
    {65.2656, 73.1692, 61.9416, 79.0035},
};

}  // namespace

double CalibSolarIrradiance(int spacecraft, int ch) {
  const int s = spacecraft >= 321 && spacecraft <= 324 ? spacecraft - 321 : 2;
  switch (ch) {
    case 1: return SOLAR[s][0];
    case 2: return SOLAR[s][1];
    case 3: return SOLAR[s][2];
    case CHANNEL_COUNT: return SOLAR[s][3];
    default: return 0.0;
  }
}

CalibSlot CalibRead(const char* segment_path) {
  CalibSlot cal;
  for (int ch = 1; ch <= CHANNEL_COUNT; ch++) cal.coef[ch] = {AtmradCoefs[ch].slope, AtmradCoefs[ch].offset};
  if (!segment_path) return cal;
  GStr base(g_path_get_basename(segment_path));
  GStr dir(g_path_get_dirname(segment_path));
  const std::string name = base.get();
  Sat sat;
  if (name.size() != size_t(NAME_LENGTH) || !SatFromName(name, &sat)) return cal;
  cal.spacecraft = SatSpacecraftId(sat);
  // The slot text sits at the same place in every name of the service.
  const std::string slot = name.substr(46, 12);
  GStr path(g_build_filename(dir.get(), SatPrologueName(sat, slot).c_str(), nullptr));
  std::unique_ptr<FILE, FileClose> f(std::fopen(path.get(), "rb"));
  auto rec = std::make_unique<Prologue>();
  if (!f || PrologueRead(f.get(), rec.get()) != 0) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", path.get());
    return cal;
  }
  for (int ch = 1; ch <= CHANNEL_COUNT; ch++) {
    const auto& c = rec->calibration[ch - 1];
    // A channel the prologue leaves uncalibrated keeps the nominal coefficients.
    if (std::isfinite(c[0]) && std::isfinite(c[1]) && c[0] > 0) cal.coef[ch] = {c[0], c[1]};
  }
  cal.prologue = true;
  return cal;
}

CalibValue CalibPhysical(const CalibSlot& cal, int ch, int count) {
  if (ch < 1 || ch > CHANNEL_COUNT || count <= 0) return {};
  const double slope = cal.coef[ch][0], offset = cal.coef[ch][1];
  if (!(slope > 0)) return {};
  const double r = count * slope + offset;
  const AtmradCoef& k = AtmradCoefs[ch];
  if (k.vc > 0) {
    if (!(r > 0)) return {};
    const double t = ATMRAD_C2 * k.vc / std::log(1.0 + ATMRAD_C1 * k.vc * k.vc * k.vc / r) - k.b;
    return {CALIB_BT, t};
  }
  const double f = CalibSolarIrradiance(cal.spacecraft, ch);
  if (f <= 0) return {};
  return {CALIB_REFLECTANCE, r > 0 ? 100.0 * PI * r / f : 0.0};
}
