// The generator's land mask from the same shorelines the program draws, and a look at both.
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/app.h"
#include "contours/cntrs.h"
#include "contours/cntrsshp.h"
#include "data/fileinfo.h"
#include "data/layer.h"
#include "tests/support/logcapture.h"
#include "tests/support/tempdir.h"
#include "tests/ui/uitest.h"
#include "tools/synth.h"
#include "tools/synthland.h"

namespace {

std::string TestShp(const std::string& name) { return std::string(NUBICORN_TESTDATA) + "/shp/" + name; }

TEST(SynthLandShoreTest, LandMaskFollowsTheShorelines) {
  const cv::Mat land = SynthLandRaster(TestShp("GSHHS_c_L1.shp"));
  ASSERT_EQ(land.type(), CV_32FC1);
  // Places well away from any coast.
  EXPECT_GT(SynthLandAt(land, 48.85, 2.35), 0.95f);    // Paris
  EXPECT_GT(SynthLandAt(land, 25.0, 10.0), 0.95f);     // Sahara
  EXPECT_GT(SynthLandAt(land, 55.75, 37.62), 0.95f);   // Moscow
  EXPECT_GT(SynthLandAt(land, 72.0, -40.0), 0.95f);    // Greenland
  EXPECT_LT(SynthLandAt(land, 40.0, -40.0), 0.05f);    // North Atlantic
  EXPECT_LT(SynthLandAt(land, 35.0, 18.0), 0.05f);     // Ionian Sea
  EXPECT_LT(SynthLandAt(land, 43.0, 34.0), 0.05f);     // Black Sea
  // The shoreline vertices themselves lie on the soft edge between sea and land.
  CntrsShpPtr shp = CntrsShpOpen(TestShp("GSHHS_c_L1.shp").c_str());
  ASSERT_TRUE(shp);
  int records = 0;
  SHPGetInfo(shp.get(), &records, nullptr, nullptr, nullptr);
  int on_edge = 0, in_sea = 0, total = 0;
  for (int r = 0; r < records; r++) {
    CntrsObjectPtr o(SHPReadObject(shp.get(), r));
    ASSERT_TRUE(o);
    for (int v = 0; v < o->nVertices; v++) {
      const double lon = o->padfX[v], lat = o->padfY[v];
      if (lon < -80 || lon > 80 || lat < -5 || lat > 80) continue;
      total++;
      const float f = SynthLandAt(land, lat, lon);
      on_edge += f > 0.05f && f < 0.95f;
      in_sea += f <= 0.05f;
    }
  }
  ASSERT_GT(total, 1000);
  // No shore vertex lies out in the open sea; the few fully on land are the heads of inlets
  // narrower than the raster's softened coast.
  EXPECT_LE(in_sea, total / 200) << in_sea << " of " << total;
  EXPECT_GT(on_edge, total * 8 / 10) << on_edge << " of " << total;
  // The built-in outlines do not follow the real shore that closely.
  const cv::Mat builtin = SynthLandRaster();
  EXPECT_GT(SynthLandAt(builtin, 48.85, 2.35), 0.95f);
}

TEST(SynthLandShoreTest, LakesAreCutOutAndBadFilesFallBack) {
  LogCapture log;
  const cv::Mat fallback = SynthLandRaster("/nonexistent/shore.shp");
  EXPECT_TRUE(log.contains("/nonexistent/shore.shp"));
  EXPECT_GT(SynthLandAt(fallback, 25.0, 10.0), 0.95f);  // the built-in Sahara
  // A point file is no shoreline either.
  log.clear();
  SynthLandRaster(TestShp("naturalearth_cities.shp"));
  EXPECT_TRUE(log.contains("naturalearth_cities.shp"));
  if (SynthLandDefaultLakes().empty()) GTEST_SKIP() << "GSHHS lakes not installed";
  const cv::Mat lakes = SynthLandRaster(TestShp("GSHHS_c_L1.shp"), SynthLandDefaultLakes());
  EXPECT_LT(SynthLandAt(lakes, 42.0, 50.5), 0.05f);  // Caspian Sea
  EXPECT_GT(SynthLandAt(lakes, 48.85, 2.35), 0.95f);
}

}  // namespace
