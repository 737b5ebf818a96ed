// Start-up loading of the "Startup files" entries on generated cycles, damaged segments as
// received files arrive, and the parsing of the entries' names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "contours/cntrs.h"
#include "data/geo.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_cntrs_support.h"
#include "tests/ui/test_canvas_support.h"

namespace {

using canvtest::CanvasTest;
using canvtest::Name;

constexpr const char* SLOT_A = "201607041200";
constexpr const char* SLOT_B = "201609301845";
constexpr int NATURAL = RECIPE_FIRST_ID + 3;  // channels 3, 2, 1

// The default settings with a "Startup files" group listing names as image-file-00, -01, ...
// (an empty name leaves its number out), and the view window's y and height replaced when given.
std::string Ini(const std::vector<std::string>& names, int y = 0, int height = 0) {
  std::string ini = uitest::ReadFile(std::string(NUBICORN_SOURCE_DIR) + "/resources/nubicorn.ini");
  // Columns 1800..1891 stay on the disk up to its northern edge.
  if (height)
    for (auto [from, to] : {std::pair{std::string("rect-x=2710"), std::string("rect-x=1800")},
                            std::pair{std::string("rect-y=464"), "rect-y=" + std::to_string(y)},
                            std::pair{std::string("rect-height=60"), "rect-height=" + std::to_string(height)}})
      ini.replace(ini.find(from), from.size(), to);
  ini += "\n[Startup files]\n";
  for (size_t i = 0; i < names.size(); i++)
    if (!names[i].empty()) ini += ConfNumberedKey("image-file", int(i)) + "=" + names[i] + "\n";
  return ini;
}

class Startup : public CanvasTest {
 protected:
  bool CursorIsArrow() {
    GdkWindow* w = gtk_widget_get_window(app.window);
    return w && gdk_window_get_cursor(w) == nullptr;
  }
  // Replaces the linked segment by a copy of its first `keep` bytes, or by text that is no
  // segment (the link is shared with the cached cycle, which must stay whole).
  void Damage(int id, int segment, double keep) {
    const std::string f = canvtest::Input(home) + "/" + SynthSegmentName(id, segment, SLOT_A);
    const std::string bytes = uitest::ReadFile(f);
    ASSERT_FALSE(bytes.empty());
    std::filesystem::remove(f);
    uitest::TempHome::Write(f, keep ? bytes.substr(0, size_t(double(bytes.size()) * keep)) : "H-000 not a segment");
  }
  // Closes the window and starts the records afresh for the next Build.
  void Reset() {
    Close();
    EXPECT_EQ(conf.loader, nullptr);
    EXPECT_EQ(conf.slots, nullptr);
    EXPECT_EQ(Conf_get, nullptr);
    app = App{};
    canv = Canv{};
    conf = Conf{};
    status.clear();
  }
};

TEST(StartupName, ChannelFieldGivesTheId) {
  const char* codes[] = {"VIS006", "VIS008", "IR_016", "IR_039", "WV_062", "WV_073",
                         "IR_087", "IR_097", "IR_108", "IR_120", "IR_134", "HRV___"};
  for (int id = 1; id <= 12; id++) {
    const std::string name = std::string("H-000-MSG3__-MSG3________-") + codes[id - 1] +
                             "___-0000" + (id == 12 ? "19" : "07") + "___-201609301845-C_";
    Layer layer;
    ASSERT_TRUE(ConfParseImageName(name.c_str(), &layer)) << name;
    EXPECT_EQ(layer.id, id);
    EXPECT_EQ(layer.slot, "201609301845");
    EXPECT_EQ(InfoSlotText(layer.time), "201609301845");
  }
}

TEST(StartupName, NamesWithoutChannelOrDateAreRefused) {
  Layer a;
  EXPECT_FALSE(ConfParseImageName("H-000-MSG3__-MSG3________-_________-PRO______-201609301845-__", &a));
  EXPECT_EQ(a.id, 0);
  Layer b;
  EXPECT_FALSE(ConfParseImageName("H-000-MSG3__-MSG3________-IR_108___-000007___-2016", &b)) << "too short";
  LogCapture log;
  Layer c;
  const char* bad_date = "H-000-MSG3__-MSG3________-IR_108___-000007___-2016x9301845-C_";
  EXPECT_FALSE(ConfParseImageName(bad_date, &c));
  EXPECT_EQ(c.id, 0);
  EXPECT_TRUE(log.contains(bad_date));
}

// Cycle A, B, then A again: the last comparison is with B, so A gets a second slot; channels
// complete a composite; the contours (numbers 00 and 05: the list has gaps) come after the images
// and lie above them.
TEST_F(Startup, CyclesAreGroupedCompositesCompletedAndContoursFollow) {
  canvtest::Link(home, SLOT_A);
  canvtest::Link(home, SLOT_B);
  // A short line through the middle of the default view window (x 2710, y 464, 92 x 60).
  double lat = 0, lon = 0;
  ASSERT_EQ(GeoPixelToLatLon(3712 - (2710 + 46), 3712 - (464 + 30), &lat, &lon), 0);
  std::filesystem::create_directories(home / "import/Shp");
  for (const char* f : {"a.shp", "b.shp"})
    ASSERT_TRUE(cntrstest::WriteShapes(home / (std::string("import/Shp/") + f), SHPT_ARC,
                                       {{{{{lon - 0.2, lat}, {lon + 0.2, lat}}}, "L"}}));
  std::string ini = Ini({Name(3, SLOT_A), Name(2, SLOT_A), Name(1, SLOT_A), Name(9, SLOT_B), Name(9, SLOT_A)});
  for (auto [from, to] : {std::pair{"scroll-x=0", "scroll-x=40"}, std::pair{"scroll-y=0", "scroll-y=30"}})
    ini.replace(ini.find(from), std::strlen(from), to);
  // The last image's name reaches the status bar when it is shown: look then, however fast or
  // slow the loader thread is.
  int shown = 0;
  bool contours_before = true;
  on_status = [&](const std::string& text) {
    if (text != Name(9, SLOT_A)) return;
    shown++;
    contours_before = conf.contours != nullptr;
  };
  Build(ini + "contour-file-00=a.shp\ncontour-file-05=b.shp\n");
  EXPECT_NE(conf.loader, nullptr);
  ASSERT_TRUE(StartupDone());
  uitest::Drain();
  ASSERT_EQ(SlotCount(), 3u);
  Slot* a = SlotAt(0);
  for (int id : {1, 2, 3}) ASSERT_NE(a[id], nullptr) << id;
  ASSERT_NE(a[NATURAL], nullptr) << "the composite the channels complete";
  EXPECT_EQ(a[NATURAL]->name, "Natural");
  EXPECT_EQ(a[0]->slot, SLOT_A);
  int layers = 0;
  for (int i = 1; i < SLOT_SIZE; i++) layers += a[i] != nullptr;
  EXPECT_EQ(layers, 4);
  EXPECT_EQ(SlotAt(1)[0]->slot, SLOT_B);
  ASSERT_NE(SlotAt(1)[9], nullptr);
  EXPECT_EQ(SlotAt(2)[0]->slot, SLOT_A);
  ASSERT_NE(SlotAt(2)[9], nullptr);
  // The last step is shown: its slot on the scale, its row, its date; then the chain's end.
  EXPECT_DOUBLE_EQ(gtk_range_get_value(GTK_RANGE(canv.range)), 2);
  EXPECT_NEAR(gtk_adjustment_get_upper(gtk_range_get_adjustment(GTK_RANGE(canv.range))), 2.01, 1e-9);
  EXPECT_EQ(CanvTreeGetId(), 9);
  EXPECT_NE(canv.image, nullptr);
  EXPECT_EQ(LabelText(), "2016-07-04 12:00 UTC");
  EXPECT_TRUE(StatusHas(Name(9, SLOT_B)));
  EXPECT_TRUE(StatusHas("Natural"));
  EXPECT_EQ(status.back(), "");
  EXPECT_TRUE(CursorIsArrow());
  EXPECT_TRUE(Sensitive(canv.range));
  // The stored scroll position is restored at the end (the image at x7 is larger than the view).
  EXPECT_DOUBLE_EQ(gtk_adjustment_get_value(gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(canv.scroll))), 40);
  EXPECT_DOUBLE_EQ(gtk_adjustment_get_value(gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(canv.scroll))), 30);
  ASSERT_EQ(shown, 1);
  EXPECT_FALSE(contours_before) << "the contours come after the images";
  std::vector<std::string> files;
  for (GList* l = conf.contours; l; l = l->next) files.push_back(static_cast<CntrsFile*>(l->data)->file);
  EXPECT_EQ(files, (std::vector<std::string>{"a.shp", "b.shp"}));
  GooCanvasItem* root = goo_canvas_get_root_item(GOO_CANVAS(canv.canvas));
  EXPECT_EQ(goo_canvas_item_find_child(root, canv.group), goo_canvas_item_get_n_children(root) - 1);
  EXPECT_GT(goo_canvas_item_get_n_children(canv.group), 0);
}

// Lists that end early or hold entries that cannot load: which layers load, the status bar's
// last word, and each entry loaded once.
TEST_F(Startup, ListsEndAtAGapOrAFileThatDoesNotLoad) {
  canvtest::Link(home, SLOT_A);
  std::filesystem::remove(canvtest::Input(home) + "/" + Name(4, SLOT_A));
  std::filesystem::create_directories(home / "elsewhere");
  std::filesystem::copy_file(canvtest::Input(home) + "/" + Name(9, SLOT_A), home / ("elsewhere/" + Name(9, SLOT_A)));
  const std::string outside = "../../elsewhere/" + Name(9, SLOT_A);
  const struct {
    std::vector<std::string> names;
    std::vector<int> loaded;  // channels of the one slot; none: no slot
    std::string last;         // the status bar's last message
    bool fci = false;         // MTG-I1 FCI chosen: the window has no place for MSG slots
  } cases[] = {
      {{}, {}, "<none>"},                                                       // nothing shown, nothing to cover
      {{Name(9, SLOT_A), "", Name(1, SLOT_A)}, {9}, ""},                       // a gap in the numbers
      {{Name(4, SLOT_A), Name(9, SLOT_A)}, {}, "Start-up file not loaded: " + Name(4, SLOT_A)},  // no slot left
      {{outside}, {}, "Start-up file not loaded: " + outside},                 // outside the input folder
      {{Name(9, SLOT_A), Name(9, SLOT_A), Name(1, SLOT_A)}, {1, 9}, ""},      // listed twice, loaded once
      {{Name(9, SLOT_A)}, {}, "Start-up file not loaded (an MSG file; the satellite is MTG-I1 FCI): " +
                                  Name(9, SLOT_A), true},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.names.empty() ? "none" : k.names[0]);
    LogCapture log;
    std::string ini = Ini(k.names);
    if (k.fci) ini.replace(0, std::strlen("[Interface]\n"), "[Interface]\nsatellite=MTI1\n");
    Build(ini);
    ASSERT_TRUE(StartupDone());
    uitest::Drain();
    ASSERT_EQ(SlotCount(), k.loaded.empty() ? 0u : 1u);
    for (int id = 1; id < SLOT_SIZE && SlotCount(); id++)
      EXPECT_EQ(SlotAt(0)[id] != nullptr, std::count(k.loaded.begin(), k.loaded.end(), id) > 0) << id;
    EXPECT_EQ(status.empty() ? "<none>" : status.back(), k.last);
    EXPECT_TRUE(CursorIsArrow());
    int ok = 0;
    for (const auto& m : log.messages()) ok += m == Name(9, SLOT_A) + " ok";
    EXPECT_LE(ok, 1);
    Reset();
  }
}

// VIS006 segment 8 cut to half its length, a window across segments 8 and 7: VIS 0.6 and the
// Natural composite are still made (the lost lines are black, as the layer tests check) and the
// status names segment 8 with the lines it kept.
TEST_F(Startup, ACutSegmentCostsOnlyItsLinesAndIsNamed) {
  canvtest::Link(home, SLOT_A);
  Damage(1, 8, 0.5);
  Build(Ini({Name(3, SLOT_A), Name(2, SLOT_A), Name(1, SLOT_A)}, 100, 500));
  ASSERT_TRUE(StartupDone());
  uitest::Drain();
  ASSERT_EQ(SlotCount(), 1u);
  Slot* a = SlotAt(0);
  ASSERT_NE(a[1], nullptr);
  EXPECT_EQ(a[1]->images[0].rows, 500);
  EXPECT_GT(cv::countNonZero(a[1]->images[0].rowRange(400, 500)), 90 * 92) << "segment 7 is there";
  ASSERT_NE(a[NATURAL], nullptr) << "the composite of the damaged channel is made too";
  const std::string want = "Start-up file damaged: " + SynthSegmentName(1, 8, SLOT_A) + "(short: ";
  ASSERT_FALSE(status.empty());
  EXPECT_EQ(status.back().rfind(want, 0), 0u) << status.back();
  int lines = -1;
  std::sscanf(status.back().c_str() + want.size(), "%d", &lines);
  EXPECT_GT(lines, 100);
  EXPECT_LT(lines, 464);
}

// Segment 8 unreadable and a window inside it: the layer cannot be made, the chain ends there
// with a message naming segment 8 (the file that failed), not the entry's segment 7.
TEST_F(Startup, ALayerNotMadeEndsTheChainNamingTheSegmentThatFailed) {
  canvtest::Link(home, SLOT_A);
  Damage(1, 8, 0);
  Build(Ini({Name(9, SLOT_A), Name(1, SLOT_A), Name(2, SLOT_A)}, 100, 200));
  ASSERT_TRUE(StartupDone());
  uitest::Drain();
  ASSERT_EQ(SlotCount(), 1u);
  EXPECT_NE(SlotAt(0)[9], nullptr);
  EXPECT_EQ(SlotAt(0)[1], nullptr);
  EXPECT_EQ(SlotAt(0)[2], nullptr) << "later numbers are not tried";
  EXPECT_TRUE(StatusHas("Input data error"));
  EXPECT_EQ(status.back(), "Start-up file not loaded: " + SynthSegmentName(1, 8, SLOT_A) +
                               "(input: first record is not a primary header)");
  EXPECT_TRUE(CursorIsArrow());
}

// Commands either work on what is loaded or refuse while the loader holds the slots; the window
// closed while loading leaves nothing queued to run on the freed records.
TEST_F(Startup, TheWindowAnswersWhileLoadingAndClosesSafely) {
  canvtest::Link(home, SLOT_A);
  std::vector<std::string> names;
  for (int round = 0; round < 3; round++)
    for (int id = 1; id <= 12; id++) names.push_back(Name(id, SLOT_A));
  for (int wait_ms : {0, 30, 150, 20000}) {
    Build(Ini(names));
    ASSERT_NE(conf.loader, nullptr);
    for (int t = 0; t < wait_ms && conf.loader; t += 5) {
      CanvZoomFit(nullptr, nullptr);
      CanvFileClose(nullptr, nullptr);
      uitest::Drain();
      g_usleep(5000);
    }
    if (wait_ms == 20000) {
      uitest::Drain();
      EXPECT_EQ(SlotCount(), 1u);
      EXPECT_TRUE(CursorIsArrow());
    }
    Reset();
    for (int i = 0; i < 20; i++) {
      uitest::Drain();
      g_usleep(5000);
    }
  }
}

}  // namespace
