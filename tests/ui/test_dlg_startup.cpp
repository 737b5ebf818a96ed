// The Startup files page: images and contours opened and closed in the running program, and
// the saved lists reopened at the next start.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "contours/cntrs.h"
#include "data/fileinfo.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_dlg_support.h"

namespace {

using namespace dlgtest;
namespace fs = std::filesystem;

constexpr const char* SLOT = "201607041200";
constexpr const char* SLOT2 = "201607041215";

class StartupPage : public Dialog {
 protected:
  void Shapes() {
    const std::string dir = home / "import/Shp";
    fs::create_directories(dir);
    for (const char* ext : {".shp", ".shx", ".dbf"})
      fs::copy_file(std::string(NUBICORN_TESTDATA) + "/shp/GSHHS_c_L1" + ext, dir + "/GSHHS_c_L1" + ext,
                    fs::copy_options::overwrite_existing);
  }
  bool WaitStartup() {
    for (int i = 0; i < 3000 && conf.loader; i++) {
      uitest::Drain();
      g_usleep(5000);
    }
    uitest::Drain();
    return conf.loader == nullptr;
  }
  GtkTreeView* Images() { return GTK_TREE_VIEW(DlgStartupOf(Page(0))->images); }
  GtkTreeView* Contours() { return GTK_TREE_VIEW(DlgStartupOf(Page(0))->contours); }
  // Rows of a table as text: columns a and b joined by "|".
  static std::vector<std::string> Rows(GtkTreeView* view, int a, int b) {
    std::vector<std::string> out;
    GtkTreeModel* m = gtk_tree_view_get_model(view);
    GtkTreeIter it;
    for (bool ok = gtk_tree_model_get_iter_first(m, &it); ok; ok = gtk_tree_model_iter_next(m, &it)) {
      gchar *x = nullptr, *y = nullptr;
      gtk_tree_model_get(m, &it, a, &x, b, &y, -1);
      out.push_back(std::string(x ? x : "") + "|" + (y ? y : ""));
      g_free(x);
      g_free(y);
    }
    return out;
  }
  void SelectRow(GtkTreeView* view, int row) {
    GtkTreePath* p = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_selection_select_path(gtk_tree_view_get_selection(view), p);
    gtk_tree_path_free(p);
  }
  int SelectedRow(GtkTreeView* view) {
    GtkTreeModel* m = nullptr;
    GtkTreeIter it;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view), &m, &it)) return -1;
    GtkTreePath* p = gtk_tree_model_get_path(m, &it);
    const int i = gtk_tree_path_get_indices(p)[0];
    gtk_tree_path_free(p);
    return i;
  }
  Slot* FirstSlot() { return conf.slots ? static_cast<Slot*>(conf.slots->data) : nullptr; }
  int TreeId() { return CanvTreeGetId(); }
};

TEST_F(StartupPage, AddingImagesOpensThemAndSkipsBadOnes) {
  Link(SLOT);
  Start();
  Open(0);
  LogCapture log;
  // The last one names a slot whose files are not there: it cannot be loaded.
  DlgStartupAddImages(Images(), {Name(9, SLOT), "not-a-segment-name", Name(1, SLOT), Name(3, SLOT2)});
  uitest::Drain();
  EXPECT_EQ(Rows(Images(), 0, 1), (std::vector<std::string>{"IR_108|201607041200", "VIS006|201607041200"}));
  ASSERT_EQ(g_list_length(conf.slots), 1u);
  Slot* slot = FirstSlot();
  ASSERT_TRUE(slot[9] && slot[1]);
  EXPECT_FALSE(slot[9]->images[0].empty());
  EXPECT_EQ(slot[1]->images[0].rows, 60);  // loaded for the window the program started with
  EXPECT_EQ(slot[1]->images[0].cols, 92);
  int warnings = 0;
  for (const auto& m : log.messages()) warnings += m.rfind("dlgstartup:", 0) == 0;
  EXPECT_EQ(warnings, 2);
  // The last added layer is the one shown.
  EXPECT_EQ(TreeId(), 1);
  EXPECT_NE(canv.image, nullptr);
  EXPECT_TRUE(gtk_widget_get_sensitive(canv.btn_close));
}

TEST_F(StartupPage, SameImageTwiceIsRefused) {
  Link(SLOT);
  Start();
  Open(0);
  DlgStartupAddImages(Images(), {Name(9, SLOT)});
  ASSERT_NE(FirstSlot(), nullptr) << Status();
  const Layer* first = FirstSlot()[9];
  DlgStartupAddImages(Images(), {Name(9, SLOT)});
  EXPECT_EQ(Rows(Images(), 0, 1).size(), 1u);
  EXPECT_EQ(FirstSlot()[9], first);
  EXPECT_NE(Status().find("a start-up file already"), std::string::npos) << Status();
  EXPECT_EQ(conf.startup_images, (std::vector<std::string>{Name(9, SLOT)}));
}

// An image the run opened otherwise joins the list as it is, without a second copy.
TEST_F(StartupPage, ImageOpenAlreadyJoinsTheListAsItIs) {
  Link(SLOT);
  Start();
  ASSERT_TRUE(WaitStartup());
  Open(0);
  DlgStartupAddImages(Images(), {Name(9, SLOT)});
  CanvOpenLayer(FirstSlot(), 1);  // another channel of the slot, opened from the layer tree
  const Layer* open = FirstSlot()[1];
  ASSERT_NE(open, nullptr);
  DlgStartupAddImages(Images(), {Name(1, SLOT)});
  EXPECT_EQ(FirstSlot()[1], open);
  EXPECT_EQ(Rows(Images(), 0, 1), (std::vector<std::string>{"IR_108|201607041200", "VIS006|201607041200"}));
}

// The user's report: every image opened in the session became a start-up file. Save writes
// the list chosen on the page, and its group once.
TEST_F(StartupPage, SaveWritesTheChosenListOnly) {
  Link(SLOT);
  Link(SLOT2);
  Start("[Startup files]\nimage-file-00=" + Name(9, SLOT) + "\n[Interface]\nzoom=4\n[Startup files]\n");
  ASSERT_TRUE(WaitStartup());
  Open(0);
  EXPECT_EQ(Rows(Images(), 0, 1), (std::vector<std::string>{"IR_108|201607041200"}));
  DlgStartupAddImages(Images(), {Name(1, SLOT2)});
  // The session opens more: other channels of both slots.
  for (GList* l = conf.slots; l; l = l->next)
    for (int id : {2, 3, 4}) CanvOpenLayer(static_cast<Slot*>(l->data), id);
  int open = 0;
  for (GList* l = conf.slots; l; l = l->next)
    for (int id = 1; id <= 12; id++) open += static_cast<Slot*>(l->data)[id] != nullptr;
  ASSERT_GE(open, 8);
  Save(0);
  EXPECT_EQ(Status(), "Save operation succeeded");
  const std::string text = uitest::ReadFile(home.ini());
  EXPECT_EQ(text.find("[Startup files]"), text.rfind("[Startup files]")) << text;
  Stored f(home.ini());
  gsize n = 0;
  gchar** keys = g_key_file_get_keys(f.kf, "Startup files", &n, nullptr);
  g_strfreev(keys);
  EXPECT_EQ(n, 2u) << text;
  EXPECT_EQ(f.Str("image-file-00", "Startup files"), Name(9, SLOT));
  EXPECT_EQ(f.Str("image-file-01", "Startup files"), Name(1, SLOT2));
  EXPECT_EQ(f.Int("zoom"), 4);
}

// An entry whose file is gone stays in the list (and the file) until the user deletes it.
TEST_F(StartupPage, EntryThatDidNotLoadIsKeptUntilDeleted) {
  Link(SLOT);
  Start("[Startup files]\nimage-file-00=" + Name(9, SLOT) + "\nimage-file-01=" + Name(9, SLOT2) + "\n");
  ASSERT_TRUE(WaitStartup());
  Open(0);
  EXPECT_EQ(Rows(Images(), 0, 1), (std::vector<std::string>{"IR_108|201607041200", "IR_108|201607041215"}));
  Save(0);
  EXPECT_EQ(Stored(home.ini()).Str("image-file-01", "Startup files"), Name(9, SLOT2));
  SelectRow(Images(), 1);
  DlgStartupDeleteImage(Images());
  EXPECT_EQ(conf.startup_images, (std::vector<std::string>{Name(9, SLOT)}));
  ASSERT_NE(FirstSlot(), nullptr);
  EXPECT_NE(FirstSlot()[9], nullptr);  // the other slot's image is not touched
  Save(0);
  Stored f(home.ini());
  EXPECT_EQ(f.Str("image-file-00", "Startup files"), Name(9, SLOT));
  EXPECT_FALSE(f.Has("Startup files", "image-file-01"));
}

TEST_F(StartupPage, SecondSlotMovesTheTimeScale) {
  Link(SLOT);
  Link(SLOT2);
  Start();
  Open(0);
  DlgStartupAddImages(Images(), {Name(9, SLOT), Name(9, SLOT2)});
  uitest::Drain();
  ASSERT_EQ(g_list_length(conf.slots), 2u);
  EXPECT_EQ(int(gtk_range_get_value(GTK_RANGE(canv.range))), 1);
  EXPECT_TRUE(gtk_widget_get_sensitive(canv.btn_play));  // two slots: animation possible
  // An empty choice (a cancelled chooser) still refreshes and changes nothing.
  DlgStartupAddImages(Images(), {});
  EXPECT_EQ(Rows(Images(), 0, 1).size(), 2u);
}

TEST_F(StartupPage, DeletingImagesClosesThemAndSelectsTheNeighbour) {
  Link(SLOT);
  Start();
  Open(0);
  DlgStartupAddImages(Images(), {Name(9, SLOT), Name(1, SLOT), Name(2, SLOT)});
  uitest::Drain();
  ASSERT_EQ(Rows(Images(), 0, 1).size(), 3u);
  {
    Answer ask;  // nothing selected
    gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(Images()));
    DlgStartupDeleteImage(Images());
    EXPECT_EQ(ask.text, "Select a file, please");
  }
  EXPECT_EQ(Rows(Images(), 0, 1).size(), 3u);
  // The last row (VIS008, shown): the picture goes, the previous row is selected.
  EXPECT_EQ(TreeId(), 2);
  SelectRow(Images(), 2);
  DlgStartupDeleteImage(Images());
  uitest::Drain();
  EXPECT_EQ(FirstSlot()[2], nullptr);
  EXPECT_EQ(Rows(Images(), 0, 1), (std::vector<std::string>{"IR_108|201607041200", "VIS006|201607041200"}));
  EXPECT_EQ(SelectedRow(Images()), 1);
  EXPECT_EQ(TreeId(), 9);  // the highest layer left in the slot is shown
  EXPECT_NE(canv.image, nullptr);
  SelectRow(Images(), 0);
  DlgStartupDeleteImage(Images());
  SelectRow(Images(), 0);
  DlgStartupDeleteImage(Images());
  uitest::Drain();
  EXPECT_TRUE(Rows(Images(), 0, 1).empty());
  EXPECT_EQ(canv.image, nullptr);  // the only channel left went: the canvas is empty
  EXPECT_FALSE(gtk_widget_get_sensitive(canv.btn_close));
}

TEST_F(StartupPage, RowWhoseLayerIsGoneIsStillDeleted) {
  Link(SLOT);
  Start();
  Open(0);
  DlgStartupAddImages(Images(), {Name(9, SLOT)});
  // The layer is closed behind the page's back ("Close a file").
  InfoDel(&FirstSlot()[9]);
  SelectRow(Images(), 0);
  DlgStartupDeleteImage(Images());
  EXPECT_TRUE(Rows(Images(), 0, 1).empty());
  EXPECT_TRUE(conf.startup_images.empty());
  // A row whose entry has gone from the list meanwhile fails safely.
  DlgStartupAddImages(Images(), {Name(1, SLOT)});
  conf.startup_images.clear();
  SelectRow(Images(), 0);
  LogCapture log;
  DlgStartupDeleteImage(Images());
  EXPECT_EQ(Status(), "Operation failed");
  EXPECT_TRUE(log.contains("dlgstartup:"));
  EXPECT_EQ(Rows(Images(), 0, 1).size(), 1u);
}

TEST_F(StartupPage, ContoursAddColourFieldAndDelete) {
  Shapes();
  Start();
  Open(0);
  LogCapture log;
  DlgStartupAddContours(Contours(), {"GSHHS_c_L1.shp", "readme.txt", "GSHHS_c_L1.SHP", "missing.shp"});
  uitest::Drain();
  EXPECT_EQ(Rows(Contours(), 0, 1), (std::vector<std::string>{"GSHHS_c_L1.shp|"}));
  ASSERT_EQ(g_list_length(conf.contours), 1u);
  auto* entry = static_cast<CntrsFile*>(conf.contours->data);
  ASSERT_NE(entry->cntrs, nullptr);
  EXPECT_EQ(entry->channel, -1);
  int warnings = 0;
  for (const auto& m : log.messages()) warnings += m.rfind("dlgstartup:", 0) == 0;
  EXPECT_EQ(warnings, 3);  // the text file, the upper-case suffix refused by the loader, the missing file

  GtkListStore* store = GTK_LIST_STORE(gtk_tree_view_get_model(Contours()));
  EXPECT_FALSE(DlgStartupSetColor(store, "0", "red"));  // names are case-sensitive
  EXPECT_EQ(entry->color, "");
  EXPECT_FALSE(DlgStartupSetColor(store, "7", "Red"));  // no such row
  ASSERT_TRUE(DlgStartupSetColor(store, "0", "Black"));
  EXPECT_EQ(entry->color, "Black");
  EXPECT_EQ(Rows(Contours(), 0, 1), (std::vector<std::string>{"GSHHS_c_L1.shp|Black"}));
  ASSERT_GT(entry->cntrs->polylines->len, 0u);
  guint rgba = 0;
  g_object_get(g_ptr_array_index(entry->cntrs->polylines, 0), "stroke-color-rgba", &rgba, nullptr);
  EXPECT_EQ(rgba, (30u << 24) | (30u << 16) | (30u << 8) | 255u);  // "Black" is 30, 30, 30

  ASSERT_TRUE(DlgStartupSetField(store, "0", "NAME"));
  EXPECT_EQ(entry->field, "NAME");
  EXPECT_EQ(Rows(Contours(), 0, 3), (std::vector<std::string>{"GSHHS_c_L1.shp|NAME"}));
  EXPECT_FALSE(DlgStartupSetField(store, "3", "x"));

  GooCanvasItem* group = entry->cntrs->group;
  EXPECT_GE(goo_canvas_item_find_child(canv.group, group), 0);
  SelectRow(Contours(), 0);
  DlgStartupDeleteContour(Contours());
  EXPECT_EQ(conf.contours, nullptr);
  EXPECT_TRUE(Rows(Contours(), 0, 1).empty());
  EXPECT_EQ(goo_canvas_item_get_n_children(canv.group), 0);  // its lines left the canvas
  Answer ask;
  DlgStartupDeleteContour(Contours());
  EXPECT_EQ(ask.text, "Select a file, please");
}

TEST_F(StartupPage, SavedListsReopenAtTheNextStart) {
  Link(SLOT);
  Shapes();
  Start("[Mine]\nkeep=yes\n");
  Open(0);
  DlgStartupAddImages(Images(), {Name(9, SLOT), Name(1, SLOT)});
  DlgStartupAddContours(Contours(), {"GSHHS_c_L1.shp"});
  GtkListStore* store = GTK_LIST_STORE(gtk_tree_view_get_model(Contours()));
  ASSERT_TRUE(DlgStartupSetColor(store, "0", "Blue"));
  Save(0);
  EXPECT_EQ(Status(), "Save operation succeeded");
  {
    Stored f(home.ini());
    EXPECT_EQ(f.Str("image-file-00", "Startup files"), Name(9, SLOT));  // the order chosen
    EXPECT_EQ(f.Str("image-file-01", "Startup files"), Name(1, SLOT));
    EXPECT_EQ(f.Str("contour-file-00", "Startup files"), "GSHHS_c_L1.shp");
    EXPECT_EQ(f.Str("cntrs-file-attr-00", "Startup files"), "color:Blue;");
    EXPECT_EQ(f.Str("keep", "Mine"), "yes");
  }
  CloseDialog();
  Restart();
  ASSERT_TRUE(WaitStartup());
  ASSERT_EQ(g_list_length(conf.slots), 1u);
  EXPECT_TRUE(FirstSlot()[1] && !FirstSlot()[1]->images[0].empty());
  EXPECT_TRUE(FirstSlot()[9] && !FirstSlot()[9]->images[0].empty());
  // The window's start-up does not load the contour list yet: its loader is run here.
  if (!conf.contours) CntrsStartup();
  ASSERT_EQ(g_list_length(conf.contours), 1u);
  EXPECT_EQ(static_cast<CntrsFile*>(conf.contours->data)->color, "Blue");
  EXPECT_NE(static_cast<CntrsFile*>(conf.contours->data)->cntrs, nullptr);
  // The page lists what was reopened.
  Open(0);
  EXPECT_EQ(Rows(Images(), 0, 1), (std::vector<std::string>{"IR_108|201607041200", "VIS006|201607041200"}));
  EXPECT_EQ(Rows(Contours(), 0, 1), (std::vector<std::string>{"GSHHS_c_L1.shp|Blue"}));
}

// What the file chooser showed when a toolbar "add" button ran it; the chooser is cancelled.
struct ChooserSeen {
  std::string filter, folder;
  bool multiple = false;
  int count = 0, waits = 0;
  guint source = 0;
  ChooserSeen() {
    source = g_timeout_add(30, +[](gpointer self) -> gboolean {
      auto* c = static_cast<ChooserSeen*>(self);
      GList* tops = gtk_window_list_toplevels();
      for (GList* l = tops; l; l = l->next) {
        if (!GTK_IS_FILE_CHOOSER_DIALOG(l->data) || !gtk_widget_get_visible(GTK_WIDGET(l->data))) continue;
        GtkFileChooser* fc = GTK_FILE_CHOOSER(l->data);
        GtkFileFilter* f = gtk_file_chooser_get_filter(fc);
        c->filter = f && gtk_file_filter_get_name(f) ? gtk_file_filter_get_name(f) : "";
        gchar* folder = gtk_file_chooser_get_current_folder(fc);
        c->folder = folder ? folder : "";
        g_free(folder);
        if (c->folder.empty() && ++c->waits < 100) continue;  // the chooser goes there on its own time
        c->multiple = gtk_file_chooser_get_select_multiple(fc);
        c->count++;
        gtk_dialog_response(GTK_DIALOG(l->data), GTK_RESPONSE_CANCEL);
      }
      g_list_free(tops);
      return G_SOURCE_CONTINUE;
    }, this);
  }
  ~ChooserSeen() { g_source_remove(source); }
};

// The k-th tool button (0 delete, 1 add) of the page's n-th toolbar (0 images, 1 contours).
GtkWidget* ToolButton(GtkWidget* page, int n, int k) {
  std::vector<GtkWidget*> bars;
  GList* children = gtk_container_get_children(GTK_CONTAINER(page));
  for (GList* l = children; l; l = l->next)
    if (GTK_IS_TOOLBAR(l->data)) bars.push_back(GTK_WIDGET(l->data));
  g_list_free(children);
  if (size_t(n) >= bars.size()) return nullptr;
  GtkToolItem* sep = gtk_toolbar_get_nth_item(GTK_TOOLBAR(bars[size_t(n)]), 0);
  if (!GTK_IS_SEPARATOR_TOOL_ITEM(sep) || gtk_separator_tool_item_get_draw(GTK_SEPARATOR_TOOL_ITEM(sep)) ||
      !gtk_tool_item_get_expand(sep))
    return nullptr;  // the buttons sit at the right end behind an invisible expanding separator
  return GTK_WIDGET(gtk_toolbar_get_nth_item(GTK_TOOLBAR(bars[size_t(n)]), k + 1));
}

TEST_F(StartupPage, AddButtonsRunTheChooserInTheirFolders) {
  Link(SLOT);
  Shapes();
  Start();
  Open(0);
  GtkWidget* add_images = ToolButton(Page(0), 0, 1);
  GtkWidget* add_contours = ToolButton(Page(0), 1, 1);
  ASSERT_TRUE(add_images && add_contours);
  {
    ChooserSeen seen;
    gtk_widget_set_sensitive(canv.btn_close, TRUE);  // wrong on purpose: the refresh must mend it
    g_signal_emit_by_name(add_images, "clicked");
    EXPECT_EQ(seen.count, 1);
    EXPECT_EQ(seen.filter, "MSG3");
    EXPECT_EQ(fs::weakly_canonical(seen.folder), fs::canonical(home / "import/SEVIRI_data"));
    EXPECT_TRUE(seen.multiple);
    EXPECT_TRUE(Rows(Images(), 0, 1).empty());
    EXPECT_FALSE(gtk_widget_get_sensitive(canv.btn_close));  // cancelled: still refreshed
  }
  {
    ChooserSeen seen;
    g_signal_emit_by_name(add_contours, "clicked");
    EXPECT_EQ(seen.count, 1);
    EXPECT_EQ(seen.filter, "Shape files(*.shp)");
    EXPECT_EQ(fs::weakly_canonical(seen.folder), fs::canonical(home / "import/Shp"));
    EXPECT_EQ(conf.contours, nullptr);
  }
  // The delete buttons ask for a selection first.
  Answer ask;
  g_signal_emit_by_name(ToolButton(Page(0), 0, 0), "clicked");
  EXPECT_EQ(ask.text, "Select a file, please");
}

TEST_F(StartupPage, SaveWaitsWhileTheStartupLoaderHoldsTheSlots) {
  Link(SLOT);
  Start();
  ASSERT_TRUE(WaitStartup());
  Open(0);
  DlgStartupAddImages(Images(), {Name(9, SLOT)});
  // A stand-in for the loader thread, holding the slot list as a decode does.
  struct Hold {
    GMutex* mutex;
    gint release = 0;
    gint held = 0;
  } hold{&conf.mutex};
  GThread* t = g_thread_new("hold", +[](gpointer p) -> gpointer {
    auto* h = static_cast<Hold*>(p);
    g_mutex_lock(h->mutex);
    g_atomic_int_set(&h->held, 1);
    while (!g_atomic_int_get(&h->release)) g_usleep(1000);
    g_mutex_unlock(h->mutex);
    return nullptr;
  }, &hold);
  while (!g_atomic_int_get(&hold.held)) g_usleep(1000);
  conf.loader = t;
  const std::string before = uitest::ReadFile(home.ini());
  Save(0);
  EXPECT_EQ(Status(), "Busy: loading the start-up files");
  EXPECT_EQ(uitest::ReadFile(home.ini()), before);
  g_atomic_int_set(&hold.release, 1);
  g_thread_join(t);
  conf.loader = nullptr;
  Save(0);
  EXPECT_EQ(Status(), "Save operation succeeded");
  EXPECT_EQ(Stored(home.ini()).Str("image-file-00", "Startup files"), Name(9, SLOT));
}

}  // namespace
