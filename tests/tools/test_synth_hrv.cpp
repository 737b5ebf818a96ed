// The generated HRV at 1 km: each 3 x 3 block averages to the scene's HRV of its 3 km pixel
// (what VIS 0.6 and 0.8 show there), and the blocks hold detail that a resample of the 3 km
// field does not have.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "data/geo.h"
#include "tests/tools/test_synth_support.h"
#include "tools/synthscene.h"

using namespace synthtest;

namespace {

constexpr const char* SLOT = "201607041200";
constexpr int EAST = 2014, FIRST_LINE = 8353, COLUMNS = 5568, ROWS = 6 * 464;

struct Block {
  double mean;       // of the nine HRV counts
  double detail;     // their mean square about a bilinear resample of the 3 km means
  double scene;      // the scene's HRV of the 3 km pixel
  double cover;      // its cloud cover
};

// Blocks of 3 km pixels (column c, line l of the 3712 grid) every 4th pixel over the HRV window
// of the northern strip; HRV pixel (3c - 3 + k, 3l - 3 + j), k, j in 0..2, lies in pixel (c, l).
std::vector<Block> Blocks() {
  const std::string dir = Cycles(SLOT, 1, 0.5);
  std::vector<uint16_t> hrv;
  for (int seg = 19; seg <= 24; seg++) {
    auto c = SegmentCounts(Segment(dir, "HRV______", seg, SLOT), COLUMNS);
    if (c.size() != size_t(COLUMNS) * 464) return {};
    hrv.insert(hrv.end(), c.begin(), c.end());
  }
  auto at = [&](int column, int line) { return double(hrv[size_t(line - FIRST_LINE) * COLUMNS + column - EAST]); };
  auto mean = [&](int c, int l) {
    double s = 0;
    for (int j = 0; j < 3; j++)
      for (int k = 0; k < 3; k++) s += at(3 * c - 3 + k, 3 * l - 3 + j);
    return s / 9;
  };
  int64_t t0 = 0;
  SynthParseSlot(SLOT, &t0, nullptr);
  const SynthScene scene = SynthSceneMake(1, t0, 0.5);
  std::vector<Block> out;
  for (int l = 2800; l < 3500; l += 4)
    for (int c = 700; c < 2500; c += 4) {
      bool earth = true;
      for (int dl = -1; dl <= 1; dl++)
        for (int dc = -1; dc <= 1; dc++) {
          double lat, lon;
          earth = earth && GeoPixelToLatLon(c + dc, l + dl, &lat, &lon) == 0;
        }
      double lat, lon;
      if (!earth || GeoPixelToLatLon(c, l, &lat, &lon) != 0) continue;
      SynthPixelCounts px{};
      SynthPixel(scene, lat, lon, &px);
      double m[3][3];
      for (int j = 0; j < 3; j++)
        for (int k = 0; k < 3; k++) m[j][k] = mean(c + k - 1, l + j - 1);
      // The resample: the block means, bilinear at each 1 km pixel's centre (offsets of a
      // third of a 3 km pixel).
      double sq = 0;
      for (int j = 0; j < 3; j++)
        for (int k = 0; k < 3; k++) {
          const double fy = (j - 1) / 3.0, fx = (k - 1) / 3.0;
          const int jy = fy < 0 ? 0 : 2, kx = fx < 0 ? 0 : 2;
          const double ay = std::fabs(fy), ax = std::fabs(fx);
          const double row0 = m[1][1] + (m[1][kx] - m[1][1]) * ax, row1 = m[jy][1] + (m[jy][kx] - m[jy][1]) * ax;
          const double v = row0 + (row1 - row0) * ay;
          sq += std::pow(at(3 * c - 3 + k, 3 * l - 3 + j) - v, 2);
        }
      out.push_back({m[1][1], sq / 9, px.hrv, px.hrv_parts.cover});
    }
  return out;
}

TEST(SynthHrv, BlocksAverageToTheSceneAndCarryDetailAtTheEdgesOfClouds) {
  const std::vector<Block> blocks = Blocks();
  ASSERT_GT(blocks.size(), 50000u);
  // Pixels inside cloud or clear sky, and those at the edges of clouds, where the 1 km pixels
  // are cloudy or clear in turn.
  struct Group {
    int n = 0;
    double bias = 0, abs = 0, detail = 0;
  } whole, edge;
  for (const Block& b : blocks) {
    for (Group* g : {&whole, b.cover > 0.1 && b.cover < 0.9 ? &edge : nullptr}) {
      if (!g) continue;
      g->n++;
      g->bias += b.mean - b.scene;
      g->abs += std::fabs(b.mean - b.scene);
      g->detail += b.detail;
    }
  }
  ASSERT_GT(edge.n, 500);
  for (Group* g : {&whole, &edge}) g->bias /= g->n, g->abs /= g->n, g->detail = std::sqrt(g->detail / g->n);
  // Counts (HRV cloud and sea differ by some 400 here). Averaged, the blocks are the scene's HRV;
  // one by one they differ by where the 1 km cloud falls. A resample of the 3 km field has a
  // detail of about 9 overall and 16 at the edges, and its blocks differ by 4 and 16.
  EXPECT_LT(std::fabs(whole.bias), 3.0);
  EXPECT_LT(std::fabs(edge.bias), 15.0);
  EXPECT_LT(whole.abs, 25.0);
  EXPECT_LT(edge.abs, 130.0);
  EXPECT_GT(whole.detail, 25.0);
  EXPECT_GT(edge.detail, 50.0);
}

}  // namespace
