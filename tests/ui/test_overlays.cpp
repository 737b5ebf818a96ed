// Overlays that can be read: contour layers cut to the image, the latitude/longitude grid, label
// sizes, and the settings of the viewing aids (animation step, video rate, grid, label size).
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "canvas/canvanim.h"
#include "canvas/canvreadout.h"
#include "canvas/canvvideo.h"
#include "contours/cntrs.h"
#include "contours/cntrsgrid.h"
#include "dialogs/dlg.h"
#include "data/geo.h"
#include "tests/ui/test_canvas_support.h"

namespace {

using canvtest::CanvasTest;

constexpr const char* SLOT_A = "201607041200";
constexpr int IR108 = 9;

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
  void Open(const std::string& interface = {}) {
    canvtest::Link(home, SLOT_A);
    Build("[Interface]\n" + interface);
    ASSERT_TRUE(StartupDone());
    AddSlot(SLOT_A);
  }
  // The canvas at scale 1 over [0, w) x [0, h), on a transparent surface.
  cairo_surface_t* Render(int w, int h) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    GooCanvasBounds b{0, 0, double(w), double(h)};
    goo_canvas_render(GOO_CANVAS(canv.canvas), cr, &b, 1.0);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    return s;
  }
  // Pixels of surface s in the rectangle [x0, x1) x [y0, y1) whose colour is rgb (opaque).
  static int CountColour(cairo_surface_t* s, int x0, int y0, int x1, int y1, guint32 rgb) {
    const unsigned char* d = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    int n = 0;
    for (int y = y0; y < y1; y++)
      for (int x = x0; x < x1; x++) n += (*reinterpret_cast<const guint32*>(d + y * stride + 4 * x) & 0xFFFFFF) == rgb;
    return n;
  }
  // A contour layer of lines given in view pixels, labelled, drawn into the contour group.
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
    return c.release();
  }
};

TEST_F(Overlays, ContoursAndLabelsStayOnTheImage) {
  Open();
  Select(IR108);
  ASSERT_NE(canv.image, nullptr);
  const int W = 3 * 92, H = 3 * 60;
  // Lines near the right and bottom edges: their labels start inside and run on outside.
  Cntrs* c = Layer({{85, 10, 91.9f, 12}, {10, 58, 30, 59.5f}, {60, 30, 70, 30}}, "Yellow");
  uitest::Drain();
  cairo_surface_t* s = Render(W + 300, H + 100);
  const guint32 label = 0x800000;  // "Maroon": the row after "Yellow"
  EXPECT_GT(CountColour(s, 0, 0, W, H, label), 50) << "the labels are drawn on the image";
  EXPECT_EQ(CountColour(s, W, 0, W + 300, H + 100, label), 0) << "right of the image";
  EXPECT_EQ(CountColour(s, 0, H, W + 300, H + 100, label), 0) << "below the image";
  const unsigned char* d = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  int painted = 0;
  for (int y = 0; y < H + 100; y++)
    for (int x = 0; x < W + 300; x++)
      if (x >= W || y >= H) painted += d[y * stride + 4 * x + 3] != 0;
  EXPECT_EQ(painted, 0) << "nothing at all is drawn off the image";
  cairo_surface_destroy(s);
  CntrsDel(c);
}

TEST_F(Overlays, TheGridIsOffUnlessTheSettingAsks) {
  Open();
  Select(IR108);
  EXPECT_EQ(canv.graticule, nullptr);
}

TEST_F(Overlays, TheGridIsDrawnAndLabelledInDegrees) {
  // A wide view so that lines of 10 degrees cross it.
  Open("rect-x=1500\nrect-y=250\nrect-width=300\nrect-height=160\ngraticule=1\n");
  Select(IR108);
  ASSERT_NE(canv.graticule, nullptr);
  ASSERT_NE(canv.graticule->texts, nullptr);
  EXPECT_EQ(goo_canvas_item_get_parent(canv.graticule->group), canv.group);
  ASSERT_GE(canv.graticule->polylines->len, 2u);
  ASSERT_EQ(canv.graticule->texts->len, canv.graticule->polylines->len);
  for (guint i = 0; i < canv.graticule->texts->len; i++) {
    gchar* text = nullptr;
    g_object_get(g_ptr_array_index(canv.graticule->texts, i), "text", &text, nullptr);
    EXPECT_NE(std::string(text).find("\u00b0"), std::string::npos) << text;
    g_free(text);
  }
  // Each vertex lies on its line as the geo functions place it.
  for (guint i = 0; i < canv.graticule->lines->len; i++) {
    const GArray* a = static_cast<const GArray*>(g_ptr_array_index(canv.graticule->lines, i));
    const char* label = static_cast<const char*>(g_ptr_array_index(canv.graticule->labels, i));
    const double deg = std::atof(label);
    const bool meridian = std::strchr(label, 'E') || std::strchr(label, 'W');
    const float* v = reinterpret_cast<const float*>(a->data);
    for (guint k = 1; k + 1 < a->len / 2; k++) {
      double lat = 0, lon = 0;
      ASSERT_EQ(GeoPixelToLatLon(3712.0 - 1500 - v[2 * k], 3712.0 - 250 - v[2 * k + 1], &lat, &lon), 0);
      EXPECT_NEAR(meridian ? std::fabs(lon) : std::fabs(lat), deg, 1e-3) << label;
    }
  }
  // Switched off, it goes.
  conf.graticule = FALSE;
  CntrsGridShow(0.0);
  EXPECT_EQ(canv.graticule, nullptr);
}

TEST_F(Overlays, ScreenSizedLabelsKeepTheirSizeAtEveryZoom) {
  Open("label-size-screen=1\ncanvas-font=Sans Bold 9\n");
  Select(IR108);
  // A layer of the contour list, whose labels the zoom rescales.
  CntrsFile* entry = std::make_unique<CntrsFile>().release();  // the list owns it
  entry->file = "test.shp";
  entry->cntrs = Layer({{10, 10, 40, 10}}, "Red");
  conf.contours = g_list_append(conf.contours, entry);
  GooCanvasItem* t = static_cast<GooCanvasItem*>(g_ptr_array_index(entry->cntrs->texts, 0));
  double heights[3] = {};
  const int zooms[] = {8, 17, 25};  // x1, x7, x15
  for (int i = 0; i < 3; i++) {
    CanvZoomSet(nullptr, GINT_TO_POINTER(zooms[i]));
    uitest::Drain();
    GooCanvasBounds b;
    goo_canvas_item_get_bounds(t, &b);
    heights[i] = (b.y2 - b.y1) * CanvZoomScales[zooms[i]].scale;  // screen pixels
  }
  for (double h : heights) {
    EXPECT_GT(h, 10.0) << "readable";
    EXPECT_LT(h, 24.0);
    EXPECT_NEAR(h, heights[0], 3.0);
  }
}

TEST_F(Overlays, OldFilesKeepTheirFontAndItsImageSize) {
  Open("canvas-font=Sans Bold 3\n");
  EXPECT_EQ(conf.canvas_font, "Sans Bold 3");
  EXPECT_FALSE(conf.label_screen);
  Select(IR108);
  Cntrs* c = Layer({{10, 10, 40, 10}}, "Red");
  GooCanvasItem* t = static_cast<GooCanvasItem*>(g_ptr_array_index(c->texts, 0));
  double h[2] = {};
  for (int i : {0, 1}) {
    CanvZoomSet(nullptr, GINT_TO_POINTER(i ? 17 : 8));
    uitest::Drain();
    GooCanvasBounds b;
    goo_canvas_item_get_bounds(t, &b);
    h[i] = b.y2 - b.y1;  // canvas units: the same at every zoom, as before
  }
  EXPECT_DOUBLE_EQ(h[0], h[1]);
  CntrsDel(c);
}

TEST_F(Overlays, NewInstallationsHaveReadableLabels) {
  // The installed settings file, as a fresh home copies it.
  home.WriteSetup(uitest::ReadFile(NUBICORN_SOURCE_DIR "/resources/nubicorn.ini"));
  canvtest::Link(home, SLOT_A);
  ASSERT_TRUE(AppCreate(&app, &canv, &conf, home.path()));
  EXPECT_TRUE(conf.label_screen);
  EXPECT_EQ(conf.canvas_font, CONF_FONT_SCREEN);
}

TEST_F(Overlays, TheInterfacePageSwitchesTheGridAtOnce) {
  Open("rect-x=1500\nrect-y=250\nrect-width=300\nrect-height=160\n");
  Select(IR108);
  GtkWidget* row = DlgAidsNew();
  g_object_ref_sink(row);
  GtkWidget* check = nullptr;
  GList* kids = gtk_container_get_children(GTK_CONTAINER(row));
  for (GList* k = kids; k; k = k->next)
    if (GTK_IS_CHECK_BUTTON(k->data)) check = GTK_WIDGET(k->data);
  g_list_free(kids);
  ASSERT_NE(check, nullptr);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check), TRUE);
  EXPECT_TRUE(conf.graticule);
  EXPECT_NE(canv.graticule, nullptr);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check), FALSE);
  EXPECT_FALSE(conf.graticule);
  EXPECT_EQ(canv.graticule, nullptr);
  g_object_unref(row);
}

TEST_F(Overlays, TheVideoHasTheConfiguredFrameRate) {
  Open("video-fps=5\n");
  Select(RECIPE_FIRST_ID + 3);  // Natural
  std::string file;
  int frames = 0;
  ASSERT_TRUE(CanvVideoWrite(&file, &frames));
  cv::VideoCapture in(home / ("export/Video/" + file));
  ASSERT_TRUE(in.isOpened());
  EXPECT_DOUBLE_EQ(in.get(cv::CAP_PROP_FPS), 5.0);
  EXPECT_EQ(frames, 1);
}

TEST_F(Overlays, TheAnimationStepsAtTheConfiguredPace) {
  Open("animation-step-ms=250\n");
  CanvAnimPlay(nullptr, nullptr);
  GSource* source = g_main_context_find_source_by_id(nullptr, canv.play_source);
  ASSERT_NE(source, nullptr);
  // Due within the step (the default would be a second away).
  const gint64 wait = g_source_get_ready_time(source) - g_get_monotonic_time();
  EXPECT_GT(wait, 0);
  EXPECT_LE(wait, 250000);
  CanvAnimStop(nullptr, nullptr);
}

// The grid and a contour layer over a wide view, their lines alone (labels hidden: fonts differ
// between machines) on black, at scale 1, compared with tests/golden/overlays-grid.png.
// Tolerance: every byte within 8 and at most 0.5 % of the pixels different at all (line
// antialiasing may differ between cairo versions); on failure the difference (scaled by 8) is
// written as overlays-grid-diff.png into the build folder. NUBICORN_UPDATE_GOLDEN=1 rewrites it.
TEST_F(Overlays, GridAndContoursMatchTheGoldenImage) {
  Open("rect-x=1500\nrect-y=250\nrect-width=300\nrect-height=160\ngraticule=1\nlabel-size-screen=1\n"
       "canvas-font=Sans Bold 9\n");
  Select(IR108);
  ASSERT_NE(canv.graticule, nullptr);
  CntrsFile* entry = std::make_unique<CntrsFile>().release();  // the list owns it
  entry->file = "test.shp";
  entry->cntrs = Layer({{20, 20, 150, 40, 299, 60}, {250, 100, 299.9f, 150, 260, 159.9f}}, "Yellow");
  conf.contours = g_list_append(conf.contours, entry);
  Cntrs* c = entry->cntrs;
  const int W = 900, H = 480;
  CanvZoomSet(nullptr, GINT_TO_POINTER(8));  // x1: lines one pixel wide at the render's scale 1
  g_object_set(canv.image, "visibility", GOO_CANVAS_ITEM_INVISIBLE, nullptr);
  for (Cntrs* layer : {c, canv.graticule})
    for (guint i = 0; i < layer->texts->len; i++)
      g_object_set(g_ptr_array_index(layer->texts, i), "visibility", GOO_CANVAS_ITEM_INVISIBLE, nullptr);
  cairo_surface_t* s = Render(W + 40, H + 40);
  cv::Mat bgra(H + 40, W + 40, CV_8UC4, cairo_image_surface_get_data(s), size_t(cairo_image_surface_get_stride(s)));
  cv::Mat bgr;
  cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
  cairo_surface_destroy(s);
  const std::string golden = std::string(NUBICORN_SOURCE_DIR) + "/tests/golden/overlays-grid.png";
  if (std::getenv("NUBICORN_UPDATE_GOLDEN")) {
    ASSERT_TRUE(cv::imwrite(golden, bgr));
    GTEST_SKIP() << "wrote " << golden;
  }
  const cv::Mat want = cv::imread(golden, cv::IMREAD_COLOR);
  ASSERT_EQ(want.size(), bgr.size()) << golden;
  cv::Mat diff, gray;
  cv::absdiff(bgr, want, diff);
  double mx = 0;
  cv::minMaxLoc(diff.reshape(1), nullptr, &mx);
  cv::cvtColor(diff, gray, cv::COLOR_BGR2GRAY);
  const int changed = cv::countNonZero(gray);
  if (mx > 8 || changed > int(gray.total() / 200)) {
    cv::Mat scaled;
    diff.convertTo(scaled, CV_8UC3, 8);
    const std::string out = std::string(NUBICORN_BINARY_DIR) + "/overlays-grid-diff.png";
    cv::imwrite(out, scaled);
    ADD_FAILURE() << "largest difference " << mx << ", " << changed << " pixels differ; see " << out;
  }
  // Nothing of either layer beyond the image.
  cv::Mat outside;
  cv::cvtColor(bgr(cv::Rect(W, 0, 40, H + 40)), outside, cv::COLOR_BGR2GRAY);
  EXPECT_EQ(cv::countNonZero(outside), 0);
  cv::Mat inside;
  cv::cvtColor(bgr(cv::Rect(0, 0, W, H)), inside, cv::COLOR_BGR2GRAY);
  EXPECT_GT(cv::countNonZero(inside), 1000) << "the lines are drawn";
}

}  // namespace
