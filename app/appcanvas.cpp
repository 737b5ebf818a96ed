// The canvas in its scrolled window and the layer tree; the canvas's pointer and keys.
#include "app/app.h"
#include "canvas/canvreadout.h"
#include "data/fileinfo.h"

namespace {

// Ctrl+wheel zooms one row of the table, keeping the canvas point under the pointer in place.
gboolean OnScroll(GtkWidget* widget, GdkEventScroll* event, gpointer) {
  if (!(event->state & GDK_CONTROL_MASK)) return FALSE;  // plain wheel: the scrolled window scrolls
  int dir = 0;
  if (event->direction == GDK_SCROLL_UP)
    dir = 1;
  else if (event->direction == GDK_SCROLL_DOWN)
    dir = -1;
  else if (event->direction == GDK_SCROLL_SMOOTH && event->delta_y != 0)
    dir = event->delta_y < 0 ? 1 : -1;
  if (dir == 0) return TRUE;
  GooCanvas* canvas = GOO_CANVAS(widget);
  double x = event->x, y = event->y;
  // The pointer's place in the visible area, and the canvas point there.
  double vx = x, vy = y;
  if (event->window == canvas->canvas_window) {
    vx -= gtk_adjustment_get_value(canvas->hadjustment);
    vy -= gtk_adjustment_get_value(canvas->vadjustment);
  } else {
    x += gtk_adjustment_get_value(canvas->hadjustment);
    y += gtk_adjustment_get_value(canvas->vadjustment);
  }
  goo_canvas_convert_from_pixels(canvas, &x, &y);
  const int before = Canv_get->zoom;
  if (dir > 0)
    CanvZoomIn(nullptr, nullptr);
  else
    CanvZoomOut(nullptr, nullptr);
  if (Canv_get->zoom == before) return TRUE;
  const double s = goo_canvas_get_scale(canvas);
  goo_canvas_scroll_to(canvas, x - vx / s, y - vy / s);
  return TRUE;
}

// Left and Right step the time slot while the canvas has the focus.
gboolean OnKey(GtkWidget*, GdkEventKey* event, gpointer) {
  if (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SHIFT_MASK)) return FALSE;
  if (event->keyval == GDK_KEY_Left || event->keyval == GDK_KEY_KP_Left) {
    AppSlotStep(-1);
    return TRUE;
  }
  if (event->keyval == GDK_KEY_Right || event->keyval == GDK_KEY_KP_Right) {
    AppSlotStep(1);
    return TRUE;
  }
  return FALSE;
}

// A click on the canvas gives it the keys; the items still get the click.
gboolean OnPress(GtkWidget* widget, GdkEventButton*, gpointer) {
  if (!gtk_widget_has_focus(widget)) gtk_widget_grab_focus(widget);
  return FALSE;
}


GtkWidget* TreeNew(Canv* canv, const Conf* conf) {
  canv->store = gtk_tree_store_new(2, G_TYPE_STRING, G_TYPE_INT);
  canv->tree = gtk_tree_view_new_with_model(GTK_TREE_MODEL(canv->store));
  g_object_unref(canv->store);  // the view holds the only reference
  GtkTreeView* view = GTK_TREE_VIEW(canv->tree);

  CanvTreeFill(canv, conf);

  gtk_tree_selection_set_mode(gtk_tree_view_get_selection(view), GTK_SELECTION_SINGLE);
  gtk_tree_view_set_hover_selection(view, FALSE);
  gtk_tree_view_set_headers_visible(view, FALSE);
  gtk_tree_view_set_enable_tree_lines(view, TRUE);
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_tree_view_set_rules_hint(view, FALSE);
  G_GNUC_END_IGNORE_DEPRECATIONS
  gtk_tree_view_set_reorderable(view, FALSE);
  gtk_tree_view_set_enable_search(view, FALSE);
  gtk_tree_selection_set_select_function(gtk_tree_view_get_selection(view), CanvTreeSelect, nullptr, nullptr);

  GtkTreeViewColumn* column =
      gtk_tree_view_column_new_with_attributes("Time slot", gtk_cell_renderer_text_new(), "text", CANV_COL_LABEL, nullptr);
  gtk_tree_view_column_set_resizable(column, TRUE);
  gtk_tree_view_append_column(view, column);

  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_container_add(GTK_CONTAINER(scrolled), canv->tree);
  return scrolled;
}

}  // namespace

void AppCanvasNew(Canv* canv, GtkWidget* toolbar, GtkWidget* left, GtkWidget* menubar) {
  Canv_get = canv;
  canv->main_thread = g_thread_self();
  canv->scroll = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_container_set_border_width(GTK_CONTAINER(canv->scroll), 2);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(canv->scroll), GTK_SHADOW_IN);
  canv->canvas = goo_canvas_new();
  g_object_set(canv->canvas, "automatic-bounds", TRUE, nullptr);
  gtk_widget_add_events(canv->canvas, GDK_POINTER_MOTION_MASK | GDK_LEAVE_NOTIFY_MASK | GDK_SCROLL_MASK |
                                          GDK_SMOOTH_SCROLL_MASK | GDK_KEY_PRESS_MASK | GDK_BUTTON_PRESS_MASK);
  gtk_widget_set_can_focus(canv->canvas, TRUE);
  g_signal_connect(canv->canvas, "motion-notify-event", G_CALLBACK(CanvReadoutMotion), nullptr);
  g_signal_connect(canv->canvas, "leave-notify-event", G_CALLBACK(CanvReadoutLeave), nullptr);
  g_signal_connect(canv->canvas, "scroll-event", G_CALLBACK(OnScroll), nullptr);
  g_signal_connect(canv->canvas, "key-press-event", G_CALLBACK(OnKey), nullptr);
  g_signal_connect(canv->canvas, "button-press-event", G_CALLBACK(OnPress), nullptr);
  gtk_container_add(GTK_CONTAINER(canv->scroll), canv->canvas);
  canv->group = goo_canvas_group_new(goo_canvas_get_root_item(GOO_CANVAS(canv->canvas)), nullptr);
  goo_canvas_item_raise(canv->group, nullptr);

  gtk_box_pack_start(GTK_BOX(left), TreeNew(canv, Conf_get), TRUE, TRUE, 0);

  canv->zoom = CanvZoomIndex(Conf_get->zoom);
  goo_canvas_set_scale(GOO_CANVAS(canv->canvas), CanvZoomScales[canv->zoom].scale);

  AppMenuNew(toolbar, menubar);
}
