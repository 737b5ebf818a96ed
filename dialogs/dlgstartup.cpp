// The "Startup files" page.
#include "app/app.h"
#include "dialogs/dlg.h"

GtkWidget* DlgStartupNew() { return gtk_box_new(GTK_ORIENTATION_VERTICAL, 0); }
