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
#include <string>
#include <vector>

#include "tests/support/cli.h"
#include "tests/support/cycles.h"
#include "tests/support/tempdir.h"

namespace {

// The SEVIRI grid at the sub-satellite point, and the MSG ellipsoid and height.
constexpr double PIXEL = 3000.403165817;
constexpr double A = 6378169.0, B = 6356583.8, HEIGHT = 35785831.0;

// sscanf of text from the first `key` on; 0 when key is missing.
template <class... T>
int ScanAfter(const std::string& text, const std::string& key, const char* format, T*... values) {
  const size_t at = text.find(key);
  return at == std::string::npos ? 0 : std::sscanf(text.c_str() + at, format, values...);
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

  static std::string Rect(const int32_t w[4]) {
    return std::to_string(w[0]) + "," + std::to_string(w[1]) + "," + std::to_string(w[2]) + "," + std::to_string(w[3]);
  }
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
    const CliRun r = SpawnRun({"gdalinfo", "-proj4", file});
    ASSERT_EQ(r.status, 0) << r.err;
    int width = 0, height = 0;
    double x0 = 0, y0 = 0, dx = 0, dy = 0, lon = 0, h = 0, a = 0, rf = 0;
    ASSERT_EQ(ScanAfter(r.out, "Size is", "Size is %d, %d", &width, &height), 2) << r.out;
    EXPECT_EQ(width, w[2] * scale);
    EXPECT_EQ(height, w[3] * scale);
    // Pixel x of the 3712 image has its centre at x - 1856 pixels east of the sub-satellite
    // point: the window's first pixel starts half a pixel before its centre.
    ASSERT_EQ(ScanAfter(r.out, "Origin =", "Origin = (%lf,%lf)", &x0, &y0), 2) << r.out;
    ASSERT_EQ(ScanAfter(r.out, "Pixel Size =", "Pixel Size = (%lf,%lf)", &dx, &dy), 2) << r.out;
    EXPECT_NEAR(x0, (w[0] - 1856.5) * PIXEL, 1.0);
    EXPECT_NEAR(y0, (1856.5 - w[1]) * PIXEL, 1.0);
    EXPECT_NEAR(dx, PIXEL / scale, 1e-3);
    EXPECT_NEAR(dy, -PIXEL / scale, 1e-3);
    // The geostationary view (sweeping the y axis, PROJ's default) from the MSG height over the
    // MSG ellipsoid.
    ASSERT_EQ(ScanAfter(r.out, "'+proj=geos", "'+proj=geos +lon_0=%lf +h=%lf +x_0=0 +y_0=0 +a=%lf +rf=%lf", &lon,
                        &h, &a, &rf), 4) << r.out;
    EXPECT_EQ(r.out.find("+sweep=x"), std::string::npos);
    EXPECT_NEAR(lon, sub_lon, 1e-9);
    EXPECT_NEAR(h, HEIGHT, 1e-6);
    EXPECT_NEAR(a, A, 1e-6);
    EXPECT_NEAR(a * (1 - 1 / rf), B, 1e-3);
  }

  // For each place, the pixel gdallocationinfo finds and its values (one per band).
  static void Locate(const std::string& file, const Satellite& s, std::vector<std::pair<int, int>>* at,
                     std::vector<std::vector<int>>* values) {
    for (const Place& p : s.places) {
      const CliRun r =
          SpawnRun({"gdallocationinfo", "-wgs84", "-xml", file, std::to_string(p.lon), std::to_string(p.lat)});
      ASSERT_EQ(r.status, 0) << r.err;
      int pixel = 0, line = 0, v = 0;
      ASSERT_EQ(ScanAfter(r.out, "<Report ", "<Report pixel=\"%d\" line=\"%d\"", &pixel, &line), 2) << r.out;
      at->push_back({pixel, line});
      values->emplace_back();
      for (size_t b = 0; (b = r.out.find("<Value>", b)) != std::string::npos; b++)
        if (std::sscanf(r.out.c_str() + b, "<Value>%d", &v) == 1) values->back().push_back(v);
    }
  }
};

// IR 10.8, HRV and a composite (its RGB image on the three-times finer grid, as HRV).
TEST_P(CliGeotiff, ChannelHrvAndCompositeLandWhereTheProgramPutsThem) {
  const Satellite& s = GetParam();
  const std::string data = Data(s);
  ASSERT_FALSE(data.empty());
  int32_t w[4];
  ASSERT_NO_FATAL_FAILURE(Window(s, w));
  for (const std::string product : {"IR_108", "HRV", "Natural"}) {
    SCOPED_TRACE(product);
    const bool channel = product != "Natural";
    const int scale = product == "IR_108" ? 1 : 3;
    const std::string image = dir.file(channel ? "c.pgm" : "c.png"), tif = dir.file(product + ".tif");
    const CliRun r = Cli({channel ? "channel" : "composite", "--data", data, "--slot", s.slot,
                          channel ? "--channel" : "--recipe", product, "--rect", Rect(w), "-o", image, "--geotiff", tif});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_NO_FATAL_FAILURE(CheckInfo(tif, w, scale, s.sub_lon));
    const cv::Mat m = channel ? ReadPgm16(image) : cv::imread(image, cv::IMREAD_COLOR);
    ASSERT_EQ(m.size(), cv::Size(w[2] * scale, w[3] * scale));
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
      ASSERT_EQ(at[k], std::make_pair(i, j)) << p.name << " at image " << x << "," << y;
      const cv::Vec3b bgr = channel ? cv::Vec3b() : m.at<cv::Vec3b>(j, i);
      const std::vector<int> want =
          channel ? std::vector<int>{m.at<uint16_t>(j, i)} : std::vector<int>{bgr[2], bgr[1], bgr[0]};
      EXPECT_EQ(values[k], want) << p.name;
      EXPECT_GT(values[k][0], 0) << p.name << " lies on the Earth";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Satellites, CliGeotiff, ::testing::ValuesIn(SATELLITES),
                         [](const auto& info) { return std::string(info.param.label); });

// Without the module the export fails with the reason, and the file the user named stays as it was.
TEST_F(CliGeotiff, MissingModuleFailsClearlyAndKeepsTheOldFile) {
  const std::string data = Data(SATELLITES[0]);
  ASSERT_FALSE(data.empty());
  const std::string tif = dir.file("old.tif");
  std::ofstream(tif) << "earlier";
  CliRun r = Cli({"channel", "--data", data, "--slot", SATELLITES[0].slot, "--channel", "9", "--rect", "2710,464,92,60",
               "-o", dir.file("c.pgm"), "--geotiff", tif},
              SpawnOptions{{"NUBICORN_GEOTIFF_MODULE=" + dir.file("missing.so")}});
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
    const CliRun r = Cli(args, SpawnOptions{{"LD_DEBUG=files"}});
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
