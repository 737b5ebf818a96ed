// Interface utilities shared by the window builder and the dialogs.
#pragma once

#include <gtk/gtk.h>
#include <pango/pangocairo.h>

#include <string>
#include <vector>

// New tool button (not yet in a toolbar) with an icon: an icon name when is_resource is 0,
// otherwise a GResource path of a picture. handler (may be NULL: left unconnected) goes to
// "clicked" without user data; tooltip may be NULL.
GtkWidget* SuplAddButtonOpt(const char* icon, int is_resource, GCallback handler, const char* tooltip);
// Wraps widget in a new tool item appended to toolbar. A non-zero scale puts the widget in an
// alignment (x align 0, y align 0, x scale 0, y scale = scale). The tooltip goes on the widget.
GtkWidget* SuplAddToolItem(GtkWidget* toolbar, GtkWidget* widget, float scale, const char* tooltip, gboolean expand);
// The file chooser SuplChooseFiles runs: modal, multiple selection, starting in folder,
// one filter (display name, glob pattern). Caller destroys it.
GtkWidget* SuplChooseFilesDialog(GtkWindow* parent, const char* folder, const char* filter_name, const char* pattern);
// Runs a dialog made by SuplChooseFilesDialog and destroys it: the chosen files' base names in
// the dialog's order, none on cancel.
std::vector<std::string> SuplChooseFilesRun(GtkWidget* dialog);
// Both in one: the base names of the chosen files, empty when cancelled.
std::vector<std::string> SuplChooseFiles(GtkWindow* parent, const char* folder, const char* filter_name,
                                         const char* pattern);
// Draws text with its top-left corner at (x, y), unantialiased, in the colour (r, g, b).
void SuplPangoCairoText(cairo_t* cr, const PangoFontDescription* font, double x, double y, const char* text,
                        guint8 r, guint8 g, guint8 b);
// Removes the row at iter of the view's list store and selects its successor, or its
// predecessor when it was the last; iter then points to the selected row (invalid when empty).
void SuplListStoreRemove(GtkTreeView* view, GtkTreeIter* iter);
