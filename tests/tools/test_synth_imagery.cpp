// The generated imagery: space beyond the limb, land/sea and cloud contrast through the
// calibration, moving clouds, HRV placed through the projection, determinism.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "data/geo.h"
#include "tests/support/planck.h"
#include "tests/tools/test_synth_support.h"

using namespace synthtest;

namespace {

constexpr const char* SLOT = "201607041200";

using planck::Kelvin;

// The two northern segments of a channel as one strip in file order: row r is grid line
// 2785 + r, index i of a row is grid column i + 1.
struct Strip {
  std::vector<uint16_t> v;
  uint16_t at(double column, double line) const {
    long i = std::lround(column) - 1, r = std::lround(line) - 2785;
    if (i < 0 || i >= 3712 || r < 0 || r >= 928) return 0xffff;
    return v[size_t(r) * 3712 + size_t(i)];
  }
};

Strip Channel(const std::string& dir, const char* field, const char* slot = SLOT) {
  Strip s;
  for (int seg : {7, 8}) {
    auto c = SegmentCounts(Segment(dir, field, seg, slot), 3712);
    EXPECT_EQ(c.size(), 3712u * 464) << field << " " << seg;
    s.v.insert(s.v.end(), c.begin(), c.end());
  }
  return s;
}

uint16_t CountAt(const Strip& s, double lat, double lon) {
  double c, l;
  if (GeoLatLonToPixel(lat, lon, &c, &l, 0) != 0) return 0xffff;
  return s.at(c, l);
}

}  // namespace

TEST(SynthImagery, SpaceIsZeroExactlyWhereTheProjectionMissesTheEarth) {
  for (const char* field : {"IR_108___", "VIS006___", "WV_062___"}) {
    Strip s = Channel(Cycles(SLOT, 1, 0.5), field);
    ASSERT_EQ(s.v.size(), 3712u * 928);
    size_t space = 0, wrong = 0;
    for (int r = 0; r < 928; r += 3)
      for (int i = 0; i < 3712; i++) {
        double lat, lon;
        bool earth = GeoPixelToLatLon(i + 1, 2785 + r, &lat, &lon) == 0;
        uint16_t v = s.v[size_t(r) * 3712 + i];
        space += !earth;
        wrong += earth ? (v == 0 || v > 1023) : v != 0;
      }
    EXPECT_GT(space, 100000u) << field;  // the northern strip reaches well past the limb
    EXPECT_EQ(wrong, 0u) << field;
  }
}

TEST(SynthImagery, ClearSkyLandIsWarmerAndBrighterThanSea) {
  const std::string dir = Cycles(SLOT, 1, 0.0);
  Strip ir = Channel(dir, "IR_108___"), vis = Channel(dir, "VIS006___"), nir = Channel(dir, "VIS008___");
  Strip wv = Channel(dir, "WV_062___"), ir39 = Channel(dir, "IR_039___");
  struct Point {
    double lat, lon;
  };
  const Point land[] = {{29, 3}, {28, 17}, {30, 30}, {47, 2}, {50, 10}};   // Sahara, Libya, Egypt, France, Germany
  const Point sea[] = {{35, -40}, {45, -25}, {34, 18}, {55, -20}, {40, 5}};  // Atlantic, Mediterranean
  for (const Point& p : land) {
    SCOPED_TRACE(testing::Message() << "land " << p.lat << " " << p.lon);
    for (const Point& q : sea) {
      SCOPED_TRACE(testing::Message() << "sea " << q.lat << " " << q.lon);
      EXPECT_GT(Kelvin(9, CountAt(ir, p.lat, p.lon)), Kelvin(9, CountAt(ir, q.lat, q.lon)) + 3);
      EXPECT_GT(CountAt(nir, p.lat, p.lon), CountAt(nir, q.lat, q.lon) + 50);
    }
  }
  // The Sahara at a July noon: hot, bright in VIS 0.6, and warmer still at 3.9 um by day.
  double sahara = Kelvin(9, CountAt(ir, 29, 3));
  EXPECT_GT(sahara, 305);
  EXPECT_LT(sahara, 335);
  EXPECT_GT(CountAt(vis, 29, 3), CountAt(vis, 35, -40) + 100);
  EXPECT_GT(Kelvin(4, CountAt(ir39, 29, 3)), sahara + 3);
  // Sea surface at mid-latitudes: a plausible temperature.
  double atlantic = Kelvin(9, CountAt(ir, 35, -40));
  EXPECT_GT(atlantic, 280);
  EXPECT_LT(atlantic, 300);
  // Water vapour at 6.2 um sees the cold upper troposphere.
  EXPECT_LT(Kelvin(5, CountAt(wv, 35, -40)), atlantic - 30);
}

TEST(SynthImagery, CloudsAreColdBrightAndCoverPartOfTheDisk) {
  Strip ir = Channel(Cycles(SLOT, 1, 0.5), "IR_108___"), vis = Channel(Cycles(SLOT, 1, 0.5), "VIS008___");
  Strip clear = Channel(Cycles(SLOT, 1, 0.0), "IR_108___");
  size_t earth = 0, cloudy = 0, cold = 0;
  int min_count = 1023;
  for (size_t k = 0; k < ir.v.size(); k += 7) {
    if (!ir.v[k]) continue;
    earth++;
    double t = Kelvin(9, ir.v[k]), t_clear = Kelvin(9, clear.v[k]);
    cloudy += t < t_clear - 5;
    if (t < t_clear - 30) {
      // Where the sun stands high (near the central meridian, south of 50 N), a deep cloud
      // is also bright.
      size_t i = k % 3712, r = k / 3712;
      if (i > 1300 && i < 2400 && r < 500) {
        EXPECT_GT(vis.v[k], 200) << k;
      }
      if (HasFailure()) break;
    }
    cold += t < 230;
    min_count = std::min<int>(min_count, ir.v[k]);
  }
  double fraction = double(cloudy) / earth;
  RecordProperty("cloudy_fraction", std::to_string(fraction));
  EXPECT_GT(fraction, 0.1);
  EXPECT_LT(fraction, 0.8);
  EXPECT_GT(cold, 0u);  // deep cloud tops
  EXPECT_GT(Kelvin(9, min_count), 190);
}

TEST(SynthImagery, CloudsMoveEastwardBetweenConsecutiveSlots) {
  const std::string dir = Cycles(SLOT, 1, 0.5, 2);
  Strip a = Channel(dir, "IR_108___", "201607041200"), b = Channel(dir, "IR_108___", "201607041215");
  size_t changed = 0, earth = 0;
  for (size_t k = 0; k < a.v.size(); k++)
    if (a.v[k]) earth++, changed += std::abs(int(a.v[k]) - int(b.v[k])) > 8;
  EXPECT_GT(double(changed) / earth, 0.02);
  // Best match of a central block over horizontal shifts: clouds drift east, to lower columns.
  auto mad = [&](int dx) {
    double s = 0;
    for (int r = 100; r < 500; r++)
      for (int i = 1300; i < 2400; i++) s += std::abs(int(a.v[r * 3712 + i]) - int(b.v[r * 3712 + i + dx]));
    return s;
  };
  int best = 0;
  double best_v = mad(0);
  for (int dx = -8; dx <= 8; dx++)
    if (mad(dx) < best_v) best_v = mad(dx), best = dx;
  EXPECT_LT(best, 0);
  EXPECT_LT(best_v, mad(0) * 0.9);
}

TEST(SynthImagery, HrvFollowsTheVisibleChannelsThroughTheProjection) {
  const std::string dir = Cycles(SLOT, 1, 0.5);
  Strip v06 = Channel(dir, "VIS006___"), v08 = Channel(dir, "VIS008___");
  std::vector<uint16_t> hrv;
  for (int seg = 19; seg <= 24; seg++) {
    auto c = SegmentCounts(Segment(dir, "HRV______", seg, SLOT), 5568);
    ASSERT_EQ(c.size(), 5568u * 464);
    hrv.insert(hrv.end(), c.begin(), c.end());
  }
  const int east = 2014;  // the upper east column the prologue states
  // For HRV raw pixel (q, i): HRV column east + i, line 8353 + q. Its geographic position, then
  // the visible channels there (bilinear in the 3712 grid), predicts it; the placement is right
  // when no shift of the HRV index predicts better.
  auto predicted = [&](int q, int i, double* out) {
    double lat, lon, c, l;
    // HRV and 3712 grid share the scan angles; go through latitude and longitude anyway.
    double cc = 1856 + (east + i - 5566) * (781648333.0 / 2344944941.0);
    double ll = 1856 + (8353 + q - 5566) * (781648333.0 / 2344944941.0);
    if (GeoPixelToLatLon(cc, ll, &lat, &lon) != 0) return false;
    double hc, hl;
    if (GeoLatLonToPixel(lat, lon, &hc, &hl, 1) != 0) return false;
    if (std::fabs(hc - (east + i)) > 0.01 || std::fabs(hl - (8353 + q)) > 0.01) return false;
    if (GeoLatLonToPixel(lat, lon, &c, &l, 0) != 0) return false;
    double x = c - 1, y = l - 2785;
    int x0 = int(std::floor(x)), y0 = int(std::floor(y));
    if (x0 < 0 || y0 < 0 || x0 + 1 >= 3712 || y0 + 1 >= 928) return false;
    double fx = x - x0, fy = y - y0, s = 0;
    for (int dy = 0; dy < 2; dy++)
      for (int dx = 0; dx < 2; dx++) {
        size_t k = size_t(y0 + dy) * 3712 + x0 + dx;
        if (!v06.v[k]) return false;
        s += (dx ? fx : 1 - fx) * (dy ? fy : 1 - fy) * (v06.v[k] + v08.v[k]);
      }
    *out = s;
    return true;
  };
  std::vector<double> pred;
  std::vector<std::array<int, 2>> where;
  for (int q = 200; q < 2700; q += 37)
    for (int i = 400; i < 5100; i += 11) {
      double p;
      if (predicted(q, i, &p)) pred.push_back(p), where.push_back({q, i});
    }
  ASSERT_GT(pred.size(), 10000u);
  auto corr = [&](int dq, int di) {
    std::vector<double> h;
    for (auto& w : where) h.push_back(hrv[size_t(w[0] + dq) * 5568 + w[1] + di]);
    return Correlation(pred, h);
  };
  double c0 = corr(0, 0);
  EXPECT_GT(c0, 0.95);
  for (auto [dq, di] : {std::pair{0, 1}, {0, -1}, {1, 0}, {-1, 0}, {0, 3}, {0, -3}})
    EXPECT_GT(c0, corr(dq, di)) << dq << " " << di;
  // Beyond the limb HRV is 0 as well: the northernmost HRV line lies off the disk.
  for (int i = 0; i < 5568; i++) EXPECT_EQ(hrv[size_t(2783) * 5568 + i], 0) << i;
}

TEST(SynthImagery, SameSeedSameBytesOtherSeedOtherClouds) {
  TestTempDir a, b;
  for (const TestTempDir* d : {&a, &b}) {
    SynthOptions o;
    o.out = d->path();
    o.slot = SLOT;
    o.seed = 7;
    o.threads = d == &a ? 1 : 3;  // the result does not depend on the thread count
    std::string err;
    ASSERT_TRUE(SynthCycle(o, &err)) << err;
  }
  const std::string one = Cycles(SLOT, 1, 0.5);
  for (const char* field : {"IR_108___", "HRV______"}) {
    int seg = field[0] == 'H' ? 21 : 8;
    auto x = ReadAll(Segment(a.path(), field, seg, SLOT));
    auto y = ReadAll(Segment(b.path(), field, seg, SLOT));
    auto z = ReadAll(Segment(one, field, seg, SLOT));
    ASSERT_FALSE(x.empty());
    EXPECT_TRUE(x == y) << field;
    ASSERT_EQ(x.size(), z.size());
    size_t differ = 0;
    for (size_t k = 6198; k < x.size(); k++) differ += x[k] != z[k];
    EXPECT_GT(differ, x.size() / 20) << field;
    EXPECT_TRUE(std::equal(x.begin(), x.begin() + 6198, z.begin())) << "headers do not depend on the seed";
  }
}
