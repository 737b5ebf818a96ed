// Overlays that can be read: contour layers cut to the image, the latitude/longitude grid and
// label sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "contours/cntrs.h"
#include "contours/cntrsgrid.h"
#include "dialogs/dlg.h"
#include "data/geo.h"
#include "tests/support/golden.h"
#include "tests/ui/test_canvas_support.h"

namespace {

using canvtest::CanvasTest;
using canvtest::IR108;
using canvtest::SLOT_A;

TEST(GridLabels, DegreesWithTheirHemisphere) {
  struct Case {
    bool meridian;
    double degrees;
    const char* want;
  };
  const Case cases[] = {
      {true, 20, "20\u00b0E"},  {true, -20, "20\u00b0W"}, {true, 0, "0\u00b0"},    {true, 180, "180\u00b0"},
      {false, 50, "50\u00b0N"}, {false, -10, "10\u00b0S"}, {false, 0, "0\u00b0"}, {true, -170, "170\u00b0W"},
  };
  for (const Case& c : cases) EXPECT_EQ(CntrsGridLabel(c.meridian, c.degrees), c.want) << c.degrees;
}

// A view over Europe and Africa, from 0 and 9.5 degrees east.
class GridLines : public ::testing::TestWithParam<double> {};

TEST_P(GridLines, LieOnTheirMeridiansAndParallels) {
  const CntrsView view{1200, 100, 1500, 800, GetParam()};
  CntrsPieces p;
  std::vector<CntrsGridLine> lines;
  CntrsGridPieces(view, 10.0, &p, &lines);
  ASSERT_EQ(lines.size(), p.lines());
  int meridians = 0, parallels = 0;
  for (std::size_t i = 0; i < p.lines(); i++) {
    const CntrsGridLine& g = lines[i];
    g.meridian ? meridians++ : parallels++;
    EXPECT_EQ(g.label, CntrsGridLabel(g.meridian, g.degrees));
    EXPECT_DOUBLE_EQ(std::remainder(g.degrees, 10.0), 0.0);
    // Inner vertices are projections of the line's points (the ends may be cut at the view).
    const float* v = p.line(i);
    for (std::size_t k = 1; k + 1 < p.size(i); k++) {
      double lat = 0, lon = 0;
      ASSERT_EQ(GeoPixelToLatLon(3712.0 - view.x - v[2 * k], 3712.0 - view.y - v[2 * k + 1], &lat, &lon, view.sub_lon), 0);
      if (g.meridian)
        EXPECT_NEAR(std::remainder(lon - g.degrees, 360.0), 0.0, 0.01) << g.label;  // float vertices
      else
        EXPECT_NEAR(lat, g.degrees, 0.01) << g.label;
    }
    // Meridians start at their northern end, parallels at their western end.
    if (p.size(i) >= 2) {
      if (g.meridian)
        EXPECT_LT(v[1], v[2 * p.size(i) - 1]) << g.label;
      else
        EXPECT_LT(v[0], v[2 * p.size(i) - 2]) << g.label;
    }
  }
  EXPECT_GE(meridians, 5);
  EXPECT_GE(parallels, 3);
  // Where 40°N crosses 10°E, the geo functions and the grid lines agree.
  double col = 0, line = 0;
  ASSERT_EQ(GeoLatLonToPixel(40.0, 10.0, &col, &line, 0, view.sub_lon), 0);
  const double x = 3712.0 - col - view.x, y = 3712.0 - line - view.y;
  int hits = 0;
  for (std::size_t i = 0; i < p.lines(); i++) {
    if (lines[i].degrees != (lines[i].meridian ? 10.0 : 40.0)) continue;
    for (std::size_t k = 0; k < p.size(i); k++)
      hits += std::hypot(p.line(i)[2 * k] - x, p.line(i)[2 * k + 1] - y) < 0.01;
  }
  EXPECT_EQ(hits, 2) << "one vertex of the meridian and one of the parallel";
}

INSTANTIATE_TEST_SUITE_P(Longitudes, GridLines, ::testing::Values(0.0, 9.5));

class Overlays : public CanvasTest {
 protected:
  void OpenWith(const std::string& interface) {
    Open({SLOT_A}, "[Interface]\n" + interface);
    Select(IR108);
  }
  // A contour layer of lines given in view pixels, labelled, drawn into the contour group and
  // put on the contour list, which owns it.
  Cntrs* Layer(const std::vector<std::vector<float>>& lines, const char* color) {
    auto c = std::make_unique<Cntrs>();
    c->lines = g_ptr_array_new_full(guint(lines.size()), [](gpointer a) { g_array_unref(static_cast<GArray*>(a)); });
    c->labels = g_ptr_array_new_full(guint(lines.size()), g_free);
    for (const auto& l : lines) {
      GArray* a = g_array_sized_new(FALSE, FALSE, sizeof(float), guint(l.size()));
      g_array_append_vals(a, l.data(), guint(l.size()));
      g_ptr_array_add(c->lines, a);
      g_ptr_array_add(c->labels, g_strdup("Label running far beyond the edge"));
    }
    EXPECT_TRUE(CntrsDraw(c.get(), canv.group, "Sans Bold 9", color, conf.rect_x, conf.rect_y, conf.rect_width,
                          conf.rect_height));
    auto entry = std::make_unique<CntrsFile>();
    entry->file = "test.shp";
    entry->cntrs = c.release();
    conf.contours = g_list_append(conf.contours, entry.get());
    return entry.release()->cntrs;
  }
};

TEST_F(Overlays, ContoursAndLabelsStayOnTheImage) {
  OpenWith("");
  const int W = 3 * 92, H = 3 * 60;
  // Lines near the right and bottom edges: their labels start inside and run on outside.
  Layer({{85, 10, 91.9f, 12}, {10, 58, 30, 59.5f}, {60, 30, 70, 30}}, "Yellow");
  uitest::Drain();
  const cv::Mat bgra = Render(W + 300, H + 100);
  const cv::Mat maroon = cv::Mat(bgra.size(), CV_8UC4, cv::Scalar(0, 0, 0x80, 255)) == bgra;
  cv::Mat label;  // "Maroon", the row after "Yellow"
  cv::cvtColor(maroon, label, cv::COLOR_BGRA2GRAY);
  EXPECT_GT(cv::countNonZero(label(cv::Rect(0, 0, W, H)) == 255), 50) << "the labels are drawn on the image";
  std::vector<cv::Mat> planes;
  cv::split(bgra, planes);
  cv::Mat painted = planes[3].clone();
  painted(cv::Rect(0, 0, W, H)).setTo(0);
  EXPECT_EQ(cv::countNonZero(painted), 0) << "nothing at all is drawn off the image";
}

// Labels sized for the screen keep their size on screen at every zoom; an old settings file's
// font keeps its size in image units.
TEST_F(Overlays, LabelSizesAtEveryZoom) {
  for (bool screen : {true, false}) {
    SCOPED_TRACE(screen ? "screen" : "image");
    if (screen) {
      OpenWith("label-size-screen=1\ncanvas-font=Sans Bold 9\n");
    } else {  // the same home again
      Build("[Interface]\ncanvas-font=Sans Bold 3\n");
      AddSlot(SLOT_A);
      Select(IR108);
    }
    EXPECT_EQ(bool(conf.label_screen), screen);
    Cntrs* c = Layer({{10, 10, 40, 10}}, "Red");
    GooCanvasItem* t = static_cast<GooCanvasItem*>(g_ptr_array_index(c->texts, 0));
    std::vector<double> screen_px, units;
    for (int zoom : {8, 17, 25}) {  // x1, x7, x15
      CanvZoomSet(nullptr, GINT_TO_POINTER(zoom));
      uitest::Drain();
      GooCanvasBounds b;
      goo_canvas_item_get_bounds(t, &b);
      units.push_back(b.y2 - b.y1);
      screen_px.push_back(units.back() * CanvZoomScales[zoom].scale);
    }
    for (size_t i = 0; i < units.size(); i++) {
      if (screen) {
        EXPECT_GT(screen_px[i], 10.0) << "readable";
        EXPECT_LT(screen_px[i], 24.0);
        EXPECT_NEAR(screen_px[i], screen_px[0], 3.0);
      } else {
        EXPECT_DOUBLE_EQ(units[i], units[0]);
      }
    }
    Close();
    app = App{};
    canv = Canv{};
    conf = Conf{};
  }
}

TEST_F(Overlays, NewInstallationsHaveReadableLabels) {
  // The installed settings file, as a fresh home copies it.
  home.WriteSetup(uitest::ReadFile(NUBICORN_SOURCE_DIR "/resources/nubicorn.ini"));
  Build();
  EXPECT_TRUE(conf.label_screen);
  EXPECT_EQ(conf.canvas_font, CONF_FONT_SCREEN);
}

TEST_F(Overlays, TheInterfacePageSwitchesTheGridAtOnce) {
  OpenWith("rect-x=1500\nrect-y=250\nrect-width=300\nrect-height=160\n");
  EXPECT_EQ(canv.graticule, nullptr) << "off unless the settings ask";
  GtkWidget* row = g_object_ref_sink(DlgAidsNew());
  GtkWidget* check = nullptr;
  GList* kids = gtk_container_get_children(GTK_CONTAINER(row));
  for (GList* k = kids; k; k = k->next)
    if (GTK_IS_CHECK_BUTTON(k->data)) check = GTK_WIDGET(k->data);
  g_list_free(kids);
  ASSERT_NE(check, nullptr);
  for (gboolean on : {gboolean(TRUE), gboolean(FALSE)}) {
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check), on);
    EXPECT_EQ(conf.graticule, on);
    EXPECT_EQ(canv.graticule != nullptr, bool(on));
  }
  g_object_unref(row);
}

// The grid and a contour layer over a wide view, their lines alone (labels hidden: fonts differ
// between machines) on black, at scale 1, compared with tests/golden/overlays-grid.png.
// Tolerance: every byte within 8 and at most 0.5 % of the pixels different at all (line
// antialiasing may differ between cairo versions); on failure the difference (scaled by 8) is
// written as overlays-grid-diff.png into the build folder. NUBICORN_UPDATE_GOLDEN=1 rewrites it.
TEST_F(Overlays, GridAndContoursMatchTheGoldenImage) {
  OpenWith("rect-x=1500\nrect-y=250\nrect-width=300\nrect-height=160\ngraticule=1\nlabel-size-screen=1\n"
           "canvas-font=Sans Bold 9\n");
  ASSERT_NE(canv.graticule, nullptr);
  // Every grid line has its label in degrees.
  ASSERT_GE(canv.graticule->polylines->len, 2u);
  ASSERT_EQ(canv.graticule->texts->len, canv.graticule->polylines->len);
  for (guint i = 0; i < canv.graticule->texts->len; i++) {
    gchar* text = nullptr;
    g_object_get(g_ptr_array_index(canv.graticule->texts, i), "text", &text, nullptr);
    EXPECT_NE(std::string(text).find("\u00b0"), std::string::npos) << text;
    g_free(text);
  }
  Cntrs* c = Layer({{20, 20, 150, 40, 299, 60}, {250, 100, 299.9f, 150, 260, 159.9f}}, "Yellow");
  const int W = 900, H = 480;
  CanvZoomSet(nullptr, GINT_TO_POINTER(8));  // x1: lines one pixel wide at the render's scale 1
  g_object_set(canv.image, "visibility", GOO_CANVAS_ITEM_INVISIBLE, nullptr);
  for (Cntrs* layer : {c, canv.graticule})
    for (guint i = 0; i < layer->texts->len; i++)
      g_object_set(g_ptr_array_index(layer->texts, i), "visibility", GOO_CANVAS_ITEM_INVISIBLE, nullptr);
  cv::Mat bgr;
  cv::cvtColor(Render(W + 40, H + 40), bgr, cv::COLOR_BGRA2BGR);
  ExpectGolden(bgr, "overlays-grid", 8);
  // Nothing of either layer beyond the image; the lines are drawn.
  cv::Mat gray;
  cv::cvtColor(bgr, gray, cv::COLOR_BGR2GRAY);
  EXPECT_EQ(cv::countNonZero(gray(cv::Rect(W, 0, 40, H + 40))), 0);
  EXPECT_GT(cv::countNonZero(gray(cv::Rect(0, 0, W, H))), 1000) << "the lines are drawn";
}

}  // namespace
