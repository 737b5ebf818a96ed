// Selection by colour and "Save selected": the marked set at the band edges (hue wrap, range 0
// and 90, grey mode), the red outlines, the pristine copy, and the export file with longitude and
// latitude checked against an independent model of the viewing geometry.
#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/imgproc.hpp>

#include "canvas/canvexport.h"
#include "canvas/canvselect.h"
#include "tests/support/geomodel.h"
#include "tests/ui/test_canvas_support.h"

namespace {

using canvtest::CanvasTest;
using canvtest::IR108;
using canvtest::Lines;
using canvtest::NATURAL;
using canvtest::SLOT_A;
using uitest::DialogSeen;

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

int CountDiff(const cv::Mat& a, const cv::Mat& b) {
  cv::Mat d;
  cv::absdiff(a.reshape(1), b.reshape(1), d);
  return cv::countNonZero(d);
}

// Colour mode on the whole colour circle at full saturation (one row per sixth, 256 steps each,
// so every hue value appears) and grey mode on a ramp of every level: each pixel is marked as
// the rule says for the value it is judged by (its hue, its level).
TEST(SelectBands, MaskFollowsTheRuleAtEveryValue) {
  cv::Mat wheel(6, 256, CV_8UC3), ramp(2, 256, CV_8UC3);
  for (int x = 0; x < 256; x++) {
    const uint8_t u = uint8_t(x), d = uint8_t(255 - x);
    const cv::Vec3b sixths[6] = {{255, u, 0}, {d, 255, 0}, {0, 255, u}, {0, d, 255}, {u, 0, 255}, {255, 0, d}};
    for (int y = 0; y < 6; y++) wheel.at<cv::Vec3b>(y, x) = sixths[y];
    ramp.col(x).setTo(cv::Scalar(x, x, x));
  }
  cv::Mat hsv, hue;
  cv::cvtColor(wheel, hsv, cv::COLOR_RGB2HSV_FULL);
  cv::extractChannel(hsv, hue, 0);
  for (int v = 0; v < 256; v++) ASSERT_GT(cv::countNonZero(hue == v), 0) << v;
  cv::Mat level;
  cv::extractChannel(ramp, level, 0);
  struct Case {
    double hue;
    int range;
    bool grey;
  };
  for (Case c : {Case{0, 10, false}, Case{360, 10, false}, Case{180, 0, false}, Case{180, 90, false},
                 Case{90, 45, false}, Case{355, 20, false}, Case{7, 5, false}, Case{0, 0, false},
                 Case{360, 90, false}, Case{180, 20, true}, Case{0, 10, true}, Case{360, 10, true},
                 Case{0, 0, true}, Case{360, 0, true}, Case{180, 0, true}, Case{180, 90, true}}) {
    SCOPED_TRACE(testing::Message() << "hue " << c.hue << " range " << c.range << " grey " << c.grey);
    const cv::Mat& values = c.grey ? level : hue;
    std::array<cv::Mat, 3> images{cv::Mat(), (c.grey ? ramp : wheel).clone(), cv::Mat()};
    cv::Mat mask;
    ASSERT_EQ(LayerSelectColor(images, c.hue, c.range, c.grey, &mask), SelectResult::Done);
    ASSERT_EQ(mask.type(), CV_8UC1);
    for (int y = 0; y < values.rows; y++)
      for (int x = 0; x < values.cols; x++) {
        const int v = values.at<uint8_t>(y, x);
        EXPECT_EQ(mask.at<uint8_t>(y, x) != 0, Marked(v, c.hue, c.range, c.grey)) << "value " << v;
      }
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
}

// Grey has no hue (OpenCV calls it 0): colour mode never marks a grey pixel, and on an image
// without any colour it refuses and changes nothing; grey mode selects there as ever. What is
// no RGB image is refused too.
TEST(SelectBands, GreyPixelsHaveNoHue) {
  cv::Mat grey(8, 256, CV_8UC3);
  for (int x = 0; x < 256; x++) grey.col(x).setTo(cv::Scalar(x, x, x));
  cv::Mat mixed = grey.clone();
  mixed(cv::Rect(100, 2, 20, 4)).setTo(cv::Scalar(200, 10, 10));  // red: hue 0
  const cv::Mat single(4, 4, CV_8UC1, cv::Scalar(0));
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
                        Case{"red on grey, hue 180", mixed, 180, FALSE, SelectResult::Done, 0},
                        Case{"one channel", single, 0, FALSE, SelectResult::NoImage, 0}}) {
    SCOPED_TRACE(c.what);
    std::array<cv::Mat, 3> images{cv::Mat(), c.image.clone(), cv::Mat()};
    cv::Mat mask;
    EXPECT_EQ(LayerSelectColor(images, c.hue, 10, c.grey_mode, &mask), c.want);
    if (c.want == SelectResult::Done) {
      EXPECT_EQ(cv::countNonZero(mask), c.marked);
    } else {
      EXPECT_TRUE(mask.empty());
      EXPECT_TRUE(images[2].empty());
      EXPECT_EQ(CountDiff(images[1], c.image), 0) << "no red frame";
    }
  }
}

// ---- export ----

class Export : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(home / "export/Selected"); }
  std::string Path() { return home / "export/Selected/201607041200.txt"; }
  uitest::TempHome home;
};

// Display pixel x covers a third of grid pixel: its centre lies at x/3 + 1/6 - 1/2 grid pixels.
TEST_F(Export, GridPositionIsTheCentreOfTheDisplayPixel) {
  const struct {
    int x, y, rect_x, rect_y;
    double column, line;
  } cases[] = {{1, 1, 2710, 464, 3712 - 2710, 3712 - 464},  // the centre of grid pixel (0, 0)
               {4, 7, 2710, 464, 3712 - 2710 - 1, 3712 - 464 - 2},
               {0, 2, 0, 0, 3712 + 1.0 / 3, 3712 - 1.0 / 3}};
  for (const auto& c : cases) {
    double column = 0, line = 0;
    CanvExportGrid(c.x, c.y, c.rect_x, c.rect_y, &column, &line);
    EXPECT_NEAR(column, c.column, 1e-12) << c.x;
    EXPECT_NEAR(line, c.line, 1e-12) << c.y;
  }
}

// Longitude and latitude against an independent model of the viewing geometry.
TEST_F(Export, OneLinePerPixelWithLonLatOfTheGeometry) {
  // A window across the western limb: some pixels lie off the disc.
  const int rect_x = 3650, rect_y = 1826, w = 276, h = 180;
  cv::Mat mask(h, w, CV_8UC1, cv::Scalar(0));
  cv::circle(mask, {100, 90}, 40, cv::Scalar(255), cv::FILLED);
  std::string err;
  ASSERT_TRUE(CanvExportWrite(Path(), mask, rect_x, rect_y, &err)) << err;
  const auto lines = Lines(Path());
  ASSERT_EQ(lines.size(), size_t(w * h + 1));  // over several blocks of the writer
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
      if (!geomodel::ModelLatLon(column, line, 0, &want_lat, &want_lon)) {
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
  EXPECT_FALSE(CanvExportWrite(Path(), cv::Mat(), 0, 0, &err));  // no mask
  EXPECT_FALSE(uitest::Exists(Path()));
}

// ---- the commands on a window ----

class SelectWindow : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    if (IsSkipped()) return;
    Open({SLOT_A});
  }
  DialogSeen Save() {
    return uitest::Answered([] { CanvSaveSelected(nullptr, nullptr); });
  }
  void SetHueRange(double hue, int range) {
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(canv.sel_range), range);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(canv.sel_hue), hue);
    uitest::Drain();
  }
  // Pure red pixels of the canvas as the window draws it now.
  int RedOnCanvas() {
    std::vector<cv::Mat> bgra;
    cv::split(RenderVisible(), bgra);
    return cv::countNonZero((bgra[2] == 255) & (bgra[1] == 0) & (bgra[0] == 0));
  }
  // The marks of an export file, one per pixel in row order.
  cv::Mat ExportedMask(cv::Size size) {
    const auto lines = Lines(home / "export/Selected/201607041200.txt");
    if (lines.size() != size_t(size.area()) + 1) return {};
    cv::Mat m(size, CV_8UC1);
    for (int i = 0; i < size.area(); i++) m.data[i] = lines[size_t(i) + 1].back() == '1' ? 255 : 0;
    return m;
  }
};

TEST_F(SelectWindow, SpinButtonsSelectOnTheShownComposite) {
  EXPECT_EQ(Save().secondary, "No loaded layer is shown.");
  Select(NATURAL);
  Layer* layer = SlotAt(0)[NATURAL];
  ASSERT_NE(layer, nullptr);
  const cv::Mat before = layer->images[1].clone();
  SetHueRange(40, 30);
  EXPECT_EQ(conf.selected_range, 30);
  ASSERT_FALSE(layer->images[2].empty());
  EXPECT_EQ(CountDiff(layer->images[2], before), 0);
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
  EXPECT_GT(RedOnCanvas(), 50) << "the canvas shows the outlines";
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
  // Colour mode: the hue of every grey pixel is 0, and hue 0 is what the default colour gives.
  SetHueRange(0, 10);
  g_signal_emit_by_name(canv.btn_select, "clicked");  // the spin buttons select only on a change
  uitest::Drain();
  EXPECT_EQ(conf.selected_range, 10);
  EXPECT_TRUE(StatusHas(no_colour));
  EXPECT_TRUE(layer->images[2].empty());
  DialogSeen seen = Save();
  EXPECT_EQ(seen.text, "Save selected Error!");
  EXPECT_EQ(seen.type, GTK_MESSAGE_ERROR);
  EXPECT_EQ(seen.secondary, no_colour + ".");
  EXPECT_FALSE(uitest::Exists(home / "export/Selected/201607041200.txt"));
  EXPECT_EQ(CountDiff(layer->images[1], pristine), 0) << "no red frame";
  EXPECT_EQ(RedOnCanvas(), 0);

  // Grey mode: levels 108..147 are outlined, and that is the export.
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(canv.btn_gray), TRUE);
  SetHueRange(180, 20);
  ASSERT_FALSE(layer->images[2].empty());
  EXPECT_GT(RedOnCanvas(), 20) << "outlines drawn";
  seen = Save();
  EXPECT_EQ(seen.text, "Save selected OK.");
  EXPECT_EQ(seen.type, GTK_MESSAGE_INFO);
  cv::Mat grey;
  cv::cvtColor(pristine, grey, cv::COLOR_RGB2GRAY);
  const cv::Mat want = (grey >= 108) & (grey <= 147);
  ASSERT_GT(cv::countNonZero(want), 0);
  const cv::Mat got = ExportedMask(pristine.size());
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(cv::countNonZero(got != want), 0);
  // The message names the file, its folder and the count.
  EXPECT_EQ(seen.secondary, "201607041200.txt in " + home / "export/Selected" + ": " +
                                std::to_string(cv::countNonZero(want)) + " of " + std::to_string(grey.total()) +
                                " pixels marked.");
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
  const cv::Mat got = ExportedMask(seen_mask.size());
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(cv::countNonZero(got != seen_mask), 0);
  EXPECT_EQ(CountDiff(layer->images[1], outlined), 0) << "the outlines did not change";
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
  // The other way round: the stored colour takes the hue of the spin button, even from the
  // shipped black, which has none.
  for (const auto& [from, hue] : {std::pair{GdkColor{0, 0, 65535, 0}, 200.0}, std::pair{GdkColor{}, 40.0}}) {
    conf.selected_color = from;
    SetHueRange(hue, 10);
    const GdkColor& col = conf.selected_color;
    double h = 0, s = 0, v = 0;
    gtk_rgb_to_hsv(col.red / 65536.0, col.green / 65536.0, col.blue / 65536.0, &h, &s, &v);
    EXPECT_NEAR(h * 360, hue, 1.0);
    EXPECT_GT(s * v, 0.99);
  }
  // From the menu the same handler opens a colour chooser.
  GtkWidget* item = g_object_ref_sink(gtk_menu_item_new_with_label("The color of selection"));
  CanvColorSet(item, nullptr);
  GtkWidget* chooser = nullptr;
  EXPECT_TRUE(WaitFor([&] { return (chooser = uitest::VisibleToplevel(GTK_TYPE_COLOR_CHOOSER_DIALOG)); }));
  if (chooser) gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
  uitest::Drain();
  g_object_unref(item);
}

}  // namespace
