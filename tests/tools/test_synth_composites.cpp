// The generated counts through the program's own channel loader and composites: the default
// recipes give the colours a forecaster expects (in "Natural" dark sea, bright land and
// warm-coloured desert; in "MPhys(Air)" blue clear sea and red-brown cold cloud).
#include <gtest/gtest.h>

#include "data/atmrad.h"
#include "data/geo.h"
#include "data/layer.h"
#include "data/recipes.h"
#include "tests/tools/test_synth_support.h"
#include "tools/synthland.h"

using namespace synthtest;

namespace {

constexpr const char* SLOT = "201607041200";
// Europe, the Mediterranean and the north of Africa, in the north-up 3712 image.
constexpr int32_t WINDOW[4] = {1500, 300, 800, 600};

struct Loaded {
  cv::Mat images[CHANNEL_COUNT + 1];
};

Loaded Load(const std::string& dir) {
  Loaded l;
  for (int ch = 1; ch <= 11; ch++) {
    int32_t w[4] = {WINDOW[0], WINDOW[1], WINDOW[2], WINDOW[3]};
    int32_t east = 0;
    std::string field = std::string(InfoChannelText[ch]) + "___";
    l.images[ch] = LayerLoadMsg(Segment(dir, field.c_str(), 7, SLOT).c_str(), w, false, &east);
    EXPECT_EQ(l.images[ch].rows, WINDOW[3]) << ch;
  }
  return l;
}

cv::Mat Composite(const Loaded& l, const char* name) {
  for (const RgbRecipe& r : AtmradDefaultRecipes())
    if (r.name == name) return AtmradComposite(l.images, r.params, r.channels);
  ADD_FAILURE() << name;
  return {};
}

struct Means {
  double r = 0, g = 0, b = 0;
  int n = 0;
  void add(const cv::Vec3b& p) { r += p[0], g += p[1], b += p[2], n++; }
  void done() { r /= n, g /= n, b /= n; }
};

// Averages the composite's colour over window pixels that pass `keep(lat, lon, x, y)`.
template <class Keep>
Means Average(const cv::Mat& rgb, Keep keep) {
  Means m;
  for (int y = 0; y < WINDOW[3]; y += 4)
    for (int x = 0; x < WINDOW[2]; x += 4) {
      double lat, lon;
      if (GeoPixelToLatLon(3712 - (WINDOW[0] + x), 3712 - (WINDOW[1] + y), &lat, &lon) != 0) continue;
      if (keep(lat, lon, x, y)) m.add(rgb.at<cv::Vec3b>(3 * y + 1, 3 * x + 1));
    }
  if (m.n) m.done();
  return m;
}

}  // namespace

TEST(SynthComposites, ClearSkyNaturalAndAirMassColours) {
  Loaded l = Load(Cycles(SLOT, 1, 0.0));
  cv::Mat land = SynthLandRaster();
  auto is_sea = [&](double lat, double lon, int, int) { return SynthLandAt(land, lat, lon) < 0.01f; };
  auto is_land = [&](double lat, double lon, int, int) { return SynthLandAt(land, lat, lon) > 0.99f; };

  cv::Mat natural = Composite(l, "Natural");
  ASSERT_EQ(natural.rows, 3 * WINDOW[3]);
  Means sea = Average(natural, is_sea), ground = Average(natural, is_land);
  ASSERT_GT(sea.n, 1000);
  ASSERT_GT(ground.n, 1000);
  EXPECT_LT(sea.r + sea.g + sea.b, 90);           // sea nearly black
  EXPECT_GT(ground.r + ground.g + ground.b, 200);  // land clearly brighter
  EXPECT_GT(ground.g, ground.b);                   // vegetation green rather than blue

  cv::Mat air = Composite(l, "MPhys(Air)");
  ASSERT_EQ(air.rows, 3 * WINDOW[3]);
  Means clear_sea = Average(air, is_sea);
  EXPECT_GT(clear_sea.b, clear_sea.r + 40);  // warm clear sea: blue
}

TEST(SynthComposites, CloudyScene) {
  Loaded l = Load(Cycles(SLOT, 1, 0.5));
  cv::Mat bt;
  AtmradBrightnessTemp(l.images[9], 9, bt);
  cv::Mat air = Composite(l, "MPhys(Air)");
  ASSERT_FALSE(air.empty());
  auto cold = [&](double, double, int x, int y) { return bt.at<float>(y, x) < 235.f; };
  auto warm = [&](double, double, int x, int y) { return bt.at<float>(y, x) > 285.f; };
  Means c = Average(air, cold), w = Average(air, warm);
  ASSERT_GT(c.n, 200) << "the scene should hold deep cloud in this window";
  ASSERT_GT(w.n, 200);
  EXPECT_LT(c.b, 20);        // IR 10.8 below 243 K: no blue
  EXPECT_GT(c.r, c.b + 60);  // thick ice cloud: red-brown
  EXPECT_GT(w.b, 150);

  // "Natural" with clouds in the scene (they set the top of each channel's range): water
  // cloud whitish, clear desert sand warm-coloured.
  cv::Mat natural = Composite(l, "Natural");
  cv::Mat land = SynthLandRaster();
  auto clear_desert = [&](double lat, double lon, int x, int y) {
    return lat < 32 && lon > -5 && lon < 30 && SynthLandAt(land, lat, lon) > 0.99f &&
           bt.at<float>(y, x) > 305.f;
  };
  Means d = Average(natural, clear_desert);
  ASSERT_GT(d.n, 50);
  EXPECT_GT(d.r, d.b + 30);
  EXPECT_GT(d.g, d.b);
}
