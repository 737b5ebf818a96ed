// The "Settings" dialog: a notebook of the "Startup files", "Interface" and "Rgb composite"
// pages, each saved on its own.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "data/rgbrecipe.h"

// The Interface page's widgets and centre, owned by the page's top widget.
struct DlgInterface {
  double lat = 0, lon = 0;  // the centre in degrees
  GtkWidget* color = nullptr;
  GtkWidget* range = nullptr;
  GtkWidget* font = nullptr;
  GtkWidget* charset = nullptr;
  GtkWidget* field = nullptr;
  GtkWidget* places = nullptr;  // NULL without places.csv
  GtkWidget* east = nullptr;
  GtkWidget* north = nullptr;
  GtkWidget* x_label = nullptr;
  GtkWidget* y_label = nullptr;
  GtkWidget* width = nullptr;
  GtkWidget* height = nullptr;
  GtkWidget* view_labels[3] = {};  // zoom, horizontal and vertical scroll
  bool restoring = false;          // the page is putting a refused value back
};

// The Rgb composite page's widgets, owned by the page's top widget.
struct DlgRgb {
  GtkWidget* presets = nullptr;  // combo box with an entry
  GtkWidget* add = nullptr;
  GtkWidget* channels[6] = {};  // minuend and subtrahend of red, green, blue
  GtkWidget* params[9] = {};    // thresh.0, thresh.1, gamma of red, green, blue
};

// Opens the modal dialog and runs it until it is closed ("Preferences", toolbar "Settings").
void DlgSettings(GtkWidget* widget, gpointer data);
// Builds the dialog with its pages and buttons, transient for the main window; not yet run.
GtkWidget* DlgSettingsNew();
// The notebook of a dialog made by DlgSettingsNew.
GtkNotebook* DlgSettingsNotebook(GtkWidget* dialog);
// Acts on one response of the running dialog (save, clear); FALSE when the dialog is to close.
gboolean DlgSettingsRespond(GtkWidget* dialog, int response);

// The page builders; each returns the page's top widget, a vertical box.
GtkWidget* DlgStartupNew();
GtkWidget* DlgInterfaceNew();
GtkWidget* DlgRgbNew();
// The state of a page made by DlgInterfaceNew / DlgRgbNew (NULL for any other widget).
DlgInterface* DlgInterfaceOf(GtkWidget* page);
DlgRgb* DlgRgbOf(GtkWidget* page);

// Why a typed name cannot be a new recipe: NULL when it can, else the message to show.
const char* DlgRecipeNameFault(const std::vector<RgbRecipe>& recipes, const char* name);
// Appends a copy of the current recipe under name, with its row under "Rgb" in the layer tree
// and in the page's preset list (page may be NULL). FALSE, with a status message and nothing
// changed, when the name is refused or the list is full.
gboolean DlgRgbAdd(GtkWidget* page, const char* name);

// Shows a modal message box titled "Nubicorn" over the main window; the response.
int DlgMessage(GtkMessageType type, GtkButtonsType buttons, const char* text);
