// FCI calibration: ir_38's warm gain against values worked out from the product's formulas by
// hand (Python) and the counts without a value (every channel's values: test_fci_read), the
// chunk file names, and the navigation of the grids against the MSG projection.
#include <gtest/gtest.h>

#include <cmath>

#include "data/fci.h"
#include "data/geo.h"

namespace {

FciCalib Infrared() {
  FciCalib c;
  c.scale = 0.05, c.offset = -0.25, c.valid_min = 0, c.valid_max = 4095, c.fill = 65535;
  c.wavenumber = 953.0, c.a = 0.9983, c.b = 0.62, c.c1 = 1.19104e-5, c.c2 = 1.43877;
  return c;
}

FciCalib Solar() {
  FciCalib c;
  c.scale = 0.00597, c.offset = -0.012, c.valid_min = 0, c.valid_max = 4095, c.fill = 65535;
  c.solar_irradiance = 64.0, c.sun_distance_km = 147100000.0;
  return c;
}

// ir_38 has a second gain for its warm counts 4096..8191 when the file gives one.
TEST(FciCalibration, Ir38WarmCountsUseTheWarmGain) {
  FciCalib c = Infrared();
  c.scale = 0.0013, c.offset = -0.005, c.valid_max = 8191;
  c.wavenumber = 2569.0, c.a = 0.9954, c.b = 3.05;
  c.warm_scale = 0.002, c.warm_offset = -1.0;
  EXPECT_NEAR(FciRadiance(c, 3000), 3.895, 1e-9);
  EXPECT_NEAR(FciBrightnessTemperature(c, FciRadiance(c, 3000)), 338.983299, 1e-5);
  EXPECT_NEAR(FciRadiance(c, 5000), 9.0, 1e-9);
  EXPECT_NEAR(FciBrightnessTemperature(c, FciRadiance(c, 5000)), 367.576956, 1e-5);
}

TEST(FciCalibration, NoValueWhereTheProductHasNone) {
  const FciCalib ir = Infrared(), vis = Solar();
  EXPECT_TRUE(std::isnan(FciRadiance(ir, 65535)));  // fill
  EXPECT_TRUE(std::isnan(FciRadiance(ir, 4096)));   // above the valid range
  FciCalib above = ir;
  above.valid_min = 10;
  EXPECT_TRUE(std::isnan(FciRadiance(above, 9)));
  EXPECT_TRUE(std::isnan(FciBrightnessTemperature(ir, 0.0)));
  EXPECT_TRUE(std::isnan(FciBrightnessTemperature(ir, -0.25)));
  FciCalib no_coefficients = ir;
  no_coefficients.wavenumber = 0;
  EXPECT_TRUE(std::isnan(FciBrightnessTemperature(no_coefficients, 50.0)));
  FciCalib no_sun = vis;
  no_sun.sun_distance_km = 0;
  EXPECT_TRUE(std::isnan(FciReflectance(no_sun, 3.0)));
  FciCalib no_irradiance = vis;
  no_irradiance.solar_irradiance = 0;
  EXPECT_TRUE(std::isnan(FciReflectance(no_irradiance, 3.0)));
}

TEST(FciNames, ParsesTheStandardPattern) {
  FciName n;
  ASSERT_TRUE(FciParseName("W_XX-EUMETSAT-Darmstadt,IMG+SAT,MTI1+FCI-1C-RRAD-FDHSI-FD--CHK-BODY---NC4E_C_EUMT_"
                           "20250101120335_IDPFI_OPE_20250101120007_20250101120017_N_JLS_O_0072_0001.nc",
                           &n));
  EXPECT_TRUE(n.body);
  EXPECT_TRUE(n.jls);
  EXPECT_EQ(n.spacecraft, 1);
  EXPECT_EQ(n.start, 1735732807);  // 2025-01-01 12:00:07 UTC
  EXPECT_EQ(n.end, 1735732817);
  EXPECT_EQ(n.created, 1735733015);
  EXPECT_EQ(n.cycle, 72);
  EXPECT_EQ(n.chunk, 1);
  EXPECT_EQ(FciSlotOf(n.start), 1735732800);
  EXPECT_EQ(FciSlotText(n.start), "202501011200");
  ASSERT_TRUE(FciParseName("W_XX-EUMETSAT-Darmstadt,IMG+SAT,MTI2+FCI-1C-RRAD-FDHSI-FD--CHK-TRAIL---NC4E_C_EUMT_"
                           "20250101121335_IDPFI_OPE_20250101120007_20250101120927_N__O_0072_0041.nc",
                           &n));
  EXPECT_FALSE(n.body);
  EXPECT_FALSE(n.jls);
  EXPECT_EQ(n.spacecraft, 2);
  EXPECT_EQ(n.chunk, 41);
}

TEST(FciNames, MakeAndParseAgree) {
  for (bool body : {true, false})
    for (bool jls : {true, false}) {
      FciName n;
      n.body = body, n.jls = jls, n.spacecraft = 3, n.chunk = body ? 17 : 41, n.cycle = 143;
      n.start = 1735775400 + 250, n.end = n.start + 10, n.created = n.end + 200;
      FciName back;
      ASSERT_TRUE(FciParseName(FciMakeName(n), &back)) << FciMakeName(n);
      EXPECT_EQ(back.body, body);
      EXPECT_EQ(back.jls, jls);
      EXPECT_EQ(back.spacecraft, 3);
      EXPECT_EQ(back.chunk, n.chunk);
      EXPECT_EQ(back.cycle, 143);
      EXPECT_EQ(back.start, n.start);
      EXPECT_EQ(back.end, n.end);
      EXPECT_EQ(back.created, n.created);
    }
}

TEST(FciNames, RefusesOtherNames) {
  const std::string good = "W_XX-EUMETSAT-Darmstadt,IMG+SAT,MTI1+FCI-1C-RRAD-FDHSI-FD--CHK-BODY---NC4E_C_EUMT_"
                           "20250101120335_IDPFI_OPE_20250101120007_20250101120017_N_JLS_O_0072_0001.nc";
  FciName n;
  const std::string bad[] = {
      "",
      good.substr(0, good.size() - 1),                                 // no ".nc"
      std::string(good).replace(good.find("MTI1"), 4, "MTI5"),         // spacecraft
      std::string(good).replace(good.find("BODY"), 4, "HEAD"),         // component
      std::string(good).replace(good.find("_0001.nc"), 8, "_0041.nc"), // BODY chunk past 40
      std::string(good).replace(good.find("20250101120007"), 14, "20251301120007"),  // month 13
      std::string(good).replace(good.find("_JLS_"), 5, "_XYZ_"),
      "H-000-MSG4__-MSG4________-IR_108___-000007___-201607041200-C_",
  };
  for (const auto& s : bad) EXPECT_FALSE(FciParseName(s, &n)) << s;
}

// Navigation: the centre of the disk, a round trip, and agreement with the MSG projection
// (columns from the east and lines from the south on a grid of 3712 with the same angular
// extent, on a slightly different ellipsoid).
TEST(FciNavigation, AgreesWithTheMsgProjection) {
  double lat, lon, col, row;
  ASSERT_TRUE(FciGridToLatLon(FCI_GRID_2KM, 2784.5, 2784.5, &lat, &lon));
  EXPECT_NEAR(lat, 0, 1e-9);
  EXPECT_NEAR(lon, 0, 1e-9);
  EXPECT_FALSE(FciGridToLatLon(FCI_GRID_2KM, 1, 1, &lat, &lon));  // a corner is space
  const double points[][2] = {{50.1, 8.7}, {-33.9, 18.4}, {64.1, -21.9}, {0.5, 30.0}, {40.4, -3.7}};
  for (const auto& p : points) {
    for (int grid : {FCI_GRID_2KM, FCI_GRID_1KM}) {
      ASSERT_TRUE(FciLatLonToGrid(grid, p[0], p[1], &col, &row));
      ASSERT_TRUE(FciGridToLatLon(grid, col, row, &lat, &lon));
      EXPECT_NEAR(lat, p[0], 1e-7);
      EXPECT_NEAR(lon, p[1], 1e-7);
    }
    ASSERT_TRUE(FciLatLonToGrid(FCI_GRID_2KM, p[0], p[1], &col, &row));
    double mcol, mline;
    ASSERT_EQ(GeoLatLonToPixel(p[0], p[1], &mcol, &mline, 0), 0);
    // FCI column 1 is the west edge, MSG column 1 the east; 1.5 FCI pixels per MSG pixel; the
    // FCI disk centres between pixels 2784 and 2785, MSG's on pixel 1856.
    const double centre = (FCI_GRID_2KM + 1) / 2.0;
    EXPECT_NEAR((centre - col) / 1.5, mcol - 1856, 0.4) << p[0] << "," << p[1];
    EXPECT_NEAR((row - centre) / 1.5, mline - 1856, 0.4) << p[0] << "," << p[1];
  }
  EXPECT_FALSE(FciLatLonToGrid(FCI_GRID_2KM, 0, 120, &col, &row));  // behind the Earth
}

}  // namespace
