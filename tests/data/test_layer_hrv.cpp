// HRV loading: lines placed by the lower or upper window of the prologue (or the configured
// east column without it), resampled through the projection against two independent
// references, registration with IR 10.8 in the lower window against the independent model.
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "data/fileinfo.h"
#include "data/geo.h"
#include "data/layer.h"
#include "data/satellite.h"
#include "tests/support/geomodel.h"
#include "tests/support/logcapture.h"
#include "tests/support/matcompare.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"

namespace {

using matcompare::Centroid;
using xb::CountAt;  // on the HRV grid here

const char* const SLOT = "201607041200";
const Sat FULL{3, SatService::Full};

std::string Name(int ch, int segment) { return SatSegmentName(FULL, InfoChannelText[ch], segment, SLOT); }

// One segment of channel ch in dir; raw pixel p of a line holds column east + p (east 1 for
// channels 1..11; east(line) for HRV).
void WriteSegment(const std::string& dir, int ch, int segment, const CountAt& f,
                  const std::function<int(int)>& east = {}) {
  ASSERT_TRUE(xb::WriteKnown(dir, Name(ch, segment), ch, segment, f, east));
}

// Slopes 5 per column and 4 per line: a placement one column or line off changes the
// counts by 4 or more, far beyond what the fixed-point bilinear lookup can blur.
uint16_t Slopes(int line, int column) {
  return uint16_t(50 + 5 * (column % 100) + 4 * (line % 100));
}

class Hrv : public ::testing::Test {
 protected:
  TestTempDir dir;

  // Segments 19..24; raw pixel p of a file line is HRV column east + p (the standard's
  // placement of the upper window).
  void WriteHrv(int east, const CountAt& f, int first = 19, int last = 24) {
    for (int seg = first; seg <= last; seg++)
      ASSERT_TRUE(xb::WriteKnown(dir.path(), Name(HRV_ID, seg), HRV_ID, seg, f, [east](int) { return east; }));
  }
  void WritePrologue(int east) {
    xb::Prologue p;
    p.hrv[6] = east;
    ASSERT_TRUE(xb::Write(dir.file(SatPrologueName(FULL, SLOT)), xb::PrologueFile(p)));
  }
  std::string HrvPath() { return dir.file(Name(HRV_ID, 19)); }
};

// The resampled image computed here on its own: each output pixel (j, i) looks at window
// position ((i - 1) / 3, (j - 1) / 3) (the centre of each 3 x 3 block is the window pixel's
// centre), projects it into the HRV grid and reads the whole north-up strip bilinearly there.
cv::Mat Reference(const CountAt& f, int east, const int32_t w[4]) {
  cv::Mat strip(2784, 5568, CV_16UC1);  // north-up: row r is line 11136 - r
  for (int r = 0; r < 2784; r++)
    for (int x = 0; x < 5568; x++) {
      const int column = east + (5567 - x);  // west-left: column 5567 - x of the raw line
      strip.at<uint16_t>(r, x) = f(11136 - r, column);
    }
  cv::Mat mx(3 * w[3], 3 * w[2], CV_32FC1), my(mx.size(), CV_32FC1);
  for (int j = 0; j < mx.rows; j++)
    for (int i = 0; i < mx.cols; i++) {
      double lat, lon, ch, lh;
      const double c = 3712.0 - w[0] - (i - 1) / 3.0, l = 3712.0 - w[1] - (j - 1) / 3.0;
      if (GeoPixelToLatLon(c, l, &lat, &lon) == 0 && GeoLatLonToPixel(lat, lon, &ch, &lh, 1) == 0) {
        mx.at<float>(j, i) = float(5567.0 - (ch - east));
        my.at<float>(j, i) = float(11136.0 - lh);
      } else {
        mx.at<float>(j, i) = my.at<float>(j, i) = -100.0f;
      }
    }
  cv::Mat out;
  cv::remap(strip, out, mx, my, cv::INTER_LINEAR, cv::BORDER_CONSTANT, 0);
  return out;
}

void ExpectClose(const cv::Mat& got, const cv::Mat& want) {
  ASSERT_EQ(got.size(), want.size());
  ASSERT_EQ(got.type(), want.type());
  cv::Mat diff;
  cv::absdiff(got, want, diff);
  double mx;
  cv::minMaxLoc(diff, nullptr, &mx);
  EXPECT_LE(mx, 1.0);
  EXPECT_LE(cv::countNonZero(diff), int(diff.total() / 50));
}

TEST_F(Hrv, WithoutPrologueTheConfiguredEastColumnPlacesTheImage) {
  WriteHrv(1990, Slopes);
  int32_t w[4] = {1500, 200, 40, 30};
  int32_t east = 1990;
  LogCapture log;
  cv::Mat m = LayerLoadMsg(HrvPath().c_str(), w, true, &east);
  EXPECT_EQ(east, 1990);
  EXPECT_EQ(log.count(), 1u);  // the missing prologue
  ExpectClose(m, Reference(Slopes, 1990, w));
  int32_t zero = 0;  // never set: the default 1947
  WriteHrv(1947, Slopes);
  m = LayerLoadMsg(HrvPath().c_str(), w, true, &zero);
  EXPECT_EQ(zero, 1947);
  ExpectClose(m, Reference(Slopes, 1947, w));
}

TEST_F(Hrv, CachedMapsGiveTheSameImage) {
  WriteHrv(2000, Slopes);
  WritePrologue(2000);
  int32_t w[4] = {2000, 300, 30, 20};
  int32_t east = 0;
  LayerHrvMaps maps;
  cv::Mat a = LayerLoadMsg(HrvPath().c_str(), w, true, &east, &maps);
  EXPECT_GT(maps.sep.rows, 0);
  cv::Mat b = LayerLoadMsg(HrvPath().c_str(), w, true, &east, &maps);
  EXPECT_EQ(cv::norm(a, b, cv::NORM_INF), 0);
  // Another window must not reuse the maps of the first.
  int32_t w2[4] = {2010, 300, 30, 20};
  cv::Mat c = LayerLoadMsg(HrvPath().c_str(), w2, true, &east, &maps);
  ExpectClose(c, Reference(Slopes, 2000, w2));
  // Nor the same window once the prologue moves the upper window: the kept crop follows it.
  WriteHrv(1990, Slopes);
  WritePrologue(1990);
  cv::Mat d = LayerLoadMsg(HrvPath().c_str(), w2, true, &east, &maps);
  EXPECT_EQ(east, 1990);
  ExpectClose(d, Reference(Slopes, 1990, w2));
}

// With east column 1947 the upper window ends at HRV column 7514, about image x 1207. A window
// straddling that edge has no data in its western part; across the top of the disk the border
// is in space but for a piece of its bottom edge, and the crop must still hold the cap above.
TEST_F(Hrv, WindowsAtTheEdgesOfTheData) {
  WriteHrv(1947, Slopes);
  int32_t east = 1947;
  int32_t west[4] = {1180, 464, 60, 40};
  cv::Mat m = LayerLoadMsg(HrvPath().c_str(), west, true, &east);
  ExpectClose(m, Reference(Slopes, 1947, west));
  EXPECT_EQ(m.at<uint16_t>(60, 3), 0);
  EXPECT_NE(m.at<uint16_t>(60, 3 * 59), 0);
  int32_t top[4] = {1300, 0, 1200, 60};
  m = LayerLoadMsg(HrvPath().c_str(), top, true, &east);
  const cv::Mat want = Reference(Slopes, 1947, top);
  ASSERT_GT(cv::countNonZero(want.rowRange(0, 170)), 5000);  // the cap lies above the edge
  ExpectClose(m, want);
  // Wholly west of the data (HRV columns ~7860..8135), and off the Earth: refused.
  for (const std::array<int32_t, 4> off : {std::array<int32_t, 4>{1000, 464, 92, 60}, {0, 0, 10, 10}}) {
    int32_t w[4] = {off[0], off[1], off[2], off[3]};
    LogCapture log;
    EXPECT_FALSE(LayerLoadChannel(HrvPath().c_str(), 12, w, &east).has_value());
    EXPECT_TRUE(log.contains("outside the HRV windows"));
  }
}

TEST_F(Hrv, OverTallWindowShrinksToTheDiskToo) {
  WriteHrv(1947, Slopes, 1, 3);
  int32_t w[4] = {2000, 3500, 20, 2000};  // ends on the disk's last row, past the limb
  int32_t east = 1947;
  cv::Mat m = LayerLoadMsg(HrvPath().c_str(), w, true, &east);
  EXPECT_EQ(w[3], 212);
  ASSERT_EQ(m.size(), cv::Size(60, 636));
  EXPECT_GT(cv::countNonZero(m.rowRange(0, 300)), 60 * 300 * 9 / 10);
  int32_t below[4] = {2000, 3712, 20, 20};
  LogCapture log;
  EXPECT_TRUE(LayerLoadMsg(HrvPath().c_str(), below, true, &east).empty());
  EXPECT_EQ(below[1], 3712);
}

// --- The whole disk: lower and upper windows ---

struct DiskCase {
  const char* what;
  int32_t window[4];
  int first, last;  // the segments it needs
};

// The planned coverage: lower lines 1..8192 from column 100 to 5667, upper lines 8193..11136
// from column 2014 to 7581. Both differ in east column, so a line placed by the wrong window
// lands 1914 columns off.
constexpr int32_t COVERAGE[8] = {1, 8192, 100, 5667, 8193, 11136, 2014, 7581};
int EastOf(int line) { return line <= COVERAGE[1] ? COVERAGE[2] : COVERAGE[6]; }
bool InWindow(int line, int column) {
  const int at = line <= COVERAGE[1] ? 0 : 4;
  return line >= COVERAGE[at] && line <= COVERAGE[at + 1] && column >= COVERAGE[at + 2] &&
         column <= COVERAGE[at + 3];
}

// Smooth enough that a bilinear lookup stays within a count of the function, steep enough
// that a line placed one window off differs by far more. Raw pixels past a window's west
// column carry 1000, which must never show.
uint16_t Waves(int line, int column) {
  if (!InWindow(line, column)) return 1000;
  return uint16_t(std::lround(512 + 250 * std::sin(column / 15.0) + 250 * std::sin(line / 17.0)));
}

void WritePrologue(const std::string& dir, const int32_t coverage[8]) {
  xb::Prologue p;
  std::copy(coverage, coverage + 8, p.hrv);
  ASSERT_TRUE(xb::Write(dir + "/" + SatPrologueName(FULL, SLOT), xb::PrologueFile(p)));
}

// The HRV image of a window from the function itself: each output pixel's HRV position, the
// four grid points around it weighed bilinearly, points outside both windows 0. Pixels whose
// four points do not all lie in one window (the edges) are marked -1 and not compared.
cv::Mat Expected(const int32_t w[4]) {
  cv::Mat out(3 * w[3], 3 * w[2], CV_32SC1, cv::Scalar(0));
  for (int j = 0; j < out.rows; j++)
    for (int i = 0; i < out.cols; i++) {
      double lat, lon, ch, lh;
      const double c = 3712.0 - w[0] - (i - 1) / 3.0, l = 3712.0 - w[1] - (j - 1) / 3.0;
      if (GeoPixelToLatLon(c, l, &lat, &lon) != 0 || GeoLatLonToPixel(lat, lon, &ch, &lh, 1) != 0) continue;
      const int c0 = int(std::floor(ch)), l0 = int(std::floor(lh));
      const double fc = ch - c0, fl = lh - l0;
      int inside = 0;
      double v = 0;
      for (int dl = 0; dl < 2; dl++)
        for (int dc = 0; dc < 2; dc++) {
          if (!InWindow(l0 + dl, c0 + dc)) continue;
          inside++;
          v += (dl ? fl : 1 - fl) * (dc ? fc : 1 - fc) * Waves(l0 + dl, c0 + dc);
        }
      out.at<int32_t>(j, i) = inside == 4 ? int(std::lround(v)) : inside == 0 ? 0 : -1;
    }
  return out;
}

class HrvDisk : public testing::TestWithParam<DiskCase> {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<TestTempDir>();
    for (int seg = 1; seg <= HRV_SEGMENT_COUNT; seg++) WriteSegment(dir_->path(), HRV_ID, seg, Waves, EastOf);
    WritePrologue(dir_->path(), COVERAGE);
  }
  static void TearDownTestSuite() { dir_.reset(); }
  static std::unique_ptr<TestTempDir> dir_;
};
std::unique_ptr<TestTempDir> HrvDisk::dir_;

TEST_P(HrvDisk, LinesArePlacedByTheirWindow) {
  const DiskCase& c = GetParam();
  int32_t w[4] = {c.window[0], c.window[1], c.window[2], c.window[3]};
  EXPECT_EQ(LayerSegments(w, true), std::make_pair(c.first, c.last));
  int32_t east = 0;
  LogCapture log;
  const cv::Mat m = LayerLoadMsg(dir_->file(Name(HRV_ID, 19)).c_str(), w, true, &east);
  EXPECT_EQ(log.count(), 0u) << log.messages()[0];
  EXPECT_EQ(east, COVERAGE[6]);
  const cv::Mat want = Expected(w);
  ASSERT_EQ(m.size(), want.size());
  int compared = 0, bad = 0, data = 0;
  for (int j = 0; j < m.rows; j++)
    for (int i = 0; i < m.cols; i++) {
      const int e = want.at<int32_t>(j, i), got = m.at<uint16_t>(j, i);
      if (e < 0) continue;
      compared++;
      data += e > 0;
      if (std::abs(got - e) > 1 && bad++ < 3) ADD_FAILURE() << "pixel " << i << "," << j << ": " << got << " != " << e;
    }
  EXPECT_EQ(bad, 0);
  EXPECT_GT(compared, int(m.total()) * 9 / 10);
  EXPECT_GT(data, compared / 3);
}

// The boundary lies at HRV line 8192/8193, about row 3712 - 2731 = 981 of the north-up disk.
INSTANTIATE_TEST_SUITE_P(
    Windows, HrvDisk,
    testing::Values(DiskCase{"upper", {2710, 464, 92, 60}, 21, 21},
                    DiskCase{"lower", {1900, 2300, 120, 80}, 9, 10},
                    DiskCase{"straddling", {1750, 960, 100, 40}, 18, 18},
                    DiskCase{"lowerWestEdge", {1760, 1500, 120, 40}, 15, 15}),  // lower west column 5667
    [](const testing::TestParamInfo<DiskCase>& i) { return std::string(i.param.what); });

// Places in the lower window: the independent model gives their 3712-grid position; a bright
// pixel there in IR 10.8 and at the same point of the HRV grid (3 c - 2, 3 l - 2) must come out
// at the same display pixel, the model's.
TEST(HrvDiskRegistration, LowerWindowFeaturesLandWhereIr108AndTheModelPutThem) {
  const double places[][2] = {{-5.0, 20.0}, {10.0, 38.0}, {-25.0, 28.0}};  // lat, lon
  for (const auto& p : places) {
    double mc, ml, c, l;
    geomodel::ModelPixel(p[0], p[1], 0.0, &mc, &ml);
    ASSERT_EQ(GeoLatLonToPixel(p[0], p[1], &c, &l, 0), 0);
    EXPECT_NEAR(c, mc, 0.05);
    EXPECT_NEAR(l, ml, 0.05);
    const int C = int(std::lround(mc)), L = int(std::lround(ml));
    ASSERT_LT(3 * L - 2, COVERAGE[1]) << "in the lower window";
    auto ir = [&](int line, int column) -> uint16_t { return line == L && column == C ? 900 : 200; };
    auto hrv = [&](int line, int column) -> uint16_t {
      return line == 3 * L - 2 && column == 3 * C - 2 ? 900 : 200;
    };
    TestTempDir dir;
    int32_t w[4] = {3712 - C - 40, 3712 - L - 30, 80, 60};
    const auto [hf, hl] = LayerSegments(w, true);
    const auto [f, last] = LayerSegments(w, false);
    for (int seg = f; seg <= last; seg++) WriteSegment(dir.path(), 9, seg, ir);
    for (int seg = hf; seg <= hl; seg++) WriteSegment(dir.path(), HRV_ID, seg, hrv, EastOf);
    WritePrologue(dir.path(), COVERAGE);
    int32_t wi[4] = {w[0], w[1], w[2], w[3]}, wh[4] = {w[0], w[1], w[2], w[3]};
    int32_t east = 0;
    auto a = LayerLoadChannel(dir.file(Name(9, 7)).c_str(), 9, wi, &east);
    auto b = LayerLoadChannel(dir.file(Name(HRV_ID, 19)).c_str(), HRV_ID, wh, &east);
    ASSERT_TRUE(a && b);
    const double mx = 3 * (3712 - mc - w[0]) + 1, my = 3 * (3712 - ml - w[1]) + 1;
    const int dx = 3 * (3712 - C - w[0]) + 1, dy = 3 * (3712 - L - w[1]) + 1;
    const cv::Point2d pi = Centroid((*a)[1], dx, dy, 50), ph = Centroid((*b)[1], dx, dy, 50);
    EXPECT_NEAR(ph.x, pi.x, 1.0 / 3) << p[0] << "," << p[1];
    EXPECT_NEAR(ph.y, pi.y, 1.0 / 3) << p[0] << "," << p[1];
    EXPECT_NEAR(pi.x, mx, 1.5 + 1.0 / 3);  // the model's point within the pixel holding it
    EXPECT_NEAR(pi.y, my, 1.5 + 1.0 / 3);
  }
}

}  // namespace
