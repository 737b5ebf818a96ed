// The About box.
#include "app/app.h"

void AppAbout(GtkWidget*, gpointer) {
  GtkWindow* parent = App_get ? GTK_WINDOW(App_get->window) : nullptr;
  GtkWidget* box = gtk_message_dialog_new(parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), GTK_MESSAGE_INFO,
                                          GTK_BUTTONS_OK, nullptr);
  gtk_message_dialog_set_markup(GTK_MESSAGE_DIALOG(box),
                                "<span foreground='blue' face='Segoe Print' size='x-large'>Nubicorn</span>"
                                "<small> version " NUBICORN_VERSION "</small>\n"
                                "Viewer of Meteosat SEVIRI images, by the Nubicorn developers");
  gtk_window_set_title(GTK_WINDOW(box), "Nubicorn");
  if (App_get && App_get->icon) gtk_window_set_icon(GTK_WINDOW(box), App_get->icon.get());
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
}
