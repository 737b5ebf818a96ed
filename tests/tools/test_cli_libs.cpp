// nubicorn-cli starts without the libraries of the formats only some commands write or read:
// GDAL (GeoTIFF) and netCDF/HDF5 (FCI) come in modules loaded by those commands alone.
#include <gtest/gtest.h>

#include "tests/support/cli.h"

TEST(CliStart, MapsNoGdalNetcdfOrHdf5) {
  // The dynamic loader lists every library the program maps before main, then stops.
  const CliRun r = SpawnRun({"env", "LD_TRACE_LOADED_OBJECTS=1", NUBICORN_CLI, "--version"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_NE(r.out.find("libglib-2.0"), std::string::npos) << r.out;  // the list is there
  for (const char* lib : {"libgdal", "libnetcdf", "libhdf5", "libcurl", "libopencv_imgcodecs"})
    EXPECT_EQ(r.out.find(lib), std::string::npos) << lib << " is mapped at start:\n" << r.out;
}
