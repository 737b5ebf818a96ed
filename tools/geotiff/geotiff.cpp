// Loads the GDAL module on demand and hands it the window's image with its georeference.
#include "tools/geotiff/geotiff.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "data/fci.h"
#include "data/gholder.h"
#include "data/satellite.h"
#include "tools/geotiff/geotiffabi.h"

#ifndef NUBICORN_MODULE_DIR
#define NUBICORN_MODULE_DIR "/usr/local/lib/nubicorn"
#endif

namespace {

constexpr const char* MODULE_NAME = "nubicorn-geotiff.so";
constexpr double GRID_CENTRE = 1856.0;  // the column and line offset of the 3712 grid

// A number in C's notation: the decimal point must not follow the locale (the window runs
// under the user's).
std::string Ascii(const char* format, double v) {
  char buf[G_ASCII_DTOSTR_BUF_SIZE];
  return g_ascii_formatd(buf, sizeof buf, format, v);
}

// "45.5 E", "0": the sub-satellite longitude in a CRS name.
std::string LonText(double sub_lon) {
  return Ascii("%.6g", std::fabs(sub_lon)) + (sub_lon < 0 ? " W" : sub_lon > 0 ? " E" : "");
}

// PROJ string of the view from h metres over sub_lon of the ellipsoid `shape` ("+a=... +b=...").
std::string GeosCrs(double h, const std::string& shape, double sub_lon) {
  return "+proj=geos +h=" + Ascii("%.0f", h) + " " + shape + " +lon_0=" + Ascii("%.6g", sub_lon) +
         " +sweep=y +units=m +no_defs";
}

// Geotransform of cols x rows pixels over a window of a grid of `pixel` metres whose
// sub-satellite point lies at edge coordinate `centre` (x from the west, y from the north).
void EdgeTransform(const int32_t window[4], int cols, int rows, double pixel, double centre, double gt[6]) {
  gt[0] = (window[0] - centre) * pixel;
  gt[1] = pixel * window[2] / cols;
  gt[2] = 0.0;
  gt[3] = (centre - window[1]) * pixel;
  gt[4] = 0.0;
  gt[5] = -pixel * window[3] / rows;
}

std::string Dirname(const std::string& path) { return GStr(g_path_get_dirname(path.c_str())).get(); }

}  // namespace

double GeotiffSegmentLongitude(const std::string& path) {
  Sat sat;
  SatFromName(GStr(g_path_get_basename(path.c_str())).get(), &sat);
  return SatFileLongitude(path.c_str(), SatNominalLongitude(sat));
}

std::string GeotiffCrs(double sub_lon) {
  return GeosCrs(GEOTIFF_HEIGHT, "+a=" + Ascii("%.0f", GEOTIFF_A) + " +b=" + Ascii("%.1f", GEOTIFF_B), sub_lon);
}

void GeotiffTransform(const int32_t window[4], int cols, int rows, double gt[6]) {
  // Pixel centres on whole columns: the centre pixel's west edge.
  EdgeTransform(window, cols, rows, GEOTIFF_PIXEL, GRID_CENTRE + 0.5, gt);
}

GeotiffGeo GeotiffMsgGeo(const int32_t window[4], int cols, int rows, double sub_lon) {
  GeotiffGeo g;
  g.crs = GeotiffCrs(sub_lon);
  g.crs_name = "MSG SEVIRI geostationary " + LonText(sub_lon);
  GeotiffTransform(window, cols, rows, g.transform);
  g.nodata = 0;
  return g;
}

GeotiffGeo GeotiffFciGeo(const int32_t window[4], int cols, int rows, double sub_lon) {
  GeotiffGeo g;
  g.crs = GeosCrs(FCI_HEIGHT, "+a=" + Ascii("%.0f", FCI_R_EQ) + " +rf=" + Ascii("%.12g", FCI_INV_FLAT), sub_lon);
  g.crs_name = "MTG FCI geostationary " + LonText(sub_lon);
  // The sub-satellite point lies on the edge between the 2 km grid's two middle pixels.
  EdgeTransform(window, cols, rows, FCI_STEP_2KM * FCI_HEIGHT, FCI_GRID_2KM / 2.0, g.transform);
  g.nodata = FCI_NO_COUNT;
  return g;
}

std::string ModulePath(const char* file, const char* env) {
  if (const char* set = g_getenv(env); set && *set) return set;
  if (GStr exe(g_file_read_link("/proc/self/exe", nullptr)); exe) {
    const std::string beside = Dirname(exe.get()) + "/" + file;
    if (g_file_test(beside.c_str(), G_FILE_TEST_EXISTS)) return beside;
  }
  return std::string(NUBICORN_MODULE_DIR) + "/" + file;
}

std::string GeotiffModulePath() { return ModulePath(MODULE_NAME, "NUBICORN_GEOTIFF_MODULE"); }

bool GeotiffWriteFile(const std::string& path, const cv::Mat& image, const GeotiffGeo& geo,
                      const std::string& description, std::string* err) {
  const bool grey = image.type() == CV_16UC1, rgb = image.type() == CV_8UC3;
  if (image.empty() || (!grey && !rgb)) {
    *err = "no image to export";
    return false;
  }
  const std::string module = GeotiffModulePath();
  // Kept mapped after the close: GDAL registers handlers that run at exit.
  GHolder<void, dlclose> handle(dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
  if (!handle) {
    const char* why = dlerror();
    *err = "cannot load the GeoTIFF module (GDAL): " + std::string(why ? why : module);
    return false;
  }
  auto abi = reinterpret_cast<GeotiffAbiFn>(dlsym(handle.get(), GEOTIFF_ABI_ENTRY));
  auto write = reinterpret_cast<GeotiffWriteFn>(dlsym(handle.get(), GEOTIFF_ENTRY));
  if (!abi || !write || abi() != GEOTIFF_ABI_VERSION) {
    *err = module + " is not the GeoTIFF module of this version of Nubicorn";
    return false;
  }
  GeotiffRaster r{};
  r.data = image.data;
  r.stride = image.step[0];
  r.width = image.cols;
  r.height = image.rows;
  r.bands = rgb ? 3 : 1;
  r.bits = rgb ? 8 : 16;
  r.nodata = grey ? geo.nodata : -1;
  for (int k = 0; k < 6; k++) r.transform[k] = geo.transform[k];
  r.crs = geo.crs.c_str();
  r.crs_name = geo.crs_name.c_str();
  r.description = description.empty() ? nullptr : description.c_str();
  char why[512] = "";
  if (write(&r, path.c_str(), why, sizeof why) != 0) {
    *err = std::string("cannot write ") + path + ": " + why;
    return false;
  }
  return true;
}

bool GeotiffSave(const std::string& path, const cv::Mat& image, const GeotiffGeo& geo,
                 const std::string& description, std::string* err) {
  std::string tmp = Dirname(path) + "/.nubicorn-XXXXXX.tif";
  const int fd = g_mkstemp_full(tmp.data(), O_WRONLY, 0644);
  if (fd < 0) {
    *err = std::string("cannot create a file beside ") + path + ": " + std::strerror(errno);
    return false;
  }
  close(fd);
  const bool ok = GeotiffWriteFile(tmp, image, geo, description, err);
  if (ok && g_rename(tmp.c_str(), path.c_str()) == 0) return true;
  if (ok) *err = std::string("cannot complete ") + path + ": " + std::strerror(errno);
  g_unlink(tmp.c_str());
  return false;
}
