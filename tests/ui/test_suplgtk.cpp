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

// The row that takes the removed one's place is selected and the iterator moves to it: the
// next row, or the new last row; nothing when the list is empty.
TEST_F(Supl, ListStoreRemoveSelectsTheNeighbour) {
  const struct {
    int rows, removed;
    const char* selected;  // and the row the iterator points at; "<none>": it is invalid
  } cases[] = {{1, 0, "<none>"}, {4, 3, "2"}, {4, 1, "2"}, {3, 0, "1"}};
  for (const auto& c : cases) {
    ListView l(c.rows);
    GtkTreeIter it = l.Row(c.removed);
    SuplListStoreRemove(GTK_TREE_VIEW(l.view), &it);
    EXPECT_EQ(l.Count(), c.rows - 1) << c.removed << " of " << c.rows;
    EXPECT_EQ(l.Selected(), c.selected) << c.removed << " of " << c.rows;
    EXPECT_EQ(gtk_list_store_iter_is_valid(l.store, &it) ? l.Text(&it) : "<none>", c.selected);
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

// The first mapped tree view with rows inside a widget, internal children included.
GtkWidget* FindTreeView(GtkWidget* w) {
  if (GTK_IS_TREE_VIEW(w) && gtk_widget_get_mapped(w) &&
      gtk_tree_model_iter_n_children(gtk_tree_view_get_model(GTK_TREE_VIEW(w)), nullptr) > 0)
    return w;
  GtkWidget* found = nullptr;
  if (GTK_IS_CONTAINER(w))
    gtk_container_forall(
        GTK_CONTAINER(w),
        [](GtkWidget* c, gpointer p) {
          auto* f = static_cast<GtkWidget**>(p);
          if (!*f) *f = FindTreeView(c);
        },
        &found);
  return found;
}

// Accepted, the chooser gives the base names of the files chosen: every file its filter lets
// through, selected as a user would (Ctrl+A in the file list once the folder has loaded).
TEST_F(Supl, ChooseFilesReturnsBaseNames) {
  uitest::TempHome dir;
  for (const char* name : {"c.shp", "a.shp", "b.shp", "other.txt"}) uitest::TempHome::Write(dir / name, "x");
  int polls = 0;
  const guint src = g_timeout_add(30, +[](gpointer p) -> gboolean {
    GtkWidget* dialog = uitest::VisibleToplevel(GTK_TYPE_FILE_CHOOSER_DIALOG);
    if (!dialog) return G_SOURCE_CONTINUE;
    GtkWidget* list = FindTreeView(dialog);
    const int n = ++*static_cast<int*>(p);
    if ((!list || n < 5) && n < 200) return G_SOURCE_CONTINUE;  // never listed: cancelled, not hung
    if (list) gtk_tree_selection_select_all(gtk_tree_view_get_selection(GTK_TREE_VIEW(list)));
    gtk_dialog_response(GTK_DIALOG(dialog), list ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL);
    return G_SOURCE_REMOVE;
  }, &polls);
  std::vector<std::string> names = SuplChooseFiles(nullptr, dir.path().c_str(), "Shape files(*.shp)", "*.shp");
  if (g_main_context_find_source_by_id(nullptr, src)) g_source_remove(src);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.shp", "b.shp", "c.shp"}));
}

}  // namespace
