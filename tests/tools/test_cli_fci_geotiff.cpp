// nubicorn-cli channel --geotiff of FCI channels of both grids, checked with GDAL's own tools:
// at three places the pixel GDAL finds is the one the FCI navigation gives, and its value the
// exported count; the no-data value is that of pixels without a count.
#include <gtest/gtest.h>
#include <glib.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "data/fci.h"
#include "tests/support/cli.h"
#include "tests/support/tempdir.h"

namespace {

constexpr const char* SLOT = "202612081200";
constexpr int WINDOW[4] = {2700, 600, 300, 200};  // southern France, on the 2 km grid

struct Case {
  const char* channel;
  int grid, scale;
};

class CliFciGeotiff : public ::testing::TestWithParam<Case> {};

TEST_P(CliFciGeotiff, PlacesLandOnThePixelsTheNavigationGives) {
  const Case& c = GetParam();
  TestTempDir dir;
  const std::string rect = "2700,600,300,200";
  CliRun r = Cli({"synth", "--satellite", "MTG-I1", "--out", dir.path(), "--slot", SLOT, "--channels",
                  c.channel, "--rect", rect});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string tif = dir.file("out.tif"), pgm = dir.file("out.pgm");
  r = Cli({"channel", "--satellite", "MTG-I1", "--data", dir.path(), "--slot", SLOT, "--channel", c.channel,
           "--rect", rect, "-o", pgm, "--geotiff", tif});
  ASSERT_EQ(r.status, 0) << r.err;
  const cv::Mat counts = ReadPgm16(pgm);
  ASSERT_EQ(counts.cols, WINDOW[2] * c.scale);

  r = SpawnRun({"gdalinfo", "-json", tif});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"noDataValue\":65535.0"), std::string::npos) << r.out;

  const double places[][2] = {{43.60, 1.44}, {44.84, -0.58}, {45.76, 4.84}};  // Toulouse, Bordeaux, Lyon
  for (const auto& p : places) {
    SCOPED_TRACE(std::to_string(p[0]) + " " + std::to_string(p[1]));
    r = SpawnRun({"gdallocationinfo", "-wgs84", "-xml", tif, std::to_string(p[1]), std::to_string(p[0])});
    ASSERT_EQ(r.status, 0) << r.err;
    int x = -1, y = -1;
    const size_t at = r.out.find("<Report pixel=\"");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "<Report pixel=\"%d\" line=\"%d\"", &x, &y), 2);
    const size_t v = r.out.find("<Value>", at);
    ASSERT_NE(v, std::string::npos) << r.out;
    double column = 0, row = 0;
    ASSERT_TRUE(FciLatLonToGrid(c.grid, p[0], p[1], &column, &row));
    EXPECT_EQ(x, int(std::lround(column)) - 1 - c.scale * WINDOW[0]);
    EXPECT_EQ(y, c.grid - c.scale * WINDOW[1] - int(std::lround(row)));
    EXPECT_EQ(std::atoi(r.out.c_str() + v + 7), counts.at<uint16_t>(y, x));
  }
}

INSTANTIATE_TEST_SUITE_P(Grids, CliFciGeotiff,
                         ::testing::Values(Case{"ir_105", FCI_GRID_2KM, 1}, Case{"vis_06", FCI_GRID_1KM, 2}),
                         [](const auto& info) { return std::string(info.param.channel); });

}  // namespace
