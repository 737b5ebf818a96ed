// The scene model on its own: the land table, the radiance and count conversions, night.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/planck.h"
#include "tools/synth.h"
#include "tools/synthland.h"
#include "tools/synthscene.h"

TEST(SynthScene, LandTableKnowsTheContinentsAndInlandSeas) {
  cv::Mat land = SynthLandRaster();
  struct Place {
    const char* name;
    double lat, lon;
    bool land;
  };
  const Place places[] = {
      {"Paris", 48.9, 2.3, true},          {"Madrid", 40.4, -3.7, true},
      {"Rome", 41.9, 12.5, true},          {"Berlin", 52.5, 13.4, true},
      {"Moscow", 55.8, 37.6, true},        {"Ankara", 39.9, 32.9, true},
      {"central Sahara", 23.0, 13.0, true}, {"Cairo", 30.0, 31.2, true},
      {"Riyadh", 24.7, 46.7, true},        {"Reykjavik interior", 64.8, -19.0, true},
      {"Greenland ice", 72.0, -40.0, true}, {"London", 51.5, -0.1, true},
      {"Dublin", 53.3, -7.0, true},        {"New York state", 42.5, -75.0, true},
      {"Brazil", -5.0, -42.0, true},      {"mid-Atlantic", 35.0, -40.0, false},
      {"Bay of Biscay", 45.5, -4.0, false}, {"western Mediterranean", 38.0, 5.0, false},
      {"Ionian Sea", 36.0, 19.0, false},   {"Black Sea", 43.0, 34.0, false},
      {"Caspian Sea", 42.0, 50.5, false},  {"North Sea", 56.0, 3.0, false},
      {"Baltic Sea", 57.0, 19.5, false},   {"Norwegian Sea", 68.0, 2.0, false},
      {"Red Sea", 20.0, 38.5, false},      {"Persian Gulf", 27.0, 51.5, false},
      {"Labrador Sea", 58.0, -55.0, false},
  };
  for (const Place& p : places)
    EXPECT_EQ(SynthLandAt(land, p.lat, p.lon) > 0.5f, p.land) << p.name;
  // Outside the raster there is no land.
  EXPECT_EQ(SynthLandAt(land, 0, 120), 0.f);
  EXPECT_EQ(SynthLandAt(land, -40, 0), 0.f);
}

TEST(SynthScene, RadianceInvertsTheBrightnessTemperatureFormula) {
  for (int ch = 4; ch <= 11; ch++)
    for (double t : {200.0, 250.0, 300.0, 330.0})
      EXPECT_NEAR(planck::KelvinOfRadiance(ch, SynthRadianceOfTemp(ch, t)), t, 1e-9) << ch << " " << t;
  // IR 10.8 at 300 K: about 113 mW m-2 sr-1 (cm-1)-1, count (113 + 10.457) / 0.20503 = 602.
  EXPECT_NEAR(SynthRadianceOfTemp(9, 300), 113.0, 0.5);
  EXPECT_NEAR(SynthCountOfRadiance(9, SynthRadianceOfTemp(9, 300)), 602, 2);
  // Counts stay in 1..1023 so that 0 means space only.
  EXPECT_EQ(SynthCountOfRadiance(9, -1000.0), 1);
  EXPECT_EQ(SynthCountOfRadiance(9, 1e6), 1023);
}

TEST(SynthScene, VisibleChannelsAreDarkAtNightAndBrightByDay) {
  int64_t noon = 0, midnight = 0;
  ASSERT_TRUE(SynthParseSlot("201607041200", &noon, nullptr));
  ASSERT_TRUE(SynthParseSlot("201607040000", &midnight, nullptr));
  SynthScene day = SynthSceneMake(1, noon, 0.5), night = SynthSceneMake(1, midnight, 0.5);
  SynthPixelCounts d, n;
  SynthPixel(day, 45, 10, &d);
  SynthPixel(night, 45, 10, &n);
  // No sunlight: zero radiance, i.e. the count -offset / slope of each channel.
  EXPECT_EQ(n.counts[1], 51);  // 1.17046 / 0.02295
  EXPECT_EQ(n.counts[2], 51);  // 1.49001 / 0.02922
  EXPECT_EQ(n.counts[3], 51);  // 1.18724 / 0.02328
  EXPECT_GT(d.counts[1], 51 + 20);
  EXPECT_GT(d.counts[2], 51 + 40);
  EXPECT_GT(d.hrv, n.hrv + 30);
  for (int ch = 1; ch <= 11; ch++) {
    EXPECT_GE(d.counts[ch], 1) << ch;
    EXPECT_LE(d.counts[ch], 1023) << ch;
  }
  // A cloud cover that is not a number is taken as the default, not propagated.
  SynthScene odd = SynthSceneMake(1, noon, std::nan(""));
  EXPECT_EQ(odd.cloud_cover, 0.5);
}
