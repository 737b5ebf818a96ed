// The working-directory monitor on generated cycles dropped into import/mnt: which cycles are
// moved and when, what an arrival does to the view (the same layer in the new slot, or no change
// for a user looking at an older slot), the cap on the slots kept, the toolbar and the timer.
#include <gtest/gtest.h>

#include "settings/conf.h"
#include "tests/support/logcapture.h"
#include "tests/ui/test_monitor_support.h"

namespace {

namespace fs = std::filesystem;
using montest::Monitor;
using montest::SLOT_A;
using montest::SLOT_B;

TEST_F(Monitor, CycleWithItsEpilogueLastIsMovedLoadedAndShown) {
  Drop(SLOT_A, [](const std::string& n) { return !IsEpilogue(n); });
  const int files = Count(Mnt());
  EXPECT_EQ(files, 22 + 6 + 1);
  Tick();
  Tick();
  EXPECT_EQ(Count(Mnt()), files);  // no epilogue yet: nothing moves
  EXPECT_EQ(SlotCount(), 0u);
  Drop(SLOT_A, IsEpilogue);
  Tick();  // the new file is not yet known to be still
  EXPECT_EQ(Count(Mnt()), files + 1);
  Tick();
  EXPECT_EQ(Count(Mnt()), 0);
  EXPECT_EQ(Count(Target()), files + 1);
  for (const std::string& f : Generated(SLOT_A)) EXPECT_TRUE(uitest::Exists(Target() + "/" + f)) << f;
  ASSERT_EQ(SlotCount(), 1u);
  EXPECT_EQ(Loaded(0), 12);
  Layer* hrv = SlotAt(0)[HRV_ID];
  ASSERT_NE(hrv, nullptr);
  EXPECT_GT(cv::countNonZero(hrv->images[0]), 0);  // the HRV segments came along
  // Nothing was shown before: loads go in name order and the last, WV 7.3, is shown.
  EXPECT_NE(canv.image, nullptr);
  EXPECT_EQ(CanvTreeGetId(), 6);
  EXPECT_EQ(int(gtk_range_get_value(GTK_RANGE(canv.range))), 0);
  EXPECT_TRUE(StatusHas(""));
}

TEST_F(Monitor, TwoCyclesInOneTickMakeTwoSlotsAndTheScaleEndsOnTheLast) {
  Drop(SLOT_A);
  Drop(SLOT_B);
  Arrive();
  EXPECT_EQ(Count(Mnt()), 0);
  ASSERT_EQ(SlotCount(), 2u);
  EXPECT_EQ(Loaded(0), 12);
  EXPECT_EQ(Loaded(1), 12);
  EXPECT_EQ(int(gtk_range_get_value(GTK_RANGE(canv.range))), 1);
  EXPECT_EQ(SlotAt(1)[1]->slot, SLOT_B);
}

TEST_F(Monitor, AnIncompleteCycleIsHandledOnceItStopsGrowing) {
  const std::string ir108 = canvtest::Name(9, SLOT_A);
  Drop(SLOT_A, [&](const std::string& n) { return n.substr(26, 6) != "IR_108"; });
  LogCapture log;
  for (int i = 0; i < MONITOR_SETTLE_TICKS; i++) {
    Tick();
    EXPECT_EQ(SlotCount(), 0u) << i;
  }
  Tick();
  EXPECT_EQ(Count(Mnt()), 0);
  ASSERT_EQ(SlotCount(), 1u);
  EXPECT_EQ(Loaded(0), 11);
  EXPECT_TRUE(log.contains("incomplete"));
  EXPECT_TRUE(log.contains(ir108 + " Error!"));
  // The missing channel turns up late: once still, it is moved and loaded into the slot.
  Drop(SLOT_A, [&](const std::string& n) { return n.substr(26, 6) == "IR_108"; });
  EXPECT_EQ(Count(Mnt()), 2);
  Arrive();
  EXPECT_EQ(Count(Mnt()), 0);
  ASSERT_EQ(SlotCount(), 1u);
  EXPECT_EQ(Loaded(0), 12);
}

TEST_F(Monitor, NamesThatOnlyLookLikeEpiloguesAreIgnored) {
  const std::string epi = "H-000-MSG3__-MSG3________-_________-EPI______-201607041200-__";
  uitest::TempHome::Write(Mnt() + "/" + epi + "_", "x");
  uitest::TempHome::Write(Mnt() + "/" + epi.substr(0, 60), "x");
  Drop(SLOT_A, [](const std::string& n) { return !IsEpilogue(n); });
  const int files = Count(Mnt());
  for (int i = 0; i < MONITOR_SETTLE_TICKS + 2; i++) Tick();
  EXPECT_EQ(Count(Mnt()), files);
  EXPECT_EQ(SlotCount(), 0u);
}

TEST_F(Monitor, ToggleKeepsOneTimerAndOffRemovesIt) {
  ASSERT_NE(canv.btn_monitor, nullptr);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(canv.btn_monitor), TRUE);
  EXPECT_EQ(canv.monitor, 1);
  const guint first = canv.monitor_state.source;
  ASSERT_NE(first, 0u);
  EXPECT_TRUE(gtk_widget_get_visible(canv.spinner));
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(canv.btn_monitor), FALSE);
  EXPECT_EQ(canv.monitor, 0);
  EXPECT_EQ(canv.monitor_state.source, 0u);
  EXPECT_EQ(g_main_context_find_source_by_id(nullptr, first), nullptr);
  EXPECT_FALSE(gtk_widget_get_visible(canv.spinner));
  // The menu item works through the button: on, and the button shows it.
  CanvMonitorToggle(nullptr, nullptr);
  EXPECT_EQ(canv.monitor, 1);
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(canv.btn_monitor)));
  const guint second = canv.monitor_state.source;
  EXPECT_NE(g_main_context_find_source_by_id(nullptr, second), nullptr);
  CanvMonitorToggle(nullptr, nullptr);
  EXPECT_EQ(canv.monitor, 0);
  EXPECT_EQ(g_main_context_find_source_by_id(nullptr, second), nullptr);
  // With the monitor off a pending tick ends its timer and moves nothing; nor does a tick
  // without the watched folder.
  Drop(SLOT_A);
  EXPECT_FALSE(CanvMonitorStep(nullptr));
  EXPECT_FALSE(CanvMonitorBusy());
  EXPECT_EQ(Count(Mnt()), 30);
  fs::remove_all(Mnt());
  Tick();
  EXPECT_EQ(SlotCount(), 0u);
  EXPECT_FALSE(uitest::Exists(Mnt()));
}

TEST_F(Monitor, ClosingWhileATickWorksDropsItsResult) {
  Drop(SLOT_A);
  Tick();
  canv.monitor = 1;
  EXPECT_TRUE(CanvMonitorStep(nullptr));
  EXPECT_TRUE(CanvMonitorBusy());
  Close();  // must neither show nor leak the layers (checked under the sanitizers)
  EXPECT_FALSE(canv.monitor_state.job);
}

struct Layered {
  const char* label;
  int id;
};

class SameLayer : public Monitor, public ::testing::WithParamInterface<Layered> {};

TEST_P(SameLayer, ArrivalsFollowWithTheLayerShownOrLeaveAnOlderSlotAlone) {
  const int id = GetParam().id;
  DropK(0);
  Arrive();
  ASSERT_EQ(SlotCount(), 1u);
  Select(id);
  ASSERT_EQ(CanvTreeGetId(), id);
  // Looking at the newest slot: the next cycle is shown with the same layer.
  DropK(1);
  Arrive();
  ASSERT_EQ(SlotCount(), 2u);
  EXPECT_EQ(ShownSlot(), SlotK(1));
  EXPECT_EQ(CanvTreeGetId(), id);
  ASSERT_NE(SlotAt(1)[id], nullptr);
  EXPECT_FALSE(SlotAt(1)[id]->images[1].empty());
  // Looking at an older slot: an arrival changes neither slot nor layer.
  ShowSlot(0);
  ASSERT_EQ(ShownSlot(), SlotK(0));
  DropK(2);
  Arrive();
  EXPECT_EQ(SlotCount(), 3u);
  EXPECT_EQ(ShownSlot(), SlotK(0));
  EXPECT_EQ(CanvTreeGetId(), id);
}

INSTANTIATE_TEST_SUITE_P(Layer, SameLayer,
                         ::testing::Values(Layered{"Channel_IR108", 9}, Layered{"Composite_Natural", RECIPE_FIRST_ID + 3}),
                         [](const ::testing::TestParamInfo<Layered>& i) { return std::string(i.param.label); });

class MonitorCapped : public Monitor {
 protected:
  std::string Ini() override { return "[Interface]\nmax-slots=2\n"; }
};

TEST_F(MonitorCapped, TheOldestSlotsGoFirstButNeverTheOneShown) {
  for (int k = 0; k < 3; k++) {
    DropK(k);
    Arrive();
    EXPECT_EQ(SlotCount(), guint(std::min(k + 1, 2))) << k;
  }
  EXPECT_EQ(SlotAt(0)[0]->slot, SlotK(1));
  EXPECT_EQ(SlotAt(1)[0]->slot, SlotK(2));
  EXPECT_EQ(ShownSlot(), SlotK(2));
  // The user goes back to the oldest slot kept; newer arrivals free the others around it.
  ShowSlot(0);
  Select(9);
  for (int k = 3; k < 5; k++) {
    DropK(k);
    Arrive();
    ASSERT_EQ(SlotCount(), 2u) << k;
    EXPECT_EQ(ShownSlot(), SlotK(1)) << k;
    EXPECT_EQ(CanvTreeGetId(), 9) << k;
    EXPECT_EQ(SlotAt(1)[0]->slot, SlotK(k)) << k;
  }
  EXPECT_NE(canv.image, nullptr);
}

// At the default window size every toolbar item stays on the toolbar while the spinner
// shows, none in the overflow menu.
TEST_F(Monitor, TheWholeToolbarFitsTheDefaultWindowWhileMonitoring) {
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(canv.btn_monitor), TRUE);
  DropK(0);
  Arrive();
  ASSERT_EQ(Loaded(0), 12);
  GtkWidget* toolbar = gtk_widget_get_parent(gtk_widget_get_parent(canv.btn_monitor));
  ASSERT_TRUE(GTK_IS_TOOLBAR(toolbar));
  // The toolbar lays its items out on the next frames after the spinner shows: the layout is
  // given a while to settle before it is judged.
  std::string overflowing;
  WaitFor([&] {
    overflowing.clear();
    for (gint i = 0; i < gtk_toolbar_get_n_items(GTK_TOOLBAR(toolbar)); i++) {
      GtkWidget* item = GTK_WIDGET(gtk_toolbar_get_nth_item(GTK_TOOLBAR(toolbar), i));
      if (gtk_widget_get_visible(item) && !gtk_widget_get_child_visible(item)) overflowing += std::to_string(i) + " ";
    }
    return overflowing.empty();
  });
  EXPECT_EQ(overflowing, "") << "items in the overflow menu";
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(canv.btn_monitor), FALSE);
}

}  // namespace
