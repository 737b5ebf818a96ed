// Prologue values that would overflow the HRV placement: every field of the upper window out
// of range is refused with one warning naming the prologue and the field, and the HRV load
// falls back to the default east column exactly as without a prologue.
#include <gtest/gtest.h>
#include <glib/gstdio.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "data/layer.h"
#include "data/prologue.h"
#include "tests/support/logcapture.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"

namespace {

const char* const PROLOGUE = "H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__";

std::string HrvName(int segment) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "H-000-MSG3__-MSG3________-HRV______-0000%02d___-201607041200-C_", segment);
  return buf;
}

struct BadWindow {
  const char* what;
  std::vector<std::pair<int, int32_t>> set;  // coverage_hrv index, value
  const char* reason;                         // the warning's text after "window: "
};

// The six HRV segments (the default window reads a few of them), written once per suite.
class HrvSegments : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (dir_) return;
    dir_ = new TestTempDir;
    std::vector<uint16_t> counts(size_t(5568) * 464);
    for (int seg = 19; seg <= 24; seg++) {
      for (size_t i = 0; i < counts.size(); i++) counts[i] = uint16_t((i * 13 + size_t(seg) * 101) % 1000 + 1);
      xb::Segment s;
      s.nc = 5568;
      s.channel = 12;
      s.segment = uint16_t(seg);
      s.annotation = HrvName(seg);
      s.field = xb::Pack10(counts);
      ASSERT_TRUE(xb::Write(dir_->file(HrvName(seg)), xb::File(s)));
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void TearDown() override { g_remove(dir_->file(PROLOGUE).c_str()); }
  // The HRV load of the default window with the east column given.
  static cv::Mat Load(int32_t east, std::vector<std::string>* warnings) {
    int32_t w[4] = {2710, 464, 92, 60};
    LogCapture log;
    cv::Mat m = LayerLoadMsg(dir_->file(HrvName(19)).c_str(), w, true, &east);
    if (warnings) *warnings = log.messages();
    return m;
  }
  static TestTempDir* dir_;
};

TestTempDir* HrvSegments::dir_ = nullptr;

class PrologueRange : public HrvSegments, public ::testing::WithParamInterface<BadWindow> {};

TEST_P(PrologueRange, FallsBackWithOneWarning) {
  const BadWindow& b = GetParam();
  const cv::Mat without = Load(HRV_EAST_DEFAULT, nullptr);  // no prologue yet: the default column
  ASSERT_FALSE(without.empty());
  xb::Prologue p;
  for (auto [i, v] : b.set) p.hrv[i] = v;
  const std::string pro = dir_->file(PROLOGUE);
  ASSERT_TRUE(xb::Write(pro, xb::PrologueFile(p)));
  {
    LogCapture log;
    int32_t out[4] = {-7, -7, -7, -7};
    EXPECT_FALSE(LayerPrologueWindow(dir_->file(HrvName(19)).c_str(), out));
    EXPECT_EQ(out[2], -7);
    EXPECT_EQ(log.messages(), std::vector<std::string>{pro + "(window: " + b.reason + ")"});
  }
  std::vector<std::string> warnings;
  const cv::Mat with = Load(0, &warnings);
  EXPECT_EQ(warnings, std::vector<std::string>{pro + "(window: " + b.reason + ")"});
  ASSERT_EQ(with.size(), without.size());
  EXPECT_EQ(cv::norm(with, without, cv::NORM_INF), 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, PrologueRange,
    ::testing::Values(
        BadWindow{"east_int_min", {{6, INT_MIN}}, "upper east column -2147483648 outside 1..11136"},
        BadWindow{"east_int_max", {{6, INT_MAX}, {7, INT_MAX}}, "upper east column 2147483647 outside 1..11136"},
        BadWindow{"east_zero", {{6, 0}}, "upper east column 0 outside 1..11136"},
        BadWindow{"east_past_grid", {{6, 11137}}, "upper east column 11137 outside 1..11136"},
        BadWindow{"west_int_min", {{7, INT_MIN}}, "upper west column -2147483648 outside 1..11136"},
        BadWindow{"north_int_max", {{5, INT_MAX}}, "upper north line 2147483647 outside 1..11136"},
        BadWindow{"south_negative", {{4, -1}}, "upper south line -1 outside 1..11136"},
        BadWindow{"south_above_north", {{4, 11136}, {5, 8065}}, "upper south line above the north line"},
        BadWindow{"east_west_of_west", {{6, 7514}, {7, 1947}}, "upper east column west of the west column"}),
    [](const ::testing::TestParamInfo<BadWindow>& i) { return std::string(i.param.what); });

// An east column from the settings outside the grid: the default, with a warning, no overflow.
TEST_F(HrvSegments, ConfiguredEastOutsideTheGridFallsBack) {
  const cv::Mat want = Load(HRV_EAST_DEFAULT, nullptr);
  for (int32_t east : {INT_MIN, -1, 11137, INT_MAX}) {
    std::vector<std::string> warnings;
    const cv::Mat got = Load(east, &warnings);
    ASSERT_EQ(got.size(), want.size()) << east;
    EXPECT_EQ(cv::norm(got, want, cv::NORM_INF), 0.0) << east;
    const std::string text = "HRV east column " + std::to_string(east) + " outside 1..11136, 1947 taken";
    EXPECT_EQ(std::count_if(warnings.begin(), warnings.end(),
                            [&](const std::string& m) { return m.find(text) != std::string::npos; }),
              1)
        << east;
  }
}

}  // namespace
