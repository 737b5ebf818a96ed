// The rows of the layer tree: the channels and composites of the configured satellite.
#include "canvas/canv.h"
#include "settings/conf.h"

namespace {

void Row(GtkTreeStore* store, GtkTreeIter* row, GtkTreeIter* parent, const char* label, int id) {
  gtk_tree_store_append(store, row, parent);
  gtk_tree_store_set(store, row, CANV_COL_LABEL, label, CANV_COL_ID, id, -1);
}

void Expand(Canv* canv, GtkTreeIter* row) {
  GtkTreePath* path = gtk_tree_model_get_path(GTK_TREE_MODEL(canv->store), row);
  gtk_tree_view_expand_to_path(GTK_TREE_VIEW(canv->tree), path);
  gtk_tree_path_free(path);
}

struct Find {
  int id;
  GtkTreePath* path;
};

gboolean Match(GtkTreeModel* model, GtkTreePath* path, GtkTreeIter* iter, gpointer data) {
  auto* f = static_cast<Find*>(data);
  int id = 0;
  gtk_tree_model_get(model, iter, CANV_COL_ID, &id, -1);
  if (id != f->id || gtk_tree_path_get_depth(path) != 2) return FALSE;
  f->path = gtk_tree_path_copy(path);
  return TRUE;
}

}  // namespace

void CanvTreeFill(Canv* canv, const Conf* conf) {
  if (!canv || !canv->store || !conf) return;
  const bool fci = conf->satellite.service == SatService::Fci;
  gtk_tree_store_clear(canv->store);
  GtkTreeIter parent, child;
  Row(canv->store, &parent, nullptr, "Channels", 0);
  if (fci)
    for (int i = 0; i < FCI_LAYER_COUNT; i++) Row(canv->store, &child, &parent, InfoFciLabel[i], FCI_LAYER_FIRST + i);
  else
    for (int id = 1; id <= CHANNEL_COUNT; id++) Row(canv->store, &child, &parent, InfoChannelLabel[id], id);
  Expand(canv, &child);

  Row(canv->store, &parent, nullptr, "Rgb", 0);
  GtkTreeIter* last = &parent;
  for (size_t i = 0; i < conf->recipes.size(); i++) {
    Row(canv->store, &child, &parent, conf->recipes[i].name.c_str(), RECIPE_FIRST_ID + int(i));
    last = &child;
  }
  // FCI's blue and green channels make what SEVIRI never could.
  if (fci) {
    Row(canv->store, &child, &parent, "True colour", FCI_TRUE_COLOUR_ID);
    last = &child;
  }
  Expand(canv, last);
}

GtkTreePath* CanvTreePathOf(int id) {
  if (!Canv_get || !Canv_get->store || id <= 0) return nullptr;
  Find f{id, nullptr};
  gtk_tree_model_foreach(GTK_TREE_MODEL(Canv_get->store), Match, &f);
  return f.path;
}
