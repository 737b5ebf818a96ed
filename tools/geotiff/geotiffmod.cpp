// nubicorn-geotiff.so: the only code that links GDAL. The program loads it when it writes a
// GeoTIFF (tools/geotiff/geotiff.cpp), so other commands and the window's start never map GDAL.
#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <gdal_frmts.h>
#include <ogr_srs_api.h>

#include <cstdio>
#include <memory>

#include "tools/geotiff/geotiffabi.h"

namespace {

// GDAL's messages go to the caller's buffer, not to stderr, while the module runs.
class QuietErrors {
 public:
  QuietErrors() {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~QuietErrors() { CPLPopErrorHandler(); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;
};

struct SrsFree {
  void operator()(OGRSpatialReferenceH s) const { OSRDestroySpatialReference(s); }
};
struct DatasetClose {
  void operator()(GDALDatasetH d) const { GDALClose(d); }
};

int Fail(char* err, size_t size, const char* what) {
  const char* gdal = CPLGetLastErrorMsg();
  std::snprintf(err, size, "%s%s%s", what, gdal && *gdal ? ": " : "", gdal ? gdal : "");
  return 1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int nubicorn_geotiff_abi(void) {
  return GEOTIFF_ABI_VERSION;
}

extern "C" __attribute__((visibility("default"))) int nubicorn_geotiff_write(
    const GeotiffRaster* r, const char* path, char* err, size_t err_size) {
  QuietErrors quiet;
  if (!r || !path || !r->data || r->width <= 0 || r->height <= 0 ||
      (r->bands != 1 && r->bands != 3) || (r->bits != 8 && r->bits != 16))
    return Fail(err, err_size, "unsupported raster");
  // Only the GeoTIFF driver: registering all of them would cost more than the write.
  GDALRegister_GTiff();
  GDALDriverH driver = GDALGetDriverByName("GTiff");
  if (!driver) return Fail(err, err_size, "GDAL has no GeoTIFF driver");

  std::unique_ptr<void, SrsFree> srs(OSRNewSpatialReference(nullptr));
  if (!srs || OSRImportFromProj4(srs.get(), r->crs) != OGRERR_NONE)
    return Fail(err, err_size, "GDAL cannot build the geostationary projection");
  if (r->crs_name) OSRSetProjCS(srs.get(), r->crs_name);

  const char* options[] = {"COMPRESS=DEFLATE", r->bands == 3 ? "PHOTOMETRIC=RGB" : nullptr,
                           nullptr};
  const GDALDataType type = r->bits == 16 ? GDT_UInt16 : GDT_Byte;
  std::unique_ptr<void, DatasetClose> ds(
      GDALCreate(driver, path, r->width, r->height, r->bands, type, const_cast<char**>(options)));
  if (!ds) return Fail(err, err_size, "GDAL cannot create the file");
  double gt[6];
  for (int i = 0; i < 6; i++) gt[i] = r->transform[i];
  if (GDALSetGeoTransform(ds.get(), gt) != CE_None ||
      GDALSetSpatialRef(ds.get(), srs.get()) != CE_None)
    return Fail(err, err_size, "GDAL cannot georeference the file");
  if (r->description) GDALSetMetadataItem(ds.get(), "TIFFTAG_IMAGEDESCRIPTION", r->description, nullptr);
  if (r->nodata >= 0)
    for (int b = 1; b <= r->bands; b++) GDALSetRasterNoDataValue(GDALGetRasterBand(ds.get(), b), r->nodata);
  const int bytes = r->bits / 8;
  // Interleaved samples: pixel spacing bands * bytes, band spacing one sample.
  if (GDALDatasetRasterIO(ds.get(), GF_Write, 0, 0, r->width, r->height, const_cast<void*>(r->data),
                          r->width, r->height, type, r->bands, nullptr, r->bands * bytes,
                          int(r->stride), bytes) != CE_None)
    return Fail(err, err_size, "GDAL cannot write the pixels");
  CPLErrorReset();
  GDALClose(ds.release());  // flushes: a full disk shows up here
  if (CPLGetLastErrorType() >= CE_Failure) return Fail(err, err_size, "GDAL cannot complete the file");
  return 0;
}
