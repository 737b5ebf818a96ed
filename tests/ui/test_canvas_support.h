// Helpers of the canvas tests: generated repeat cycles linked into a throw-away home, and a
// window fixture that records the status bar.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/platform.h"
#include "canvas/canv.h"
#include "data/fileinfo.h"
#include "data/supl.h"
#include "settings/confstartup.h"
#include "tests/support/cycles.h"
#include "tests/ui/uitest.h"
#include "tools/synth.h"

namespace canvtest {

namespace fs = std::filesystem;

using testcycles::Name;
inline std::string Cycle(const std::string& slot) { return testcycles::Shared(slot); }
inline std::string Input(const uitest::TempHome& home) { return home / "import/SEVIRI_data"; }

// Links the files of a cycle whose names pass keep (all when empty) into the home's input.
inline void Link(const uitest::TempHome& home, const std::string& slot,
                 const std::function<bool(const std::string&)>& keep = {}) {
  testcycles::LinkInto(slot, Input(home), keep);
}

class CanvasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!uitest::GtkReady()) GTEST_SKIP() << "no display";
  }
  void TearDown() override {
    on_status = nullptr;  // it may capture the test body's locals
    Close();
  }

  // Builds the window; ini text (when given) is the whole settings file, else the defaults.
  void Build(const std::string& ini = {}) {
    if (!ini.empty()) home.WriteIni(ini);
    ASSERT_TRUE(AppCreate(&app, &canv, &conf, home.path()));
    g_signal_connect(app.statusbar, "text-pushed", G_CALLBACK(+[](GtkStatusbar*, guint, gchar* text, gpointer self) {
                       auto* t = static_cast<CanvasTest*>(self);
                       t->status.emplace_back(text ? text : "");
                       if (t->on_status) t->on_status(t->status.back());
                     }),
                     this);
    uitest::Drain();
  }
  void Close() {
    if (!app.window) return;
    AppOnDelete(app.window, nullptr, nullptr);
    gtk_widget_destroy(app.window);
    app.window = nullptr;
    uitest::Drain();
  }
  // Runs the main loop until done() holds or about ten seconds pass.
  bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 2000; i++) {
      uitest::Drain();
      if (done()) return true;
      g_usleep(5000);
    }
    return done();
  }
  bool StartupDone() {
    return WaitFor([this] { return conf.loader == nullptr; });
  }

  // The row of id, chosen as a user would (the tree asks its select function).
  void Select(int id) {
    CanvTreeSelectId(id);
    uitest::Drain();
  }
  // The slot at index i of the list.
  Slot* SlotAt(guint i) { return static_cast<Slot*>(g_list_nth_data(conf.slots, i)); }
  guint SlotCount() { return g_list_length(conf.slots); }
  // Makes an empty slot (header only) for slot text and appends it, as the open commands do.
  void AddSlot(const std::string& text) {
    Slot* s = InfoSlotNew();
    s[0] = new Layer{};
    SuplParseDate(text.c_str(), &s[0]->time);
    s[0]->slot = text;
    conf.slots = g_list_append(conf.slots, s);
    CanvScaleMarkup();
  }
  bool Sensitive(GtkWidget* w) { return gtk_widget_get_sensitive(w); }
  std::string LabelText() { return gtk_label_get_text(GTK_LABEL(canv.label)); }
  std::string LabelMarkup() {
    // The label keeps its markup only through its "label" property.
    const char* s = gtk_label_get_label(GTK_LABEL(canv.label));
    return s ? s : "";
  }
  bool StatusHas(const std::string& text) {
    for (const auto& s : status)
      if (s == text) return true;
    return false;
  }
  // Width and height of the image item in canvas units, (0, 0) without one.
  std::pair<double, double> ItemSize() {
    if (!canv.image) return {0, 0};
    GooCanvasBounds b;
    goo_canvas_item_get_bounds(canv.image, &b);
    return {b.x2 - b.x1, b.y2 - b.y1};
  }

  uitest::TempHome home;
  App app;
  Canv canv;
  Conf conf;
  std::vector<std::string> status;
  // Called with each message as it is pushed: lets a test look at the state at that moment.
  std::function<void(const std::string&)> on_status;
};

}  // namespace canvtest
