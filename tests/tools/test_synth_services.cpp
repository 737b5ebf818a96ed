// Cycles of each service from the generator, read with the independent reader: the files a cycle
// has and their headers, every channel holding the scene as the independent model of the view
// places it from the service's longitude, and HRV's 1 km detail. A disk cycle holds the strip
// cycle byte for byte, and the bytes depend on the seed alone.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "data/fileinfo.h"
#include "data/satellite.h"
#include "data/xrit.h"
#include "tests/support/geomodel.h"
#include "tests/tools/test_synth_support.h"
#include "tools/synthscene.h"

using namespace synthtest;

namespace {

struct Service {
  const char* label;
  Sat sat;
  const char* slot;
  int first_segment;     // asked of the generator
  int first, hrv_first;  // the segments written, to 8 and 24
  double lon;
};

const Service SERVICES[] = {
    {"Msg3Strip", Sat{}, SLOT, 0, 7, 19, 0.0},
    {"Msg3FromSix", Sat{}, SLOT, 6, 6, 16, 0.0},
    {"Msg4", Sat{4, SatService::Full}, "201807191200", 0, 7, 19, 0.0},
    {"RapidScan", Sat{3, SatService::Rapid}, "202204041140", 0, 6, 16, 9.5},
    {"IndianOcean", Sat{2, SatService::Iodc}, SLOT, 4, 4, 10, 45.5},
};

class SynthService : public ::testing::TestWithParam<Service> {
 protected:
  const Service& s = GetParam();
  const std::string dir = Cycle(s.slot, s.sat, s.first_segment);
  std::string Path(int ch, int seg) const {
    return dir + "/" + SatSegmentName(s.sat, InfoChannelText[ch], seg, s.slot);
  }
  SynthScene Scene() const {
    int64_t t0 = 0;
    EXPECT_TRUE(SynthParseSlot(s.slot, &t0, nullptr, SatSlotMinutes(s.sat)));
    return SynthSceneMake(1, t0, 0.5);
  }
};

TEST_P(SynthService, HasItsFilesWithTheServicesHeaders) {
  ASSERT_FALSE(dir.empty());
  std::set<std::string> want = {SatPrologueName(s.sat, s.slot), SatEpilogueName(s.sat, s.slot)}, have;
  const bool rapid = s.sat.service == SatService::Rapid;
  for (int ch = 1; ch <= HRV_ID; ch++)
    for (int seg = ch == HRV_ID ? s.hrv_first : s.first; seg <= (ch == HRV_ID ? 24 : 8); seg++) {
      want.insert(Path(ch, seg).substr(dir.size() + 1));
      XritHeader h;
      std::string err;
      ASSERT_TRUE(XritParseHeaders(ReadAll(Path(ch, seg)), &h, &err)) << Path(ch, seg) << ": " << err;
      char projection[16];
      std::snprintf(projection, sizeof projection, "GEOS(%+06.1f)", s.lon);
      EXPECT_EQ(h.projection, projection);
      EXPECT_EQ(h.spacecraft, 320 + s.sat.spacecraft);
      EXPECT_EQ(h.annotation, Path(ch, seg).substr(dir.size() + 1));
      Layer l;  // the program finds the channel in the name of the reference segment
      l.name = h.annotation;
      EXPECT_TRUE(seg != (ch == HRV_ID ? 19 : 7) || (InfoParseName(&l) && l.id == ch)) << l.name;
      EXPECT_EQ(h.planned_start, !rapid ? 1 : ch == HRV_ID ? 16 : 6);
      EXPECT_EQ(h.planned_end, ch == HRV_ID ? 24 : 8);
    }
  GDir* d = g_dir_open(dir.c_str(), 0, nullptr);
  while (const char* n = d ? g_dir_read_name(d) : nullptr) have.insert(n);
  if (d) g_dir_close(d);
  EXPECT_EQ(have, want);
  // The prologue names the same satellite: its id first, the nominal longitude after it.
  const std::vector<uint8_t> pro = ReadAll(dir + "/" + SatPrologueName(s.sat, s.slot));
  ASSERT_GT(pro.size(), 100u);
  EXPECT_EQ(Be16(pro, Be32(pro, 4)), 320u + s.sat.spacecraft);
  EXPECT_EQ(BeF32(pro, Be32(pro, 4) + 2), float(s.lon));
}

// Every 16th pixel of every 16th line of channels 1..11 against the scene where the model's
// line of sight from the service's longitude meets the Earth; 0 where it misses.
TEST_P(SynthService, ChannelsHoldTheSceneSeenFromTheServicesLongitude) {
  const SynthScene scene = Scene();
  std::vector<int> rows;
  for (int r = 0; r < 464; r += 16) rows.push_back(r);
  for (int seg = s.first; seg <= 8; seg++) {
    std::vector<uint16_t> counts[12];
    for (int ch = 1; ch <= 11; ch++) {
      counts[ch] = SegmentCounts(Path(ch, seg), 3712, rows);
      ASSERT_EQ(counts[ch].size(), rows.size() * 3712) << ch;
    }
    double diff[12] = {};
    int earth = 0, space_wrong = 0;
    for (size_t k = 0; k < rows.size(); k++)
      for (int i = 5; i < 3712; i += 16) {
        double lat, lon;
        const size_t at = k * 3712 + i;
        if (!geomodel::ModelLatLon(i + 1, 464 * (seg - 1) + rows[k] + 1, s.lon, &lat, &lon)) {
          for (int ch = 1; ch <= 11; ch++) space_wrong += counts[ch][at] != 0;
          continue;
        }
        SynthPixelCounts want;
        SynthPixel(scene, lat, lon, &want);
        earth++;
        for (int ch = 1; ch <= 11; ch++) diff[ch] += std::abs(counts[ch][at] - want.counts[ch]);
      }
    EXPECT_EQ(space_wrong, 0) << "segment " << seg;
    ASSERT_GT(earth, 1000);
    for (int ch = 1; ch <= 11; ch++) EXPECT_LT(diff[ch] / earth, 0.05) << "channel " << ch << " segment " << seg;
  }
}

// HRV of the northern strip's upper window (east column 2014) against the scene's HRV at each
// pixel's place (HRV column h lies at 3712-grid column 1856 + (h - 5566) / 3, lines alike):
// close on average, worse one pixel further in any direction, and with 1 km detail about it,
// most of it at the edges of clouds.
TEST_P(SynthService, HrvIsTheSceneWithDetailWhereTheProjectionPutsIt) {
  const SynthScene scene = Scene();
  std::vector<uint16_t> hrv;
  for (int seg = 19; seg <= 24; seg++) {
    const std::vector<uint16_t> c = SegmentCounts(Path(HRV_ID, seg), 5568);
    ASSERT_EQ(c.size(), 5568u * 464);
    hrv.insert(hrv.end(), c.begin(), c.end());
  }
  auto at = [&](int column, int line) { return double(hrv[size_t(line - 8353) * 5568 + column - 2014]); };
  const std::pair<int, int> shifts[] = {{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}};
  std::vector<double> want, got[5];
  double bias = 0, sq = 0, edge_sq = 0;
  int edges = 0;
  for (int h = 8400; h < 10500; h += 7)
    for (int c = 2100; c < 7500; c += 5) {
      double lat, lon;
      if (!geomodel::ModelLatLon(1856 + (c - 5566) / 3.0, 1856 + (h - 5566) / 3.0, s.lon, &lat, &lon)) continue;
      SynthPixelCounts px;
      SynthPixel(scene, lat, lon, &px);
      want.push_back(px.hrv);
      for (int k = 0; k < 5; k++) got[k].push_back(at(c + shifts[k].first, h + shifts[k].second));
      const double d = got[0].back() - px.hrv;
      bias += d;
      sq += d * d;
      const bool edge = px.hrv_parts.cover > 0.1 && px.hrv_parts.cover < 0.9;
      edges += edge;
      edge_sq += edge ? d * d : 0;
    }
  const double n = double(want.size());
  ASSERT_GT(n, 50000);
  ASSERT_GT(edges, 500);
  const double right = Correlation(got[0], want);
  EXPECT_GT(right, 0.9);
  for (int k = 1; k < 5; k++) EXPECT_GT(right, Correlation(got[k], want)) << shifts[k].first << "," << shifts[k].second;
  EXPECT_LT(std::fabs(bias / n), 3.0);
  // Cloud spread evenly over a 1 km pixel's neighbours instead of drawn with ragged edges would
  // leave a spread of some 30 counts, 50 at the edges of clouds.
  EXPECT_GT(std::sqrt(sq / n), 35.0);
  EXPECT_GT(std::sqrt(edge_sq / edges), 80.0);
  // Beyond the limb HRV is 0: the northernmost line lies off the disk.
  for (int i = 0; i < 5568; i++) ASSERT_EQ(hrv[size_t(2783) * 5568 + i], 0) << i;
}

INSTANTIATE_TEST_SUITE_P(Services, SynthService, ::testing::ValuesIn(SERVICES),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(SynthCycle, DiskCycleHoldsTheStripCycleByteForByte) {
  const std::string disk = Cycle(SLOT, Sat{}, 6);
  GDir* d = g_dir_open(Strip().c_str(), 0, nullptr);
  ASSERT_TRUE(d);
  int files = 0;
  while (const char* n = g_dir_read_name(d)) {
    EXPECT_TRUE(ReadAll(Strip() + "/" + n) == ReadAll(disk + "/" + n)) << n;
    files++;
  }
  g_dir_close(d);
  EXPECT_EQ(files, 11 * 2 + 6 + 2);
}

TEST(SynthCycle, SameSeedSameBytesOtherSeedOtherClouds) {
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
  for (auto [ch, seg] : {std::pair{9, 8}, {HRV_ID, 21}}) {
    const std::vector<uint8_t> x = ReadAll(Segment(a.path(), ch, seg)), y = ReadAll(Segment(b.path(), ch, seg));
    const std::vector<uint8_t> z = ReadAll(Segment(Strip(), ch, seg));
    ASSERT_FALSE(x.empty());
    EXPECT_TRUE(x == y) << ch;
    ASSERT_EQ(x.size(), z.size());
    size_t differ = 0;
    for (size_t k = 6198; k < x.size(); k++) differ += x[k] != z[k];
    EXPECT_GT(differ, x.size() / 20) << ch;
    EXPECT_TRUE(std::equal(x.begin(), x.begin() + 6198, z.begin())) << "headers do not depend on the seed";
  }
}

}  // namespace
