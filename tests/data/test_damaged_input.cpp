// Segments as they arrive damaged: a channel load with a field cut short (uncompressed or WT)
// costs only the damaged segment's lost lines and names that segment (cut fields alone:
// test_xrit_read and test_wt_damage), and
// data files that are not regular files (a FIFO without a writer, a link to /dev/zero, a
// folder) are refused at once with a warning naming them, instead of blocking in open().
#include <fcntl.h>
#include <gtest/gtest.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "data/fileinfo.h"
#include "data/layer.h"
#include "data/prologue.h"
#include "data/satellite.h"
#include "data/suplfile.h"
#include "data/wt.h"
#include "data/xrit.h"
#include "tests/support/logcapture.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"

namespace {

std::string SegmentName(int channel, int segment) {
  return SatSegmentName(Sat{}, InfoChannelText[channel], segment, "201607041200");
}

int Columns(int channel) { return channel == 12 ? 5568 : 3712; }

// A segment of `channel` holding counts (row-major, file order), uncompressed or WT.
xb::Segment MakeSegment(int channel, int segment, const std::vector<uint16_t>& counts, bool wt) {
  xb::Segment s;
  s.channel = uint8_t(channel);
  s.segment = uint16_t(segment);
  s.annotation = SegmentName(channel, segment);
  s.nc = Columns(channel);
  if (wt) {
    s.compression = 1;
    s.representation = XRIT_REPR_WT;
    const WtImage img{10, s.nc, 464};
    EXPECT_TRUE(WtEncode(counts.data(), img, WtDefaultParams(img), &s.field));
  } else {
    s.field = xb::Pack10(counts);
  }
  return s;
}

// Writes the segment with only `keep` of its data field.
void WriteCut(const std::string& path, const xb::Segment& s, double keep) {
  xb::Bytes file = xb::File(s);
  file.resize(file.size() - s.field.size() + size_t(double(s.field.size()) * keep));
  ASSERT_TRUE(xb::Write(path, file));
}

// No xRITDecompress is found while it lives: only the native decoder speaks.
struct NoExternalDecoder {
  const std::string old = g_getenv("PATH") ? g_getenv("PATH") : "";
  explicit NoExternalDecoder(const std::string& dir) { g_setenv("PATH", dir.c_str(), TRUE); }
  ~NoExternalDecoder() { g_setenv("PATH", old.c_str(), TRUE); }
};

// The number n of a warning "...(short: n of 464 lines)"; -1 when it is not one.
int ShortLines(const std::string& message) {
  const size_t at = message.find("(short: ");
  int n = -1;
  if (at == std::string::npos || std::sscanf(message.c_str() + at, "(short: %d of 464 lines)", &n) != 1)
    return -1;
  return n;
}

// ---- A channel load with one damaged segment -------------------------------------------

using xb::Ramp;

// VIS006 segment 8 cut to half its length: the window across both segments keeps segment 7
// and the southern half of segment 8, the rest of segment 8 is 0, and the load names segment 8.
class DamagedSegment : public ::testing::TestWithParam<bool> {};

TEST_P(DamagedSegment, CostsOnlyItsLostLinesAndIsNamed) {
  TestTempDir dir;
  for (int segment : {7, 8}) {
    std::vector<uint16_t> counts(size_t(3712) * 464);
    for (int r = 0; r < 464; r++)
      for (int p = 0; p < 3712; p++) counts[size_t(r) * 3712 + p] = Ramp(464 * (segment - 1) + r + 1, p + 1);
    WriteCut(dir.file(SegmentName(1, segment)), MakeSegment(1, segment, counts, GetParam()),
             segment == 8 ? 0.5 : 1.0);
  }
  NoExternalDecoder no_external(dir.path());
  const std::string ref = dir.file(SegmentName(1, 7));
  int32_t w[4] = {1500, 100, 200, 500};  // north-up rows 100..599: segment 8, then 7
  std::string damaged;
  LogCapture log;
  auto images = LayerLoadChannel(ref.c_str(), 1, w, nullptr, nullptr, &damaged);
  ASSERT_TRUE(images.has_value());
  const std::vector<std::string> m = log.messages();
  ASSERT_EQ(m.size(), 1u);
  const int lines = ShortLines(m[0]);
  EXPECT_EQ(m[0].rfind(dir.file(SegmentName(1, 8)) + "(short: ", 0), 0u) << m[0];
  EXPECT_EQ(damaged, SegmentName(1, 8) + "(short: " + std::to_string(lines) + " of 464 lines)");
  if (!GetParam()) {
    EXPECT_EQ(lines, 232);
  }
  ASSERT_GT(lines, 100);
  const cv::Mat& c = (*images)[0];
  ASSERT_EQ(c.rows, 500);
  // Rows of segment 8's lines read and of segment 7 are the file's; the others are 0 or the
  // file's, and those a whole block row (16 lines) past the last line read are all 0.
  size_t wrong = 0, zero_rows = 0, lost_rows = 0;
  for (int iy = 0; iy < c.rows; iy++) {
    const int line = 3712 - (w[1] + iy);  // disk line, 1-based from the south
    const int raw = line - 1 - 464 * 7;   // line of segment 8, when >= 0
    bool row_zero = true;
    for (int ix = 0; ix < c.cols; ix++) {
      const uint16_t v = c.at<uint16_t>(iy, ix), want = Ramp(line, 3712 - (w[0] + ix));
      row_zero = row_zero && v == 0;
      if (raw < lines) wrong += v != want;
      else wrong += v != 0 && v != want;
    }
    zero_rows += row_zero && raw >= lines + (GetParam() ? 16 : 0);
    lost_rows += raw >= lines + (GetParam() ? 16 : 0);
  }
  EXPECT_EQ(wrong, 0u);
  EXPECT_GT(lost_rows, 50u);
  EXPECT_EQ(zero_rows, lost_rows);
}

INSTANTIATE_TEST_SUITE_P(PlainAndWt, DamagedSegment, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "wt" : "plain"; });

// ---- Files that are not regular files --------------------------------------------------

enum class Kind { fifo, dev_zero, folder };

// Runs f on another thread and waits a while. A reader that blocks on a FIFO fails the test
// instead of hanging it: the FIFO gets a writer end opened and closed, which lets the blocked
// open() return and the read see the end.
bool ReturnsPromptly(const std::function<void()>& f, const std::string& fifo) {
  auto done = std::async(std::launch::async, f);
  if (done.wait_for(std::chrono::seconds(20)) == std::future_status::ready) return true;
  const int fd = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  if (fd >= 0) close(fd);
  done.wait();
  return false;
}

class SpecialFile : public ::testing::TestWithParam<Kind> {
 protected:
  TestTempDir dir;
};

// A segment and a prologue made special: every reader (each opens files its own way) returns
// at once, and all but the longitude's (which falls back quietly) warn once naming the file.
TEST_P(SpecialFile, EveryReaderRefusesItWithoutBlocking) {
  const std::string seg = dir.file(SegmentName(9, 7));
  const std::string pro = dir.file(SatPrologueName(Sat{}, "201607041200"));
  for (const std::string& path : {seg, pro}) {
    const bool made = GetParam() == Kind::fifo       ? mkfifo(path.c_str(), 0600) == 0
                      : GetParam() == Kind::dev_zero ? symlink("/dev/zero", path.c_str()) == 0
                                                     : g_mkdir(path.c_str(), 0700) == 0;
    if (!made) GTEST_SKIP() << "cannot make the special file";
  }
  const std::string refused = "(input: not a regular file)";
  struct Reader {
    const char* what;
    const std::string& file;
    std::function<void()> run;
    int warnings;
  };
  const Reader readers[] = {
      {"segment_read", seg, [&] { EXPECT_TRUE(XritSegmentRead(seg.c_str()).empty()); }, 1},
      {"prologue_window", pro,
       [&] {
         int32_t out[4] = {-1, -1, -1, -1};
         EXPECT_FALSE(LayerPrologueWindow(dir.file(SegmentName(12, 19)).c_str(), out));
         EXPECT_EQ(out[2], -1);
       },
       1},
      {"longitude", seg, [&] { EXPECT_EQ(SatFileLongitude(seg.c_str(), 7.5), 7.5); }, 0},
  };
  for (const Reader& r : readers) {
    LogCapture log;
    ASSERT_TRUE(ReturnsPromptly(r.run, r.file)) << r.what << " blocked";
    // One warning names the file (a failed channel load adds its own about the layer).
    const std::vector<std::string> m = log.messages();
    EXPECT_EQ(std::count(m.begin(), m.end(), r.file + refused), r.warnings) << r.what;
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, SpecialFile, ::testing::Values(Kind::fifo, Kind::dev_zero, Kind::folder),
                         [](const ::testing::TestParamInfo<Kind>& i) {
                           return i.param == Kind::fifo ? "fifo" : i.param == Kind::dev_zero ? "dev_zero" : "folder";
                         });

// The whole-file reader: regular files up to the bound as they are; beyond it, special files
// and missing ones refused with the reason. A segment past the bound is refused unread.
TEST(SuplFileRead, BoundAndKinds) {
  TestTempDir dir;
  const std::string small = dir.file("small");
  ASSERT_TRUE(xb::Write(small, xb::Bytes{1, 2, 3}));
  std::vector<uint8_t> got;
  std::string err;
  ASSERT_TRUE(SuplFileRead(small.c_str(), 3, &got, &err)) << err;
  EXPECT_EQ(got, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_FALSE(SuplFileRead(small.c_str(), 2, &got, &err));
  EXPECT_EQ(err, "larger than 2 bytes");
  // A sparse file one byte past the bound of xRIT files costs nothing to make or to refuse.
  const std::string big = dir.file(SegmentName(9, 7));
  {
    const int fd = open(big.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, off_t(SUPL_XRIT_MAX_FILE) + 1), 0);
    close(fd);
  }
  const std::string larger = "larger than " + std::to_string(SUPL_XRIT_MAX_FILE) + " bytes";
  EXPECT_FALSE(SuplFileRead(big.c_str(), SUPL_XRIT_MAX_FILE, &got, &err));
  EXPECT_EQ(err, larger);
  {
    LogCapture log;
    EXPECT_TRUE(XritSegmentRead(big.c_str()).empty());
    EXPECT_EQ(log.messages(), std::vector<std::string>{big + "(input: " + larger + ")"});
  }
  EXPECT_FALSE(SuplFileRead(dir.file("missing").c_str(), 10, &got, &err));
  EXPECT_FALSE(err.empty());
  EXPECT_FALSE(SuplFileRead(nullptr, 10, &got, &err));
  const std::string fifo = dir.file("fifo");
  if (mkfifo(fifo.c_str(), 0600) == 0) {
    EXPECT_TRUE(ReturnsPromptly([&] { EXPECT_FALSE(SuplFileRead(fifo.c_str(), 10, nullptr, &err)); }, fifo));
    EXPECT_EQ(err, "not a regular file");
  }
  // The opener hands a blocking descriptor back: reads of a regular file wait for the data.
  off_t size = 0;
  SuplFd fd = SuplFileOpen(small.c_str(), 0, &size, &err);
  ASSERT_TRUE(fd);
  EXPECT_EQ(size, 3);
  EXPECT_EQ(fcntl(fd.get(), F_GETFL) & O_NONBLOCK, 0);
  EXPECT_NE(fcntl(fd.get(), F_GETFD) & FD_CLOEXEC, 0);
}

}  // namespace
