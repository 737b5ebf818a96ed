// The working-directory monitor on generated cycles dropped into import/mnt: which arrivals are
// moved and which stay (growing, cut short, special files, names taken), never a byte lost,
// the window never held, and the timer.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <thread>
#include <unistd.h>

#include "canvas/canvmonitor.h"
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
  Arrive();
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
  Drop(SLOT_A, [](const std::string&) { return true; });
  Drop(SLOT_B, [](const std::string&) { return true; });
  Arrive();
  EXPECT_EQ(Count(Mnt()), 0);
  ASSERT_EQ(SlotCount(), 2u);
  EXPECT_EQ(Loaded(0), 12);
  EXPECT_EQ(Loaded(1), 12);
  EXPECT_EQ(int(gtk_range_get_value(GTK_RANGE(canv.range))), 1);
  EXPECT_EQ(SlotAt(1)[1]->slot, SLOT_B);
}

TEST_F(Monitor, EpilogueFirstWaitsForTheSegmentsStillArriving) {
  // The infrared segments first (channel code at 26, segment number at 36), the rest later.
  auto half = [](const std::string& n) { return n.size() == 61 && n[36] == '0' && n[26] == 'I'; };
  Drop(SLOT_A, [&](const std::string& n) { return IsEpilogue(n) || half(n); });
  const int first = Count(Mnt());
  ASSERT_GT(first, 1);
  Tick();  // incomplete and new: waits
  EXPECT_EQ(Count(Mnt()), first);
  Drop(SLOT_A, [&](const std::string& n) { return !IsEpilogue(n) && !half(n); });
  Tick();  // the new files are not yet known to be still
  EXPECT_EQ(SlotCount(), 0u);
  Tick();
  EXPECT_EQ(Count(Mnt()), 0);
  ASSERT_EQ(SlotCount(), 1u);
  EXPECT_EQ(Loaded(0), 12);
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

TEST_F(Monitor, ANamePresentInTheTargetIsNeverOverwrittenAndHandledOnce) {
  const std::string name = canvtest::Name(1, SLOT_A);
  uitest::TempHome::Write(Target() + "/" + name, "already here");
  Drop(SLOT_A, [](const std::string&) { return true; });
  const std::string dropped = uitest::ReadFile(Mnt() + "/" + name);
  LogCapture log;
  Arrive();
  EXPECT_EQ(uitest::ReadFile(Target() + "/" + name), "already here");
  EXPECT_EQ(uitest::ReadFile(Mnt() + "/" + name), dropped);  // left where it was, complete
  EXPECT_EQ(Count(Mnt()), 1);
  EXPECT_TRUE(log.contains(name + " left in import/mnt"));
  const size_t messages = log.count();
  ASSERT_EQ(SlotCount(), 1u);
  Tick();  // the cycle is not handled again
  EXPECT_EQ(log.count(), messages);
  EXPECT_EQ(SlotCount(), 1u);
  EXPECT_EQ(Count(Mnt()), 1);
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

TEST_F(Monitor, MissingWatchFolderDoesNothing) {
  fs::remove_all(Mnt());
  Tick();
  EXPECT_EQ(SlotCount(), 0u);
  EXPECT_FALSE(uitest::Exists(Mnt()));
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
  // With the monitor off a pending tick ends its timer and moves nothing.
  Drop(SLOT_A, [](const std::string&) { return true; });
  EXPECT_FALSE(CanvMonitorStep(nullptr));
  EXPECT_FALSE(CanvMonitorBusy());
  EXPECT_EQ(Count(Mnt()), 30);
}

TEST_F(Monitor, ClosingWhileATickWorksDropsItsResult) {
  Drop(SLOT_A, [](const std::string&) { return true; });
  Tick();
  canv.monitor = 1;
  EXPECT_TRUE(CanvMonitorStep(nullptr));
  EXPECT_TRUE(CanvMonitorBusy());
  Close();  // must neither show nor leak the layers (checked under the sanitizers)
  EXPECT_FALSE(canv.monitor_state.job);
}

TEST(MonitorMove, CopyMoveKeepsEverythingAndNeverReplaces) {
  uitest::TempHome home;
  const std::string a = home / "a", b = home / "b", c = home / "c";
  std::string big(300000, 'x');
  for (size_t i = 0; i < big.size(); i++) big[i] = char(i * 7 + i / 251);
  uitest::TempHome::Write(a, big);
  ASSERT_TRUE(CanvMonitorCopyMove(a, b));
  EXPECT_FALSE(uitest::Exists(a));
  EXPECT_EQ(uitest::ReadFile(b), big);
  uitest::TempHome::Write(c, "other");
  errno = 0;
  EXPECT_FALSE(CanvMonitorCopyMove(c, b));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(uitest::ReadFile(b), big);
  EXPECT_EQ(uitest::ReadFile(c), "other");
  EXPECT_FALSE(CanvMonitorMove(c, b));
  EXPECT_EQ(uitest::ReadFile(c), "other");
  EXPECT_FALSE(CanvMonitorCopyMove(home / "absent", home / "d"));
  EXPECT_FALSE(uitest::Exists(home / "d"));
  // A FIFO is neither opened for reading (which would wait for a writer) nor moved.
  ASSERT_EQ(mkfifo((home / "fifo").c_str(), 0644), 0);
  EXPECT_FALSE(CanvMonitorCopyMove(home / "fifo", home / "e"));
  EXPECT_FALSE(CanvMonitorMove(home / "fifo", home / "e"));
  EXPECT_FALSE(CanvMonitorComplete(home / "fifo"));
  EXPECT_FALSE(uitest::Exists(home / "e"));
  int entries = 0;
  for (const auto& e : fs::directory_iterator(home.path())) entries += bool(e.path().string().size());
  EXPECT_EQ(entries, 3);  // b, c and the FIFO: no temporary copy is left
}

TEST(MonitorMove, AcrossFileSystemsWhenATmpfsIsAtHand) {
  // /dev/shm is a separate file system on most Linux machines: rename reports EXDEV there.
  if (!fs::exists("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
  uitest::TempHome home;
  std::string shm = "/dev/shm/nubicorn-move-XXXXXX";
  if (!g_mkdtemp(shm.data())) GTEST_SKIP() << "cannot use /dev/shm";
  const std::string from = shm + "/seg";
  uitest::TempHome::Write(from, "segment bytes");
  const bool ok = CanvMonitorMove(from, home / "seg");
  EXPECT_TRUE(ok);
  EXPECT_FALSE(uitest::Exists(from));
  EXPECT_EQ(uitest::ReadFile(home / "seg"), "segment bytes");
  fs::remove_all(shm);
}

// The primary header decides: a file is complete once it holds header and data field.
TEST(MonitorComplete, DataFieldAsLongAsTheHeaderSays) {
  uitest::TempHome home;
  const std::string src = canvtest::Cycle(SLOT_A);
  ASSERT_FALSE(src.empty());
  for (const std::string& f : {canvtest::Name(1, SLOT_A), SynthPrologueName(SLOT_A), SynthEpilogueName(SLOT_A)}) {
    const std::string bytes = uitest::ReadFile(src + "/" + f);
    ASSERT_GT(bytes.size(), 16u) << f;
    const struct {
      size_t size;
      bool complete;
    } cases[] = {{0, false}, {15, false}, {16, false}, {bytes.size() / 2, false},
                 {bytes.size() - 1, false}, {bytes.size(), true}};
    for (const auto& c : cases) {
      uitest::TempHome::Write(home / "f", bytes.substr(0, c.size));
      EXPECT_EQ(CanvMonitorComplete(home / "f"), c.complete) << f << " cut to " << c.size;
    }
  }
  EXPECT_FALSE(CanvMonitorComplete(home / "absent"));
  EXPECT_FALSE(CanvMonitorComplete(home.path()));
}

TEST(MonitorNames, CycleFilesAndOrder) {
  const auto files = CanvMonitorCycleFiles(SLOT_A);
  ASSERT_EQ(files.size(), 88u + 24 + 2);
  for (const auto& f : files) EXPECT_EQ(f.size(), 61u) << f;
  EXPECT_EQ(files[0], SynthSegmentName(1, 1, SLOT_A));
  EXPECT_EQ(files[7], SynthSegmentName(1, 8, SLOT_A));
  EXPECT_EQ(files[88], SynthSegmentName(HRV_ID, 1, SLOT_A));
  EXPECT_EQ(files[111], SynthSegmentName(HRV_ID, 24, SLOT_A));
  EXPECT_EQ(files[112], SynthPrologueName(SLOT_A));
  EXPECT_EQ(files.back(), SynthEpilogueName(SLOT_A));
  EXPECT_LT(CanvNameCompare("H-000-MSG3__-MSG3________-IR_016", "H-000-MSG3__-MSG3________-IR_039"), 0);
  EXPECT_EQ(CanvNameCompare("abc", "abc"), 0);
}

}  // namespace
