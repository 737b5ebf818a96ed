// Interface utilities: toolbar helpers, the file chooser, text drawing, list-row removal.
#include "app/suplgtk.h"

#include <memory>

GtkWidget* SuplAddButtonOpt(const char* icon, int is_resource, GCallback handler, const char* tooltip) {
  GtkToolItem* button = gtk_tool_button_new(nullptr, nullptr);
  GtkWidget* image = nullptr;
  if (!is_resource) {
    image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_BUTTON);
  } else {
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_resource(icon, nullptr);
    image = pixbuf ? gtk_image_new_from_pixbuf(pixbuf) : gtk_image_new();
    if (pixbuf) g_object_unref(pixbuf);
  }
  gtk_tool_button_set_icon_widget(GTK_TOOL_BUTTON(button), image);
  if (tooltip) gtk_widget_set_tooltip_text(GTK_WIDGET(button), tooltip);
  if (handler) g_signal_connect(button, "clicked", handler, nullptr);
  return GTK_WIDGET(button);
}

GtkWidget* SuplAddToolItem(GtkWidget* toolbar, GtkWidget* widget, float scale, const char* tooltip, gboolean expand) {
  GtkToolItem* item = gtk_tool_item_new();
  if (tooltip) gtk_widget_set_tooltip_text(widget, tooltip);
  if (scale != 0) {
    // GtkAlignment is the one container that stretches its child by a factor.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* align = gtk_alignment_new(0, 0, 0, scale);
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_container_add(GTK_CONTAINER(align), widget);
    gtk_container_add(GTK_CONTAINER(item), align);
  } else {
    gtk_container_add(GTK_CONTAINER(item), widget);
  }
  gtk_toolbar_insert(GTK_TOOLBAR(toolbar), item, -1);
  gtk_tool_item_set_expand(item, expand);
  return GTK_WIDGET(item);
}

GtkWidget* SuplChooseFilesDialog(GtkWindow* parent, const char* folder, const char* filter_name, const char* pattern) {
  GtkWidget* dialog = gtk_file_chooser_dialog_new("Open", parent, GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                                  GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_select_multiple(chooser, TRUE);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  GtkFileFilter* filter = gtk_file_filter_new();
  gtk_file_filter_set_name(filter, filter_name);
  gtk_file_filter_add_pattern(filter, pattern);
  gtk_file_chooser_add_filter(chooser, filter);
  gtk_file_chooser_set_filter(chooser, filter);
  if (folder && g_file_test(folder, G_FILE_TEST_IS_DIR)) gtk_file_chooser_set_current_folder(chooser, folder);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  return dialog;
}

std::vector<std::string> SuplChooseFilesRun(GtkWidget* dialog) {
  std::vector<std::string> names;
  if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    GSList* files = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(dialog));
    for (GSList* l = files; l; l = l->next) {
      gchar* utf8 = g_filename_to_utf8(static_cast<const gchar*>(l->data), -1, nullptr, nullptr, nullptr);
      if (utf8) {
        gchar* base = g_path_get_basename(utf8);
        names.emplace_back(base);
        g_free(base);
        g_free(utf8);
      }
    }
    g_slist_free_full(files, g_free);
  }
  gtk_widget_destroy(dialog);
  return names;
}

std::vector<std::string> SuplChooseFiles(GtkWindow* parent, const char* folder, const char* filter_name,
                                         const char* pattern) {
  return SuplChooseFilesRun(SuplChooseFilesDialog(parent, folder, filter_name, pattern));
}

void SuplPangoCairoText(cairo_t* cr, const PangoFontDescription* font, double x, double y, const char* text,
                        guint8 r, guint8 g, guint8 b) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  g_return_if_fail(layout);
  cairo_save(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  // Pango takes text antialiasing from the font options, not from the context.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
  pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
  cairo_font_options_destroy(options);
  pango_layout_context_changed(layout);
  pango_layout_set_font_description(layout, font);
  pango_layout_set_text(layout, text, -1);
  cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
  g_object_unref(layout);
}

void SuplListStoreRemove(GtkTreeView* view, GtkTreeIter* iter) {
  GtkTreeModel* model = gtk_tree_view_get_model(view);
  GtkTreePath* path = gtk_tree_model_get_path(model, iter);
  g_return_if_fail(path);
  // gtk_list_store_remove moves iter to the next row, or invalidates it after the last.
  if (!gtk_list_store_remove(GTK_LIST_STORE(model), iter)) gtk_tree_path_prev(path);
  if (gtk_tree_model_get_iter(model, iter, path)) {
    gtk_tree_selection_select_iter(gtk_tree_view_get_selection(view), iter);
  } else {
    iter->stamp = 0;
  }
  gtk_tree_path_free(path);
}
