// Contour file entries and their layers are freed with their canvas items.
#include <gtest/gtest.h>

#include <memory>

#include "contours/cntrs.h"
#include "tests/ui/uitest.h"

namespace {

TEST(CntrsFile, DelFreesTheEntryAndRemovesItsGroupFromTheCanvas) {
  if (!uitest::GtkReady()) GTEST_SKIP() << "no display";
  GtkWidget* canvas = g_object_ref_sink(goo_canvas_new());
  GooCanvasItem* contours = goo_canvas_group_new(goo_canvas_get_root_item(GOO_CANVAS(canvas)), nullptr);
  auto layer = std::make_unique<Cntrs>();
  layer->group = goo_canvas_group_new(contours, nullptr);
  GooCanvasItem* line = goo_canvas_polyline_new_line(layer->group, 0, 0, 10, 10, nullptr);
  gpointer line_alive = line;
  g_object_add_weak_pointer(G_OBJECT(line), &line_alive);
  layer->polylines = g_ptr_array_new();
  g_ptr_array_add(layer->polylines, line);
  layer->lines = g_ptr_array_new_with_free_func(g_free);
  g_ptr_array_add(layer->lines, g_new0(float, 4));
  layer->labels = g_ptr_array_new_with_free_func(g_free);
  g_ptr_array_add(layer->labels, g_strdup("Rhine"));
  ASSERT_EQ(goo_canvas_item_get_n_children(contours), 1);

  auto entry = std::make_unique<CntrsFile>();
  EXPECT_EQ(entry->channel, -1);  // a contour entry has no channel
  entry->file = "rivers.shp";
  entry->cntrs = layer.release();
  GList* list = g_list_append(nullptr, entry.release());
  InfoCntrsDel(list);
  EXPECT_EQ(list->data, nullptr);
  EXPECT_EQ(goo_canvas_item_get_n_children(contours), 0);
  EXPECT_EQ(line_alive, nullptr);  // the polyline went with its group
  InfoCntrsDel(list);              // a link without an entry is left alone
  InfoCntrsDel(nullptr);
  g_list_free(list);

  // The whole-list destructor, as at exit: entries with and without a layer.
  GList* all = nullptr;
  all = g_list_append(all, std::make_unique<CntrsFile>().release());
  auto loaded = std::make_unique<CntrsFile>();
  loaded->cntrs = std::make_unique<Cntrs>().release();
  loaded->cntrs->group = goo_canvas_group_new(contours, nullptr);
  all = g_list_append(all, loaded.release());
  g_list_free_full(all, InfoCntrsFileDel);
  EXPECT_EQ(goo_canvas_item_get_n_children(contours), 0);
  CntrsDel(nullptr);
  gtk_widget_destroy(canvas);
  g_object_unref(canvas);
}

}  // namespace
