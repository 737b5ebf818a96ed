// nubicorn-cli channel / composite --geotiff on generated cycles, checked with GDAL's own tools:
// the file's CRS and geotransform, and at three places the pixel GDAL finds and its value
// against the pixel the program computes and the counts it exports.
#include <gtest/gtest.h>
#include <glib.h>
#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/cli.h"
#include "tests/support/cycles.h"
#include "tests/support/tempdir.h"

namespace {

// The SEVIRI grid at the sub-satellite point, and the MSG ellipsoid and height.
constexpr double PIXEL = 3000.403165817;
constexpr double A = 6378169.0, B = 6356583.8, HEIGHT = 35785831.0;

// The numbers of the JSON array that follows "key": in text.
std::vector<double> JsonArray(const std::string& text, const std::string& key) {
  std::vector<double> v;
  const size_t at = text.find("\"" + key + "\":[");
  if (at == std::string::npos) return v;
  const size_t end = text.find(']', at);
  std::istringstream in(text.substr(at + key.size() + 4, end - at - key.size() - 4));
  std::string item;
  while (std::getline(in, item, ',')) v.push_back(std::stod(item));
  return v;
}

// The first number after `prefix` in text, NaN when absent.
double NumberAfter(const std::string& text, const std::string& prefix) {
  const size_t at = text.find(prefix);
  if (at == std::string::npos) return NAN;
  return std::stod(text.substr(at + prefix.size()));
}

struct Place {
  const char* name;
  double lat, lon;
};

struct Satellite {
  const char* label;
  Sat sat;
  const char* slot;
  double sub_lon;
  Place places[3];
};

const Satellite SATELLITES[] = {
    {"FullDisk", Sat{3, SatService::Full}, "201607041200", 0.0,
     {{"Vienna", 48.21, 16.37}, {"Budapest", 47.50, 19.04}, {"Zagreb", 45.81, 15.98}}},
    {"RapidScan", Sat{3, SatService::Rapid}, "202204040740", 9.5,
     {{"Munich", 48.14, 11.58}, {"Milan", 45.46, 9.19}, {"Zurich", 47.37, 8.54}}},
    {"IndianOcean", Sat{2, SatService::Iodc}, "201607041200", 45.5,
     {{"Tashkent", 41.31, 69.28}, {"Almaty", 43.24, 76.89}, {"Bishkek", 42.88, 74.60}}},
};

class CliGeotiff : public ::testing::TestWithParam<Satellite> {
 protected:
  TestTempDir dir;

  static std::string Data(const Satellite& s) {
    return testcycles::Cached("test-cycles-geotiff", s.slot, 11, false, s.sat);
  }

  // The program's image position (x = 3712 - column, y = 3712 - line) of a place.
  static bool ToPixel(const Place& p, double sub_lon, double* x, double* y) {
    char lat[32], lon[32], sl[32];
    g_ascii_formatd(lat, sizeof lat, "%.6f", p.lat);
    g_ascii_formatd(lon, sizeof lon, "%.6f", p.lon);
    g_ascii_formatd(sl, sizeof sl, "%.6f", sub_lon);
    const CliRun r = Cli({"geo", "to-pixel", lat, lon, sl});
    return r.status == 0 && std::sscanf(r.out.c_str(), "%lf %lf", x, y) == 2;
  }

  // A window around the places' pixels, with a margin of 5.
  static void Window(const Satellite& s, int32_t w[4]) {
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (const Place& p : s.places) {
      double x = 0, y = 0;
      ASSERT_TRUE(ToPixel(p, s.sub_lon, &x, &y)) << p.name;
      x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    }
    w[0] = int32_t(std::floor(x0)) - 5;
    w[1] = int32_t(std::floor(y0)) - 5;
    w[2] = int32_t(std::ceil(x1)) + 6 - w[0];
    w[3] = int32_t(std::ceil(y1)) + 6 - w[1];
    ASSERT_GE(w[1], 0);
    ASSERT_LE(w[1] + w[3], 928) << "the places must lie on the northern strip";
  }

  // gdalinfo's size, geotransform and CRS of file against the window, scale (1, or 3 for HRV and
  // composites) and the satellite's longitude.
  static void CheckInfo(const std::string& file, const int32_t w[4], int scale, double sub_lon) {
    CliRun r = SpawnRun({"gdalinfo", "-json", "-proj4", file});
    ASSERT_EQ(r.status, 0) << r.err;
    // Blanks out, and the CRS text's escaped quotes (\") as plain ones.
    std::string j;
    for (char c : r.out)
      if (c != ' ' && c != '\n') j += c;
    for (size_t at = 0; (at = j.find("\\\"", at)) != std::string::npos; at++) j.erase(at, 1);
    const std::vector<double> size = JsonArray(j, "size");
    ASSERT_EQ(size.size(), 2u);
    EXPECT_EQ(size[0], w[2] * scale);
    EXPECT_EQ(size[1], w[3] * scale);
    const std::vector<double> gt = JsonArray(j, "geoTransform");
    ASSERT_EQ(gt.size(), 6u);
    // Pixel x of the 3712 image has its centre at x - 1856 pixels east of the sub-satellite
    // point: the window's first pixel starts half a pixel before its centre.
    EXPECT_NEAR(gt[0], (w[0] - 1856.5) * PIXEL, 1.0);
    EXPECT_NEAR(gt[1], PIXEL / scale, 1e-3);
    EXPECT_EQ(gt[2], 0.0);
    EXPECT_NEAR(gt[3], (1856.5 - w[1]) * PIXEL, 1.0);
    EXPECT_EQ(gt[4], 0.0);
    EXPECT_NEAR(gt[5], -PIXEL / scale, 1e-3);
    EXPECT_NE(j.find("METHOD[\"GeostationarySatellite(SweepY)\"]"), std::string::npos);
    EXPECT_NEAR(NumberAfter(j, "PARAMETER[\"Longitudeofnaturalorigin\","), sub_lon, 1e-9);
    EXPECT_NEAR(NumberAfter(j, "PARAMETER[\"SatelliteHeight\","), HEIGHT, 1e-6);
    const size_t e = j.find("ELLIPSOID[");
    ASSERT_NE(e, std::string::npos);
    const size_t comma = j.find(',', e);
    const double a = std::stod(j.substr(comma + 1));
    const double rf = std::stod(j.substr(j.find(',', comma + 1) + 1));
    EXPECT_NEAR(a, A, 1e-6);
    EXPECT_NEAR(a * (1 - 1 / rf), B, 1e-3);
    EXPECT_NE(j.find("+proj=geos"), std::string::npos);
  }

  // For each place: the pixel gdallocationinfo finds, and its values (one per band).
  static void Locate(const std::string& file, const Satellite& s, std::vector<std::pair<int, int>>* at,
                     std::vector<std::vector<int>>* values) {
    std::string input;
    for (const Place& p : s.places) {
      char buf[80];
      g_ascii_formatd(buf, 32, "%.6f", p.lon);
      input += std::string(buf) + " ";
      g_ascii_formatd(buf, 32, "%.6f", p.lat);
      input += std::string(buf) + "\n";
    }
    CliRun r = SpawnRun({"gdallocationinfo", "-wgs84", "-xml", file}, SpawnInput(input));
    ASSERT_EQ(r.status, 0) << r.err;
    for (size_t k = 0; (k = r.out.find("<Report pixel=\"", k)) != std::string::npos; k++) {
      int pixel = 0, line = 0;
      if (std::sscanf(r.out.c_str() + k, "<Report pixel=\"%d\" line=\"%d\"", &pixel, &line) == 2)
        at->push_back({pixel, line});
    }
    r = SpawnRun({"gdallocationinfo", "-wgs84", "-valonly", file}, SpawnInput(input));
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::vector<int> all;
    while (std::getline(lines, line))
      if (!line.empty()) all.push_back(std::stoi(line));
    ASSERT_EQ(at->size(), 3u) << r.out;
    ASSERT_EQ(all.size() % 3, 0u);
    const size_t bands = all.size() / 3;
    for (size_t k = 0; k < 3; k++) values->emplace_back(all.begin() + long(k * bands), all.begin() + long((k + 1) * bands));
  }
};

TEST_P(CliGeotiff, ChannelAndHrvLandWhereTheProgramPutsThem) {
  const Satellite& s = GetParam();
  const std::string data = Data(s);
  ASSERT_FALSE(data.empty());
  int32_t w[4];
  ASSERT_NO_FATAL_FAILURE(Window(s, w));
  const std::string rect = std::to_string(w[0]) + "," + std::to_string(w[1]) + "," + std::to_string(w[2]) + "," +
                           std::to_string(w[3]);
  for (const char* channel : {"IR_108", "HRV"}) {
    SCOPED_TRACE(channel);
    const bool hrv = std::string(channel) == "HRV";
    const int scale = hrv ? 3 : 1;
    const std::string pgm = dir.file(std::string(channel) + ".pgm"), tif = dir.file(std::string(channel) + ".tif");
    CliRun r = Cli({"channel", "--data", data, "--slot", s.slot, "--channel", channel, "--rect", rect, "-o", pgm,
                 "--geotiff", tif});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_NO_FATAL_FAILURE(CheckInfo(tif, w, scale, s.sub_lon));
    const cv::Mat counts = ReadPgm16(pgm);
    ASSERT_EQ(counts.size(), cv::Size(w[2] * scale, w[3] * scale));
    std::vector<std::pair<int, int>> at;
    std::vector<std::vector<int>> values;
    ASSERT_NO_FATAL_FAILURE(Locate(tif, s, &at, &values));
    for (int k = 0; k < 3; k++) {
      const Place& p = s.places[k];
      double x = 0, y = 0;
      ASSERT_TRUE(ToPixel(p, s.sub_lon, &x, &y));
      // Window pixel i has its centre at x = w[0] + i; HRV pixel i at w[0] + (i - 1) / 3.
      const int i = int(std::lround((x - w[0]) * scale + (scale - 1) / 2));
      const int j = int(std::lround((y - w[1]) * scale + (scale - 1) / 2));
      EXPECT_EQ(at[k], std::make_pair(i, j)) << p.name << " at image " << x << "," << y;
      ASSERT_EQ(values[k].size(), 1u);
      EXPECT_EQ(values[k][0], counts.at<uint16_t>(j, i)) << p.name;
      EXPECT_GT(values[k][0], 0) << p.name << " lies on the Earth";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Satellites, CliGeotiff, ::testing::ValuesIn(SATELLITES),
                         [](const auto& info) { return std::string(info.param.label); });

// A composite is written as its RGB image on the three-times finer grid.
TEST_F(CliGeotiff, CompositeIsItsRgbImage) {
  const Satellite& s = SATELLITES[0];
  const std::string data = Data(s);
  ASSERT_FALSE(data.empty());
  int32_t w[4];
  ASSERT_NO_FATAL_FAILURE(Window(s, w));
  const std::string rect = std::to_string(w[0]) + "," + std::to_string(w[1]) + "," + std::to_string(w[2]) + "," +
                           std::to_string(w[3]);
  const std::string png = dir.file("n.png"), tif = dir.file("n.tif");
  CliRun r = Cli({"composite", "--data", data, "--slot", s.slot, "--recipe", "Natural", "--rect", rect, "-o", png,
               "--geotiff", tif});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_NO_FATAL_FAILURE(CheckInfo(tif, w, 3, s.sub_lon));
  const cv::Mat bgr = cv::imread(png, cv::IMREAD_COLOR);
  ASSERT_EQ(bgr.size(), cv::Size(w[2] * 3, w[3] * 3));
  std::vector<std::pair<int, int>> at;
  std::vector<std::vector<int>> values;
  ASSERT_NO_FATAL_FAILURE(Locate(tif, s, &at, &values));
  for (int k = 0; k < 3; k++) {
    const cv::Vec3b px = bgr.at<cv::Vec3b>(at[k].second, at[k].first);
    EXPECT_EQ(values[k], (std::vector<int>{px[2], px[1], px[0]})) << s.places[k].name;
  }
}

// Without the module the export fails with the reason, and the file the user named stays as it was.
TEST_F(CliGeotiff, MissingModuleFailsClearlyAndKeepsTheOldFile) {
  const std::string data = Data(SATELLITES[0]);
  ASSERT_FALSE(data.empty());
  const std::string tif = dir.file("old.tif");
  std::ofstream(tif) << "earlier";
  CliRun r = Cli({"channel", "--data", data, "--slot", SATELLITES[0].slot, "--channel", "9", "--rect", "2710,464,92,60",
               "-o", dir.file("c.pgm"), "--geotiff", tif},
              SpawnEnv({"NUBICORN_GEOTIFF_MODULE=" + dir.file("missing.so")}));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot load the GeoTIFF module (GDAL)"), std::string::npos) << r.err;
  std::ifstream in(tif);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "earlier");
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(e.path().filename().string().find(".nubicorn-"), std::string::npos) << "temporary file left";
}

// Only a GeoTIFF export maps the module and libgdal, and nothing maps the other libraries of
// the formats only some commands write or read (netCDF/HDF5 come in the FCI module): the CLI
// links none of OpenCV's codecs, which would bring GDAL in at every start.
TEST(CliGeotiffLoading, OnlyTheExportLoadsGdal) {
  TestTempDir dir;
  const std::string data = testcycles::Cached("test-cycles-geotiff", "201607041200", 11, false);
  ASSERT_FALSE(data.empty());
  const std::vector<std::string> channel = {"channel", "--data", data, "--slot", "201607041200", "--channel", "9",
                                            "--rect", "2710,464,92,60", "-o", dir.file("c.pgm")};
  std::vector<std::string> geotiff = channel;
  geotiff.insert(geotiff.end(), {"--geotiff", dir.file("c.tif")});
  const std::vector<std::string> cases[] = {{"--version"}, {"geo", "to-pixel", "45", "10"}, channel, geotiff};
  for (const auto& args : cases) {
    const bool export_geotiff = args.size() == geotiff.size();
    SCOPED_TRACE(args[0] + (export_geotiff ? " --geotiff" : ""));
    const CliRun r = Cli(args, SpawnEnv({"LD_DEBUG=files"}));
    ASSERT_EQ(r.status, 0) << r.err;
    // LD_DEBUG names every object the loader maps, including those opened with dlopen.
    EXPECT_EQ(r.err.find("file=" + std::string(NUBICORN_BINARY_DIR) + "/nubicorn-geotiff.so") != std::string::npos,
              export_geotiff);
    EXPECT_EQ(r.err.find("file=libgdal") != std::string::npos, export_geotiff);
    if (export_geotiff) continue;
    for (const char* lib : {"libnetcdf", "libhdf5", "libcurl", "libopencv_imgcodecs"})
      EXPECT_EQ(r.err.find(std::string("file=") + lib), std::string::npos) << lib;
  }
}

}  // namespace
