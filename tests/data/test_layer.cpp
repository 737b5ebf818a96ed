// Channel loading from segment files whose counts are known at every line and column: the
// segments a window reads and the counts it gets anywhere on the disk, missing and damaged
// segments, windows at every kind of edge, and the rapid scan's missing segments.
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "data/fileinfo.h"
#include "data/layer.h"
#include "data/satellite.h"
#include "tests/support/logcapture.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"

namespace {

const char* const SLOT = "201607041200";
const Sat FULL{3, SatService::Full}, RAPID{3, SatService::Rapid};

std::string Name(int ch, int segment, const Sat& sat = FULL) {
  return SatSegmentName(sat, InfoChannelText[ch], segment, SLOT);
}

using xb::CountAt;
using xb::Ramp;

// Every pixel of the count image is the count of its line and column: image x = 3712 -
// column, image y = 3712 - line (north-up, west-left). Rows of `missing_segment` are 0.
void ExpectWindow(const cv::Mat& m, const int32_t w[4], const CountAt& f, int missing_segment = 0) {
  ASSERT_EQ(m.type(), CV_16UC1);
  ASSERT_EQ(m.size(), cv::Size(w[2], w[3]));
  int bad = 0;
  for (int iy = 0; iy < m.rows; iy++)
    for (int ix = 0; ix < m.cols; ix++) {
      const int line = 3712 - (w[1] + iy), column = 3712 - (w[0] + ix);
      const uint16_t want = (line - 1) / 464 + 1 == missing_segment ? 0 : f(line, column);
      if (m.at<uint16_t>(iy, ix) != want && bad++ < 5)
        ADD_FAILURE() << "pixel " << ix << "," << iy << " line " << line << " column " << column
                      << ": " << m.at<uint16_t>(iy, ix) << " != " << want;
    }
  EXPECT_EQ(bad, 0);
}

class LayerLoad : public ::testing::Test {
 protected:
  TestTempDir dir;

  // Writes segment `segment` of channel ch; its file lines run south first, east first.
  void WriteSegment(int ch, int segment, const CountAt& f) {
    ASSERT_TRUE(xb::WriteKnown(dir.path(), Name(ch, segment), ch, segment, f));
  }
  std::string Path(int ch) { return dir.file(Name(ch, ch == 12 ? 19 : 7)); }
};

TEST_F(LayerLoad, OneMissingSegmentOfTwoGivesZeroRows) {
  WriteSegment(5, 7, Ramp);
  LogCapture log;
  int32_t w[4] = {100, 400, 50, 120};
  cv::Mat m = LayerLoadMsg(Path(5).c_str(), w, false, nullptr);
  ASSERT_EQ(log.count(), 1u);
  EXPECT_NE(log.messages()[0].find("000008___"), std::string::npos);
  ExpectWindow(m, w, Ramp, 8);
}

TEST_F(LayerLoad, AllSegmentsMissingFails) {
  LogCapture log;
  int32_t w[4] = {100, 400, 50, 120};
  EXPECT_FALSE(LayerLoadChannel(Path(5).c_str(), 5, w, nullptr).has_value());
  EXPECT_TRUE(log.contains(Path(5)));  // the layer's own "%s" after the two segment warnings
  EXPECT_EQ(log.count(), 3u);
}

// Windows that start and end at every kind of column and row: at and beside the 464-sample
// units a line is unpacked in, and at and beside the segment border, so that only some lines
// of a segment are read; and the whole strip.
TEST_F(LayerLoad, WindowsAtUnitAndSegmentEdges) {
  WriteSegment(1, 6, Ramp);
  WriteSegment(1, 7, Ramp);
  WriteSegment(1, 8, Ramp);
  int32_t whole[4] = {0, 0, 3712, 928};
  ExpectWindow(LayerLoadMsg(Path(1).c_str(), whole, false, nullptr), whole, Ramp);
  for (int x : {0, 1, 463, 464, 465, 927, 1855, 3247, 3711})
    for (int y : {0, 1, 463, 464, 465, 927})
      for (int w : {1, 2, 463, 465, 1000})
        for (int h : {1, 2, 60, 464}) {
          int32_t r[4] = {x, y, w, h};
          const cv::Mat m = LayerLoadMsg(Path(1).c_str(), r, false, nullptr);
          ExpectWindow(m, r, Ramp);
          if (HasFailure()) {
            ADD_FAILURE() << "window " << x << "," << y << " " << w << "x" << h;
            return;
          }
        }
}

TEST_F(LayerLoad, OverTallWindowShrinksToTheDisk) {
  WriteSegment(9, 1, Ramp);
  int32_t w[4] = {3700, 3650, 40, 100};
  cv::Mat m = LayerLoadMsg(Path(9).c_str(), w, false, nullptr);
  EXPECT_EQ(w[0], 3700);
  EXPECT_EQ(w[1], 3650);
  EXPECT_EQ(w[2], 12);  // ends at column 3712
  EXPECT_EQ(w[3], 62);  // ends at row 3712
  ExpectWindow(m, w, Ramp);
}

TEST_F(LayerLoad, WindowsWithoutAStripPixelAreRefusedAndKept) {
  WriteSegment(9, 7, Ramp);
  WriteSegment(9, 8, Ramp);
  const int32_t bad[][4] = {{10, 928, 20, 20},  {10, 2000, 20, 20}, {3712, 10, 20, 20},
                            {10, 10, 0, 20},    {10, 10, 20, -5},   {-30, 10, 20, 20}};
  for (const auto& b : bad) {
    int32_t w[4] = {b[0], b[1], b[2], b[3]};
    LogCapture log;
    EXPECT_FALSE(LayerLoadChannel(Path(9).c_str(), 9, w, nullptr).has_value())
        << b[0] << "," << b[1] << " " << b[2] << "x" << b[3];
    EXPECT_GE(log.count(), 1u);
    EXPECT_TRUE(std::equal(w, w + 4, b));
  }
  // A width that would overflow a 32-bit sum is only shrunk.
  int32_t wide[4] = {10, 10, INT32_MAX, 20};
  EXPECT_FALSE(LayerLoadMsg(Path(9).c_str(), wide, false, nullptr).empty());
  EXPECT_EQ(wide[2], 3702);
}

TEST_F(LayerLoad, BadPathsFail) {
  LogCapture log;
  int32_t w[4] = {2710, 464, 92, 60};
  EXPECT_FALSE(LayerLoadChannel("short/name", 9, w, nullptr).has_value());
  EXPECT_TRUE(log.contains("short/name"));
  EXPECT_FALSE(LayerLoadChannel(nullptr, 9, w, nullptr).has_value());
  WriteSegment(9, 7, Ramp);
  EXPECT_FALSE(LayerLoadChannel(Path(9).c_str(), 0, w, nullptr).has_value());
  EXPECT_FALSE(LayerLoadChannel(Path(9).c_str(), 13, w, nullptr).has_value());
  EXPECT_FALSE(LayerLoadChannel(Path(9).c_str(), 9, nullptr, nullptr).has_value());
  // The HRV loader on files of a 3712-column channel: every segment fails its width test.
  log.clear();
  int32_t east = 0;
  EXPECT_TRUE(LayerLoadMsg(Path(9).c_str(), w, true, &east).empty());
  EXPECT_TRUE(log.contains("(width: NC 3712, not 5568)") || log.contains("(input"));
}

TEST_F(LayerLoad, DisplayImageIsTheGreyOfTheCounts) {
  // Counts 0, 512 and 1023 in three columns: greys 0, 128, 255 at the block centres.
  auto three = [](int, int column) -> uint16_t {
    return column == 1000 ? 0 : column == 999 ? 512 : 1023;
  };
  WriteSegment(9, 7, three);
  int32_t w[4] = {2710, 464, 5, 4};  // columns 1002 .. 998
  int32_t east = 0;
  auto images = LayerLoadChannel(Path(9).c_str(), 9, w, &east);
  ASSERT_TRUE(images.has_value());
  EXPECT_EQ(east, 0);  // only HRV touches the east column
  EXPECT_TRUE((*images)[2].empty());
  const cv::Mat& d = (*images)[1];
  ASSERT_EQ(d.size(), cv::Size(15, 12));
  ASSERT_EQ(d.type(), CV_8UC3);
  const int want[5] = {255, 255, 0, 128, 255};
  for (int ix = 0; ix < 5; ix++)
    for (int c = 0; c < 3; c++)
      EXPECT_NEAR(d.at<cv::Vec3b>(4, 3 * ix + 1)[c], want[ix], ix == 2 || ix == 3 ? 40 : 0);
  // Column 1000 (image x 2712): the bicubic centre keeps the exact grey.
  EXPECT_EQ((*images)[0].at<uint16_t>(1, 2), 0);
  EXPECT_EQ((*images)[0].at<uint16_t>(1, 3), 512);
}

struct DiskCase {
  const char* what;
  int32_t window[4];
  int first, last;  // the segments it needs
};

class LayerDiskWindow : public testing::TestWithParam<DiskCase> {
 protected:
  static void SetUpTestSuite() {
    all_ = std::make_unique<TestTempDir>();
    for (int seg = 1; seg <= SEGMENT_COUNT; seg++)
      ASSERT_TRUE(xb::WriteKnown(all_->path(), Name(9, seg), 9, seg, Ramp));
  }
  static void TearDownTestSuite() { all_.reset(); }
  static std::unique_ptr<TestTempDir> all_;
};
std::unique_ptr<TestTempDir> LayerDiskWindow::all_;

// The folder holds only the segments the window needs; in place of each other one a folder of
// that name, whose opening would warn: a load without warnings opened none of them.
TEST_P(LayerDiskWindow, ReadsOnlyItsSegmentsAndGetsTheirCounts) {
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
  ExpectWindow(m, w, Ramp);
}

// Segment s holds rows 3712 - 464 s .. 3711 - 464 (s - 1) of the north-up disk.
INSTANTIATE_TEST_SUITE_P(
    Windows, LayerDiskWindow,
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
TEST(LayerRapid, WindowsOutsideItsSegmentsAreRefused) {
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

}  // namespace

// Rows of the north-up image against the segments counted from the south: row 0 is line 3712
// (segment 8), row 3711 line 1 (segment 1); a segment boundary lies every 464 rows.
struct SegmentCase {
  int32_t window[4];
  int first, last;
};
class LayerSegmentsOf : public testing::TestWithParam<SegmentCase> {};
TEST_P(LayerSegmentsOf, Channels) {
  const SegmentCase& c = GetParam();
  const auto [first, last] = LayerSegments(c.window, false);
  EXPECT_EQ(first, c.first);
  EXPECT_EQ(last, c.last);
}
INSTANTIATE_TEST_SUITE_P(Windows, LayerSegmentsOf,  // the windows of the loads: test_layer_disk
                         testing::Values(SegmentCase{{0, 463, 10, 2}, 7, 8},     // across 7/8
                                         SegmentCase{{0, 3711, 10, 10}, 1, 1},   // clipped at the south
                                         SegmentCase{{0, 3712, 10, 10}, 0, -1},  // below the disk
                                         SegmentCase{{0, -20, 10, 10}, 0, -1}));  // above it
