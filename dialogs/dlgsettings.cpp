// The "Settings" dialog frame: notebook, Save and Clear.
#include <cmath>
#include <string>
#include <vector>

#include "app/app.h"
#include "dialogs/dlg.h"
#include "settings/confrules.h"

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

namespace {

constexpr const char* PAGE_TITLES[] = {"Startup files", "Interface", "Rgb composite"};
constexpr guint PAGE_GROUPS[] = {CONF_SAVE_STARTUP, CONF_SAVE_INTERFACE, CONF_SAVE_RGB};

// The page titles of a set of groups, in page order: "Interface, Rgb composite".
std::string Titles(guint groups) {
  std::string out;
  for (int p = 0; p < 3; p++)
    if (groups & PAGE_GROUPS[p]) out += (out.empty() ? "" : ", ") + std::string(PAGE_TITLES[p]);
  return out;
}

// The frame titles around widget up to the page, outermost first: "Red / thresh.1".
std::string FieldName(GtkWidget* widget, GtkWidget* page) {
  std::string out;
  for (GtkWidget* w = gtk_widget_get_parent(widget); w && w != page; w = gtk_widget_get_parent(w))
    if (GTK_IS_FRAME(w) && gtk_frame_get_label(GTK_FRAME(w)))
      out = gtk_frame_get_label(GTK_FRAME(w)) + (out.empty() ? "" : " / " + out);
  return out;
}

void SpinButtons(GtkWidget* w, std::vector<GtkSpinButton*>* out) {
  if (GTK_IS_SPIN_BUTTON(w)) out->push_back(GTK_SPIN_BUTTON(w));
  if (GTK_IS_CONTAINER(w)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(w));
    for (GList* l = children; l; l = l->next) SpinButtons(GTK_WIDGET(l->data), out);
    g_list_free(children);
  }
}

// Takes what is typed but not yet taken on page p (a spin button's text, the field name), as
// leaving the field would. The first value that is not taken as typed: its message, else empty.
std::string TakeTyped(GtkWidget* page, int p) {
  std::vector<GtkSpinButton*> spins;
  SpinButtons(page, &spins);
  for (GtkSpinButton* spin : spins) {
    const std::string text = gtk_entry_get_text(GTK_ENTRY(spin));
    char* end = nullptr;
    const double typed = g_strtod(text.c_str(), &end);
    if (end == text.c_str()) continue;  // nothing numeric typed: the shown value stands
    const double tolerance = 0.5 * std::pow(10.0, -int(gtk_spin_button_get_digits(spin)));
    if (std::fabs(typed - gtk_spin_button_get_value(spin)) <= tolerance) continue;
    gtk_spin_button_update(spin);
    if (std::fabs(typed - gtk_spin_button_get_value(spin)) <= tolerance) continue;
    double lower = 0, upper = 0;
    gtk_spin_button_get_range(spin, &lower, &upper);
    const std::string why = typed < lower || typed > upper
                                ? "outside " + std::to_string(int(lower)) + " to " + std::to_string(int(upper))
                                : "refused (the window must stay on the disk and inside the strip)";
    return std::string(PAGE_TITLES[p]) + ", " + FieldName(GTK_WIDGET(spin), page) + ": " + text + " is " + why;
  }
  if (DlgInterface* s = DlgInterfaceOf(page); s && s->field) {
    const char* text = gtk_entry_get_text(GTK_ENTRY(s->field));
    if (Conf_get->field_name != text) {
      if (!ConfFieldValid(text))
        return std::string(PAGE_TITLES[p]) + ", " + FieldName(s->field, page) + ": \"" + text +
               "\" is no field name (1 to 10 characters of one byte each)";
      g_signal_emit_by_name(s->field, "activate");
    }
  }
  return {};
}

}  // namespace

gboolean DlgSettingsRespond(GtkWidget* dialog, int response) {
  Conf* conf = Conf_get;
  if (response != GTK_RESPONSE_APPLY && response != GTK_RESPONSE_HELP) {
    // Closing keeps the edits for this run; the user learns they are not in the file yet.
    if (conf && conf->unsaved) {
      const std::string text = "Settings not saved yet (" + Titles(conf->unsaved) + "): Save writes them";
      AppStatus(text.c_str());
    }
    return FALSE;
  }
  GtkNotebook* notebook = DlgSettingsNotebook(dialog);
  const int page = gtk_notebook_get_current_page(notebook);
  if (page < 0) return FALSE;
  if (response == GTK_RESPONSE_APPLY) {
    CanvGuard guard;  // the start-up loader may be changing the slot list being written
    if (!guard.ok()) return TRUE;
    // Save writes every page with edits, not only the one shown; one page that holds a value
    // it cannot take stops the whole save, so no half of the user's edits is written.
    for (int p = 0; p < 3; p++) {
      const std::string fault = TakeTyped(gtk_notebook_get_nth_page(notebook, p), p);
      if (fault.empty()) continue;
      const std::string text = "Nothing saved: " + fault + ".";
      DlgMessage(GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, text.c_str());
      AppStatus(text.c_str());
      return TRUE;
    }
    const guint groups = PAGE_GROUPS[page] | conf->unsaved;
    if (ConfWriteGroups(groups)) {
      if (groups & CONF_SAVE_RGB) DlgMessage(GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "Restart the program, please");
      const std::string text = groups == PAGE_GROUPS[page] ? std::string("Save operation succeeded")
                                                           : "Save operation succeeded: " + Titles(groups);
      AppStatus(text.c_str());
    } else {
      AppStatus("Operation failed");
    }
    return TRUE;
  }
  if (DlgMessage(GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, "Clear ALL the settings? Are you SURE?") !=
      GTK_RESPONSE_YES)
    return TRUE;
  const bool reset = ConfReset();
  // The file now holds the defaults the user asked for: edits made before are not written over
  // them by a later Save of another page.
  if (reset) conf->unsaved = 0;
  DlgMessage(GTK_MESSAGE_INFO, GTK_BUTTONS_OK, reset ? "Restart program, please" : "Operation failed");
  return TRUE;
}

void DlgSettings(GtkWidget*, gpointer) {
  GtkWidget* dialog = DlgSettingsNew();
  while (DlgSettingsRespond(dialog, gtk_dialog_run(GTK_DIALOG(dialog)))) {
  }
  gtk_widget_destroy(dialog);
}
