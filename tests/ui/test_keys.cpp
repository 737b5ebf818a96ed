// The keyboard of the main window: accelerators shown in the menus and what each does, the
// arrow keys on the canvas and Ctrl+wheel zoom around the pointer. Keys go in as key events
// of the main window, through the toolkit's own dispatch.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/ui/test_canvas_support.h"

namespace {

using canvtest::CanvasTest;

constexpr const char* SLOT_A = "201607041200";
constexpr const char* SLOT_B = "201609301845";
constexpr int IR108 = 9;
constexpr GdkModifierType CTRL = GDK_CONTROL_MASK;
constexpr GdkModifierType NONE = GdkModifierType(0);

GdkDevice* Keyboard() { return gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())); }
GdkDevice* Pointer() { return gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())); }

class Keys : public CanvasTest {
 protected:
  void Open(int slots) {
    canvtest::Link(home, SLOT_A);
    if (slots > 1) canvtest::Link(home, SLOT_B);
    Build();
    ASSERT_TRUE(StartupDone());
    AddSlot(SLOT_A);
    if (slots > 1) AddSlot(SLOT_B);
    Select(IR108);
  }
  // Presses and releases keyval with mods on the main window as the keyboard would: the key's
  // hardware code from the keymap, Shift added where the keyval needs it.
  void Press(guint keyval, GdkModifierType mods) {
    GdkKeymapKey* keys = nullptr;
    gint n = 0;
    ASSERT_TRUE(gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()), keyval,
                                                  &keys, &n) &&
                n > 0)
        << gdk_keyval_name(keyval);
    const GdkKeymapKey k = keys[0];
    g_free(keys);
    GdkEvent* e = gdk_event_new(GDK_KEY_PRESS);
    e->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(app.window)));
    e->key.keyval = keyval;
    e->key.state = mods | (k.level == 1 ? GDK_SHIFT_MASK : 0);
    e->key.hardware_keycode = guint16(k.keycode);
    e->key.group = guint8(k.group);
    e->key.time = GDK_CURRENT_TIME;
    gdk_event_set_device(e, Keyboard());
    gtk_main_do_event(e);
    e->key.type = GDK_KEY_RELEASE;
    gtk_main_do_event(e);
    gdk_event_free(e);
    uitest::Drain();
  }
  int Slot() { return int(std::floor(gtk_range_get_value(GTK_RANGE(canv.range)))); }
};

TEST_F(Keys, ZoomKeysStepTheZoomTable) {
  Open(1);
  struct Case {
    guint key;
    int step;
  };
  const Case cases[] = {{GDK_KEY_plus, 1},   {GDK_KEY_equal, 1},        {GDK_KEY_KP_Add, 1},
                        {GDK_KEY_minus, -1}, {GDK_KEY_KP_Subtract, -1}, {GDK_KEY_minus, -1}};
  for (const Case& c : cases) {
    const int before = canv.zoom;
    Press(c.key, CTRL);
    EXPECT_EQ(canv.zoom, before + c.step) << gdk_keyval_name(c.key);
    EXPECT_DOUBLE_EQ(goo_canvas_get_scale(GOO_CANVAS(canv.canvas)), CanvZoomScales[canv.zoom].scale);
  }
  // Ctrl+0 does what "Zoom to fit" does.
  CanvZoomSet(nullptr, GINT_TO_POINTER(25));
  Press(GDK_KEY_0, CTRL);
  const int by_key = canv.zoom;
  CanvZoomSet(nullptr, GINT_TO_POINTER(25));
  CanvZoomFit(nullptr, nullptr);
  EXPECT_EQ(by_key, canv.zoom);
  EXPECT_NE(by_key, 25);
}

TEST_F(Keys, PageKeysAndArrowsOnTheCanvasStepTheSlot) {
  Open(2);
  ASSERT_EQ(Slot(), 0);
  Press(GDK_KEY_Page_Down, NONE);
  EXPECT_EQ(Slot(), 1);
  EXPECT_EQ(LabelText(), "2016-09-30 18:45 UTC");  // shown at once, no wait for the scale to rest
  Press(GDK_KEY_Page_Down, NONE);
  EXPECT_EQ(Slot(), 1) << "the last slot is the end";
  Press(GDK_KEY_Page_Up, NONE);
  EXPECT_EQ(Slot(), 0);
  EXPECT_EQ(LabelText(), "2016-07-04 12:00 UTC");
  Press(GDK_KEY_Page_Up, NONE);
  EXPECT_EQ(Slot(), 0);

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
}

TEST_F(Keys, SpacePlaysAndStops) {
  Open(2);
  EXPECT_EQ(canv.play, 0);
  Press(GDK_KEY_space, NONE);
  EXPECT_EQ(canv.play, 1);
  EXPECT_NE(canv.play_source, 0u);
  Press(GDK_KEY_space, NONE);
  EXPECT_EQ(canv.play, 0);
  EXPECT_EQ(canv.play_source, 0u);
}

TEST_F(Keys, CtrlOOpensByDate) {
  Open(1);
  struct Seen {
    bool seen = false;
    std::string title;
  } seen;
  const guint source = g_timeout_add(20, +[](gpointer p) -> gboolean {
    GtkWidget* d = uitest::VisibleToplevel(GTK_TYPE_DIALOG);
    if (!d) return G_SOURCE_CONTINUE;
    auto* s = static_cast<Seen*>(p);
    s->seen = true;
    s->title = gtk_window_get_title(GTK_WINDOW(d));
    gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_CANCEL);
    return G_SOURCE_REMOVE;
  }, &seen);
  Press(GDK_KEY_o, CTRL);
  if (!seen.seen) g_source_remove(source);
  EXPECT_TRUE(seen.seen);
  EXPECT_EQ(seen.title, "Load DateTime slots");
}

TEST_F(Keys, CtrlQClosesTheWindow) {
  Open(1);
  GtkWidget* window = app.window;
  g_object_add_weak_pointer(G_OBJECT(window), reinterpret_cast<gpointer*>(&window));
  Press(GDK_KEY_q, CTRL);
  EXPECT_EQ(window, nullptr) << "the window is still there";
  if (!window) app.window = nullptr;  // already closed through its own delete handler
  else g_object_remove_weak_pointer(G_OBJECT(window), reinterpret_cast<gpointer*>(&window));
}

TEST_F(Keys, CtrlWheelZoomsAroundThePointer) {
  Open(1);
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
      GdkEvent* e = gdk_event_new(GDK_SCROLL);
      e->scroll.window = GDK_WINDOW(g_object_ref(goo->canvas_window));
      e->scroll.x = px;
      e->scroll.y = py;
      e->scroll.state = CTRL;
      e->scroll.direction = dir;
      gdk_event_set_device(e, Pointer());
      gtk_main_do_event(e);
      gdk_event_free(e);
      uitest::Drain();
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
  GdkEvent* e = gdk_event_new(GDK_SCROLL);
  e->scroll.window = GDK_WINDOW(g_object_ref(goo->canvas_window));
  e->scroll.x = 10;
  e->scroll.y = 10;
  e->scroll.direction = GDK_SCROLL_DOWN;
  gdk_event_set_device(e, Pointer());
  gtk_main_do_event(e);
  gdk_event_free(e);
  uitest::Drain();
  EXPECT_EQ(canv.zoom, zoom);
}

}  // namespace
