// The canvas context: the canvas, the layer tree and the toolbar widgets of the main window.
#pragma once

#include <goocanvas.h>
#include <gtk/gtk.h>

inline constexpr int CANV_ZOOM_COUNT = 26;

// One row of the zoom table: the "Zoom" menu label and the canvas scale.
struct CanvZoomScale {
  const char* label;
  double scale;
};

// The 26 zoom levels, index 0 (" 10%") to 25 ("x15").
extern const CanvZoomScale CanvZoomScales[CANV_ZOOM_COUNT];

// Columns of the layer tree's store.
enum { CANV_COL_LABEL = 0, CANV_COL_ID = 1 };

struct Canv {
  GtkWidget* canvas = nullptr;  // GooCanvas, "automatic-bounds" TRUE
  GtkWidget* scroll = nullptr;  // scrolled window holding canvas
  GooCanvasItem* group = nullptr;  // contour group, kept above the image item
  gint32 zoom = 0;                 // index into CanvZoomScales
  GooCanvasItem* image = nullptr;  // the shown image item, or NULL
  gint32 play = 0;                 // 1 while the animation runs
  GtkWidget* btn_open_date = nullptr;
  GtkWidget* btn_zoom_in = nullptr;
  GtkWidget* btn_zoom_out = nullptr;
  GtkWidget* btn_zoom_fit = nullptr;
  GtkWidget* sel_color = nullptr;  // GtkColorButton
  GtkWidget* sel_hue = nullptr;    // GtkSpinButton 0..360
  GtkWidget* sel_range = nullptr;  // GtkSpinButton 0..90
  GtkWidget* btn_select = nullptr;
  GtkWidget* btn_gray = nullptr;  // GtkToggleButton
  GtkWidget* btn_save_sel = nullptr;
  GtkWidget* btn_video = nullptr;
  GtkWidget* btn_settings = nullptr;
  GtkWidget* btn_close = nullptr;
  GtkWidget* label = nullptr;  // date of the shown layer
  GtkWidget* btn_rewind = nullptr;
  GtkWidget* btn_play = nullptr;
  GtkWidget* btn_stop = nullptr;
  GtkWidget* btn_forward = nullptr;
  GtkWidget* spinner = nullptr;
  GtkWidget* btn_monitor = nullptr;  // GtkToggleButton
  GtkTreeStore* store = nullptr;     // column 0 label, column 1 layer id; owned by tree
  GtkWidget* tree = nullptr;
  GtkWidget* zoom_items[CANV_ZOOM_COUNT] = {};  // GtkRadioMenuItem per zoom row
  GtkWidget* range = nullptr;                   // "Time slot" scale
  gint32 monitor = 0;                           // 1 while the working-directory monitor runs
};

// The one canvas context of the run; set by AppCanvasNew.
extern Canv* Canv_get;

// Zoom index for a "zoom" setting: setting + 7, kept inside the table.
int CanvZoomIndex(int setting);
// Applies Canv_get->zoom: canvas scale and the active radio item.
void CanvZoomApply();
// Toolbar "Zoom in": one row up unless at the last.
void CanvZoomIn(GtkWidget* widget, gpointer data);
// Toolbar "Zoom out": one row down unless at the first.
void CanvZoomOut(GtkWidget* widget, gpointer data);
// Toolbar "Zoom to fit": smallest scale above visible height / image rows of the selected
// layer of the first slot; nothing without such an image.
void CanvZoomFit(GtkWidget* widget, gpointer data);
// "activate" of zoom_items[index]: zoom to that row (ignored while the item is being deactivated).
void CanvZoomSet(GtkWidget* item, gpointer index);
// The window is going away: monitor flag off, spinner stopped and hidden, image item removed.
void CanvShutdown();
