// Cycles of today's services from the generator: MSG4's full disk at 0° and MSG3's Rapid Scan
// Service at 9.5° E. Names, headers, and the picture seen from the right longitude, read back
// through the program's own loader.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "data/fileinfo.h"
#include "data/layer.h"
#include "data/satellite.h"
#include "data/xrit.h"
#include "tests/support/geomodel.h"
#include "tests/tools/test_synth_support.h"
#include "tools/synth.h"
#include "tools/synthscene.h"

namespace {

constexpr const char* RSS_SLOT = "202204040740";  // a 5-minute slot, off the quarter hour
constexpr const char* MSG4_SLOT = "201807190700";
constexpr uint32_t SEED = 7;
constexpr double CLOUDS = 0.4;

using geomodel::ModelLatLon;

class SynthSatellite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TestTempDir;
    for (auto [sat, slot] : {std::pair{Sat{3, SatService::Rapid}, RSS_SLOT}, std::pair{Sat{4, SatService::Full}, MSG4_SLOT}}) {
      SynthOptions o;
      o.out = dir_->path();
      o.slot = slot;
      o.seed = SEED;
      o.cloud_cover = CLOUDS;
      o.satellite = sat;
      std::string err;
      ok_ = ok_ && SynthCycle(o, &err);
      if (!ok_) ADD_FAILURE() << err;
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!ok_) GTEST_SKIP() << "no cycles";
  }
  static std::string Path(const std::string& name) { return dir_->path() + "/" + name; }
  static bool Exists(const std::string& name) { return g_file_test(Path(name).c_str(), G_FILE_TEST_EXISTS); }
  static XritHeader Header(const std::string& name) {
    std::vector<uint8_t> bytes = synthtest::ReadAll(Path(name));
    XritHeader h;
    std::string err;
    EXPECT_TRUE(XritParseHeaders(bytes, &h, &err)) << name << ": " << err;
    return h;
  }

  static TestTempDir* dir_;
  static bool ok_;
};

TestTempDir* SynthSatellite::dir_ = nullptr;
bool SynthSatellite::ok_ = true;

}  // namespace

TEST_F(SynthSatellite, RapidScanCycleHasSegmentsSixToEightAndItsOwnHeaders) {
  const Sat rss{3, SatService::Rapid};
  for (int ch = 1; ch <= 11; ch++) {
    EXPECT_FALSE(Exists(SatSegmentName(rss, InfoChannelText[ch], 5, RSS_SLOT))) << ch;
    for (int seg = 6; seg <= 8; seg++) {
      const std::string name = SatSegmentName(rss, InfoChannelText[ch], seg, RSS_SLOT);
      ASSERT_TRUE(Exists(name)) << name;
      const XritHeader h = Header(name);
      EXPECT_EQ(h.projection, "GEOS(+009.5)") << name;
      EXPECT_EQ(h.spacecraft, 323) << name;
      EXPECT_EQ(h.annotation, name);
      EXPECT_EQ(h.planned_start, 6) << name;
      EXPECT_EQ(h.planned_end, 8) << name;
    }
  }
  for (int seg = 19; seg <= 24; seg++) EXPECT_TRUE(Exists(SatSegmentName(rss, "HRV___", seg, RSS_SLOT))) << seg;
  EXPECT_TRUE(Exists("H-000-MSG3__-MSG3_RSS____-_________-PRO______-202204040740-__"));
  EXPECT_TRUE(Exists("H-000-MSG3__-MSG3_RSS____-_________-EPI______-202204040740-__"));
  // The prologue tells the same satellite: id 323 first, nominal longitude 9.5 after it.
  const std::vector<uint8_t> pro = synthtest::ReadAll(Path(SatPrologueName(rss, RSS_SLOT)));
  const size_t field = synthtest::Be32(pro, 4);
  EXPECT_EQ(synthtest::Be16(pro, field), 323u);
  EXPECT_FLOAT_EQ(synthtest::BeF32(pro, field + 2), 9.5f);
}

TEST_F(SynthSatellite, Msg4CycleCarriesMsg4NamesAndSpacecraftAtZeroDegrees) {
  const Sat msg4{4, SatService::Full};
  const std::string ref = "H-000-MSG4__-MSG4________-IR_108___-000007___-201807190700-C_";
  ASSERT_TRUE(Exists(ref));
  EXPECT_TRUE(Exists("H-000-MSG4__-MSG4________-IR_108___-000008___-201807190700-C_"));
  EXPECT_FALSE(Exists("H-000-MSG4__-MSG4________-IR_108___-000006___-201807190700-C_"));
  const XritHeader h = Header(ref);
  EXPECT_EQ(h.projection, "GEOS(+000.0)");
  EXPECT_EQ(h.spacecraft, 324);
  EXPECT_EQ(SatFileLongitude(Path(ref).c_str(), 99), 0.0);
  EXPECT_TRUE(Exists(SatEpilogueName(msg4, MSG4_SLOT)));
  Layer l;
  l.name = ref;
  ASSERT_TRUE(InfoParseName(&l));
  EXPECT_EQ(l.id, 9);
}

TEST_F(SynthSatellite, RapidScanPictureIsTheSceneSeenFrom9Point5East) {
  const std::string ref = SatSegmentName(Sat{3, SatService::Rapid}, "IR_108", 7, RSS_SLOT);
  EXPECT_DOUBLE_EQ(SatFileLongitude(Path(ref).c_str(), 0), 9.5);
  int32_t window[4] = {1400, 200, 500, 300};  // image x, y, width, height: Europe and the Atlantic
  int32_t east = 0;
  auto images = LayerLoadChannel(Path(ref).c_str(), 9, window, &east);
  ASSERT_TRUE(images);
  const cv::Mat& counts = (*images)[0];
  ASSERT_EQ(counts.rows, 300);
  ASSERT_EQ(counts.cols, 500);
  int64_t t0 = 0;
  ASSERT_TRUE(SynthParseSlot(RSS_SLOT, &t0, nullptr, 5));
  const SynthScene scene = SynthSceneMake(SEED, t0, CLOUDS);
  // Each pixel against the scene at the position the 9.5° E model gives, and at the one a 0°
  // view would give: only the first is the picture.
  double diff95 = 0, diff0 = 0;
  int n = 0;
  for (int j = 0; j < counts.rows; j += 7)
    for (int k = 0; k < counts.cols; k += 7) {
      const double column = 3712 - window[0] - k, line = 3712 - window[1] - j;
      double lat = 0, lon = 0, lat0 = 0, lon0 = 0;
      if (!ModelLatLon(column, line, 9.5, &lat, &lon) || !ModelLatLon(column, line, 0, &lat0, &lon0)) continue;
      SynthPixelCounts at95{}, at0{};
      SynthPixel(scene, lat, lon, &at95);
      SynthPixel(scene, lat0, lon0, &at0);
      const double v = counts.at<uint16_t>(j, k);
      diff95 += std::fabs(v - at95.counts[9]);
      diff0 += std::fabs(v - at0.counts[9]);
      n++;
    }
  ASSERT_GT(n, 2000);
  EXPECT_LT(diff95 / n, 1.0);          // the model and the projection agree to a hair
  EXPECT_GT(diff0 / n, 10 * (diff95 / n + 0.1));
}

TEST_F(SynthSatellite, RapidScanHrvLandsWhereThe9Point5EastProjectionPutsIt) {
  const std::string ref = SatSegmentName(Sat{3, SatService::Rapid}, "HRV___", 19, RSS_SLOT);
  int32_t window[4] = {1500, 300, 120, 90};
  int32_t east = 0;
  auto images = LayerLoadChannel(Path(ref).c_str(), HRV_ID, window, &east);
  ASSERT_TRUE(images);
  const cv::Mat& hrv = (*images)[0];
  ASSERT_EQ(hrv.rows, 3 * 90);
  ASSERT_EQ(hrv.cols, 3 * 120);
  int64_t t0 = 0;
  ASSERT_TRUE(SynthParseSlot(RSS_SLOT, &t0, nullptr, 5));
  const SynthScene scene = SynthSceneMake(SEED, t0, CLOUDS);
  // Output pixels 3k .. 3k + 2 of the HRV image lie in window pixel k; their mean is its value
  // but for where the 1 km cloud falls, some 5 counts in this dim northern window.
  auto corr = [&](double sub, int shift) {
    std::vector<double> got, want;
    for (int j = 1; j < 89; j++)
      for (int k = 1; k < 119; k++) {
        double lat = 0, lon = 0;
        if (!ModelLatLon(3712 - window[0] - k, 3712 - window[1] - j, sub, &lat, &lon)) continue;
        SynthPixelCounts px{};
        SynthPixel(scene, lat, lon, &px);
        want.push_back(px.hrv);
        double sum = 0;
        for (int dj = 0; dj < 3; dj++)
          for (int dk = 0; dk < 3; dk++) sum += hrv.at<uint16_t>(3 * j + dj, 3 * (k + shift) + dk);
        got.push_back(sum / 9);
      }
    return synthtest::Correlation(got, want);
  };
  const double right = corr(9.5, 0);
  EXPECT_GT(right, 0.75);
  EXPECT_GT(right, corr(0.0, 0) + 0.2);
  EXPECT_GT(right, corr(9.5, 1));
  EXPECT_GT(right, corr(9.5, -1));
}

TEST(SynthSatelliteSlot, RapidScanSlotsStepFiveMinutes) {
  int64_t t = 0;
  std::string err;
  EXPECT_TRUE(SynthParseSlot("202204040745", &t, &err, 15));
  EXPECT_FALSE(SynthParseSlot("202204040740", &t, &err, 15));
  EXPECT_NE(err.find("quarter hour"), std::string::npos);
  EXPECT_TRUE(SynthParseSlot("202204040740", &t, &err, 5));
  EXPECT_FALSE(SynthParseSlot("202204040742", &t, &err, 5));
  EXPECT_EQ(SynthSlotText(t + 300), "202204040745");
}
