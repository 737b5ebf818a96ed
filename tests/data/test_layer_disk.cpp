// Channel loading anywhere on the disk: the segments a window reads and the counts it gets,
// HRV lines placed by the lower or upper window of the prologue, registration with IR 10.8 in
// the lower window against the independent model, and the rapid scan's missing segments.
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
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

const char* const SLOT = "201607041200";
const Sat FULL{3, SatService::Full}, RAPID{3, SatService::Rapid};

std::string Name(int ch, int segment, const Sat& sat = FULL) {
  return SatSegmentName(sat, InfoChannelText[ch], segment, SLOT);
}

using xb::CountAt;
using xb::Ramp;

// One segment of channel ch in dir; raw pixel p of a line holds column east + p (east 1 for
// channels 1..11; east(line) for HRV).
void WriteSegment(const std::string& dir, int ch, int segment, const CountAt& f,
                  const std::function<int(int)>& east = {}) {
  ASSERT_TRUE(xb::WriteKnown(dir, Name(ch, segment), ch, segment, f, east));
}

// --- channels 1..11: every segment, and only the ones a window needs ---

struct DiskCase {
  const char* what;
  int32_t window[4];
  int first, last;  // the segments it needs
};

class DiskWindow : public testing::TestWithParam<DiskCase> {
 protected:
  static void SetUpTestSuite() {
    all_ = std::make_unique<TestTempDir>();
    for (int seg = 1; seg <= SEGMENT_COUNT; seg++) WriteSegment(all_->path(), 9, seg, Ramp);
  }
  static void TearDownTestSuite() { all_.reset(); }
  static std::unique_ptr<TestTempDir> all_;
};
std::unique_ptr<TestTempDir> DiskWindow::all_;

// The folder holds only the segments the window needs; in place of each other one a folder of
// that name, whose opening would warn: a load without warnings opened none of them.
TEST_P(DiskWindow, ReadsOnlyItsSegmentsAndGetsTheirCounts) {
  const DiskCase& c = GetParam();
  int32_t w[4] = {c.window[0], c.window[1], c.window[2], c.window[3]};
  EXPECT_EQ(LayerSegments(w, false), std::make_pair(c.first, c.last));
  TestTempDir dir;
  for (int seg = 1; seg <= SEGMENT_COUNT; seg++) {
    const std::string name = Name(9, seg);
    if (seg >= c.first && seg <= c.last)
      std::filesystem::create_hard_link(all_->path() + "/" + name, dir.file(name));
    else
      ASSERT_EQ(g_mkdir(dir.file(name).c_str(), 0755), 0);
  }
  LogCapture log;
  const cv::Mat m = LayerLoadMsg(dir.file(Name(9, 7)).c_str(), w, false, nullptr);
  EXPECT_EQ(log.count(), 0u) << log.messages()[0];
  ASSERT_EQ(m.size(), cv::Size(w[2], w[3]));
  int bad = 0;
  for (int iy = 0; iy < m.rows; iy++)
    for (int ix = 0; ix < m.cols; ix++) {
      const int line = 3712 - (w[1] + iy), column = 3712 - (w[0] + ix);
      if (m.at<uint16_t>(iy, ix) != Ramp(line, column) && bad++ < 3)
        ADD_FAILURE() << "line " << line << " column " << column << ": " << m.at<uint16_t>(iy, ix);
    }
  EXPECT_EQ(bad, 0);
}

// Segment s holds rows 3712 - 464 s .. 3711 - 464 (s - 1) of the north-up disk.
INSTANTIATE_TEST_SUITE_P(
    Windows, DiskWindow,
    testing::Values(DiskCase{"default", {2710, 464, 92, 60}, 7, 7},
                    DiskCase{"segment8", {1000, 10, 500, 300}, 8, 8},
                    DiskCase{"segment6", {1500, 1000, 300, 200}, 6, 6},
                    DiskCase{"segment5", {1500, 1460, 300, 200}, 5, 5},
                    DiskCase{"segment4", {1500, 1920, 300, 200}, 4, 4},
                    DiskCase{"segment3", {100, 2400, 3000, 300}, 3, 3},
                    DiskCase{"segment2", {1500, 2850, 300, 200}, 2, 2},
                    DiskCase{"segment1", {3000, 3300, 1000, 1000}, 1, 1},  // shrunk to the corner
                    DiskCase{"across4and5", {1000, 1800, 300, 120}, 4, 5},
                    DiskCase{"across1to3", {3711, 2320, 1, 1392}, 1, 3},
                    DiskCase{"disk", {0, 0, 3712, 3712}, 1, 8}),
    [](const testing::TestParamInfo<DiskCase>& i) { return std::string(i.param.what); });

// The rapid scan service never sends segments 1 to 5: a window that needs them is refused
// with a message that says so, and is kept; one on its segments is not.
TEST(DiskRapid, WindowsOutsideItsSegmentsAreRefused) {
  TestTempDir dir;
  struct Case {
    int32_t window[4];
    bool refused;
  } cases[] = {{{1500, 2850, 300, 200}, true}, {{1500, 1300, 300, 200}, true}, {{1500, 1000, 300, 200}, false}};
  for (const Case& c : cases)
    for (int ch : {9, HRV_ID}) {
      int32_t w[4] = {c.window[0], c.window[1], c.window[2], c.window[3]}, east = 0;
      LogCapture log;
      const std::string path = dir.file(Name(ch, ch == HRV_ID ? 19 : 7, RAPID));
      EXPECT_TRUE(LayerLoadMsg(path.c_str(), w, ch == HRV_ID, &east).empty());  // no files at all
      EXPECT_EQ(log.contains("the rapid scan service sends segments 6 to 8 only"), c.refused) << w[1];
      EXPECT_EQ(w[1], c.window[1]);
    }
}

// --- HRV: lower and upper windows ---

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
