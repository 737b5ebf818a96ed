// Selection by colour and "Save selected": the marked set at the band edges (hue wrap, range 0
// and 90, grey mode), the red outlines, the pristine copy, and the export file with longitude and
// latitude checked against an independent model of the viewing geometry.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <opencv2/imgproc.hpp>

#include "canvas/canvexport.h"
#include "canvas/canvselect.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_canvas_support.h"

namespace {

using canvtest::CanvasTest;

constexpr const char* SLOT_A = "201607041200";
constexpr int IR108 = 9;
constexpr int NATURAL = RECIPE_FIRST_ID + 3;

// The hue rule written out with doubles: h = hue * 255/360, band [h - r, h + r] cut to 0..255
// and wrapped once at 255 (colour mode only).
bool Marked(double value, double hue, int r, bool grey) {
  const double h = hue * 255.0 / 360.0;
  if (value >= std::max(0.0, h - r) && value <= std::min(255.0, h + r)) return true;
  if (grey) return false;
  if (h - r < 0) return value >= h - r + 255;
  if (h + r > 255) return value <= h + r - 255;
  return false;
}

// An RGB image of the whole colour circle at full saturation and value: one row per sixth,
// 256 steps each, finer than the 256 hue values, so every hue value appears.
cv::Mat HueWheel() {
  cv::Mat rgb(6, 256, CV_8UC3);
  for (int x = 0; x < 256; x++) {
    const uint8_t u = uint8_t(x), d = uint8_t(255 - x);
    rgb.at<cv::Vec3b>(0, x) = {255, u, 0};
    rgb.at<cv::Vec3b>(1, x) = {d, 255, 0};
    rgb.at<cv::Vec3b>(2, x) = {0, 255, u};
    rgb.at<cv::Vec3b>(3, x) = {0, d, 255};
    rgb.at<cv::Vec3b>(4, x) = {u, 0, 255};
    rgb.at<cv::Vec3b>(5, x) = {255, 0, d};
  }
  return rgb;
}

// The hue OpenCV reads back from each pixel of rgb: the value the rule is applied to.
cv::Mat HueOf(const cv::Mat& rgb) {
  cv::Mat hsv, h;
  cv::cvtColor(rgb, hsv, cv::COLOR_RGB2HSV_FULL);
  cv::extractChannel(hsv, h, 0);
  return h;
}

int CountDiff(const cv::Mat& a, const cv::Mat& b) {
  cv::Mat d;
  cv::absdiff(a.reshape(1), b.reshape(1), d);
  return cv::countNonZero(d);
}

TEST(SelectBands, ColourMaskFollowsTheHueRuleAtEveryValue) {
  const cv::Mat rgb = HueWheel();
  const cv::Mat hue = HueOf(rgb);
  // The wheel must hold the values at the edges of the bands below, or the test proves little.
  for (int v : {0, 1, 10, 11, 37, 38, 127, 128, 217, 218, 244, 245, 255})
    ASSERT_GT(cv::countNonZero(hue == v), 0) << v;
  struct Case {
    double hue;
    int range;
  };
  for (Case c : {Case{0, 10}, Case{360, 10}, Case{180, 0}, Case{180, 90}, Case{90, 45}, Case{355, 20},
                 Case{7, 5}, Case{0, 0}, Case{360, 90}}) {
    std::array<cv::Mat, 3> images{cv::Mat(), rgb.clone(), cv::Mat()};
    cv::Mat mask;
    ASSERT_EQ(LayerSelectColor(images, c.hue, c.range, FALSE, &mask), SelectResult::Done);
    ASSERT_EQ(mask.type(), CV_8UC1);
    int marked = 0;
    for (int y = 0; y < hue.rows; y++)
      for (int x = 0; x < hue.cols; x++) {
        const bool want = Marked(hue.at<uint8_t>(y, x), c.hue, c.range, false);
        EXPECT_EQ(mask.at<uint8_t>(y, x) != 0, want) << "hue " << c.hue << " range " << c.range << " value "
                                                      << int(hue.at<uint8_t>(y, x));
        marked += want;
      }
    if (c.hue == 0 && c.range == 10) {
      int values = 0;  // distinct hue values marked: 0..10 and 245..255
      for (int v = 0; v < 256; v++) values += cv::countNonZero(mask & (hue == v)) > 0;
      EXPECT_EQ(values, 11 + 11);
    }
    if (c.hue == 180 && c.range == 0) {
      EXPECT_EQ(marked, 0);  // band [127.5, 127.5]
    }
  }
}

TEST(SelectBands, GreyModeIsALevelThresholdWithoutWrap) {
  cv::Mat rgb(2, 256, CV_8UC3);
  for (int x = 0; x < 256; x++) rgb.col(x).setTo(cv::Scalar(x, x, x));
  struct Case {
    double hue;
    int range;
    int first, last;  // marked levels, first > last: none
  };
  for (Case c : {Case{180, 20, 108, 147}, Case{0, 10, 0, 10}, Case{360, 10, 245, 255}, Case{0, 0, 0, 0},
                 Case{360, 0, 255, 255}, Case{180, 0, 1, 0}, Case{180, 90, 38, 217}}) {
    std::array<cv::Mat, 3> images{cv::Mat(), rgb.clone(), cv::Mat()};
    cv::Mat mask;
    ASSERT_EQ(LayerSelectColor(images, c.hue, c.range, TRUE, &mask), SelectResult::Done);
    for (int x = 0; x < 256; x++)
      EXPECT_EQ(mask.at<uint8_t>(0, x) != 0, x >= c.first && x <= c.last) << c.hue << "/" << c.range << " level " << x;
  }
}

// A green square on a blue field: the outline of the square is red after selecting green, and
// gone again after selecting blue, because each selection starts from the pristine copy.
TEST(SelectBands, OutlinesAreRedAndNeverAccumulate) {
  cv::Mat rgb(40, 60, CV_8UC3, cv::Scalar(0, 0, 255));
  rgb(cv::Rect(20, 10, 15, 12)).setTo(cv::Scalar(0, 255, 0));
  const cv::Mat original = rgb.clone();
  std::array<cv::Mat, 3> images{cv::Mat(), rgb.clone(), cv::Mat()};
  cv::Mat mask;
  ASSERT_EQ(LayerSelectColor(images, 120, 10, FALSE, &mask), SelectResult::Done);
  EXPECT_EQ(cv::countNonZero(mask), 15 * 12);
  EXPECT_EQ(CountDiff(images[2], original), 0);
  const cv::Vec3b red(255, 0, 0), green(0, 255, 0);
  EXPECT_EQ(images[1].at<cv::Vec3b>(10, 20), red);   // corner of the square
  EXPECT_EQ(images[1].at<cv::Vec3b>(21, 34), red);   // opposite corner
  EXPECT_EQ(images[1].at<cv::Vec3b>(15, 27), green);  // inside
  EXPECT_EQ(images[1].at<cv::Vec3b>(5, 5), cv::Vec3b(0, 0, 255));
  // Every changed pixel is red and lies on the square's border.
  for (int y = 0; y < rgb.rows; y++)
    for (int x = 0; x < rgb.cols; x++)
      if (images[1].at<cv::Vec3b>(y, x) != original.at<cv::Vec3b>(y, x)) {
        EXPECT_EQ(images[1].at<cv::Vec3b>(y, x), red);
        EXPECT_TRUE(x == 20 || x == 34 || y == 10 || y == 21) << x << "," << y;
      }

  ASSERT_EQ(LayerSelectColor(images, 240, 10, FALSE, nullptr), SelectResult::Done);
  EXPECT_EQ(images[1].at<cv::Vec3b>(10, 20), green);  // the old outline went with the restore
  EXPECT_EQ(images[1].at<cv::Vec3b>(0, 0), red);       // the field's outer border is the new outline
  EXPECT_EQ(CountDiff(images[2], original), 0);
  // Restoring by hand gives the picture back exactly.
  images[2].copyTo(images[1]);
  EXPECT_EQ(CountDiff(images[1], original), 0);
}

TEST(SelectBands, RefusesWhatIsNoRgbImage) {
  std::array<cv::Mat, 3> images{cv::Mat(), cv::Mat(4, 4, CV_8UC1, cv::Scalar(0)), cv::Mat()};
  EXPECT_EQ(LayerSelectColor(images, 0, 10, FALSE, nullptr), SelectResult::NoImage);
  EXPECT_TRUE(images[2].empty());
}

// Grey has no hue (OpenCV calls it 0): colour mode never marks a grey pixel, and on an image
// without any colour it refuses and changes nothing; grey mode selects there as ever.
TEST(SelectBands, GreyPixelsHaveNoHue) {
  cv::Mat grey(8, 256, CV_8UC3);
  for (int x = 0; x < 256; x++) grey.col(x).setTo(cv::Scalar(x, x, x));
  cv::Mat mixed = grey.clone();
  mixed(cv::Rect(100, 2, 20, 4)).setTo(cv::Scalar(200, 10, 10));  // red: hue 0
  struct Case {
    const char* what;
    const cv::Mat& image;
    double hue;
    gboolean grey_mode;
    SelectResult want;
    int marked;  // pixels, when Done
  };
  for (const Case& c : {Case{"grey image, hue 0", grey, 0, FALSE, SelectResult::NoColour, 0},
                        Case{"grey image, hue 360", grey, 360, FALSE, SelectResult::NoColour, 0},
                        Case{"grey image, hue 180", grey, 180, FALSE, SelectResult::NoColour, 0},
                        Case{"grey image, grey mode", grey, 0, TRUE, SelectResult::Done, 8 * 11},
                        Case{"red on grey, hue 0", mixed, 0, FALSE, SelectResult::Done, 20 * 4},
                        Case{"red on grey, hue 180", mixed, 180, FALSE, SelectResult::Done, 0}}) {
    std::array<cv::Mat, 3> images{cv::Mat(), c.image.clone(), cv::Mat()};
    cv::Mat mask;
    EXPECT_EQ(LayerSelectColor(images, c.hue, 10, c.grey_mode, &mask), c.want) << c.what;
    if (c.want == SelectResult::Done) {
      EXPECT_EQ(cv::countNonZero(mask), c.marked) << c.what;
    } else {
      EXPECT_TRUE(mask.empty()) << c.what;
      EXPECT_TRUE(images[2].empty()) << c.what;
      EXPECT_EQ(CountDiff(images[1], c.image), 0) << c.what << ": no red frame";
    }
  }
}

// ---- export ----

// Independent viewing geometry: a ray from the satellite at 42164 km along +x, intersected with
// the ellipsoid a = 6378.169, b = 6356.5838; geodetic latitude from the surface normal.
bool RayToLatLon(double column, double line, double* lat, double* lon) {
  const double sx = (column - 1856.0) * 65536.0 / -781648333.0, sy = (line - 1856.0) * 65536.0 / -781648333.0;
  const double a = 6378.169, b = 6356.5838, h = 42164.0;
  const double dx = -std::cos(sx) * std::cos(sy), dy = std::sin(sx) * std::cos(sy), dz = -std::sin(sy);
  const double qa = (dx * dx + dy * dy) / (a * a) + dz * dz / (b * b);
  const double qb = 2 * h * dx / (a * a);
  const double qc = h * h / (a * a) - 1;
  const double disc = qb * qb - 4 * qa * qc;
  if (disc < 0) return false;
  const double t = (-qb - std::sqrt(disc)) / (2 * qa);
  const double px = h + t * dx, py = t * dy, pz = t * dz;
  *lon = std::atan2(py, px) * 180 / M_PI;
  *lat = std::atan2(pz / (b * b), std::hypot(px, py) / (a * a)) * 180 / M_PI;
  return true;
}

std::vector<std::string> Lines(const std::string& file) {
  std::ifstream in(file);
  std::vector<std::string> out;
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

class Export : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(home / "export/Selected"); }
  std::string Path() { return home / "export/Selected/201607041200.txt"; }
  uitest::TempHome home;
};

// Display pixel x covers a third of grid pixel: its centre lies at x/3 + 1/6 - 1/2 grid pixels.
TEST_F(Export, GridPositionIsTheCentreOfTheDisplayPixel) {
  double c = 0, l = 0;
  CanvExportGrid(1, 1, 2710, 464, &c, &l);  // the centre of grid pixel (0, 0) of the window
  EXPECT_DOUBLE_EQ(c, 3712 - 2710);
  EXPECT_DOUBLE_EQ(l, 3712 - 464);
  CanvExportGrid(4, 7, 2710, 464, &c, &l);
  EXPECT_DOUBLE_EQ(c, 3712 - 2710 - 1);
  EXPECT_DOUBLE_EQ(l, 3712 - 464 - 2);
  CanvExportGrid(0, 2, 0, 0, &c, &l);
  EXPECT_NEAR(c, 3712 + 1.0 / 3, 1e-12);
  EXPECT_NEAR(l, 3712 - 1.0 / 3, 1e-12);
}

TEST_F(Export, OneLinePerPixelWithLonLatOfTheGeometry) {
  // A window across the western limb: some pixels lie off the disc.
  const int rect_x = 3650, rect_y = 1826, w = 276, h = 180;
  cv::Mat mask(h, w, CV_8UC1, cv::Scalar(0));
  cv::circle(mask, {100, 90}, 40, cv::Scalar(255), cv::FILLED);
  std::string err;
  ASSERT_TRUE(CanvExportWrite(Path(), mask, rect_x, rect_y, &err)) << err;
  const auto lines = Lines(Path());
  ASSERT_EQ(lines.size(), size_t(w * h + 1));
  EXPECT_EQ(lines[0], "# Lon,Lat,Mask");
  int off = 0, on = 0;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      const std::string& s = lines[1 + size_t(y) * w + x];
      double lon = 0, lat = 0;
      int m = -1;
      ASSERT_EQ(std::sscanf(s.c_str(), "%lf,%lf,%d", &lon, &lat, &m), 3) << s;
      ASSERT_EQ(m, mask.at<uint8_t>(y, x) ? 1 : 0);
      // Column from the east: the window's left edge is the grid's west; a third of a pixel each.
      const double column = 3712 - rect_x - ((x + 0.5) / 3 - 0.5);
      const double line = 3712 - rect_y - ((y + 0.5) / 3 - 0.5);
      double want_lat = 0, want_lon = 0;
      if (!RayToLatLon(column, line, &want_lat, &want_lon)) {
        // Right at the limb the two models may disagree by a hair; elsewhere off the disc is 9999.
        if (s != "9999.000,9999.000," + std::to_string(m)) {
          EXPECT_LT(std::abs(column - 1856), 1813) << s;
        }
        off++;
        continue;
      }
      if (lon == 9999.0) continue;  // grazing ray
      on++;
      EXPECT_NEAR(lon, want_lon, 0.02) << x << "," << y;
      EXPECT_NEAR(lat, want_lat, 0.02) << x << "," << y;
    }
  EXPECT_GT(off, 1000);
  EXPECT_GT(on, 1000);
}

TEST_F(Export, FailureLeavesNoFileUnderTheName) {
  cv::Mat mask(6, 9, CV_8UC1, cv::Scalar(255));
  std::string err;
  EXPECT_FALSE(CanvExportWrite(home / "export/Missing/x.txt", mask, 2710, 464, &err));
  EXPECT_FALSE(err.empty());
  EXPECT_FALSE(uitest::Exists(home / "export/Missing"));
  // A name that is taken (here by a folder) is left alone: the export takes the next number.
  std::filesystem::create_directories(Path());
  err.clear();
  std::string written;
  EXPECT_TRUE(CanvExportWrite(Path(), mask, 2710, 464, &err, 0.0, &written)) << err;
  EXPECT_EQ(written, home / "export/Selected/201607041200-2.txt");
  EXPECT_TRUE(std::filesystem::is_directory(Path()));
  EXPECT_EQ(Lines(written).size(), 6u * 9 + 1);
  EXPECT_FALSE(CanvExportWrite(Path() + "2", cv::Mat(), 0, 0, &err));
  EXPECT_FALSE(uitest::Exists(Path() + "2"));
}

// A full disk, made with a file-size limit: the write fails part-way, the failure is reported,
// and neither the target name nor a temporary file is left.
TEST_F(Export, FullDiskIsReportedAsFailure) {
  cv::Mat mask(600, 1000, CV_8UC1, cv::Scalar(0));
  std::string err;
  // Without a limit the 1000 x 600 export (over 10 MB, several blocks) is complete.
  ASSERT_TRUE(CanvExportWrite(Path(), mask, 2300, 300, &err)) << err;
  EXPECT_EQ(Lines(Path()).size(), size_t(600 * 1000 + 1));
  std::filesystem::remove(Path());

  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 1 << 20;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool ok = CanvExportWrite(Path(), mask, 2300, 300, &err);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(ok);
  EXPECT_NE(err.find("cannot write"), std::string::npos) << err;
  EXPECT_TRUE(std::filesystem::is_empty(home / "export/Selected"));
}

// ---- the commands on a window ----

using uitest::DialogSeen;

class SelectWindow : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    if (IsSkipped()) return;
    canvtest::Link(home, SLOT_A);
    Build();
    ASSERT_TRUE(StartupDone());
    AddSlot(SLOT_A);
  }
  DialogSeen Save() {
    return uitest::Answered([] { CanvSaveSelected(nullptr, nullptr); });
  }
  void SetHueRange(double hue, int range) {
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(canv.sel_range), range);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(canv.sel_hue), hue);
    uitest::Drain();
  }
  // The "Select by color" button (the spin buttons select only when their value changes).
  void Click() {
    g_signal_emit_by_name(canv.btn_select, "clicked");
    uitest::Drain();
  }
};

TEST_F(SelectWindow, SpinButtonsSelectOnTheShownComposite) {
  Select(NATURAL);
  Layer* layer = SlotAt(0)[NATURAL];
  ASSERT_NE(layer, nullptr);
  const cv::Mat before = layer->images[1].clone();
  SetHueRange(40, 30);
  EXPECT_EQ(conf.selected_range, 30);
  ASSERT_FALSE(layer->images[2].empty());
  EXPECT_EQ(CountDiff(layer->images[2], before), 0);
  // The outlines: changed pixels are red and lie on the marked set.
  std::array<cv::Mat, 3> copy{cv::Mat(), before.clone(), cv::Mat()};
  cv::Mat mask;
  ASSERT_EQ(LayerSelectColor(copy, 40, 30, FALSE, &mask), SelectResult::Done);
  ASSERT_GT(cv::countNonZero(mask), 0);
  // The outline follows the approximated contour, at most a pixel or two off the marked set.
  cv::Mat near;
  cv::dilate(mask, near, cv::Mat::ones(5, 5, CV_8UC1));
  int changed = 0;
  for (int y = 0; y < before.rows; y++)
    for (int x = 0; x < before.cols; x++)
      if (layer->images[1].at<cv::Vec3b>(y, x) != before.at<cv::Vec3b>(y, x)) {
        changed++;
        EXPECT_EQ(layer->images[1].at<cv::Vec3b>(y, x), cv::Vec3b(255, 0, 0));
        EXPECT_NE(near.at<uint8_t>(y, x), 0);
      }
  EXPECT_GT(changed, 0);
  EXPECT_NE(canv.image, nullptr);
  // The stored colour took the hue of the spin button.
  double h = 0, s = 0, v = 0;
  gtk_rgb_to_hsv(conf.selected_color.red / 65536.0, conf.selected_color.green / 65536.0,
                 conf.selected_color.blue / 65536.0, &h, &s, &v);
  if (s > 0) {
    EXPECT_NEAR(h * 360, 40, 1.0);
  }
}

// The marks of an export file, one per pixel in row order.
cv::Mat ExportedMask(const std::string& file, cv::Size size) {
  const auto lines = Lines(file);
  if (lines.size() != size_t(size.area()) + 1) return {};
  cv::Mat m(size, CV_8UC1);
  for (int i = 0; i < size.area(); i++) m.data[i] = lines[size_t(i) + 1].back() == '1' ? 255 : 0;
  return m;
}

// On a channel (a grey image) "Select by color" and "Save selected" agree: in colour mode both
// refuse with the same message and mark nothing; in grey mode both select by grey level, and
// the export holds what was outlined.
TEST_F(SelectWindow, OnAChannelBothCommandsSelectByGreyLevelOnly) {
  Select(IR108);
  Layer* layer = SlotAt(0)[IR108];
  const cv::Mat pristine = layer->images[1].clone();
  const std::string no_colour =
      "No colour to select in IR 10.8: switch on \"Gray scale threshold\" to select by grey level";
  const std::string file = home / "export/Selected/201607041200.txt";

  // Colour mode: the hue of every grey pixel is 0, and hue 0 is what the default colour gives.
  SetHueRange(0, 10);
  Click();
  EXPECT_EQ(conf.selected_range, 10);
  EXPECT_TRUE(StatusHas(no_colour));
  EXPECT_TRUE(layer->images[2].empty());
  EXPECT_EQ(CountDiff(layer->images[1], pristine), 0) << "no red frame";
  DialogSeen seen = Save();
  EXPECT_EQ(seen.text, "Save selected Error!");
  EXPECT_EQ(seen.type, GTK_MESSAGE_ERROR);
  EXPECT_EQ(seen.secondary, no_colour + ".");
  EXPECT_FALSE(uitest::Exists(file));
  EXPECT_EQ(CountDiff(layer->images[1], pristine), 0);

  // Grey mode: levels 108..147 are outlined, and that is the export.
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(canv.btn_gray), TRUE);
  SetHueRange(180, 20);
  ASSERT_FALSE(layer->images[2].empty());
  EXPECT_GT(CountDiff(layer->images[1], pristine), 0) << "outlines drawn";
  seen = Save();
  EXPECT_EQ(seen.text, "Save selected OK.");
  EXPECT_EQ(seen.type, GTK_MESSAGE_INFO);
  cv::Mat grey;
  cv::cvtColor(pristine, grey, cv::COLOR_RGB2GRAY);
  const cv::Mat want = (grey >= 108) & (grey <= 147);
  ASSERT_GT(cv::countNonZero(want), 0);
  const cv::Mat got = ExportedMask(file, pristine.size());
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(cv::countNonZero(got != want), 0);
  // The message names the file, its folder and the count.
  EXPECT_EQ(seen.secondary.rfind("201607041200.txt in " + home / "export/Selected" + ": ", 0), 0u) << seen.secondary;
  EXPECT_NE(seen.secondary.find(std::to_string(cv::countNonZero(want)) + " of " + std::to_string(grey.total()) +
                                " pixels marked"),
            std::string::npos)
      << seen.secondary;
  EXPECT_EQ(CountDiff(layer->images[2], pristine), 0);
  EXPECT_TRUE(layer->selection.made) << "the export's selection is the one outlined now";
}

// The controls moved on since the composite was outlined (on another layer, and the grey toggle,
// which selects nothing by itself): the export is still what the composite shows.
TEST_F(SelectWindow, SaveSelectedExportsWhatIsOutlined) {
  Select(NATURAL);
  Layer* layer = SlotAt(0)[NATURAL];
  SetHueRange(40, 30);
  ASSERT_FALSE(layer->images[2].empty());
  const cv::Mat outlined = layer->images[1].clone();
  Select(IR108);
  SetHueRange(200, 5);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(canv.btn_gray), TRUE);
  Select(NATURAL);

  std::array<cv::Mat, 3> copy{cv::Mat(), layer->images[2].clone(), cv::Mat()};
  cv::Mat seen_mask, controls_mask;
  ASSERT_EQ(LayerSelectColor(copy, 40, 30, FALSE, &seen_mask), SelectResult::Done);
  copy = {cv::Mat(), layer->images[2].clone(), cv::Mat()};
  ASSERT_EQ(LayerSelectColor(copy, 200, 5, TRUE, &controls_mask), SelectResult::Done);
  ASSERT_GT(cv::countNonZero(seen_mask != controls_mask), 0) << "the two selections must differ";

  EXPECT_EQ(Save().text, "Save selected OK.");
  const cv::Mat got = ExportedMask(home / "export/Selected/201607041200.txt", seen_mask.size());
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(cv::countNonZero(got != seen_mask), 0);
  EXPECT_EQ(CountDiff(layer->images[1], outlined), 0) << "the outlines did not change";
}

// Exports of one slot (a composite, then a channel, then the composite again) never replace
// each other: the first keeps the slot's name, the others get the next number.
TEST_F(SelectWindow, ExportsOfOneSlotAreNumbered) {
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(canv.btn_gray), TRUE);
  struct Case {
    int id;
    double hue;
    const char* file;
  };
  const std::string folder = home / "export/Selected";
  std::vector<std::pair<std::string, std::string>> kept;  // file, content
  for (const Case& c : {Case{NATURAL, 90, "201607041200.txt"}, Case{IR108, 180, "201607041200-2.txt"},
                        Case{NATURAL, 270, "201607041200-3.txt"}}) {
    Select(c.id);
    SetHueRange(c.hue, 15);
    const DialogSeen seen = Save();
    EXPECT_EQ(seen.text, "Save selected OK.") << c.file;
    EXPECT_EQ(seen.secondary.rfind(std::string(c.file) + " in " + folder + ": ", 0), 0u) << seen.secondary;
    kept.emplace_back(folder + "/" + c.file, uitest::ReadFile(folder + "/" + c.file));
    EXPECT_GT(kept.back().second.size(), 1000u) << c.file;
    for (const auto& [file, content] : kept) EXPECT_EQ(uitest::ReadFile(file), content) << file << " is unchanged";
  }
  EXPECT_NE(kept[0].second, kept[2].second);
}

TEST_F(SelectWindow, SaveSelectedReportsErrors) {
  DialogSeen seen = Save();  // nothing shown
  EXPECT_TRUE(seen.seen);
  EXPECT_EQ(seen.text, "Save selected Error!");
  EXPECT_EQ(seen.type, GTK_MESSAGE_ERROR);
  EXPECT_EQ(seen.secondary, "No loaded layer is shown.");
  Select(NATURAL);
  std::filesystem::remove_all(home / "export/Selected");
  LogCapture log;
  seen = Save();
  EXPECT_EQ(seen.text, "Save selected Error!");
  EXPECT_TRUE(log.contains("cannot create"));
  EXPECT_EQ(seen.secondary.rfind("cannot create " + home / "export/Selected/201607041200.txt", 0), 0u)
      << seen.secondary;
  EXPECT_FALSE(uitest::Exists(home / "export/Selected"));
}

TEST_F(SelectWindow, ColourButtonSetsTheHueAndSelects) {
  Select(NATURAL);
  const GdkRGBA green{0, 1, 0, 1};
  gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(canv.sel_color), &green);
  CanvColorSet(canv.sel_color, nullptr);  // as "color-set" does
  uitest::Drain();
  EXPECT_EQ(conf.selected_color.red, 0);
  EXPECT_EQ(conf.selected_color.green, 65535);
  EXPECT_EQ(conf.selected_color.blue, 0);
  EXPECT_NEAR(gtk_spin_button_get_value(GTK_SPIN_BUTTON(canv.sel_hue)), 120, 0.5);
  // The changed hue ran a selection on the shown composite.
  EXPECT_FALSE(SlotAt(0)[NATURAL]->images[2].empty());
}

TEST_F(SelectWindow, MenuItemOpensTheColourChooser) {
  GtkWidget* item = gtk_menu_item_new_with_label("The color of selection");
  g_object_ref_sink(item);
  CanvColorSet(item, nullptr);
  GtkWidget* chooser = nullptr;
  for (int i = 0; i < 50 && !chooser; i++) {
    uitest::Drain();
    chooser = uitest::VisibleToplevel(GTK_TYPE_COLOR_CHOOSER_DIALOG);
    g_usleep(10000);
  }
  EXPECT_NE(chooser, nullptr);
  if (chooser) gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
  uitest::Drain();
  g_object_unref(item);
}

// The canvas as drawn after a selection on a channel (grey mode) and on a composite: red
// outlines on both, and nothing red on the channel before.
TEST_F(SelectWindow, OutlinesAppearOnTheCanvas) {
  auto red_on_canvas = [this] {
    uitest::Drain();
    GtkAdjustment* ha = gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(canv.scroll));
    GtkAdjustment* va = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(canv.scroll));
    const int w = int(gtk_adjustment_get_page_size(ha)), h = int(gtk_adjustment_get_page_size(va));
    const double x0 = gtk_adjustment_get_value(ha), y0 = gtk_adjustment_get_value(va);
    const double s = goo_canvas_get_scale(GOO_CANVAS(canv.canvas));
    cairo_surface_t* surf = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(surf);
    cairo_translate(cr, -x0, -y0);
    cairo_scale(cr, s, s);
    const GooCanvasBounds b{x0 / s, y0 / s, (x0 + w) / s, (y0 + h) / s};
    goo_canvas_render(GOO_CANVAS(canv.canvas), cr, &b, s);
    cairo_destroy(cr);
    cairo_surface_flush(surf);
    const cv::Mat bgra(h, w, CV_8UC4, cairo_image_surface_get_data(surf), size_t(cairo_image_surface_get_stride(surf)));
    std::vector<cv::Mat> planes;
    cv::split(bgra, planes);
    const int red = cv::countNonZero((planes[2] == 255) & (planes[1] == 0) & (planes[0] == 0));
    cairo_surface_destroy(surf);
    return red;
  };
  Select(IR108);
  EXPECT_EQ(red_on_canvas(), 0);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(canv.btn_gray), TRUE);
  SetHueRange(175, 3);  // levels 121..126: the darker part of the generated scene
  EXPECT_GT(red_on_canvas(), 20);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(canv.btn_gray), FALSE);
  Select(NATURAL);
  SetHueRange(30, 25);
  EXPECT_GT(red_on_canvas(), 50);
}

}  // namespace
