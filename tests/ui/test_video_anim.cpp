// Animation through the "Time slot" scale: the step rule, one timer however often Play is
// pressed, Stop removing it at once, Rewind and Forward.
#include <gtest/gtest.h>

#include "canvas/canvanim.h"
#include "tests/ui/test_canvas_support.h"

namespace {

using canvtest::CanvasTest;

constexpr const char* SLOTS[] = {"201607041200", "201607041215", "201607041230"};
constexpr int IR108 = 9;

TEST(AnimNext, WrapsAfterTheLastSlot) {
  EXPECT_EQ(CanvAnimNext(0, 3), 1);
  EXPECT_EQ(CanvAnimNext(1, 3), 2);
  EXPECT_EQ(CanvAnimNext(2, 3), 0);
  EXPECT_EQ(CanvAnimNext(0, 1), 0);
  EXPECT_EQ(CanvAnimNext(0, 0), 0);
  EXPECT_EQ(CanvAnimNext(5, 3), 0);
}

class Anim : public CanvasTest {
 protected:
  void Open(int n) {
    for (int i = 0; i < n; i++) canvtest::Link(home, SLOTS[i]);
    Build();
    ASSERT_TRUE(StartupDone());
    for (int i = 0; i < n; i++) AddSlot(SLOTS[i]);
    Select(IR108);
  }
  int Value() { return int(gtk_range_get_value(GTK_RANGE(canv.range))); }
  bool Alive(guint id) { return id && g_main_context_find_source_by_id(nullptr, id) != nullptr; }
};

TEST_F(Anim, StepsOneSlotAndWrapsShowingEachSlot) {
  Open(3);
  CanvAnimForward(nullptr, nullptr);
  EXPECT_EQ(Value(), 2);
  canv.play = 1;
  EXPECT_TRUE(CanvAnimStep(nullptr));
  EXPECT_EQ(Value(), 0);
  uitest::Drain();
  ASSERT_NE(SlotAt(0)[IR108], nullptr);  // the first slot's layer was loaded to be shown
  EXPECT_EQ(canv.slot_shown, 0);
  EXPECT_TRUE(CanvAnimStep(nullptr));
  EXPECT_EQ(Value(), 1);
  EXPECT_NE(SlotAt(1)[IR108], nullptr);
  EXPECT_EQ(canv.slot_shown, 1);
  canv.play = 0;
  EXPECT_FALSE(CanvAnimStep(nullptr));  // stopped: the timer ends
  EXPECT_EQ(Value(), 1);
}

TEST_F(Anim, PlayTwiceKeepsOneTimerAndStopRemovesItAtOnce) {
  Open(3);
  CanvAnimPlay(nullptr, nullptr);
  const guint first = canv.play_source;
  EXPECT_EQ(canv.play, 1);
  EXPECT_TRUE(Alive(first));
  CanvAnimPlay(nullptr, nullptr);
  EXPECT_EQ(canv.play_source, first);
  CanvAnimStop(nullptr, nullptr);
  EXPECT_EQ(canv.play, 0);
  EXPECT_FALSE(Alive(first));
  CanvAnimPlay(nullptr, nullptr);  // Play again within the second: only the new timer runs
  EXPECT_TRUE(Alive(canv.play_source));
  EXPECT_FALSE(Alive(first));
  // Real time: about two ticks in 2.5 s, never four.
  const int start = Value();
  const gint64 until = g_get_monotonic_time() + 2500000;
  int steps = 0, last = start;
  while (g_get_monotonic_time() < until) {
    uitest::Drain();
    if (Value() != last) {
      steps++;
      last = Value();
    }
    g_usleep(10000);
  }
  EXPECT_GE(steps, 1);
  EXPECT_LE(steps, 3);
  CanvAnimStop(nullptr, nullptr);
}

TEST_F(Anim, RewindAndForwardWithOneSlotStayAtZero) {
  Open(1);
  CanvAnimForward(nullptr, nullptr);
  EXPECT_EQ(Value(), 0);
  CanvAnimRewind(nullptr, nullptr);
  EXPECT_EQ(Value(), 0);
}

TEST_F(Anim, ClosingWhilePlayingRemovesTheTimer) {
  Open(3);
  CanvAnimPlay(nullptr, nullptr);
  const guint id = canv.play_source;
  Close();
  EXPECT_FALSE(Alive(id));
}

}  // namespace
