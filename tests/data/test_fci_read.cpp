// Loading an FCI channel for a view window from chunk files whose counts are known: the right
// pixels in the right places, only the chunks the window needs, and bad chunks losing only
// their own rows with one warning.
#include <glib/gstdio.h>
#include <netcdf.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>

#include "tests/data/test_fci_util.h"
#include "tests/support/logcapture.h"
#include "tests/support/tempdir.h"

namespace {

using fcitest::Pattern;
using fcitest::SLOT;

// The product's formulas, written out independently of the reader, on the coefficients as the
// file stores them (float).
double Expected(int channel, uint16_t count, double sun_km) {
  const SynthFciCal& c = SynthFciCals[channel];
  const double L = count * c.scale + c.offset;
  if (FciChannels[channel].solar) {
    const double d = sun_km / 149597870.7;
    return M_PI * L * d * d / double(float(c.irradiance));
  }
  const double vc = float(c.wavenumber), a = float(c.a), b = float(c.b);
  const double c1 = float(SYNTH_FCI_C1), c2 = float(SYNTH_FCI_C2);
  return c2 * vc / (a * std::log(1.0 + c1 * vc * vc * vc / L)) - b / a;
}

// Every pixel of the image against the pattern: top_row is the grid row of image row 0.
void ExpectPattern(const FciImage& img, int channel, int top_row, int col0, int skip_from = 1 << 30,
                   int skip_to = -1) {
  for (int r = 0; r < img.counts.rows; r++) {
    const int row = top_row - r;
    for (int c = 0; c < img.counts.cols; c++) {
      const uint16_t got = img.counts.at<uint16_t>(r, c);
      const float v = img.values.at<float>(r, c);
      if (row >= skip_from && row <= skip_to) {
        ASSERT_EQ(got, FCI_NO_COUNT) << "row " << row;
        ASSERT_TRUE(std::isnan(v)) << "row " << row;
        continue;
      }
      const uint16_t want = Pattern(channel, row, col0 + c);
      ASSERT_EQ(got, want) << "row " << row << " column " << col0 + c;
      ASSERT_NEAR(v, Expected(channel, want, 149597870.7), 2e-4 * std::fabs(v)) << "row " << row;
    }
  }
}

struct Case {
  const char* channel;
  bool jls;
};

class FciWindowTest : public ::testing::TestWithParam<Case> {};

// A window inside chunk 20 on both grids: one file opened, every pixel where it belongs.
TEST_P(FciWindowTest, KnownCountsComeOutAtTheirPixels) {
  const int ch = FciChannelIndex(GetParam().channel);
  TestTempDir dir;
  LogCapture log;
  fcitest::WriteChunk(dir.path(), 20, {ch}, GetParam().jls);
  int32_t win[4] = {1000, 2800, 16, 10};
  auto img = FciLoadWindow(dir.path().c_str(), SLOT, ch, win);
  ASSERT_TRUE(img);
  const int f = FciChannels[ch].grid / FCI_GRID_2KM;
  EXPECT_EQ(img->scale, f);
  EXPECT_EQ(img->counts.size(), cv::Size(16 * f, 10 * f));
  EXPECT_EQ(img->opened.size(), 1u);
  EXPECT_EQ(img->quantity, FciChannels[ch].solar ? FciQuantity::Reflectance : FciQuantity::BrightnessTemperature);
  ExpectPattern(*img, ch, FciChannels[ch].grid - 2800 * f, 1000 * f);
  EXPECT_EQ(log.count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Channels, FciWindowTest,
                         ::testing::Values(Case{"ir_105", false}, Case{"ir_105", true}, Case{"vis_06", false},
                                           Case{"vis_06", true}, Case{"ir_38", true}, Case{"nir_22", false}),
                         [](const auto& i) { return std::string(i.param.channel) + (i.param.jls ? "_jls" : ""); });

// The window straddles the boundary of chunks 20 and 21 on both grids. Every other chunk of the
// cycle is there but unreadable, so opening any of them would warn.
TEST(FciChunks, WindowAcrossABoundaryOpensExactlyItsTwoChunks) {
  TestTempDir dir;
  const int ir = FciChannelIndex("ir_105"), vis = FciChannelIndex("vis_06");
  std::vector<std::string> paths(FCI_CHUNKS + 1);
  for (int k = 1; k <= FCI_CHUNKS; k++) {
    if (k == 20 || k == 21) {
      paths[k] = fcitest::WriteChunk(dir.path(), k, {vis, ir}, true);
    } else {
      paths[k] = dir.file(fcitest::ChunkName(k, true));
      std::ofstream(paths[k]) << "not a chunk";
    }
  }
  for (int ch : {ir, vis}) {
    LogCapture log;
    int32_t win[4] = {2000, 2778, 12, 10};  // 2 km rows 2781..2790, 1 km rows 5561..5580
    auto img = FciLoadWindow(dir.path().c_str(), SLOT, ch, win);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->opened, (std::vector<std::string>{paths[20], paths[21]}));
    const int f = FciChannels[ch].grid / FCI_GRID_2KM;
    ExpectPattern(*img, ch, FciChannels[ch].grid - 2778 * f, 2000 * f);
    EXPECT_EQ(log.count(), 0u) << (log.count() ? log.messages()[0] : "");
  }
}

// The chunks a window needs on either grid, and a cycle being complete for it once they and the
// trailer are there.
TEST(FciChunks, ChunksForAWindowAndCompleteCycles) {
  const int32_t inside[4] = {1000, 2800, 16, 10}, across[4] = {2000, 2778, 12, 10}, none[4] = {0, 0, 0, 0};
  const int32_t north[4] = {0, 0, 5568, 1};
  EXPECT_EQ(FciChunksForWindow(inside), std::vector<int>{20});
  EXPECT_EQ(FciChunksForWindow(across), (std::vector<int>{20, 21}));
  EXPECT_EQ(FciChunksForWindow(north), std::vector<int>{40});
  EXPECT_EQ(FciChunksForWindow(none).size(), size_t(FCI_CHUNKS));
  FciCycle c;
  c.body.resize(FCI_CHUNKS);
  c.body[19] = "20";
  EXPECT_FALSE(FciCycleComplete(c, inside));  // no trailer yet
  c.trail = "trail";
  EXPECT_TRUE(FciCycleComplete(c, inside));
  EXPECT_FALSE(FciCycleComplete(c, across));
  c.body[20] = "21";
  EXPECT_TRUE(FciCycleComplete(c, across));
  EXPECT_FALSE(FciCycleComplete(c, none));
}

// A chunk not yet received leaves its rows empty without a warning; with no chunk at all there
// is no image.
TEST(FciChunks, MissingChunkLeavesItsRowsEmpty) {
  TestTempDir dir;
  const int ir = FciChannelIndex("ir_105");
  fcitest::WriteChunk(dir.path(), 20, {ir}, false);
  LogCapture log;
  int32_t win[4] = {2000, 2778, 12, 10};
  auto img = FciLoadWindow(dir.path().c_str(), SLOT, ir, win);
  ASSERT_TRUE(img);
  ExpectPattern(*img, ir, FCI_GRID_2KM - 2778, 2000, 2785, 2923);
  EXPECT_EQ(log.count(), 0u);
  int32_t far[4] = {2000, 100, 12, 10};
  EXPECT_FALSE(FciLoadWindow(dir.path().c_str(), SLOT, ir, far));
  EXPECT_EQ(log.count(), 1u);
}

enum class Damage { Truncate, FrameHeader, Fifo, Empty };

class FciDamageTest : public ::testing::TestWithParam<Damage> {};

// Chunk 21 is spoilt; chunk 20's rows stay right, 21's are empty, one warning names the file.
TEST_P(FciDamageTest, LosesOnlyItsRowsWithOneWarning) {
  TestTempDir dir;
  const int ir = FciChannelIndex("ir_105");
  fcitest::WriteChunk(dir.path(), 20, {ir}, true);
  std::string bad = dir.file(fcitest::ChunkName(21, true));
  if (GetParam() == Damage::Fifo) {
    ASSERT_EQ(mkfifo(bad.c_str(), 0600), 0);
  } else if (GetParam() == Damage::Empty) {
    std::ofstream(bad).flush();
  } else {
    bad = fcitest::WriteChunk(dir.path(), 21, {ir}, true);
    std::string bytes;
    {
      std::ifstream in(bad, std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    if (GetParam() == Damage::Truncate) {
      bytes.resize(bytes.size() / 2);
    } else {
      // Every JPEG-LS frame header (SOF55: FF F7, length, precision, lines) claims other lines.
      size_t frames = 0;
      for (size_t sof = bytes.find("\xFF\xF7"); sof != std::string::npos; sof = bytes.find("\xFF\xF7", sof + 2)) {
        bytes[sof + 5] = char(bytes[sof + 5] ^ 0x01);
        frames++;
      }
      ASSERT_GE(frames, 3u);  // counts, pixel quality, index map
    }
    std::ofstream(bad, std::ios::binary | std::ios::trunc) << bytes;
  }
  LogCapture log;
  int32_t win[4] = {2000, 2778, 12, 10};
  auto img = FciLoadWindow(dir.path().c_str(), SLOT, ir, win);
  ASSERT_TRUE(img);
  ExpectPattern(*img, ir, FCI_GRID_2KM - 2778, 2000, 2785, 2923);
  ASSERT_EQ(log.count(), 1u);
  EXPECT_TRUE(log.contains(bad)) << log.messages()[0];
}

INSTANTIATE_TEST_SUITE_P(Kinds, FciDamageTest,
                         ::testing::Values(Damage::Truncate, Damage::FrameHeader, Damage::Fifo, Damage::Empty));

// Chunks holding three rows fewer at the top than the nominal fortieth: the window's top rows
// come from the next chunk, which is opened for them.
TEST(FciChunks, RowsBeyondTheNominalSplitComeFromTheNeighbour) {
  TestTempDir dir;
  const int ir = FciChannelIndex("ir_105");
  std::vector<std::string> paths;
  for (int k : {20, 21, 22}) paths.push_back(fcitest::WriteChunk(dir.path(), k, {ir}, k != 21, Pattern, -3));
  LogCapture log;
  int32_t win[4] = {3000, 5568 - 2783, 6, 14};  // rows 2770..2783, nominally all in chunk 20
  auto img = FciLoadWindow(dir.path().c_str(), SLOT, ir, win);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->opened, (std::vector<std::string>{paths[0], paths[1]}));
  ExpectPattern(*img, ir, 2783, 3000);
  EXPECT_EQ(log.count(), 0u);
}

// A chunk whose x runs from the east would put every pixel mirrored: it is refused instead.
TEST(FciChunks, GridRunningTheOtherWayIsRefused) {
  TestTempDir dir;
  const int ir = FciChannelIndex("ir_105");
  const std::string path = fcitest::WriteChunk(dir.path(), 20, {ir}, false);
  int nc, grp, var;
  ASSERT_EQ(nc_open(path.c_str(), NC_WRITE, &nc), NC_NOERR);
  ASSERT_EQ(nc_inq_grp_full_ncid(nc, "/data/ir_105/measured", &grp), NC_NOERR);
  ASSERT_EQ(nc_inq_varid(grp, "x", &var), NC_NOERR);
  const double east_first = 5.58871526031607e-05;
  ASSERT_EQ(nc_put_att_double(grp, var, "scale_factor", NC_DOUBLE, 1, &east_first), NC_NOERR);
  ASSERT_EQ(nc_close(nc), NC_NOERR);
  LogCapture log;
  int32_t win[4] = {1000, 2800, 4, 4};
  auto img = FciLoadWindow(dir.path().c_str(), SLOT, ir, win);
  ASSERT_TRUE(img);
  EXPECT_EQ(cv::countNonZero(img->counts != FCI_NO_COUNT), 0);
  EXPECT_EQ(log.count(), 1u);
  EXPECT_TRUE(log.contains("another direction"));
}

// A chunk disseminated twice: the later file is read.
TEST(FciChunks, LatestOfARedisseminatedChunkIsRead) {
  TestTempDir dir;
  const int ir = FciChannelIndex("ir_105");
  fcitest::WriteChunk(dir.path(), 20, {ir}, false, [](int, int, int) { return uint16_t(7); });
  const std::string later =
      fcitest::WriteChunk(dir.path(), 20, {ir}, false, [](int, int, int) { return uint16_t(9); }, 0, 60);
  int32_t win[4] = {0, 2800, 4, 4};
  auto img = FciLoadWindow(dir.path().c_str(), SLOT, ir, win);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->opened, std::vector<std::string>{later});
  EXPECT_EQ(img->counts.at<uint16_t>(0, 0), 9);
}

// Windows reaching over the grid's edge are shrunk to it; refused ones stay as they were.
TEST(FciWindow, ShrinksToTheGridAndRefusesOutside) {
  TestTempDir dir;
  const int ir = FciChannelIndex("ir_105");
  fcitest::WriteChunk(dir.path(), 1, {ir}, true);
  LogCapture log;
  int32_t win[4] = {5560, 5560, 20, 20};
  auto img = FciLoadWindow(dir.path().c_str(), SLOT, ir, win);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->counts.size(), cv::Size(8, 8));
  EXPECT_EQ(win[2], 8);
  EXPECT_EQ(win[3], 8);
  ExpectPattern(*img, ir, 8, 5560);
  for (auto w : {std::array<int32_t, 4>{5568, 0, 10, 10}, {0, 0, 0, 10}, {-20, 0, 10, 10}}) {
    int32_t copy[4] = {w[0], w[1], w[2], w[3]};
    EXPECT_FALSE(FciLoadWindow(dir.path().c_str(), SLOT, ir, copy));
    EXPECT_EQ(copy[0], w[0]);
    EXPECT_EQ(copy[2], w[2]);
  }
  EXPECT_FALSE(FciLoadWindow(dir.path().c_str(), "202501011205", ir, win));  // off the 10-minute step
  EXPECT_FALSE(FciLoadWindow(dir.path().c_str(), SLOT, -1, win));
}

}  // namespace
