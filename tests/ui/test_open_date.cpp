// "Open by date": the span of quarter hours, and the dialog run for real on generated cycles;
// the satellite choice in the running program: open by date and the monitor on rapid-scan cycles,
// slots of services side by side, contours seen from 9.5° E.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iterator>
#include <tuple>

#include "canvas/canvanim.h"
#include "canvas/canvmonitor.h"
#include "canvas/dlgdatetime.h"
#include "contours/cntrs.h"
#include "tests/support/cycles.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_canvas_support.h"
#include "tests/ui/test_cntrs_support.h"

namespace {

using canvtest::CanvasTest;
using canvtest::Name;
namespace fs = std::filesystem;

constexpr const char* RSS_SLOT = "202204040740";
constexpr const char* RSS_SLOT2 = "202204040745";
const Sat RSS{3, SatService::Rapid};

SlotTime At(int y, int mo, int d, int h, int mi) {
  SlotTime t{};
  t.tm_year = y;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  return t;
}

// Slot texts of the walk from a to b, as the dialog makes them.
std::vector<std::string> Walk(const SlotTime& a, const SlotTime& b) {
  std::vector<std::string> out;
  SlotTime t = a;
  for (long i = 0; i < DlgDateTimeCount(a, b); i++, DlgDateTimeNext(&t)) out.push_back(InfoSlotText(t));
  return out;
}

// Quarter hours across hours, days, months and years; leap days follow the Gregorian rule.
TEST(OpenDateSpan, QuarterHoursAcrossDaysMonthsYearsAndLeapDays) {
  using Texts = std::vector<std::string>;
  EXPECT_EQ(Walk(At(2016, 7, 4, 10, 15), At(2016, 7, 4, 11, 0)),
            (Texts{"201607041015", "201607041030", "201607041045", "201607041100"}));
  EXPECT_EQ(Walk(At(2016, 7, 4, 23, 45), At(2016, 7, 5, 0, 15)),
            (Texts{"201607042345", "201607050000", "201607050015"}));
  EXPECT_EQ(Walk(At(2015, 12, 31, 23, 45), At(2016, 1, 1, 0, 0)), (Texts{"201512312345", "201601010000"}));
  EXPECT_EQ(Walk(At(2016, 7, 4, 12, 0), At(2016, 7, 4, 12, 0)), Texts{"201607041200"});
  EXPECT_TRUE(Walk(At(2016, 7, 4, 12, 0), At(2016, 7, 4, 11, 45)).empty());
  EXPECT_EQ(DlgDateTimeCount(At(2017, 1, 1, 0, 0), At(2016, 12, 31, 23, 45)), 0);
  // 2016 is a leap year: 23:45, the 96 quarters of February 29, then 00:00.
  const Texts leap = Walk(At(2016, 2, 28, 23, 45), At(2016, 3, 1, 0, 0));
  ASSERT_EQ(leap.size(), 98u);
  EXPECT_EQ(leap[1], "201602290000");
  EXPECT_EQ(leap[96], "201602292345");
  EXPECT_EQ(leap[97], "201603010000");
  for (auto [year, quarters] : {std::pair{2015, 2u}, {1900, 2u}, {2000, 98u}})  // 1900 is no leap year, 2000 is one
    EXPECT_EQ(Walk(At(year, 2, 28, 23, 45), At(year, 3, 1, 0, 0)).size(), quarters) << year;
  EXPECT_EQ(DlgDateTimeCount(At(2016, 1, 1, 0, 0), At(2016, 12, 31, 23, 45)), 366 * 96);
  EXPECT_EQ(DlgDateTimeCount(At(2017, 1, 1, 0, 0), At(2017, 12, 31, 23, 45)), 365 * 96);
}

constexpr const char* SLOT_A = "201607041200";
constexpr const char* SLOT_A2 = "201607041215";

// One end of the span as the dialog's controls hold it.
struct End {
  int year, month, day, hour, quarter;  // month 1..12; hour or quarter -1: no choice
};

class OpenDate : public CanvasTest {
 protected:
  // Runs "Open by date"; fill gets the record of the shown dialog, then OK (or Cancel) is pressed.
  void Run(const std::function<void(DlgDateTime*)>& fill, bool ok = true) {
    struct Ctx {
      std::function<void(DlgDateTime*)> fill;
      bool ok;
      bool seen = false;
      std::string title;
    } ctx{fill, ok, false, {}};
    const guint source = g_timeout_add(20, +[](gpointer p) -> gboolean {
      auto* c = static_cast<Ctx*>(p);
      GtkWidget* dialog = uitest::VisibleToplevel(GTK_TYPE_DIALOG);
      if (!dialog) return G_SOURCE_CONTINUE;
      c->seen = true;
      c->title = gtk_window_get_title(GTK_WINDOW(dialog));
      c->fill(DlgDateTimeGet(dialog));
      GtkWidget* button = gtk_dialog_get_widget_for_response(
          GTK_DIALOG(dialog), c->ok ? GTK_RESPONSE_OK : GTK_RESPONSE_CANCEL);
      gtk_button_clicked(GTK_BUTTON(button));
      return G_SOURCE_REMOVE;
    }, &ctx);
    CanvOpenDate(nullptr, nullptr);
    if (!ctx.seen) g_source_remove(source);
    ASSERT_TRUE(ctx.seen);
    EXPECT_EQ(ctx.title, "Load DateTime slots");
    uitest::Drain();
  }
  static void Set(DlgDateTime* d, const End& from, const End& to, std::initializer_list<int> channels) {
    auto set = [](GtkWidget* cal, GtkWidget* hour, GtkWidget* min, const End& e) {
      gtk_calendar_select_month(GTK_CALENDAR(cal), guint(e.month - 1), guint(e.year));
      gtk_calendar_select_day(GTK_CALENDAR(cal), guint(e.day));
      gtk_combo_box_set_active(GTK_COMBO_BOX(hour), e.hour);
      gtk_combo_box_set_active(GTK_COMBO_BOX(min), e.quarter);
    };
    set(d->cal_from, d->hour_from, d->min_from, from);
    set(d->cal_to, d->hour_to, d->min_to, to);
    for (int c : channels) gtk_toggle_tool_button_set_active(GTK_TOGGLE_TOOL_BUTTON(d->channel_buttons[c - 1]), TRUE);
  }
  std::vector<std::string> SlotTexts() {
    std::vector<std::string> out;
    for (GList* l = conf.slots; l; l = l->next) out.push_back(static_cast<Slot*>(l->data)[0]->slot);
    return out;
  }
  std::string Shown() { return uitest::StatusbarText(app.statusbar); }
  // Date and time both ends of the dialog show, "" when no hour is chosen.
  static std::string Ends(DlgDateTime* d) {
    std::string out;
    for (auto [cal, hour, min] :
         {std::tuple{d->cal_from, d->hour_from, d->min_from}, std::tuple{d->cal_to, d->hour_to, d->min_to}}) {
      guint y = 0, m = 0, day = 0;
      gtk_calendar_get_date(GTK_CALENDAR(cal), &y, &m, &day);
      const int h = gtk_combo_box_get_active(GTK_COMBO_BOX(hour));
      const int q = gtk_combo_box_get_active(GTK_COMBO_BOX(min));
      if (h < 0 || q < 0) return "";
      char text[32];
      g_snprintf(text, sizeof text, "%04u%02u%02u%02d%02d ", y, m + 1, day, h, q * 15);
      out += text;
    }
    return out;
  }
  double Upper() { return gtk_adjustment_get_upper(gtk_range_get_adjustment(GTK_RANGE(canv.range))); }
  void ShowSlot(int i) {
    gtk_range_set_value(GTK_RANGE(canv.range), i);
    CanvSlotChanged(nullptr, nullptr);
    uitest::Drain();
  }
  // Copies one rapid-scan cycle of MSG3 (generated once per build tree) into folder, the input
  // folder when none is given; keep chooses the files.
  void CopyRapid(const std::string& slot, std::string folder = {},
                 const std::function<bool(const std::string&)>& keep = {}) {
    const std::string src = testcycles::Cached("test-cycles-rss", slot, 5, false, RSS);
    ASSERT_FALSE(src.empty());
    if (folder.empty()) folder = canvtest::Input(home);
    fs::create_directories(folder);
    for (const auto& e : fs::directory_iterator(src))
      if (!keep || keep(e.path().filename().string()))
        fs::copy_file(e.path(), folder + "/" + e.path().filename().string());
  }
  // The IR 10.8 of the two rapid-scan slots, 07:40 and 07:45 of 2022-04-04 (minutes in steps of 5).
  static void OpenRapidSlots(DlgDateTime* d) { Set(d, {2022, 4, 4, 7, 8}, {2022, 4, 4, 7, 9}, {9}); }
};

class SatelliteCanvas : public OpenDate {};

// Both ends start at the last date; without one at the newest input or the shown slot. Cancel
// loads nothing.
TEST_F(OpenDate, TheLastDateTheNewestInputOrTheShownSlotIsTheDefault) {
  canvtest::Link(home, SLOT_A);
  canvtest::Link(home, "201609301845");
  Build();
  ASSERT_EQ(conf.last_date.tm_mday, 0);
  std::string ends;
  Run([&](DlgDateTime* d) { ends = Ends(d); }, false);
  EXPECT_EQ(ends, "201609301845 201609301845 ") << "the newest cycle in import/SEVIRI_data";
  AddSlot(SLOT_A);
  Select(9);
  Run([&](DlgDateTime* d) { ends = Ends(d); }, false);
  EXPECT_EQ(ends, "201607041200 201607041200 ") << "the shown slot";
  conf.last_date = At(2016, 8, 31, 18, 45);
  Run([&](DlgDateTime* d) { ends = Ends(d); }, false);
  EXPECT_EQ(ends, "201608311845 201608311845 ") << "the last date";
  EXPECT_EQ(SlotCount(), 1u);
}

TEST_F(OpenDate, ASpanThatCannotFitInMemoryIsRefusedFirst) {
  struct Text {
    const char* meminfo;
    long long bytes;
  } texts[] = {{"MemTotal:       16318012 kB\nMemFree:  1 kB\nMemAvailable:   12058084 kB\n", 12058084LL * 1024},
               {"MemAvailable: 0 kB\n", 0},
               {"MemTotal: 5 kB\n", -1},
               {"MemAvailable: kB\n", -1},
               {"", -1}};
  for (const Text& t : texts) EXPECT_EQ(DlgDateTimeMemAvailable(t.meminfo), t.bytes) << t.meminfo;
  bool none[CHANNEL_COUNT] = {}, ir[CHANNEL_COUNT] = {}, all[CHANNEL_COUNT];
  ir[8] = true;
  std::fill(std::begin(all), std::end(all), true);
  const size_t records = DlgDateTimeSlotBytes(none, 3712, 928);
  EXPECT_EQ(DlgDateTimeSlotBytes(ir, 3712, 928) - records, sizeof(Layer) + 2u * 3712 * 928);
  EXPECT_EQ(DlgDateTimeSlotBytes(all, 3712, 928) - records, 12 * sizeof(Layer) + 2u * 3712 * 928 * (11 + 9));
  EXPECT_EQ(DlgDateTimeSlotBytes(all, -5, 928), records + 12 * sizeof(Layer));

  // A week of whole strips of every channel: about 93 GB of counts.
  Build("[Interface]\nrect-x=0\nrect-y=0\nrect-width=3712\nrect-height=928\n");
  gchar* text = nullptr;
  ASSERT_TRUE(g_file_get_contents("/proc/meminfo", &text, nullptr, nullptr));
  const long long available = DlgDateTimeMemAvailable(text);
  g_free(text);
  const double need = 672.0 * double(DlgDateTimeSlotBytes(all, 3712, 928));
  if (available < 0 || need <= double(available)) GTEST_SKIP() << "this machine has room for " << need << " bytes";
  Run([](DlgDateTime* d) {
    Set(d, {2016, 7, 4, 12, 0}, {2016, 7, 11, 11, 3}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  });
  EXPECT_EQ(SlotCount(), 0u) << "nothing is made";
  EXPECT_EQ(Shown().rfind("Not enough memory for 672 time slots of these channels: about ", 0), 0u) << Shown();
  // A short span still loads: its slots are refused only for lack of files.
  Run([](DlgDateTime* d) { Set(d, {2016, 7, 4, 12, 0}, {2016, 7, 4, 12, 0}, {}); });
  EXPECT_EQ(SlotCount(), 1u);
}

// Every slot of the span gets the chosen channels; only the shown layer gets a display image,
// the slots not shown keep their counts only.
TEST_F(OpenDate, ASpanLoadsTheChosenChannelsIntoEverySlot) {
  canvtest::Link(home, SLOT_A);
  canvtest::Link(home, SLOT_A2);
  Build();
  CanvTreeSelectId(9);  // refused: no slot yet
  Run([](DlgDateTime* d) {
    Set(d, {2016, 7, 4, 12, 0}, {2016, 7, 4, 12, 1}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  });
  EXPECT_EQ(SlotTexts(), (std::vector<std::string>{SLOT_A, SLOT_A2}));
  EXPECT_DOUBLE_EQ(gtk_range_get_value(GTK_RANGE(canv.range)), 1) << "the scale ends on the last slot";
  EXPECT_NEAR(Upper(), 1.01, 1e-9);
  for (GtkWidget* w : {canv.range, canv.btn_play, canv.btn_forward}) EXPECT_TRUE(Sensitive(w));
  Select(9);  // choosing the row now shows the last slot's layer
  EXPECT_EQ(LabelText(), "2016-07-04 12:15 UTC");
  for (guint i = 0; i < 2; i++)
    for (int id = 1; id <= CHANNEL_COUNT; id++) {
      const Layer* layer = SlotAt(i)[id];
      ASSERT_NE(layer, nullptr) << id;
      EXPECT_EQ(layer->name, Name(id, i ? SLOT_A2 : SLOT_A));
      EXPECT_FALSE(layer->images[0].empty()) << id;
      EXPECT_EQ(layer->images[1].empty(), i == 0 || id != 9) << i << " " << id;
    }
}

TEST_F(OpenDate, AFailedLoadStillSortsAndUpdatesTheScale) {
  canvtest::Link(home, SLOT_A);
  canvtest::Link(home, SLOT_A2);
  Build();
  Select(9);
  // 12:15 to 12:45: 12:30 has no files, so loading stops there.
  Run([](DlgDateTime* d) { Set(d, {2016, 7, 4, 12, 1}, {2016, 7, 4, 12, 3}, {9}); });
  EXPECT_TRUE(StatusHas("Input data error"));
  EXPECT_TRUE(StatusHas("Operation failed"));
  EXPECT_EQ(Shown(), "Operation failed") << "showing the slots loaded so far is no success of the span";
  EXPECT_EQ(SlotTexts(), (std::vector<std::string>{SLOT_A2, "201607041230"})) << "12:45 is not tried";
  EXPECT_NE(SlotAt(0)[9], nullptr);
  EXPECT_NEAR(Upper(), 1.01, 1e-9) << "the loaded slots are reachable";
  EXPECT_DOUBLE_EQ(gtk_range_get_value(GTK_RANGE(canv.range)), 1);
  // A second span before the first: the list comes out sorted.
  Run([](DlgDateTime* d) { Set(d, {2016, 7, 4, 12, 0}, {2016, 7, 4, 12, 0}, {9}); });
  EXPECT_EQ(SlotTexts(), (std::vector<std::string>{SLOT_A, SLOT_A2, "201607041230"}));
  EXPECT_NEAR(Upper(), 2.01, 1e-9);
  EXPECT_EQ(Shown(), "") << "a span loaded whole takes the old failure off";
}

TEST_F(OpenDate, IncompleteOrUnreasonableSpansAreRefused) {
  canvtest::Link(home, SLOT_A);
  Build();
  // No start hour: nothing loaded.
  Run([](DlgDateTime* d) { Set(d, {2016, 7, 4, -1, 0}, {2016, 7, 4, 12, 0}, {9}); });
  EXPECT_EQ(SlotCount(), 0u);
  // The end before the start.
  status.clear();
  Run([](DlgDateTime* d) { Set(d, {2016, 7, 4, 12, 0}, {2016, 7, 3, 12, 0}, {9}); });
  EXPECT_EQ(SlotCount(), 0u);
  EXPECT_TRUE(StatusHas("The end of the span is before its start"));
  // Eight days of slots.
  status.clear();
  Run([](DlgDateTime* d) { Set(d, {2016, 7, 4, 12, 0}, {2016, 7, 12, 12, 0}, {}); });
  EXPECT_EQ(SlotCount(), 0u);
  EXPECT_TRUE(StatusHas("Too many time slots: 769 (at most 672)"));
  // A week exactly is accepted: no channel chosen makes empty slots on the scale.
  Run([](DlgDateTime* d) { Set(d, {2016, 7, 4, 12, 0}, {2016, 7, 11, 11, 3}, {}); });
  ASSERT_EQ(SlotCount(), 672u);
  EXPECT_EQ(SlotTexts()[671], "201607111145");
  for (int id = 1; id < SLOT_SIZE; id++) EXPECT_EQ(SlotAt(671)[id], nullptr);
  EXPECT_NEAR(Upper(), 671.01, 1e-9);
}

}  // namespace

TEST_F(SatelliteCanvas, OpenByDateStepsFiveMinutesForRapidScan) {
  SlotTime from = At(2022, 12, 31, 23, 0), to = At(2022, 12, 31, 23, 55);
  EXPECT_EQ(DlgDateTimeCount(from, to, 5), 12);
  EXPECT_EQ(DlgDateTimeCount(from, to, 15), 4);
  EXPECT_EQ(DlgDateTimeCount(from, to), 4);  // unchanged for the full disk
  DlgDateTimeNext(&to, 5);
  EXPECT_EQ(InfoSlotText(to), "202301010000");
  DlgDateTimeNext(&to, 5);
  EXPECT_EQ(InfoSlotText(to), "202301010005");
  // The dialog offers the minutes of the configured service.
  Build("[Interface]\nsatellite=MSG3_RSS\n");
  ASSERT_TRUE(StartupDone());
  GtkWidget* dialog = DlgDateTimeNew();
  ASSERT_NE(dialog, nullptr);
  DlgDateTime* d = DlgDateTimeGet(dialog);
  EXPECT_EQ(d->step, 5);
  EXPECT_EQ(gtk_tree_model_iter_n_children(gtk_combo_box_get_model(GTK_COMBO_BOX(d->min_from)), nullptr), 12);
  gtk_widget_destroy(dialog);
}

// Cycles of two services at one time, of one service at two: which slot each layer goes to.
TEST(SatelliteSlots, ServicesAtOneTimeAreSlotsOfTheirOwn) {
  struct Row {
    Sat sat;
    int id;
    const char* slot;
    guint slots;  // in the list after the insertion
    guint into;   // the slot it went to
  } rows[] = {
      {Sat{}, 9, "201607041200", 1, 0},
      {Sat{}, 1, "201607041200", 1, 0},                 // the same cycle
      {RSS, 9, "201607041200", 2, 1},                   // rapid scan at the same time
      {Sat{4, SatService::Full}, 9, "201607041200", 3, 2},  // another spacecraft
      {RSS, 1, "201607041200", 3, 1},
      {Sat{}, 9, "201607041215", 4, 3},
  };
  GList* list = nullptr;
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::Message() << SatText(r.sat) << " " << r.id);
    GList* link = nullptr;
    InfoSlotInsert(&list, InfoNew(r.id, r.slot, nullptr, &r.sat), &link);
    EXPECT_EQ(g_list_length(list), r.slots);
    EXPECT_EQ(g_list_position(list, link), gint(r.into));
    Sat got;
    ASSERT_TRUE(InfoSlotSat(static_cast<Slot*>(link->data), &got));
    EXPECT_EQ(got, r.sat);
  }
  // A header that names its service counts; a bare one does not.
  Slot* empty = InfoSlotNew();
  empty[0] = new Layer{};
  Sat got;
  EXPECT_FALSE(InfoSlotSat(empty, &got));
  empty[0]->name = SatNamePrefix(RSS);
  ASSERT_TRUE(InfoSlotSat(empty, &got));
  EXPECT_EQ(got, RSS);
  InfoSlotDel(empty);
  g_list_free_full(list, InfoSlotDel);
}

// Two full-disk slots shown; the user chooses rapid scan and opens two of its slots by date: they
// load five minutes apart from 9.5° E, and the scale, the animation and the video see them only.
TEST_F(SatelliteCanvas, OpenByDateOfAnotherServiceClosesTheSlotsOfTheFirst) {
  canvtest::Link(home, "201607041200");
  canvtest::Link(home, "201607041215");
  Build();
  ASSERT_TRUE(StartupDone());
  CopyRapid(RSS_SLOT);
  CopyRapid(RSS_SLOT2);
  AddSlot("201607041200");
  AddSlot("201607041215");
  Select(9);
  ShowSlot(1);
  ASSERT_TRUE(canv.image);
  conf.satellite = RSS;
  Run(OpenRapidSlots);
  ASSERT_EQ(SlotCount(), 2u);
  for (guint i = 0; i < 2; i++) {
    Slot* s = SlotAt(i);
    ASSERT_TRUE(s[9]) << i;
    EXPECT_EQ(s[9]->name, SatSegmentName(RSS, "IR_108", 7, i ? RSS_SLOT2 : RSS_SLOT));
    EXPECT_FALSE(s[9]->images[0].empty());
    EXPECT_DOUBLE_EQ(s[9]->sub_lon, 9.5);  // from the navigation record
    Sat sat;
    ASSERT_TRUE(InfoSlotSat(s, &sat)) << i;
    EXPECT_EQ(sat, RSS) << i;
  }
  EXPECT_TRUE(StatusHas("Closed 2 time slots of another satellite service: the time scale shows MSG3 rapid scan"));
  EXPECT_NEAR(Upper(), 1.01, 1e-9);
  ShowSlot(0);
  EXPECT_NE(LabelText().find("07:40"), std::string::npos) << LabelText();
  // Two steps of the animation show the two rapid-scan slots and nothing else.
  canv.play = 1;
  std::vector<std::string> labels;
  for (int i = 0; i < 2; i++) {
    CanvAnimStep(nullptr);
    labels.push_back(LabelText());
  }
  canv.play = 0;
  EXPECT_EQ(labels, (std::vector<std::string>{"2022-04-04 07:45 UTC", "2022-04-04 07:40 UTC"}));
}

TEST_F(SatelliteCanvas, AShownSlotOfAnotherServiceTakesTheScale) {
  canvtest::Link(home, "201607041200");
  Build();
  ASSERT_TRUE(StartupDone());
  CopyRapid(RSS_SLOT);
  AddSlot("201607041200");
  Select(9);
  // A rapid-scan cycle arrives (the monitor and the Startup files page insert it so) and is shown.
  Layer* info = InfoNew(9, RSS_SLOT, nullptr, &RSS);
  ASSERT_TRUE(CanvOpen(&info));
  GList* link = nullptr;
  InfoSlotInsert(&conf.slots, info, &link);
  CanvScaleMarkup();
  ASSERT_EQ(SlotCount(), 2u);
  ShowSlot(g_list_position(conf.slots, link));
  ASSERT_EQ(SlotCount(), 1u);
  EXPECT_EQ(SlotAt(0)[9], info);
  EXPECT_DOUBLE_EQ(gtk_range_get_value(GTK_RANGE(canv.range)), 0);
  EXPECT_NE(LabelText().find("07:40"), std::string::npos) << LabelText();
  EXPECT_TRUE(StatusHas("Closed 1 time slot of another satellite service: the time scale shows MSG3 rapid scan"));
}

TEST_F(SatelliteCanvas, MonitorTakesARapidScanCycleOnceSegmentSixIsThere) {
  Build("[Interface]\nsatellite=MSG3_RSS\nrect-x=1500\nrect-y=1200\nrect-width=200\nrect-height=100\n");
  ASSERT_TRUE(StartupDone());
  const std::string mnt = home / "import/mnt";
  fs::create_directories(canvtest::Input(home));
  auto seg6 = [](const std::string& f) { return f.find("-000006___-") != std::string::npos; };
  auto ticks = [this] {
    for (int tick = 0; tick < 2; tick++) {  // files are moved once seen unchanged over a tick
      EXPECT_TRUE(CanvMonitorStep(nullptr));
      WaitFor([] { return !CanvMonitorBusy(); });
    }
  };
  canv.monitor = 1;
  CopyRapid(RSS_SLOT, mnt, [&](const std::string& f) { return !seg6(f); });
  ticks();
  EXPECT_EQ(SlotCount(), 0u);  // the epilogue is there, segment 6 not yet
  CopyRapid(RSS_SLOT, mnt, seg6);
  ticks();
  canv.monitor = 0;
  ASSERT_EQ(SlotCount(), 1u);
  Slot* s = SlotAt(0);
  int loaded = 0;
  for (int id = 1; id < HRV_ID; id++) loaded += s[id] && !s[id]->images[1].empty();
  EXPECT_EQ(loaded, HRV_ID - 1);  // HRV's upper window does not reach this view
  EXPECT_EQ(s[0]->slot, RSS_SLOT);
  EXPECT_TRUE(fs::exists(canvtest::Input(home) + "/" + SatSegmentName(RSS, "IR_108", 6, RSS_SLOT)));
  for (const auto& e : fs::directory_iterator(mnt)) ADD_FAILURE() << "left: " << e.path();
}

TEST_F(SatelliteCanvas, ContoursFollowTheLongitudeOfTheShownImage) {
  fs::create_directories(home / "import/Shp");
  // A short line over Cornwall, inside the view from 0° and from 9.5° E.
  ASSERT_TRUE(cntrstest::WriteShapes(home / "import/Shp/line.shp", SHPT_ARC,
                                     {cntrstest::Shape{{{{-3.0, 51.0}, {-2.9, 51.2}}}, "L"}}));
  Build("[Interface]\nrect-x=1500\nrect-y=250\nrect-width=300\nrect-height=160\n"
        "[Startup files]\ncontour-file-00=line.shp\n");
  ASSERT_TRUE(StartupDone());
  auto first = [this](double* x, double* y) {
    if (!conf.contours) return false;
    const auto* entry = static_cast<const CntrsFile*>(conf.contours->data);
    if (!entry || !entry->cntrs || !entry->cntrs->lines || entry->cntrs->lines->len == 0) return false;
    const GArray* a = static_cast<const GArray*>(g_ptr_array_index(entry->cntrs->lines, 0));
    *x = g_array_index(a, float, 0);
    *y = g_array_index(a, float, 1);
    return true;
  };
  double x = 0, y = 0, ex = 0, ey = 0;
  ASSERT_TRUE(WaitFor([&] { return first(&x, &y); }));
  // No image yet: the view of the configured full disk, 0°.
  cntrstest::ExpectedImageXY(51.0, -3.0, &ex, &ey);
  EXPECT_NEAR(x, ex - 1500, 0.05);
  EXPECT_NEAR(y, ey - 250, 0.05);
  // A rapid-scan image is shown: the line moves to where 9.5° E sees it.
  conf.satellite = RSS;
  CopyRapid(RSS_SLOT);
  AddSlot(RSS_SLOT);
  Select(9);
  ASSERT_TRUE(canv.image);
  ASSERT_TRUE(first(&x, &y));
  cntrstest::ExpectedImageXY(51.0, -3.0 - 9.5, &ex, &ey);  // the same geometry turned by 9.5°
  EXPECT_NEAR(x, ex - 1500, 0.05);
  EXPECT_NEAR(y, ey - 250, 0.05);
  EXPECT_GT(std::fabs(x - (1790.19 - 1500)), 100);
}
