// The place chooser of the Interface page: an entry that completes from every place of
// places.csv. The list model is filled in one pass before anything shows it, so a long file
// costs one linear pass rather than one widget per place (a combo box filled one name at a
// time grows with the square of the count and freezes the window).
#include <cstring>
#include <memory>

#include "app/app.h"
#include "data/gholder.h"
#include "dialogs/dlg.h"
#include "dialogs/places.h"

namespace {

enum { PLACE_NAME, PLACE_INDEX, PLACE_KEY };

struct Chooser {
  GPtrArray* places;  // Conf.places, kept for the run
  void (*choose)(gint index, gpointer data);
  gpointer data;
};

// A place matches when the typed text (normalised and case-folded by GTK) occurs in its name,
// folded the same way once when the list was built.
gboolean PlaceMatch(GtkEntryCompletion* completion, const gchar* key, GtkTreeIter* it, gpointer) {
  gchar* folded = nullptr;
  gtk_tree_model_get(gtk_entry_completion_get_model(completion), it, PLACE_KEY, &folded, -1);
  const bool match = folded && std::strstr(folded, key);
  g_free(folded);
  return match;
}

gboolean OnMatch(GtkEntryCompletion*, GtkTreeModel* model, GtkTreeIter* it, gpointer data) {
  const auto* c = static_cast<const Chooser*>(data);
  gint i = -1;
  gtk_tree_model_get(model, it, PLACE_INDEX, &i, -1);
  c->choose(i, c->data);
  return FALSE;  // the entry shows the chosen name
}

// Enter: the first place of exactly the typed name (case aside).
void OnEnter(GtkEntry* entry, gpointer data) {
  const auto* c = static_cast<const Chooser*>(data);
  GStr typed(g_utf8_casefold(gtk_entry_get_text(entry), -1));
  for (guint i = 0; i < c->places->len; i++) {
    GStr name(g_utf8_casefold(static_cast<const Place*>(g_ptr_array_index(c->places, i))->name.c_str(), -1));
    if (std::strcmp(name.get(), typed.get()) == 0) {
      c->choose(gint(i), c->data);
      return;
    }
  }
  AppStatus("No place of that name in \"places.csv\": type a few letters and choose one from the list");
}

}  // namespace

GtkWidget* DlgPlaceEntry(GPtrArray* places, void (*choose)(gint index, gpointer data), gpointer data) {
  GtkListStore* store = gtk_list_store_new(3, G_TYPE_STRING, G_TYPE_INT, G_TYPE_STRING);
  for (guint i = 0; i < places->len; i++) {
    const std::string& name = static_cast<const Place*>(g_ptr_array_index(places, i))->name;
    GStr normal(g_utf8_normalize(name.c_str(), -1, G_NORMALIZE_ALL));
    GStr key(g_utf8_casefold(normal ? normal.get() : name.c_str(), -1));
    gtk_list_store_insert_with_values(store, nullptr, -1, PLACE_NAME, name.c_str(), PLACE_INDEX, gint(i), PLACE_KEY,
                                      key.get(), -1);
  }
  GtkWidget* entry = gtk_entry_new();
  auto* chooser = new Chooser{places, choose, data};
  g_object_set_data_full(G_OBJECT(entry), "dlg-place-chooser", chooser,
                         [](gpointer p) { delete static_cast<Chooser*>(p); });

  GtkEntryCompletion* completion = gtk_entry_completion_new();
  gtk_entry_completion_set_model(completion, GTK_TREE_MODEL(store));
  g_object_unref(store);
  gtk_entry_completion_set_text_column(completion, PLACE_NAME);
  gtk_entry_completion_set_match_func(completion, PlaceMatch, nullptr, nullptr);
  gtk_entry_completion_set_minimum_key_length(completion, 1);
  gtk_entry_completion_set_popup_set_width(completion, FALSE);
  g_signal_connect(completion, "match-selected", G_CALLBACK(OnMatch), chooser);
  gtk_entry_set_completion(GTK_ENTRY(entry), completion);
  g_object_unref(completion);

  GStr hint(g_strdup_printf("%u places: type a name", places->len));
  gtk_entry_set_placeholder_text(GTK_ENTRY(entry), hint.get());
  gtk_widget_set_size_request(entry, 150, -1);
  g_signal_connect(entry, "activate", G_CALLBACK(OnEnter), chooser);
  return entry;
}
