// The plain-C record passed from the program to the GDAL module (nubicorn-geotiff.so). The
// module is loaded only when a GeoTIFF is written, so that nothing else maps GDAL.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Bumped whenever GeotiffRaster or the entry point changes: a stale module is refused.
#define GEOTIFF_ABI_VERSION 2
#define GEOTIFF_ENTRY "nubicorn_geotiff_write"
#define GEOTIFF_ABI_ENTRY "nubicorn_geotiff_abi"

struct GeotiffRaster {
  const void* data;      // first row; samples interleaved, native byte order
  size_t stride;         // bytes from one row to the next
  int32_t width, height;
  int32_t bands;         // 1 (grey) or 3 (R, G, B)
  int32_t bits;          // 8 or 16 (unsigned)
  int32_t nodata;        // sample value that means no data, or -1 for none
  double transform[6];   // GDAL geotransform of the pixel corners, metres of the projection
  const char* crs;       // PROJ string of the projection
  const char* crs_name;  // name of the projected CRS
  const char* description;  // TIFF image description, may be NULL
};

// Writes the raster as a GeoTIFF to path (created or truncated). 0 on success; otherwise
// nonzero with a NUL-terminated reason in err (err_size bytes).
typedef int (*GeotiffWriteFn)(const struct GeotiffRaster* raster, const char* path, char* err,
                              size_t err_size);
typedef int (*GeotiffAbiFn)(void);
