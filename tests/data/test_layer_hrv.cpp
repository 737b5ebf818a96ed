// HRV loading: placement of the upper window by its east column, resampling through the
// projection, registration with the 3712-grid channels.
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <functional>
#include <string>

#include "data/geo.h"
#include "data/layer.h"
#include "tests/support/logcapture.h"
#include "tests/support/matcompare.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"

namespace {

using matcompare::Centroid;

const char* const IR_SEG7 = "H-000-MSG3__-MSG3________-IR_108___-000007___-201607041200-C_";
const char* const PROLOGUE = "H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__";

std::string HrvName(int segment) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "H-000-MSG3__-MSG3________-HRV______-0000%02d___-201607041200-C_",
                segment);
  return buf;
}

using xb::CountAt;  // on the HRV grid here

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
      ASSERT_TRUE(xb::WriteKnown(dir.path(), HrvName(seg), 12, seg, f, [east](int) { return east; }));
  }
  void WriteIr(const CountAt& f) {
    for (int seg = 7; seg <= 8; seg++) {
      std::string name = IR_SEG7;
      name[41] = char('0' + seg);
      ASSERT_TRUE(xb::WriteKnown(dir.path(), name, 9, seg, f));
    }
  }
  void WritePrologue(int east) {
    xb::Prologue p;
    p.hrv[6] = east;
    ASSERT_TRUE(xb::Write(dir.file(PROLOGUE), xb::PrologueFile(p)));
  }
  std::string HrvPath() { return dir.file(HrvName(19)); }
  std::string IrPath() { return dir.file(IR_SEG7); }
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

TEST_F(Hrv, DefaultWindowWithPrologue) {
  WriteHrv(2000, Slopes);
  WritePrologue(2000);
  int32_t w[4] = {2710, 464, 92, 60};
  int32_t east = 1947;
  LogCapture log;
  auto images = LayerLoadChannel(HrvPath().c_str(), 12, w, &east);
  ASSERT_TRUE(images.has_value());
  EXPECT_EQ(log.count(), 0u) << log.messages()[0];
  EXPECT_EQ(east, 2000);  // the prologue's value replaces the configured one
  EXPECT_EQ((*images)[0].size(), cv::Size(276, 180));
  EXPECT_EQ((*images)[1].size(), cv::Size(276, 180));
  EXPECT_EQ((*images)[1].type(), CV_8UC3);
  ExpectClose((*images)[0], Reference(Slopes, 2000, w));
  // The widened crop leaves no black edge: every output pixel lies on data.
  EXPECT_EQ(cv::countNonZero((*images)[0]), 180 * 276);
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

// The HRV grid is the output grid at three times the scale, so the maps of real windows are
// separable but for a handful of pixels where the projections' rounding tips a position over.
// (Those pixels are still exact; this guards the fast path, which a wrong derivation would lose.)
TEST_F(Hrv, TheMapsOfRealWindowsAreSeparable) {
  WriteHrv(2000, Slopes);
  WritePrologue(2000);
  for (const std::array<int32_t, 4> win : {std::array<int32_t, 4>{2710, 464, 92, 60},
                                           std::array<int32_t, 4>{1300, 200, 1000, 600}}) {
    int32_t w[4] = {win[0], win[1], win[2], win[3]};
    int32_t east = 0;
    LayerHrvMaps maps;
    ASSERT_FALSE(LayerLoadMsg(HrvPath().c_str(), w, true, &east, &maps).empty());
    const double pixels = double(maps.sep.rows) * maps.sep.cols;
    EXPECT_LT(double(maps.sep.others.size()), pixels / 100)
        << w[2] << "x" << w[3] << ": " << maps.sep.others.size() << " pixels apart";
    std::printf("window %dx%d: %zu of %.0f pixels apart from the separable form\n", w[2], w[3],
                maps.sep.others.size(), pixels);
  }
}

TEST_F(Hrv, WindowAcrossTheWestEdgeOfTheUpperWindow) {
  // With east column 1947 the upper window ends at HRV column 7514, about image x 1207. The
  // window 1180.. straddles that edge: its western part has no data and is 0, the rest is
  // placed as usual.
  WriteHrv(1947, Slopes);
  int32_t w[4] = {1180, 464, 60, 40};
  int32_t east = 1947;
  cv::Mat m = LayerLoadMsg(HrvPath().c_str(), w, true, &east);
  ASSERT_FALSE(m.empty());
  ExpectClose(m, Reference(Slopes, 1947, w));
  EXPECT_EQ(m.at<uint16_t>(60, 3), 0);
  EXPECT_NE(m.at<uint16_t>(60, 3 * 59), 0);
}

TEST_F(Hrv, WindowWestOfTheUpperWindowIsRefused) {
  // 1000, 464, 92, 60 lies wholly west of the data (HRV columns ~7860..8135): the strip
  // window starts at a negative column and does not meet the strip.
  WriteHrv(1947, Slopes);
  int32_t w[4] = {1000, 464, 92, 60};
  int32_t east = 1947;
  LogCapture log;
  EXPECT_TRUE(LayerLoadMsg(HrvPath().c_str(), w, true, &east).empty());
  EXPECT_TRUE(log.contains("outside the HRV windows"));
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

// Across the top of the disk the window's border is in space but for a piece of its bottom
// edge; the crop must still hold the Earth's cap above that edge.
TEST_F(Hrv, WindowAcrossTheTopOfTheDiskKeepsTheCap) {
  WriteHrv(1947, Slopes);
  int32_t w[4] = {1300, 0, 1200, 60};
  int32_t east = 1947;
  cv::Mat m = LayerLoadMsg(HrvPath().c_str(), w, true, &east);
  ASSERT_EQ(m.size(), cv::Size(3600, 180));
  const cv::Mat want = Reference(Slopes, 1947, w);
  ASSERT_GT(cv::countNonZero(want.rowRange(0, 170)), 5000);  // the cap lies above the edge
  ExpectClose(m, want);
}

TEST_F(Hrv, WindowOffTheEarthIsRefused) {
  WriteHrv(1947, Slopes);
  int32_t w[4] = {0, 0, 10, 10};
  int32_t east = 1947;
  LogCapture log;
  EXPECT_FALSE(LayerLoadChannel(HrvPath().c_str(), 12, w, &east).has_value());
  EXPECT_TRUE(log.contains("outside the HRV windows"));
}

TEST_F(Hrv, FeatureLandsOnTheSameDisplayPixelAsInIr108) {
  // Two features, each at the centre of a 3712-grid pixel; the same places in the HRV grid
  // come from the projection. Both drawn as single bright pixels on a flat background.
  const int32_t w[4] = {2710, 464, 92, 60};
  const int features[2][2] = {{1000, 3200}, {960, 3230}};  // column, line in the 3712 grid
  struct Spot {
    int c, l, ch, lh;
  };
  std::vector<Spot> spots;
  for (const auto& f : features) {
    double lat, lon, ch, lh;
    ASSERT_EQ(GeoPixelToLatLon(f[0], f[1], &lat, &lon), 0);
    ASSERT_EQ(GeoLatLonToPixel(lat, lon, &ch, &lh, 1), 0);
    // The two grids nearly nest: the HRV position is within a hundredth of a whole pixel.
    EXPECT_NEAR(ch, std::round(ch), 0.01);
    EXPECT_NEAR(lh, std::round(lh), 0.01);
    spots.push_back({f[0], f[1], int(std::lround(ch)), int(std::lround(lh))});
  }
  auto ir = [&](int line, int column) -> uint16_t {
    for (const Spot& s : spots)
      if (s.c == column && s.l == line) return 900;
    return 200;
  };
  auto hrv = [&](int line, int column) -> uint16_t {
    for (const Spot& s : spots)
      if (s.ch == column && s.lh == line) return 900;
    return 200;
  };
  WriteIr(ir);
  WriteHrv(2100, hrv);
  const int background = 50;  // round(200 * 255 / 1024)
  for (bool prologue : {true, false}) {
    // With the prologue its east column places the data; without it the configured one must.
    if (prologue) {
      WritePrologue(2100);
    } else {
      ASSERT_EQ(g_remove(dir.file(PROLOGUE).c_str()), 0);
    }
    int32_t wi[4] = {w[0], w[1], w[2], w[3]}, wh[4] = {w[0], w[1], w[2], w[3]};
    int32_t east = prologue ? 1947 : 2100;
    auto a = LayerLoadChannel(IrPath().c_str(), 9, wi, &east);
    auto b = LayerLoadChannel(HrvPath().c_str(), 12, wh, &east);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(east, 2100);
    for (const Spot& s : spots) {
      // Display pixel of the 3712-grid pixel's centre: image x = 3712 - column, three
      // display pixels per window pixel, the middle one at the centre.
      const int dx = 3 * (3712 - s.c - w[0]) + 1, dy = 3 * (3712 - s.l - w[1]) + 1;
      cv::Point2d pi = Centroid((*a)[1], dx, dy, background);
      cv::Point2d ph = Centroid((*b)[1], dx, dy, background);
      EXPECT_NEAR(pi.x, dx, 1.0 / 3) << "IR column " << s.c;
      EXPECT_NEAR(pi.y, dy, 1.0 / 3) << "IR line " << s.l;
      EXPECT_NEAR(ph.x, pi.x, 1.0 / 3) << "HRV column " << s.ch << " prologue " << prologue;
      EXPECT_NEAR(ph.y, pi.y, 1.0 / 3) << "HRV line " << s.lh << " prologue " << prologue;
    }
  }
}

TEST(LayerHrvWindow, BoxOfTheProjectedBorder) {
  // The border of the default window runs over 3712-grid columns 1002..910 and lines
  // 3248..3188, so about HRV columns 2728..3004 and lines 9562..9742 (three HRV pixels per
  // grid pixel, offset 2).
  const int32_t w[4] = {2710, 464, 92, 60};
  std::array<int32_t, 4> b = LayerHrvWindow(w);
  EXPECT_NEAR(b[0], 3 * 910 - 2, 2);
  EXPECT_NEAR(b[1], 3 * 3188 - 2, 2);
  EXPECT_NEAR(b[0] + b[2], 3 * 1002 - 2, 2);
  EXPECT_NEAR(b[1] + b[3], 3 * 3248 - 2, 2);
  // Off the Earth nothing projects: a one-pixel box at the far corner.
  const int32_t off[4] = {0, 0, 10, 10};
  std::array<int32_t, 4> o = LayerHrvWindow(off);
  EXPECT_EQ(o[0], 11136);
  EXPECT_EQ(o[2], 1);
  EXPECT_EQ(o[3], 1);
}

}  // namespace
