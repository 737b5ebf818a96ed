// The Startup files page: images and contours opened and closed in the running program, and
// the saved lists reopened at the next start.
#include <gtest/gtest.h>

#include "contours/cntrs.h"
#include "data/fileinfo.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_dlg_support.h"

namespace {

using namespace dlgtest;

constexpr const char* SLOT = "201607041200";
constexpr const char* SLOT2 = "201607041215";
const char* const NO_SELECTION = "Select a file, please";
using Rows = std::vector<std::string>;

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
  GtkListStore* ContourStore() { return GTK_LIST_STORE(gtk_tree_view_get_model(Contours())); }
  // Rows of a table as text: columns a and b joined by "|".
  static Rows RowsOf(GtkTreeView* view, int a = 0, int b = 1) {
    Rows out;
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
  // Selects the row (none when -1) and presses the page's delete for that table.
  void Delete(GtkTreeView* view, int row) {
    GtkTreeSelection* s = gtk_tree_view_get_selection(view);
    gtk_tree_selection_unselect_all(s);
    if (row >= 0) {
      GtkTreePath* p = gtk_tree_path_new_from_indices(row, -1);
      gtk_tree_selection_select_path(s, p);
      gtk_tree_path_free(p);
    }
    view == Images() ? DlgStartupDeleteImage(view) : DlgStartupDeleteContour(view);
    uitest::Drain();
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
  int Warnings(const LogCapture& log) {
    int n = 0;
    for (const auto& m : log.messages()) n += m.rfind("dlgstartup:", 0) == 0;
    return n;
  }
  Slot* FirstSlot() { return conf.slots ? static_cast<Slot*>(conf.slots->data) : nullptr; }
};

// Added images open at once; bad names, files not there and an image listed already are refused;
// an image the run opened otherwise joins as it is; a second slot moves the time scale.
TEST_F(StartupPage, AddingImagesOpensThemAndRefusesBadOnes) {
  Link(SLOT);
  Link(SLOT2);
  Start();
  Open(0);
  LogCapture log;
  DlgStartupAddImages(Images(), {Name(9, SLOT), "not-a-segment-name", Name(1, SLOT), Name(3, "201607041230")});
  uitest::Drain();
  EXPECT_EQ(RowsOf(Images()), (Rows{"IR_108|201607041200", "VIS006|201607041200"}));
  EXPECT_EQ(Warnings(log), 2);
  ASSERT_EQ(g_list_length(conf.slots), 1u);
  Slot* slot = FirstSlot();
  ASSERT_TRUE(slot[9] && slot[1]);
  EXPECT_FALSE(slot[9]->images[0].empty());
  EXPECT_EQ(slot[1]->images[0].rows, 60);  // loaded for the window the program started with
  EXPECT_EQ(slot[1]->images[0].cols, 92);
  EXPECT_EQ(CanvTreeGetId(), 1);  // the last added layer is the one shown
  EXPECT_NE(canv.image, nullptr);
  EXPECT_TRUE(gtk_widget_get_sensitive(canv.btn_close));

  const Layer* first = slot[9];
  DlgStartupAddImages(Images(), {Name(9, SLOT)});
  EXPECT_EQ(FirstSlot()[9], first);
  EXPECT_NE(Status().find("a start-up file already"), std::string::npos) << Status();
  CanvOpenLayer(FirstSlot(), 2);  // another channel of the slot, opened from the layer tree
  const Layer* open = FirstSlot()[2];
  ASSERT_NE(open, nullptr);
  DlgStartupAddImages(Images(), {Name(2, SLOT)});
  EXPECT_EQ(FirstSlot()[2], open);
  EXPECT_EQ(conf.startup_images, (Rows{Name(9, SLOT), Name(1, SLOT), Name(2, SLOT)}));

  DlgStartupAddImages(Images(), {Name(9, SLOT2)});
  uitest::Drain();
  ASSERT_EQ(g_list_length(conf.slots), 2u);
  EXPECT_EQ(int(gtk_range_get_value(GTK_RANGE(canv.range))), 1);
  EXPECT_TRUE(gtk_widget_get_sensitive(canv.btn_play));  // two slots: animation possible
  DlgStartupAddImages(Images(), {});  // a cancelled chooser refreshes and changes nothing
  EXPECT_EQ(RowsOf(Images()).size(), 4u);
}

TEST_F(StartupPage, DeletingImagesClosesThemAndSelectsTheNeighbour) {
  Link(SLOT);
  Start();
  Open(0);
  DlgStartupAddImages(Images(), {Name(9, SLOT), Name(1, SLOT), Name(2, SLOT)});
  uitest::Drain();
  {
    Answer ask;
    Delete(Images(), -1);
    EXPECT_EQ(ask.text, NO_SELECTION);
  }
  EXPECT_EQ(RowsOf(Images()).size(), 3u);
  // The last row (VIS008, shown): the picture goes, the previous row is selected.
  EXPECT_EQ(CanvTreeGetId(), 2);
  Delete(Images(), 2);
  EXPECT_EQ(FirstSlot()[2], nullptr);
  EXPECT_EQ(RowsOf(Images()), (Rows{"IR_108|201607041200", "VIS006|201607041200"}));
  EXPECT_EQ(SelectedRow(Images()), 1);
  EXPECT_EQ(CanvTreeGetId(), 9);  // the highest layer left in the slot is shown
  EXPECT_NE(canv.image, nullptr);
  Delete(Images(), 0);
  Delete(Images(), 0);
  EXPECT_TRUE(RowsOf(Images()).empty());
  EXPECT_EQ(canv.image, nullptr);  // the only channel left went: the canvas is empty
  EXPECT_FALSE(gtk_widget_get_sensitive(canv.btn_close));

  // A row whose layer was closed behind the page's back ("Close a file") is still deleted.
  DlgStartupAddImages(Images(), {Name(9, SLOT)});
  InfoDel(&FirstSlot()[9]);
  Delete(Images(), 0);
  EXPECT_TRUE(RowsOf(Images()).empty());
  EXPECT_TRUE(conf.startup_images.empty());
  // A row whose entry has gone from the list meanwhile fails safely.
  DlgStartupAddImages(Images(), {Name(1, SLOT)});
  conf.startup_images.clear();
  LogCapture log;
  Delete(Images(), 0);
  EXPECT_EQ(Status(), "Operation failed");
  EXPECT_EQ(Warnings(log), 1);
  EXPECT_EQ(RowsOf(Images()).size(), 1u);
}

TEST_F(StartupPage, ContoursAddColourFieldAndDelete) {
  Shapes();
  Start();
  Open(0);
  LogCapture log;
  DlgStartupAddContours(Contours(), {"GSHHS_c_L1.shp", "readme.txt", "GSHHS_c_L1.SHP", "missing.shp"});
  uitest::Drain();
  EXPECT_EQ(RowsOf(Contours()), (Rows{"GSHHS_c_L1.shp|"}));
  ASSERT_EQ(g_list_length(conf.contours), 1u);
  auto* entry = static_cast<CntrsFile*>(conf.contours->data);
  ASSERT_NE(entry->cntrs, nullptr);
  EXPECT_EQ(entry->channel, -1);
  EXPECT_EQ(Warnings(log), 3);  // the text file, the upper-case suffix refused by the loader, the missing file

  EXPECT_FALSE(DlgStartupSetColor(ContourStore(), "0", "red"));  // names are case-sensitive
  EXPECT_EQ(entry->color, "");
  EXPECT_FALSE(DlgStartupSetColor(ContourStore(), "7", "Red"));  // no such row
  ASSERT_TRUE(DlgStartupSetColor(ContourStore(), "0", "Black"));
  EXPECT_EQ(RowsOf(Contours()), (Rows{"GSHHS_c_L1.shp|Black"}));
  ASSERT_GT(entry->cntrs->polylines->len, 0u);
  guint rgba = 0;
  g_object_get(g_ptr_array_index(entry->cntrs->polylines, 0), "stroke-color-rgba", &rgba, nullptr);
  EXPECT_EQ(rgba, (30u << 24) | (30u << 16) | (30u << 8) | 255u);  // "Black" is 30, 30, 30

  ASSERT_TRUE(DlgStartupSetField(ContourStore(), "0", "NAME"));
  EXPECT_EQ(entry->field, "NAME");
  EXPECT_EQ(RowsOf(Contours(), 0, 3), (Rows{"GSHHS_c_L1.shp|NAME"}));
  EXPECT_FALSE(DlgStartupSetField(ContourStore(), "3", "x"));

  EXPECT_GE(goo_canvas_item_find_child(canv.group, entry->cntrs->group), 0);
  Delete(Contours(), 0);
  EXPECT_EQ(conf.contours, nullptr);
  EXPECT_TRUE(RowsOf(Contours()).empty());
  EXPECT_EQ(goo_canvas_item_get_n_children(canv.group), 0);  // its lines left the canvas
  Answer ask;
  Delete(Contours(), -1);
  EXPECT_EQ(ask.text, NO_SELECTION);
}

// The user's report: every image opened in the session became a start-up file. Save writes the
// list chosen on the page (an entry whose file is gone stays until deleted), its group once, and
// the next start reopens it.
TEST_F(StartupPage, SaveWritesTheChosenListsWhichReopenAtTheNextStart) {
  Link(SLOT);
  Shapes();
  Start("[Startup files]\nimage-file-00=" + Name(9, SLOT) + "\nimage-file-01=" + Name(9, SLOT2) +
        "\n[Interface]\nzoom=4\n[Startup files]\n[Mine]\nkeep=yes\n");
  ASSERT_TRUE(WaitStartup());
  Open(0);
  EXPECT_EQ(RowsOf(Images()), (Rows{"IR_108|201607041200", "IR_108|201607041215"}));
  Save(0);
  EXPECT_EQ(Stored(home.ini()).Str("image-file-01", "Startup files"), Name(9, SLOT2));
  Delete(Images(), 1);
  EXPECT_EQ(conf.startup_images, (Rows{Name(9, SLOT)}));
  ASSERT_NE(FirstSlot(), nullptr);
  EXPECT_NE(FirstSlot()[9], nullptr);  // the other slot's image is not touched
  DlgStartupAddImages(Images(), {Name(1, SLOT)});
  DlgStartupAddContours(Contours(), {"GSHHS_c_L1.shp"});
  ASSERT_TRUE(DlgStartupSetColor(ContourStore(), "0", "Blue"));
  for (int id : {2, 3, 4}) CanvOpenLayer(FirstSlot(), id);  // the session opens more
  Save(0);
  EXPECT_EQ(Status(), "Save operation succeeded");
  const std::string text = uitest::ReadFile(home.ini());
  EXPECT_EQ(text.find("[Startup files]"), text.rfind("[Startup files]")) << text;
  {
    Stored f(home.ini());
    EXPECT_EQ(f.Keys("Startup files").size(), 4u) << text;
    EXPECT_EQ(f.Str("image-file-00", "Startup files"), Name(9, SLOT));  // the order chosen
    EXPECT_EQ(f.Str("image-file-01", "Startup files"), Name(1, SLOT));
    EXPECT_EQ(f.Str("contour-file-00", "Startup files"), "GSHHS_c_L1.shp");
    EXPECT_EQ(f.Str("cntrs-file-attr-00", "Startup files"), "color:Blue;");
    EXPECT_EQ(f.Int("zoom"), 4);
    EXPECT_EQ(f.Str("keep", "Mine"), "yes");
  }
  Restart();
  ASSERT_TRUE(WaitStartup());
  ASSERT_EQ(g_list_length(conf.slots), 1u);
  EXPECT_TRUE(FirstSlot()[1] && !FirstSlot()[1]->images[0].empty());
  EXPECT_TRUE(FirstSlot()[9] && !FirstSlot()[9]->images[0].empty());
  EXPECT_EQ(FirstSlot()[2], nullptr);
  // The window's start-up does not load the contour list yet: its loader is run here.
  if (!conf.contours) CntrsStartup();
  ASSERT_EQ(g_list_length(conf.contours), 1u);
  EXPECT_EQ(static_cast<CntrsFile*>(conf.contours->data)->color, "Blue");
  EXPECT_NE(static_cast<CntrsFile*>(conf.contours->data)->cntrs, nullptr);
  Open(0);
  EXPECT_EQ(RowsOf(Images()), (Rows{"IR_108|201607041200", "VIS006|201607041200"}));
  EXPECT_EQ(RowsOf(Contours()), (Rows{"GSHHS_c_L1.shp|Blue"}));
}

// What the file chooser showed when a toolbar "add" button ran it; the chooser is cancelled.
struct ChooserSeen {
  std::string filter, folder;
  bool multiple = false;
  int count = 0, waits = 0;
  guint source = g_timeout_add(30, +[](gpointer self) -> gboolean {
    auto* c = static_cast<ChooserSeen*>(self);
    auto* fc = GTK_FILE_CHOOSER(uitest::VisibleToplevel(GTK_TYPE_FILE_CHOOSER_DIALOG));
    if (!fc) return G_SOURCE_CONTINUE;
    GtkFileFilter* f = gtk_file_chooser_get_filter(fc);
    c->filter = f && gtk_file_filter_get_name(f) ? gtk_file_filter_get_name(f) : "";
    gchar* folder = gtk_file_chooser_get_current_folder(fc);
    c->folder = folder ? folder : "";
    g_free(folder);
    if (c->folder.empty() && ++c->waits < 100) return G_SOURCE_CONTINUE;  // it goes there on its own time
    c->multiple = gtk_file_chooser_get_select_multiple(fc);
    c->count++;
    gtk_dialog_response(GTK_DIALOG(fc), GTK_RESPONSE_CANCEL);
    return G_SOURCE_CONTINUE;
  }, this);
  ~ChooserSeen() { g_source_remove(source); }
};

// The k-th tool button (0 delete, 1 add) of the page's n-th toolbar (0 images, 1 contours), after
// the expanding separator that puts them at the right end.
GtkWidget* ToolButton(GtkWidget* page, int n, int k) {
  std::vector<GtkToolbar*> bars;
  GList* children = gtk_container_get_children(GTK_CONTAINER(page));
  for (GList* l = children; l; l = l->next)
    if (GTK_IS_TOOLBAR(l->data)) bars.push_back(GTK_TOOLBAR(l->data));
  g_list_free(children);
  return size_t(n) < bars.size() ? GTK_WIDGET(gtk_toolbar_get_nth_item(bars[size_t(n)], k + 1)) : nullptr;
}

TEST_F(StartupPage, AddButtonsRunTheChooserInTheirFolders) {
  Link(SLOT);
  Shapes();
  Start();
  Open(0);
  struct {
    int bar;
    const char *filter, *folder;
  } rows[] = {{0, "MSG3", "import/SEVIRI_data"}, {1, "Shape files(*.shp)", "import/Shp"}};
  for (const auto& r : rows) {
    GtkWidget* add = ToolButton(Page(0), r.bar, 1);
    ASSERT_NE(add, nullptr) << r.bar;
    ChooserSeen seen;
    gtk_widget_set_sensitive(canv.btn_close, TRUE);  // wrong on purpose: the refresh must mend it
    g_signal_emit_by_name(add, "clicked");
    EXPECT_EQ(seen.count, 1);
    EXPECT_EQ(seen.filter, r.filter);
    EXPECT_EQ(fs::weakly_canonical(seen.folder), fs::canonical(home / r.folder));
    EXPECT_TRUE(seen.multiple);
    EXPECT_TRUE(RowsOf(r.bar ? Contours() : Images()).empty());
    EXPECT_TRUE(r.bar || !gtk_widget_get_sensitive(canv.btn_close));  // images cancelled: still refreshed
  }
  Answer ask;
  g_signal_emit_by_name(ToolButton(Page(0), 0, 0), "clicked");
  EXPECT_EQ(ask.text, NO_SELECTION);
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
    gint release = 0, held = 0;
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
