// The scene model on its own: the land table, the radiance and count conversions, what each
// channel sees of land, sea, cloud and night, and clouds that move.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "tests/support/planck.h"
#include "tools/synth.h"
#include "tools/synthland.h"
#include "tools/synthscene.h"

namespace {

using planck::Kelvin;

SynthScene Scene(const char* slot, double clouds) {
  int64_t t = 0;
  EXPECT_TRUE(SynthParseSlot(slot, &t, nullptr));
  return SynthSceneMake(1, t, clouds);
}

SynthPixelCounts At(const SynthScene& s, double lat, double lon) {
  SynthPixelCounts p;
  SynthPixel(s, lat, lon, &p);
  return p;
}

// Points of Europe, Africa and the Atlantic every 0.5 degree as seen from 0 degrees.
void ForDisk(const std::function<void(double lat, double lon)>& f) {
  for (double lat = -40; lat <= 60; lat += 0.5)
    for (double lon = -40; lon <= 40; lon += 0.5) f(lat, lon);
}

}  // namespace

TEST(SynthScene, LandTableKnowsTheContinentsAndInlandSeas) {
  const cv::Mat land = SynthLandRaster();
  struct Place {
    const char* name;
    double lat, lon;
    bool land;
  };
  const Place places[] = {
      {"Paris", 48.9, 2.3, true},           {"Madrid", 40.4, -3.7, true},         {"Rome", 41.9, 12.5, true},
      {"Moscow", 55.8, 37.6, true},         {"Ankara", 39.9, 32.9, true},         {"Sahara", 23.0, 13.0, true},
      {"Riyadh", 24.7, 46.7, true},         {"Iceland", 64.8, -19.0, true},       {"Greenland", 72.0, -40.0, true},
      {"London", 51.5, -0.1, true},         {"Dublin", 53.3, -7.0, true},         {"New York", 42.5, -75.0, true},
      {"Brazil", -5.0, -42.0, true},        {"mid-Atlantic", 35.0, -40.0, false}, {"Biscay", 45.5, -4.0, false},
      {"Ionian Sea", 36.0, 19.0, false},    {"Black Sea", 43.0, 34.0, false},     {"Caspian", 42.0, 50.5, false},
      {"North Sea", 56.0, 3.0, false},      {"Baltic", 57.0, 19.5, false},        {"Norwegian", 68.0, 2.0, false},
      {"Red Sea", 20.0, 38.5, false},       {"Persian Gulf", 27.0, 51.5, false},  {"Labrador", 58.0, -55.0, false},
      {"off the raster", 0, 120, false},    {"off the raster", -40, 0, false},
  };
  for (const Place& p : places) EXPECT_EQ(SynthLandAt(land, p.lat, p.lon) > 0.5f, p.land) << p.name;
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
  // A cloud cover that is not a number is taken as the default, not propagated.
  EXPECT_EQ(Scene("201607041200", std::nan("")).cloud_cover, 0.5);
}

TEST(SynthScene, VisibleChannelsAreDarkAtNightAndBrightByDay) {
  const SynthPixelCounts d = At(Scene("201607041200", 0.5), 45, 10), n = At(Scene("201607040000", 0.5), 45, 10);
  // No sunlight: zero radiance, i.e. the count -offset / slope of each channel.
  for (int ch : {1, 2, 3}) EXPECT_EQ(n.counts[ch], 51) << ch;  // 1.17046 / 0.02295 and alike
  EXPECT_GT(d.counts[1], 51 + 20);
  EXPECT_GT(d.counts[2], 51 + 40);
  EXPECT_GT(d.hrv, n.hrv + 30);
  for (int ch = 1; ch <= 11; ch++) {
    EXPECT_GE(d.counts[ch], 1) << ch;
    EXPECT_LE(d.counts[ch], 1023) << ch;
  }
}

TEST(SynthScene, ClearSkyLandIsWarmerAndBrighterThanSea) {
  const SynthScene s = Scene("201607041200", 0.0);
  const double land[][2] = {{29, 3}, {28, 17}, {30, 30}, {47, 2}, {50, 10}};  // Sahara .. Germany
  const double sea[][2] = {{35, -40}, {45, -25}, {34, 18}, {55, -20}, {40, 5}};  // Atlantic, Mediterranean
  for (const auto& p : land)
    for (const auto& q : sea) {
      SCOPED_TRACE(testing::Message() << "land " << p[0] << " " << p[1] << ", sea " << q[0] << " " << q[1]);
      const SynthPixelCounts a = At(s, p[0], p[1]), b = At(s, q[0], q[1]);
      EXPECT_GT(Kelvin(9, a.counts[9]), Kelvin(9, b.counts[9]) + 3);
      EXPECT_GT(a.counts[2], b.counts[2] + 50);
    }
  // The Sahara at a July noon: hot, bright in VIS 0.6, in IR 1.6 more than in VIS 0.6 (sand is
  // warm-coloured in "Natural"), and warmer still at 3.9 um by day.
  const SynthPixelCounts sahara = At(s, 29, 3), atlantic = At(s, 35, -40), europe = At(s, 48, 10);
  EXPECT_GT(Kelvin(9, sahara.counts[9]), 305);
  EXPECT_LT(Kelvin(9, sahara.counts[9]), 335);
  EXPECT_GT(sahara.counts[1], atlantic.counts[1] + 100);
  EXPECT_GT(sahara.counts[3] * 0.02328, sahara.counts[1] * 0.02295 + 1);
  EXPECT_GT(Kelvin(4, sahara.counts[4]), Kelvin(9, sahara.counts[9]) + 3);
  // Vegetation: brighter at 0.8 than at 0.6 um. Sea surface at mid-latitudes: a plausible
  // temperature, and water vapour at 6.2 um sees the cold upper troposphere above it.
  EXPECT_GT(europe.counts[2] - 51, europe.counts[1] - 51);
  EXPECT_GT(Kelvin(9, atlantic.counts[9]), 280);
  EXPECT_LT(Kelvin(9, atlantic.counts[9]), 300);
  EXPECT_LT(Kelvin(5, atlantic.counts[5]), Kelvin(9, atlantic.counts[9]) - 30);
}

TEST(SynthScene, CloudsAreColdBrightAndCoverPartOfTheDisk) {
  const SynthScene cloudy = Scene("201607041200", 0.5), clear = Scene("201607041200", 0.0);
  int points = 0, covered = 0, deep = 0, dark_deep = 0;
  double coldest = 400;
  ForDisk([&](double lat, double lon) {
    const SynthPixelCounts c = At(cloudy, lat, lon);
    const double t = Kelvin(9, c.counts[9]), t_clear = Kelvin(9, At(clear, lat, lon).counts[9]);
    points++;
    covered += t < t_clear - 5;
    deep += t < 230;
    // Where the sun stands high, a deep cloud is also bright.
    dark_deep += t < t_clear - 30 && std::fabs(lat - 22) < 25 && std::fabs(lon) < 25 && c.counts[2] <= 200;
    coldest = std::min(coldest, t);
  });
  EXPECT_GT(double(covered) / points, 0.1);
  EXPECT_LT(double(covered) / points, 0.8);
  EXPECT_GT(deep, 0);
  EXPECT_EQ(dark_deep, 0);
  EXPECT_GT(coldest, 190);
}

TEST(SynthScene, CloudsMoveEastwardBetweenConsecutiveSlots) {
  const SynthScene a = Scene("201607041200", 0.5), b = Scene("201607041215", 0.5);
  // Mean difference of IR 10.8 over Europe with b looked up 0.02 dx degrees further east.
  std::vector<uint16_t> before;
  for (double lat = 30; lat <= 50; lat += 0.25)
    for (double lon = -20; lon <= 20; lon += 0.25) before.push_back(At(a, lat, lon).counts[9]);
  double mad[9] = {};
  for (int dx = 0; dx < 9; dx++) {
    size_t k = 0;
    for (double lat = 30; lat <= 50; lat += 0.25)
      for (double lon = -20; lon <= 20; lon += 0.25)
        mad[dx] += std::abs(before[k++] - At(b, lat, lon + 0.02 * dx).counts[9]) / double(before.size());
  }
  const int best = int(std::min_element(mad, mad + 9) - mad);
  EXPECT_GT(mad[0], 1.0);  // the clouds changed
  EXPECT_GT(best, 0);
  EXPECT_LT(mad[best], mad[0] * 0.9);
}
