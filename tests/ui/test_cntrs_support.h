// Helpers of the contour tests: writing small shapefiles with shapelib, the expected projection.
#pragma once

#include <shapefil.h>

#include <string>
#include <vector>

#include "tests/support/geomodel.h"

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

// Image x, y of a geodetic point by plain ellipsoid geometry (image x grows to the east, y to
// the south), independent of the program's projection code.
inline void ExpectedImageXY(double lat_deg, double lon_deg, double* x, double* y) {
  double column = 0, line = 0;
  geomodel::ModelPixel(lat_deg, lon_deg, 0, &column, &line);
  *x = 3712 - column;
  *y = 3712 - line;
}

}  // namespace cntrstest
