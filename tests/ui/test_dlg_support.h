// The Settings dialog tests: a real main window on a throw-away home, message boxes answered
// by a timer, the status bar text and the settings file as written.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/app.h"
#include "dialogs/dlg.h"
#include "tests/support/cycles.h"
#include "tests/ui/test_canvas_support.h"
#include "tools/synth.h"

namespace dlgtest {

namespace fs = std::filesystem;
using testcycles::Name;

// The text of the status bar now.
inline std::string StatusText() {
  return App_get && App_get->statusbar ? uitest::StatusbarText(App_get->statusbar) : std::string();
}

// Answers every message box with `response`, keeping what the status bar showed at that moment.
struct Answer : uitest::Answerer {
  std::string status_then;
  explicit Answer(int r = GTK_RESPONSE_OK)
      : uitest::Answerer(r, [this](const uitest::DialogSeen&) { status_then = StatusText(); }) {}
};

// Ends the test program when the guarded scope has not finished after `seconds`: a step that
// blocks (a FIFO opened for reading) fails the run instead of hanging it.
struct Watchdog {
  explicit Watchdog(unsigned seconds) {
    std::signal(SIGALRM, +[](int) {
      const char text[] = "FAILED: a guarded step blocked\n";
      (void)!write(2, text, sizeof text - 1);
      std::_Exit(3);
    });
    alarm(seconds);
  }
  ~Watchdog() { alarm(0); }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
};

// The settings file as written, read back into its own key file.
struct Stored {
  GKeyFile* kf = g_key_file_new();
  bool loaded = false;
  explicit Stored(const std::string& path) {
    loaded = g_key_file_load_from_file(kf, path.c_str(), G_KEY_FILE_NONE, nullptr);
  }
  ~Stored() { g_key_file_free(kf); }
  Stored(const Stored&) = delete;
  Stored& operator=(const Stored&) = delete;
  bool Has(const char* group, const char* key) const { return g_key_file_has_key(kf, group, key, nullptr); }
  int Int(const char* key, const char* group = "Interface") const {
    return g_key_file_get_integer(kf, group, key, nullptr);
  }
  std::string Str(const char* key, const char* group = "Interface") const {
    gchar* s = g_key_file_get_string(kf, group, key, nullptr);
    std::string out = s ? s : "<none>";
    g_free(s);
    return out;
  }
  std::vector<std::string> Keys(const char* group) const {
    gsize n = 0;
    gchar** keys = g_key_file_get_keys(kf, group, &n, nullptr);
    std::vector<std::string> out(keys, keys + n);
    g_strfreev(keys);
    return out;
  }
  // The group as text, to compare a group before and after a save.
  std::string Group(const char* group) const {
    std::string out;
    for (const std::string& k : Keys(group)) out += k + "=" + Str(k.c_str(), group) + "\n";
    return out;
  }
};

class Dialog : public canvtest::CanvasTest {
 protected:
  void TearDown() override {
    CloseDialog();
    CanvasTest::TearDown();
  }
  // The main window on the home folder, the settings file written first when given.
  void Start(const std::string& ini = {}) { Build(ini); }
  // The dialog with the notebook on page p.
  GtkWidget* Open(int p = 1) {
    CloseDialog();
    dialog = DlgSettingsNew();
    Show(p);
    return dialog;
  }
  void Show(int p) {
    gtk_notebook_set_current_page(DlgSettingsNotebook(dialog), p);
    uitest::Drain();
  }
  GtkWidget* Page(int p) { return gtk_notebook_get_nth_page(DlgSettingsNotebook(dialog), p); }
  DlgInterface* Interface() { return DlgInterfaceOf(Page(1)); }
  DlgRgb* Rgb() { return DlgRgbOf(Page(2)); }
  // Presses Save with page p shown.
  void Save(int p) {
    gtk_notebook_set_current_page(DlgSettingsNotebook(dialog), p);
    EXPECT_TRUE(DlgSettingsRespond(dialog, GTK_RESPONSE_APPLY));
  }
  // Points the settings path into a folder that is a file: nothing can be written there.
  void Block() {
    uitest::TempHome::Write(home / "config/blocked", "a file");
    conf.ini_path = home / "config/blocked/nubicorn.ini";
  }
  void CloseDialog() {
    if (dialog) gtk_widget_destroy(dialog);
    dialog = nullptr;
    uitest::Drain();
  }
  // The main window closed and built again on the same home: a restart.
  void Restart() {
    CloseDialog();
    Close();
    app = App{};
    canv = Canv{};
    conf = Conf{};
    Build();
  }
  std::string Status() { return StatusText(); }
  using CanvasTest::LabelText;
  static std::string LabelText(GtkWidget* label) { return gtk_label_get_text(GTK_LABEL(label)); }
  void Link(const std::string& slot) { canvtest::Link(home, slot); }

  GtkWidget* dialog = nullptr;
};

inline void SetSpin(GtkWidget* spin, double v) {
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(spin), v);
  uitest::Drain();
}
inline double SpinValue(GtkWidget* spin) { return gtk_spin_button_get_value(GTK_SPIN_BUTTON(spin)); }

}  // namespace dlgtest
