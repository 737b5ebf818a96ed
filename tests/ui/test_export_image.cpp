// "Export image" driven through its handler: the shown layer as GeoTIFF and PNG in
// export/Image, numbered instead of overwriting, with the files named in the status bar.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "canvas/canvimage.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_canvas_support.h"

namespace {

using canvtest::CanvasTest;

using canvtest::IR108;
using canvtest::NATURAL;
using canvtest::SLOT_A;

constexpr int HRV = 12;
constexpr double PIXEL = 3000.403165817;

// The geotransform gdalinfo reads from file, empty when it cannot.
std::vector<double> GeoTransform(const std::string& file) {
  gchar* out = nullptr;
  gint status = 0;
  const std::string cmd = "gdalinfo -json '" + file + "'";
  std::vector<double> gt;
  if (g_spawn_command_line_sync(cmd.c_str(), &out, nullptr, &status, nullptr) && WIFEXITED(status) &&
      WEXITSTATUS(status) == 0) {
    std::string j;
    for (const char* p = out; *p; p++)
      if (*p != ' ' && *p != '\n') j += *p;
    const size_t at = j.find("\"geoTransform\":[");
    if (at != std::string::npos) {
      std::string list = j.substr(at + 16, j.find(']', at) - at - 16);
      gchar** items = g_strsplit(list.c_str(), ",", -1);
      for (gchar** i = items; *i; i++) gt.push_back(g_ascii_strtod(*i, nullptr));
      g_strfreev(items);
    }
  }
  g_free(out);
  return gt;
}

// The image file holds exactly want (an RGB image is read back in OpenCV's BGR order).
void ExpectImage(const std::string& file, int flags, const cv::Mat& want) {
  cv::Mat got = cv::imread(file, flags);
  if (got.channels() == 3) cv::cvtColor(got, got, cv::COLOR_BGR2RGB);
  ASSERT_EQ(got.type(), want.type()) << file;
  ASSERT_EQ(got.size(), want.size()) << file;
  EXPECT_EQ(cv::norm(got, want, cv::NORM_INF), 0) << file;
}

class ExportImage : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    if (IsSkipped()) return;
    // The tests run from build/tests; the module sits beside the programs in build.
    g_setenv("NUBICORN_GEOTIFF_MODULE", (std::string(NUBICORN_BINARY_DIR) + "/nubicorn-geotiff.so").c_str(), TRUE);
    Open({SLOT_A});
  }
  void TearDown() override {
    g_unsetenv("NUBICORN_GEOTIFF_MODULE");
    CanvasTest::TearDown();
  }
  std::string Dir() { return home / "export/Image"; }
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    if (std::filesystem::exists(Dir()))
      for (const auto& e : std::filesystem::directory_iterator(Dir())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  void Export() {
    CanvExportImage(nullptr, nullptr);
    uitest::Drain();
  }
};

TEST_F(ExportImage, CompositeThenAgainWithANumberedName) {
  Select(NATURAL);
  Layer* layer = SlotAt(0)[NATURAL];
  ASSERT_NE(layer, nullptr);
  const cv::Mat display = layer->images[1].clone();
  ASSERT_FALSE(display.empty());
  ASSERT_FALSE(uitest::Exists(Dir()));  // made by the export
  Export();
  const std::string stem = std::string("Natural-") + SLOT_A;
  EXPECT_TRUE(StatusHas("Exported " + stem + ".tif and .png to " + Dir())) << (status.empty() ? "" : status.back());
  ASSERT_EQ(Files(), (std::vector<std::string>{stem + ".png", stem + ".tif"}));
  const std::string first_tif = uitest::ReadFile(Dir() + "/" + stem + ".tif");
  const std::string first_png = uitest::ReadFile(Dir() + "/" + stem + ".png");

  // The GeoTIFF holds the RGB image, placed on the window's grid three times finer.
  ExpectImage(Dir() + "/" + stem + ".tif", cv::IMREAD_UNCHANGED, display);
  ExpectImage(Dir() + "/" + stem + ".png", cv::IMREAD_COLOR, display);
  const std::vector<double> gt = GeoTransform(Dir() + "/" + stem + ".tif");
  ASSERT_EQ(gt.size(), 6u);
  EXPECT_NEAR(gt[0], (conf.rect_x - 1856.5) * PIXEL, 1.0);
  EXPECT_NEAR(gt[3], (1856.5 - conf.rect_y) * PIXEL, 1.0);
  EXPECT_NEAR(gt[1], PIXEL / 3, 1e-3);

  // Again: new names, the first export untouched.
  Export();
  EXPECT_TRUE(StatusHas("Exported " + stem + "-2.tif and .png to " + Dir()));
  EXPECT_EQ(Files(), (std::vector<std::string>{stem + "-2.png", stem + "-2.tif", stem + ".png", stem + ".tif"}));
  EXPECT_EQ(uitest::ReadFile(Dir() + "/" + stem + ".tif"), first_tif);
  EXPECT_EQ(uitest::ReadFile(Dir() + "/" + stem + ".png"), first_png);
  // A PNG of someone else's under the next name moves the export on to -4 as a pair.
  uitest::TempHome::Write(Dir() + "/" + stem + "-3.png", "mine");
  Export();
  EXPECT_TRUE(StatusHas("Exported " + stem + "-4.tif and .png to " + Dir()));
  EXPECT_FALSE(uitest::Exists(Dir() + "/" + stem + "-3.tif"));
  EXPECT_EQ(uitest::ReadFile(Dir() + "/" + stem + "-3.png"), "mine");
}

// Channels export their counts, 16-bit, on their own grid (HRV three times finer).
TEST_F(ExportImage, ChannelsExportTheirCounts) {
  for (int id : {IR108, HRV}) {
    SCOPED_TRACE(id);
    Select(id);
    Layer* layer = SlotAt(0)[id];
    ASSERT_NE(layer, nullptr);
    Export();
    const std::string stem = std::string(id == HRV ? "HRV-" : "IR_108-") + SLOT_A;
    EXPECT_TRUE(StatusHas("Exported " + stem + ".tif and .png to " + Dir()));
    ExpectImage(Dir() + "/" + stem + ".tif", cv::IMREAD_UNCHANGED, layer->images[0]);
    const std::vector<double> gt = GeoTransform(Dir() + "/" + stem + ".tif");
    ASSERT_EQ(gt.size(), 6u);
    EXPECT_NEAR(gt[1], id == HRV ? PIXEL / 3 : PIXEL, 1e-3);
  }
}

TEST_F(ExportImage, FailuresSayWhyAndLeaveNoFile) {
  Export();  // nothing shown
  EXPECT_TRUE(StatusHas("Export image: no layer is shown"));
  EXPECT_TRUE(Files().empty());
  Select(IR108);
  g_setenv("NUBICORN_GEOTIFF_MODULE", (home / "missing.so").c_str(), TRUE);
  LogCapture log;
  Export();
  ASSERT_FALSE(status.empty());
  EXPECT_EQ(status.back().rfind("Export image Error! cannot load the GeoTIFF module (GDAL)", 0), 0u) << status.back();
  EXPECT_TRUE(Files().empty());  // no temporary file either
}

}  // namespace
