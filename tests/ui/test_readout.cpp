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
#include "tests/support/geomodel.h"

namespace {

using canvtest::CanvasTest;
using canvtest::IR108;
using canvtest::NATURAL;
using canvtest::SLOT_A;
using canvtest::SLOT_B;

constexpr int VIS06 = 1, HRV = 12;
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
};

TEST_F(Readout, TimeLabelAndTitleNameTheShownLayerAndSlot) {
  Open({SLOT_A, SLOT_B});
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
    ShowSlot(c.slot);
    Select(c.id);
    EXPECT_EQ(LabelText(), c.label) << c.id;
    const std::string markup = std::string("<span weight=\"heavy\">") + c.label + "</span>";
    EXPECT_STREQ(gtk_label_get_label(GTK_LABEL(canv.label)), markup.c_str());
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(app.window)), c.title);
  }
  // Nothing shown: no date, the plain title.
  CanvFileClose(nullptr, nullptr);
  while (canv.image) CanvFileClose(nullptr, nullptr);
  EXPECT_EQ(LabelText(), "");
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(app.window)), "Nubicorn");
}

TEST_F(Readout, VideoCaptionIsNameAndTime) {
  Open({SLOT_A});
  const struct {
    int id;
    const char* slot;
    const char* want;
  } cases[] = {{NATURAL, "201607040915", "Natural 2016-07-04 09:15 UTC"},
               {RECIPE_FIRST_ID, "201607040915", "MPhys(Air) 2016-07-04 09:15 UTC"},
               {IR108, "201609301845", "IR 10.8 2016-09-30 18:45 UTC"},
               {NATURAL, "", "Natural"},
               {500, "201607040915", "2016-07-04 09:15 UTC"}};
  for (const auto& c : cases) EXPECT_EQ(CanvCaption(c.id, c.slot), c.want) << c.id << " " << c.slot;
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

// Channels show their count and its physical value (from the slot's calibration, read here
// from the prologue) and the place, composites their three bytes.
TEST_F(Readout, PixelsShowPlaceCountAndPhysicalValueOrTheirBytes) {
  Open({SLOT_A});
  const std::string pro = canvtest::Input(home) + "/" + SatPrologueName(Sat{}, SLOT_A);
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(pro.c_str(), "rb"), std::fclose);
  ASSERT_TRUE(f);
  auto rec = std::make_unique<Prologue>();
  ASSERT_EQ(PrologueRead(f.get(), rec.get()), 0);
  const double C1 = 1.19104e-5, C2 = 1.43877, VC = 930.66, B = 0.627;  // IR 10.8
  const double F06 = 65.5148;                                         // MSG3 VIS 0.6 irradiance
  for (int id : {IR108, VIS06, NATURAL}) {
    Select(id);
    const Layer* layer = SlotAt(0)[id];
    ASSERT_NE(layer, nullptr);
    for (auto [px, py] : {std::pair{10, 10}, {100, 50}, {275, 179}, {140, 90}, {0, 0}}) {
      char want[64];
      if (id == NATURAL) {
        const cv::Vec3b v = layer->images[1].at<cv::Vec3b>(py, px);
        std::snprintf(want, sizeof want, "Natural R %d G %d B %d", v[0], v[1], v[2]);
      } else {
        const int count = layer->images[0].at<uint16_t>(py / 3, px / 3);
        const double r = count * rec->calibration[id - 1][0] + rec->calibration[id - 1][1];
        const double kelvin = C2 * VC / std::log(1 + C1 * VC * VC * VC / r) - B;
        if (id == IR108)
          std::snprintf(want, sizeof want, "IR 10.8 count %d  %.1f K", count, kelvin);
        else
          std::snprintf(want, sizeof want, "VIS 0.6 count %d  %.1f %%", count, r > 0 ? 100 * M_PI * r / F06 : 0.0);
      }
      const std::string text = MoveTo(px + 0.5, py + 0.5);
      EXPECT_NE(text.find(want), std::string::npos) << text << " / " << want;
      if (id != IR108) continue;
      // The place: degrees within the pixel (3 to 5 km here), its grid column and line.
      const double column = 3712 - RECT_X - ((px + 0.5) / 3 - 0.5), line = 3712 - RECT_Y - ((py + 0.5) / 3 - 0.5);
      double lat = 0, lon = 0, rlat = 0, rlon = 0;
      long col = 0, row = 0;
      ASSERT_TRUE(geomodel::ModelLatLon(column, line, 0, &lat, &lon));
      ASSERT_TRUE(ParseDegrees(text, &rlat, &rlon)) << text;
      EXPECT_NEAR(rlat, lat, 0.04) << text;
      EXPECT_NEAR(rlon, lon, 0.06) << text;
      ASSERT_NE(text.find("col "), std::string::npos) << text;
      ASSERT_EQ(std::sscanf(text.c_str() + text.find("col "), "col %ld line %ld", &col, &row), 2) << text;
      EXPECT_NEAR(col, column, 1.0) << text;
      EXPECT_NEAR(row, line, 1.0) << text;
    }
  }
}

TEST_F(Readout, OffTheImageOrOffTheCanvasTheReadoutIsEmpty) {
  Open({SLOT_A});
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
  Open({SLOT_A}, "[Interface]\nrect-x=1810\nrect-y=0\nrect-width=92\nrect-height=60\n");
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
