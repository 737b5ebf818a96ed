// nubicorn-cli info, decode, geo, prologue and synth run as a user's script would run them: what
// each prints and its exit status, for good input, for arguments it does not take, and for
// hostile files (larger than any xRIT file, links to /dev/zero, FIFOs, segments cut short),
// where it ends at once with a clear message; one that would block is stopped by a time limit
// and fails the test instead of hanging it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "data/suplfile.h"
#include "tests/support/cli.h"
#include "tests/support/geomodel.h"
#include "tests/support/tempdir.h"
#include "tests/support/xrit_builder.h"

namespace {

const char* const HRV_NAME = "H-000-MSG3__-MSG3________-HRV______-000019___-201607041200-C_";
const char* const CUT_NAME = "H-000-MSG3__-MSG3________-HRV______-000020___-201607041200-C_";
const char* const PRO_NAME = "H-000-MSG3__-MSG3________-_________-PRO______-201607041200-__";

// The CLI under coreutils' timeout: a regression that blocks ends with status 124.
CliRun TimedCli(std::vector<std::string> args) {
  args.insert(args.begin(), {"timeout", "-k", "5", "30", NUBICORN_CLI});
  return SpawnRun(args);
}

std::set<std::string> Listing(const std::string& dir) {
  std::set<std::string> names;
  GDir* d = g_dir_open(dir.c_str(), 0, nullptr);
  while (const char* n = d ? g_dir_read_name(d) : nullptr) names.insert(n);
  if (d) g_dir_close(d);
  return names;
}

class CliRead : public ::testing::Test {
 protected:
  TestTempDir dir;
  // An HRV segment of known counts, and the same cut to 163 whole lines and a part of the next.
  void SetUp() override {
    xb::Segment s;
    s.nc = 5568;
    s.channel = 12;
    s.segment = 19;
    s.annotation = HRV_NAME;
    s.field = xb::Pack10(xb::Pattern(5568, 464, 3));
    ASSERT_TRUE(xb::Write(dir.file(HRV_NAME), xb::File(s)));
    xb::Bytes cut = xb::File(s);
    cut.resize(cut.size() - 6960 * 300 - 17);
    ASSERT_TRUE(xb::Write(dir.file(CUT_NAME), cut));
    xb::Prologue p;
    const int32_t hrv[8] = {1, 8064, 8994, 3427, 8065, 11136, 2021, 7588};
    std::copy(hrv, hrv + 8, p.hrv);
    ASSERT_TRUE(xb::Write(dir.file(PRO_NAME), xb::PrologueFile(p)));
    xb::Prologue epi;
    epi.file_type = 129;
    ASSERT_TRUE(xb::Write(dir.file("epi"), xb::PrologueFile(epi)));
    s.extra_records = xb::Record(200, {}, 0);
    ASSERT_TRUE(xb::Write(dir.file("bad"), xb::File(s)));
    s.extra_records.clear();
    s.nl = 463;
    ASSERT_TRUE(xb::Write(dir.file("nl463"), xb::File(s)));
  }
};

// Status 0 and the text on stdout for what it can do, 1 and a message on stderr (nothing on
// stdout, no output file) for input it cannot use, 2 for arguments it does not take.
TEST_F(CliRead, EveryCommandsTextAndStatus) {
  const std::string hrv = dir.file(HRV_NAME), out = dir.file("out.pgm"), data = dir.path();
  const std::string wt = std::string(NUBICORN_TESTDATA) + "/wt/nc3712_hramp.hrit";
  const std::string slot = "201607041200", fci = "202501011200", plain = dir.file("plain-file");
  // Hostile files: larger than any xRIT file (2 GB, sparse), endless, blocking.
  const std::string big = dir.file("big"), zero = dir.file("zero"), fifo = dir.file("fifo");
  const int fd = open(big.c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, off_t(2) << 30), 0);
  close(fd);
  ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::ofstream(plain) << "x";
  const std::set<std::string> before = Listing(data);
  const std::vector<std::string> synth = {"synth", "--out", data, "--slot"};
  auto with = [](std::vector<std::string> a, std::vector<std::string> b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string text;  // in stdout for status 0, else in stderr
  };
  const Case cases[] = {
      {{"info", hrv}, 0, "NC 5568, NL 464, compression 0|CFAC -40927014|2016-07-04T12:00:00.000Z|" + hrv},
      {{"info", hrv, "--json"}, 0, "\"nc\": 5568|\"channel\": 12|\"segment\": 19|\"line_quality_entries\": 464|"
                                   "\"encrypted\": false"},
      // A received IR 10.8 segment: 4 levels, predictor C, 16x16 blocks, one block row per run.
      {{"info", wt}, 0, "representation 3 (WT)|WT stream: 10 bits, 3712 x 464, 4 levels, predictor C, "
                        "blocks 16x16, restart interval 232, lossless"},
      {{"info", wt, "--json"}, 0, "\"levels\": 4, \"predictor\": \"C\", \"block_mode\": \"16x16\", "
                                  "\"restart_interval\": 232, \"lossy\": 0"},
      {{"prologue", dir.file(PRO_NAME)}, 0, "{\"upper_west_column\": 7588, \"upper_north_line\": 11136, "
                                            "\"upper_east_column\": 2021, \"upper_south_line\": 8065}\n"},
      {{"--help"}, 0, "\n  info FILE|\n  decode FILE|\n  geo to-latlon|\n  prologue FILE"},
      {{"info", "--help"}, 0, ""},
      {{"geo", "--help"}, 0, "to-latlon"},
      {{"synth", "--help"}, 0, "--out DIR --slot YYYYMMDDhhmm"},
      {{"info", dir.file("missing")}, 1, "missing"},
      {{"info", dir.file("bad")}, 1, "length 0"},
      {{"info"}, 2, ""},
      {{"info", big}, 1, big + "|larger than " + std::to_string(SUPL_XRIT_MAX_FILE) + " bytes"},
      {{"info", fifo}, 1, fifo + "|not a regular file"},
      {{"decode", zero, "-o", out}, 1, zero + "|not a regular file"},
      {{"decode", big, "-o", out}, 1, big + "|larger than " + std::to_string(SUPL_XRIT_MAX_FILE) + " bytes"},
      {{"prologue", zero}, 1, zero + "|not a regular file"},
      {{"prologue", fifo}, 1, fifo + "|not a regular file"},
      {{"decode", dir.file("nl463"), "-o", out}, 1, "(strip: NL 463, not 464)"},
      {{"decode", hrv}, 2, ""},
      {{"decode", hrv, "-o"}, 2, ""},
      {{"geo", "to-latlon", "3711", "1856"}, 1, "not on the Earth"},
      {{"geo", "to-pixel", "0", "82"}, 1, "not visible"},
      {{"geo", "to-pixel", "abc", "1"}, 2, ""},
      {{"geo", "to-pixel", "1"}, 2, ""},
      {{"geo", "sideways", "1", "2"}, 2, ""},
      {{"geo", "to-pixel", "nan", "0"}, 2, ""},
      {{"prologue", dir.file("epi")}, 1, "epi"},
      {{"prologue", dir.file("missing")}, 1, "missing"},
      {{"prologue"}, 2, ""},
      {{"channel", "--data", data, "--slot", slot, "--channel", "9", "--rect", "2710,464,92,60", "-o", out}, 1, "Input data error"},
      {{"channel", "--data", data, "--slot", "2016", "--channel", "9", "--rect", "1,2,3,4", "-o", out}, 2, ""},
      {{"channel", "--data", data, "--slot", slot, "--channel", "13", "--rect", "1,2,3,4", "-o", out}, 2, ""},
      {{"channel", "--data", data, "--slot", slot, "--channel", "9", "--rect", "1,2,3", "-o", out}, 2, ""},
      {{"channel", "--data"}, 2, ""},
      {{"composite", "--data", data, "--slot", slot, "--recipe", "Natural", "--rect", "2710,464,92,60", "-o", out}, 1,
       "Input data error"},
      {{"channel", "--satellite", "MTG-I1", "--data", data, "--slot", fci, "--channel", "ir_105", "--rect", "10,10,5,5", "-o", out}, 1, "Input data error"},
      {{"synth", "--satellite", "MTG-I9", "--out", data, "--slot", fci}, 2, ""},
      {{"synth", "--satellite", "MTG-I1", "--out", data, "--slot", "202501011205"}, 2, "10-minute step"},
      {{"synth", "--satellite", "MTG-I1", "--out", data, "--slot", fci, "--channels", "ir_108"}, 2, ""},
      {{"synth", "--satellite", "MTG-I1", "--out", data, "--slot", fci, "--rect", "1,2,0,4"}, 2, ""},
      {with(synth, {"2016070412"}), 2, "12 digits"},
      {with(synth, {"20160704120x"}), 2, "12 digits"},
      {with(synth, {"201602301200"}), 2, "no such date"},
      {with(synth, {"201607042500"}), 2, "no such time"},
      {with(synth, {"196912312345"}), 2, "no such date"},
      {with(synth, {"201607041207"}), 2, "quarter hour"},
      {with(synth, {"202204040742", "--satellite", "MSG3_RSS"}), 2, "5-minute step"},
      {{"synth", "--slot", slot}, 2, "--out"},
      {{"synth", "--out", data}, 2, "--slot"},
      {with(synth, {slot, "--count", "0"}), 2, "--count"},
      {with(synth, {slot, "--count", "two"}), 2, "--count"},
      {with(synth, {slot, "--seed", "-1"}), 2, "--seed"},
      {with(synth, {slot, "--clouds", "2"}), 2, "--clouds"},
      {with(synth, {slot, "--bogus"}), 2, "unknown argument"},
      {with(synth, {}), 2, "needs a value"},
      {{"synth", "--out", plain + "/sub", "--slot", slot}, 1, "plain-file"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    const CliRun r = TimedCli(c.args);
    ASSERT_NE(r.status, 124) << "the command did not end";
    EXPECT_EQ(r.status, c.status) << r.err;
    for (size_t from = 0, to; from <= c.text.size(); from = to + 1) {  // each part of the text
      to = std::min(c.text.find('|', from), c.text.size());
      EXPECT_NE((c.status ? r.err : r.out).find(c.text.substr(from, to - from)), std::string::npos) << r.out << r.err;
    }
    if (c.status) {
      EXPECT_FALSE(r.err.empty());
      EXPECT_TRUE(c.status == 2 || r.out.empty());
    }
    EXPECT_FALSE(g_file_test(out.c_str(), G_FILE_TEST_EXISTS));
  }
  EXPECT_EQ(Listing(data), before);  // nothing was written for any of them
}

// decode writes the counts in file order; of a segment cut short, those of the lines that
// arrived, the rest 0, with a warning naming the file and the lines.
TEST_F(CliRead, DecodeWritesTheCountsOfTheLinesThatArrived) {
  const std::vector<uint16_t> want = xb::Pattern(5568, 464, 3);
  for (auto [name, lines, warning] : {std::tuple{HRV_NAME, 464, ""}, {CUT_NAME, 163, "(short: 163 of 464 lines)"}}) {
    SCOPED_TRACE(name);
    const std::string pgm = dir.file("out.pgm");
    const CliRun r = TimedCli({"decode", dir.file(name), "--out", pgm});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find(dir.file(name) + warning) != std::string::npos, lines < 464) << r.err;
    int maxval = 0;
    const cv::Mat m = ReadPgm16(pgm, &maxval);
    ASSERT_EQ(m.size(), cv::Size(5568, 464));
    EXPECT_EQ(maxval, 1023);
    size_t wrong = 0;
    for (size_t i = 0; i < want.size(); i++) wrong += m.ptr<uint16_t>()[i] != (i < size_t(lines) * 5568 ? want[i] : 0);
    EXPECT_EQ(wrong, 0u);
  }
}

// Image x, y is grid column 3712 - x, line 3712 - y, against the independent model (the way
// back, to-pixel, places the GeoTIFF tests' pixels against GDAL's).
TEST(CliGeo, ToLatLonInImageCoordinates) {
  for (auto [x, y] : {std::pair{2756.0, 494.0}, {1856.0, 1856.0}, {1855.5, 1856.25}, {3000.0, 1000.0}}) {
    const CliRun r = Cli({"geo", "to-latlon", std::to_string(x), std::to_string(y)});
    ASSERT_EQ(r.status, 0) << r.err;
    double lat = 0, lon = 0, want_lat = 0, want_lon = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "%lf %lf", &lat, &lon), 2) << r.out;
    ASSERT_TRUE(geomodel::ModelLatLon(3712 - x, 3712 - y, 0, &want_lat, &want_lon));
    EXPECT_NEAR(lat, want_lat, 1e-5) << x << "," << y;
    EXPECT_NEAR(lon, want_lon, 1e-5) << x << "," << y;
  }
}

TEST(SynthCli, WritesConsecutiveQuarterHoursAcrossMidnight) {
  TestTempDir dir;
  const std::string sub = dir.path() + "/new/folder";
  const CliRun r = Cli({"synth", "--out", sub, "--slot", "201612312345", "--count", "2", "--seed", "3", "--strip"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "201612312345\n201701010000\n");
  const std::set<std::string> files = Listing(sub);
  EXPECT_EQ(files.size(), 60u);  // 2 x (11 x 2 + 6 segments, prologue, epilogue)
  EXPECT_EQ(files.count("H-000-MSG3__-MSG3________-_________-EPI______-201701010000-__"), 1u);
  EXPECT_EQ(files.count("H-000-MSG3__-MSG3________-HRV______-000024___-201612312345-C_"), 1u);
  TestTempDir::Remove(dir.path() + "/new/folder");
  TestTempDir::Remove(dir.path() + "/new");
}

}  // namespace
