// Projection: the published reference figures both ways, and an independent ray/ellipsoid
// computation of the viewing geometry as a cross-check over the disk.
#include <gtest/gtest.h>

#include <cmath>

#include "data/geo.h"
#include "tests/support/geomodel.h"

namespace {

using geomodel::ModelLatLon;

}  // namespace

TEST(Geo, BlackSeaFigureRoundTrip) {
  double lat = 0, lon = 0;
  ASSERT_EQ(GeoPixelToLatLon(956, 3218, &lat, &lon), 0);
  EXPECT_NEAR(lat, 44.500, 5e-4);
  EXPECT_NEAR(lon, 39.908, 5e-4);
  double c = 0, l = 0;
  ASSERT_EQ(GeoLatLonToPixel(lat, lon, &c, &l, 0), 0);
  // The two directions use slightly different constants; the residue is a few 1e-5 pixels.
  EXPECT_NEAR(c, 956.00001, 5e-6);
  EXPECT_NEAR(l, 3218.00002, 5e-6);
  EXPECT_NE(c, 956.0);
  ASSERT_EQ(GeoLatLonToPixel(lat, lon, &c, &l, 1), 0);
  EXPECT_NEAR(c, 2866.0, 0.05);
  EXPECT_NEAR(l, 9652.0, 0.05);
}

// Points off the Earth or out of sight, and inputs out of range (clamped: unclamped, latitude
// 100 would act as 80 S on the far meridian side and be visible), leave the outputs untouched.
TEST(Geo, OffEarthAndOutOfSight) {
  double lat = 7, lon = 8;
  for (auto [c, l] : {std::pair{1.0, 1856.0}, {1856.0, 3712.0}, {1.0, 1.0}, {NAN, 1856.0}})
    EXPECT_EQ(GeoPixelToLatLon(c, l, &lat, &lon), -1) << c << "," << l;
  EXPECT_EQ(lat, 7);
  EXPECT_EQ(lon, 8);
  double c = -1, l = -1;
  for (auto [la, lo] : {std::pair{0.0, 82.0}, {0.0, -82.0}, {90.0, 0.0}, {-90.0, 0.0}, {0.0, 180.0},
                        {NAN, 0.0}, {100.0, 0.0}, {-100.0, 0.0}, {0.0, 200.0}})
    for (int hrv : {0, 1}) EXPECT_EQ(GeoLatLonToPixel(la, lo, &c, &l, hrv), -1) << la << "," << lo;
  EXPECT_EQ(c, -1);
  EXPECT_EQ(l, -1);
  // Just inside the limb.
  ASSERT_EQ(GeoLatLonToPixel(0, 80, &c, &l, 0), 0);
  EXPECT_NEAR(c, 45.3, 0.05);
  EXPECT_NEAR(l, 1856, 1e-9);
  ASSERT_EQ(GeoLatLonToPixel(81, 0, &c, &l, 0), 0);
  EXPECT_NEAR(c, 1856, 1e-9);
  EXPECT_NEAR(l, 3661.1, 0.05);
}

TEST(Geo, AgreesWithIndependentRayModel) {
  int checked = 0;
  for (int l = 100; l <= 3612; l += 250)
    for (int c = 100; c <= 3612; c += 250) {
      double rlat = 0, rlon = 0, lat = 0, lon = 0;
      const bool visible = ModelLatLon(c, l, 0, &rlat, &rlon);
      const int r = GeoPixelToLatLon(c, l, &lat, &lon);
      if (!visible) {
        EXPECT_EQ(r, -1) << c << "," << l;
        continue;
      }
      ASSERT_EQ(r, 0) << c << "," << l;
      // Rounded constants shift the result by well under a thousandth of a degree, except
      // grazing the limb.
      EXPECT_NEAR(lat, rlat, 2e-3) << c << "," << l;
      EXPECT_NEAR(lon, rlon, 2e-3) << c << "," << l;
      double c2 = 0, l2 = 0;
      ASSERT_EQ(GeoLatLonToPixel(lat, lon, &c2, &l2, 0), 0);
      EXPECT_NEAR(c2, c, 1e-3);
      EXPECT_NEAR(l2, l, 1e-3);
      // The HRV grid is three times finer around its own offset.
      double ch = 0, lh = 0;
      ASSERT_EQ(GeoLatLonToPixel(lat, lon, &ch, &lh, 1), 0);
      const double k = 2344944941.0 / 781648333.0;
      EXPECT_NEAR(ch - 5566, (c2 - 1856) * k, 1e-6);
      EXPECT_NEAR(lh - 5566, (l2 - 1856) * k, 1e-6);
      checked++;
    }
  EXPECT_GT(checked, 100);
}
