// What an arriving cycle does to the view: the same layer in the new slot, or no change for a
// user looking at an older slot; the cap on the slots kept; the toolbar while monitoring.
#include <gtest/gtest.h>

#include "settings/conf.h"
#include "tests/ui/test_monitor_support.h"

namespace {

using montest::Monitor;

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
  gtk_range_set_value(GTK_RANGE(canv.range), 0);
  CanvSlotChanged(nullptr, nullptr);
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
  gtk_range_set_value(GTK_RANGE(canv.range), 0);
  CanvSlotChanged(nullptr, nullptr);
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
  int width = 0;
  gtk_window_get_size(GTK_WINDOW(app.window), &width, nullptr);
  const gint n = gtk_toolbar_get_n_items(GTK_TOOLBAR(toolbar));
  // The toolbar lays its items out on the next frames after the spinner shows: wait (at most a
  // second) for the layout to settle before judging it.
  auto all_shown = [&] {
    for (gint i = 0; i < n; i++) {
      GtkWidget* item = GTK_WIDGET(gtk_toolbar_get_nth_item(GTK_TOOLBAR(toolbar), i));
      if (gtk_widget_get_visible(item) && !gtk_widget_get_child_visible(item)) return false;
    }
    return true;
  };
  for (int i = 0; i < 50 && !all_shown(); i++) {
    uitest::Drain();
    g_usleep(20000);
  }
  for (gint i = 0; i < n; i++) {
    GtkWidget* item = GTK_WIDGET(gtk_toolbar_get_nth_item(GTK_TOOLBAR(toolbar), i));
    if (!gtk_widget_get_visible(item)) continue;
    EXPECT_TRUE(gtk_widget_get_child_visible(item)) << "item " << i << " of " << n << " overflows at width " << width;
  }
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(canv.btn_monitor), FALSE);
}

}  // namespace
