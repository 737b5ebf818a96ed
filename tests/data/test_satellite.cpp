// The satellite choice: settings text, the names and patterns built from it, the projection
// seen from another longitude (names parsed: test_fileinfo).
#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "data/fileinfo.h"
#include "data/geo.h"
#include "data/satellite.h"
#include "tests/support/geomodel.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"

namespace {

bool Glob(const std::string& pattern, const std::string& name) {
  return g_pattern_match_simple(pattern.c_str(), name.c_str());
}

using geomodel::ModelPixel;

}  // namespace

TEST(Satellite, SettingsTextRoundTripsAndRejectsOtherText) {
  for (int n = 1; n <= 4; n++)
    for (SatService service : {SatService::Full, SatService::Rapid, SatService::Iodc}) {
      const Sat s{n, service};
      Sat back{1, SatService::Full};
      ASSERT_TRUE(SatParse(SatText(s).c_str(), &back)) << SatText(s);
      EXPECT_EQ(back, s);
    }
  EXPECT_EQ(SatText(Sat{}), "MSG3");
  EXPECT_EQ(SatText(Sat{3, SatService::Rapid}), "MSG3_RSS");
  EXPECT_EQ(SatText(Sat{2, SatService::Iodc}), "MSG2_IODC");
  Sat s{4, SatService::Full};
  ASSERT_TRUE(SatParse("  msg3_rss ", &s));
  EXPECT_EQ(s, (Sat{3, SatService::Rapid}));
  for (const char* bad : {"", "MSG", "MSG0", "MSG5", "MSG3_IOD", "MSG3RSS", "MSG3_IODCX", "MSG33", "Meteosat-11", "MSG3_RSSX"}) {
    Sat keep{2, SatService::Rapid};
    EXPECT_FALSE(SatParse(bad, &keep)) << bad;
    EXPECT_EQ(keep, (Sat{2, SatService::Rapid})) << bad;
  }
  EXPECT_FALSE(SatParse(nullptr, &s));
}

TEST(Satellite, NamesOfTodaysServicesAreBuiltExactly) {
  // The names the issue quotes, as EUMETSAT disseminates them.
  EXPECT_EQ(SatSegmentName(Sat{3, SatService::Rapid}, "IR_016", 6, "202204040740"),
            "H-000-MSG3__-MSG3_RSS____-IR_016___-000006___-202204040740-C_");
  EXPECT_EQ(SatPrologueName(Sat{3, SatService::Rapid}, "202204040740"),
            "H-000-MSG3__-MSG3_RSS____-_________-PRO______-202204040740-__");
  EXPECT_EQ(SatEpilogueName(Sat{4, SatService::Full}, "201807190700"),
            "H-000-MSG4__-MSG4________-_________-EPI______-201807190700-__");
  EXPECT_EQ(SatSegmentName(Sat{2, SatService::Iodc}, "IR_108", 5, "201607041200"),
            "H-000-MSG2__-MSG2_IODC___-IR_108___-000005___-201607041200-C_");
}

TEST(Satellite, TheDefaultPatternsAreTheMsg3OnesOfBefore) {
  const Sat d;
  EXPECT_EQ(SatFilter(d), INFO_FILTER_MSG3);
  EXPECT_EQ(SatGlobSegment7(d), INFO_GLOB_SEGMENT7);
  EXPECT_EQ(SatGlobPrologue(d), INFO_GLOB_PROLOGUE);
  EXPECT_EQ(SatGlobEpilogue(d), INFO_GLOB_EPILOGUE);
  EXPECT_EQ(SatNameFormat(d, false), INFO_NAME_FMT);
  EXPECT_EQ(SatNameFormat(d, true), INFO_NAME_FMT_HRV);
  EXPECT_EQ(SatSlotMinutes(d), 15);
  EXPECT_EQ(SatFirstSegment(d), 7);
  EXPECT_EQ(SatSpacecraftId(d), 323);
  EXPECT_EQ(SatNominalLongitude(d), 0.0);
}

TEST(Satellite, GlobsAndFilterMatchTheirOwnNamesOnly) {
  const Sat rss{3, SatService::Rapid}, msg4{4, SatService::Full};
  const std::string t = "202204040740";
  EXPECT_TRUE(Glob(SatGlobSegment7(rss), SatSegmentName(rss, "WV_062", 7, t)));
  EXPECT_FALSE(Glob(SatGlobSegment7(rss), SatSegmentName(rss, "WV_062", 6, t)));
  EXPECT_FALSE(Glob(SatGlobSegment7(rss), SatSegmentName(Sat{}, "WV_062", 7, t)));
  EXPECT_TRUE(Glob(SatFilter(rss), SatSegmentName(rss, "HRV___", 24, t)));
  EXPECT_FALSE(Glob(SatFilter(msg4), SatSegmentName(rss, "HRV___", 24, t)));
  EXPECT_FALSE(Glob(SatFilter(msg4), SatPrologueName(msg4, t)));  // segment files only
  EXPECT_TRUE(Glob(SatGlobPrologue(msg4), SatPrologueName(msg4, t)));
  EXPECT_TRUE(Glob(SatGlobEpilogue(rss), SatEpilogueName(rss, t)));
  EXPECT_FALSE(Glob(SatGlobEpilogue(rss), SatPrologueName(rss, t)));
}

TEST(Satellite, ServiceRulesOfTheRapidScanAndTheIndianOcean) {
  const Sat rss{3, SatService::Rapid}, iodc{2, SatService::Iodc};
  EXPECT_EQ(SatSlotMinutes(rss), 5);
  EXPECT_EQ(SatFirstSegment(rss), 6);
  EXPECT_EQ(SatNominalLongitude(rss), 9.5);
  EXPECT_EQ(SatSlotMinutes(iodc), 15);
  EXPECT_EQ(SatNominalLongitude(iodc), 45.5);
  EXPECT_EQ(SatSpacecraftId(Sat{4, SatService::Full}), 324);
  EXPECT_EQ(SatSpacecraftId(Sat{1, SatService::Rapid}), 321);
}

TEST(Satellite, NameTellsItsSatellite) {
  Sat s;
  ASSERT_TRUE(SatFromName("H-000-MSG4__-MSG4________-IR_108___-000007___-201807190700-C_", &s));
  EXPECT_EQ(s, (Sat{4, SatService::Full}));
  ASSERT_TRUE(SatFromName("H-000-MSG3__-MSG3_RSS____-IR_016___-000006___-202204040740-C_", &s));
  EXPECT_EQ(s, (Sat{3, SatService::Rapid}));
  ASSERT_TRUE(SatFromName("H-000-MSG2__-MSG2_IODC___-IR_108___-000005___-201607041200-C_", &s));
  EXPECT_EQ(s, (Sat{2, SatService::Iodc}));
  Sat keep{2, SatService::Full};
  EXPECT_FALSE(SatFromName("H-000-MSG3__-MSG4________-IR_108___-000007___-201807190700-C_", &keep));
  EXPECT_FALSE(SatFromName("recipe name", &keep));
  EXPECT_EQ(keep, (Sat{2, SatService::Full}));
}

TEST(Satellite, ProjectionNamesGiveTheirLongitude) {
  double lon = -1;
  ASSERT_TRUE(SatProjectionLongitude("GEOS(+000.0)", &lon));
  EXPECT_EQ(lon, 0.0);
  ASSERT_TRUE(SatProjectionLongitude("GEOS(+009.5)  ", &lon));
  EXPECT_DOUBLE_EQ(lon, 9.5);
  ASSERT_TRUE(SatProjectionLongitude("GEOS(+045.5)", &lon));
  EXPECT_DOUBLE_EQ(lon, 45.5);
  ASSERT_TRUE(SatProjectionLongitude("GEOS(-003.4)", &lon));
  EXPECT_DOUBLE_EQ(lon, -3.4);
  for (const char* bad : {"", "GEOS()", "GEOS(+009.5", "GEOS(+200.0)", "GEOS(x)", "GEOS(+9.)", "LATLON(+000.0)",
                          "GEOS(+009.5)x", "GEOS(+1234.0)"}) {
    double keep = 7;
    EXPECT_FALSE(SatProjectionLongitude(bad, &keep)) << bad;
    EXPECT_EQ(keep, 7) << bad;
  }
  EXPECT_EQ(SatProjectionName(0.0), "GEOS(+000.0)");
  EXPECT_EQ(SatProjectionName(9.5), "GEOS(+009.5)");
  EXPECT_EQ(SatProjectionName(-3.4), "GEOS(-003.4)");
}

TEST(Satellite, FileLongitudeComesFromTheNavigationRecord) {
  TestTempDir dir;
  xb::Segment s;
  s.field = xb::Pack10(std::vector<uint16_t>(size_t(3712) * 464, 5));
  const std::string plain = dir.file("plain");
  ASSERT_TRUE(xb::Write(plain, xb::File(s)));
  EXPECT_EQ(SatFileLongitude(plain.c_str(), 42.0), 0.0);  // the builder's "GEOS(+000.0)"
  // Same headers with the rapid-scan projection name written over the default one.
  xb::Bytes b = xb::File(s);
  const std::string from = "GEOS(+000.0)", to = "GEOS(+009.5)";
  auto at = std::search(b.begin(), b.end(), from.begin(), from.end());
  ASSERT_NE(at, b.end());
  std::copy(to.begin(), to.end(), at);
  const std::string rapid = dir.file("rapid");
  ASSERT_TRUE(xb::Write(rapid, b));
  EXPECT_DOUBLE_EQ(SatFileLongitude(rapid.c_str(), 0.0), 9.5);
  // Nothing usable: the fallback, never a crash.
  EXPECT_EQ(SatFileLongitude(dir.file("missing").c_str(), 9.5), 9.5);
  const std::string junk = dir.file("junk");
  ASSERT_TRUE(xb::Write(junk, xb::Bytes{0, 0, 16, 0xff, 0xff, 0xff, 0xff}));
  EXPECT_EQ(SatFileLongitude(junk.c_str(), 1.5), 1.5);
  EXPECT_EQ(SatFileLongitude(nullptr, 2.5), 2.5);
}

TEST(GeoLongitude, RapidScanPixelsAreThoseOfA9Point5EastView) {
  // Points over Europe and Africa: each lands where the independent 9.5° E model puts it, and
  // far from where the 0° projection would.
  const double points[][2] = {{48.85, 2.35}, {41.9, 12.5}, {55.75, 37.6}, {30.0, 31.2}, {64.1, -21.9}, {0.0, 9.5}};
  for (const auto& p : points) {
    double c = 0, l = 0, mc = 0, ml = 0, c0 = 0, l0 = 0;
    ASSERT_EQ(GeoLatLonToPixel(p[0], p[1], &c, &l, 0, 9.5), 0);
    ModelPixel(p[0], p[1], 9.5, &mc, &ml);
    EXPECT_NEAR(c, mc, 0.05) << p[0] << " " << p[1];
    EXPECT_NEAR(l, ml, 0.05) << p[0] << " " << p[1];
    ASSERT_EQ(GeoLatLonToPixel(p[0], p[1], &c0, &l0, 0), 0);
    EXPECT_GT(std::fabs(c - c0), 50) << p[0] << " " << p[1];
    // And back: the pixel names the point again.
    double lat = 0, lon = 0;
    ASSERT_EQ(GeoPixelToLatLon(c, l, &lat, &lon, 9.5), 0);
    EXPECT_NEAR(lat, p[0], 1e-3);
    EXPECT_NEAR(lon, p[1], 1e-3);
  }
  double c = 0, l = 0;
  ASSERT_EQ(GeoLatLonToPixel(0, 9.5, &c, &l, 1, 9.5), 0);  // the HRV grid's sub-satellite point
  EXPECT_NEAR(c, 5566, 1e-9);
  EXPECT_NEAR(l, 5566, 1e-9);
}

TEST(GeoLongitude, ZeroLongitudeIsBitForBitThePlainProjection) {
  for (double col = 100; col < 3712; col += 397)
    for (double line = 2785; line < 3712; line += 61) {
      double a1 = 0, o1 = 0, a2 = 0, o2 = 0;
      const int r1 = GeoPixelToLatLon(col, line, &a1, &o1);
      ASSERT_EQ(r1, GeoPixelToLatLon(col, line, &a2, &o2, 0.0));
      if (r1 != 0) continue;
      EXPECT_EQ(a1, a2);
      EXPECT_EQ(o1, o2);
      double c1 = 0, l1 = 0, c2 = 0, l2 = 0;
      ASSERT_EQ(GeoLatLonToPixel(a1, o1, &c1, &l1, 1), GeoLatLonToPixel(a1, o1, &c2, &l2, 1, 0.0));
      EXPECT_EQ(c1, c2);
      EXPECT_EQ(l1, l2);
    }
}

TEST(GeoLongitude, LongitudesWrapAcrossTheDateLine) {
  // A satellite over 170° E sees 175° W east of it; the longitude back is given in -180..180.
  double c = 0, l = 0;
  ASSERT_EQ(GeoLatLonToPixel(10, -175, &c, &l, 0, 170), 0);
  EXPECT_LT(c, 1856);  // east of the sub-satellite point
  double lat = 0, lon = 0;
  ASSERT_EQ(GeoPixelToLatLon(c, l, &lat, &lon, 170), 0);
  EXPECT_NEAR(lon, -175, 1e-3);
  EXPECT_NEAR(lat, 10, 1e-3);
  // Out of sight from 9.5° E: the far side of the Earth.
  EXPECT_EQ(GeoLatLonToPixel(0, -100, &c, &l, 0, 9.5), -1);
}
