// The zoom commands and the shutdown of the canvas context.
#include <algorithm>

#include "canvas/canv.h"
#include "canvas/canvanim.h"
#include "canvas/canvmonitor.h"
#include "contours/cntrs.h"
#include "data/fileinfo.h"
#include "settings/conf.h"

Canv* Canv_get = nullptr;

const CanvZoomScale CanvZoomScales[CANV_ZOOM_COUNT] = {
    {" 10%", 0.1},  {"12.5%", 0.125}, {"16.6%", 1.0 / 6}, {" 20%", 0.2}, {" 25%", 0.25},
    {" 33%", 1.0 / 3}, {" 50%", 0.5}, {" 75%", 0.75},     {"x1", 1},     {"x1.5", 1.5},
    {"x2", 2},      {"x2.5", 2.5},    {"x3", 3},          {"x3.5", 3.5}, {"x4", 4},
    {"x5", 5},      {"x6", 6},        {"x7", 7},          {"x8", 8},     {"x9", 9},
    {"x10", 10},    {"x11", 11},      {"x12", 12},        {"x13", 13},   {"x14", 14},
    {"x15", 15},
};


int CanvZoomIndex(int setting) {
  // A hand-edited "zoom" above 18 would point past the table.
  return std::clamp(setting + 7, 0, CANV_ZOOM_COUNT - 1);
}

void CanvZoomApply() {
  Canv* c = Canv_get;
  c->zoom = std::clamp(c->zoom, 0, CANV_ZOOM_COUNT - 1);
  goo_canvas_set_scale(GOO_CANVAS(c->canvas), CanvZoomScales[c->zoom].scale);
  CntrsSetScale(Conf_get ? Conf_get->contours : nullptr, CanvZoomScales[c->zoom].scale);
  if (GtkWidget* item = c->zoom_items[c->zoom]) gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), TRUE);
}

void CanvZoomIn(GtkWidget*, gpointer) {
  if (Canv_get->zoom >= CANV_ZOOM_COUNT - 1) return;
  Canv_get->zoom++;
  CanvZoomApply();
}

void CanvZoomOut(GtkWidget*, gpointer) {
  if (Canv_get->zoom < 1) return;
  Canv_get->zoom--;
  CanvZoomApply();
}

void CanvZoomSet(GtkWidget* item, gpointer index) {
  // A radio item that loses its activity is activated too; only the newly active one counts.
  if (item && GTK_IS_CHECK_MENU_ITEM(item) && !gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item))) return;
  Canv_get->zoom = GPOINTER_TO_INT(index);
  CanvZoomApply();
}

int CanvZoomFitIndex(double image_w, double image_h, double area_w, double area_h) {
  int zoom = 0;
  for (int i = 0; i < CANV_ZOOM_COUNT; i++)
    if (image_w * CanvZoomScales[i].scale <= area_w && image_h * CanvZoomScales[i].scale <= area_h) zoom = i;
  return zoom;
}

void CanvZoomFit(GtkWidget*, gpointer) {
  Canv* c = Canv_get;
  CanvGuard guard;
  if (!guard.ok() || !c || !c->image) return;
  GooCanvasBounds b;
  goo_canvas_item_get_bounds(c->image, &b);
  // The area the canvas has once no scroll bar takes a part of it: its own allocation plus
  // that of a bar shown beside it (an overlay bar lies over the canvas and takes nothing).
  GtkAllocation canvas, bar;
  gtk_widget_get_allocation(c->canvas, &canvas);
  double w = canvas.width, h = canvas.height;
  GtkScrolledWindow* sw = GTK_SCROLLED_WINDOW(c->scroll);
  if (GtkWidget* v = gtk_scrolled_window_get_vscrollbar(sw); v && gtk_widget_get_visible(v)) {
    gtk_widget_get_allocation(v, &bar);
    if (bar.x >= canvas.x + canvas.width) w += bar.width;
  }
  if (GtkWidget* hb = gtk_scrolled_window_get_hscrollbar(sw); hb && gtk_widget_get_visible(hb)) {
    gtk_widget_get_allocation(hb, &bar);
    if (bar.y >= canvas.y + canvas.height) h += bar.height;
  }
  c->zoom = CanvZoomFitIndex(b.x2 - b.x1, b.y2 - b.y1, w, h);
  CanvZoomApply();
}

void CanvShutdown() {
  Canv* c = Canv_get;
  if (!c) return;
  c->monitor = 0;
  CanvMonitorShutdown();
  CanvAnimStop(nullptr, nullptr);
  if (c->slot_source) {
    g_source_remove(c->slot_source);
    c->slot_source = 0;
  }
  if (c->spinner) {
    gtk_spinner_stop(GTK_SPINNER(c->spinner));
    gtk_widget_hide(c->spinner);
  }
  if (c->image) {
    goo_canvas_item_remove(c->image);
    c->image = nullptr;
  }
}
