// The main window, built for real on a throw-away home folder.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/platform.h"
#include "tests/support/logcapture.h"
#include "tests/ui/uitest.h"

namespace {

using uitest::TempHome;

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!uitest::GtkReady()) GTEST_SKIP() << "no display";
  }
  void TearDown() override { Close(); }
  void Build(const std::string& ini = {}) {
    if (!ini.empty()) home.WriteIni(ini);
    ASSERT_TRUE(AppCreate(&app, &canv, &conf, home.path()));
    uitest::Drain();
  }
  void Close() {
    if (!app.window) return;
    AppOnDelete(app.window, nullptr, nullptr);
    gtk_widget_destroy(app.window);
    app.window = nullptr;
    uitest::Drain();
  }
  // The zoom row the window is at, checked against the menu (one radio item) and the canvas.
  int Zoom() {
    int active = -1, count = 0;
    for (int i = 0; i < CANV_ZOOM_COUNT; i++)
      if (gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(canv.zoom_items[i]))) {
        active = i;
        count++;
      }
    EXPECT_EQ(count, 1);
    EXPECT_EQ(active, canv.zoom);
    EXPECT_DOUBLE_EQ(goo_canvas_get_scale(GOO_CANVAS(canv.canvas)), CanvZoomScales[canv.zoom].scale);
    return canv.zoom;
  }
  std::string StatusText() { return uitest::StatusbarText(app.statusbar); }
  TempHome home;
  App app;
  Canv canv;
  Conf conf;
};

// The stored zoom (settings value + 7 is the table row); a value past the table gives the default x7.
struct ZoomCase {
  const char* ini;
  int row;
};
class WindowZoom : public Window, public ::testing::WithParamInterface<ZoomCase> {};

TEST_P(WindowZoom, StoredZoomIsApplied) {
  Build(GetParam().ini);
  EXPECT_EQ(Zoom(), GetParam().row);
}

INSTANTIATE_TEST_SUITE_P(Table, WindowZoom,
                         ::testing::Values(ZoomCase{"", 17}, ZoomCase{"[Interface]\nzoom=3\n", 10},
                                           ZoomCase{"[Interface]\nzoom=40\n", 17},
                                           ZoomCase{"[Interface]\nzoom=18\n", 25}));

// Zoom in, out, a menu row, the toolbar buttons and zoom to fit without an image, in one window:
// each step lands on its row and stops at the ends of the table.
TEST_F(Window, ZoomCommandsMoveAlongTheTableAndStopAtItsEnds) {
  Build("[Interface]\nzoom=18\n");
  auto menu = [&](int row) { gtk_menu_item_activate(GTK_MENU_ITEM(canv.zoom_items[row])); };
  auto button = [](GtkToolItem* b) { gtk_button_clicked(GTK_BUTTON(gtk_bin_get_child(GTK_BIN(b)))); };
  struct Step {
    std::function<void()> act;
    int row;
  } steps[] = {
      {[] { CanvZoomIn(nullptr, nullptr); }, 25},
      {[] { CanvZoomOut(nullptr, nullptr); }, 24},
      {[&] { menu(5); }, 5},
      {[&] { menu(0); }, 0},
      {[] { CanvZoomOut(nullptr, nullptr); }, 0},
      {[] { CanvZoomIn(nullptr, nullptr); }, 1},
      {[&] { button(GTK_TOOL_ITEM(canv.btn_zoom_in)); }, 2},
      {[&] { button(GTK_TOOL_ITEM(canv.btn_zoom_out)); }, 1},
      {[] { CanvZoomFit(nullptr, nullptr); }, 1},  // no image: nothing to fit
  };
  for (size_t i = 0; i < std::size(steps); i++) {
    steps[i].act();
    EXPECT_EQ(Zoom(), steps[i].row) << "step " << i;
  }
}

// Image sizes in canvas units and visible areas in pixels with the zoom row that fits both ways.
struct FitCase {
  double image_w, image_h, area_w, area_h;
  int zoom;
};
class ZoomFit : public ::testing::TestWithParam<FitCase> {};

TEST_P(ZoomFit, LargestRowAtWhichTheWholeImageFits) {
  const FitCase& k = GetParam();
  const int z = CanvZoomFitIndex(k.image_w, k.image_h, k.area_w, k.area_h);
  EXPECT_EQ(z, k.zoom) << CanvZoomScales[z].label;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ZoomFit,
    ::testing::Values(FitCase{276, 180, 1100, 490, 11},   // x2.5: x3 would be 540 rows high
                      FitCase{300, 480, 1100, 490, 8},    // x1: x1.5 would be 720 rows high
                      FitCase{2000, 100, 800, 600, 5},    // the width decides: 33%
                      FitCase{200, 100, 400, 200, 10},    // exactly the area at x2
                      FitCase{200, 100, 399, 200, 9},     // one pixel short of x2
                      FitCase{10, 10, 1000, 1000, 25},    // x15 is the largest row
                      FitCase{100000, 100, 800, 600, 0},  // nothing fits: 10%
                      FitCase{276, 180, 0, 0, 0}));

// A fresh home: the folders are made, the setup copy is stored and the window has the defaults,
// the stored selection colour and range, one tree row per recipe, and a status bar whose
// messages pile up and all clear.
TEST_F(Window, FreshHomeIsPreparedAndTheWindowShowsTheSettings) {
  Build();
  for (const auto& parts : PlatformHomeTree) {
    std::string dir = home.path() + "/" + parts[0] + (parts[1] ? std::string("/") + parts[1] : "");
    EXPECT_TRUE(g_file_test(dir.c_str(), G_FILE_TEST_IS_DIR)) << dir;
  }
  EXPECT_EQ(uitest::ReadFile(home.setup()), uitest::ReadFile(NUBICORN_SOURCE_DIR "/resources/nubicorn.ini"));
  EXPECT_TRUE(uitest::Exists(home.ini()));  // the setup copy was stored as the settings file
  EXPECT_EQ(conf.recipes.size(), 7u);
  ASSERT_TRUE(app.icon);
  EXPECT_EQ(gtk_window_get_icon(GTK_WINDOW(app.window)), app.icon.get());
  EXPECT_EQ(gtk_spin_button_get_value(GTK_SPIN_BUTTON(canv.sel_hue)), 0);  // black
  EXPECT_EQ(StatusText(), "");
  AppStatus("first");
  AppStatus("second");
  EXPECT_EQ(StatusText(), "second");
  AppStatus(nullptr);  // every message of context 0, not only the newest
  EXPECT_EQ(StatusText(), "");
  AppStatus("again");
  EXPECT_EQ(StatusText(), "again");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(app.status_label)), "");
}

TEST_F(Window, StoredColourRecipesAndSetupCopyAreUsed) {
  home.WriteSetup("[Interface]\nzoom=2\n");
  Build("[Interface]\nselected-color=255128000\nselected-range=25\n[Rgb composite]\n"
        "rgb-name-00=First\nrgb-channels-00=1;0;2;0;3;0\nrgb-params-00=0;1;1;0;1;1;0;1;1\n"
        "rgb-name-01=Second\nrgb-channels-01=9;0;9;0;9;0\nrgb-params-01=0;1;1;0;1;1;0;1;1\n");
  EXPECT_EQ(uitest::ReadFile(home.setup()), "[Interface]\nzoom=2\n") << "an existing setup copy is not replaced";
  // (255*256, 128*256, 0) / 65536: hue = (g - b) / (max - min) / 6 = 0.5 / 0.99609 / 6 -> 30.1 degrees.
  EXPECT_EQ(gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(canv.sel_hue)), 30);
  EXPECT_EQ(gtk_spin_button_get_value(GTK_SPIN_BUTTON(canv.sel_range)), 25);
  GdkRGBA rgba;
  gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(canv.sel_color), &rgba);
  EXPECT_NEAR(rgba.red, 255 * 256 / 65535.0, 1e-6);
  EXPECT_NEAR(rgba.green, 128 * 256 / 65535.0, 1e-6);
  EXPECT_EQ(rgba.blue, 0);
  // The recipes are the rows of the second group, with ids from RECIPE_FIRST_ID on.
  GtkTreeModel* m = GTK_TREE_MODEL(canv.store);
  GtkTreeIter rgb, row;
  ASSERT_TRUE(gtk_tree_model_iter_nth_child(m, &rgb, nullptr, 1));
  ASSERT_EQ(gtk_tree_model_iter_n_children(m, &rgb), 2);
  for (int i = 0; i < 2; i++) {
    ASSERT_TRUE(gtk_tree_model_iter_nth_child(m, &row, &rgb, i));
    gchar* label = nullptr;
    int id = -1;
    gtk_tree_model_get(m, &row, 0, &label, 1, &id, -1);
    EXPECT_STREQ(label, i ? "Second" : "First");
    EXPECT_EQ(id, RECIPE_FIRST_ID + i);
    g_free(label);
  }
}

TEST_F(Window, ClosingFreesEverythingAndWritesNothing) {
  Build("[Interface]\nzoom=5\n[Own]\nx=1\n");
  const auto before = uitest::Snapshot(home.path());
  conf.selected_range = 33;  // changed in memory only
  canv.image = goo_canvas_image_new(goo_canvas_get_root_item(GOO_CANVAS(canv.canvas)), nullptr, 0, 0, nullptr);
  GooCanvasItem* root = goo_canvas_get_root_item(GOO_CANVAS(canv.canvas));
  ASSERT_EQ(goo_canvas_item_get_n_children(root), 2);
  EXPECT_FALSE(AppOnDelete(app.window, nullptr, nullptr));
  EXPECT_EQ(goo_canvas_item_get_n_children(root), 1);  // the image item is gone, the contour group stays
  EXPECT_EQ(canv.image, nullptr);
  EXPECT_EQ(Conf_get, nullptr);
  EXPECT_FALSE(conf.key_file);
  EXPECT_TRUE(conf.recipes.empty());
  EXPECT_TRUE(app.home.empty());
  gpointer store = canv.store;
  g_object_add_weak_pointer(G_OBJECT(store), &store);
  gtk_widget_destroy(app.window);
  app.window = nullptr;
  uitest::Drain();
  EXPECT_EQ(store, nullptr);  // the tree view held the only lasting reference to its store
  EXPECT_EQ(uitest::Snapshot(home.path()), before);
}

TEST_F(Window, UnusableHomeShowsTheErrorBoxAndStillBuildsAUsableWindow) {
  uitest::TempHome::Write(home / "config", "a file where the folder should be");
  LogCapture log;
  uitest::Answerer answer;
  Build();
  EXPECT_EQ(answer.title, "Nubicorn");
  EXPECT_EQ(answer.text, "Reinstall the program! (Unable to read INI config)");
  EXPECT_EQ(answer.transient_for, GTK_WINDOW(app.window));
  EXPECT_TRUE(conf.recipes.empty());
  GtkTreeIter rgb;
  ASSERT_TRUE(gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(canv.store), &rgb, nullptr, 1));
  EXPECT_EQ(gtk_tree_model_iter_n_children(GTK_TREE_MODEL(canv.store), &rgb), 0);
  EXPECT_EQ(conf.rect_width, 10);
  EXPECT_EQ(Zoom(), 7);  // zoom 0 + 7
  EXPECT_NE(StatusText().find("Settings cannot be saved"), std::string::npos) << StatusText();
  EXPECT_FALSE(ConfWrite(0));  // a save fails cleanly
  EXPECT_EQ(uitest::ReadFile(home / "config"), "a file where the folder should be");
}

// The About box, from the menu item and from the toolbar button, is modal over the window.
TEST_F(Window, AboutMenuItemAndButtonOpenTheAboutBox) {
  Build();
  GtkWidget* item = uitest::MenuItem(app.window, "About");
  ASSERT_NE(item, nullptr);
  GtkWidget* bar = gtk_widget_get_parent(canv.btn_settings);  // About is the button after Settings
  const int at = gtk_toolbar_get_item_index(GTK_TOOLBAR(bar), GTK_TOOL_ITEM(canv.btn_settings));
  GtkWidget* about_button = gtk_bin_get_child(GTK_BIN(gtk_toolbar_get_nth_item(GTK_TOOLBAR(bar), at + 1)));
  for (const std::function<void()>& open : std::vector<std::function<void()>>{
           [&] { gtk_menu_item_activate(GTK_MENU_ITEM(item)); },
           [&] { gtk_button_clicked(GTK_BUTTON(about_button)); }}) {
    const uitest::DialogSeen seen = uitest::Answered(open);
    EXPECT_EQ(seen.count, 1);
    EXPECT_EQ(seen.title, "Nubicorn");
    EXPECT_NE(seen.text.find(">Nubicorn</span>"), std::string::npos) << seen.text;
    EXPECT_NE(seen.text.find("version " NUBICORN_VERSION), std::string::npos);
    EXPECT_EQ(seen.transient_for, GTK_WINDOW(app.window));
  }
}

}  // namespace
