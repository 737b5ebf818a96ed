// The FCI generator and the synth, info and channel commands on its files: standard names and
// variables, the MSG generator's scene on the FCI grids, and what a user's script sees.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "data/fci.h"
#include "tests/support/cli.h"
#include "tests/support/tempdir.h"
#include "tools/synthfci.h"
#include "tools/synthscene.h"

namespace {

constexpr const char* SLOT = "202501011200";

std::vector<std::string> Files(const std::string& dir) {
  std::vector<std::string> v;
  for (const auto& e : std::filesystem::directory_iterator(dir)) v.push_back(e.path().filename().string());
  std::sort(v.begin(), v.end());
  return v;
}

// Temperature of a SEVIRI radiance, by bisection on the MSG generator's own radiance function.
double SeviriTemperature(int ch, double radiance) {
  double lo = 150, hi = 400;
  for (int i = 0; i < 60; i++) {
    const double mid = (lo + hi) / 2;
    (SynthRadianceOfTemp(ch, mid) < radiance ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

// The 2 km window every in-process case generates: over Europe, 24 x 16 pixels across the
// boundary of chunks 36 and 37 of the 2 km grid.
constexpr int32_t RECT[4] = {2700, 550, 24, 16};

// The folder of that cycle (vis_06 and the infrared channels, compressed), made once per run.
const std::string& Cycle() {
  static const TestTempDir dir;
  static const bool made = [] {
    SynthFciOptions o;
    o.out = dir.path();
    o.slot = SLOT;
    o.compress = true;
    std::copy(RECT, RECT + 4, o.rect);
    o.channels = {FciChannelIndex("vis_06")};
    for (int i = 8; i < FCI_CHANNEL_COUNT; i++) o.channels.push_back(i);
    std::string err;
    EXPECT_TRUE(SynthFciCycle(o, &err)) << err;
    return true;
  }();
  (void)made;
  return dir.path();
}

// Every infrared channel shows the temperature its SEVIRI partner (IR 3.9 .. 13.4) shows at the
// same place; vis_06's reflectance is SEVIRI VIS 0.6's radiance over one constant band irradiance.
TEST(FciSynthCycle, ChannelsShowTheMsgScene) {
  const SynthScene scene = SynthSceneMake(1, 1735732800, 0.5);
  for (int ch : {FciChannelIndex("vis_06"), 8, 9, 10, 11, 12, 13, 14, 15}) {
    SCOPED_TRACE(FciChannels[ch].name);
    const bool vis = FciChannels[ch].solar;
    const int seviri = vis ? 1 : ch - 4, scale = vis ? 2 : 1, grid = vis ? FCI_GRID_1KM : FCI_GRID_2KM;
    int32_t win[4] = {RECT[0], RECT[1], RECT[2], RECT[3]};
    auto img = FciLoadWindow(Cycle().c_str(), SLOT, ch, win);
    ASSERT_TRUE(img);
    ASSERT_EQ(img->scale, scale);
    double lo = 1e9, hi = 0;
    for (int r = 0; r < img->values.rows; r += 3)
      for (int c = 0; c < img->values.cols; c += 5) {
        double lat, lon;
        ASSERT_TRUE(FciGridToLatLon(grid, scale * RECT[0] + c + 1, grid - scale * RECT[1] - r, &lat, &lon));
        SynthPixelCounts p;
        SynthPixel(scene, lat, lon, &p);
        const double radiance = p.counts[seviri] * SynthCalSlope[seviri] + SynthCalOffset[seviri];
        const double value = img->values.at<float>(r, c);
        if (!vis) {
          // One FCI count is at most about 0.3 K for these channels at these temperatures.
          EXPECT_NEAR(value, SeviriTemperature(seviri, radiance), 0.35) << r << "," << c;
        } else if (radiance >= 2.0) {  // darker is too dark for a ratio
          lo = std::min(lo, value / radiance);
          hi = std::max(hi, value / radiance);
        }
      }
    if (vis) {
      EXPECT_LT(hi / lo, 1.01);
    }
  }
}

TEST(FciSynthCycle, WritesTheChunksTheWindowMeetsAndTheTrailer) {
  int body = 0, trail = 0;
  for (const auto& f : Files(Cycle())) {
    FciName n;
    ASSERT_TRUE(FciParseName(f, &n)) << f;
    EXPECT_TRUE(n.jls);
    EXPECT_EQ(FciSlotOf(n.start), 1735732800);
    body += n.body;
    trail += !n.body;
  }
  // 2 km rows 5003..5018 lie in chunks 36 and 37, 1 km rows 10005..10036 in chunk 36.
  EXPECT_EQ(body, 2);
  EXPECT_EQ(trail, 1);
  const FciCycle c = FciFindCycle(Cycle().c_str(), SLOT);
  EXPECT_FALSE(c.body[35].empty());
  EXPECT_FALSE(c.body[36].empty());
  EXPECT_FALSE(c.trail.empty());
}

TEST(FciSynthCli, UncompressedChunksAreNetcdf4WithTheStandardNames) {
  TestTempDir dir;
  CliRun r = Cli({"synth", "--satellite", "MTG-I1", "--out", dir.path(), "--slot", SLOT, "--rect", "2000,2800,8,4",
               "--channels", "ir_105,nir_16", "--land", "builtin"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, std::string(SLOT) + "\n");
  const auto files = Files(dir.path());
  ASSERT_EQ(files.size(), 2u);  // chunk 20 and the trailer
  FciName n;
  ASSERT_TRUE(FciParseName(files[0], &n));
  EXPECT_TRUE(n.body);
  EXPECT_FALSE(n.jls);
  CliRun dump = SpawnRun({"ncdump", "-hs", dir.file(files[0])});
  if (dump.status != 0 && dump.out.empty()) GTEST_SKIP() << "ncdump (netcdf-bin) is not installed";
  ASSERT_EQ(dump.status, 0) << dump.err;
  EXPECT_NE(dump.out.find("_Format = \"netCDF-4\""), std::string::npos);
  EXPECT_EQ(dump.out.find("_Filter"), std::string::npos);  // uncompressed
  for (const char* name :
       {"group: data", "group: ir_105", "group: nir_16", "group: measured", "ushort effective_radiance(y, x)",
        "effective_radiance:scale_factor", "effective_radiance:add_offset", "effective_radiance:_FillValue",
        "start_position_row", "end_position_row", "ushort x(x)", "ushort y(y)", "pixel_quality(y, x)",
        "index_map(y, x)", "radiance_to_bt_conversion_coefficient_wavenumber",
        "radiance_to_bt_conversion_coefficient_a", "radiance_to_bt_conversion_coefficient_b",
        "radiance_to_bt_conversion_constant_c1", "radiance_to_bt_conversion_constant_c2",
        "radiance_unit_conversion_coefficient", "channel_effective_solar_irradiance", "mtg_geos_projection",
        "semi_major_axis", "inverse_flattening", "perspective_point_height", "longitude_of_projection_origin",
        "sweep_angle_axis", "group: state", "group: celestial", "earth_sun_distance"})
    EXPECT_NE(dump.out.find(name), std::string::npos) << name;
}

TEST(FciSynthCli, InfoAndChannelReadWhatSynthWrote) {
  TestTempDir dir;
  CliRun r = Cli({"synth", "--satellite", "MTG-I1", "--out", dir.path(), "--slot", SLOT, "--rect", "2000,2780,8,6",
               "--channels", "ir_105", "--compress", "--land", "builtin"});
  ASSERT_EQ(r.status, 0) << r.err;
  const FciCycle c = FciFindCycle(dir.path().c_str(), SLOT);
  ASSERT_FALSE(c.body[19].empty());
  CliRun info = Cli({"info", c.body[19]});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("chunk 20"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("ir_105  rows 2645..2784  columns 5568  JPEG-LS"), std::string::npos) << info.out;
  CliRun json = Cli({"info", c.body[19], "--json"});
  EXPECT_NE(json.out.find("{\"channel\":\"ir_105\",\"first_row\":2645,\"last_row\":2784"), std::string::npos)
      << json.out;

  const std::string pgm = dir.file("out.pgm"), png = dir.file("out.png");
  // The channel name alone chooses FCI; the window spans chunks 20 and 21.
  CliRun ch = Cli({"channel", "--data", dir.path(), "--slot", SLOT, "--channel", "ir_105", "--rect", "2000,2780,8,6",
                "-o", pgm, "--display", png, "--at", "3,4"});
  ASSERT_EQ(ch.status, 0) << ch.err;
  EXPECT_NE(ch.out.find("ir_105: 8x6 counts, window 2000,2780 8x6, 2 chunk files"), std::string::npos) << ch.out;
  int32_t win[4] = {2000, 2780, 8, 6};
  auto img = FciLoadWindow(dir.path().c_str(), SLOT, FciChannelIndex("ir_105"), win);
  ASSERT_TRUE(img);
  char want[96];
  std::snprintf(want, sizeof want, "at 3,4: count %u value %.4f", unsigned(img->counts.at<uint16_t>(4, 3)),
                double(img->values.at<float>(4, 3)));
  EXPECT_NE(ch.out.find(want), std::string::npos) << ch.out;
  std::ifstream in(pgm, std::ios::binary);
  std::string head;
  std::getline(in, head);
  EXPECT_EQ(head, "P5");
  EXPECT_TRUE(g_file_test(png.c_str(), G_FILE_TEST_IS_REGULAR));
}

}  // namespace
