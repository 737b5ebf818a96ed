// The "Settings" dialog frame: notebook, Save and Clear.
#include "app/app.h"
#include "dialogs/dlg.h"

int DlgMessage(GtkMessageType type, GtkButtonsType buttons, const char* text) {
  GtkWindow* parent = App_get && App_get->window ? GTK_WINDOW(App_get->window) : nullptr;
  GtkWidget* box = gtk_message_dialog_new(parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), type, buttons,
                                          "%s", text);
  gtk_window_set_title(GTK_WINDOW(box), "Nubicorn");
  const int response = gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  return response;
}

GtkWidget* DlgSettingsNew() {
  GtkWindow* parent = App_get && App_get->window ? GTK_WINDOW(App_get->window) : nullptr;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  GtkWidget* dialog = gtk_dialog_new_with_buttons("Settings", parent, GTK_DIALOG_MODAL, GTK_STOCK_CLOSE,
                                                  GTK_RESPONSE_CLOSE, GTK_STOCK_SAVE, GTK_RESPONSE_APPLY,
                                                  GTK_STOCK_CLEAR, GTK_RESPONSE_HELP, nullptr);
  G_GNUC_END_IGNORE_DEPRECATIONS
  if (App_get && App_get->icon) gtk_window_set_icon(GTK_WINDOW(dialog), App_get->icon.get());
  gtk_container_set_border_width(GTK_CONTAINER(dialog), 20);
  gtk_widget_set_size_request(dialog, 600, 400);

  GtkWidget* notebook = gtk_notebook_new();
  gtk_notebook_set_tab_pos(GTK_NOTEBOOK(notebook), GTK_POS_TOP);
  const struct {
    const char* title;
    GtkWidget* (*build)();
  } pages[] = {{"Startup files", DlgStartupNew}, {"Interface", DlgInterfaceNew}, {"Rgb composite", DlgRgbNew}};
  for (const auto& p : pages) gtk_notebook_append_page(GTK_NOTEBOOK(notebook), p.build(), gtk_label_new(p.title));
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), notebook, TRUE, TRUE, 0);
  g_object_set_data(G_OBJECT(dialog), "dlg-notebook", notebook);
  gtk_widget_show_all(dialog);
  return dialog;
}

GtkNotebook* DlgSettingsNotebook(GtkWidget* dialog) {
  return GTK_NOTEBOOK(g_object_get_data(G_OBJECT(dialog), "dlg-notebook"));
}

gboolean DlgSettingsRespond(GtkWidget* dialog, int response) {
  if (response != GTK_RESPONSE_APPLY && response != GTK_RESPONSE_HELP) return FALSE;
  const int page = gtk_notebook_get_current_page(DlgSettingsNotebook(dialog));
  if (page < 0) return FALSE;
  if (response == GTK_RESPONSE_APPLY) {
    CanvGuard guard;  // the start-up loader may be changing the slot list being written
    if (!guard.ok()) return TRUE;
    if (ConfWrite(page + 1)) {
      if (page == 2) DlgMessage(GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "Restart the program, please");
      AppStatus("Save operation succeeded");
    } else {
      AppStatus("Operation failed");
    }
    return TRUE;
  }
  if (DlgMessage(GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, "Clear ALL the settings? Are you SURE?") ==
      GTK_RESPONSE_YES)
    DlgMessage(GTK_MESSAGE_INFO, GTK_BUTTONS_OK, ConfReset() ? "Restart program, please" : "Operation failed");
  return TRUE;
}

void DlgSettings(GtkWidget*, gpointer) {
  GtkWidget* dialog = DlgSettingsNew();
  while (DlgSettingsRespond(dialog, gtk_dialog_run(GTK_DIALOG(dialog)))) {
  }
  gtk_widget_destroy(dialog);
}
