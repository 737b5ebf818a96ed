// Generated cycles south of the strip (from segment 6 or 4 on; the whole disk costs four times
// the strip): their northern strip is the strip-only cycle byte for byte, through the loader
// too; the Indian Ocean service is seen from 45.5° E as the independent model places it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "data/fileinfo.h"
#include "data/geo.h"
#include "data/layer.h"
#include "data/satellite.h"
#include "tests/support/cli.h"
#include "tests/support/cycles.h"
#include "tests/support/geomodel.h"
#include "tests/support/tempdir.h"
#include "tools/synthscene.h"

namespace {

const char* const SLOT = "201607041200";
const Sat IODC{2, SatService::Iodc};

// The samples of a P5 PGM of 16-bit big-endian samples, row by row (empty when it is none).
std::vector<uint16_t> ReadPgm16(const std::string& path, int* w, int* h) {
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  f >> magic >> *w >> *h >> maxval;
  f.get();
  std::vector<unsigned char> b(size_t(std::max(*w * *h, 0)) * 2);
  if (magic != "P5" || maxval < 256 || !f.read(reinterpret_cast<char*>(b.data()), std::streamsize(b.size()))) return {};
  std::vector<uint16_t> v(b.size() / 2);
  for (size_t i = 0; i < v.size(); i++) v[i] = uint16_t(b[2 * i] << 8 | b[2 * i + 1]);
  return v;
}

TEST(SynthDisk, StripWindowsGiveTheStripCyclesImagesByteForByte) {
  // HRV from segment 16: lines of both windows south of the strip.
  const std::string disk = testcycles::Cached("disk-cycles", SLOT, 1, false, Sat{}, 6);
  const std::string strip = testcycles::Cached("disk-cycles", SLOT, 1, false);
  ASSERT_FALSE(disk.empty() || strip.empty());
  for (const auto& entry : std::filesystem::directory_iterator(strip)) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(std::filesystem::file_size(entry.path()), std::filesystem::file_size(disk + "/" + name)) << name;
  }
  const int32_t windows[][4] = {{2710, 464, 92, 60}, {1300, 200, 1000, 600}, {1800, 860, 200, 48}};
  for (const auto& win : windows)
    for (int id = 1; id <= CHANNEL_COUNT; id++) {
      int32_t a[4] = {win[0], win[1], win[2], win[3]}, b[4] = {win[0], win[1], win[2], win[3]};
      int32_t ea = 0, eb = 0;
      const std::string name = testcycles::Name(id, SLOT);
      auto x = LayerLoadChannel((disk + "/" + name).c_str(), id, a, &ea);
      auto y = LayerLoadChannel((strip + "/" + name).c_str(), id, b, &eb);
      ASSERT_TRUE(x && y) << name;
      for (int k : {0, 1})
        EXPECT_EQ(cv::norm((*x)[k], (*y)[k], cv::NORM_INF), 0) << name << " window y " << win[1];
    }
}

// Places seen from 45.5° E, most of them south of the northern strip: the navigation record
// names the longitude, the projection agrees with the model there, and the count that
// `nubicorn-cli channel` gives at each place's pixel is the scene's at that pixel's centre.
TEST(SynthDisk, IndianOceanCyclesAreSeenFrom45p5East) {
  const std::string dir = testcycles::Cached("disk-cycles", SLOT, 1, false, IODC, 4);
  ASSERT_FALSE(dir.empty());
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) files++;
  EXPECT_EQ(files, 11 * 5 + 15 + 2);  // segments 4..8, HRV 10..24
  const std::string ir = dir + "/" + SatSegmentName(IODC, InfoChannelText[9], 4, SLOT);
  EXPECT_EQ(SatFileLongitude(ir.c_str(), 0.0), 45.5);
  int64_t t0 = 0;
  ASSERT_TRUE(SynthParseSlot(SLOT, &t0, nullptr));
  const SynthScene scene = SynthSceneMake(1, t0, 0.5);
  const double places[][2] = {{19.08, 72.88}, {25.2, 55.3}, {-1.29, 36.82}, {6.93, 79.85}, {-4.6, 55.45}};
  for (const auto& p : places) {
    double mc, ml, c, l;
    geomodel::ModelPixel(p[0], p[1], 45.5, &mc, &ml);
    ASSERT_EQ(GeoLatLonToPixel(p[0], p[1], &c, &l, 0, 45.5), 0);
    EXPECT_NEAR(c, mc, 0.05) << p[0] << "," << p[1];
    EXPECT_NEAR(l, ml, 0.05) << p[0] << "," << p[1];
    const int C = int(std::lround(mc)), L = int(std::lround(ml));
    double lat, lon;
    ASSERT_EQ(GeoPixelToLatLon(C, L, &lat, &lon, 45.5), 0);
    geomodel::ModelPixel(lat, lon, 45.5, &mc, &ml);
    EXPECT_NEAR(mc, C, 0.05);
    EXPECT_NEAR(ml, L, 0.05);
    SynthPixelCounts want;
    SynthPixel(scene, lat, lon, &want);
    // The place's pixel at (5, 4) of a 10 x 8 window.
    const std::string rect = std::to_string(3712 - C - 5) + "," + std::to_string(3712 - L - 4) + ",10,8";
    TestTempDir out;
    const CliRun r = SpawnRun({NUBICORN_CLI, "channel", "--data", dir, "--slot", SLOT, "--channel", "IR_108",
                               "--rect", rect, "-o", out.file("c.pgm")});
    ASSERT_EQ(r.status, 0) << r.err;
    int w = 0, h = 0;
    const std::vector<uint16_t> m = ReadPgm16(out.file("c.pgm"), &w, &h);
    ASSERT_EQ(m.size(), 80u);
    EXPECT_EQ(m[4 * 10 + 5], want.counts[9]) << p[0] << "," << p[1];
  }
}

}  // namespace
