// The interface utilities: toolbar helpers, the file chooser, text drawing, list-row removal.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/platform.h"
#include "app/suplgtk.h"
#include "tests/ui/uitest.h"

namespace {

class Supl : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!uitest::GtkReady()) GTEST_SKIP() << "no display";
    PlatformResources();
  }
};

// A list view of n rows "0", "1", ... with its store.
struct ListView {
  GtkListStore* store = gtk_list_store_new(1, G_TYPE_STRING);
  GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
  explicit ListView(int n) {
    g_object_ref_sink(view);
    for (int i = 0; i < n; i++) gtk_list_store_insert_with_values(store, nullptr, -1, 0, std::to_string(i).c_str(), -1);
  }
  ~ListView() {
    g_object_unref(store);
    gtk_widget_destroy(view);
    g_object_unref(view);
  }
  GtkTreeIter Row(int i) {
    GtkTreeIter it;
    gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(store), &it, nullptr, i);
    return it;
  }
  std::string Text(GtkTreeIter* it) {
    gchar* s = nullptr;
    gtk_tree_model_get(GTK_TREE_MODEL(store), it, 0, &s, -1);
    std::string out = s ? s : "";
    g_free(s);
    return out;
  }
  std::string Selected() {
    GtkTreeIter it;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(view)), nullptr, &it)) return "<none>";
    return Text(&it);
  }
  int Count() { return gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store), nullptr); }
};

TEST_F(Supl, ListStoreRemoveSelectsTheNeighbour) {
  {
    ListView l(1);
    GtkTreeIter it = l.Row(0);
    SuplListStoreRemove(GTK_TREE_VIEW(l.view), &it);
    EXPECT_EQ(l.Count(), 0);
    EXPECT_EQ(l.Selected(), "<none>");
    EXPECT_FALSE(gtk_list_store_iter_is_valid(l.store, &it));
  }
  {
    ListView l(4);
    GtkTreeIter it = l.Row(3);  // the last of several: the new last row
    SuplListStoreRemove(GTK_TREE_VIEW(l.view), &it);
    EXPECT_EQ(l.Count(), 3);
    EXPECT_EQ(l.Selected(), "2");
    EXPECT_EQ(l.Text(&it), "2");
  }
  {
    ListView l(4);
    GtkTreeIter it = l.Row(1);  // a middle row: the row that took its place
    SuplListStoreRemove(GTK_TREE_VIEW(l.view), &it);
    EXPECT_EQ(l.Count(), 3);
    EXPECT_EQ(l.Selected(), "2");
    EXPECT_EQ(l.Text(&it), "2");
  }
  {
    ListView l(3);
    GtkTreeIter it = l.Row(0);
    SuplListStoreRemove(GTK_TREE_VIEW(l.view), &it);
    EXPECT_EQ(l.Selected(), "1");
  }
}

TEST_F(Supl, PangoCairoTextDrawsUnantialiasedFromTheTopLeftCorner) {
  const int W = 240, H = 80, X = 30, Y = 20;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, W, H);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0, 0, 1);  // the caller's source must come back
  PangoFontDescription* font = pango_font_description_from_string("Sans Bold 20");
  SuplPangoCairoText(cr, font, X, Y, "Nubicorn", 200, 10, 50);
  double r = -1, g = -1, b = -1, a = -1;
  cairo_pattern_get_rgba(cairo_get_source(cr), &r, &g, &b, &a);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(cairo_get_antialias(cr), CAIRO_ANTIALIAS_DEFAULT);
  cairo_surface_flush(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  int inked = 0, others = 0, min_x = W, min_y = H;
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) {
      uint32_t px = *reinterpret_cast<const uint32_t*>(data + y * stride + 4 * x) & 0xffffff;
      if (px == 0xffffff) continue;
      if (px == ((200u << 16) | (10u << 8) | 50u)) {
        inked++;
        min_x = std::min(min_x, x);
        min_y = std::min(min_y, y);
      } else {
        others++;
      }
    }
  EXPECT_GT(inked, 100);
  EXPECT_EQ(others, 0);  // no antialiasing: only the text colour and the background
  EXPECT_GE(min_x, X);
  EXPECT_GE(min_y, Y);
  EXPECT_LT(min_x, X + 6);   // the first glyph starts at the corner
  EXPECT_LT(min_y, Y + 16);  // below the ascent gap, within the line
  pango_font_description_free(font);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

// The first tree view inside a widget, internal children included.
GtkWidget* FindTreeView(GtkWidget* w) {
  if (GTK_IS_TREE_VIEW(w) && gtk_widget_get_mapped(w) &&
      gtk_tree_model_iter_n_children(gtk_tree_view_get_model(GTK_TREE_VIEW(w)), nullptr) > 0)
    return w;
  if (!GTK_IS_CONTAINER(w)) return nullptr;
  struct Acc {
    GtkWidget* found = nullptr;
  } acc;
  gtk_container_forall(
      GTK_CONTAINER(w),
      [](GtkWidget* c, gpointer p) {
        auto* a = static_cast<Acc*>(p);
        if (!a->found) a->found = FindTreeView(c);
      },
      &acc);
  return acc.found;
}

// Drives the next file chooser: selects the given names (none: cancels) once its folder is loaded.
struct ChooserDriver {
  std::vector<std::string> paths;
  int polls = 0;
  bool selected = false;
  std::string filter_name, folder;
  gboolean multiple = FALSE;
  int filters = 0;
  static gboolean Poll(gpointer self) {
    auto* d = static_cast<ChooserDriver*>(self);
    GList* tops = gtk_window_list_toplevels();
    GtkWidget* dialog = nullptr;
    for (GList* l = tops; l; l = l->next)
      if (GTK_IS_FILE_CHOOSER_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data))) dialog = GTK_WIDGET(l->data);
    g_list_free(tops);
    if (!dialog) return G_SOURCE_CONTINUE;
    GtkFileChooser* fc = GTK_FILE_CHOOSER(dialog);
    if (++d->polls > 200 || d->paths.empty()) {
      gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
      return G_SOURCE_REMOVE;
    }
    if (!d->selected) {
      d->multiple = gtk_file_chooser_get_select_multiple(fc);
      GtkFileFilter* f = gtk_file_chooser_get_filter(fc);
      d->filter_name = f ? gtk_file_filter_get_name(f) : "";
      GSList* fl = gtk_file_chooser_list_filters(fc);
      d->filters = int(g_slist_length(fl));
      g_slist_free(fl);
      gchar* cur = gtk_file_chooser_get_current_folder(fc);
      d->folder = cur ? cur : "";
      g_free(cur);
      // As a user pressing Ctrl+A in the file list once the folder has loaded.
      GtkWidget* list = FindTreeView(dialog);
      if (!list || d->polls < 5) return G_SOURCE_CONTINUE;
      gtk_tree_selection_select_all(gtk_tree_view_get_selection(GTK_TREE_VIEW(list)));
      d->selected = true;
      return G_SOURCE_CONTINUE;
    }
    GSList* chosen = gtk_file_chooser_get_filenames(fc);
    guint n = g_slist_length(chosen);
    g_slist_free_full(chosen, g_free);
    if (n == d->paths.size()) {
      gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
      return G_SOURCE_REMOVE;
    }
    return G_SOURCE_CONTINUE;
  }
};

TEST_F(Supl, ChooseFilesReturnsBaseNamesOrNothing) {
  uitest::TempHome dir;
  for (const char* name : {"c.shp", "a.shp", "b.shp", "other.txt"}) uitest::TempHome::Write(dir / name, "x");
  {
    ChooserDriver cancel;
    guint src = g_timeout_add(30, &ChooserDriver::Poll, &cancel);
    EXPECT_TRUE(SuplChooseFiles(nullptr, dir.path().c_str(), "Shape files(*.shp)", "*.shp").empty());
    if (g_main_context_find_source_by_id(nullptr, src)) g_source_remove(src);
  }
  ChooserDriver pick;
  pick.paths = {dir / "a.shp", dir / "b.shp", dir / "c.shp"};  // what the filter lets through
  guint src = g_timeout_add(30, &ChooserDriver::Poll, &pick);
  std::vector<std::string> names = SuplChooseFiles(nullptr, dir.path().c_str(), "Shape files(*.shp)", "*.shp");
  if (g_main_context_find_source_by_id(nullptr, src)) g_source_remove(src);
  ASSERT_LE(pick.polls, 200) << "the dialog never showed the files";
  EXPECT_TRUE(pick.multiple);
  EXPECT_EQ(pick.filters, 1);
  EXPECT_EQ(pick.filter_name, "Shape files(*.shp)");
  EXPECT_EQ(pick.folder, dir.path());
  ASSERT_EQ(names.size(), 3u);
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{"a.shp", "b.shp", "c.shp"}));  // base names, no folder
}

}  // namespace
