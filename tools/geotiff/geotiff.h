// GeoTIFF export of a view window's image in the satellite's geostationary projection. GDAL
// lives in a module loaded at the first write, so only exports pay for mapping it.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>

// Height of MSG above the ellipsoid and the ellipsoid's axes, metres.
inline constexpr double GEOTIFF_HEIGHT = 35785831.0;
inline constexpr double GEOTIFF_A = 6378169.0;
inline constexpr double GEOTIFF_B = 6356583.8;
// Size of a 3712-grid pixel at the sub-satellite point: the scan angle step of data/geo.cpp's
// column factor (2^16 / 781648333 rad) times the height, so pixel centres land on its grid.
inline constexpr double GEOTIFF_PIXEL = GEOTIFF_HEIGHT * 65536.0 / 781648333.0;

// Sub-satellite longitude of a segment file from its navigation record, else the nominal one of
// the service its name gives (0 when the name gives none).
double GeotiffSegmentLongitude(const std::string& path);

// PROJ string of the geostationary projection of a satellite over sub_lon degrees east.
std::string GeotiffCrs(double sub_lon);

// GDAL geotransform of an image of cols x rows pixels covering the view window
// (x, y, width, height of the north-up 3712 image): 3712-grid pixel x has its centre at column
// 3712 - x, so a window pixel spans half a pixel either side of it; an image three times the
// window (HRV, composites) divides each window pixel into 3 x 3.
void GeotiffTransform(const int32_t window[4], int cols, int rows, double gt[6]);

// Where an image lies: its projection (PROJ string and name), the GDAL geotransform of its pixel
// corners in metres of the projection, and the sample value meaning no data (-1: none).
struct GeotiffGeo {
  std::string crs, crs_name;
  double transform[6] = {};
  int32_t nodata = -1;
};
// An image of cols x rows pixels of the MSG view window (GeotiffTransform) over sub_lon; 0 is no data.
GeotiffGeo GeotiffMsgGeo(const int32_t window[4], int cols, int rows, double sub_lon);
// An image of cols x rows pixels of a window of FCI's north-up 2 km grid (x, y from the west and
// north edges, width, height in 2 km pixels): the product's own projection (WGS 84 ellipsoid,
// its perspective height) over sub_lon; FCI_NO_COUNT is no data.
GeotiffGeo GeotiffFciGeo(const int32_t window[4], int cols, int rows, double sub_lon);

// Path of a module of the program: $env when set, else file beside the executable when there,
// else the one in the installed library folder.
std::string ModulePath(const char* file, const char* env);
// Path of the GDAL module, nubicorn-geotiff.so ($NUBICORN_GEOTIFF_MODULE).
std::string GeotiffModulePath();

// Writes image (CV_16UC1 counts or CV_8UC3 R, G, B) lying where geo says as a GeoTIFF at path,
// which is created or truncated (callers pass a temporary name). False with a reason in *err
// when the module or GDAL cannot be loaded, the image is of another type, or GDAL fails.
bool GeotiffWriteFile(const std::string& path, const cv::Mat& image, const GeotiffGeo& geo,
                      const std::string& description, std::string* err);

// GeotiffWriteFile through a temporary file in path's folder, then renamed to path (replacing a
// file there: the user named it). False with a reason, and path untouched, on any failure.
bool GeotiffSave(const std::string& path, const cv::Mat& image, const GeotiffGeo& geo,
                 const std::string& description, std::string* err);
