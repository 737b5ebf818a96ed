// The "Rgb composite" page: one recipe at a time, and new recipes as copies of the shown one.
// Edits go into Conf.recipes at once, so the next composite built uses them.
#include <cstring>
#include <memory>

#include "app/app.h"
#include "data/fileinfo.h"
#include "data/gholder.h"
#include "dialogs/dlg.h"

namespace {

const char* const COLOURS[] = {"Red", "Green", "Blue"};

RgbRecipe* Current() {
  Conf* c = Conf_get;
  const gint32 i = c->recipe_index;
  return i >= 0 && size_t(i) < c->recipes.size() ? &c->recipes[size_t(i)] : nullptr;
}

void OnChannel(GtkComboBox* combo, gpointer k) {
  RgbRecipe* r = Current();
  const int active = gtk_combo_box_get_active(combo);
  // A channel number outside the list (hand-edited file) shows as no choice and stays.
  if (!r || active < 0 || r->channels[GPOINTER_TO_INT(k)] == active) return;
  r->channels[GPOINTER_TO_INT(k)] = active;
  Conf_get->unsaved |= CONF_SAVE_RGB;
}

void OnParam(GtkSpinButton* spin, gpointer kp) {
  RgbRecipe* r = Current();
  if (!r) return;
  const int k = GPOINTER_TO_INT(kp);
  const double value = gtk_spin_button_get_value(spin);
  if (r->params[k] == value) return;  // showing a recipe writes its own values back
  r->params[k] = value;
  Conf_get->unsaved |= CONF_SAVE_RGB;
  const int colour = k / 3;
  if (k % 3 != 2 && r->params[3 * colour] == r->params[3 * colour + 1]) {
    GStr text(g_strdup_printf("%s: thresh.0 equals thresh.1, so the colour is a step at that value",
                              COLOURS[colour]));
    AppStatus(text.get());
  }
}

void ShowRecipe(DlgRgb* s, const RgbRecipe& r) {
  // Copies first: each widget change writes back into the current recipe.
  const RgbRecipe shown = r;
  for (int k = 0; k < 6; k++) {
    const int ch = shown.channels[k];
    gtk_combo_box_set_active(GTK_COMBO_BOX(s->channels[k]), ch >= 0 && ch <= CHANNEL_COUNT ? ch : -1);
  }
  for (int k = 0; k < 9; k++) gtk_spin_button_set_value(GTK_SPIN_BUTTON(s->params[k]), shown.params[k]);
}

void OnPreset(GtkComboBox* combo, gpointer data) {
  auto* s = static_cast<DlgRgb*>(data);
  Conf* c = Conf_get;
  const int i = gtk_combo_box_get_active(combo);
  if (i < 0 || size_t(i) >= c->recipes.size() || i == c->recipe_index) return;
  c->recipe_index = i;
  ShowRecipe(s, c->recipes[size_t(i)]);
}

void OnAdd(GtkToolButton*, gpointer page) {
  DlgRgb* s = DlgRgbOf(GTK_WIDGET(page));
  const char* name = gtk_entry_get_text(GTK_ENTRY(gtk_bin_get_child(GTK_BIN(s->presets))));
  DlgRgbAdd(GTK_WIDGET(page), name);
}

GtkWidget* ChannelCombo() {
  GtkWidget* combo = gtk_combo_box_text_new();
  for (int ch = 0; ch <= CHANNEL_COUNT; ch++) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), InfoChannelLabel[ch]);
  return combo;
}

GtkWidget* Spin(double value, double lower, double upper, double step, double climb, guint digits) {
  GtkWidget* spin = gtk_spin_button_new(gtk_adjustment_new(value, lower, upper, step, step, 0), climb, digits);
  gtk_spin_button_set_numeric(GTK_SPIN_BUTTON(spin), TRUE);
  return spin;
}

void Pack(GtkWidget* box, const char* title, GtkWidget* child) {
  GtkWidget* frame = gtk_frame_new(title);
  gtk_container_add(GTK_CONTAINER(frame), child);
  gtk_box_pack_start(GTK_BOX(box), frame, FALSE, FALSE, 3);
}

void StateFree(gpointer p) { delete static_cast<DlgRgb*>(p); }

}  // namespace

const char* DlgRecipeNameFault(const std::vector<RgbRecipe>& recipes, const char* name) {
  if (!name || !g_utf8_validate(name, -1, nullptr)) return "The recipe name is not valid UTF-8: no recipe was added";
  if (!*name) return "Type a name for the new recipe, please";
  for (const RgbRecipe& r : recipes)
    if (r.name == name) return "A recipe of that name exists already: type another name, please";
  return nullptr;
}

gboolean DlgRgbAdd(GtkWidget* page, const char* name) {
  Conf* c = Conf_get;
  const RgbRecipe* r = Current();
  if (!r) {
    AppStatus("No recipe to copy: no recipe was added");
    return FALSE;
  }
  if (c->recipes.size() >= size_t(RECIPE_MAX)) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "dlgrgb: %s: not added, the list holds %d recipes already", name ? name : "",
          RECIPE_MAX);
    AppStatus("At most 99 recipes: no recipe was added");
    return FALSE;
  }
  if (const char* fault = DlgRecipeNameFault(c->recipes, name)) {
    AppStatus(fault);
    return FALSE;
  }
  RgbRecipe added = *r;
  added.name = name;
  c->recipes.push_back(std::move(added));
  c->unsaved |= CONF_SAVE_RGB;
  const int id = RECIPE_FIRST_ID - 1 + int(c->recipes.size());

  if (DlgRgb* s = DlgRgbOf(page)) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(s->presets), name);
  if (Canv_get && Canv_get->store) {
    GtkTreeModel* model = GTK_TREE_MODEL(Canv_get->store);
    GtkTreeIter rgb, row;
    if (gtk_tree_model_iter_nth_child(model, &rgb, nullptr, 1)) {
      gtk_tree_store_append(Canv_get->store, &row, &rgb);
      gtk_tree_store_set(Canv_get->store, &row, CANV_COL_LABEL, name, CANV_COL_ID, id, -1);
      GtkTreePath* path = gtk_tree_model_get_path(model, &row);
      gtk_tree_view_expand_to_path(GTK_TREE_VIEW(Canv_get->tree), path);
      gtk_tree_path_free(path);
    }
  }
  return TRUE;
}

DlgRgb* DlgRgbOf(GtkWidget* page) {
  return page ? static_cast<DlgRgb*>(g_object_get_data(G_OBJECT(page), "dlg-rgb")) : nullptr;
}

GtkWidget* DlgRgbNew() {
  Conf* c = Conf_get;
  if (c->recipe_index < 0 || size_t(c->recipe_index) >= c->recipes.size()) c->recipe_index = 0;
  auto* s = new DlgRgb;
  GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  g_object_set_data_full(G_OBJECT(page), "dlg-rgb", s, StateFree);

  s->presets = gtk_combo_box_text_new_with_entry();
  for (const RgbRecipe& r : c->recipes) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(s->presets), r.name.c_str());
  if (!c->recipes.empty()) gtk_combo_box_set_active(GTK_COMBO_BOX(s->presets), c->recipe_index);
  s->add = GTK_WIDGET(gtk_tool_button_new(gtk_image_new_from_icon_name("list-add", GTK_ICON_SIZE_SMALL_TOOLBAR), nullptr));
  gtk_widget_set_tooltip_text(s->add, "Add a recipe: a copy of this one under the name typed above");
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  GtkWidget* align = gtk_alignment_new(0, 0.5, 0, 0);
  G_GNUC_END_IGNORE_DEPRECATIONS
  gtk_container_add(GTK_CONTAINER(align), s->add);
  GtkWidget* top = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  Pack(top, "Presets", s->presets);
  gtk_box_pack_start(GTK_BOX(top), align, FALSE, FALSE, 3);
  gtk_box_pack_start(GTK_BOX(page), top, FALSE, FALSE, 0);

  const RgbRecipe* r = Current();
  for (int colour = 0; colour < 3; colour++) {
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    for (int j = 0; j < 2; j++) {
      const int k = 2 * colour + j;
      s->channels[k] = ChannelCombo();
      const int ch = r ? r->channels[k] : 0;
      gtk_combo_box_set_active(GTK_COMBO_BOX(s->channels[k]), ch >= 0 && ch <= CHANNEL_COUNT ? ch : -1);
      Pack(row, j == 0 ? "minue." : "subtr.", s->channels[k]);
    }
    const char* titles[] = {"thresh.0", "thresh.1", "gamma"};
    for (int j = 0; j < 3; j++) {
      const int k = 3 * colour + j;
      const double v = r ? r->params[k] : 0;
      s->params[k] = j < 2 ? Spin(v, -300, 10001, 1, 1, 0) : Spin(v, 0, 10, 0.1, 0.1, 2);
      Pack(row, titles[j], s->params[k]);
    }
    Pack(page, COLOURS[colour], row);
  }

  g_signal_connect(s->presets, "changed", G_CALLBACK(OnPreset), s);
  g_signal_connect(s->add, "clicked", G_CALLBACK(OnAdd), page);
  for (int k = 0; k < 6; k++) g_signal_connect(s->channels[k], "changed", G_CALLBACK(OnChannel), GINT_TO_POINTER(k));
  for (int k = 0; k < 9; k++) g_signal_connect(s->params[k], "value-changed", G_CALLBACK(OnParam), GINT_TO_POINTER(k));
  return page;
}
