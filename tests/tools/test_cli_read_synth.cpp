// A generated repeat cycle read back through the command-line tool: headers, counts placed on
// the Earth's disk where the projection puts it, and the prologue's HRV window.
#include <gtest/gtest.h>
#include <glib.h>

#include <string>
#include <vector>

#include "data/geo.h"
#include "tests/support/tempdir.h"
#include "tools/synth.h"

namespace {

int RunCli(std::vector<std::string> args, std::string* out) {
  std::vector<char*> argv;
  std::string cli = NUBICORN_CLI;
  argv.push_back(cli.data());
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  gchar* o = nullptr;
  gint status = 0;
  if (!g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_STDERR_TO_DEV_NULL, nullptr, nullptr, &o,
                    nullptr, &status, nullptr))
    return -1;
  if (out) *out = o ? o : "";
  g_free(o);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// Counts of a 16-bit PGM written by `decode`; width 0 when it cannot be read.
std::vector<uint16_t> ReadPgm(const std::string& path, int* width) {
  *width = 0;
  gchar* data = nullptr;
  gsize size = 0;
  if (!g_file_get_contents(path.c_str(), &data, &size, nullptr)) return {};
  const std::string b(data, size);
  g_free(data);
  int w = 0, h = 0, maxval = 0, used = 0;
  if (std::sscanf(b.c_str(), "P5\n%d %d\n%d\n%n", &w, &h, &maxval, &used) != 3 || maxval != 1023 ||
      h != 464 || size_t(used) + size_t(w) * h * 2 != b.size())
    return {};
  std::vector<uint16_t> c(size_t(w) * h);
  for (size_t i = 0; i < c.size(); i++)
    c[i] = uint16_t(uint8_t(b[used + 2 * i]) << 8 | uint8_t(b[used + 2 * i + 1]));
  *width = w;
  return c;
}

bool OnEarth(double column, double line) {
  double lat, lon;
  return GeoPixelToLatLon(column, line, &lat, &lon) == 0;
}

class CliSynthRead : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TestTempDir;
    ok_ = RunCli({"synth", "--out", dir_->path(), "--slot", "201607041200", "--seed", "5", "--strip"}, nullptr) == 0;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!ok_) GTEST_SKIP() << "synth did not write a cycle";
  }
  static TestTempDir* dir_;
  static bool ok_;
};
TestTempDir* CliSynthRead::dir_ = nullptr;
bool CliSynthRead::ok_ = false;

}  // namespace

TEST_F(CliSynthRead, IrSegmentsPutTheDiskWhereTheProjectionDoes) {
  for (int seg : {7, 8}) {
    const std::string name = SynthSegmentName(9, seg, "201607041200");
    std::string info;
    ASSERT_EQ(RunCli({"info", dir_->file(name), "--json"}, &info), 0);
    EXPECT_NE(info.find("\"segment\": " + std::to_string(seg)), std::string::npos);
    EXPECT_NE(info.find("\"loff\": " + std::to_string(1856 - 464 * (seg - 1))), std::string::npos);
    const std::string pgm = dir_->file("seg.pgm");
    ASSERT_EQ(RunCli({"decode", dir_->file(name), "-o", pgm}, nullptr), 0);
    int w = 0;
    const std::vector<uint16_t> c = ReadPgm(pgm, &w);
    ASSERT_EQ(w, 3712);
    // File rows run south to north, file columns east to west: row r is grid line
    // 464 (seg - 1) + r + 1, column x is grid column x + 1. Off the disk is space (0); on it
    // every count is above 0. Pixels within a pixel of the limb are not judged.
    size_t wrong = 0, judged = 0;
    for (int r = 0; r < 464; r += 3)
      for (int x = 0; x < 3712; x++) {
        const double line = 464.0 * (seg - 1) + r + 1, column = x + 1;
        const bool e = OnEarth(column, line);
        if (e != OnEarth(column - 1, line) || e != OnEarth(column + 1, line) ||
            e != OnEarth(column, line - 1) || e != OnEarth(column, line + 1))
          continue;
        judged++;
        wrong += e != (c[size_t(r) * 3712 + x] != 0);
      }
    EXPECT_GT(judged, 400000u);
    EXPECT_EQ(wrong, 0u) << "segment " << seg;
  }
}

TEST_F(CliSynthRead, HrvSegmentsDecodeAtTheirWidth) {
  for (int seg : {19, 24}) {
    const std::string pgm = dir_->file("hrv.pgm");
    ASSERT_EQ(RunCli({"decode", dir_->file(SynthSegmentName(12, seg, "201607041200")), "-o", pgm},
                     nullptr),
              0);
    int w = 0;
    const std::vector<uint16_t> c = ReadPgm(pgm, &w);
    ASSERT_EQ(w, 5568);
    size_t above = 0;
    for (uint16_t v : c) above += v > 1023;
    EXPECT_EQ(above, 0u);
  }
}

TEST_F(CliSynthRead, PrologueGivesTheWrittenWindow) {
  std::string out;
  ASSERT_EQ(RunCli({"prologue", dir_->file(SynthPrologueName("201607041200"))}, &out), 0);
  char want[200];
  std::snprintf(want, sizeof want,
                "{\"upper_west_column\": %d, \"upper_north_line\": %d, \"upper_east_column\": %d, "
                "\"upper_south_line\": %d}\n",
                SYNTH_HRV.upper_west, SYNTH_HRV.upper_north, SYNTH_HRV.upper_east,
                SYNTH_HRV.upper_south);
  EXPECT_EQ(out, want);
  // The epilogue is no prologue.
  EXPECT_EQ(RunCli({"prologue", dir_->file(SynthEpilogueName("201607041200"))}, nullptr), 1);
}
