// Helpers of the interface tests: a throw-away home folder, file access, GTK start-up.
#pragma once

#include <glib.h>
#include <gtk/gtk.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tests/support/msgbox.h"

namespace uitest {

// A fresh folder under the build tree, removed with everything in it at the end.
class TempHome {
 public:
  TempHome() {
    std::string base = std::string(NUBICORN_BINARY_DIR) + "/test-homes";
    std::filesystem::create_directories(base);
    std::string tmpl = base + "/home-XXXXXX";
    path_ = g_mkdtemp(tmpl.data()) ? tmpl : std::string();
  }
  ~TempHome() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }
  std::string ini() const { return path_ + "/config/nubicorn.ini"; }
  std::string setup() const { return path_ + "/config/setup/nubicorn.ini"; }

  // Writes the settings file (and makes its folders).
  void WriteIni(const std::string& text) const { Write(ini(), text); }
  void WriteSetup(const std::string& text) const { Write(setup(), text); }

  static void Write(const std::string& file, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline bool Exists(const std::string& file) { return std::filesystem::exists(file); }

// Every file below root with its content: a fingerprint to prove that nothing was written.
inline std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    auto t = std::filesystem::last_write_time(e.path()).time_since_epoch().count();
    out[e.path().string()] = (e.is_regular_file() ? ReadFile(e.path().string()) : std::string("<dir>")) + "@" +
                             std::to_string(t);
  }
  return out;
}

// GTK for the window tests; FALSE when there is no display (the test then skips).
inline bool GtkReady() {
  // Dialogs store their state through GSettings; keep it in memory, off the tester's desktop.
  g_setenv("GSETTINGS_BACKEND", "memory", FALSE);
  static const bool ok = gtk_init_check(nullptr, nullptr);
  return ok;
}

// Runs pending main-loop work, as the window would between user actions.
inline void Drain() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

// The last visible top-level window of `type` (e.g. GTK_TYPE_MESSAGE_DIALOG), or NULL.
inline GtkWidget* VisibleToplevel(GType type) {
  GList* tops = gtk_window_list_toplevels();
  GtkWidget* found = nullptr;
  for (GList* l = tops; l; l = l->next)
    if (G_TYPE_CHECK_INSTANCE_TYPE(l->data, type) && gtk_widget_get_visible(GTK_WIDGET(l->data)))
      found = GTK_WIDGET(l->data);
  g_list_free(tops);
  return found;
}

// The text a status bar shows now.
inline std::string StatusbarText(GtkWidget* statusbar) {
  GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_statusbar_get_message_area(GTK_STATUSBAR(statusbar))));
  std::string out = "<no label>";
  for (GList* l = children; l; l = l->next)
    if (GTK_IS_LABEL(l->data)) out = gtk_label_get_text(GTK_LABEL(l->data));
  g_list_free(children);
  return out;
}

// The item labelled `label` in the menus of the menu bar of `window`, or NULL.
inline GtkWidget* MenuItem(GtkWidget* window, const std::string& label) {
  GtkWidget* found = nullptr;
  GList* rows = gtk_container_get_children(GTK_CONTAINER(gtk_bin_get_child(GTK_BIN(window))));
  for (GList* r = rows; r; r = r->next) {
    if (!GTK_IS_MENU_BAR(r->data)) continue;
    GList* tops = gtk_container_get_children(GTK_CONTAINER(r->data));
    for (GList* t = tops; t; t = t->next) {
      GList* items = gtk_container_get_children(GTK_CONTAINER(gtk_menu_item_get_submenu(GTK_MENU_ITEM(t->data))));
      for (GList* i = items; i; i = i->next) {
        const char* l = GTK_IS_SEPARATOR_MENU_ITEM(i->data) ? nullptr : gtk_menu_item_get_label(GTK_MENU_ITEM(i->data));
        if (l && label == l) found = GTK_WIDGET(i->data);
      }
      g_list_free(items);
    }
    g_list_free(tops);
  }
  g_list_free(rows);
  return found;
}

}  // namespace uitest
