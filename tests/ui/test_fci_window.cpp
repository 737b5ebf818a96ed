// MTG-I1 FCI in the window: the satellite choice, the 2 km window of a view rectangle, the
// composites on FCI channels, and a user's session on generated FCI cycles: open by date, a
// channel, a composite and the true colour under a coastline, the readout and the export.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <tuple>

#include "canvas/canvanim.h"
#include "canvas/canvexport.h"
#include "canvas/canvfci.h"
#include "canvas/canvimage.h"
#include "canvas/canvmonitor.h"
#include "canvas/canvreadout.h"
#include "canvas/canvvideo.h"
#include "canvas/dlgdatetime.h"
#include "contours/cntrs.h"
#include "data/fci_view.h"
#include "data/geo.h"
#include "dialogs/dlg.h"
#include "tests/support/cli.h"
#include "tests/ui/test_canvas_support.h"
#include "tests/ui/test_cntrs_support.h"
#include "tests/ui/test_dlg_support.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* SLOT = "202506211200";
// A view rectangle over the British Isles on the 3712 grid, small to keep the tests quick.
constexpr int RECT[4] = {1700, 200, 150, 120};

TEST(FciChoice, SettingsTextsNamesAndSlotStep) {
  struct Case {
    const char* text;
    bool ok;
    Sat sat;
  };
  for (const Case& c : {Case{"MTI1", true, {1, SatService::Fci}}, Case{" mti2\t", true, {2, SatService::Fci}},
                        Case{"MTI5", false, {}}, Case{"MTI", false, {}}, Case{"MTI1_RSS", false, {}}}) {
    Sat s{2, SatService::Iodc};
    EXPECT_EQ(SatParse(c.text, &s), c.ok) << c.text;
    EXPECT_EQ(s, c.ok ? c.sat : (Sat{2, SatService::Iodc})) << c.text;
    if (c.ok) {
      Sat back;
      EXPECT_TRUE(SatParse(SatText(s).c_str(), &back));
      EXPECT_EQ(back, s);
    }
  }
  EXPECT_EQ(SatSlotMinutes(Sat{1, SatService::Fci}), 10);
  // A chunk name and a channel layer's name say the service; an MSG name stays MSG.
  Sat s;
  ASSERT_TRUE(SatFromName(FciMakeName(FciName{}), &s));
  EXPECT_EQ(s, (Sat{1, SatService::Fci}));
  for (int i = 0; i < FCI_LAYER_COUNT; i++) {
    EXPECT_STREQ(InfoFciText[i], FciChannels[i].name);
    std::unique_ptr<Layer> layer(InfoNew(FCI_LAYER_FIRST + i, SLOT, nullptr, nullptr));
    Sat got;
    ASSERT_TRUE(InfoLayerSat(layer.get(), &got)) << layer->name;
    EXPECT_EQ(got, (Sat{1, SatService::Fci}));
    EXPECT_EQ(layer->slot, SLOT);
  }
  ASSERT_TRUE(SatFromName(SatSegmentName(Sat{}, "IR_108", 7, SLOT), &s));
  EXPECT_EQ(s, Sat{});
}

// The 2 km window of a rectangle covers the same ground, and display and grid positions agree.
TEST(FciView, TheWindowOfARectangleSeesTheSameGround) {
  struct Case {
    int32_t rect[4], window[4];
  };
  for (const Case& c : {Case{{1700, 200, 150, 120}, {2549, 298, 226, 181}}, Case{{1, 3, 3, 1}, {0, 3, 5, 2}},
                        Case{{0, 0, 3712, 3712}, {0, 0, 5568, 5568}}}) {
    int32_t w[4];
    FciWindowOfRect(c.rect, w);
    EXPECT_EQ(std::vector<int32_t>(w, w + 4), std::vector<int32_t>(c.window, c.window + 4));
  }
  int32_t w[4];
  FciWindowOfRect(RECT, w);
  // The centre of each MSG pixel of the rectangle is seen by FCI at the three display pixels that
  // stand for it, give or take the window's start on whole 2 km pixels (at most 2 display pixels).
  for (const auto& p : {std::pair{0, 0}, {75, 60}, {149, 119}}) {
    double lat = 0, lon = 0, column = 0, row = 0, u = 0, v = 0;
    ASSERT_EQ(GeoPixelToLatLon(3712 - RECT[0] - p.first, 3712 - RECT[1] - p.second, &lat, &lon, 0), 0);
    ASSERT_TRUE(FciLatLonToGrid(FCI_GRID_1KM, lat, lon, &column, &row));
    FciGridToDisplay(w, column, row, &u, &v);
    EXPECT_NEAR(u, 3 * p.first + 1.5, 2.0) << p.first;
    EXPECT_NEAR(v, 3 * p.second + 1.5, 2.0) << p.first;
    double c2 = 0, r2 = 0;
    FciDisplayToGrid(w, u, v, &c2, &r2);
    EXPECT_NEAR(c2, column, 1e-9);
    EXPECT_NEAR(r2, row, 1e-9);
  }
}

TEST(FciView, RecipeChannelsAndColours) {
  const char* const map[] = {nullptr, "vis_06", "vis_08", "nir_16", "ir_38", "wv_63", "wv_73", "ir_87",
                             "ir_97", "ir_105", "ir_123", "ir_133", "vis_06", nullptr};
  for (int id = 0; id < 14; id++) {
    if (map[id])
      EXPECT_STREQ(FciChannels[FciForSeviri(id)].name, map[id]) << id;
    else
      EXPECT_EQ(FciForSeviri(id), -1) << id;
  }
  // 2 x 2 display of a 2 km ir_105 pixel pair and 1 km visible channels.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  cv::Mat values[FCI_CHANNEL_COUNT];
  values[13] = (cv::Mat_<float>(1, 1) << 273.0f);              // ir_105, 2 km
  values[8] = (cv::Mat_<float>(1, 1) << 293.0f);               // ir_38
  values[2] = (cv::Mat_<float>(2, 2) << 0, 25, 50, nan);       // vis_06, %
  values[3] = (cv::Mat_<float>(2, 2) << 10, 10, 10, 10);       // vis_08
  // Red vis_06 from 0 to 100 %, green IR 3.9 - IR 10.8 from -10 to 30 K, blue IR 10.8 from
  // 303 K (dark) to 243 K (bright).
  const int32_t channels[6] = {1, 0, 4, 9, 9, 0};
  const double params[9] = {0, 100, 1, -10, 30, 1, 303, 243, 1};
  const cv::Mat rgb = FciComposite(values, params, channels, cv::Size(2, 2));
  ASSERT_EQ(rgb.type(), CV_8UC3);
  const uint8_t red[4] = {0, 64, 128, 0}, green = 191, blue = 128;  // 255 * (20 + 10) / 40, 255 * 30 / 60
  for (int i = 0; i < 4; i++) {
    const cv::Vec3b p = rgb.at<cv::Vec3b>(i / 2, i % 2);
    EXPECT_NEAR(p[0], red[i], 1) << i;
    EXPECT_NEAR(p[1], green, 1) << i;
    EXPECT_NEAR(p[2], blue, 1) << i;
  }
  // A recipe naming a channel that is not loaded makes nothing.
  const int32_t missing[6] = {5, 0, 4, 9, 9, 0};
  EXPECT_TRUE(FciComposite(values, params, missing, cv::Size(2, 2)).empty());
  // The true colour's green: vis_05 with 7 % of vis_08. Red at 46.5 % matches green from 50 % and
  // 0 %; equal channels give equal colours.
  values[0] = (cv::Mat_<float>(1, 2) << 30, 30);
  values[1] = (cv::Mat_<float>(1, 2) << 50, 50);
  values[2] = (cv::Mat_<float>(1, 2) << 46.5f, 50);
  values[3] = (cv::Mat_<float>(1, 2) << 0, 50);
  const cv::Mat tc = FciTrueColour(values, cv::Size(2, 1));
  ASSERT_FALSE(tc.empty());
  for (int x = 0; x < 2; x++) EXPECT_EQ(tc.at<cv::Vec3b>(0, x)[0], tc.at<cv::Vec3b>(0, x)[1]) << x;
  EXPECT_LT(tc.at<cv::Vec3b>(0, 0)[2], tc.at<cv::Vec3b>(0, 0)[1]);
}

// Two generated FCI cycles (12:00 and 12:10) over the rectangle, made once per build tree with
// the command-line tool as a user would.
std::string FciCycles() {
  const std::string dir = std::string(NUBICORN_BINARY_DIR) + "/test-cycles-fci/" + SLOT;
  if (fs::exists(dir)) return dir;
  const std::string tmp = dir + ".tmp";
  fs::remove_all(tmp);
  fs::create_directories(tmp);
  const CliRun r = SpawnRun({NUBICORN_CLI, "synth", "--satellite", "MTG-I1", "--out", tmp, "--slot", SLOT,
                             "--count", "2", "--compress", "--rect", "2540,290,245,200"});
  if (r.status != 0) {
    ADD_FAILURE() << r.err;
    return {};
  }
  std::error_code ec;
  fs::rename(tmp, dir, ec);
  return dir;
}

class FciWindow : public canvtest::CanvasTest {
 protected:
  // Hard-links the generated cycles' files into folder `into` of the home: the TRAIL files
  // (trail) or the BODY chunks.
  void Put(const std::string& into, bool trail) {
    const std::string src = FciCycles();
    ASSERT_FALSE(src.empty());
    const std::string dir = home / into.c_str();
    fs::create_directories(dir);
    for (const auto& e : fs::directory_iterator(src))
      if (trail == (e.path().filename().string().find("-TRAIL-") != std::string::npos))
        fs::create_hard_link(e.path(), dir + "/" + e.path().filename().string());
  }
  // The window on FCI over the rectangle under a coastline, with the cycles' chunks in `into`
  // (and their trailers when trail).
  void Start(const std::string& into, bool trail = true) {
    Put(into, false);
    if (trail) Put(into, true);
    fs::create_directories(home / "import/Shp");
    ASSERT_TRUE(cntrstest::WriteShapes(home / "import/Shp/coast.shp", SHPT_ARC,
                                       {cntrstest::Shape{{{{-6.0, 53.3}, {-4.5, 53.2}, {-4.0, 52.5}}}, "C"}}));
    Build("[Interface]\nsatellite=MTI1\nrect-x=1700\nrect-y=200\nrect-width=150\nrect-height=120\nzoom=0\n"
          "[Startup files]\ncontour-file-00=coast.shp\ncntrs-file-attr-00=color:Yellow\n");
    ASSERT_TRUE(StartupDone());
  }
};

TEST_F(FciWindow, OpenByDateShowsChannelsCompositesAndTrueColourUnderTheCoast) {
  Start("import/SEVIRI_data");
  ASSERT_EQ(conf.satellite, (Sat{1, SatService::Fci}));
  // Open by date: the newest cycle is offered; both slots with IR 10.5.
  GtkWidget* dialog = DlgDateTimeNew();
  ASSERT_NE(dialog, nullptr);
  DlgDateTime* d = DlgDateTimeGet(dialog);
  ASSERT_TRUE(d->fci);
  EXPECT_EQ(d->step, 10);
  EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(d->min_from)), 1);  // 12:10, the newest
  gtk_combo_box_set_active(GTK_COMBO_BOX(d->min_from), 0);
  gtk_toggle_tool_button_set_active(GTK_TOGGLE_TOOL_BUTTON(d->fci_buttons[13]), TRUE);
  DlgDateTimeLoad(nullptr, d);
  gtk_widget_destroy(dialog);
  uitest::Drain();
  ASSERT_EQ(SlotCount(), 2u);
  Select(FCI_LAYER_FIRST + 13);
  ASSERT_TRUE(canv.image);
  const Layer* ir = CanvCurrentSlot()[FCI_LAYER_FIRST + 13];
  ASSERT_TRUE(ir && ir->fci);
  // Memory of the window: counts and values of the 2 km window, a display of 1 km pixels.
  EXPECT_EQ(ir->images[0].size(), cv::Size(226, 181));
  EXPECT_EQ(ir->images[1].size(), cv::Size(452, 362));
  EXPECT_EQ(LabelText(), "2025-06-21 12:10 UTC");
  // The readout: the count and the temperature of the pixel under the pointer, and the place.
  char text[200];
  CanvReadoutText(ir, nullptr, conf.rect_x, conf.rect_y, 101, 51, text, sizeof text);
  const int count = ir->images[0].at<uint16_t>(25, 50);
  const float kelvin = ir->values.at<float>(25, 50);
  char want[64];
  std::snprintf(want, sizeof want, "IR 10.5 count %d  %.1f K", count, double(kelvin));
  EXPECT_NE(std::string(text).find(want), std::string::npos) << text;
  EXPECT_GT(kelvin, 180.0f);
  EXPECT_LT(kelvin, 320.0f);
  // The coastline lies where the readout names its vertex.
  ASSERT_TRUE(conf.contours);
  const auto* entry = static_cast<const CntrsFile*>(conf.contours->data);
  ASSERT_TRUE(entry && entry->cntrs && entry->cntrs->fci && entry->cntrs->lines->len > 0);
  const GArray* line = static_cast<const GArray*>(g_ptr_array_index(entry->cntrs->lines, 0));
  const double vx = 3 * g_array_index(line, float, 2), vy = 3 * g_array_index(line, float, 3);
  double lat = 0, lon = 0;
  ASSERT_TRUE(CanvFciLatLon(conf.rect_x, conf.rect_y, int(vx), int(vy), 0, &lat, &lon));
  EXPECT_NEAR(lat, 53.2, 0.03);
  EXPECT_NEAR(lon, -4.5, 0.05);

  // A composite of the presets and the true colour, on the 1 km display.
  for (int id : {RECIPE_FIRST_ID + 3, RECIPE_FIRST_ID, FCI_TRUE_COLOUR_ID}) {
    Select(id);
    ASSERT_TRUE(canv.image) << id;
    const Layer* rgb = CanvCurrentSlot()[id];
    ASSERT_TRUE(rgb && rgb->fci) << id;
    EXPECT_EQ(rgb->images[1].size(), cv::Size(452, 362)) << id;
    cv::Scalar mean, dev;
    cv::meanStdDev(rgb->images[1], mean, dev);
    EXPECT_GT(dev[0] + dev[1] + dev[2], 10.0) << id;  // a picture, not a flat colour
  }
  // The animation steps through both slots with the true colour; the video has their frames.
  canv.play = 1;
  std::vector<std::string> labels;
  for (int i = 0; i < 2; i++) {
    CanvAnimStep(nullptr);
    labels.push_back(LabelText());
    EXPECT_TRUE(canv.image) << i;
  }
  canv.play = 0;
  EXPECT_EQ(labels, (std::vector<std::string>{"2025-06-21 12:00 UTC", "2025-06-21 12:10 UTC"}));
  std::string file, err, fourcc;
  int frames = 0;
  ASSERT_TRUE(CanvVideoWrite(&file, &frames, &err, &fourcc)) << err;
  EXPECT_EQ(file, "True colour-202506211200.avi");
  EXPECT_EQ(frames, 2);
  // The selection export names the places the readout names.
  const std::string out = home / "points.txt";
  cv::Mat mask(2, 2, CV_8UC1, cv::Scalar(1));
  ASSERT_TRUE(CanvExportWrite(out, mask, conf.rect_x, conf.rect_y, &err, 0, nullptr, true)) << err;
  double elon = 0, elat = 0;
  ASSERT_EQ(std::sscanf(canvtest::Lines(out).at(1).c_str(), "%lf,%lf", &elon, &elat), 2);
  ASSERT_TRUE(CanvFciLatLon(conf.rect_x, conf.rect_y, 0, 0, 0, &lat, &lon));
  EXPECT_NEAR(elon, lon, 0.001);
  EXPECT_NEAR(elat, lat, 0.001);
  // "Export image": GDAL finds the place of display pixel (101, 51) on the 2 km channel's pixel
  // under it, and on the composite's own pixel.
  ASSERT_TRUE(CanvFciLatLon(conf.rect_x, conf.rect_y, 101, 51, 0, &lat, &lon));
  for (const auto& [id, stem, x, y] : {std::tuple{FCI_LAYER_FIRST + 13, "ir_105", 50, 25},
                                       std::tuple{FCI_TRUE_COLOUR_ID, "True_colour", 101, 51}}) {
    Select(id);
    g_setenv("NUBICORN_GEOTIFF_MODULE", (std::string(NUBICORN_BINARY_DIR) + "/nubicorn-geotiff.so").c_str(), TRUE);
    CanvExportImage(nullptr, nullptr);
    g_unsetenv("NUBICORN_GEOTIFF_MODULE");
    const std::string name = std::string(stem) + "-202506211210.tif";
    ASSERT_EQ(status.back(), "Exported " + name + " and .png to " + home / "export/Image");
    const std::string tif = home / ("export/Image/" + name);
    const CliRun r = SpawnRun({"gdallocationinfo", "-wgs84", "-xml", tif, std::to_string(lon), std::to_string(lat)});
    int px = -1, py = -1;
    const size_t at = r.out.find("<Report pixel=");
    ASSERT_NE(at, std::string::npos) << r.out << r.err;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "<Report pixel=\"%d\" line=\"%d\"", &px, &py), 2);
    EXPECT_EQ(px, x) << stem;
    EXPECT_EQ(py, y) << stem;
    if (id != FCI_TRUE_COLOUR_ID) {
      EXPECT_NE(r.out.find("<Value>" + std::to_string(count) + "</Value>"), std::string::npos) << r.out;
    }
  }
}

TEST_F(FciWindow, TheMonitorTakesACycleOnceItsTrailerAndTheWindowsChunksAreThere) {
  Start("import/mnt", false);
  const auto count = [this](const char* dir) {
    return std::distance(fs::directory_iterator(home / dir), fs::directory_iterator{});
  };
  const long chunks = count("import/mnt");
  ASSERT_GT(chunks, 0);
  for (int i = 0; i < 3; i++) Tick();  // chunks without their trailers: nothing moves
  EXPECT_EQ(SlotCount(), 0u);
  EXPECT_EQ(count("import/mnt"), chunks);
  Put("import/mnt", true);  // the trailers arrive
  Tick();               // seen once: still being written, perhaps
  EXPECT_EQ(SlotCount(), 0u);
  Tick();
  EXPECT_EQ(count("import/mnt"), 0);
  EXPECT_EQ(count("import/SEVIRI_data"), chunks + 2);
  // Two slots, each with IR 10.5 only (nothing was shown), the newest shown.
  ASSERT_EQ(SlotCount(), 2u);
  for (guint i = 0; i < 2; i++) {
    int loaded = 0;
    for (int id = 1; id < SLOT_SIZE; id++) loaded += SlotAt(i)[id] != nullptr;
    EXPECT_EQ(loaded, 1) << i;
    EXPECT_TRUE(SlotAt(i)[FCI_LAYER_FIRST + 13]) << i;
  }
  EXPECT_TRUE(canv.image);
  EXPECT_EQ(LabelText(), "2025-06-21 12:10 UTC");
  canv.monitor = 0;
}

class FciPage : public dlgtest::Dialog {};

TEST_F(FciPage, ChoosingItListsItsChannelsAndTheTrueColour) {
  Start("[Interface]\nrect-x=1700\nrect-y=200\nrect-width=150\nrect-height=120\n");
  Open();
  DlgInterface* s = Interface();
  ASSERT_NE(s, nullptr);
  const auto rows = [this] {
    GtkTreeIter channels;
    EXPECT_TRUE(gtk_tree_model_get_iter_first(GTK_TREE_MODEL(canv.store), &channels));
    return gtk_tree_model_iter_n_children(GTK_TREE_MODEL(canv.store), &channels);
  };
  const auto has = [](int id) {
    GtkTreePath* p = CanvTreePathOf(id);
    gtk_tree_path_free(p);
    return p != nullptr;
  };
  struct Case {
    const char* choice;
    int channels;
    bool fci;
  };
  for (const Case& c : {Case{"MTI1", 16, true}, Case{"MSG4", 12, false}, Case{"MTI1", 16, true}}) {
    gtk_combo_box_set_active_id(GTK_COMBO_BOX(s->satellite), c.choice);
    uitest::Drain();
    EXPECT_EQ(rows(), c.channels) << c.choice;
    EXPECT_EQ(has(FCI_TRUE_COLOUR_ID), c.fci) << c.choice;
    EXPECT_EQ(has(FCI_LAYER_FIRST), c.fci) << c.choice;
    EXPECT_EQ(has(HRV_ID), !c.fci) << c.choice;
    EXPECT_TRUE(has(RECIPE_FIRST_ID + 3)) << c.choice;  // the presets stay for both
  }
}

}  // namespace
