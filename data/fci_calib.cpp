// FCI counts to radiance, brightness temperature and reflectance, as the Level 1c product
// defines them, and the navigation of its fixed grids (geostationary view, sweep axis y).
#include <algorithm>
#include <cmath>
#include <limits>

#include "data/fci.h"

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double AU_KM = 149597870.7;
constexpr double DEG = M_PI / 180.0;

// The product's projection: WGS 84 and the perspective height of data/mtg_geos_projection.
constexpr double R_EQ = FCI_R_EQ;
constexpr double R_POL = R_EQ * (1.0 - 1.0 / FCI_INV_FLAT);
constexpr double H_PERSPECTIVE = FCI_HEIGHT;

// Scan angle (radians) of a column or row number: x runs from the west edge eastwards (the
// product's x is positive towards the west; here east is positive), y from the south.
double Step(int grid) { return grid == FCI_GRID_1KM ? FCI_STEP_1KM : FCI_STEP_2KM; }
double AngleOf(int grid, double index) { return (index - (grid + 1) / 2.0) * Step(grid); }

}  // namespace

double FciRadiance(const FciCalib& c, uint16_t count) {
  const double v = count;
  if (v == c.fill || v < c.valid_min || v > c.valid_max) return NaN;
  if (c.warm_scale != 0 && count > 4095 && count <= 8191) return v * c.warm_scale + c.warm_offset;
  return v * c.scale + c.offset;
}

double FciBrightnessTemperature(const FciCalib& c, double radiance) {
  if (!(radiance > 0) || !(c.a != 0) || !(c.wavenumber > 0)) return NaN;
  const double vc = c.wavenumber;
  const double d = c.a * std::log1p(c.c1 * vc * vc * vc / radiance);
  if (!(d > 0)) return NaN;
  const double t = c.c2 * vc / d - c.b / c.a;
  return std::isfinite(t) ? t : NaN;
}

double FciReflectance(const FciCalib& c, double radiance) {
  if (!(c.solar_irradiance > 0) || !(c.sun_distance_km > 0) || std::isnan(radiance)) return NaN;
  const double d = c.sun_distance_km / AU_KM;
  return M_PI * radiance * d * d / c.solar_irradiance;
}

FciQuantity FciChannelQuantity(int channel) {
  return FciChannels[channel].solar ? FciQuantity::Reflectance : FciQuantity::BrightnessTemperature;
}

double FciValue(const FciCalib& c, int channel, uint16_t count) {
  const double r = FciRadiance(c, count);
  return FciChannels[channel].solar ? FciReflectance(c, r) : FciBrightnessTemperature(c, r);
}

bool FciGridToLatLon(int grid, double column, double row, double* lat, double* lon, double sub_lon) {
  // The ray from the satellite through the scan angles, met with the ellipsoid (units of R_EQ).
  const double g = (H_PERSPECTIVE + R_EQ) / R_EQ, p = R_POL / R_EQ;
  const double vy = std::tan(AngleOf(grid, column));
  const double vz = std::tan(AngleOf(grid, row)) * std::hypot(1.0, vy);
  const double a = vy * vy + (vz / p) * (vz / p) + 1.0;
  const double b = -2.0 * g;
  const double det = b * b - 4.0 * a * (g * g - 1.0);
  if (det < 0) return false;
  const double k = (-b - std::sqrt(det)) / (2.0 * a);
  const double x = g - k, y = k * vy, z = k * vz;
  const double l = std::atan2(y, x);
  const double phi = std::atan(z * std::cos(l) / x);
  *lat = std::atan(std::tan(phi) / (p * p)) / DEG;
  *lon = std::remainder(l / DEG + sub_lon, 360.0);
  return true;
}

bool FciLatLonToGrid(int grid, double lat, double lon, double* column, double* row, double sub_lon) {
  const double g = (H_PERSPECTIVE + R_EQ) / R_EQ, p = R_POL / R_EQ;
  const double phi = std::atan(p * p * std::tan(std::clamp(lat, -90.0, 90.0) * DEG));
  const double l = std::remainder(lon - sub_lon, 360.0) * DEG;
  const double r = p / std::hypot(p * std::cos(phi), std::sin(phi));
  const double x = r * std::cos(l) * std::cos(phi), y = r * std::sin(l) * std::cos(phi), z = r * std::sin(phi);
  const double t = g - x;
  if (t * x - y * y - z * z / (p * p) < 0) return false;  // behind the limb
  const double ax = std::atan(y / t), ay = std::atan(z / std::hypot(y, t));
  *column = ax / Step(grid) + (grid + 1) / 2.0;
  *row = ay / Step(grid) + (grid + 1) / 2.0;
  return true;
}
