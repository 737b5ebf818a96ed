// Helpers of the canvas tests: generated repeat cycles linked into a throw-away home, and a
// window fixture that records the status bar.
#pragma once

#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/platform.h"
#include "canvas/canv.h"
#include "canvas/canvmonitor.h"
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

constexpr const char* SLOT_A = "201607041200";
constexpr const char* SLOT_B = "201609301845";
constexpr int IR108 = 9;
constexpr int NATURAL = RECIPE_FIRST_ID + 3;  // channels 3, 2, 1

// A full file system without root: writes past the limit fail with EFBIG (SIGXFSZ ignored).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small {};
    ok_ = getrlimit(RLIMIT_FSIZE, &old_) == 0;
    small = old_;
    small.rlim_cur = bytes;
    ok_ = ok_ && setrlimit(RLIMIT_FSIZE, &small) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool ok() const { return ok_; }

 private:
  struct rlimit old_ {};
  void (*previous_)(int) = SIG_DFL;
  bool ok_ = false;
};

// The lines of a text file.
inline std::vector<std::string> Lines(const std::string& file) {
  std::ifstream in(file);
  std::vector<std::string> out;
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
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
  // The window on the linked cycles of slots, each opened as an empty slot.
  void Open(const std::vector<std::string>& slots, const std::string& ini = {}) {
    for (const std::string& s : slots) Link(home, s);
    Build(ini);
    ASSERT_TRUE(StartupDone());
    for (const std::string& s : slots) AddSlot(s);
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
  // One monitor tick: its worker, then the hand-over of its result on the main loop.
  void Tick() {
    canv.monitor = 1;
    EXPECT_TRUE(CanvMonitorStep(nullptr));
    EXPECT_TRUE(WaitFor([] { return !CanvMonitorBusy(); })) << "the tick's worker did not end";
  }

  // The row of id, chosen as a user would (the tree asks its select function).
  void Select(int id) {
    CanvTreeSelectId(id);
    uitest::Drain();
  }
  // Slot i chosen on the time scale.
  void ShowSlot(int i) {
    gtk_range_set_value(GTK_RANGE(canv.range), i);
    CanvSlotChanged(nullptr, nullptr);
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
  // The canvas drawn into a BGRA image of w x h: canvas units [x0, x0 + w / scale) across.
  cv::Mat Render(int w, int h, double x0 = 0, double y0 = 0, double scale = 1.0) {
    cv::Mat out(h, w, CV_8UC4, cv::Scalar(0, 0, 0, 0));
    cairo_surface_t* s = cairo_image_surface_create_for_data(out.data, CAIRO_FORMAT_ARGB32, w, h, int(out.step));
    cairo_t* cr = cairo_create(s);
    cairo_scale(cr, scale, scale);
    cairo_translate(cr, -x0, -y0);
    const GooCanvasBounds b{x0, y0, x0 + w / scale, y0 + h / scale};
    goo_canvas_render(GOO_CANVAS(canv.canvas), cr, &b, scale);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    return out;
  }
  // The part of the canvas the window shows now, as it draws it.
  cv::Mat RenderVisible() {
    uitest::Drain();
    GtkAdjustment* ha = gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(canv.scroll));
    GtkAdjustment* va = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(canv.scroll));
    const double s = goo_canvas_get_scale(GOO_CANVAS(canv.canvas));
    return Render(int(gtk_adjustment_get_page_size(ha)), int(gtk_adjustment_get_page_size(va)),
                  gtk_adjustment_get_value(ha) / s, gtk_adjustment_get_value(va) / s, s);
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
