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
  GtkWidget* places = nullptr;  // entry completing from Conf.places; NULL without places.csv
  GtkWidget* east = nullptr;
  GtkWidget* north = nullptr;
  GtkWidget* x_label = nullptr;
  GtkWidget* y_label = nullptr;
  GtkWidget* width = nullptr;
  GtkWidget* height = nullptr;
  GtkWidget* view_labels[3] = {};  // zoom, horizontal and vertical scroll
  GtkWidget* satellite = nullptr;  // combo box, ids the SatText of each choice
  GtkWidget* max_slots = nullptr;  // slots the working-directory monitor keeps
  bool restoring = false;          // the page is putting a refused value back
};

// The Rgb composite page's widgets, owned by the page's top widget.
struct DlgRgb {
  GtkWidget* presets = nullptr;  // combo box with an entry
  GtkWidget* add = nullptr;
  GtkWidget* channels[6] = {};  // minuend and subtrahend of red, green, blue
  GtkWidget* params[9] = {};    // thresh.0, thresh.1, gamma of red, green, blue
};

// The Startup files page's two tables, owned by the page's top widget.
struct DlgStartup {
  GtkWidget* images = nullptr;    // tree view: channel text, slot text, Layer*
  GtkWidget* contours = nullptr;  // tree view: file, colour, CntrsFile*, field
};

// Opens the modal dialog and runs it until it is closed ("Preferences", toolbar "Settings").
void DlgSettings(GtkWidget* widget, gpointer data);
// Builds the dialog with its pages and buttons, transient for the main window; not yet run.
GtkWidget* DlgSettingsNew();
// The notebook of a dialog made by DlgSettingsNew.
GtkNotebook* DlgSettingsNotebook(GtkWidget* dialog);
// Acts on one response of the running dialog; FALSE when the dialog is to close. Save takes
// what is typed but not yet taken on every page and writes the shown page's group together with
// every group edited since its last save (Conf.unsaved); a page value that cannot be taken
// stops the whole save with a message naming the page and the field. Closing with edits not
// yet saved says so on the status bar; the edits stay in memory for the run.
gboolean DlgSettingsRespond(GtkWidget* dialog, int response);

// The page builders; each returns the page's top widget, a vertical box.
GtkWidget* DlgStartupNew();
GtkWidget* DlgInterfaceNew();
GtkWidget* DlgRgbNew();
// The Interface page's place chooser: an entry completing from places (Place*, kept alive by
// the caller), its list filled in one pass. Choosing a place from the list, or Enter on its
// exact name (case aside), calls choose(index in places, data); an unknown name says so.
GtkWidget* DlgPlaceEntry(GPtrArray* places, void (*choose)(gint index, gpointer data), gpointer data);
// The viewing aids row of the Interface page: animation step (s), video frames per second and
// the latitude/longitude grid; each edits Conf at once (the grid shows or goes at once).
GtkWidget* DlgAidsNew();
// The state of a page made by DlgInterfaceNew / DlgRgbNew (NULL for any other widget).
DlgInterface* DlgInterfaceOf(GtkWidget* page);
DlgRgb* DlgRgbOf(GtkWidget* page);
DlgStartup* DlgStartupOf(GtkWidget* page);

// Opens the chosen segment files (base names in import/SEVIRI_data) in the running program
// with a row each; names that do not parse, are open already or do not load are skipped with a
// warning. Then refreshes the time-slot scale, the canvas and the toolbar (also for none).
void DlgStartupAddImages(GtkTreeView* view, const std::vector<std::string>& names);
// Closes the selected image row's layer (off the canvas first when shown) and removes the row;
// "Select a file, please" without a selection, "Operation failed" when its layer is gone.
void DlgStartupDeleteImage(GtkTreeView* view);
// Loads the chosen shapefiles (base names in import/Shp, extension shp/Shp/SHP) onto the canvas
// and into Conf.contours, a row each; refused ones are freed with a warning.
void DlgStartupAddContours(GtkTreeView* view, const std::vector<std::string>& names);
// Removes the selected contour row, its entry and its canvas layer; messages as for images.
void DlgStartupDeleteContour(GtkTreeView* view);
// Edited cells of the contour table at path: a colour name of SuplColors recolours the layer
// at once; a field name is kept for the next start. FALSE, nothing changed, when refused.
gboolean DlgStartupSetColor(GtkListStore* store, const char* path, const char* text);
gboolean DlgStartupSetField(GtkListStore* store, const char* path, const char* text);

// Why a typed name cannot be a new recipe: NULL when it can, else the message to show.
const char* DlgRecipeNameFault(const std::vector<RgbRecipe>& recipes, const char* name);
// Appends a copy of the current recipe under name, with its row under "Rgb" in the layer tree
// and in the page's preset list (page may be NULL). FALSE, with a status message and nothing
// changed, when the name is refused or the list is full.
gboolean DlgRgbAdd(GtkWidget* page, const char* name);

// Shows a modal message box titled "Nubicorn" over the main window; the response.
int DlgMessage(GtkMessageType type, GtkButtonsType buttons, const char* text);
