// An independent model of the geostationary view, both ways, written from first principles so
// that tests check the projection code against it rather than against itself.
#pragma once

#include <cmath>

namespace geomodel {

// A satellite at 42164 km over longitude sub (degrees), the point (lat, lon) on the ellipsoid
// a = 6378.169, b = 6356.5838 from its geodetic coordinates, the two scan angles of the line of
// sight turned into 3712-grid column and line (CFAC -781648333, COFF 1856, angles in units of
// 2^-16 rad).
inline void ModelPixel(double lat, double lon, double sub, double* column, double* line) {
  const double a = 6378.169, b = 6356.5838, h = 42164.0, e2 = 1 - (b * b) / (a * a);
  const double phi = lat * M_PI / 180, lam = (lon - sub) * M_PI / 180;
  const double n = a / std::sqrt(1 - e2 * std::sin(phi) * std::sin(phi));
  const double x = n * std::cos(phi) * std::cos(lam), y = n * std::cos(phi) * std::sin(lam);
  const double z = n * (1 - e2) * std::sin(phi);
  const double vx = h - x, vy = -y, vz = z;  // satellite to point, satellite frame
  const double ax = std::atan(-vy / vx), ay = std::asin(-vz / std::sqrt(vx * vx + vy * vy + vz * vz));
  *column = ax * -781648333.0 / 65536.0 + 1856.0;
  *line = ay * -781648333.0 / 65536.0 + 1856.0;
}

// The inverse: the ray from the satellite through 3712-grid pixel (column, line) met with the
// ellipsoid, geodetic latitude from the surface normal; false when the ray misses the Earth.
inline bool ModelLatLon(double column, double line, double sub, double* lat, double* lon) {
  const double a = 6378.169, b = 6356.5838, h = 42164.0;
  const double sx = (column - 1856.0) * 65536.0 / -781648333.0, sy = (line - 1856.0) * 65536.0 / -781648333.0;
  // Direction of the ray, the satellite at (h, 0, 0) looking to -x.
  const double dx = -std::cos(sx) * std::cos(sy), dy = std::sin(sx) * std::cos(sy), dz = -std::sin(sy);
  // ((h + t dx)^2 + (t dy)^2) / a^2 + (t dz)^2 / b^2 = 1
  const double qa = (dx * dx + dy * dy) / (a * a) + dz * dz / (b * b), qb = 2 * h * dx / (a * a);
  const double qc = h * h / (a * a) - 1, disc = qb * qb - 4 * qa * qc;
  if (disc < 0) return false;
  const double t = (-qb - std::sqrt(disc)) / (2 * qa);
  const double px = h + t * dx, py = t * dy, pz = t * dz;
  *lon = std::remainder(std::atan2(py, px) * 180 / M_PI + sub, 360.0);
  *lat = std::atan2(pz / (b * b), std::hypot(px, py) / (a * a)) * 180 / M_PI;
  return true;
}

}  // namespace geomodel
