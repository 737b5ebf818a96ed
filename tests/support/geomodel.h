// An independent forward model of the geostationary view, written from first principles so
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

}  // namespace geomodel
