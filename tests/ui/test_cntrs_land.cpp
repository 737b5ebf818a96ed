// The generator's land mask from the same shorelines the program draws, and a look at both.
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/app.h"
#include "contours/cntrs.h"
#include "contours/cntrsshp.h"
#include "data/fileinfo.h"
#include "data/layer.h"
#include "tests/support/logcapture.h"
#include "tests/support/tempdir.h"
#include "tests/ui/uitest.h"
#include "tools/synth.h"
#include "tools/synthland.h"

namespace {

std::string TestShp(const std::string& name) { return std::string(NUBICORN_TESTDATA) + "/shp/" + name; }

TEST(SynthLandShoreTest, LandMaskFollowsTheShorelines) {
  const cv::Mat land = SynthLandRaster(TestShp("GSHHS_c_L1.shp"));
  ASSERT_EQ(land.type(), CV_32FC1);
  // Places well away from any coast.
  EXPECT_GT(SynthLandAt(land, 48.85, 2.35), 0.95f);    // Paris
  EXPECT_GT(SynthLandAt(land, 25.0, 10.0), 0.95f);     // Sahara
  EXPECT_GT(SynthLandAt(land, 55.75, 37.62), 0.95f);   // Moscow
  EXPECT_GT(SynthLandAt(land, 72.0, -40.0), 0.95f);    // Greenland
  EXPECT_LT(SynthLandAt(land, 40.0, -40.0), 0.05f);    // North Atlantic
  EXPECT_LT(SynthLandAt(land, 35.0, 18.0), 0.05f);     // Ionian Sea
  EXPECT_LT(SynthLandAt(land, 43.0, 34.0), 0.05f);     // Black Sea
  // The shoreline vertices themselves lie on the soft edge between sea and land.
  CntrsShpPtr shp = CntrsShpOpen(TestShp("GSHHS_c_L1.shp").c_str());
  ASSERT_TRUE(shp);
  int records = 0;
  SHPGetInfo(shp.get(), &records, nullptr, nullptr, nullptr);
  int on_edge = 0, in_sea = 0, total = 0;
  for (int r = 0; r < records; r++) {
    CntrsObjectPtr o(SHPReadObject(shp.get(), r));
    ASSERT_TRUE(o);
    for (int v = 0; v < o->nVertices; v++) {
      const double lon = o->padfX[v], lat = o->padfY[v];
      if (lon < -80 || lon > 80 || lat < -5 || lat > 80) continue;
      total++;
      const float f = SynthLandAt(land, lat, lon);
      on_edge += f > 0.05f && f < 0.95f;
      in_sea += f <= 0.05f;
    }
  }
  ASSERT_GT(total, 1000);
  // No shore vertex lies out in the open sea; the few fully on land are the heads of inlets
  // narrower than the raster's softened coast.
  EXPECT_LE(in_sea, total / 200) << in_sea << " of " << total;
  EXPECT_GT(on_edge, total * 8 / 10) << on_edge << " of " << total;
  // The built-in outlines do not follow the real shore that closely.
  const cv::Mat builtin = SynthLandRaster();
  EXPECT_GT(SynthLandAt(builtin, 48.85, 2.35), 0.95f);
}

TEST(SynthLandShoreTest, LakesAreCutOutAndBadFilesFallBack) {
  LogCapture log;
  const cv::Mat fallback = SynthLandRaster("/nonexistent/shore.shp");
  EXPECT_TRUE(log.contains("/nonexistent/shore.shp"));
  EXPECT_GT(SynthLandAt(fallback, 25.0, 10.0), 0.95f);  // the built-in Sahara
  // A point file is no shoreline either.
  log.clear();
  SynthLandRaster(TestShp("naturalearth_cities.shp"));
  EXPECT_TRUE(log.contains("naturalearth_cities.shp"));
  if (SynthLandDefaultLakes().empty()) GTEST_SKIP() << "GSHHS lakes not installed";
  const cv::Mat lakes = SynthLandRaster(TestShp("GSHHS_c_L1.shp"), SynthLandDefaultLakes());
  EXPECT_LT(SynthLandAt(lakes, 42.0, 50.5), 0.05f);  // Caspian Sea
  EXPECT_GT(SynthLandAt(lakes, 48.85, 2.35), 0.95f);
}

// Coastlines, borders and city names over a generated cloud-free image, saved for a person to
// look at (build/ui-contours.png): the drawn coast must lie on the land edge of the image.
TEST(CntrsScreenshotTest, CoastlinesOverAGeneratedImage) {
  if (!uitest::GtkReady() || !std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
  TestTempDir data;
  SynthOptions o;
  o.out = data.path();
  o.slot = "201607041200";
  o.cloud_cover = 0.0;
  o.land_shore = TestShp("GSHHS_c_L1.shp");
  std::string err;
  ASSERT_TRUE(SynthCycle(o, &err)) << err;

  uitest::TempHome home;
  // Western Europe and the western Mediterranean at x1.
  home.WriteIni(
      "[Interface]\nrect-x=1750\nrect-y=330\nrect-width=320\nrect-height=170\ncharset=2\nfield-name=name\n"
      "canvas-font=Sans Bold 9\nzoom=1\n");
  App app;
  Canv canv;
  Conf conf;
  ASSERT_TRUE(AppCreate(&app, &canv, &conf, home.path()));
  const std::string shp = home / "import/Shp";
  g_mkdir_with_parents(shp.c_str(), 0755);
  for (const char* f : {"GSHHS_c_L1", "naturalearth_cities"})
    for (const char* ext : {".shp", ".shx", ".dbf"})
      std::filesystem::copy_file(TestShp(std::string(f) + ext), shp + "/" + f + ext);

  char name[128];
  std::snprintf(name, sizeof name, INFO_NAME_FMT, InfoChannelText[3], o.slot.c_str());
  int32_t window[4] = {conf.rect_x, conf.rect_y, conf.rect_width, conf.rect_height};
  int32_t east = 0;
  auto images = LayerLoadChannel(data.file(name).c_str(), 3, window, &east);  // IR 1.6: bright land, dark sea
  ASSERT_TRUE(images);
  cv::Mat rgb = (*images)[1];
  ASSERT_EQ(rgb.type(), CV_8UC3);
  ASSERT_EQ(rgb.cols, 3 * conf.rect_width);
  GdkPixbuf* pix = gdk_pixbuf_new_from_data(rgb.data, GDK_COLORSPACE_RGB, FALSE, 8, rgb.cols, rgb.rows,
                                            int(rgb.step), nullptr, nullptr);
  GooCanvasItem* root = goo_canvas_get_root_item(GOO_CANVAS(canv.canvas));
  GooCanvasItem* image = goo_canvas_image_new(root, pix, 0.0, 0.0, nullptr);
  g_object_unref(pix);
  goo_canvas_item_lower(image, nullptr);  // the contour group stays above the image
  goo_canvas_set_scale(GOO_CANVAS(canv.canvas), 1.0);

  g_list_free_full(conf.contours, InfoCntrsFileDel);
  conf.contours = nullptr;
  auto add = [&](const char* file, const char* color) {
    auto e = std::make_unique<CntrsFile>();
    e->file = file;
    e->color = color;
    CntrsFile* raw = e.release();
    conf.contours = g_list_append(conf.contours, raw);
    return CntrsLoad(raw);
  };
  EXPECT_TRUE(add("GSHHS_c_L1.shp", "Yellow"));
  EXPECT_TRUE(add("naturalearth_cities.shp", "Red"));
  ASSERT_EQ(g_list_length(conf.contours), 2u);
  auto* cities = static_cast<CntrsFile*>(conf.contours->next->data);
  ASSERT_NE(cities->cntrs->texts, nullptr);
  bool paris = false;
  for (guint i = 0; i < cities->cntrs->texts->len; i++) {
    gchar* s = nullptr;
    g_object_get(g_ptr_array_index(cities->cntrs->texts, i), "text", &s, nullptr);
    paris = paris || g_strcmp0(s, "Paris") == 0;
    g_free(s);
  }
  EXPECT_TRUE(paris);

  gtk_window_move(GTK_WINDOW(app.window), 0, 0);
  for (int i = 0; i < 20; i++) {
    uitest::Drain();
    g_usleep(20000);
  }
  const std::string out = std::string(NUBICORN_BINARY_DIR) + "/ui-contours.png";
  const std::string cmd = "import -window root '" + out + "' 2>/dev/null";
  const bool shot = std::system(cmd.c_str()) == 0;
  AppOnDelete(app.window, nullptr, nullptr);
  gtk_widget_destroy(app.window);
  uitest::Drain();
  if (!shot) GTEST_SKIP() << "import (ImageMagick) not available";
  EXPECT_TRUE(uitest::Exists(out));
}

}  // namespace
