// The main window, built for real on a throw-away home folder: its settings, zoom commands, the
// keyboard (accelerators, arrows on the canvas, Ctrl+wheel around the pointer; keys go in as key
// events of the main window, through the toolkit's own dispatch), closing and an unusable home.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "app/app.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_canvas_support.h"

namespace {

using uitest::TempHome;

constexpr const char* SLOT_A = "201607041200";
constexpr const char* SLOT_B = "201609301845";
constexpr int IR108 = 9;
constexpr GdkModifierType CTRL = GDK_CONTROL_MASK;
constexpr GdkModifierType NONE = GdkModifierType(0);

GdkDevice* Device(bool keyboard) {
  GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
  return keyboard ? gdk_seat_get_keyboard(seat) : gdk_seat_get_pointer(seat);
}

class Window : public canvtest::CanvasTest {
 protected:
  // The window on the slots' cycles, IR 10.8 shown.
  void Open(std::initializer_list<const char*> slots, const std::string& ini = {}) {
    for (const char* s : slots) canvtest::Link(home, s);
    Build(ini);
    ASSERT_TRUE(StartupDone());
    for (const char* s : slots) AddSlot(s);
    Select(IR108);
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
  // Presses and releases keyval with mods on the main window as the keyboard would: the key's
  // hardware code from the keymap, Shift added where the keyval needs it.
  void Press(guint keyval, GdkModifierType mods) {
    GdkKeymapKey* keys = nullptr;
    gint n = 0;
    GdkKeymap* map = gdk_keymap_get_for_display(gdk_display_get_default());
    ASSERT_TRUE(gdk_keymap_get_entries_for_keyval(map, keyval, &keys, &n) && n > 0) << gdk_keyval_name(keyval);
    const GdkKeymapKey k = keys[0];
    g_free(keys);
    GdkEvent* e = gdk_event_new(GDK_KEY_PRESS);
    e->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(app.window)));
    e->key.keyval = keyval;
    e->key.state = mods | (k.level == 1 ? GDK_SHIFT_MASK : 0);
    e->key.hardware_keycode = guint16(k.keycode);
    e->key.group = guint8(k.group);
    e->key.time = GDK_CURRENT_TIME;
    gdk_event_set_device(e, Device(true));
    gtk_main_do_event(e);
    e->key.type = GDK_KEY_RELEASE;
    gtk_main_do_event(e);
    gdk_event_free(e);
    uitest::Drain();
  }
  // Turns the wheel over the canvas at pixel (x, y).
  void Wheel(double x, double y, GdkScrollDirection dir, GdkModifierType mods) {
    GdkEvent* e = gdk_event_new(GDK_SCROLL);
    e->scroll.window = GDK_WINDOW(g_object_ref(GOO_CANVAS(canv.canvas)->canvas_window));
    e->scroll.x = x;
    e->scroll.y = y;
    e->scroll.state = mods;
    e->scroll.direction = dir;
    gdk_event_set_device(e, Device(false));
    gtk_main_do_event(e);
    gdk_event_free(e);
    uitest::Drain();
  }
  int Slot() { return int(std::floor(gtk_range_get_value(GTK_RANGE(canv.range)))); }
  std::string StatusText() { return uitest::StatusbarText(app.statusbar); }
};

// The stored zoom (settings value + 7 is the table row); a value past the table gives the default x7.
TEST_F(Window, StoredZoomIsApplied) {
  for (auto [ini, row] : {std::pair{"", 17}, {"[Interface]\nzoom=3\n", 10}, {"[Interface]\nzoom=40\n", 17},
                          {"[Interface]\nzoom=18\n", 25}}) {
    SCOPED_TRACE(ini);
    TempHome fresh;
    if (*ini) fresh.WriteIni(ini);
    App a;
    Canv c;
    Conf f;
    ASSERT_TRUE(AppCreate(&a, &c, &f, fresh.path()));
    uitest::Drain();
    EXPECT_EQ(c.zoom, row);
    EXPECT_DOUBLE_EQ(goo_canvas_get_scale(GOO_CANVAS(c.canvas)), CanvZoomScales[row].scale);
    EXPECT_TRUE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(c.zoom_items[row])));
    AppOnDelete(a.window, nullptr, nullptr);
    gtk_widget_destroy(a.window);
    uitest::Drain();
  }
}

// Zoom in and out by command, key, toolbar button and menu row, in one window: each step lands on
// its row and stops at the ends of the table; Ctrl+0 does what "Zoom to fit" does.
TEST_F(Window, ZoomCommandsMoveAlongTheTableAndStopAtItsEnds) {
  Build("[Interface]\nzoom=18\n");
  CanvZoomFit(nullptr, nullptr);  // no image: nothing to fit
  EXPECT_EQ(Zoom(), 25);
  canvtest::Link(home, SLOT_A);
  AddSlot(SLOT_A);
  Select(IR108);
  auto menu = [&](int row) { gtk_menu_item_activate(GTK_MENU_ITEM(canv.zoom_items[row])); };
  auto button = [](GtkWidget* b) { gtk_button_clicked(GTK_BUTTON(gtk_bin_get_child(GTK_BIN(b)))); };
  auto key = [&](guint k) { Press(k, CTRL); };
  const struct Step {
    std::function<void()> act;
    int row;
  } steps[] = {
      {[&] { key(GDK_KEY_plus); }, 25},
      {[] { CanvZoomOut(nullptr, nullptr); }, 24},
      {[&] { menu(5); }, 5},
      {[&] { menu(0); }, 0},
      {[&] { key(GDK_KEY_minus); }, 0},
      {[] { CanvZoomIn(nullptr, nullptr); }, 1},
      {[&] { key(GDK_KEY_plus); }, 2},
      {[&] { key(GDK_KEY_equal); }, 3},
      {[&] { key(GDK_KEY_KP_Add); }, 4},
      {[&] { key(GDK_KEY_KP_Subtract); }, 3},
      {[&] { key(GDK_KEY_minus); }, 2},
      {[&] { button(canv.btn_zoom_in); }, 3},
      {[&] { button(canv.btn_zoom_out); }, 2},
  };
  for (size_t i = 0; i < std::size(steps); i++) {
    steps[i].act();
    EXPECT_EQ(Zoom(), steps[i].row) << "step " << i;
  }
  menu(25);
  Press(GDK_KEY_0, CTRL);
  const int by_key = Zoom();
  menu(25);
  CanvZoomFit(nullptr, nullptr);
  EXPECT_EQ(by_key, canv.zoom);
  EXPECT_NE(by_key, 25);
}

TEST(ZoomFit, LargestRowAtWhichTheWholeImageFits) {
  const struct {
    double image_w, image_h, area_w, area_h;
    int zoom;
  } cases[] = {
      {276, 180, 1100, 490, 11},   // x2.5: x3 would be 540 rows high
      {300, 480, 1100, 490, 8},    // x1: x1.5 would be 720 rows high
      {2000, 100, 800, 600, 5},    // the width decides: 33%
      {200, 100, 400, 200, 10},    // exactly the area at x2
      {200, 100, 399, 200, 9},     // one pixel short of x2
      {10, 10, 1000, 1000, 25},    // x15 is the largest row
      {100000, 100, 800, 600, 0},  // nothing fits: 10%
      {276, 180, 0, 0, 0},
  };
  for (const auto& k : cases)
    EXPECT_EQ(CanvZoomFitIndex(k.image_w, k.image_h, k.area_w, k.area_h), k.zoom) << k.image_w << "x" << k.image_h;
}

TEST_F(Window, KeysStepTheSlotPlayOpenByDateAndQuit) {
  Open({SLOT_A, SLOT_B});
  const char* const labels[] = {"2016-07-04 12:00 UTC", "2016-09-30 18:45 UTC"};
  for (auto [key, slot] : {std::pair{GDK_KEY_Page_Down, 1}, {GDK_KEY_Page_Down, 1}, {GDK_KEY_Page_Up, 0},
                           {GDK_KEY_Page_Up, 0}}) {
    Press(key, NONE);
    EXPECT_EQ(Slot(), slot) << gdk_keyval_name(key);
    EXPECT_EQ(LabelText(), labels[slot]);  // shown at once, no wait for the scale to rest
  }
  gtk_widget_grab_focus(canv.canvas);
  ASSERT_TRUE(gtk_widget_is_focus(canv.canvas));  // within the window: other tests may hold the display's focus
  Press(GDK_KEY_Right, NONE);
  EXPECT_EQ(Slot(), 1);
  Press(GDK_KEY_Left, NONE);
  EXPECT_EQ(Slot(), 0);
  // Elsewhere the arrows keep their own meaning: the tree moves its cursor, the slot stays.
  gtk_widget_grab_focus(canv.tree);
  Press(GDK_KEY_Right, NONE);
  EXPECT_EQ(Slot(), 0);

  Press(GDK_KEY_space, NONE);
  EXPECT_EQ(canv.play, 1);
  EXPECT_NE(canv.play_source, 0u);
  Press(GDK_KEY_space, NONE);
  EXPECT_EQ(canv.play, 0);
  EXPECT_EQ(canv.play_source, 0u);

  std::string title;
  const guint source = g_timeout_add(20, +[](gpointer p) -> gboolean {
    GtkWidget* d = uitest::VisibleToplevel(GTK_TYPE_DIALOG);
    if (!d) return G_SOURCE_CONTINUE;
    *static_cast<std::string*>(p) = gtk_window_get_title(GTK_WINDOW(d));
    gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_CANCEL);
    return G_SOURCE_REMOVE;
  }, &title);
  Press(GDK_KEY_o, CTRL);
  if (title.empty()) g_source_remove(source);
  EXPECT_EQ(title, "Load DateTime slots");

  GtkWidget* window = app.window;
  g_object_add_weak_pointer(G_OBJECT(window), reinterpret_cast<gpointer*>(&window));
  Press(GDK_KEY_q, CTRL);
  EXPECT_EQ(window, nullptr) << "the window is still there";
  if (!window) app.window = nullptr;  // already closed through its own delete handler
  else g_object_remove_weak_pointer(G_OBJECT(window), reinterpret_cast<gpointer*>(&window));
}

TEST_F(Window, CtrlWheelZoomsAroundThePointer) {
  Open({SLOT_A});
  GooCanvas* goo = GOO_CANVAS(canv.canvas);
  // Points of the image under the pointer, with the view scrolled so that each is visible and
  // the zoomed view need not stop at the image's edge.
  const std::pair<double, double> points[] = {{138, 90}, {60, 60}, {100, 110}};
  for (auto [cx, cy] : points) {
    for (GdkScrollDirection dir : {GDK_SCROLL_UP, GDK_SCROLL_DOWN}) {
      const int before = canv.zoom;
      goo_canvas_scroll_to(goo, cx - 200 / goo_canvas_get_scale(goo), cy - 150 / goo_canvas_get_scale(goo));
      uitest::Drain();
      double px = cx, py = cy;
      goo_canvas_convert_to_pixels(goo, &px, &py);
      // The pointer's place on the screen, which stays while the canvas zooms.
      const double sx = px - gtk_adjustment_get_value(goo->hadjustment);
      const double sy = py - gtk_adjustment_get_value(goo->vadjustment);
      Wheel(px, py, dir, CTRL);
      EXPECT_EQ(canv.zoom, before + (dir == GDK_SCROLL_UP ? 1 : -1));
      double ax = sx + gtk_adjustment_get_value(goo->hadjustment), ay = sy + gtk_adjustment_get_value(goo->vadjustment);
      goo_canvas_convert_from_pixels(goo, &ax, &ay);
      const double tol = 1.0 / goo_canvas_get_scale(goo);
      EXPECT_NEAR(ax, cx, tol) << cx << "," << cy;
      EXPECT_NEAR(ay, cy, tol) << cx << "," << cy;
    }
  }
  // Without Ctrl the wheel scrolls and the zoom stays.
  const int zoom = canv.zoom;
  Wheel(10, 10, GDK_SCROLL_DOWN, NONE);
  EXPECT_EQ(canv.zoom, zoom);
}

// A fresh home: the setup copy is stored as the settings file, the window has its icon and a
// status bar whose messages pile up and all clear.
TEST_F(Window, FreshHomeIsPreparedAndTheWindowShowsTheSettings) {
  Build();
  EXPECT_EQ(uitest::ReadFile(home.setup()), uitest::ReadFile(NUBICORN_SOURCE_DIR "/resources/nubicorn.ini"));
  EXPECT_TRUE(uitest::Exists(home.ini()));  // the setup copy was stored as the settings file
  EXPECT_EQ(conf.recipes.size(), 7u);
  ASSERT_TRUE(app.icon);
  EXPECT_EQ(gtk_window_get_icon(GTK_WINDOW(app.window)), app.icon.get());
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

TEST_F(Window, StoredSelectionColourAndRangeAreShown) {
  Build("[Interface]\nselected-color=255128000\nselected-range=25\n");
  // (255*256, 128*256, 0) / 65536: hue = (g - b) / (max - min) / 6 = 0.5 / 0.99609 / 6 -> 30.1 degrees.
  EXPECT_EQ(gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(canv.sel_hue)), 30);
  EXPECT_EQ(gtk_spin_button_get_value(GTK_SPIN_BUTTON(canv.sel_range)), 25);
  GdkRGBA rgba;
  gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(canv.sel_color), &rgba);
  EXPECT_NEAR(rgba.red, 255 * 256 / 65535.0, 1e-6);
  EXPECT_NEAR(rgba.green, 128 * 256 / 65535.0, 1e-6);
  EXPECT_EQ(rgba.blue, 0);
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

TEST_F(Window, MenuItemsAndButtonsOpenSettingsAndAbout) {
  Build();
  GtkWidget* bar = gtk_widget_get_parent(canv.btn_settings);  // About is the button after Settings
  const int at = gtk_toolbar_get_item_index(GTK_TOOLBAR(bar), GTK_TOOL_ITEM(canv.btn_settings));
  GtkWidget* about_button = gtk_bin_get_child(GTK_BIN(gtk_toolbar_get_nth_item(GTK_TOOLBAR(bar), at + 1)));
  for (const char* label : {"About", "Preferences"}) ASSERT_NE(uitest::MenuItem(app.window, label), nullptr) << label;
  for (const std::function<void()>& open : std::vector<std::function<void()>>{
           [&] { gtk_menu_item_activate(GTK_MENU_ITEM(uitest::MenuItem(app.window, "About"))); },
           [&] { gtk_button_clicked(GTK_BUTTON(about_button)); }}) {
    const uitest::DialogSeen seen = uitest::Answered(open);
    EXPECT_EQ(seen.count, 1);
    EXPECT_EQ(seen.title, "Nubicorn");
    EXPECT_NE(seen.text.find("version " NUBICORN_VERSION), std::string::npos) << seen.text;
    EXPECT_EQ(seen.transient_for, GTK_WINDOW(app.window));
  }
  // The settings handler runs its dialog; a timer finds it and closes it.
  int seen = 0;
  guint source = g_timeout_add(50, +[](gpointer p) -> gboolean {
    GtkWidget* d = uitest::VisibleToplevel(GTK_TYPE_DIALOG);
    if (d && g_strcmp0(gtk_window_get_title(GTK_WINDOW(d)), "Settings") == 0) {
      (*static_cast<int*>(p))++;
      gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_CLOSE);
    }
    return G_SOURCE_CONTINUE;
  }, &seen);
  g_signal_emit_by_name(canv.btn_settings, "clicked");
  EXPECT_EQ(seen, 1);
  gtk_menu_item_activate(GTK_MENU_ITEM(uitest::MenuItem(app.window, "Preferences")));
  EXPECT_EQ(seen, 2);
  g_source_remove(source);
}

}  // namespace
