// "Open by date": the span of quarter hours, and the dialog run for real on generated cycles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <tuple>

#include "canvas/dlgdatetime.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_canvas_support.h"

namespace {

using canvtest::CanvasTest;
using canvtest::Name;

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

TEST(OpenDateSpan, QuarterHoursAcrossHoursDaysMonthsAndYears) {
  EXPECT_EQ(Walk(At(2016, 7, 4, 10, 15), At(2016, 7, 4, 11, 0)),
            (std::vector<std::string>{"201607041015", "201607041030", "201607041045", "201607041100"}));
  EXPECT_EQ(Walk(At(2016, 7, 4, 23, 45), At(2016, 7, 5, 0, 15)),
            (std::vector<std::string>{"201607042345", "201607050000", "201607050015"}));
  EXPECT_EQ(Walk(At(2015, 12, 31, 23, 45), At(2016, 1, 1, 0, 0)),
            (std::vector<std::string>{"201512312345", "201601010000"}));
  EXPECT_EQ(Walk(At(2016, 7, 4, 12, 0), At(2016, 7, 4, 12, 0)), std::vector<std::string>{"201607041200"});
  EXPECT_TRUE(Walk(At(2016, 7, 4, 12, 0), At(2016, 7, 4, 11, 45)).empty());
  EXPECT_EQ(DlgDateTimeCount(At(2017, 1, 1, 0, 0), At(2016, 12, 31, 23, 45)), 0);
}

TEST(OpenDateSpan, LeapDaysFollowTheGregorianRule) {
  // 2016 is a leap year: 23:45, the 96 quarters of February 29, then 00:00.
  auto leap = Walk(At(2016, 2, 28, 23, 45), At(2016, 3, 1, 0, 0));
  ASSERT_EQ(leap.size(), 98u);
  EXPECT_EQ(leap[1], "201602290000");
  EXPECT_EQ(leap[96], "201602292345");
  EXPECT_EQ(leap[97], "201603010000");
  EXPECT_EQ(Walk(At(2015, 2, 28, 23, 45), At(2015, 3, 1, 0, 0)).size(), 2u);
  EXPECT_EQ(Walk(At(1900, 2, 28, 23, 45), At(1900, 3, 1, 0, 0)).size(), 2u) << "1900 is no leap year";
  EXPECT_EQ(Walk(At(2000, 2, 28, 23, 45), At(2000, 3, 1, 0, 0)).size(), 98u) << "2000 is one";
  // A whole year of quarter hours.
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
      int width = 0, height = 0;
    } ctx{fill, ok, false, {}, 0, 0};
    const guint source = g_timeout_add(20, +[](gpointer p) -> gboolean {
      auto* c = static_cast<Ctx*>(p);
      GtkWidget* dialog = uitest::VisibleToplevel(GTK_TYPE_DIALOG);
      if (!dialog) return G_SOURCE_CONTINUE;
      c->seen = true;
      c->title = gtk_window_get_title(GTK_WINDOW(dialog));
      gtk_widget_get_size_request(dialog, &c->width, &c->height);
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
    EXPECT_EQ(ctx.width, 550);
    EXPECT_EQ(ctx.height, 270);
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
  // The text the status bar shows now.
  std::string Shown() {
    GtkWidget* area = gtk_statusbar_get_message_area(GTK_STATUSBAR(app.statusbar));
    std::string text = "<no label>";
    GList* children = gtk_container_get_children(GTK_CONTAINER(area));
    for (GList* l = children; l; l = l->next)
      if (GTK_IS_LABEL(l->data)) text = gtk_label_get_text(GTK_LABEL(l->data));
    g_list_free(children);
    return text;
  }
  // Date and time both ends of the dialog show, "" when no hour is chosen.
  static std::string Ends(DlgDateTime* d) {
    std::string out;
    for (auto [cal, hour, min] : {std::tuple{d->cal_from, d->hour_from, d->min_from}, std::tuple{d->cal_to, d->hour_to, d->min_to}}) {
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
};

TEST_F(OpenDate, CancelLoadsNothing) {
  Build();
  Run([](DlgDateTime* d) { ASSERT_NE(d, nullptr); }, false);
  EXPECT_EQ(SlotCount(), 0u);
}

TEST_F(OpenDate, TheLastDateIsTheDefault) {
  Build();
  conf.last_date = At(2016, 9, 30, 18, 45);
  Run([](DlgDateTime* d) {
    for (GtkWidget* cal : {d->cal_from, d->cal_to}) {
      guint y = 0, m = 0, day = 0;
      gtk_calendar_get_date(GTK_CALENDAR(cal), &y, &m, &day);
      EXPECT_EQ(y, 2016u);
      EXPECT_EQ(m, 8u);
      EXPECT_EQ(day, 30u);
    }
    for (GtkWidget* h : {d->hour_from, d->hour_to}) EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(h)), 18);
    for (GtkWidget* m : {d->min_from, d->min_to}) EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(m)), 3);
  }, false);
}

TEST_F(OpenDate, WithoutALastDateTheNewestInputOrTheShownSlotIsTheDefault) {
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
}

TEST_F(OpenDate, ChannelsOfSlotsNotShownKeepOnlyTheirCounts) {
  canvtest::Link(home, SLOT_A);
  canvtest::Link(home, SLOT_A2);
  Build();
  Run([](DlgDateTime* d) {
    Set(d, {2016, 7, 4, 12, 0}, {2016, 7, 4, 12, 1}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  });
  ASSERT_EQ(SlotCount(), 2u);
  Select(9);  // shows the last slot's
  EXPECT_NE(canv.image, nullptr);
  auto bytes = [](const Slot* s, int k) {
    size_t n = 0;
    for (int id = 1; id < SLOT_SIZE; id++)
      if (s[id]) n += s[id]->images[k].total() * s[id]->images[k].elemSize();
    return n;
  };
  const Slot* first = SlotAt(0);
  for (int id = 1; id <= CHANNEL_COUNT; id++) {
    ASSERT_NE(first[id], nullptr) << id;
    EXPECT_FALSE(first[id]->images[0].empty()) << id;
    EXPECT_TRUE(first[id]->images[1].empty()) << id;
  }
  // The shown slot: IR 10.8 only has its display image made.
  EXPECT_FALSE(SlotAt(1)[9]->images[1].empty());
  EXPECT_EQ(bytes(SlotAt(1), 1), SlotAt(1)[9]->images[1].total() * 3);
  std::printf("per slot, default window: counts %zu bytes, display images of the slot not shown %zu bytes\n",
              bytes(first, 0), bytes(first, 1));
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

TEST_F(OpenDate, ASpanLoadsTheChosenChannelIntoEverySlot) {
  canvtest::Link(home, SLOT_A);
  canvtest::Link(home, SLOT_A2);
  Build();
  CanvTreeSelectId(9);  // refused: no slot yet
  Run([](DlgDateTime* d) { Set(d, {2016, 7, 4, 12, 0}, {2016, 7, 4, 12, 1}, {9}); });
  EXPECT_EQ(SlotTexts(), (std::vector<std::string>{SLOT_A, SLOT_A2}));
  for (guint i = 0; i < 2; i++) {
    ASSERT_NE(SlotAt(i)[9], nullptr);
    EXPECT_EQ(SlotAt(i)[9]->name, Name(9, i ? SLOT_A2 : SLOT_A));
  }
  EXPECT_DOUBLE_EQ(gtk_range_get_value(GTK_RANGE(canv.range)), 1) << "the scale ends on the last slot";
  EXPECT_NEAR(Upper(), 1.01, 1e-9);
  for (GtkWidget* w : {canv.range, canv.btn_play, canv.btn_forward}) EXPECT_TRUE(Sensitive(w));
  // Choosing the row now shows the last slot's layer.
  Select(9);
  EXPECT_EQ(LabelText(), "2016-07-04 12:15 UTC");
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

TEST_F(OpenDate, NoChannelMakesEmptySlotsOnTheScale) {
  Build();
  Run([](DlgDateTime* d) { Set(d, {2016, 7, 4, 23, 3}, {2016, 7, 5, 0, 1}, {}); });
  EXPECT_EQ(SlotTexts(), (std::vector<std::string>{"201607042345", "201607050000", "201607050015"}));
  for (guint i = 0; i < 3; i++)
    for (int id = 1; id < SLOT_SIZE; id++) EXPECT_EQ(SlotAt(i)[id], nullptr);
  EXPECT_NEAR(Upper(), 2.01, 1e-9);
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
  // A week exactly is accepted (empty slots, no channel chosen).
  Run([](DlgDateTime* d) { Set(d, {2016, 7, 4, 12, 0}, {2016, 7, 11, 11, 3}, {}); });
  EXPECT_EQ(SlotCount(), 672u);
}

}  // namespace
