// The canvas context: the canvas, the layer tree and the toolbar widgets of the main window.
#pragma once

#include <goocanvas.h>
#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/calib.h"
#include "data/layer.h"
#include "data/satellite.h"

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

// What the working-directory monitor remembers from one tick to the next; a tick's worker
// takes it and hands it back with its result.
struct CanvMonitorBook {
  std::vector<std::string> done;  // slot times whose epilogue was handled
  std::vector<std::string> left;  // files of handled cycles that could not be moved (reported)
  std::vector<std::string> told;  // files reported as not yet complete
  std::map<std::string, std::pair<gint64, int>> waiting;   // slot time -> (progress, ticks unchanged)
  std::map<std::string, std::pair<gint64, gint64>> seen;   // file -> (size, mtime us) at the last tick
};

struct CanvMonitorJob;
struct CanvMonitorJobFree {
  void operator()(CanvMonitorJob* job) const;
};

// The working-directory monitor between its ticks.
struct CanvMonitorState {
  guint source = 0;  // the 3-second timeout, 0 when none
  std::unique_ptr<CanvMonitorJob, CanvMonitorJobFree> job;  // the running tick, if any
  CanvMonitorBook book;
};

struct Layer;

// Status messages of failed canvas commands: a later command that succeeds takes them off.
struct CanvFailures {
  std::vector<guint> ids;  // message ids on the status bar (context 0), oldest first
  size_t stale = 0;        // ids[0, stale) were pushed before the outermost running command
  int depth = 0;           // nesting of running commands (CanvCommand)
};

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
  GThread* main_thread = nullptr;               // the GTK thread; others post status through idles
  gint32 mutex_held = 0;  // 1 while the main thread holds Conf.mutex around canvas calls
  gint32 slot_shown = -1;  // slot index of the last refresh, -1 none
  guint slot_source = 0;   // pending settle timeout of the "Time slot" scale
  // HRV resampling maps of the last HRV load, reused while window and east column stay. Used by
  // CanvOpen, whose callers are serialised (the main thread, or a loader thread under Conf.mutex).
  LayerHrvMaps hrv_maps;
  guint play_source = 0;   // the animation's 1-second timeout, 0 when none
  CanvMonitorState monitor_state;
  CanvFailures failures;
  // The layer shown before the present one: it keeps its display image, so going back and
  // forth between two slots remakes nothing. Compared, never followed.
  const Layer* shown_before = nullptr;
  const Layer* shown = nullptr;
  GtkWidget* readout = nullptr;        // status-row field: place and value under the pointer
  CalibSlot calib;                     // calibration of the slot of the shown channel
  std::string calib_name;              // reference-segment name calib was read for
  struct Cntrs* graticule = nullptr;   // latitude/longitude lines when the setting asks, or NULL
};

// The one canvas context of the run; set by AppCanvasNew.
extern Canv* Canv_get;

struct Layer;
using Slot = Layer*;

// Holds Conf.mutex for a canvas command while the start-up loader runs (trylock: the loader may
// hold it for a whole decode). ok() is false, after the status message "Busy: loading the
// start-up files", when it is taken; without a loader, or when the main thread already holds
// it (mutex_held), it takes nothing and ok() is true.
class CanvGuard {
 public:
  CanvGuard();
  ~CanvGuard();
  CanvGuard(const CanvGuard&) = delete;
  CanvGuard& operator=(const CanvGuard&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = true;
  bool locked_ = false;
};

// Status message (context 0) from any thread: pushed at once on the GTK thread, else through an
// idle callback, so messages keep their order.
void CanvStatus(const char* text);
// The status message of a failure, taken off again by the next command that succeeds.
void CanvFailure(const char* text);
// A command succeeded: the failure messages pushed before the outermost running command go, so
// that no stale "Operation failed" stays under a good result; those of this command stay.
void CanvSucceeded();

// Marks a user command (showing a layer, a slot change, open by date, close) while it runs:
// failures reported before the outermost one are the stale ones CanvSucceeded removes.
class CanvCommand {
 public:
  CanvCommand();
  ~CanvCommand();
  CanvCommand(const CanvCommand&) = delete;
  CanvCommand& operator=(const CanvCommand&) = delete;
};
// Busy cursor on the main window, except while the start-up loader owns it.
void CanvBusy(bool on);
// The current slot: element floor(range value) of Conf.slots, or NULL.
Slot* CanvCurrentSlot();
// Index of the highest loaded entry of slot (non-NULL, id > 0), 0 when none or slot NULL.
int CanvSlotLast(const Slot* slot);

// Tree selection function: shows layer id of the current slot, loading it when needed.
// TRUE lets the row be selected; FALSE for parent rows, no slot, or a busy loader.
gboolean CanvTreeSelect(GtkTreeSelection* selection, GtkTreeModel* model, GtkTreePath* path,
                        gboolean currently_selected, gpointer data);
// Refresh of the shown layer after the slot changed (busy cursor around it).
void CanvSlotChanged(GtkWidget* widget, gpointer data);
// "value-changed" of the scale: refreshes once the value settles (a short timeout; at once on
// button release), and only when the integer slot index moved.
void CanvRangeChanged(GtkRange* range, gpointer data);
gboolean CanvRangeReleased(GtkWidget* widget, GdkEvent* event, gpointer data);
// "Close a file": frees the shown layer, removes the item, shows the highest layer left.
void CanvFileClose(GtkWidget* widget, gpointer data);
// The time scale, the animation and the video hold the slots of one satellite service: frees
// every slot of another service than sat (InfoSlotSat; slots of unknown service stay), keeps
// the current slot chosen and says so in the status bar. Returns how many went. Called before
// open by date loads the configured service, and by CanvSlotChanged with the current slot's.
int CanvSlotsKeepService(const Sat& sat);
// Range [0, n - 0.99] and one mark per slot; with no slot the range stays.
void CanvScaleMarkup();
// Toolbar sensitivity from the zoom, the current slot and the slot count.
void CanvSensitive();
// Id of the selected tree row, 0 when none or a parent row.
int CanvTreeGetId();
// The rows of the layer tree for the configured satellite: "Channels" with MSG's 12 channels, or
// FCI's 16 (ids FCI_LAYER_FIRST..), and "Rgb" with the recipes, and for FCI "True colour".
// Called when the tree is made and when the satellite choice changes between MSG and FCI.
void CanvTreeFill(Canv* canv, const struct Conf* conf);
// The path of the tree row of layer id, NULL when no row has it; the caller frees it.
GtkTreePath* CanvTreePathOf(int id);
// Selects the row of layer id (the tree then calls CanvTreeSelect); ids no row has select
// the "Channels" row, which is refused.
void CanvTreeSelectId(int id);

// Loads a channel layer's images from App.home/import/SEVIRI_data/name. FALSE, with the
// warning "%s Error!" and "Input data error", after freeing *info and setting it NULL; with
// ConfWindowFault's message instead when the name's service does not send the segments the
// view window needs (rapid scan south of segment 6).
// *damaged (may be null): the first segment that could not be read whole (LayerLoadChannel),
// or "NAME(why)" of a refused window.
gboolean CanvOpen(Layer** info, std::string* damaged = nullptr);
// Makes sure layer id is loaded in slot (a channel or composite); "Operation failed" if not.
void CanvOpenLayer(Slot* slot, int id);
// Builds composite *info, loading its missing channels into slot. FALSE after freeing *info.
gboolean CanvOpenRgb(Layer** info, Slot* slot);
// Makes sure a loaded layer of slot has its display image: a channel's is made again from its
// counts (the same bytes as the loader's), a composite's from the slot's channel counts
// (loading those missing). False, after "Operation failed" for a composite, when it cannot.
bool CanvLayerDisplay(Slot* slot, Layer* layer);
// Frees a layer's display image, which CanvLayerDisplay can make again; a layer with a
// selection keeps it (the outline is drawn into it).
void CanvLayerDrop(Layer* layer);
// "Open by date": runs the "Load DateTime slots" dialog.
void CanvOpenDate(GtkWidget* widget, gpointer data);

// Zoom index for a "zoom" setting: setting + 7, kept inside the table.
int CanvZoomIndex(int setting);
// Applies Canv_get->zoom: canvas scale and the active radio item.
void CanvZoomApply();
// Toolbar "Zoom in": one row up unless at the last.
void CanvZoomIn(GtkWidget* widget, gpointer data);
// Toolbar "Zoom out": one row down unless at the first.
void CanvZoomOut(GtkWidget* widget, gpointer data);
// Toolbar "Zoom to fit": the largest zoom row at which the shown image fits the canvas area in
// both directions, so that no scroll bar is needed; nothing without a shown image.
void CanvZoomFit(GtkWidget* widget, gpointer data);
// Index of the largest zoom row at which an image of image_w x image_h canvas units fits an
// area of area_w x area_h pixels; 0 (" 10%") when none fits.
int CanvZoomFitIndex(double image_w, double image_h, double area_w, double area_h);
// "activate" of zoom_items[index]: zoom to that row (ignored while the item is being deactivated).
void CanvZoomSet(GtkWidget* item, gpointer index);
// The window is going away: monitor flag off, spinner stopped and hidden, image item removed.
void CanvShutdown();
