// The "Startup files" page: the channel images and contour files that open at every start.
// Adding a file here opens it in the running program at once, deleting one closes it; Save
// (the dialog's) writes both lists as the numbered keys of "Startup files".
//
// The image table is the start-up list itself (Conf.startup_images), not the images this run
// happens to hold: files opened with "Open", by date or by the monitor never join it, and an
// entry whose file could not be loaded at start stays until the user deletes it.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/suplgtk.h"
#include "contours/cntrs.h"
#include "data/fileinfo.h"
#include "data/gholder.h"
#include "dialogs/dlg.h"
#include "settings/confstartup.h"

namespace {

enum { IMG_CHANNEL, IMG_SLOT, IMG_NAME };
enum { CTR_FILE, CTR_COLOR, CTR_ENTRY, CTR_FIELD };

// One line naming the file and what failed with it.
void Warn(const std::string& file, const char* what) {
  g_log(nullptr, G_LOG_LEVEL_WARNING, "dlgstartup: %s: %s", file.empty() ? "(no name)" : file.c_str(), what);
}

// A row of the start-up list: channel and slot text from the file name (the name itself when
// it does not parse, as a hand-edited entry may not).
void AppendImage(GtkListStore* store, const std::string& name) {
  Layer parsed;
  parsed.name = name;
  const bool known = InfoParseName(&parsed) && parsed.id >= 1 && parsed.id <= CHANNEL_COUNT;
  GtkTreeIter it;
  gtk_list_store_append(store, &it);
  gtk_list_store_set(store, &it, IMG_CHANNEL, known ? InfoChannelText[parsed.id] : "?", IMG_SLOT,
                     known && !parsed.slot.empty() ? parsed.slot.c_str() : name.c_str(), IMG_NAME, name.c_str(), -1);
}

// The open channel layer of that file name, with its slot and id; NULL when none is open.
Layer* OpenLayer(const std::string& name, Slot** slot_out, int* id_out) {
  for (GList* l = Conf_get->slots; l; l = l->next)
    for (int i = 1; i <= CHANNEL_COUNT; i++) {
      Slot* slot = static_cast<Slot*>(l->data);
      if (slot[i] && slot[i]->id >= 1 && slot[i]->name == name) {
        if (slot_out) *slot_out = slot;
        if (id_out) *id_out = i;
        return slot[i];
      }
    }
  return nullptr;
}

void Edited() { Conf_get->unsaved |= CONF_SAVE_STARTUP; }

// The name of the image a segment file belongs to (InfoNew's, of the file's satellite); the
// name itself when it does not parse.
std::string ReferenceName(const std::string& name) {
  Layer parsed;
  Sat sat;
  if (name.size() != size_t(NAME_LENGTH) || !SatFromName(name, &sat) || !ConfParseImageName(name.c_str(), &parsed) ||
      parsed.id < 1 || parsed.id > CHANNEL_COUNT)
    return name;
  Layer* ref = InfoNew(parsed.id, parsed.slot.c_str(), nullptr, &sat);
  const std::string out = ref->name;
  InfoDel(&ref);
  return out;
}

void AppendContour(GtkListStore* store, CntrsFile* entry) {
  GtkTreeIter it;
  gtk_list_store_append(store, &it);
  gtk_list_store_set(store, &it, CTR_FILE, entry->file.c_str(), CTR_COLOR, entry->color.c_str(), CTR_ENTRY, entry,
                     CTR_FIELD, entry->field.c_str(), -1);
}

GList* SlotOf(const Layer* layer) {
  return g_list_find_custom(Conf_get->slots, layer, InfoSlotFindTime);
}

// Selects the tree row of layer id: (0, id - 1) for channels, (1, id - 13) for composites.
void SelectTreeRow(int id) {
  if (!Canv_get || !Canv_get->tree) return;
  GtkTreePath* path = id < RECIPE_FIRST_ID ? gtk_tree_path_new_from_indices(0, id - 1, -1)
                                           : gtk_tree_path_new_from_indices(1, id - RECIPE_FIRST_ID, -1);
  gtk_tree_selection_select_path(gtk_tree_view_get_selection(GTK_TREE_VIEW(Canv_get->tree)), path);
  gtk_tree_path_free(path);
}

bool Selected(GtkTreeView* view, GtkTreeIter* it) {
  if (gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view), nullptr, it)) return true;
  DlgMessage(GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "Select a file, please");
  return false;
}

GtkListStore* StoreOf(GtkTreeView* view) { return GTK_LIST_STORE(gtk_tree_view_get_model(view)); }

void OnAddImages(GtkToolButton*, gpointer view) {
  const std::string folder = (App_get ? App_get->home : std::string()) + "/import/SEVIRI_data";
  // The filter of the configured satellite, named by its settings text ("MSG3" by default).
  const Sat sat = Conf_get ? Conf_get->satellite : Sat{};
  DlgStartupAddImages(GTK_TREE_VIEW(view),
                      SuplChooseFiles(App_get ? GTK_WINDOW(App_get->window) : nullptr, folder.c_str(),
                                      SatText(sat).c_str(), SatFilter(sat).c_str()));
}

void OnAddContours(GtkToolButton*, gpointer view) {
  const std::string folder = (App_get ? App_get->home : std::string()) + "/import/Shp";
  DlgStartupAddContours(GTK_TREE_VIEW(view), SuplChooseFiles(App_get ? GTK_WINDOW(App_get->window) : nullptr,
                                                             folder.c_str(), "Shape files(*.shp)", "*.shp"));
}

void OnDeleteImage(GtkToolButton*, gpointer view) { DlgStartupDeleteImage(GTK_TREE_VIEW(view)); }
void OnDeleteContour(GtkToolButton*, gpointer view) { DlgStartupDeleteContour(GTK_TREE_VIEW(view)); }

void OnColor(GtkCellRendererText*, gchar* path, gchar* text, gpointer store) {
  DlgStartupSetColor(GTK_LIST_STORE(store), path, text);
}
void OnField(GtkCellRendererText*, gchar* path, gchar* text, gpointer store) {
  DlgStartupSetField(GTK_LIST_STORE(store), path, text);
}

GtkWidget* Toolbar(GCallback on_delete, GCallback on_add, GtkWidget* view) {
  GtkWidget* bar = gtk_toolbar_new();
  gtk_toolbar_set_style(GTK_TOOLBAR(bar), GTK_TOOLBAR_ICONS);
  GtkToolItem* sep = gtk_separator_tool_item_new();
  gtk_separator_tool_item_set_draw(GTK_SEPARATOR_TOOL_ITEM(sep), FALSE);
  gtk_tool_item_set_expand(sep, TRUE);
  gtk_toolbar_insert(GTK_TOOLBAR(bar), sep, -1);
  const struct {
    const char* icon;
    const char* tip;
    GCallback handler;
  } buttons[] = {{"list-remove", "Delete", on_delete}, {"list-add", "Add", on_add}};
  for (const auto& b : buttons) {
    GtkToolItem* item = gtk_tool_button_new(gtk_image_new_from_icon_name(b.icon, GTK_ICON_SIZE_SMALL_TOOLBAR), b.tip);
    gtk_widget_set_tooltip_text(GTK_WIDGET(item), b.tip);
    g_signal_connect(item, "clicked", b.handler, view);
    gtk_toolbar_insert(GTK_TOOLBAR(bar), item, -1);
  }
  return bar;
}

GtkWidget* Table(const char* title, GtkWidget* view) {
  GtkWidget* sw = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(sw), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(sw), GTK_SHADOW_IN);
  gtk_scrolled_window_set_placement(GTK_SCROLLED_WINDOW(sw), GTK_CORNER_TOP_LEFT);
  gtk_container_add(GTK_CONTAINER(sw), view);
  gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(view), TRUE);
  gtk_tree_selection_set_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(view)), GTK_SELECTION_SINGLE);
  GtkWidget* frame = gtk_frame_new(title);
  gtk_container_add(GTK_CONTAINER(frame), sw);
  return frame;
}

GtkTreeViewColumn* Column(GtkTreeView* view, const char* title, GtkCellRenderer* cell, int text, int min_width) {
  GtkTreeViewColumn* c = gtk_tree_view_column_new_with_attributes(title, cell, "text", text, nullptr);
  gtk_tree_view_column_set_resizable(c, TRUE);
  if (min_width > 0) gtk_tree_view_column_set_min_width(c, min_width);
  gtk_tree_view_append_column(view, c);
  return c;
}

}  // namespace

void DlgStartupAddImages(GtkTreeView* view, const std::vector<std::string>& names) {
  CanvGuard guard;  // the start-up loader works on the same slot list
  if (!guard.ok()) return;
  Conf* conf = Conf_get;
  GtkListStore* store = StoreOf(view);
  Layer* last = nullptr;
  for (const std::string& chosen : names) {
    // Any segment of a channel and slot stands for that image: the entry is the name the
    // program gives it, and the view window decides which segments are read.
    const std::string name = ReferenceName(chosen);
    if (std::find(conf->startup_images.begin(), conf->startup_images.end(), name) != conf->startup_images.end()) {
      GStr text(g_strdup_printf("%s is a start-up file already", name.c_str()));
      AppStatus(text.get());
      continue;
    }
    auto* layer = new Layer;
    layer->name = name;
    if (!InfoParseName(layer)) {
      InfoDel(&layer);
      Warn(name, "not a segment file name");
      continue;
    }
    // An image this run opened already joins the list as it is; opening it again would
    // leave the slot's layer replaced under its canvas picture.
    if (Layer* open = OpenLayer(name, nullptr, nullptr)) {
      InfoDel(&layer);
      layer = open;
    } else if (!CanvOpen(&layer)) {  // freed by CanvOpen
      Warn(name, "cannot be opened");
      continue;
    } else {
      InfoSlotInsert(&conf->slots, layer);
    }
    conf->startup_images.push_back(name);
    AppendImage(store, name);
    Edited();
    last = layer;
  }
  // Also after a cancelled chooser: the scale and the toolbar follow the slot list. The scale
  // grows first, so that the new slot's position is inside it.
  CanvScaleMarkup();
  if (last) {
    if (Canv_get && Canv_get->range)
      gtk_range_set_value(GTK_RANGE(Canv_get->range), g_list_index(conf->slots, SlotOf(last)->data));
    SelectTreeRow(last->id);
  }
  CanvSlotChanged(Canv_get ? Canv_get->range : nullptr, nullptr);
  CanvSensitive();
}

void DlgStartupDeleteImage(GtkTreeView* view) {
  GtkTreeIter it;
  if (!Selected(view, &it)) return;
  CanvGuard guard;
  if (!guard.ok()) return;
  GtkListStore* store = StoreOf(view);
  gchar* raw = nullptr;
  gtk_tree_model_get(GTK_TREE_MODEL(store), &it, IMG_NAME, &raw, -1);
  const std::string name = raw ? raw : "";
  g_free(raw);
  std::vector<std::string>& list = Conf_get->startup_images;
  auto entry = std::find(list.begin(), list.end(), name);
  if (entry == list.end()) {
    Warn(name, "is not in the start-up list");
    AppStatus("Operation failed");
    return;
  }
  list.erase(entry);
  Edited();
  // The image closes with its entry, when this run has it open (found by name, never through
  // a pointer kept in the row: the layer may have gone meanwhile).
  Slot* slot = nullptr;
  int id = 0;
  if (OpenLayer(name, &slot, &id)) {
    // The picture leaves the canvas before the layer it was made from.
    if (Canv_get && slot == CanvCurrentSlot() && id == CanvTreeGetId()) {
      if (Canv_get->image) goo_canvas_item_remove(Canv_get->image);
      Canv_get->image = nullptr;
      if (Canv_get->label) gtk_label_set_text(GTK_LABEL(Canv_get->label), "");
    }
    InfoDel(&slot[id]);
    CanvTreeSelectId(CanvSlotLast(slot));
  }
  SuplListStoreRemove(view, &it);
  CanvSensitive();
}

void DlgStartupAddContours(GtkTreeView* view, const std::vector<std::string>& names) {
  Conf* conf = Conf_get;
  GtkListStore* store = StoreOf(view);
  for (const std::string& name : names) {
    auto entry = std::make_unique<CntrsFile>();
    entry->file = name;
    const size_t dot = name.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    if (ext != "shp" && ext != "Shp" && ext != "SHP") {
      Warn(name, "is not a shapefile (.shp)");
      continue;
    }
    entry->channel = -1;
    if (!CntrsLoad(entry.get())) {
      CntrsDel(entry->cntrs);
      entry->cntrs = nullptr;
      Warn(name, "cannot be read");
      continue;
    }
    AppendContour(store, entry.get());
    conf->contours = g_list_append(conf->contours, entry.release());
    Edited();
  }
}

void DlgStartupDeleteContour(GtkTreeView* view) {
  GtkTreeIter it;
  if (!Selected(view, &it)) return;
  GtkListStore* store = StoreOf(view);
  CntrsFile* entry = nullptr;
  gtk_tree_model_get(GTK_TREE_MODEL(store), &it, CTR_ENTRY, &entry, -1);
  GList* link = entry ? g_list_find(Conf_get->contours, entry) : nullptr;
  if (!link) {
    Warn(entry ? entry->file : std::string(), "is not in the contour list");
    AppStatus("Operation failed");
    return;
  }
  Conf_get->contours = g_list_delete_link(Conf_get->contours, link);
  InfoCntrsFileDel(entry);  // its polylines and labels leave the canvas at once
  Edited();
  SuplListStoreRemove(view, &it);
}

gboolean DlgStartupSetColor(GtkListStore* store, const char* path, const char* text) {
  GtkTreeIter it;
  if (!gtk_tree_model_get_iter_from_string(GTK_TREE_MODEL(store), &it, path)) return FALSE;
  const int i = SuplColorIndex(text);
  CntrsFile* entry = nullptr;
  gtk_tree_model_get(GTK_TREE_MODEL(store), &it, CTR_ENTRY, &entry, -1);
  if (i < 0 || !entry) {
    Warn(entry ? entry->file : std::string(), i < 0 ? "unknown colour name" : "no contour in the row");
    if (i < 0) AppStatus("Not a colour name: choose one of the list, please");
    return FALSE;
  }
  entry->color = text;
  Edited();
  CntrsSetColor(entry->cntrs, i);
  gtk_list_store_set(store, &it, CTR_COLOR, text, -1);
  return TRUE;
}

gboolean DlgStartupSetField(GtkListStore* store, const char* path, const char* text) {
  GtkTreeIter it;
  CntrsFile* entry = nullptr;
  if (gtk_tree_model_get_iter_from_string(GTK_TREE_MODEL(store), &it, path))
    gtk_tree_model_get(GTK_TREE_MODEL(store), &it, CTR_ENTRY, &entry, -1);
  if (!entry || !text) {
    Warn(entry ? entry->file : std::string(), text ? "no contour in the row" : "no field name");
    return FALSE;
  }
  entry->field = text;
  Edited();
  gtk_list_store_set(store, &it, CTR_FIELD, text, -1);
  return TRUE;
}

DlgStartup* DlgStartupOf(GtkWidget* page) {
  return page ? static_cast<DlgStartup*>(g_object_get_data(G_OBJECT(page), "dlg-startup")) : nullptr;
}

GtkWidget* DlgStartupNew() {
  Conf* conf = Conf_get;
  auto* s = new DlgStartup;
  GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  g_object_set_data_full(G_OBJECT(page), "dlg-startup", s, [](gpointer p) { delete static_cast<DlgStartup*>(p); });

  GtkListStore* images = gtk_list_store_new(3, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING);
  GtkListStore* contours = gtk_list_store_new(4, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_POINTER, G_TYPE_STRING);
  s->images = gtk_tree_view_new_with_model(GTK_TREE_MODEL(images));
  s->contours = gtk_tree_view_new_with_model(GTK_TREE_MODEL(contours));
  g_object_unref(images);  // the views hold them
  g_object_unref(contours);

  Column(GTK_TREE_VIEW(s->images), "Channel", gtk_cell_renderer_text_new(), IMG_CHANNEL, 100);
  Column(GTK_TREE_VIEW(s->images), "Slot", gtk_cell_renderer_text_new(), IMG_SLOT, 0);

  Column(GTK_TREE_VIEW(s->contours), "File name", gtk_cell_renderer_text_new(), CTR_FILE, 0);
  GtkListStore* names = gtk_list_store_new(1, G_TYPE_STRING);
  for (const SuplColor& c : SuplColors) {
    GtkTreeIter it;
    gtk_list_store_append(names, &it);
    gtk_list_store_set(names, &it, 0, c.name, -1);
  }
  GtkCellRenderer* color = gtk_cell_renderer_combo_new();
  g_object_set(color, "model", names, "text-column", 0, "has-entry", TRUE, "editable", TRUE, nullptr);
  g_object_unref(names);
  g_signal_connect(color, "edited", G_CALLBACK(OnColor), contours);
  Column(GTK_TREE_VIEW(s->contours), "Color", color, CTR_COLOR, 100);
  GtkCellRenderer* field = gtk_cell_renderer_text_new();
  g_object_set(field, "editable", TRUE, nullptr);
  g_signal_connect(field, "edited", G_CALLBACK(OnField), contours);
  Column(GTK_TREE_VIEW(s->contours), "Field name", field, CTR_FIELD, 100);

  for (const std::string& name : conf->startup_images) AppendImage(images, name);
  // While the start-up loader holds the slot list it is left as it is (the guard says so).
  if (CanvGuard guard; guard.ok()) conf->slots = g_list_sort(conf->slots, InfoSlotCompare);
  for (GList* l = conf->contours; l; l = l->next) {
    auto* entry = static_cast<CntrsFile*>(l->data);
    if (entry && entry->channel < 0) AppendContour(contours, entry);
  }

  gtk_box_pack_start(GTK_BOX(page), Toolbar(G_CALLBACK(OnDeleteImage), G_CALLBACK(OnAddImages), s->images), FALSE,
                     FALSE, 0);
  gtk_box_pack_start(GTK_BOX(page), Table("Images", s->images), TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(page), Toolbar(G_CALLBACK(OnDeleteContour), G_CALLBACK(OnAddContours), s->contours),
                     FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(page), Table("Contours", s->contours), TRUE, TRUE, 0);
  return page;
}
