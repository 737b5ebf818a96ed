// The layer tree's selection, the time scale, toolbar sensitivity and "Close a file".
#include <algorithm>
#include <cmath>
#include <memory>

#include <opencv2/imgproc.hpp>

#include "app/app.h"
#include "app/platform.h"
#include "canvas/canv.h"
#include "canvas/canvreadout.h"
#include "contours/cntrs.h"
#include "data/fileinfo.h"
#include "data/gholder.h"
#include "data/supl.h"
#include "data/supltsan.h"
#include "settings/conf.h"

namespace {

// How long the scale's value must rest before the slot is refreshed (GTK 3 has no
// discontinuous update policy).
constexpr guint SLOT_SETTLE_MS = 120;

struct StatusPost {
  GtkWidget* bar;  // referenced: the window may be gone when the idle runs
  gchar* text;
  bool failure;
};

void Push(GtkWidget* bar, const char* text, bool failure) {
  const guint id = gtk_statusbar_push(GTK_STATUSBAR(bar), 0, text);
  if (failure && Canv_get) Canv_get->failures.ids.push_back(id);
}

gboolean StatusIdle(gpointer data) {
  SuplTsanAcquire(data);
  std::unique_ptr<StatusPost> post(static_cast<StatusPost*>(data));
  // A destroyed status bar has lost its parent; the message then has nowhere to go.
  if (gtk_widget_get_parent(post->bar)) Push(post->bar, post->text, post->failure);
  g_free(post->text);
  g_object_unref(post->bar);
  return G_SOURCE_REMOVE;
}

bool Loaded(const Layer* layer) { return layer && layer->id > 0; }

void RemoveImage() {
  Canv* c = Canv_get;
  if (c->image) {
    goo_canvas_item_remove(c->image);
    c->image = nullptr;
  }
  CanvShownChanged(nullptr);
}

// The image item of a display image (RGB, 8 bits). The item draws from a cairo surface of its
// own; it is filled here in one vectorised conversion instead of GooCanvas's per-pixel copy of a
// pixbuf, so the layer's memory is not borrowed past this call.
GooCanvasItem* ImageItem(GooCanvasItem* root, const cv::Mat& m) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, m.cols, m.rows);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  cv::Mat argb(m.rows, m.cols, CV_8UC4, cairo_image_surface_get_data(surface),
               size_t(cairo_image_surface_get_stride(surface)));
  cv::cvtColor(m, argb, cv::COLOR_RGB2BGRA);  // RGB24 is B, G, R, unused in memory (little endian)
  cairo_surface_mark_dirty(surface);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
  cairo_surface_destroy(surface);
  GooCanvasItem* item = goo_canvas_image_new(root, nullptr, 0, 0, "pattern", pattern, "width", double(m.cols),
                                             "height", double(m.rows), nullptr);
  cairo_pattern_destroy(pattern);
  return item;
}

void ShowLayer(const Layer* layer) {
  Canv* c = Canv_get;
  const cv::Mat& m = layer->images[1];
  if (m.empty() || m.type() != CV_8UC3) return;
  GooCanvasItem* root = goo_canvas_get_root_item(GOO_CANVAS(c->canvas));
  c->image = ImageItem(root, m);
  if (!c->image) return;
  goo_canvas_item_raise(c->group, nullptr);
  g_object_set(c->image, "visibility", GOO_CANVAS_ITEM_VISIBLE, nullptr);
  // Coastlines follow the satellite the image was taken from.
  CntrsFollow(layer->sub_lon, layer->fci);
  CanvShownChanged(layer);  // time label, title, overlay clip
}

// Only what a user is looking at keeps a display image (27 bytes a window pixel against the
// counts' 2): the layers of the shown slot, and the layer shown before this one. The others
// are made again from their counts when shown.
void DropDisplays(const Slot* shown_slot) {
  const Canv* c = Canv_get;
  for (GList* l = Conf_get ? Conf_get->slots : nullptr; l; l = l->next) {
    auto* slot = static_cast<Slot*>(l->data);
    if (slot == shown_slot) continue;
    for (int i = 1; i < SLOT_SIZE; i++)
      if (slot[i] && slot[i] != c->shown_before) CanvLayerDrop(slot[i]);
  }
}

int SlotIndex() {
  if (!Canv_get || !Canv_get->range) return 0;
  return int(std::floor(gtk_range_get_value(GTK_RANGE(Canv_get->range))));
}

gboolean SlotSettled(gpointer) {
  Canv_get->slot_source = 0;
  if (SlotIndex() != Canv_get->slot_shown) CanvSlotChanged(nullptr, nullptr);
  return G_SOURCE_REMOVE;
}

}  // namespace

CanvGuard::CanvGuard() {
  Conf* conf = Conf_get;
  Canv* c = Canv_get;
  if (!conf || !c || !conf->loader || c->mutex_held) return;
  if (!g_mutex_trylock(&conf->mutex)) {
    ok_ = false;
    CanvFailure("Busy: loading the start-up files");
    return;
  }
  SuplTsanAcquire(&conf->mutex);
  locked_ = true;
  c->mutex_held = 1;
}

CanvGuard::~CanvGuard() {
  if (!locked_) return;
  Canv_get->mutex_held = 0;
  SuplTsanRelease(&Conf_get->mutex);
  g_mutex_unlock(&Conf_get->mutex);
}

namespace {

void Status(const char* text, bool failure) {
  if (!App_get || !App_get->statusbar) return;
  if (Canv_get && Canv_get->main_thread && g_thread_self() != Canv_get->main_thread) {
    auto* post = new StatusPost{GTK_WIDGET(g_object_ref(App_get->statusbar)), g_strdup(text), failure};
    SuplTsanRelease(post);
    g_idle_add(StatusIdle, post);
    return;
  }
  Push(App_get->statusbar, text, failure);
}

}  // namespace

void CanvStatus(const char* text) { Status(text, false); }

void CanvFailure(const char* text) { Status(text, true); }

void CanvSucceeded() {
  Canv* c = Canv_get;
  if (!c || !App_get || !App_get->statusbar) return;
  CanvFailures& f = c->failures;
  const size_t stale = f.depth > 0 ? std::min(f.stale, f.ids.size()) : f.ids.size();
  for (size_t i = 0; i < stale; i++) gtk_statusbar_remove(GTK_STATUSBAR(App_get->statusbar), 0, f.ids[i]);
  f.ids.erase(f.ids.begin(), f.ids.begin() + std::ptrdiff_t(stale));
  f.stale = 0;
}

CanvCommand::CanvCommand() {
  if (Canv_get && Canv_get->failures.depth++ == 0) Canv_get->failures.stale = Canv_get->failures.ids.size();
}

CanvCommand::~CanvCommand() {
  if (Canv_get) Canv_get->failures.depth--;
}

void CanvBusy(bool on) {
  if (Conf_get && Conf_get->loader) return;  // the start-up loading owns the cursor
  if (App_get) PlatformBusyCursor(App_get->window, on);
}

Slot* CanvCurrentSlot() {
  if (!Conf_get) return nullptr;
  const int index = SlotIndex();
  if (index < 0) return nullptr;
  return static_cast<Slot*>(g_list_nth_data(Conf_get->slots, guint(index)));
}

int CanvSlotLast(const Slot* slot) {
  if (!slot) return 0;
  for (int i = SLOT_SIZE - 1; i > 0; i--)
    if (Loaded(slot[i])) return i;
  return 0;
}

gboolean CanvTreeSelect(GtkTreeSelection*, GtkTreeModel* model, GtkTreePath* path, gboolean currently_selected,
                        gpointer) {
  if (currently_selected) return TRUE;
  Canv* c = Canv_get;
  const int index = SlotIndex();
  int id = 0;
  GtkTreeIter iter;
  if (path) {
    if (!model || !gtk_tree_model_get_iter(model, &iter, path)) return FALSE;
    gtk_tree_model_get(model, &iter, CANV_COL_ID, &id, -1);
  } else {
    id = CanvTreeGetId();
  }
  if (id <= 0 || id >= SLOT_SIZE) return FALSE;
  CanvCommand command;
  CanvGuard guard;
  if (!guard.ok()) return FALSE;
  Slot* slot = CanvCurrentSlot();
  if (!slot) return FALSE;

  CanvBusy(true);
  RemoveImage();
  c->slot_shown = index;
  if (!Loaded(slot[id])) {
    CanvOpenLayer(slot, id);
    CanvSensitive();
  }
  if (Layer* layer = slot[id]; layer && Loaded(layer) && CanvLayerDisplay(slot, layer)) {
    ShowLayer(layer);
    if (layer != c->shown) {
      c->shown_before = c->shown;
      c->shown = layer;
    }
    DropDisplays(slot);
  }
  if (c->image) CanvSucceeded();
  CanvBusy(false);
  return TRUE;
}

int CanvSlotsKeepService(const Sat& sat) {
  Conf* conf = Conf_get;
  Canv* c = Canv_get;
  if (!conf || !c) return 0;
  Slot* current = CanvCurrentSlot();
  int freed = 0;
  for (GList* l = conf->slots; l;) {
    GList* next = l->next;
    Sat s;
    if (InfoSlotSat(static_cast<Slot*>(l->data), &s) && !(s == sat)) {
      // The item is taken off the canvas before the layer it was made from goes.
      if (l->data == current) {
        RemoveImage();
        current = nullptr;
      }
      InfoSlotDel(l->data);
      conf->slots = g_list_delete_link(conf->slots, l);
      freed++;
    }
    l = next;
  }
  if (freed == 0) return 0;
  c->slot_shown = -1;
  CanvScaleMarkup();
  const gint at = current ? g_list_index(conf->slots, current) : 0;
  if (c->range) gtk_range_set_value(GTK_RANGE(c->range), std::max(at, 0));
  if (c->slot_source) {  // the move above is no choice of the user's
    g_source_remove(c->slot_source);
    c->slot_source = 0;
  }
  GStr text(
      g_strdup_printf("Closed %d time slot%s of another satellite service: the time scale shows %s%d %s", freed,
                      freed == 1 ? "" : "s", sat.service == SatService::Fci ? "MTG-I" : "MSG", sat.spacecraft,
                      SatServiceName(sat.service)));
  CanvStatus(text.get());
  return freed;
}

void CanvSlotChanged(GtkWidget*, gpointer) {
  CanvCommand command;
  CanvGuard guard;
  if (!guard.ok()) return;
  // Arriving cycles and start-up files of another service take the scale for theirs.
  if (Sat sat; InfoSlotSat(CanvCurrentSlot(), &sat)) CanvSlotsKeepService(sat);
  CanvBusy(true);
  CanvTreeSelect(nullptr, nullptr, nullptr, FALSE, nullptr);
  CanvBusy(false);
}

void CanvRangeChanged(GtkRange*, gpointer) {
  Canv* c = Canv_get;
  if (!c) return;
  if (c->slot_source) g_source_remove(c->slot_source);
  c->slot_source = g_timeout_add(SLOT_SETTLE_MS, SlotSettled, nullptr);
}

gboolean CanvRangeReleased(GtkWidget*, GdkEvent*, gpointer) {
  Canv* c = Canv_get;
  if (c && c->slot_source) {
    g_source_remove(c->slot_source);
    SlotSettled(nullptr);
  }
  return FALSE;
}

void CanvFileClose(GtkWidget*, gpointer) {
  CanvCommand command;
  CanvGuard guard;
  if (!guard.ok()) return;
  Slot* slot = CanvCurrentSlot();
  const int id = CanvTreeGetId();
  if (!slot || id <= 0 || id >= SLOT_SIZE) return;
  // The item is taken off the canvas before the layer it was made from goes.
  RemoveImage();
  InfoDel(&slot[id]);
  CanvSucceeded();
  CanvTreeSelectId(CanvSlotLast(slot));
  CanvSensitive();
}

void CanvScaleMarkup() {
  Canv* c = Canv_get;
  g_return_if_fail(c && c->range);
  const guint n = Conf_get ? g_list_length(Conf_get->slots) : 0;
  if (n == 0) return;  // an empty range would be refused by the toolkit
  gtk_range_set_range(GTK_RANGE(c->range), 0, n - 0.99);
  GtkScale* scale = GTK_SCALE(c->range);
  gtk_scale_clear_marks(scale);
  for (guint i = 0; i < n; i++) gtk_scale_add_mark(scale, i, GTK_POS_TOP, nullptr);
}

void CanvSensitive() {
  Canv* c = Canv_get;
  if (!c) return;
  const int z = c->zoom;
  const int n = Conf_get ? int(g_list_length(Conf_get->slots)) : 0;
  const int last = CanvSlotLast(CanvCurrentSlot());
  gtk_widget_set_sensitive(c->btn_zoom_fit, last != 0);
  gtk_widget_set_sensitive(c->btn_close, last != 0);
  gtk_widget_set_sensitive(c->btn_zoom_in, last != 0 && z <= CANV_ZOOM_COUNT - 2);
  gtk_widget_set_sensitive(c->btn_zoom_out, last != 0 && z >= 1);
  // Composites select by colour, channels by grey level: any loaded layer can be selected on.
  for (GtkWidget* w : {c->sel_color, c->sel_hue, c->sel_range, c->btn_select})
    gtk_widget_set_sensitive(w, last != 0);
  for (GtkWidget* w : {c->btn_rewind, c->btn_play, c->btn_stop, c->btn_forward, c->range})
    gtk_widget_set_sensitive(w, n > 1);
}

int CanvTreeGetId() {
  if (!Canv_get || !Canv_get->tree) return 0;
  GtkTreeModel* model = nullptr;
  GtkTreeIter iter;
  GtkTreeSelection* sel = gtk_tree_view_get_selection(GTK_TREE_VIEW(Canv_get->tree));
  if (!gtk_tree_selection_get_selected(sel, &model, &iter)) return 0;
  gint id = 0;
  gtk_tree_model_get(model, &iter, CANV_COL_ID, &id, -1);
  return id;
}

void CanvTreeSelectId(int id) {
  if (!Canv_get || !Canv_get->tree) return;
  // The row that carries the id (the rows differ with the satellite), else "Channels".
  GtkTreePath* path = CanvTreePathOf(id);
  if (!path) path = gtk_tree_path_new_from_indices(0, -1);
  gtk_tree_selection_select_path(gtk_tree_view_get_selection(GTK_TREE_VIEW(Canv_get->tree)), path);
  gtk_tree_path_free(path);
}
