// Helpers of the contour tests: writing small shapefiles with shapelib, the expected projection.
#pragma once

#include <shapefil.h>

#include <cmath>
#include <string>
#include <vector>

namespace cntrstest {

struct Shape {
  std::vector<std::vector<std::pair<double, double>>> parts;  // (lon, lat) per part
  std::string label;                                            // value of the "NAME" field
};

// Writes path (.shp/.shx/.dbf) with the shapes; the table has fields POP (numeric), NAME and
// ALT (strings), so NAME is field 1. label bytes are written as given (no conversion).
inline bool WriteShapes(const std::string& path, int type, const std::vector<Shape>& shapes) {
  SHPHandle shp = SHPCreate(path.c_str(), type);
  DBFHandle dbf = DBFCreate(path.c_str());
  if (!shp || !dbf) return false;
  DBFAddField(dbf, "POP", FTInteger, 10, 0);
  DBFAddField(dbf, "NAME", FTString, 40, 0);
  DBFAddField(dbf, "ALT", FTString, 10, 0);
  int row = 0;
  for (const Shape& s : shapes) {
    std::vector<int> starts;
    std::vector<double> x, y;
    for (const auto& part : s.parts) {
      starts.push_back(int(x.size()));
      for (auto [lon, lat] : part) {
        x.push_back(lon);
        y.push_back(lat);
      }
    }
    SHPObject* o = SHPCreateObject(type, -1, int(starts.size()), starts.data(), nullptr, int(x.size()), x.data(),
                                   y.data(), nullptr, nullptr);
    SHPWriteObject(shp, -1, o);
    SHPDestroyObject(o);
    DBFWriteIntegerAttribute(dbf, row, 0, 1000 + row);
    if (s.label.empty())
      DBFWriteNULLAttribute(dbf, row, 1);
    else
      DBFWriteStringAttribute(dbf, row, 1, s.label.c_str());
    DBFWriteStringAttribute(dbf, row, 2, "alt");
    row++;
  }
  SHPClose(shp);
  DBFClose(dbf);
  return true;
}

// Image x, y of a geodetic point by plain ellipsoid geometry: the point's Earth-centred position,
// seen from the satellite 42164 km out on the x axis, as scan angles times the grid's step.
// Independent of the program's projection code (which goes through the geocentric latitude).
inline void ExpectedImageXY(double lat_deg, double lon_deg, double* x, double* y) {
  const double a = 6378.169, b = 6356.5838, h = 42164.0;
  const double e2 = 1.0 - (b * b) / (a * a);
  const double lat = lat_deg * M_PI / 180.0, lon = lon_deg * M_PI / 180.0;
  const double n = a / std::sqrt(1.0 - e2 * std::sin(lat) * std::sin(lat));
  const double px = n * std::cos(lat) * std::cos(lon), py = n * std::cos(lat) * std::sin(lon);
  const double pz = n * (1.0 - e2) * std::sin(lat);
  const double sx = h - px, sy = py, sz = pz;  // satellite to point; east +y, north +z
  const double east = std::atan(sy / sx);
  const double north = std::asin(sz / std::sqrt(sx * sx + sy * sy + sz * sz));
  const double step = 781648333.0 / 65536.0;  // grid pixels per radian of scan angle
  *x = 1856.0 + east * step;   // image x grows to the east
  *y = 1856.0 - north * step;  // image y grows to the south
}

}  // namespace cntrstest
