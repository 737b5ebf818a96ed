// What the window tells about the shown layer: the time label and title, the video caption, and
// the readout of the pixel under the pointer, driven by motion events on the canvas.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "canvas/canvreadout.h"
#include "data/geo.h"
#include "data/prologue.h"
#include "tests/ui/test_canvas_support.h"
#include "tests/ui/test_cntrs_support.h"

namespace {

using canvtest::CanvasTest;

constexpr const char* SLOT_A = "201607041200";
constexpr const char* SLOT_B = "201609301845";
constexpr int VIS06 = 1, IR108 = 9, HRV = 12;
constexpr int NATURAL = RECIPE_FIRST_ID + 3;
constexpr int RECT_X = 2710, RECT_Y = 464;  // the default view window

struct TextCase {
  const char* slot;
  const char* want;
};

TEST(TimeText, SlotTextToDateAndUtc) {
  const TextCase cases[] = {
      {"201607041200", "2016-07-04 12:00 UTC"}, {"201609301845", "2016-09-30 18:45 UTC"},
      {"202001010000", "2020-01-01 00:00 UTC"}, {"20160704120", ""},
      {"2016070412000", ""},                     {"20160704120a", ""},
      {"", ""},
  };
  for (const TextCase& c : cases) EXPECT_EQ(CanvTimeText(c.slot), c.want) << c.slot;
  EXPECT_EQ(CanvTimeText(nullptr), "");
}

class Readout : public CanvasTest {
 protected:
  void Open(const std::string& ini = {}) {
    canvtest::Link(home, SLOT_A);
    Build(ini);
    AddSlot(SLOT_A);
  }
  // The pointer moved to canvas point (cx, cy): a motion event of the canvas's drawing window,
  // handled as the main loop would; returns the readout then.
  std::string MoveTo(double cx, double cy) {
    GooCanvas* goo = GOO_CANVAS(canv.canvas);
    double x = cx, y = cy;
    goo_canvas_convert_to_pixels(goo, &x, &y);
    GdkEvent* e = gdk_event_new(GDK_MOTION_NOTIFY);
    e->motion.window = GDK_WINDOW(g_object_ref(goo->canvas_window));
    e->motion.x = x;
    e->motion.y = y;
    e->motion.time = GDK_CURRENT_TIME;
    gdk_event_set_device(e, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_main_do_event(e);
    gdk_event_free(e);
    return gtk_label_get_text(GTK_LABEL(canv.readout));
  }
  const Layer* Shown(int id) { return SlotAt(0)[id]; }
  // Canvas point at the centre of display pixel (px, py).
  static double Mid(int p) { return p + 0.5; }
};

TEST_F(Readout, TimeLabelAndTitleNameTheShownLayerAndSlot) {
  canvtest::Link(home, SLOT_A);
  canvtest::Link(home, SLOT_B);
  Build();
  AddSlot(SLOT_A);
  AddSlot(SLOT_B);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(app.window)), "Nubicorn");
  struct Case {
    int slot, id;
    const char* label;
    const char* title;
  };
  const Case cases[] = {
      {0, IR108, "2016-07-04 12:00 UTC", "IR 10.8 2016-07-04 12:00 UTC \u2014 Nubicorn"},
      {0, NATURAL, "2016-07-04 12:00 UTC", "Natural 2016-07-04 12:00 UTC \u2014 Nubicorn"},
      {1, NATURAL, "2016-09-30 18:45 UTC", "Natural 2016-09-30 18:45 UTC \u2014 Nubicorn"},
      {1, HRV, "2016-09-30 18:45 UTC", "HRV 2016-09-30 18:45 UTC \u2014 Nubicorn"},
  };
  for (const Case& c : cases) {
    gtk_range_set_value(GTK_RANGE(canv.range), c.slot);
    CanvSlotChanged(nullptr, nullptr);
    Select(c.id);
    EXPECT_EQ(LabelText(), c.label) << c.id;
    EXPECT_EQ(LabelMarkup(), std::string("<span weight=\"heavy\">") + c.label + "</span>");
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(app.window)), c.title);
  }
  // Nothing shown: no date, the plain title.
  CanvFileClose(nullptr, nullptr);
  while (canv.image) CanvFileClose(nullptr, nullptr);
  EXPECT_EQ(LabelText(), "");
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(app.window)), "Nubicorn");
}

TEST_F(Readout, VideoCaptionIsNameAndTimeWithoutStrayCharacters) {
  Open();
  EXPECT_EQ(CanvCaption(NATURAL, "201607040915"), "Natural 2016-07-04 09:15 UTC");
  EXPECT_EQ(CanvCaption(RECIPE_FIRST_ID, "201607040915"), "MPhys(Air) 2016-07-04 09:15 UTC");
  EXPECT_EQ(CanvCaption(IR108, "201609301845"), "IR 10.8 2016-09-30 18:45 UTC");
  EXPECT_EQ(CanvCaption(NATURAL, ""), "Natural");
  EXPECT_EQ(CanvCaption(500, "201607040915"), "2016-07-04 09:15 UTC");
  for (const std::string& c : {CanvCaption(NATURAL, "201607040915"), CanvCaption(NATURAL, ""),
                               CanvCaption(500, "201607040915")}) {
    EXPECT_EQ(c.find("  "), std::string::npos) << c;
    EXPECT_EQ(c.find('"'), std::string::npos) << c;
    EXPECT_NE(c.front(), ' ');
    EXPECT_NE(c.back(), ' ');
  }
}

// Degrees of the readout's "47.50°N 8.25°E" part.
bool ParseDegrees(const std::string& text, double* lat, double* lon) {
  char ns = 0, ew = 0;
  double a = 0, b = 0;
  if (std::sscanf(text.c_str(), "%lf\u00b0%c %lf\u00b0%c", &a, &ns, &b, &ew) != 4) return false;
  *lat = ns == 'S' ? -a : a;
  *lon = ew == 'W' ? -b : b;
  return (ns == 'N' || ns == 'S') && (ew == 'E' || ew == 'W');
}

TEST_F(Readout, KnownPlacesShowTheirDegreesColumnAndLine) {
  Open();
  Select(IR108);
  ASSERT_NE(canv.image, nullptr);
  // Places inside the default window, put on the image by plain ellipsoid geometry.
  const std::pair<double, double> places[] = {{44.5, 40.0}, {45.5, 39.0}, {43.5, 41.5}};
  for (auto [lat, lon] : places) {
    double x = 0, y = 0;
    cntrstest::ExpectedImageXY(lat, lon, &x, &y);
    const double cx = 3.0 * (x - RECT_X) + 1.5, cy = 3.0 * (y - RECT_Y) + 1.5;
    ASSERT_TRUE(cx > 0 && cx < 3 * 92 && cy > 0 && cy < 3 * 60) << lat << " " << lon;
    const std::string text = MoveTo(cx, cy);
    double rlat = 0, rlon = 0;
    ASSERT_TRUE(ParseDegrees(text, &rlat, &rlon)) << text;
    // Within the pixel the pointer is on (3 to 5 km here).
    EXPECT_NEAR(rlat, lat, 0.04) << text;
    EXPECT_NEAR(rlon, lon, 0.06) << text;
    const size_t at = text.find("col ");
    long col = 0, line = 0;
    ASSERT_NE(at, std::string::npos) << text;
    ASSERT_EQ(std::sscanf(text.c_str() + at, "col %ld line %ld", &col, &line), 2) << text;
    EXPECT_NEAR(col, 3712 - x, 1.0) << text;
    EXPECT_NEAR(line, 3712 - y, 1.0) << text;
  }
}

TEST_F(Readout, ChannelPixelsShowCountAndPhysicalValue) {
  Open();
  // The slot's calibration, read here from the prologue.
  const std::string pro = canvtest::Input(home) + "/" + SatPrologueName(Sat{}, SLOT_A);
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(pro.c_str(), "rb"), std::fclose);
  ASSERT_TRUE(f);
  auto rec = std::make_unique<Prologue>();
  ASSERT_EQ(PrologueRead(f.get(), rec.get()), 0);
  const double C1 = 1.19104e-5, C2 = 1.43877, VC = 930.66, B = 0.627;  // IR 10.8
  const double F06 = 65.5148;                                         // MSG3 VIS 0.6 irradiance

  struct Pt {
    int px, py;
  };
  const Pt points[] = {{10, 10}, {100, 50}, {275, 179}, {140, 90}};
  Select(IR108);
  for (const Pt& p : points) {
    const int count = Shown(IR108)->images[0].at<uint16_t>(p.py / 3, p.px / 3);
    const double r = count * rec->calibration[IR108 - 1][0] + rec->calibration[IR108 - 1][1];
    ASSERT_GT(r, 0);
    const double t = C2 * VC / std::log(1 + C1 * VC * VC * VC / r) - B;
    char want[64];
    std::snprintf(want, sizeof want, "IR 10.8 count %d  %.1f K", count, t);
    const std::string text = MoveTo(Mid(p.px), Mid(p.py));
    EXPECT_NE(text.find(want), std::string::npos) << text << " / " << want;
  }
  Select(VIS06);
  for (const Pt& p : points) {
    const int count = Shown(VIS06)->images[0].at<uint16_t>(p.py / 3, p.px / 3);
    const double r = count * rec->calibration[VIS06 - 1][0] + rec->calibration[VIS06 - 1][1];
    char want[64];
    std::snprintf(want, sizeof want, "VIS 0.6 count %d  %.1f %%", count, r > 0 ? 100 * M_PI * r / F06 : 0.0);
    const std::string text = MoveTo(Mid(p.px), Mid(p.py));
    EXPECT_NE(text.find(want), std::string::npos) << text << " / " << want;
  }
}

TEST_F(Readout, CompositePixelsShowTheirThreeBytes) {
  Open();
  Select(NATURAL);
  const cv::Mat& m = Shown(NATURAL)->images[1];
  ASSERT_EQ(m.type(), CV_8UC3);
  int varied = 0;
  for (auto [px, py] : {std::pair{0, 0}, {50, 20}, {200, 150}, {275, 179}}) {
    const cv::Vec3b v = m.at<cv::Vec3b>(py, px);
    varied += v != m.at<cv::Vec3b>(0, 0);
    char want[64];
    std::snprintf(want, sizeof want, "Natural R %d G %d B %d", v[0], v[1], v[2]);
    const std::string text = MoveTo(Mid(px), Mid(py));
    EXPECT_NE(text.find(want), std::string::npos) << text << " / " << want;
  }
  EXPECT_GT(varied, 0) << "a flat image proves nothing";
}

TEST_F(Readout, OffTheImageOrOffTheCanvasTheReadoutIsEmpty) {
  Open();
  Select(IR108);
  EXPECT_FALSE(MoveTo(10.5, 10.5).empty());
  EXPECT_EQ(MoveTo(3 * 92 + 5, 10.5), "");
  EXPECT_FALSE(MoveTo(10.5, 10.5).empty());
  GdkEvent* e = gdk_event_new(GDK_LEAVE_NOTIFY);
  e->crossing.window = GDK_WINDOW(g_object_ref(GOO_CANVAS(canv.canvas)->canvas_window));
  gdk_event_set_device(e, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
  gtk_main_do_event(e);
  gdk_event_free(e);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(canv.readout)), "");
  // Nothing shown: nothing to read.
  CanvFileClose(nullptr, nullptr);
  while (canv.image) CanvFileClose(nullptr, nullptr);
  EXPECT_EQ(MoveTo(10.5, 10.5), "");
}

TEST_F(Readout, SpaceAboveTheNorthPoleIsSaid) {
  // A window at the top of the disk: space in its upper rows, the Arctic below.
  Open("[Interface]\nrect-x=1810\nrect-y=0\nrect-width=92\nrect-height=60\n");
  Select(IR108);
  ASSERT_NE(canv.image, nullptr);
  const std::string top = MoveTo(1.5, 1.5);
  EXPECT_EQ(top.rfind("space  col 1902 line 3712", 0), 0u) << top;
  EXPECT_NE(top.find("count 0"), std::string::npos) << top;
  EXPECT_EQ(top.find(" K"), std::string::npos) << "no temperature in space: " << top;
  double lat = 0, lon = 0;
  const std::string low = MoveTo(3 * 46 + 1.5, 3 * 59 + 1.5);
  ASSERT_TRUE(ParseDegrees(low, &lat, &lon)) << low;
  EXPECT_GT(lat, 70.0);
}

}  // namespace
