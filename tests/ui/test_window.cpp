// The main window, built for real on a throw-away home folder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/platform.h"
#include "tests/support/logcapture.h"
#include "tests/ui/uitest.h"

namespace {

using uitest::TempHome;

std::vector<GtkWidget*> Children(GtkWidget* container) {
  std::vector<GtkWidget*> out;
  GList* list = gtk_container_get_children(GTK_CONTAINER(container));
  for (GList* l = list; l; l = l->next) out.push_back(GTK_WIDGET(l->data));
  g_list_free(list);
  return out;
}

std::string Label(GtkWidget* item) {
  if (GTK_IS_SEPARATOR_MENU_ITEM(item)) return "-";
  const char* s = gtk_menu_item_get_label(GTK_MENU_ITEM(item));
  return s ? s : "";
}

// Answers the next message box that appears, keeping its title and text.
struct DialogAnswer {
  std::string title, text, secondary;
  GtkWindow* transient_for = nullptr;
  std::function<void()> before;  // runs while the box is on screen
  guint source = 0;
  DialogAnswer() { source = g_timeout_add(50, &DialogAnswer::Poll, this); }
  ~DialogAnswer() {
    if (source) g_source_remove(source);
  }
  static gboolean Poll(gpointer self) {
    auto* a = static_cast<DialogAnswer*>(self);
    GList* tops = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* l = tops; l; l = l->next)
      if (GTK_IS_MESSAGE_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data))) found = GTK_WIDGET(l->data);
    g_list_free(tops);
    if (!found) return G_SOURCE_CONTINUE;
    a->title = gtk_window_get_title(GTK_WINDOW(found)) ?: "";
    gchar* text = nullptr;
    g_object_get(found, "text", &text, nullptr);
    a->text = text ? text : "";
    g_free(text);
    a->transient_for = gtk_window_get_transient_for(GTK_WINDOW(found));
    if (a->before) a->before();
    gtk_dialog_response(GTK_DIALOG(found), GTK_RESPONSE_OK);
    a->source = 0;
    return G_SOURCE_REMOVE;
  }
};

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
  GtkWidget* Menubar() {
    GtkWidget* vbox = gtk_bin_get_child(GTK_BIN(app.window));
    for (GtkWidget* w : Children(vbox))
      if (GTK_IS_MENU_BAR(w)) return w;
    return nullptr;
  }
  GtkWidget* Toolbar() {
    GtkWidget* vbox = gtk_bin_get_child(GTK_BIN(app.window));
    for (GtkWidget* w : Children(vbox))
      if (GTK_IS_TOOLBAR(w)) return w;
    return nullptr;
  }
  int ActiveZoomItem() {
    int active = -1, count = 0;
    for (int i = 0; i < CANV_ZOOM_COUNT; i++)
      if (gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(canv.zoom_items[i]))) {
        active = i;
        count++;
      }
    return count == 1 ? active : -100 - count;
  }
  std::string StatusText() {
    GtkWidget* area = gtk_statusbar_get_message_area(GTK_STATUSBAR(app.statusbar));
    for (GtkWidget* w : Children(area))
      if (GTK_IS_LABEL(w)) return gtk_label_get_text(GTK_LABEL(w));
    return "<no label>";
  }

  TempHome home;
  App app;
  Canv canv;
  Conf conf;
};

TEST_F(Window, MenusInTheirOrder) {
  Build();
  const std::vector<std::pair<std::string, std::vector<std::string>>> want = {
      {"File", {"Open by date", "Monitoring of the working dir", "Export image", "-", "Close a file", "-", "Quit"}},
      {"Zoom", {" 10%", "12.5%", "16.6%", " 20%", " 25%", " 33%", " 50%", " 75%", "x1",  "x1.5", "x2", "x2.5", "x3",
                "x3.5", "x4",  "x5",   "x6",   "x7",   "x8",   "x9",   "x10",  "x11",  "x12", "x13",  "x14", "x15",
                "-", "Zoom in", "Zoom out", "Zoom to fit"}},
      {"Color", {"The color of selection", "Select by color"}},
      {"Animation", {"Play", "Stop", "Rewind", "Forward", "-", "Previous slot", "Next slot"}},
      {"Settings", {"Preferences", "-", "About"}},
  };
  std::vector<GtkWidget*> tops = Children(Menubar());
  ASSERT_EQ(tops.size(), want.size());
  for (size_t i = 0; i < tops.size(); i++) {
    EXPECT_EQ(Label(tops[i]), want[i].first);
    std::vector<std::string> items;
    for (GtkWidget* w : Children(gtk_menu_item_get_submenu(GTK_MENU_ITEM(tops[i])))) items.push_back(Label(w));
    EXPECT_EQ(items, want[i].second) << want[i].first;
  }
  // The zoom items are the ones kept in Canv, radio items of one group.
  std::vector<GtkWidget*> zoom = Children(gtk_menu_item_get_submenu(GTK_MENU_ITEM(tops[1])));
  GSList* group = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(canv.zoom_items[0]));
  EXPECT_EQ(g_slist_length(group), 26u);
  for (int i = 0; i < CANV_ZOOM_COUNT; i++) EXPECT_EQ(zoom[i], canv.zoom_items[i]);
}

TEST_F(Window, DefaultZoomIsX7AndOneItemIsActive) {
  Build();
  EXPECT_EQ(canv.zoom, 17);
  EXPECT_EQ(ActiveZoomItem(), 17);
  EXPECT_DOUBLE_EQ(goo_canvas_get_scale(GOO_CANVAS(canv.canvas)), 7.0);
}

TEST_F(Window, StoredZoomIsApplied) {
  Build("[Interface]\nzoom=3\n");
  EXPECT_EQ(canv.zoom, 10);
  EXPECT_EQ(ActiveZoomItem(), 10);
  EXPECT_DOUBLE_EQ(goo_canvas_get_scale(GOO_CANVAS(canv.canvas)), 2.0);
}

// A stored zoom past the table is refused when the settings are read: the default (x7).
TEST_F(Window, ZoomAboveTheTableGivesTheDefault) {
  Build("[Interface]\nzoom=40\n");
  EXPECT_EQ(canv.zoom, 17);
  EXPECT_EQ(ActiveZoomItem(), 17);
  EXPECT_DOUBLE_EQ(goo_canvas_get_scale(GOO_CANVAS(canv.canvas)), 7.0);
}

TEST_F(Window, ZoomCommandsMoveAlongTheTableAndStopAtItsEnds) {
  Build("[Interface]\nzoom=18\n");
  ASSERT_EQ(canv.zoom, 25);
  CanvZoomIn(nullptr, nullptr);
  EXPECT_EQ(canv.zoom, 25);
  CanvZoomOut(nullptr, nullptr);
  EXPECT_EQ(canv.zoom, 24);
  EXPECT_EQ(ActiveZoomItem(), 24);
  EXPECT_DOUBLE_EQ(goo_canvas_get_scale(GOO_CANVAS(canv.canvas)), 14.0);

  gtk_menu_item_activate(GTK_MENU_ITEM(canv.zoom_items[5]));  // as a click on " 33%"
  EXPECT_EQ(canv.zoom, 5);
  EXPECT_EQ(ActiveZoomItem(), 5);
  EXPECT_DOUBLE_EQ(goo_canvas_get_scale(GOO_CANVAS(canv.canvas)), 1.0 / 3);

  gtk_menu_item_activate(GTK_MENU_ITEM(canv.zoom_items[0]));
  CanvZoomOut(nullptr, nullptr);
  EXPECT_EQ(canv.zoom, 0);
  CanvZoomIn(nullptr, nullptr);
  EXPECT_EQ(canv.zoom, 1);
  EXPECT_EQ(ActiveZoomItem(), 1);
  EXPECT_DOUBLE_EQ(goo_canvas_get_scale(GOO_CANVAS(canv.canvas)), 0.125);
  // The toolbar buttons are wired to the same commands.
  gtk_button_clicked(GTK_BUTTON(gtk_bin_get_child(GTK_BIN(canv.btn_zoom_in))));
  EXPECT_EQ(canv.zoom, 2);
  gtk_button_clicked(GTK_BUTTON(gtk_bin_get_child(GTK_BIN(canv.btn_zoom_out))));
  EXPECT_EQ(canv.zoom, 1);
}

TEST_F(Window, ZoomToFitWithoutAnImageDoesNothing) {
  Build();
  CanvZoomFit(nullptr, nullptr);
  EXPECT_EQ(canv.zoom, 17);
}

// Image sizes in canvas units and visible areas in pixels with the zoom row that fits both ways.
struct FitCase {
  double image_w, image_h, area_w, area_h;
  int zoom;
};

void PrintTo(const FitCase& k, std::ostream* os) {
  *os << k.image_w << "x" << k.image_h << " in " << k.area_w << "x" << k.area_h;
}

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

struct ToolRow {
  enum Kind { BUTTON, HIDDEN_SEP, SEP, ITEM } kind;
  const char* tooltip;  // of the button, or of the widget inside an item
  GType widget;         // of the wrapped widget (ITEM)
};

TEST_F(Window, ToolbarItemsAndTooltipsInOrder) {
  Build();
  // The slot label's holder is the one deprecated widget the toolbar keeps.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  const ToolRow want[] = {
      {ToolRow::BUTTON, "Open by date", 0},
      {ToolRow::HIDDEN_SEP, nullptr, 0},
      {ToolRow::BUTTON, nullptr, 0},  // the spinner's button
      {ToolRow::ITEM, "Monitoring of the working dir", GTK_TYPE_TOGGLE_BUTTON},
      {ToolRow::HIDDEN_SEP, nullptr, 0},
      {ToolRow::BUTTON, "Zoom in", 0},
      {ToolRow::BUTTON, "Zoom out", 0},
      {ToolRow::BUTTON, "Zoom to fit", 0},
      {ToolRow::HIDDEN_SEP, nullptr, 0},
      {ToolRow::ITEM, "The color of selection", GTK_TYPE_COLOR_BUTTON},
      {ToolRow::ITEM, "Select by color", GTK_TYPE_SPIN_BUTTON},
      {ToolRow::ITEM, "Color range", GTK_TYPE_SPIN_BUTTON},
      {ToolRow::BUTTON, "Select by color", 0},
      {ToolRow::ITEM, "Gray scale threshold", GTK_TYPE_TOGGLE_BUTTON},
      {ToolRow::BUTTON, "Save selected", 0},
      {ToolRow::HIDDEN_SEP, nullptr, 0},
      {ToolRow::BUTTON, "Rewind", 0},
      {ToolRow::BUTTON, "Play", 0},
      {ToolRow::BUTTON, "Stop", 0},
      {ToolRow::BUTTON, "Forward", 0},
      {ToolRow::BUTTON, "Make video from the RGB images", 0},
      {ToolRow::SEP, nullptr, 0},
      {ToolRow::ITEM, nullptr, GTK_TYPE_ALIGNMENT},
      {ToolRow::SEP, nullptr, 0},
      {ToolRow::ITEM, "Time slot", GTK_TYPE_SCALE},
      {ToolRow::HIDDEN_SEP, nullptr, 0},
      {ToolRow::BUTTON, "Settings", 0},
      {ToolRow::BUTTON, "About", 0},
      {ToolRow::SEP, nullptr, 0},
      {ToolRow::BUTTON, "Close a file", 0},
  };
  G_GNUC_END_IGNORE_DEPRECATIONS
  GtkToolbar* bar = GTK_TOOLBAR(Toolbar());
  ASSERT_EQ(gtk_toolbar_get_n_items(bar), 30);
  EXPECT_EQ(gtk_toolbar_get_style(bar), GTK_TOOLBAR_ICONS);
  for (int i = 0; i < 30; i++) {
    SCOPED_TRACE(::testing::Message() << "row " << i + 1);
    GtkToolItem* item = gtk_toolbar_get_nth_item(bar, i);
    const ToolRow& w = want[i];
    switch (w.kind) {
      case ToolRow::BUTTON: {
        ASSERT_TRUE(GTK_IS_TOOL_BUTTON(item));
        gchar* tip = gtk_widget_get_tooltip_text(GTK_WIDGET(item));
        EXPECT_STREQ(tip, w.tooltip);
        g_free(tip);
        EXPECT_FALSE(gtk_tool_item_get_expand(item));
        break;
      }
      case ToolRow::HIDDEN_SEP:
      case ToolRow::SEP:
        ASSERT_TRUE(GTK_IS_SEPARATOR_TOOL_ITEM(item));
        EXPECT_EQ(gtk_separator_tool_item_get_draw(GTK_SEPARATOR_TOOL_ITEM(item)), w.kind == ToolRow::SEP);
        EXPECT_EQ(gtk_tool_item_get_expand(item), w.kind == ToolRow::HIDDEN_SEP);
        break;
      case ToolRow::ITEM: {
        ASSERT_FALSE(GTK_IS_TOOL_BUTTON(item));
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(item));
        EXPECT_TRUE(G_TYPE_CHECK_INSTANCE_TYPE(child, w.widget)) << G_OBJECT_TYPE_NAME(child);
        gchar* tip = gtk_widget_get_tooltip_text(child);
        EXPECT_STREQ(tip, w.tooltip);
        g_free(tip);
        gchar* item_tip = gtk_widget_get_tooltip_text(GTK_WIDGET(item));
        EXPECT_EQ(item_tip, nullptr);  // the tooltip belongs to the widget, not the item
        g_free(item_tip);
        EXPECT_EQ(gtk_tool_item_get_expand(item), i == 24);
        break;
      }
    }
  }
  // The Canv fields hold the widgets of their rows.
  auto nth = [&](int row) { return GTK_WIDGET(gtk_toolbar_get_nth_item(bar, row - 1)); };
  auto inner = [&](int row) { return gtk_bin_get_child(GTK_BIN(nth(row))); };
  EXPECT_EQ(canv.btn_open_date, nth(1));
  EXPECT_EQ(canv.spinner, gtk_tool_button_get_icon_widget(GTK_TOOL_BUTTON(nth(3))));
  EXPECT_EQ(canv.btn_monitor, inner(4));
  EXPECT_EQ(canv.btn_zoom_in, nth(6));
  EXPECT_EQ(canv.btn_zoom_out, nth(7));
  EXPECT_EQ(canv.btn_zoom_fit, nth(8));
  EXPECT_EQ(canv.sel_color, inner(10));
  EXPECT_EQ(canv.sel_hue, inner(11));
  EXPECT_EQ(canv.sel_range, inner(12));
  EXPECT_EQ(canv.btn_select, nth(13));
  EXPECT_EQ(canv.btn_gray, inner(14));
  EXPECT_EQ(canv.btn_save_sel, nth(15));
  EXPECT_EQ(canv.btn_rewind, nth(17));
  EXPECT_EQ(canv.btn_play, nth(18));
  EXPECT_EQ(canv.btn_stop, nth(19));
  EXPECT_EQ(canv.btn_forward, nth(20));
  EXPECT_EQ(canv.btn_video, nth(21));
  EXPECT_EQ(canv.label, gtk_bin_get_child(GTK_BIN(inner(23))));
  EXPECT_EQ(canv.range, inner(25));
  EXPECT_EQ(canv.btn_settings, nth(27));
  EXPECT_EQ(canv.btn_close, nth(30));
  // Row 23: the date label stretched to the toolbar height only.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gfloat xs = -1, ys = -1, xa = -1, ya = -1;
  g_object_get(inner(23), "xscale", &xs, "yscale", &ys, "xalign", &xa, "yalign", &ya, nullptr);
  G_GNUC_END_IGNORE_DEPRECATIONS
  EXPECT_EQ(xs, 0);
  EXPECT_EQ(ys, 1);
  EXPECT_EQ(xa, 0);
  EXPECT_EQ(ya, 0);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(canv.label)), "");
  // Row 25: the "Time slot" scale.
  GtkAdjustment* adj = gtk_range_get_adjustment(GTK_RANGE(canv.range));
  EXPECT_EQ(gtk_adjustment_get_lower(adj), 0);
  EXPECT_EQ(gtk_adjustment_get_upper(adj), 100);
  EXPECT_EQ(gtk_scale_get_digits(GTK_SCALE(canv.range)), 0);
  EXPECT_FALSE(gtk_scale_get_draw_value(GTK_SCALE(canv.range)));
  // The spinner is hidden once the window shows, its button with it, and both return together.
  EXPECT_FALSE(gtk_widget_get_visible(canv.spinner));
  EXPECT_FALSE(gtk_widget_get_visible(nth(3)));
  gtk_widget_show(canv.spinner);
  EXPECT_TRUE(gtk_widget_get_visible(nth(3)));
  gtk_widget_hide(canv.spinner);
  EXPECT_FALSE(gtk_widget_get_visible(nth(3)));
  double lo = 0, hi = 0;
  gtk_spin_button_get_range(GTK_SPIN_BUTTON(canv.sel_hue), &lo, &hi);
  EXPECT_EQ(hi, 360);
  gtk_spin_button_get_range(GTK_SPIN_BUTTON(canv.sel_range), &lo, &hi);
  EXPECT_EQ(hi, 90);
}

TEST_F(Window, EveryToolbarItemFitsTheDefaultWidth) {
  Build();
  gtk_window_resize(GTK_WINDOW(app.window), 1100, 600);
  uitest::Drain();
  for (int i = 0; i < 10; i++) {
    uitest::Drain();
    g_usleep(10000);
  }
  GtkToolbar* bar = GTK_TOOLBAR(Toolbar());
  ASSERT_EQ(gtk_widget_get_allocated_width(app.window), 1100);
  // An item that does not fit is moved into the overflow menu and left unmapped.
  for (int i = 0; i < gtk_toolbar_get_n_items(bar); i++) {
    // Row 3 is hidden with its spinner; row 23, the date label, is empty and has no width yet.
    if (i == 2 || i == 22) continue;
    GtkWidget* item = GTK_WIDGET(gtk_toolbar_get_nth_item(bar, i));
    EXPECT_TRUE(gtk_widget_get_mapped(item)) << "row " << i + 1;
  }
}

TEST_F(Window, SelectionColourSetsTheHueAndRange) {
  Build();
  EXPECT_EQ(gtk_spin_button_get_value(GTK_SPIN_BUTTON(canv.sel_hue)), 0);  // black
  EXPECT_EQ(gtk_spin_button_get_value(GTK_SPIN_BUTTON(canv.sel_range)), 10);
  Close();
  home.WriteIni("[Interface]\nselected-color=255128000\nselected-range=25\n");
  Build();
  // (255*256, 128*256, 0) / 65536: hue = (g - b) / (max - min) / 6 = 0.5 / 0.99609 / 6 -> 30.1 degrees.
  EXPECT_EQ(gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(canv.sel_hue)), 30);
  EXPECT_EQ(gtk_spin_button_get_value(GTK_SPIN_BUTTON(canv.sel_range)), 25);
  GdkRGBA rgba;
  gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(canv.sel_color), &rgba);
  EXPECT_NEAR(rgba.red, 255 * 256 / 65535.0, 1e-6);
  EXPECT_NEAR(rgba.green, 128 * 256 / 65535.0, 1e-6);
  EXPECT_EQ(rgba.blue, 0);
}

TEST_F(Window, LayerTreeRowsAndIds) {
  Build("[Rgb composite]\nrgb-name-00=First\nrgb-channels-00=1;0;2;0;3;0\nrgb-params-00=0;1;1;0;1;1;0;1;1\n"
        "rgb-name-01=Second\nrgb-channels-01=9;0;9;0;9;0\nrgb-params-01=0;1;1;0;1;1;0;1;1\n");
  GtkTreeModel* m = GTK_TREE_MODEL(canv.store);
  EXPECT_EQ(gtk_tree_view_get_model(GTK_TREE_VIEW(canv.tree)), m);
  ASSERT_EQ(gtk_tree_model_iter_n_children(m, nullptr), 2);
  auto row = [&](std::vector<int> idx, std::string* label, int* id) {
    GtkTreePath* p = gtk_tree_path_new();
    for (int i : idx) gtk_tree_path_append_index(p, i);
    GtkTreeIter it;
    bool ok = gtk_tree_model_get_iter(m, &it, p);
    gtk_tree_path_free(p);
    if (!ok) return false;
    gchar* s = nullptr;
    gtk_tree_model_get(m, &it, 0, &s, 1, id, -1);
    *label = s ? s : "";
    g_free(s);
    return true;
  };
  std::string label;
  int id = -1;
  ASSERT_TRUE(row({0}, &label, &id));
  EXPECT_EQ(label, "Channels");
  EXPECT_EQ(id, 0);
  const char* channels[] = {"VIS 0.6", "VIS 0.8", "IR 0.16", "IR 0.39", "WV 0.62", "WV 0.73",
                            "IR 0.87", "IR 0.97", "IR 10.8", "IR 12.0", "IR 13.4", "HRV"};
  for (int i = 0; i < 12; i++) {
    ASSERT_TRUE(row({0, i}, &label, &id));
    EXPECT_EQ(label, channels[i]);
    EXPECT_EQ(id, i + 1);
  }
  EXPECT_FALSE(row({0, 12}, &label, &id));
  ASSERT_TRUE(row({1}, &label, &id));
  EXPECT_EQ(label, "Rgb");
  EXPECT_EQ(id, 0);
  ASSERT_TRUE(row({1, 0}, &label, &id));
  EXPECT_EQ(label, "First");
  EXPECT_EQ(id, 13);
  ASSERT_TRUE(row({1, 1}, &label, &id));
  EXPECT_EQ(label, "Second");
  EXPECT_EQ(id, 14);
  EXPECT_FALSE(row({1, 2}, &label, &id));
  GtkTreePath* p = gtk_tree_path_new_from_indices(0, -1);
  EXPECT_TRUE(gtk_tree_view_row_expanded(GTK_TREE_VIEW(canv.tree), p));
  gtk_tree_path_free(p);
  p = gtk_tree_path_new_from_indices(1, -1);
  EXPECT_TRUE(gtk_tree_view_row_expanded(GTK_TREE_VIEW(canv.tree), p));
  gtk_tree_path_free(p);
  EXPECT_FALSE(gtk_tree_view_get_headers_visible(GTK_TREE_VIEW(canv.tree)));
  EXPECT_EQ(gtk_tree_selection_get_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(canv.tree))), GTK_SELECTION_SINGLE);
}

TEST_F(Window, DefaultRecipesFillTheRgbGroup) {
  Build();
  GtkTreeIter rgb;
  ASSERT_TRUE(gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(canv.store), &rgb, nullptr, 1));
  EXPECT_EQ(gtk_tree_model_iter_n_children(GTK_TREE_MODEL(canv.store), &rgb), 7);
}

TEST_F(Window, StatusMessagesPileUpAndAllClear) {
  Build();
  AppStatus("first");
  AppStatus("second");
  AppStatus("third");
  EXPECT_EQ(StatusText(), "third");
  AppStatus(nullptr);  // every message of context 0, not only the newest
  EXPECT_EQ(StatusText(), "");
  AppStatus("again");
  EXPECT_EQ(StatusText(), "again");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(app.status_label)), "");
}

TEST_F(Window, FreshHomeIsPreparedAndGetsTheDefaults) {
  Build();
  for (const auto& parts : PlatformHomeTree) {
    std::string dir = home.path() + "/" + parts[0] + (parts[1] ? std::string("/") + parts[1] : "");
    EXPECT_TRUE(g_file_test(dir.c_str(), G_FILE_TEST_IS_DIR)) << dir;
  }
  ASSERT_TRUE(uitest::Exists(home.setup()));
  EXPECT_EQ(uitest::ReadFile(home.setup()), uitest::ReadFile(NUBICORN_SOURCE_DIR "/resources/nubicorn.ini"));
  EXPECT_TRUE(uitest::Exists(home.ini()));  // the setup copy was stored as the settings file
  EXPECT_EQ(conf.rect_x, 2710);
  EXPECT_EQ(conf.zoom, 10);
  EXPECT_EQ(conf.recipes.size(), 7u);
  EXPECT_EQ(StatusText(), "");
}

TEST_F(Window, ExistingSetupCopyIsNotReplaced) {
  home.WriteSetup("[Interface]\nzoom=2\n");
  Build();
  EXPECT_EQ(uitest::ReadFile(home.setup()), "[Interface]\nzoom=2\n");
  EXPECT_EQ(canv.zoom, 9);
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
  DialogAnswer answer;
  Build();
  EXPECT_EQ(answer.title, "Nubicorn");
  EXPECT_EQ(answer.text, "Reinstall the program! (Unable to read INI config)");
  EXPECT_EQ(answer.transient_for, GTK_WINDOW(app.window));
  EXPECT_TRUE(conf.recipes.empty());
  GtkTreeIter rgb;
  ASSERT_TRUE(gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(canv.store), &rgb, nullptr, 1));
  EXPECT_EQ(gtk_tree_model_iter_n_children(GTK_TREE_MODEL(canv.store), &rgb), 0);
  EXPECT_EQ(conf.rect_width, 10);
  EXPECT_EQ(canv.zoom, 7);  // zoom 0 + 7
  EXPECT_EQ(ActiveZoomItem(), 7);
  EXPECT_NE(StatusText().find("Settings cannot be saved"), std::string::npos) << StatusText();
  EXPECT_FALSE(ConfWrite(0));  // a save fails cleanly
  EXPECT_EQ(uitest::ReadFile(home / "config"), "a file where the folder should be");
}

TEST_F(Window, AboutBoxIsModalOverTheWindow) {
  Build();
  DialogAnswer answer;
  AppAbout(nullptr, nullptr);
  EXPECT_EQ(answer.title, "Nubicorn");
  EXPECT_NE(answer.text.find(">Nubicorn</span>"), std::string::npos) << answer.text;
  EXPECT_NE(answer.text.find("version " NUBICORN_VERSION), std::string::npos);
  EXPECT_EQ(answer.transient_for, GTK_WINDOW(app.window));
}

TEST_F(Window, AboutMenuItemAndButtonOpenTheAboutBox) {
  Build();
  std::vector<GtkWidget*> tops = Children(Menubar());
  std::vector<GtkWidget*> settings = Children(gtk_menu_item_get_submenu(GTK_MENU_ITEM(tops[4])));
  {
    DialogAnswer answer;
    gtk_menu_item_activate(GTK_MENU_ITEM(settings[2]));
    EXPECT_EQ(answer.title, "Nubicorn");
  }
  {
    DialogAnswer answer;
    gtk_button_clicked(GTK_BUTTON(gtk_bin_get_child(GTK_BIN(gtk_toolbar_get_nth_item(GTK_TOOLBAR(Toolbar()), 27)))));
    EXPECT_EQ(answer.title, "Nubicorn");
  }
}

TEST_F(Window, WindowTitleSizeAndIcon) {
  Build();
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(app.window)), "Nubicorn");
  int w = 0, h = 0;
  gtk_window_get_default_size(GTK_WINDOW(app.window), &w, &h);
  EXPECT_EQ(w, 1100);
  EXPECT_EQ(h, 600);
  ASSERT_TRUE(app.icon);
  EXPECT_EQ(gdk_pixbuf_get_width(app.icon.get()), 32);
  EXPECT_EQ(gdk_pixbuf_get_height(app.icon.get()), 32);
  EXPECT_TRUE(gdk_pixbuf_get_has_alpha(app.icon.get()));
  EXPECT_EQ(gtk_window_get_icon(GTK_WINDOW(app.window)), app.icon.get());
  EXPECT_EQ(Canv_get, &canv);
  EXPECT_EQ(App_get, &app);
  EXPECT_EQ(Conf_get, &conf);
}

// Saves what the screen shows, for a person to look at (build/ui-window.png).
TEST_F(Window, Screenshot) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  Build();
  AppStatus("Screenshot of the main window");
  gtk_window_move(GTK_WINDOW(app.window), 0, 0);
  for (int i = 0; i < 20; i++) {
    uitest::Drain();
    g_usleep(20000);
  }
  const std::string out = std::string(NUBICORN_BINARY_DIR) + "/ui-window.png";
  const std::string cmd = "import -window root '" + out + "' 2>/dev/null";
  if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "import (ImageMagick) not available";
  EXPECT_TRUE(uitest::Exists(out));
  // The About box over the window: build/ui-about.png.
  const std::string about = std::string(NUBICORN_BINARY_DIR) + "/ui-about.png";
  DialogAnswer answer;
  answer.before = [&] {
    for (int i = 0; i < 20; i++) {
      uitest::Drain();
      g_usleep(20000);
    }
    EXPECT_EQ(std::system(("import -window root '" + about + "' 2>/dev/null").c_str()), 0);
  };
  AppAbout(nullptr, nullptr);
  EXPECT_TRUE(uitest::Exists(about));
}

}  // namespace
