// Segments as they arrive damaged: fields cut short keep the lines they hold (uncompressed and
// WT), headers whose NB, NC or NL the channel does not allow are refused with the field named,
// and a channel load costs only the damaged segment's lost lines and names that segment.
#include <gtest/gtest.h>
#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "data/layer.h"
#include "data/supl.h"
#include "data/wt.h"
#include "data/xrit.h"
#include "tests/support/logcapture.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"

namespace {

const char* const CHANNEL_FIELD[13] = {"",          "VIS006___", "VIS008___", "IR_016___", "IR_039___",
                                       "WV_062___", "WV_073___", "IR_087___", "IR_097___", "IR_108___",
                                       "IR_120___", "IR_134___", "HRV______"};

std::string SegmentName(int channel, int segment) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "H-000-MSG3__-MSG3________-%s-0000%02d___-201607041200-C_",
                CHANNEL_FIELD[channel], segment);
  return buf;
}

int Columns(int channel) { return channel == 12 ? 5568 : 3712; }

// A segment of `channel` holding counts (nc x nl, row-major, file order), uncompressed or WT;
// nb, nc and nl are what its image structure says.
xb::Segment MakeSegment(int channel, int segment, const std::vector<uint16_t>& counts, bool wt,
                        int nb, int nc, int nl) {
  xb::Segment s;
  s.channel = uint8_t(channel);
  s.segment = uint16_t(segment);
  s.annotation = SegmentName(channel, segment);
  s.nb = nb;
  s.nc = nc;
  s.nl = nl;
  if (wt) {
    s.compression = 1;
    s.representation = XRIT_REPR_WT;
    const WtImage img{nb, nc, nl};
    EXPECT_TRUE(WtEncode(counts.data(), img, WtDefaultParams(img), &s.field));
  } else {
    s.field = xb::Pack10(counts);
  }
  return s;
}

// No xRITDecompress is found while it lives: only the native decoder speaks.
class NoExternalDecoder {
 public:
  explicit NoExternalDecoder(const std::string& dir) {
    const char* p = g_getenv("PATH");
    old_ = p ? p : "";
    g_setenv("PATH", dir.c_str(), TRUE);
  }
  ~NoExternalDecoder() { g_setenv("PATH", old_.c_str(), TRUE); }

 private:
  std::string old_;
};

// The number n of a warning "...(short: n of 464 lines)"; -1 when it is not one.
int ShortLines(const std::string& message) {
  const size_t at = message.find("(short: ");
  if (at == std::string::npos) return -1;
  int n = -1;
  if (std::sscanf(message.c_str() + at, "(short: %d of 464 lines)", &n) != 1) return -1;
  return n;
}

// ---- A data field cut short ------------------------------------------------------------

struct Cut {
  const char* what;
  int channel;
  bool wt;
  double keep;  // fraction of the data field left in the file
};

class CutField : public ::testing::TestWithParam<Cut> {
 protected:
  TestTempDir dir;
};

TEST_P(CutField, KeepsTheLinesThatArrived) {
  const Cut c = GetParam();
  const int nc = Columns(c.channel);
  const std::vector<uint16_t> counts = xb::Pattern(nc, 464, unsigned(c.channel));
  const xb::Segment s = MakeSegment(c.channel, 8, counts, c.wt, 10, nc, 464);
  xb::Bytes file = xb::File(s);
  const size_t header = file.size() - s.field.size();
  file.resize(header + size_t(double(s.field.size()) * c.keep));
  const std::string path = dir.file(SegmentName(c.channel, 8));
  ASSERT_TRUE(xb::Write(path, file));

  NoExternalDecoder no_external(dir.path());
  LogCapture log;
  const SuplBytes out = XritSegmentRead(path.c_str());
  const std::vector<std::string> m = log.messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].rfind(path + "(short: ", 0), 0u) << m[0];
  const int lines = ShortLines(m[0]);
  const size_t line_bytes = size_t(nc) * 10 / 8;
  if (!c.wt) {
    // Every whole line that is in the file.
    EXPECT_EQ(lines, int((file.size() - header) / line_bytes));
  }
  ASSERT_GT(lines, 0) << m[0];
  ASSERT_LT(lines, 464);
  ASSERT_EQ(out.size(), size_t(nc) * 580);
  std::vector<uint16_t> got(size_t(nc) * 464);
  SuplUnpack10Bit(out.data(), got.data(), nc);
  // The lines read are the file's; after them every pixel is the file's or 0, and the lines
  // of the lost end are 0.
  size_t wrong = 0, kept_after = 0;
  for (size_t i = 0; i < got.size(); i++) {
    if (i < size_t(lines) * nc) wrong += got[i] != counts[i];
    else {
      wrong += got[i] != 0 && got[i] != counts[i];
      kept_after += got[i] != 0;
    }
  }
  EXPECT_EQ(wrong, 0u);
  if (!c.wt) {
    EXPECT_EQ(kept_after, 0u);
  }
  EXPECT_TRUE(std::all_of(got.end() - nc, got.end(), [](uint16_t v) { return v == 0; }));
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, CutField,
    ::testing::Values(Cut{"ir_one_line", 9, false, 1.2 / 464}, Cut{"ir_tenth", 9, false, 0.1},
                      Cut{"vis_half", 1, false, 0.5}, Cut{"ir_last_line_short", 9, false, 0.999},
                      Cut{"hrv_half", 12, false, 0.5}, Cut{"hrv_most", 12, false, 0.93},
                      Cut{"wt_ir_tenth", 9, true, 0.1}, Cut{"wt_vis_half", 1, true, 0.5},
                      Cut{"wt_ir_most", 9, true, 0.9}, Cut{"wt_hrv_half", 12, true, 0.5}),
    [](const ::testing::TestParamInfo<Cut>& i) { return std::string(i.param.what); });

// ---- Header fields the format fixes ----------------------------------------------------

struct Lie {
  std::string what;
  int channel;
  bool wt;
  int nb, nc, nl;
  std::string warning;  // the text in parentheses
};

std::vector<Lie> Lies() {
  std::vector<Lie> v;
  for (int ch : {1, 9, 12}) {
    const int nc = Columns(ch), other = ch == 12 ? 3712 : 5568;
    const std::string tag = std::string(CHANNEL_FIELD[ch]).substr(0, 6);
    const std::string width = "width: NC " + std::to_string(other) + ", not " + std::to_string(nc);
    for (bool wt : {false, true}) {
      const std::string t = tag + (wt ? "_wt" : "_plain");
      v.push_back({t + "_nb16", ch, wt, 16, nc, 464, "depth: NB 16, not 10"});
      v.push_back({t + "_nc", ch, wt, 10, other, 464, width});
    }
    v.push_back({tag + "_plain_nb8", ch, false, 8, nc, 464, "depth: NB 8, not 10"});
    v.push_back({tag + "_plain_nl_half", ch, false, 10, nc, 232, "strip: NL 232, not 464"});
    v.push_back({tag + "_plain_nl_double", ch, false, 10, nc, 928, "strip: NL 928, not 464"});
    v.push_back({tag + "_wt_nl_half", ch, true, 10, nc, 232, "strip: NL 232, not 464"});
  }
  return v;
}

class LyingHeader : public ::testing::TestWithParam<Lie> {
 protected:
  TestTempDir dir;
};

TEST_P(LyingHeader, IsRefusedNamingTheField) {
  const Lie& l = GetParam();
  // The data field is what the header describes (a plain one at most a strip of the header's
  // width: a larger file is refused for its size first), so only the header's claim is wrong:
  // a 16-bit WT stream decodes "successfully" and must not be taken for 10-bit counts.
  const int lines = l.wt ? l.nl : std::min(l.nl, 464);
  std::vector<uint16_t> counts(size_t(l.nc) * size_t(lines));
  for (int y = 0; y < lines; y++)
    for (int x = 0; x < l.nc; x++)
      counts[size_t(y) * size_t(l.nc) + size_t(x)] = uint16_t((x * 3 + y * 5) % (1 << std::min(l.nb, 10)));
  const xb::Segment s = MakeSegment(l.channel, 7, counts, l.wt, l.nb, l.nc, lines);
  xb::Segment lying = s;
  lying.nl = l.nl;
  const std::string path = dir.file(SegmentName(l.channel, 7));
  ASSERT_TRUE(xb::Write(path, xb::File(lying)));
  NoExternalDecoder no_external(dir.path());
  LogCapture log;
  EXPECT_TRUE(XritSegmentRead(path.c_str()).empty());
  EXPECT_EQ(log.messages(), std::vector<std::string>{path + "(" + l.warning + ")"});
}

INSTANTIATE_TEST_SUITE_P(PerChannel, LyingHeader, ::testing::ValuesIn(Lies()),
                         [](const ::testing::TestParamInfo<Lie>& i) { return i.param.what; });

// A WT stream whose own depth differs from NB is refused by the decoder, not rescaled.
TEST(WtDepth, StreamDepthMustMatchTheImage) {
  const WtImage deep{16, 64, 32};
  std::vector<uint16_t> counts = xb::Pattern(64, 32, 3);
  std::vector<uint8_t> field;
  ASSERT_TRUE(WtEncode(counts.data(), deep, WtDefaultParams(deep), &field));
  WtResult r;
  std::string err;
  EXPECT_FALSE(WtDecode(field, WtImage{10, 64, 32}, &r, &err));
  EXPECT_NE(err.find("bits per pixel 16"), std::string::npos) << err;
  EXPECT_TRUE(WtDecode(field, deep, &r, &err)) << err;
}

// ---- A channel load with one damaged segment -------------------------------------------

using xb::Ramp;

class DamagedSegment : public ::testing::TestWithParam<bool> {
 protected:
  TestTempDir dir;
  void Write(int segment, double keep) {
    std::vector<uint16_t> counts(size_t(3712) * 464);
    for (int r = 0; r < 464; r++)
      for (int p = 0; p < 3712; p++) counts[size_t(r) * 3712 + p] = Ramp(464 * (segment - 1) + r + 1, p + 1);
    const xb::Segment s = MakeSegment(1, segment, counts, GetParam(), 10, 3712, 464);
    xb::Bytes file = xb::File(s);
    file.resize(file.size() - s.field.size() + size_t(double(s.field.size()) * keep));
    ASSERT_TRUE(xb::Write(dir.file(SegmentName(1, segment)), file));
  }
};

// VIS006 segment 8 cut to half its length: the window across both segments keeps segment 7
// and the southern half of segment 8, the rest of segment 8 is 0, and the load names segment 8.
TEST_P(DamagedSegment, CostsOnlyItsLostLinesAndIsNamed) {
  Write(7, 1.0);
  Write(8, 0.5);
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

}  // namespace
