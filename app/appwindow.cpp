// The main window: building it, the status bar and closing it.
#include <memory>

#include "app/app.h"
#include "app/platform.h"
#include "contours/cntrsgrid.h"
#include "data/fileinfo.h"
#include "data/gholder.h"
#include "settings/confstartup.h"

App* App_get = nullptr;

namespace {

void ShowReadError(GtkWidget* window) {
  GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(window), GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_ERROR,
                                          GTK_BUTTONS_OK, "Reinstall the program! (Unable to read INI config)");
  gtk_window_set_title(GTK_WINDOW(box), "Nubicorn");
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
}

// The window may be destroyed without a running main loop (tests, early failures).
void OnDestroy(GtkWidget*, gpointer) {
  if (gtk_main_level() > 0) gtk_main_quit();
}

}  // namespace

void AppStatus(const char* text) {
  if (!App_get || !App_get->statusbar) return;
  GtkStatusbar* bar = GTK_STATUSBAR(App_get->statusbar);
  if (text)
    gtk_statusbar_push(bar, 0, text);
  else
    gtk_statusbar_remove_all(bar, 0);
}

gboolean AppCreate(App* app, Canv* canv, Conf* conf, const std::string& home) {
  App_get = app;
  PlatformResources();
  app->home = home.empty() ? PlatformHomeFolder() : home;
  // A fresh machine has no home tree yet, and every save would fail without it.
  const std::vector<std::string> missing = PlatformHomePrepare(app->home);

  GtkWidget* vbox = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget* paned = gtk_paned_new(GTK_ORIENTATION_HORIZONTAL);
  GtkWidget* toolbar = gtk_toolbar_new();
  GtkWidget* left = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget* menubar = gtk_menu_bar_new();
  GtkWidget* status_row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 5);
  gtk_toolbar_set_style(GTK_TOOLBAR(toolbar), GTK_TOOLBAR_ICONS);

  app->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(app->window), "Nubicorn");
  gtk_window_set_position(GTK_WINDOW(app->window), GTK_WIN_POS_CENTER);
  gtk_window_set_default_size(GTK_WINDOW(app->window), 1100, 600);
  app->icon.reset(gdk_pixbuf_new_from_resource(APP_RES_ICON, nullptr));
  if (app->icon) gtk_window_set_icon(GTK_WINDOW(app->window), app->icon.get());
  gtk_container_add(GTK_CONTAINER(app->window), vbox);

  app->statusbar = gtk_statusbar_new();
  app->status_label = gtk_label_new(nullptr);
  gtk_box_pack_start(GTK_BOX(status_row), app->status_label, FALSE, FALSE, 10);
  gtk_box_pack_start(GTK_BOX(status_row), app->statusbar, TRUE, TRUE, 0);
  // Position and value under the pointer; a fixed width keeps the row still as the text changes.
  canv->readout = gtk_label_new(nullptr);
  gtk_label_set_width_chars(GTK_LABEL(canv->readout), 72);
  gtk_label_set_max_width_chars(GTK_LABEL(canv->readout), 72);
  gtk_label_set_ellipsize(GTK_LABEL(canv->readout), PANGO_ELLIPSIZE_END);
  gtk_label_set_xalign(GTK_LABEL(canv->readout), 0.0f);
  gtk_box_pack_end(GTK_BOX(status_row), canv->readout, FALSE, FALSE, 6);
  gtk_box_pack_end(GTK_BOX(vbox), status_row, FALSE, FALSE, 0);

  if (!ConfRead(conf, app->home)) ShowReadError(app->window);

  AppCanvasNew(canv, toolbar, left, menubar);

  gtk_paned_pack1(GTK_PANED(paned), left, FALSE, FALSE);
  gtk_paned_pack2(GTK_PANED(paned), canv->scroll, TRUE, FALSE);
  gtk_paned_set_position(GTK_PANED(paned), 150);

  gtk_box_pack_start(GTK_BOX(vbox), menubar, FALSE, FALSE, 2);
  gtk_box_pack_start(GTK_BOX(vbox), toolbar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(vbox), paned, TRUE, TRUE, 2);

  g_signal_connect(app->window, "destroy", G_CALLBACK(OnDestroy), nullptr);
  g_signal_connect(app->window, "delete-event", G_CALLBACK(AppOnDelete), nullptr);

  gtk_widget_show_all(app->window);
  gtk_widget_hide(canv->spinner);

  for (const std::string& path : missing) {
    GStr text(g_strdup_printf("Unable to create %s", path.c_str()));
    AppStatus(text.get());
  }
  GStr config(g_path_get_dirname(conf->ini_path.c_str()));
  if (!PlatformFolderWritable(config.get())) {
    GStr text(g_strdup_printf("Settings cannot be saved: %s is not writable", config.get()));
    AppStatus(text.get());
  }
  CanvSensitive();
  ConfStartupBegin();
  return TRUE;
}

gboolean AppOnDelete(GtkWidget*, GdkEvent*, gpointer) {
  InfoFreePattern();
  Conf* conf = Conf_get;
  // The loader works on the slot list that ConfFree is about to free.
  ConfStartupStop(conf);
  CntrsGridFree();
  CanvShutdown();  // the image item goes before the layers it was made from
  ConfFree(conf);
  if (App_get) App_get->home.clear();
  return FALSE;
}
