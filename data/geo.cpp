#include "data/geo.h"

#include <cmath>

namespace {

// Constants of the normalized geostationary projection as the program uses them; several differ
// from the nominal values of the standard and must stay exactly as written.
constexpr double H = 42164.0;
constexpr double RPOL = 6356.5838;
constexpr double REQ2 = 40681039.792560995;
constexpr double RPOL2 = 40406157.60642245;
constexpr double Q = 1.006803;
constexpr double QI = 0.993243;
constexpr double E2 = 0.0067570098389867946;
constexpr double D_FWD = 1737121856.207439;
constexpr double D_INV = 1737121856.0;
constexpr double CFAC = -781648333.0;
constexpr double CFAC_HRV = -2344944941.0;
constexpr double COFF = 1856.0;
constexpr double COFF_HRV = 5566.0;
constexpr double S = 65536.0;
constexpr double S_INV = 1.52587890625e-5;
constexpr double DEG = 57.29577951308232;
constexpr double RAD = 0.017453292519943295;

}  // namespace

int GeoPixelToLatLon(double column, double line, double* lat, double* lon, double sub_lon) {
  const double x = (column - COFF) * S / CFAC;
  const double y = (line - COFF) * S / CFAC;
  const double cx = std::cos(x), sx = std::sin(x);
  const double cy = std::cos(y), sy = std::sin(y);
  const double a = sy * sy * Q + cy * cy;
  const double b = H * cx * cy;
  const double disc = b * b - a * D_INV;
  if (!(disc >= 0)) return -1;  // also rejects NaN input
  const double sn = (b - std::sqrt(disc)) / a;
  const double s1 = H - sn * cx * cy;
  const double s2 = sx * sn * cy;
  const double s3 = -(sn * sy) * Q;
  double lo = std::atan(s2 / s1) * DEG + sub_lon;
  const double la = std::atan(s3 / std::sqrt(s1 * s1 + s2 * s2)) * DEG;
  if (lo > 180) lo -= 360;
  if (lo < -180) lo += 360;
  *lat = la;
  *lon = lo;
  return 0;
}

int GeoLatLonToPixel(double lat, double lon, double* column, double* line, int hrv, double sub_lon) {
  if (lat < -90) lat = -90;
  if (lat > 90) lat = 90;
  if (lon < -180) lon = -180;
  if (lon > 180) lon = 180;
  // Longitude east of the sub-satellite point, -180..180; unchanged when sub_lon is 0.
  lon -= sub_lon;
  if (lon > 180) lon -= 360;
  if (lon < -180) lon += 360;
  lat *= RAD;
  lon *= RAD;
  const double cl = std::atan(QI * std::tan(lat));
  const double ccl = std::cos(cl);
  const double rl = RPOL / std::sqrt(1 - E2 * ccl * ccl);
  const double r1 = H - rl * ccl * std::cos(lon);
  const double r2 = -rl * ccl * std::sin(lon);
  const double r3 = rl * std::sin(cl);
  const double rn = std::sqrt(r1 * r1 + r2 * r2 + r3 * r3);
  const double u = r1 * H;
  const double v = r3 * r3 * REQ2 / RPOL2 + r1 * r1 + r2 * r2;
  // Written so that a NaN fails both tests.
  if (!(u * u - v * D_FWD >= 0)) return -1;
  if (!(u * rn / v >= rn)) return -1;
  const double x = std::atan(-r2 / r1);
  const double y = std::asin(-r3 / rn);
  const double f = hrv ? CFAC_HRV : CFAC;
  const double o = hrv ? COFF_HRV : COFF;
  *column = x * S_INV * f + o;
  *line = y * S_INV * f + o;
  return 0;
}
