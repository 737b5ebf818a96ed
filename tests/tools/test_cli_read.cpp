// nubicorn-cli info, decode, geo and prologue, run as a user's script would run them.
#include <gtest/gtest.h>
#include <glib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/cli.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"

namespace {

const char* const HRV_NAME = "H-000-MSG3__-MSG3________-HRV______-000019___-201607041200-C_";
const char* const PRO_NAME = "H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__";

xb::Segment Hrv() {
  xb::Segment s;
  s.nc = 5568;
  s.channel = 12;
  s.segment = 19;
  s.annotation = HRV_NAME;
  s.field = xb::Pack10(xb::Pattern(5568, 464, 3));
  return s;
}

std::vector<double> Numbers(const std::string& s) {
  std::vector<double> v;
  const char* p = s.c_str();
  char* end = nullptr;
  for (;;) {
    const double d = g_ascii_strtod(p, &end);
    if (end == p) break;
    v.push_back(d);
    p = end;
  }
  return v;
}

}  // namespace

TEST(CliRead, InfoTextAndJson) {
  TestTempDir dir;
  const std::string path = dir.file(HRV_NAME);
  ASSERT_TRUE(xb::Write(path, xb::File(Hrv())));
  CliRun r = Cli({"info", path});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("NC 5568, NL 464, compression 0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("CFAC -40927014"), std::string::npos);
  EXPECT_NE(r.out.find("2016-07-04T12:00:00.000Z"), std::string::npos);
  EXPECT_NE(r.out.find(HRV_NAME), std::string::npos);
  r = Cli({"info", path, "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"nc\": 5568"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"channel\": 12"), std::string::npos);
  EXPECT_NE(r.out.find("\"segment\": 19"), std::string::npos);
  EXPECT_NE(r.out.find("\"line_quality_entries\": 464"), std::string::npos);
  EXPECT_NE(r.out.find("\"encrypted\": false"), std::string::npos);
}

TEST(CliRead, InfoShowsTheWtStreamParameters) {
  // A received IR 10.8 segment: 4 levels, predictor C, 16x16 blocks, one block row per run.
  const std::string path = std::string(NUBICORN_TESTDATA) + "/wt/nc3712_hramp.hrit";
  CliRun r = Cli({"info", path});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("representation 3 (WT)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("WT stream: 10 bits, 3712 x 464, 4 levels, predictor C, blocks 16x16, "
                       "restart interval 232, lossless"),
            std::string::npos)
      << r.out;
  r = Cli({"info", path, "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"levels\": 4, \"predictor\": \"C\", \"block_mode\": \"16x16\", "
                       "\"restart_interval\": 232, \"lossy\": 0"),
            std::string::npos)
      << r.out;
  // An uncompressed segment has no stream to describe.
  TestTempDir dir;
  ASSERT_TRUE(xb::Write(dir.file(HRV_NAME), xb::File(Hrv())));
  r = Cli({"info", dir.file(HRV_NAME)});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("WT stream"), std::string::npos);
}

TEST(CliRead, DecodeWritesTheCountsInFileOrder) {
  TestTempDir dir;
  const std::string path = dir.file(HRV_NAME);
  ASSERT_TRUE(xb::Write(path, xb::File(Hrv())));
  const std::string pgm = dir.file("out.pgm");
  CliRun r = Cli({"decode", path, "-o", pgm});
  ASSERT_EQ(r.status, 0) << r.err;
  gchar* data = nullptr;
  gsize size = 0;
  ASSERT_TRUE(g_file_get_contents(pgm.c_str(), &data, &size, nullptr));
  const std::string bytes(data, size);
  g_free(data);
  const std::string head = "P5\n5568 464\n1023\n";
  ASSERT_EQ(bytes.compare(0, head.size(), head), 0);
  ASSERT_EQ(bytes.size(), head.size() + 5568u * 464 * 2);
  const std::vector<uint16_t> want = xb::Pattern(5568, 464, 3);
  size_t bad = 0;
  for (size_t i = 0; i < want.size(); i++) {
    const uint16_t v = uint16_t(uint8_t(bytes[head.size() + 2 * i]) << 8 |
                                uint8_t(bytes[head.size() + 2 * i + 1]));
    bad += v != want[i];
  }
  EXPECT_EQ(bad, 0u);
  EXPECT_EQ(Cli({"decode", path, "--out", dir.file("b.pgm")}).status, 0);
}

TEST(CliRead, GeoBothWaysInImageCoordinates) {
  // Column 956, line 3218 of the grid is image x 2756, y 494.
  CliRun r = Cli({"geo", "to-latlon", "2756", "494"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<double> v = Numbers(r.out);
  ASSERT_EQ(v.size(), 2u) << r.out;
  EXPECT_NEAR(v[0], 44.500, 5e-4);
  EXPECT_NEAR(v[1], 39.908, 5e-4);
  r = Cli({"geo", "to-pixel", "0", "0"});
  ASSERT_EQ(r.status, 0) << r.err;
  v = Numbers(r.out);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_NEAR(v[0], 1856, 1e-6);
  EXPECT_NEAR(v[1], 1856, 1e-6);
  r = Cli({"geo", "to-pixel", "81", "0.0"});
  v = Numbers(r.out);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_NEAR(v[1], 3712 - 3661.1, 0.05);  // north is up
  r = Cli({"geo", "to-latlon", "1855.5", "1856.25"});  // fractional input
  ASSERT_EQ(r.status, 0);
  v = Numbers(r.out);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_LT(v[0], 0);  // below the centre: south
  EXPECT_LT(v[1], 0);  // left of the centre: west
}

TEST(CliRead, PrologueWindowAsJson) {
  TestTempDir dir;
  xb::Prologue p;
  const int32_t hrv[8] = {1, 8064, 8994, 3427, 8065, 11136, 2021, 7588};
  std::copy(hrv, hrv + 8, p.hrv);
  ASSERT_TRUE(xb::Write(dir.file(PRO_NAME), xb::PrologueFile(p)));
  CliRun r = Cli({"prologue", dir.file(PRO_NAME)});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"upper_west_column\": 7588, \"upper_north_line\": 11136, \"upper_east_column\": 2021, "
            "\"upper_south_line\": 8065}\n");
}

TEST(CliRead, UsageListsTheReadCommands) {
  CliRun r = Cli({"--help"});
  ASSERT_EQ(r.status, 0);
  for (const char* c : {"info", "decode", "geo", "prologue"})
    EXPECT_NE(r.out.find(std::string("  ") + c + " "), std::string::npos) << c;
}

// What a script sees of a command that cannot run: status 1, a message on stderr and nothing on
// stdout for input it cannot use (and no output file), 2 for arguments it does not take; 0 and
// the usage on stdout for help.
TEST(CliRead, StatusOfEveryRefusal) {
  TestTempDir dir;
  xb::Segment bad = Hrv(), cut = Hrv();
  bad.extra_records = xb::Record(200, {}, 0);
  cut.nl = 463;
  xb::Prologue epi;
  epi.file_type = 129;
  ASSERT_TRUE(xb::Write(dir.file("bad"), xb::File(bad)));
  ASSERT_TRUE(xb::Write(dir.file(HRV_NAME), xb::File(cut)));
  ASSERT_TRUE(xb::Write(dir.file("epi"), xb::PrologueFile(epi)));
  const std::string seg = dir.file(HRV_NAME), out = dir.file("out.pgm"), data = dir.path();
  const std::string slot = "201607041200", fci = "202501011200";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string text;  // in stderr, or in stdout for status 0
  };
  const Case cases[] = {
      {{"info", dir.file("missing")}, 1, ""},
      {{"info", dir.file("bad")}, 1, "length 0"},
      {{"info"}, 2, ""},
      {{"info", "--help"}, 0, ""},
      {{"decode", seg, "-o", out}, 1, "(strip: NL 463, not 464)"},
      {{"decode", seg}, 2, ""},
      {{"decode", seg, "-o"}, 2, ""},
      {{"geo", "to-latlon", "3711", "1856"}, 1, ""},
      {{"geo", "to-pixel", "0", "82"}, 1, ""},
      {{"geo", "to-pixel", "abc", "1"}, 2, ""},
      {{"geo", "to-pixel", "1"}, 2, ""},
      {{"geo", "sideways", "1", "2"}, 2, ""},
      {{"geo", "to-pixel", "nan", "0"}, 2, ""},
      {{"geo", "--help"}, 0, "to-latlon"},
      {{"prologue", dir.file("epi")}, 1, ""},
      {{"prologue", dir.file("missing")}, 1, ""},
      {{"prologue"}, 2, ""},
      {{"synth", "--help"}, 0, "--out DIR --slot YYYYMMDDhhmm"},
      {{"channel", "--data", data, "--slot", slot, "--channel", "9", "--rect", "2710,464,92,60", "-o", out}, 1, "Input data error"},
      {{"channel", "--data", data, "--slot", "2016", "--channel", "9", "--rect", "1,2,3,4", "-o", out}, 2, ""},
      {{"channel", "--data", data, "--slot", slot, "--channel", "13", "--rect", "1,2,3,4", "-o", out}, 2, ""},
      {{"channel", "--data", data, "--slot", slot, "--channel", "9", "--rect", "1,2,3", "-o", out}, 2, ""},
      {{"channel", "--data"}, 2, ""},
      {{"channel", "--satellite", "MTG-I1", "--data", data, "--slot", fci, "--channel", "ir_105", "--rect", "10,10,5,5", "-o", out}, 1, "Input data error"},
      {{"synth", "--satellite", "MTG-I9", "--out", data, "--slot", fci}, 2, ""},
      {{"synth", "--satellite", "MTG-I1", "--out", data, "--slot", "202501011205"}, 2, ""},
      {{"synth", "--satellite", "MTG-I1", "--out", data, "--slot", fci, "--channels", "ir_108"}, 2, ""},
      {{"synth", "--satellite", "MTG-I1", "--out", data, "--slot", fci, "--rect", "1,2,0,4"}, 2, ""},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    const CliRun r = Cli(c.args);
    EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
    EXPECT_NE((c.status ? r.err : r.out).find(c.text), std::string::npos) << line << "\n" << r.err;
    if (c.status == 1) {
      EXPECT_FALSE(r.err.empty()) << line;
      EXPECT_TRUE(r.out.empty()) << line;
    }
    EXPECT_FALSE(g_file_test(out.c_str(), G_FILE_TEST_EXISTS)) << line;
  }
}
